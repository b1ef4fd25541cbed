#!/usr/bin/env bash
# The whole road of a project in a real X window, driven with xdotool as a
# person would, on a 2-minute film whose subtitle lines are still to be
# timed: "指定" picks the film, the texts come from its text file one a line
# ("一行一幕"), "新建" starts a new timeline, " 下一步 >" builds the waveform
# summary. In the editor the texts are paired with the time codes as they
# are inserted ("字幕" unticked), three lines go in with V at three play
# positions, one is shifted with S and F, one stretched with E and D, one
# text edited, and "保存" writes the timeline. "  下一步 >" leads to the file
# tools: the spare file's re-timed copy and its texts are exported, a second
# file is merged into a bilingual one; "< 上一步  " goes back to the editor,
# where the video stands where it was left, one more key moves a line, and
# the close box ends the program, which saves on its way out. Every file the
# program writes must hold, byte for byte, what predict_road works out from
# the same steps without a window, and the program must end with status 0.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work project_road "${1:-build}"
need_built predict_road close_window

# the film, its WAV and its text file; the timeline is yet to be made
make_demo
rm "$work/demo/film.srt"
film="$work/demo/film.avi"
timeline="$work/demo/film.srt"
demo_for_prediction
# the spare file, in GBK as a Chinese system writes it: an entry of two
# lines, and fewer entries than the timeline will have after the exports
spare="$work/spare.srt"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\n备用第一句\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\n备用第二句\r\n分两行\r\n\r\n' \
  | iconv -f UTF-8 -t GBK >"$spare"
# the second file of the merge, in English
second="$work/english.srt"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nSecond line\r\n\r\n3\r\n00:00:05,000 --> 00:00:06,000\r\nThird\r\n\r\n' >"$second"
typed='^p--OK'

launch env XDG_STATE_HOME="$work/state" "$build/veltrana"

crop() { import -window root -crop "$1" +repage "$2"; }
keys() {  # letters, pressed one by one; a waveform refresh runs between two
  for key in $(echo "$1" | grep -o .); do
    xdotool key "$key"
    sleep 0.25
  done
}

# --- the open-project screen ------------------------------------------------
wait_open_screen
xdotool mousemove --window "$win" 615 122 click 1        # "指定"
answer_dialog "$win" "$film"
sleep 0.7
xdotool mousemove --window "$win" 392 262 click 1        # "含字幕 或者 不指定字幕" off: the texts come from film.txt
sleep 0.3
xdotool mousemove --window "$win" 392 343 click 1        # "一行一幕"
sleep 0.3
xdotool mousemove --window "$win" 615 283 click 1        # "新建"
answer_dialog "$win" "$timeline"
[ -f "$timeline" ] && [ ! -s "$timeline" ] || fail "\"新建\" did not create an empty $timeline"
eval "$(xdotool getwindowgeometry --shell "$win")"
crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/road-open-project.png"

# the editor's client area, centred on the screen (there is no window
# manager), and places in it: the subtitle label (the pointer there stands
# the video still), a spot on the picture left of the centre where the video
# steps back a frame at a time (and stands at the first frame), one at its
# left edge that rewinds fast, the step-size item "大", "字幕" of the bottom
# row, "保存" and "  下一步 >"
sw=1280; sh=1024; cw=684; ch=562
ex=$(((sw - cw) / 2)); ey=$(((sh - ch) / 2))
label_x=$((cw / 2)); label_y=$((ch - 208))
stepback_x=285; rewind_x=20; picture_y=200
large_x=25; large_y=$((ch - 86))
texts_x=371; texts_y=$((ch - 34))
save_x=188; next_x=576; row_y=$((ch - 33))

# " 下一步 >" builds film.ws beside film.wav and shows the editor
xdotool mousemove --window "$win" 615 428 click 1
xdotool mousemove $((ex + label_x)) $((ey + label_y))
for _ in $(seq 1 150); do [ -f "$work/demo/film.ws" ] && break; sleep 0.2; done
[ -f "$work/demo/film.ws" ] || fail "no film.ws was written"
editor="$(wait_editor)" || fail "the editor did not come up"
eval "$(xdotool getwindowgeometry --shell "$editor")"
ex=$X; ey=$Y
sleep 0.5

