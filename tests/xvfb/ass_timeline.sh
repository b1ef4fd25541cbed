#!/usr/bin/env bash
# An ASS timeline in a real X window: a film whose only timeline beside it is
# film.ass (UTF-8 with its mark, CR LF, two styles, a comment event, override
# blocks, a [Fonts] section after the events) is opened from the command
# line and the first screen's Enter. In the editor the first line's text is
# edited (a double-click on the label, " OK" typed on, Enter) and S moves the
# line 4 frames earlier; "保存" writes the file back. Every byte but that line's
# two times and its text must be as it was, and those must be as predicted:
# the leading override block kept, the line break written as \N.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work ass_timeline "${1:-build}"

mkdir "$work/film"
ffmpeg -v error -y -f lavfi -i "testsrc2=s=160x90:r=25:d=6" -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  "$work/film/film.mp4"
ass() {  # the script, with the first event's times and text given
  printf '\xEF\xBB\xBF[Script Info]\r\n; 手工做的双语字幕\r\nTitle: 测试\r\nScriptType: v4.00+\r\n\r\n'
  printf '[V4+ Styles]\r\nFormat: Name, Fontname, Fontsize, PrimaryColour\r\n'
  printf 'Style: 中文,黑体,60,&H00FFFFFF\r\nStyle: English,Arial,40,&H00FFFFFF\r\n\r\n'
  printf '[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n'
  printf 'Dialogue: 0,%s,%s,中文,,0,0,0,,%s\r\n' "$1" "$2" "$3"
  printf 'Comment: 0,0:00:01.50,0:00:02.00,中文,,0,0,0,,待译\r\n'
  printf 'Dialogue: 1,0:00:03.00,0:00:04.00,English,,0000,0000,0000,,{\\i1}Hello,{\\i0} world\r\n'
  printf '\r\n[Fonts]\r\nfontname: a.ttf\r\n!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\r\n'
}
ass '0:00:01.00' '0:00:02.00' '{\an8}你好\N世界' >"$work/film/film.ass"
ass '0:00:00.84' '0:00:01.84' '{\an8}你好\N世界 OK' >"$work/expected.ass"

launch env -C "$work/film" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" "$build/veltrana" film.mp4
enter_on_open_screen
editor="$(wait_editor)" || fail "the editor did not come up (the film's ASS timeline was not taken)"
cw=684; ch=562
label_x=$((cw / 2)); label_y=$((ch - 208))
save_x=188; row_y=$((ch - 33))
sleep 0.5
# resting on the subtitle label stands the picture still, at the start: the
# first line, a second later, is the current line
xdotool mousemove --window "$editor" "$label_x" "$label_y"
sleep 0.3
xdotool mousemove --window "$editor" $((label_x + 1)) "$label_y"
sleep 0.5
xdotool click --repeat 2 --delay 80 1
sleep 0.5
xdotool type --delay 30 -- " OK"
sleep 0.2
xdotool key Return
sleep 0.5
xdotool key s
sleep 0.5
press_revealed "$save_x" "$row_y"
for _ in $(seq 1 25); do cmp -s "$work/film/film.ass" "$work/expected.ass" && break; sleep 0.2; done
if ! cmp -s "$work/film/film.ass" "$work/expected.ass"; then
  diff <(tr -d '\r' <"$work/expected.ass") <(tr -d '\r' <"$work/film/film.ass") || true
  fail "the saved ASS is not the one expected"
fi

kill "$pid"
wait "$pid" || true
pid=""
echo "ass_timeline: film.ass found beside the film, its first line's text edited and moved 4 frames earlier with S; saved with only that line's times and text changed, the rest byte for byte"
