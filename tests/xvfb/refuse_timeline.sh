#!/usr/bin/env bash
# A file named like the film's timeline that cannot be read as one (an ASS
# script with an events line cut short, then a text without a time code,
# saved as film.srt) in a real X window: "指定" picks the film, " 下一步 >"
# shows a message instead of the editor, Esc leaves the screen alone, and
# after the program is closed by the screen's close box the file holds
# exactly the bytes it held before. Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work refuse_timeline "${1:-build}"

ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x180:rate=25" -frames:v 50 -c:v mpeg4 -q:v 4 "$work/film.avi"

# $1: a name for the screenshot; film.srt holds the file to refuse
refuse() {
  cp "$work/film.srt" "$work/before.srt"
  rm -rf "$work/state"
  launch env XDG_STATE_HOME="$work/state" "$build/veltrana"
  wait_open_screen
  pick_film "$work/film.avi"
  sleep 1

  # " 下一步 >": a message box (a second window of the program's name) comes up
  xdotool mousemove --window "$win" 615 428 click 1
  wait_message_over "$win" "no message came up"
  sleep 0.5
  import -window root "$shots/refused-timeline-$1.png"

  # the message is dismissed, the screen stays; Esc leaves it where it is, and
  # its close box (the request a window manager sends) ends the program
  xdotool mousemove --window "$box" 10 10
  xdotool key Return
  sleep 0.5
  xdotool search --onlyvisible --name '^Veltrana时间轴$' | grep -qx "$win" || fail "the open-project screen did not stay"
  xdotool mousemove --window "$win" 300 30
  xdotool key Escape
  sleep 0.5
  xdotool search --onlyvisible --name '^Veltrana时间轴$' | grep -qx "$win" || fail "Esc closed the open-project screen"
  "$build/close_window" "$win" || fail "the screen does not take the close box's request"
  expect_end pid "when its screen was closed" 50

  cmp -s "$work/film.srt" "$work/before.srt" || fail "film.srt changed"
  [ ! -e "$work/state/veltrana/backups" ] || [ -z "$(ls -A "$work/state/veltrana/backups")" ] || fail "a backup was made, so something was saved"
  echo "$1: refused with a message, the screen stayed (Esc too), the close box ended the program (status 0), film.srt unchanged"
}

printf '[Script Info]\r\nTitle: film\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Text\r\nDialogue: 0,0:00:01.00,0:00:02.00,Default,你好\r\nDialogue: 0,0:00:03.00\r\n' >"$work/film.srt"
refuse broken-ass
printf '\xef\xbb\xbf你好\n\n世界\n' >"$work/film.srt"
refuse no-time-codes