# --- the editor ---------------------------------------------------------------
# each new time code takes the next line of the text file: "字幕" off; and
# the largest step
press_revealed "$texts_x" "$texts_y"
press_revealed "$large_x" "$large_y"
# back to the film's first frame, then the pointer on the label
xdotool mousemove --window "$editor" "$rewind_x" "$picture_y"
sleep 0.1
xdotool mousemove --window "$editor" $((rewind_x + 1)) "$picture_y"
sleep 1.5
xdotool mousemove --window "$editor" "$stepback_x" "$picture_y"
sleep 0.1
xdotool mousemove --window "$editor" $((stepback_x + 1)) "$picture_y"
sleep 1.5
xdotool mousemove --window "$editor" "$label_x" "$label_y"
sleep 0.3
xdotool mousemove --window "$editor" $((label_x + 1)) "$label_y"
sleep 0.5
# At 0 s V puts a line in (1.6 s); G moves it 4 steps (0.8 s) later, five
# times, and R goes to where it begins now, 4 s in. There G moves it on,
# four times, and V puts a line in the room it left; R goes to the moved
# line, 7.2 s in, G moves it three times more, and V puts the third line
# there. G acts on the line nearest the play position within the waveform's
# view: never more than the room behind the play position, or the line
# before would be the nearer one, and not out of view.
keys vgggggrggggvrgggv
# the second line 2 steps (10 frames) earlier with S S F, then W to the
# first, which E E D stretches by 2 steps
keys ssfweed
import -window root -crop "${cw}x${ch}+${ex}+${ey}" +repage "$shots/road-editor-edited.png"
# its text: a double-click on the label, the text typed on, Enter
xdotool mousemove --window "$editor" "$label_x" "$label_y"
sleep 0.2
xdotool click --repeat 2 --delay 80 1
sleep 0.5
xdotool type --delay 30 -- "$typed"
sleep 0.2
xdotool key Return
sleep 0.5
press_revealed "$save_x" "$row_y"
for _ in $(seq 1 25); do [ -s "$timeline" ] && break; sleep 0.2; done
cp "$timeline" "$work/saved-first.srt"

# R: the video stands at the start of the second line when the editor is left
xdotool mousemove --window "$editor" "$label_x" "$label_y"
sleep 0.3
keys r
sleep 0.3
# the time row (less the play time) and the subtitle label as the editor is left
left_view="$work/left.png"
crop "300x40+$((ex + 180))+$((ey + ch - 236))" "$left_view"

# --- the file tools -----------------------------------------------------------
press_revealed "$next_x" "$row_y"
tools="$(wait_window '^Veltrana时间轴  ' 50)" || fail "the file tools did not come up"
eval "$(xdotool getwindowgeometry --shell "$tools")"
[ "$WIDTH" = 694 ] || fail "the window after \"  下一步 >\" is ${WIDTH} wide, not the file tools"
sleep 0.5
# the tabs along the bar, and each control at its design place within its
# page, whose corner stands at 56, 82 below the bar
tab_y=65; px=56; py=82
exports_tab=445; merge_tab=333
xdotool mousemove --window "$tools" "$exports_tab" "$tab_y" click 1
sleep 0.3
xdotool mousemove --window "$tools" $((px + 475)) $((py + 95)) click 1     # "指定" the spare file
answer_dialog "$tools" "$spare"
xdotool mousemove --window "$tools" $((px + 475)) $((py + 183)) click 1    # "保存" the re-timed copy
xdotool mousemove --window "$tools" $((px + 475)) $((py + 271)) click 1    # "保存" the texts
retimed="$work/spare.导出.srt"; texts="$work/spare.txt"
for _ in $(seq 1 25); do [ -f "$retimed" ] && [ -f "$texts" ] && break; sleep 0.2; done
[ -f "$retimed" ] && [ -f "$texts" ] || fail "the exports wrote no spare.导出.srt and spare.txt"
xdotool mousemove --window "$tools" "$merge_tab" "$tab_y" click 1
sleep 0.3
xdotool mousemove --window "$tools" $((px + 475)) $((py + 183)) click 1    # "指定" the second file
answer_dialog "$tools" "$second"
xdotool mousemove --window "$tools" $((px + 475)) $((py + 271)) click 1    # "另存为"
bilingual="$work/english.双语.srt"
for _ in $(seq 1 25); do [ -f "$bilingual" ] && break; sleep 0.2; done
[ -f "$bilingual" ] || fail "\"另存为\" wrote no english.双语.srt"

