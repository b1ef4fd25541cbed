#!/usr/bin/env bash
# Unsaved work outlives a killed program, in a real X window: the demo film
# named on the command line, Enter, the keys W X V S E F in the editor, the
# autosave (after a second: VELTRANA_AUTOSAVE_SECONDS) and kill -9. The next
# start on the same film asks; "否" (Esc) moves the copy aside and the
# editor opens on the file as it was. A copy older than the timeline file is
# offered too, and "否" keeps it aside as well. A copy newer than the
# file is offered again; "是" (Enter) takes it, and SIGTERM ends the program
# with status 0 and the timeline saved: byte for byte what predict_edits
# works out for the same keys without a window, as was the copy itself.
# Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build}" && pwd)"
work="$(mktemp -d /tmp/veltrana-xvfb-XXXXXX)"
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

pid=""
source tests/xvfb/lib/windows.bash
trap 'leave_work recovery_road.log "$pid"' EXIT

start() {
  (cd "$work/demo" && exec env XDG_STATE_HOME="$work/state" VELTRANA_AUTOSAVE_SECONDS=1 "$build/veltrana" film.avi \
    >>"$work/program.log" 2>&1) &
  pid=$!
}
expect_end() {  # what ended it
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
  kill -0 $pid 2>/dev/null && fail "the program did not end after $1"
  local status=0
  wait $pid || status=$?
  pid=""
  [ "$status" = 0 ] || fail "the program ended with status $status after $1"
}
# The open-project screen comes up with the film; without a window manager
# the keyboard follows the pointer, so it rests on the window the keys are for.
# Enter is " 下一步 >".
open_film() {
  start
  local win
  win="$(wait_window '^Veltrana时间轴$')" || fail "the open-project screen did not appear"
  sleep 0.5
  xdotool mousemove --window "$win" 300 30
  xdotool key Return
}
recovery_files() { find "$recovery_dir" -maxdepth 1 -name 'film.*.srt' 2>/dev/null; }
declined_files() { find "$recovery_dir" -maxdepth 1 -name 'film.*.srt.declined-*' 2>/dev/null; }
question='^恢复未保存的修改$'
editor_name='^Veltrana时间轴  '

# ---- edits, the autosave, kill -9
open_film
# at once to where the dial plays normally, so the editor does not come up
# with the pointer on its strip
xdotool mousemove $(((1280 - cw) / 2 + 450)) $(((1024 - ch) / 2 + ch - 244))
editor="$(wait_window "$editor_name" 150)" || fail "the editor did not come up"
sleep 1
# on the subtitle label the video stands still; W goes to line 1 from
# anywhere before the end of line 2 (9.3 s)
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
kill -9 $pid
wait $pid 2>/dev/null || true
pid=""
cmp "$work/demo/film.srt" "$work/original.srt" || fail "the timeline file changed although nothing was saved"
cp "$copy" "$work/autosaved.srt"

# ---- "否": moved aside, the file left as it was
open_film
box="$(wait_window "$question")" || fail "the next start did not offer the unsaved changes"
xdotool mousemove --window "$box" 10 10
xdotool key Escape
editor="$(wait_window "$editor_name" 150)" || fail "the editor did not come up after \"否\""
[ -z "$(recovery_files)" ] || fail "the declined copy is still offered"
aside="$(declined_files)"
[ -n "$aside" ] || fail "\"否\" did not keep the copy aside"
cmp "$aside" "$work/autosaved.srt" || fail "the copy kept aside is not the autosaved timeline"
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
expect_end "the editor's close box"
[ "$(grep -c -- '-->' "$work/demo/film.srt")" = 20 ] || fail "after \"否\" the timeline does not hold its 20 lines"

# ---- a copy older than the timeline file (touched since): offered all the
# same, never removed without an answer; "否" keeps it aside too
cp "$work/autosaved.srt" "$recovery_dir/$(basename "$copy")"
touch -d '1 hour ago' "$recovery_dir/$(basename "$copy")"
open_film
box="$(wait_window "$question")" || fail "a copy older than the timeline was not offered"
xdotool mousemove --window "$box" 10 10
xdotool key Escape
editor="$(wait_window "$editor_name" 150)" || fail "the editor did not come up"
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
expect_end "the editor's close box"
[ -z "$(recovery_files)" ] || fail "the declined old copy is still offered"
[ "$(declined_files | wc -l)" = 2 ] || fail "the two copies set aside are not both kept"
for aside in $(declined_files); do
  cmp "$aside" "$work/autosaved.srt" || fail "a copy set aside is not the autosaved timeline"
done

# ---- "是", then SIGTERM: the recovered timeline saved
cp "$work/autosaved.srt" "$recovery_dir/$(basename "$copy")"
open_film
box="$(wait_window "$question")" || fail "a copy newer than the timeline was not offered"
xdotool mousemove --window "$box" 10 10
xdotool key Return
editor="$(wait_window "$editor_name" 150)" || fail "the editor did not come up after \"是\""
cmp -s "$work/demo/film.srt" "$work/predicted.srt" && fail "\"是\" wrote the timeline file before any save"
sleep 1
kill -TERM $pid
expect_end "SIGTERM"
cmp "$work/demo/film.srt" "$work/predicted.srt" || {
  diff <(tr -d '\r' <"$work/predicted.srt") <(tr -d '\r' <"$work/demo/film.srt") | head -20 || true
  fail "after \"是\" and SIGTERM the timeline is not the one the keys made (< predicted, > saved)"
}
[ -z "$(recovery_files)" ] || fail "the save on SIGTERM left the recovery file behind"
echo "autosave after the keys, kill -9, \"否\" kept the copy aside, an older copy offered and kept aside, \"是\" and SIGTERM saved the timeline the keys made (status 0)"
