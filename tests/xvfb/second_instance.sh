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
source tests/xvfb/lib/work.bash
start_work second_instance "${1:-build}" first second
need_built predict_edits

make_demo
demo_for_prediction
predict_demo_edits
cp "$work/demo/film.srt" "$work/original.srt"
recovery_dir="$work/state/veltrana/recovery"

start() {  # the new program's id goes to $pid
  launch env -C "$work/demo" XDG_STATE_HOME="$work/state" VELTRANA_AUTOSAVE_SECONDS=1 "$build/veltrana" film.avi
}
open_screens() { xdotool search --onlyvisible --name '^Veltrana时间轴$' 2>/dev/null || true; }
recovery_files() { find "$recovery_dir" -maxdepth 1 -name 'film.*.srt*' ! -name '*.lock' 2>/dev/null | sort; }
editor_name='^Veltrana时间轴  '

# ---- the first start: the editor, the keys, the autosave
start; first=$pid
enter_on_open_screen "the first open-project screen did not appear"
pointer_to_play_spot
editor="$(wait_window "$editor_name" 150)" || fail "the first editor did not come up"
edit_demo
for _ in $(seq 1 50); do [ -n "$(recovery_files)" ] && break; sleep 0.2; done
copy="$(recovery_files)"
[ -n "$copy" ] || fail "no recovery file was written within 10 s of the edits"
sleep 0.5
cmp "$copy" "$work/predicted.srt" || fail "the recovery file is not the timeline the keys made"
cp "$copy" "$work/autosaved.srt"

# ---- the second start on the same film: a message, no editor, no question
start; second=$pid
enter_on_open_screen "the second open-project screen did not appear"
win2="$win"
wait_message_over "$win2" "the second start showed no message"
sleep 0.5
import -window root "$shots/second-instance.png"
[ "$(xdotool search --onlyvisible --name "$editor_name" | wc -l)" = 1 ] || fail "the second start opened an editor"
xdotool search --onlyvisible --name '^恢复未保存的修改$' >/dev/null 2>&1 && fail "the second start offered the first one's live edits"
xdotool mousemove --window "$box" 10 10
xdotool key Return
sleep 0.5
open_screens | grep -qx "$win2" || fail "the second open-project screen did not stay after the message"
"$build/close_window" "$win2" || fail "the second screen does not take the close box's request"
expect_end second "after the second screen's close box"
[ "$(recovery_files)" = "$copy" ] || fail "the recovery folder changed: $(recovery_files)"
cmp "$copy" "$work/autosaved.srt" || fail "the second start changed the first one's recovery file"
cmp "$work/demo/film.srt" "$work/original.srt" || fail "the timeline file changed although nothing was saved"
kill -0 "$first" 2>/dev/null || fail "the first program ended with the second"

# ---- SIGTERM: the first one saves what the keys made
kill -TERM "$first"
expect_end first "after SIGTERM"
cmp "$work/demo/film.srt" "$work/predicted.srt" || fail "after SIGTERM the timeline is not the one the keys made"
[ -z "$(recovery_files)" ] || fail "the save on SIGTERM left the recovery file behind"

# ---- a third start opens the project: the lock went with the first one
start; first=$pid
enter_on_open_screen "the third open-project screen did not appear"
editor="$(wait_window "$editor_name" 150)" || fail "the third start could not open the project"
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
expect_end first "after the editor's close box"
# (its closing saves what it loaded; a loaded text's leading line break is
# the reader's to keep, not this check's)
[ "$(grep -c -- '-->' "$work/demo/film.srt")" = 20 ] || fail "the third start's save does not hold the 20 lines"
echo "the second start on an open project got a message and no editor (status 0), the first one's copy and the timeline untouched; SIGTERM saved the keys' timeline (status 0); a third start opened it"