# "< 上一步  ": back to the editor, where the pointer comes to rest on the label
xdotool mousemove --window "$tools" $((458 + 44)) $((416 + 12)) click 1
xdotool mousemove $((ex + label_x)) $((ey + label_y))
editor="$(wait_editor)" || fail "the editor did not come back"
xdotool mousemove --window "$editor" $((label_x + 1)) "$label_y"
sleep 0.1
xdotool mousemove --window "$editor" "$label_x" "$label_y"
sleep 0.8
cp "$timeline" "$work/saved-on-the-way.srt"
back_view="$work/back.png"
crop "300x40+$((ex + 180))+$((ey + ch - 236))" "$back_view"
differing="$(compare -metric AE "$left_view" "$back_view" null: 2>&1 || true)"
[ "$differing" = 0 ] || {
  cp "$left_view" "$shots/road-left.png"; cp "$back_view" "$shots/road-back.png"
  fail "back in the editor, the current line is not the one it was left on ($differing pixels differ; road-left.png, road-back.png)"
}
# G moves the line the video stands in
keys g

# the close box: the editor saves and the program ends
"$build/close_window" "$editor" || fail "the editor did not take the close box's message"
expect_end pid "when the editor's close box was used" 50

# --- what the program wrote, against the prediction --------------------------
length_frames=3000  # the demo: 120 s at 25 frames a second
p="$work/predict"
XDG_STATE_HOME="$work/state-predict" "$build/predict_road" "$p/film.avi" "$work/demo/film.txt" "$p/film.srt" \
  25 $length_frames $((cw - 128)) \
  times-only size 3 at 0 keys vgggggrggggvrgggv keys ssfweed append "$typed" save "$p/saved-first.srt" \
  keys r tools retimed "$spare" "$p/retimed.srt" text "$spare" "$p/texts.txt" merge "$second" "$p/bilingual.srt" \
  keys g save "$p/saved-last.srt" >"$work/predict.log" || { cat "$work/predict.log"; fail "predict_road failed"; }
same() {  # predicted, written, what
  cmp "$1" "$2" >/dev/null || {
    diff <(tr -d '\r' <"$1" | iconv -f "${4:-UTF-8}" -t UTF-8) <(tr -d '\r' <"$2" | iconv -f "${4:-UTF-8}" -t UTF-8) | head -20 || true
    fail "$3 is not the one predicted (< predicted, > written)"
  }
}
cmp "$p/film.ws" "$work/demo/film.ws" || fail "film.ws is not the summary predicted"
same "$p/saved-first.srt" "$work/saved-first.srt" "the timeline \"保存\" wrote"
same "$p/saved-first.srt" "$work/saved-on-the-way.srt" "the timeline saved on leaving the editor and the file tools"
same "$p/retimed.srt" "$retimed" "the re-timed spare file" GBK
same "$p/texts.txt" "$texts" "the spare file's texts" GBK
same "$p/bilingual.srt" "$bilingual" "the bilingual file"
same "$p/saved-last.srt" "$timeline" "the timeline saved by the close box"
# worked out by hand, at 25 frames a second: the lines put in at 4.0 s and
# 7.2 s and the first one, moved on to 9.6 s; the first stretched by 10
# frames to 6.0 s, with its text edited; the second moved 10 frames earlier
# and, after the visit, 20 later
printf '1\r\n00:00:04,000 --> 00:00:06,000\r\n你好，欢迎来到时间轴演示。\r\n--OK\r\n\r\n2\r\n00:00:07,600 --> 00:00:09,200\r\n今天我们来调一调字幕。\r\n\r\n3\r\n00:00:09,600 --> 00:00:11,200\r\n' >"$work/first"
cmp -n "$(stat -c %s "$work/first")" "$work/first" "$timeline" || {
  diff <(tr -d '\r' <"$work/first") <(tr -d '\r' <"$timeline" | head -12) || true
  fail "the timeline does not begin with the three lines worked out by hand"
}
echo "the road of a project: new timeline from a text file, film.ws built, V S F E D and a text edited, \"保存\", exports and merge, back to the editor where it was left, the close box; every file as predicted byte for byte, exit status 0"
