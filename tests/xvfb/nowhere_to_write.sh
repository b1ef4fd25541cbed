#!/usr/bin/env bash
# Leaving the editor never traps the user, in a real X window, run as an
# ordinary user (nobody) with the state folder and the project's folder
# unwritable and no XDG_RUNTIME_DIR: no backup, no autosaved copy and no
# temporary file beside the timeline can be made. Each run: the demo film
# named on the command line, Enter, the keys W X V S E F, then
#   1. the close box, film.srt writable: it is written in place; the notice
#      (Enter) comes after, and the program ends;
#   2. the close box, film.srt not writable: "文件是只读的" (Enter: no), the
#      offer to save elsewhere (Enter: yes), the save dialog (Enter: the
#      name it starts with, in the home folder); the program ends;
#   3. SIGTERM, film.srt not writable: the program ends at once, and
#      standard error names where the edits are.
# Every time the saved file is byte for byte what predict_edits works out
# for the same keys without a window, and film.srt is untouched where it
# could not be written. Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "$(id -u)" != 0 ]; then
  echo "skipped: acting as the user nobody needs root (the test command runs as root)"; exit 0
fi
source tests/xvfb/lib/work.bash
start_work nowhere_to_write "${1:-build}"
need_built predict_edits
chmod 755 "$work"
shot_prefix=nowhere-

make_demo
demo_for_prediction
predict_demo_edits
cp "$work/demo/film.srt" "$work/original.srt"
# the summary the first open would write beside the WAV, made already
cp "$work/predict/film.ws" "$work/demo/film.ws"

# the ordinary user's own: the program, the display's key, home and cache;
# the state folder and the project's folder stay root's
mkdir -p "$work/bin" "$work/home" "$work/cache" "$work/state"
cp "$build/veltrana" "$work/bin/veltrana"
cp "${XAUTHORITY:-$HOME/.Xauthority}" "$work/xauth" 2>/dev/null || : >"$work/xauth"
chown nobody: "$work/home" "$work/cache" "$work/xauth"
chmod -R a+rX "$work/demo" "$work/bin"
nobody_home="$work/home"

edit() {
  : >"$work/program.log"
  launch env -C "$work/demo" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -u XDG_RUNTIME_DIR HOME="$nobody_home" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" \
      XAUTHORITY="$work/xauth" "$work/bin/veltrana" film.avi
  enter_on_open_screen
  pointer_to_play_spot
  editor="$(wait_window "^Veltrana时间轴  " 150)" || { import -window root "$shots/nowhere-no-editor.png"; fail "the editor did not come up"; }
  edit_demo
}
# the user must never be trapped
ended() {  # what ended it
  expect_end pid "after $1" 100 "the user is trapped"
}
film_is() {  # expected file, what happened
  cmp -s "$work/demo/film.srt" "$1" || fail "film.srt is not what it should be after $2"
}

# ---- 1. the file may be written, its folder may not: written in place
chown nobody: "$work/demo/film.srt"
edit
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
answer_box "$editor" Return written-in-place
ended "the close box and the notice"
film_is "$work/predicted.srt" "the close box (written in place)"
echo "1: film.srt writable, its folder not: written in place, the notice after, the program ended"

# ---- 2. nothing but the home folder may be written: saved elsewhere
cp "$work/original.srt" "$work/demo/film.srt"
chown root: "$work/demo/film.srt"
chmod 644 "$work/demo/film.srt"
edit
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
answer_box "$editor" Return read-only-question          # default: no, leave it
answer_box "$editor" Return save-elsewhere-offer        # default: yes, save elsewhere
answer_box "$editor" Return save-dialog                 # the name it starts with, in the home folder
# a notice may follow (no backup of a file that did not exist is needed: none)
ended "the close box and the save dialog"
film_is "$work/original.srt" "\"否\" to replacing it"
cmp -s "$nobody_home/film.srt" "$work/predicted.srt" || fail "the timeline saved in the home folder is not the edited one"
echo "2: nothing writable but home: asked, offered elsewhere, saved as ~/film.srt, the program ended"

# ---- 3. SIGTERM, nothing writable but home: the edits where standard error says
rm -f "$nobody_home/film.srt"
edit
kill -TERM $pid
ended "SIGTERM"
film_is "$work/original.srt" "SIGTERM"
where="$(sed -n 's/^veltrana: 时间轴无法保存到原处，未保存的修改写在：//p' "$work/program.log" | tail -1)"
[ -n "$where" ] || fail "standard error does not say where the edits are"
grep -q "^veltrana: the timeline could not be saved where it is; the unsaved edits are in: $where\$" "$work/program.log" \
  || fail "standard error does not say it in English too"
cmp -s "$where" "$work/predicted.srt" || fail "$where does not hold the edits"
echo "3: SIGTERM with nothing writable: the program ended, the edits are in $where as standard error says"
