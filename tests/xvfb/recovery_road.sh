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
source tests/xvfb/lib/work.bash
start_work recovery_road "${1:-build}"
need_built predict_edits

make_demo
demo_for_prediction
predict_demo_edits
cp "$work/demo/film.srt" "$work/original.srt"
recovery_dir="$work/state/veltrana/recovery"

# The film named on the command line, and Enter on the open-project screen
# that comes up with it.
open_film() {
  launch env -C "$work/demo" XDG_STATE_HOME="$work/state" VELTRANA_AUTOSAVE_SECONDS=1 "$build/veltrana" film.avi
  enter_on_open_screen
}
recovery_files() { find "$recovery_dir" -maxdepth 1 -name 'film.*.srt' 2>/dev/null; }
declined_files() { find "$recovery_dir" -maxdepth 1 -name 'film.*.srt.declined-*' 2>/dev/null; }
question='^恢复未保存的修改$'
editor_name='^Veltrana时间轴  '

# ---- edits, the autosave, kill -9
open_film
pointer_to_play_spot
editor="$(wait_window "$editor_name" 150)" || fail "the editor did not come up"
edit_demo
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
expect_end pid "after the editor's close box"
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
expect_end pid "after the editor's close box"
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
expect_end pid "after SIGTERM"
cmp "$work/demo/film.srt" "$work/predicted.srt" || {
  diff <(tr -d '\r' <"$work/predicted.srt") <(tr -d '\r' <"$work/demo/film.srt") | head -20 || true
  fail "after \"是\" and SIGTERM the timeline is not the one the keys made (< predicted, > saved)"
}
[ -z "$(recovery_files)" ] || fail "the save on SIGTERM left the recovery file behind"
echo "autosave after the keys, kill -9, \"否\" kept the copy aside, an older copy offered and kept aside, \"是\" and SIGTERM saved the timeline the keys made (status 0)"
