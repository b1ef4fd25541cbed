#!/usr/bin/env bash
# The file-tools screen in a real X window, driven with xdotool as a person
# would: the demo project is picked with "指定" and loaded with " 下一步 >",
# the editor's "  下一步 >" shows the file tools; there the bilingual merge
# takes a second file chosen with "指定" ("置顶" ticked, "另存为"), the
# shift moves every line by a number of seconds typed into its field, Esc
# leaves the screen where it is, and "保存退出" saves and ends the program.
# The bilingual file and the timeline must hold, byte for byte, what
# predict_file_tools works out from the same files without a window. A
# screenshot of each tab goes to the build folder's screenshots.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work file_tools "${1:-build}"
need_built predict_file_tools
make_demo
demo_for_prediction
# the second file: fewer entries than the timeline, one of two lines and one
# without text, in the other language
second="$work/english.srt"
: >"$second"
for i in $(seq 1 18); do
  case $i in
    4) text='' ;;
    7) text=$'Line 7\r\nand its second line' ;;
    *) text="Line $i" ;;
  esac
  if [ -n "$text" ]; then
    printf '%d\r\n00:00:%02d,000 --> 00:00:%02d,500\r\n%s\r\n\r\n' "$i" "$i" "$i" "$text" >>"$second"
  else
    printf '%d\r\n00:00:%02d,000 --> 00:00:%02d,500\r\n\r\n' "$i" "$i" "$i" >>"$second"
  fi
done
seconds="-0.5"

launch env XDG_STATE_HOME="$work/state" "$build/veltrana"

sw=1280; sh=1024
# the editor's "  下一步 >", which the pointer's coming reveals, in the
# client coordinates of the editor at its design size (684x562)
ch=562
next_x=576; next_y=$((ch - 33))
# places on the file-tools screen, in its client coordinates: the five tabs
# along the bar, and each control at its design place within its page,
# whose corner stands at 56, 82 below the bar
tab_y=65
tab_x=(109 221 333 445 557)
px=56; py=82
shot() { import -window root -crop "694x472+${tx}+${ty}" +repage "$shots/$1"; }

wait_open_screen
pick_film "$work/demo/film.avi"
wait_gone "$dialog" || fail "the video's dialog did not close"
sleep 1

# " 下一步 >"; the pointer goes at once to the picture, clear of the waveform
xdotool mousemove --window "$win" 615 428 click 1
pointer_to_play_spot
editor="$(wait_editor)" || fail "the editor did not come up"
sleep 1.5

# "  下一步 >" comes up under the pointer; the editor saves and the file tools show
press_revealed "$next_x" "$next_y"
tools="$(wait_tools)" || fail "the file tools did not come up"
sleep 0.5
[ "$(xdotool getwindowname "$tools")" = "Veltrana时间轴  $work/demo/film.srt" ] \
  || fail "the caption is \"$(xdotool getwindowname "$tools")\", not the timeline file's"
