#!/usr/bin/env bash
# Cuts in a real X window: a film with one hard cut (frame 100 of 25 fps)
# is opened from the command line; once the editor has looked for its cuts
# (their cache appears), B switches snapping on, M jumps to the cut, V
# inserts a line there and S moves it 4 frames earlier, inside the 7 frames
# of the cut: "保存" writes it starting on the cut. B switches snapping off,
# S moves it again, and "保存" writes it 4 frames earlier than that.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work shot_snap "${1:-build}"

mkdir "$work/film"
ffmpeg -v error -y -f lavfi -i "testsrc2=s=160x90:r=25:d=4" -f lavfi -i "smptebars=s=160x90:r=25:d=4" \
  -filter_complex "[0:v][1:v]concat=n=2:v=1[v]" -map "[v]" -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  "$work/film/film.mp4"
printf '1\r\n00:00:06,000 --> 00:00:07,000\r\nlast\r\n\r\n' >"$work/film/film.srt"
cache="$work/cache/veltrana"

launch env -C "$work/film" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" "$build/veltrana" film.mp4
enter_on_open_screen
editor="$(wait_editor)" || fail "the editor did not come up"
sw=1280; sh=1024; cw=684; ch=562
save_x=188; row_y=$((ch - 33))
sleep 0.5
# resting on the subtitle label stands the picture still
xdotool mousemove --window "$editor" $((cw / 2)) $((ch - 208))
for _ in $(seq 1 150); do compgen -G "$cache/*.shots" >/dev/null && break; sleep 0.2; done
compgen -G "$cache/*.shots" >/dev/null || fail "the editor never finished looking for the film's cuts"
sleep 0.5  # the next refresh takes them

line_of() { tr -d '\r' <"$work/film/film.srt" | grep -m1 -- '-->' || true; }
save() {
  press_revealed "$save_x" "$row_y"
  sleep 0.6
  xdotool mousemove --window "$editor" $((cw / 2)) $((ch - 208))
  sleep 0.4
}

press_keys b m v s
save
first="$(line_of)"
[[ "$first" == "00:00:04,000 --> "* ]] || fail "with snapping on, the line moved near the cut does not start on it: $first"
press_keys b s
save
second="$(line_of)"
[[ "$second" == "00:00:03,840 --> "* ]] || fail "with snapping off, S did not move the line 4 frames: $second"
[ "${first#* --> }" != "${second#* --> }" ] || fail "the out-point did not move with S: $first / $second"

kill "$pid"
wait "$pid" || true
pid=""
echo "shot_snap: ok ($first, then $second)"
