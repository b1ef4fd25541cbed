#!/usr/bin/env bash
# One project, one editor, in a real X window: a first start on the demo film
# opens its editor, takes the keys W X V S E F and autosaves them (after a
# second: VELTRANA_AUTOSAVE_SECONDS). A second start on the same film gets a
# message on the open-project screen instead of an editor or a recovery
# question, and leaves by its close box with status 0; the first one's copy
# and the timeline file are untouched. SIGTERM then ends the first one with
# status 0 and the timeline saved byte for byte as predict_edits works it
# out without a window; a third start opens the project at once, its lock
# gone with the first program.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build}" && pwd)"
shots="$build/screenshots"
work="$(mktemp -d /tmp/veltrana-xvfb-XXXXXX)"
mkdir -p "$shots"
[ -x "$build/predict_edits" ] || { echo "$build/predict_edits is missing: build the target predict_edits"; exit 1; }

scripts/make-demo "$work/demo" >/dev/null
mkdir "$work/predict"
ln -s "$work/demo/film.avi" "$work/predict/film.avi"
ln -s "$work/demo/film.wav" "$work/predict/film.wav"
cp "$work/demo/film.srt" "$work/predict/film.srt"
cw=684; ch=562
XDG_STATE_HOME="$work/state-predict" "$build/predict_edits" "$work/predict/film.avi" 25 3000 0 $((cw - 128)) wxvsef \
  "$work/predicted.srt" >/dev/null
cp "$work/demo/film.srt" "$work/original.srt"
recovery_dir="$work/state/veltrana/recovery"

first=""; second=""
source tests/xvfb/lib/windows.bash
trap 'leave_work second_instance.log "$first" "$second"' EXIT

start() {  # the new program's id goes to $started
  (cd "$work/demo" && exec env XDG_STATE_HOME="$work/state" VELTRANA_AUTOSAVE_SECONDS=1 "$build/veltrana" film.avi \
    >>"$work/program.log" 2>&1) &
  started=$!
}
expect_end() {  # $1 = the program's id, $2 = what ended it
  for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$1" 2>/dev/null && fail "the program did not end after $2"
  local status=0
  wait "$1" || status=$?
  [ "$status" = 0 ] || fail "the program ended with status $status after $2"
}
open_screens() { xdotool search --onlyvisible --name '^Veltrana时间轴$' 2>/dev/null || true; }
recovery_files() { find "$recovery_dir" -maxdepth 1 -name 'film.*.srt*' ! -name '*.lock' 2>/dev/null | sort; }
editor_name='^Veltrana时间轴  '

# ---- the first start: the editor, the keys, the autosave
start; first=$started
win="$(wait_window '^Veltrana时间轴$')" || fail "the first open-project screen did not appear"
sleep 0.5
xdotool mousemove --window "$win" 300 30
xdotool key Return
xdotool mousemove $(((1280 - cw) / 2 + 450)) $(((1024 - ch) / 2 + ch - 244))
editor="$(wait_window "$editor_name" 150)" || fail "the first editor did not come up"
sleep 1
xdotool mousemove --window "$editor" $((cw / 2)) $((ch - 208))
sleep 0.6
for key in w x v s e f; do
  xdotool key "$key"
  sleep 0.4
done
for _ in $(seq 1 50); do [ -n "$(recovery_files)" ] && break; sleep 0.2; done
copy="$(recovery_files)"
[ -n "$copy" ] || fail "no recovery file was written within 10 s of the edits"
sleep 0.5
cmp "$copy" "$work/predicted.srt" || fail "the recovery file is not the timeline the keys made"
cp "$copy" "$work/autosaved.srt"

# ---- the second start on the same film: a message, no editor, no question
start; second=$started
win2=""
for _ in $(seq 1 100); do
  win2="$(open_screens | tail -1)"
  [ -n "$win2" ] && break
  sleep 0.2
done
[ -n "$win2" ] || fail "the second open-project screen did not appear"
sleep 0.5
xdotool mousemove --window "$win2" 300 30
xdotool key Return
box=""
for _ in $(seq 1 50); do
  for w in $(open_screens); do
    [ "$w" != "$win2" ] && { box="$w"; break 2; }
  done
  sleep 0.2
done
[ -n "$box" ] || fail "the second start showed no message"
eval "$(xdotool getwindowgeometry --shell "$box")"
[ "$WIDTH" != 694 ] || fail "the window that came up is the size of the open-project screen, not a message"
sleep 0.5
import -window root "$shots/second-instance.png"
[ "$(xdotool search --onlyvisible --name "$editor_name" | wc -l)" = 1 ] || fail "the second start opened an editor"
xdotool search --onlyvisible --name '^恢复未保存的修改$' >/dev/null 2>&1 && fail "the second start offered the first one's live edits"
xdotool mousemove --window "$box" 10 10
xdotool key Return
sleep 0.5
open_screens | grep -qx "$win2" || fail "the second open-project screen did not stay after the message"
"$build/close_window" "$win2" || fail "the second screen does not take the close box's request"
expect_end "$second" "the second screen's close box"
second=""
[ "$(recovery_files)" = "$copy" ] || fail "the recovery folder changed: $(recovery_files)"
cmp "$copy" "$work/autosaved.srt" || fail "the second start changed the first one's recovery file"
cmp "$work/demo/film.srt" "$work/original.srt" || fail "the timeline file changed although nothing was saved"
kill -0 "$first" 2>/dev/null || fail "the first program ended with the second"

# ---- SIGTERM: the first one saves what the keys made
kill -TERM "$first"
expect_end "$first" "SIGTERM"
first=""
cmp "$work/demo/film.srt" "$work/predicted.srt" || fail "after SIGTERM the timeline is not the one the keys made"
[ -z "$(recovery_files)" ] || fail "the save on SIGTERM left the recovery file behind"

# ---- a third start opens the project: the lock went with the first one
start; first=$started
win="$(wait_window '^Veltrana时间轴$')" || fail "the third open-project screen did not appear"
sleep 0.5
xdotool mousemove --window "$win" 300 30
xdotool key Return
editor="$(wait_window "$editor_name" 150)" || fail "the third start could not open the project"
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
expect_end "$first" "the editor's close box"
first=""
# (its closing saves what it loaded; a loaded text's leading line break is
# the reader's to keep, not this check's)
[ "$(grep -c -- '-->' "$work/demo/film.srt")" = 20 ] || fail "the third start's save does not hold the 20 lines"
echo "the second start on an open project got a message and no editor (status 0), the first one's copy and the timeline untouched; SIGTERM saved the keys' timeline (status 0); a third start opened it"
