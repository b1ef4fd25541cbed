#!/usr/bin/env bash
# The road of a project in a real X window, driven with xdotool as a person
# would: the demo project is picked with "指定" and loaded with " 下一步 >",
# the editor plays it (a screenshot), the pointer comes to rest on the
# subtitle label (the video stands still), the keys W X V S E F edit the
# timeline and "保存" writes it. The file must hold, byte for byte, what
# predict_edits works out from the same files without a window.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build}" && pwd)"
shots="$build/screenshots"
work="$(mktemp -d /tmp/veltrana-xvfb-XXXXXX)"
mkdir -p "$shots"
[ -x "$build/predict_edits" ] || { echo "$build/predict_edits is missing: build the target predict_edits"; exit 1; }

scripts/make-demo "$work/demo" >/dev/null
# the prediction loads its own copy, so that the program builds film.ws itself
mkdir "$work/predict"
ln -s "$work/demo/film.avi" "$work/predict/film.avi"
ln -s "$work/demo/film.wav" "$work/predict/film.wav"
cp "$work/demo/film.srt" "$work/predict/film.srt"

XDG_STATE_HOME="$work/state" "$build/veltrana" >"$work/program.log" 2>&1 &
pid=$!
source tests/xvfb/lib/windows.bash
trap 'leave_work editor_road.log $pid' EXIT

now_ms() { date +%s%3N; }

sw=1280; sh=1024
# the editor's client area, centred on the screen (there is no window manager)
cw=684; ch=562
ex=$(((sw - cw) / 2)); ey=$(((sh - ch) / 2))
# places in the editor, in its client coordinates: a level-6 spot of the
# dial over the picture that also shows the progress bar (ClientHeight - 260
# < y < ClientHeight - 236), the subtitle label, and "保存"
play_x=450; play_y=$((ch - 244))
label_x=$((cw / 2)); label_y=$((ch - 208))
save_x=188; save_y=$((ch - 33))

win="$(wait_window '^Veltrana时间轴$')" || fail "the open-project screen did not appear"
sleep 0.5
xdotool mousemove --window "$win" 615 122 click 1
dialog="$(wait_window '^指定$')" || fail "\"指定\" opened no dialog"
sleep 0.5
xdotool mousemove --window "$dialog" 60 60
sleep 0.2
xdotool type --delay 2 "$work/demo/film.avi"
sleep 0.3
xdotool key Return
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name '^指定$' >/dev/null 2>&1 || break
  sleep 0.2
done
sleep 1

# " 下一步 >"; then at once to where the editor's dial plays normally, so the
# editor does not come up under the pointer's old place on its waveform (which
# would stand the video still)
xdotool mousemove --window "$win" 615 428 click 1
xdotool mousemove $((ex + play_x)) $((ey + play_y))
editor=""
for _ in $(seq 1 150); do
  for w in $(xdotool search --onlyvisible --name 'Veltrana时间轴' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" != 694 ]; then editor="$w"; break 2; fi
  done
  sleep 0.2
done
[ -n "$editor" ] || fail "the editor did not come up"
shown=$(now_ms)
eval "$(xdotool getwindowgeometry --shell "$editor")"
dx=$((X - ex)); dy=$((Y - ey))
[ "$WIDTH" = $cw ] && [ "$HEIGHT" = $ch ] && [ ${dx#-} -le 2 ] && [ ${dy#-} -le 2 ] \
  || fail "the editor is ${WIDTH}x${HEIGHT} at $X,$Y, not ${cw}x${ch} centred at $ex,$ey"
ex=$X; ey=$Y
xdotool mousemove --window "$editor" $((play_x + 1)) "$play_y"
sleep 0.1
xdotool mousemove --window "$editor" "$play_x" "$play_y"

# 5 s in the film lies between line 1's end (3.5 s) and line 2's start
# (7.15 s): the strip shows the end of line 1 as the current line and the
# start of line 2 beside it
sleep 4.8
import -window root -crop "${cw}x${ch}+${ex}+${ey}" +repage "$shots/editor-playing.png"

# the pointer on the subtitle label stands the video still
xdotool mousemove --window "$editor" "$label_x" "$label_y"
sleep 0.6
# W goes to line 1's start (frame 25) from anywhere before the end of line 2
# (9.3 s); every later key acts there
[ $(($(now_ms) - shown)) -lt 8500 ] || fail "too slow: the video may have passed line 2 before W"
# the refresh runs every 100 ms at a standstill and 10 ms after each key: one
# runs between two presses, as it does for a person
for key in w x v s e f; do
  xdotool key "$key"
  sleep 0.4
done
import -window root -crop "${cw}x${ch}+${ex}+${ey}" +repage "$shots/editor-edited.png"

# "保存" is enabled by the pointer's coming to the bottom row
before=$(stat -c %Y.%s "$work/demo/film.srt")
xdotool mousemove --window "$editor" $((save_x - 2)) "$save_y"
sleep 0.3
xdotool mousemove --window "$editor" "$save_x" "$save_y"
sleep 0.3
xdotool click 1
for _ in $(seq 1 25); do
  [ "$(stat -c %Y.%s "$work/demo/film.srt")" != "$before" ] && break
  sleep 0.2
done
kill -0 $pid 2>/dev/null || fail "the program ended"

length_frames=3000  # the demo: 120 s at 25 frames a second
XDG_STATE_HOME="$work/state-predict" "$build/predict_edits" "$work/predict/film.avi" 25 $length_frames 0 \
  $((cw - 128)) wxvsef "$work/predicted.srt" >/dev/null
cmp "$work/demo/film.srt" "$work/predicted.srt" || {
  diff <(tr -d '\r' <"$work/predicted.srt") <(tr -d '\r' <"$work/demo/film.srt") | head -20 || true
  fail "the saved timeline is not the one predicted (< predicted, > saved)"
}
# worked out by hand: W goes to 1.000 s, X deletes line 1 there, V puts in a
# line of 1.6 s (the next line starts 6 s later), S moves it 4 frames
# earlier, E stretches it by 4 and F moves it 4 later
printf '1\r\n00:00:01,000 --> 00:00:02,760\r\n第1行\r\n\r\n2\r\n00:00:07,160 --> 00:00:09,320\r\n' >"$work/first"
cmp -n "$(stat -c %s "$work/first")" "$work/first" "$work/demo/film.srt" \
  || fail "the saved timeline does not begin with a new line from 1.000 s to 2.760 s"
[ "$(grep -c -- '-->' "$work/demo/film.srt")" = 20 ] || fail "the saved timeline does not hold 20 lines"
echo "demo loaded, editor played, W X V S E F and \"保存\" saved the timeline predicted byte for byte"
