#!/usr/bin/env bash
# The open-project screen in a real X window, driven with xdotool as a person
# would: pick a 23.976 fps film with "指定", then " 下一步 >" builds film.ws
# beside film.wav and the editor comes up. Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build}" && pwd)"
shots="$build/screenshots"
work="$(mktemp -d /tmp/veltrana-xvfb-XXXXXX)"
mkdir -p "$shots"

ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x360:rate=24000/1001" -f lavfi -i "sine=frequency=300" \
  -frames:v 240 -c:v mpeg4 -q:v 4 -c:a pcm_s16le -shortest "$work/film.avi"
ffmpeg -v error -y -i "$work/film.avi" -vn -c:a pcm_s16le -fflags +bitexact -flags:a +bitexact "$work/film.wav"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,500\r\n世界\r\n\r\n' >"$work/film.srt"

"$build/veltrana" >"$work/program.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true; cp "$work/program.log" "$build/open_project.log" 2>/dev/null || true; rm -rf "$work"' EXIT

wait_window() {  # name, tries of 0.2 s
  local w=""
  for _ in $(seq 1 "${2:-100}"); do
    w="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)"
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}
fail() { echo "$1"; cat "$work/program.log"; exit 1; }

win="$(wait_window '^Veltrana时间轴$')" || fail "the open-project screen did not appear"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" = 694 ] && [ "$HEIGHT" = 472 ] || fail "screen is ${WIDTH}x${HEIGHT}, not 694x472"
sw=1280; sh=1024
dx=$((X - (sw - WIDTH) / 2)); dy=$((Y - (sh - HEIGHT) / 2))
[ ${dx#-} -le 2 ] && [ ${dy#-} -le 2 ] || fail "screen at $X,$Y is not centred"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/open-project.png"

# "指定" opens the file dialog; type the film's path into it
xdotool mousemove --window "$win" 615 122 click 1
dialog="$(wait_window '^指定$')" || fail "\"指定\" opened no dialog"
sleep 0.5
# without a window manager the keyboard follows the pointer: rest it on the dialog
xdotool mousemove --window "$dialog" 60 60
sleep 0.2
xdotool type --delay 2 "$work/film.avi"
sleep 0.3
xdotool key Return
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name '^指定$' >/dev/null 2>&1 || break
  sleep 0.2
done
sleep 1
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/open-project-picked.png"

# " 下一步 >" loads: film.ws appears beside film.wav, then the editor
xdotool mousemove --window "$win" 615 428 click 1
for _ in $(seq 1 100); do [ -f "$work/film.ws" ] && break; sleep 0.2; done
[ -f "$work/film.ws" ] || fail "no film.ws was written"
ws_size=$(stat -c %s "$work/film.ws")
# 200 bytes a second of sound; the film is 10 s long
[ "$ws_size" -ge 1960 ] && [ "$ws_size" -le 2040 ] || fail "film.ws holds $ws_size bytes, not about 2000 for 10 s of sound"

editor=""
for _ in $(seq 1 100); do
  for w in $(xdotool search --onlyvisible --name 'Veltrana时间轴' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" != 694 ]; then editor="$w"; break 2; fi
  done
  sleep 0.2
done
[ -n "$editor" ] || fail "the editor did not come up"
sleep 1
import -window root "$shots/editor-first.png"
echo "open-project screen centred, film picked, film.ws built ($ws_size bytes), editor shown"