eval "$(xdotool getwindowgeometry --shell "$tools")"
tx=$X; ty=$Y
[ "$HEIGHT" = 472 ] || fail "the file tools are ${WIDTH}x${HEIGHT}, not 694x472"
dx=$((X - (sw - WIDTH) / 2)); dy=$((Y - (sh - HEIGHT) / 2))
[ ${dx#-} -le 2 ] && [ ${dy#-} -le 2 ] || fail "the file tools at $X,$Y are not centred"
# the frame-rate tab comes first
shot file-tools-conversion.png

# the merge: "指定" the second file, which names the output beside it; "置顶"; "另存为"
xdotool mousemove --window "$tools" "${tab_x[2]}" "$tab_y" click 1
sleep 0.3
xdotool mousemove --window "$tools" $((px + 435 + 40)) $((py + 171 + 12)) click 1
dialog="$(wait_other_window "$tools")" || fail "\"指定\" opened no dialog"
type_path "$dialog" "$second"
wait_gone "$dialog" || fail "the second file's dialog did not close"
sleep 0.3
xdotool mousemove --window "$tools" $((px + 454 + 8)) $((py + 126 + 8)) click 1
sleep 0.3
shot file-tools-merge.png
bilingual="$work/english.双语.srt"
xdotool mousemove --window "$tools" $((px + 435 + 40)) $((py + 259 + 12)) click 1
for _ in $(seq 1 25); do [ -f "$bilingual" ] && break; sleep 0.2; done
[ -f "$bilingual" ] || fail "\"另存为\" wrote no english.双语.srt"

xdotool mousemove --window "$tools" "${tab_x[3]}" "$tab_y" click 1
sleep 0.3
shot file-tools-exports.png
xdotool mousemove --window "$tools" "${tab_x[4]}" "$tab_y" click 1
sleep 0.3
shot file-tools-finish.png

# the shift: "全部", the seconds typed, Tab to the frames field, "移动"
xdotool mousemove --window "$tools" "${tab_x[0]}" "$tab_y" click 1
sleep 0.3
xdotool mousemove --window "$tools" $((px + 75 + 8 + 10)) $((py + 119 + 36 + 11)) click 1
# the seconds field within its group "时值" at 240, 119; this style draws the
# group's caption above its frame, which moves the fields 17 pixels down
xdotool mousemove --window "$tools" $((px + 240 + 49 + 40)) $((py + 119 + 36 + 17 + 11)) click 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 20 -- "$seconds"
xdotool key Tab
sleep 0.3
shot file-tools-shift.png
xdotool mousemove --window "$tools" $((px + 424 + 40)) $((py + 232 + 12)) click 1
sleep 0.3

# Esc is no way out
xdotool key Escape
sleep 0.5
xdotool search --onlyvisible --name '^Veltrana时间轴  ' | grep -qx "$tools" || fail "Esc closed the file tools"

# "保存退出" saves and ends the program
xdotool mousemove --window "$tools" $((553 + 44)) $((416 + 12)) click 1
wait_end "$pid" 50 || fail "the program did not end after \"保存退出\""

length_frames=3000  # the demo: 120 s at 25 frames a second
XDG_STATE_HOME="$work/state-predict" "$build/predict_file_tools" "$work/predict/film.avi" 25 $length_frames \
  "$second" 1 "$seconds" "$work/predicted-bilingual.srt" "$work/predicted.srt" >/dev/null
cmp "$bilingual" "$work/predicted-bilingual.srt" || {
  diff <(tr -d '\r' <"$work/predicted-bilingual.srt") <(tr -d '\r' <"$bilingual") | head -20 || true
  fail "the bilingual file is not the one predicted (< predicted, > written)"
}
cmp "$work/demo/film.srt" "$work/predicted.srt" || {
  diff <(tr -d '\r' <"$work/predicted.srt") <(tr -d '\r' <"$work/demo/film.srt") | head -20 || true
  fail "the saved timeline is not the one predicted (< predicted, > saved)"
}
# worked out by hand: the demo's first line, 1.000 s to 3.500 s, is frames
# 25 to 88 at 25 fps (3.5 s is 87.5 frames, rounded up), so the bilingual
# file has it from 1.000 s to 3.520 s with the second file's first text
# above the timeline's; -0.5 s is 13 frames earlier, frames 12 to 75
printf '1\r\n00:00:00,480 --> 00:00:03,000\r\n' >"$work/first"
cmp -n "$(stat -c %s "$work/first")" "$work/first" "$work/demo/film.srt" \
  || fail "the saved timeline does not begin with its first line 13 frames earlier"
printf '1\r\n00:00:01,000 --> 00:00:03,520\r\nLine 1\r\n' >"$work/first"
cmp -n "$(stat -c %s "$work/first")" "$work/first" "$bilingual" \
  || fail "the bilingual file does not begin with the second file's first text on top"
echo "file tools: merged with the second text on top, shifted by $seconds s, Esc stayed, \"保存退出\" saved; both files as predicted byte for byte"
