#!/usr/bin/env bash
# The open-project screen in a real X window, met as a new user meets it and
# driven with xdotool: a window of its own on the task bar with the program's
# icon; Esc leaves it alone; the notice comes and goes; Tab to "指定" and
# Enter opens the file dialog, where the 23.976 fps film is typed in; " 下一步 >"
# builds film.ws beside film.wav and the editor comes up, and its close box
# ends the program. Then the same film named on the command line, in the C
# locale: the screen comes up with it chosen, Enter loads it; and a file the
# player cannot play, named the same way, gets its message before the screen.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work open_project "${1:-build}"

ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x360:rate=24000/1001" -f lavfi -i "sine=frequency=300" \
  -frames:v 240 -c:v mpeg4 -q:v 4 -c:a pcm_s16le -shortest "$work/film.avi"
ffmpeg -v error -y -i "$work/film.avi" -vn -c:a pcm_s16le -fflags +bitexact -flags:a +bitexact "$work/film.wav"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,500\r\n世界\r\n\r\n' >"$work/film.srt"
echo "not a film" >"$work/notes.avi"

start() {  # the program's arguments; runs it in the work folder
  launch env -C "$work" XDG_STATE_HOME="$work/state" "$@"
}
# The program's visible windows other than those given. In the C locale Qt
# writes the old-style window name in Latin-1, so windows are found by the
# program's process id rather than by their Chinese names.
other_window() {  # known windows...; tries of 0.2 s
  for _ in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      case " $* " in *" $w "*) ;; *) echo "$w"; return 0 ;; esac
    done
    sleep 0.2
  done
  return 1
}
size_of() { eval "$(xdotool getwindowgeometry --shell "$1")"; echo "${WIDTH}x${HEIGHT}"; }
# A window of its own on the task bar (not a dialog hung on a hidden window),
# with the program's icon.
expect_own_window() {  # window, what
  local props
  props="$(xprop -id "$1" WM_TRANSIENT_FOR _NET_WM_WINDOW_TYPE _NET_WM_ICON)"
  grep -q '_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL$' <<<"$props" || fail "$2 is not a normal window: ${props:0:300}"
  grep -q 'WM_TRANSIENT_FOR:  not found' <<<"$props" || fail "$2 hangs on another window: ${props:0:300}"
  grep -q '_NET_WM_ICON(CARDINAL)' <<<"$props" || fail "$2 has no icon"
}
close_and_expect_end() {  # window
  "$build/close_window" "$1" || fail "the window does not take the close box's request"
  expect_end pid "when its window was closed"
}
wait_editor() {  # the program's window that is not the 694x472 open-project screen
  for _ in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      [ "$(size_of "$w")" != 694x472 ] && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}

# ---- as a new user meets it
start "$build/veltrana"
win="$(wait_window '^Veltrana时间轴$')" || fail "the open-project screen did not appear"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" = 694 ] && [ "$HEIGHT" = 472 ] || fail "screen is ${WIDTH}x${HEIGHT}, not 694x472"
sw=1280; sh=1024
dx=$((X - (sw - WIDTH) / 2)); dy=$((Y - (sh - HEIGHT) / 2))
[ ${dx#-} -le 2 ] && [ ${dy#-} -le 2 ] || fail "screen at $X,$Y is not centred"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/open-project.png"
expect_own_window "$win" "the open-project screen"

# without a window manager the keyboard follows the pointer: rest it on the
# window the keys are for. Esc leaves the screen and the program alone.
xdotool mousemove --window "$win" 300 30
xdotool key Escape
sleep 0.5
kill -0 $pid 2>/dev/null || fail "Esc ended the program"
xdotool search --onlyvisible --name '^Veltrana时间轴$' | grep -qx "$win" || fail "Esc closed the open-project screen"

# "初次使用请看": the notice, which Esc hides again
xdotool mousemove --window "$win" 508 428 click 1
notice="$(wait_window '^申明$')" || fail "\"初次使用请看\" showed no notice"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$notice")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/notice.png"
expect_own_window "$notice" "the notice"
# a window manager gives the keyboard to a window that comes up; here the
# script does
xdotool windowfocus "$notice"
sleep 0.3
xdotool key Escape
wait_no_window '^申明$' 25 || fail "Esc did not hide the notice"

# Tab from the video box to "指定", and Enter opens the file dialog
xdotool windowfocus "$win"
xdotool mousemove --window "$win" 300 122 click 1
sleep 0.3
xdotool key Tab Return
dialog="$(wait_window '^指定$')" || fail "Tab and Enter on \"指定\" opened no dialog"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$dialog")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/open-project-dialog.png"
type_path "$dialog" "$work/film.avi"
wait_no_window '^指定$' || true
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/open-project-picked.png"

# " 下一步 >" loads: film.ws appears beside film.wav, then the editor
xdotool mousemove --window "$win" 615 428 click 1
for _ in $(seq 1 100); do [ -f "$work/film.ws" ] && break; sleep 0.2; done
[ -f "$work/film.ws" ] || fail "no film.ws was written"
ws_size=$(stat -c %s "$work/film.ws")
# 200 bytes a second of sound; the film is 10 s long
[ "$ws_size" -ge 1960 ] && [ "$ws_size" -le 2040 ] || fail "film.ws holds $ws_size bytes, not about 2000 for 10 s of sound"
editor="$(wait_editor)" || fail "the editor did not come up"
sleep 1
import -window root "$shots/editor-first.png"
expect_own_window "$editor" "the editor"
close_and_expect_end "$editor"

# ---- the film named on the command line, with one of Qt's own options
start env LANG=C LC_ALL=C "$build/veltrana" -platform xcb film.avi
win="$(other_window)" || fail "no screen came up for the film named on the command line"
sleep 0.5
[ "$(size_of "$win")" = 694x472 ] || fail "the first window is not the open-project screen"
eval "$(xdotool getwindowgeometry --shell "$win")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/open-project-command-line.png"
# the focus starts in the video box: Enter there is " 下一步 >", which opens
# the editor only with the film's rate measured and its timeline found
xdotool mousemove --window "$win" 300 30
xdotool key Return
editor="$(wait_editor)" || fail "Enter on the screen the command line filled did not load the film"
close_and_expect_end "$editor"

# ---- a file the player cannot play: its message comes first, in a Chinese face in the C locale
start env LANG=C LC_ALL=C "$build/veltrana" notes.avi
box="$(other_window)" || fail "no message came up for a file the player cannot play"
sleep 0.5
[ "$(size_of "$box")" != 694x472 ] || fail "the screen came up before the message"
eval "$(xdotool getwindowgeometry --shell "$box")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/format-not-supported-C-locale.png"
xdotool mousemove --window "$box" 10 10
xdotool key Return
win="$(other_window "$box")" || fail "the screen did not come up after the message"
[ "$(size_of "$win")" = 694x472 ] || fail "what came up after the message is not the open-project screen"
close_and_expect_end "$win"

echo "open-project screen centred, on the task bar with its icon, Esc stayed, notice shown and hidden, Tab+Enter on \"指定\", film.ws built ($ws_size bytes), editor shown and closed (status 0); the film named on the command line loaded by Enter; a file the player cannot play refused before the screen"
