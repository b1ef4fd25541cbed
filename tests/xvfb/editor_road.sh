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
source tests/xvfb/lib/work.bash
start_work editor_road "${1:-build}"
need_built predict_edits
make_demo
demo_for_prediction

launch env XDG_STATE_HOME="$work/state" "$build/veltrana"

now_ms() { date +%s%3N; }

sw=1280; sh=1024
# the editor's client area, centred on the screen (there is no window manager)
cw=684; ch=562
ex=$(((sw - cw) / 2)); ey=$(((sh - ch) / 2))
# places in the editor, in its client coordinates: a level-6 spot of the
# dial over the picture that also shows the progress bar (ClientHeight - 260
# < y < ClientHeight - 236) and "保存"
play_x=450; play_y=$((ch - 244))
save_x=188; save_y=$((ch - 33))

wait_open_screen
pick_film "$work/demo/film.avi"
sleep 1

# " 下一步 >"; then at once to where the editor's dial plays normally, so the
# editor does not come up under the pointer's old place on its waveform (which
# would stand the video still)
xdotool mousemove --window "$win" 615 428 click 1
xdotool mousemove $((ex + play_x)) $((ey + play_y))
editor="$(wait_editor)" || fail "the editor did not come up"
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
rest_on_label
# W goes to line 1's start (frame 25) from anywhere before the end of line 2
# (9.3 s); every later key acts there
[ $(($(now_ms) - shown)) -lt 8500 ] || fail "too slow: the video may have passed line 2 before W"
press_keys w x v s e f
import -window root -crop "${cw}x${ch}+${ex}+${ey}" +repage "$shots/editor-edited.png"

# "保存" is enabled by the pointer's coming to the bottom row
before=$(stat -c %Y.%s "$work/demo/film.srt")
press_revealed "$save_x" "$save_y"
for _ in $(seq 1 25); do
  [ "$(stat -c %Y.%s "$work/demo/film.srt")" != "$before" ] && break
  sleep 0.2
done
kill -0 $pid 2>/dev/null || fail "the program ended"

predict_demo_edits
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
