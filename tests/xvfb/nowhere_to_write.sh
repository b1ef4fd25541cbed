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
build="$(cd "${1:-build}" && pwd)"
shots="$build/screenshots"
mkdir -p "$shots"
if [ "$(id -u)" != 0 ]; then
  echo "skipped: acting as the user nobody needs root (the test command runs as root)"; exit 0
fi
[ -x "$build/predict_edits" ] || { echo "$build/predict_edits is missing: build the target predict_edits"; exit 1; }
work="$(mktemp -d /tmp/veltrana-xvfb-XXXXXX)"
chmod 755 "$work"

scripts/make-demo "$work/demo" >/dev/null
mkdir "$work/predict"
ln -s "$work/demo/film.avi" "$work/predict/film.avi"
ln -s "$work/demo/film.wav" "$work/predict/film.wav"
cp "$work/demo/film.srt" "$work/predict/film.srt"
cw=684; ch=562
XDG_STATE_HOME="$work/state-predict" "$build/predict_edits" "$work/predict/film.avi" 25 3000 0 $((cw - 128)) wxvsef \
  "$work/predicted.srt" >/dev/null
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

pid=""
source tests/xvfb/lib/windows.bash
trap 'leave_work nowhere_to_write.log "$pid"' EXIT

start() {
  : >"$work/program.log"
  (cd "$work/demo" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
     env -u XDG_RUNTIME_DIR HOME="$nobody_home" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" \
       XAUTHORITY="$work/xauth" "$work/bin/veltrana" film.avi >"$work/program.log" 2>&1) &
  pid=$!
}
expect_end() {  # what ended it
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
  kill -0 $pid 2>/dev/null && fail "the program did not end after $1: the user is trapped"
  local status=0
  wait $pid || status=$?
  pid=""
  [ "$status" = 0 ] || fail "the program ended with status $status after $1"
}
answer_box() {  # window, key, screenshot name
  local box
  box="$(wait_other_window "$1")" || fail "no message came up ($3)"
  sleep 0.5
  import -window root "$shots/nowhere-$3.png"
  xdotool mousemove --window "$box" 10 10
  sleep 0.2
  xdotool key "$2"
  wait_gone "$box" || fail "the message ($3) did not close"
  sleep 0.3
}
edit() {
  start
  local win
  win="$(wait_window '^Veltrana时间轴$')" || fail "the open-project screen did not appear"
  sleep 0.5
  xdotool mousemove --window "$win" 300 30
  xdotool key Return
  xdotool mousemove $(((1280 - cw) / 2 + 450)) $(((1024 - ch) / 2 + ch - 244))
  editor="$(wait_window "^Veltrana时间轴  " 150)" || { import -window root "$shots/nowhere-no-editor.png"; fail "the editor did not come up"; }
  sleep 1
  xdotool mousemove --window "$editor" $((cw / 2)) $((ch - 208))
  sleep 0.6
  for key in w x v s e f; do
    xdotool key "$key"
    sleep 0.4
  done
}
film_is() {  # expected file, what happened
  cmp -s "$work/demo/film.srt" "$1" || fail "film.srt is not what it should be after $2"
}

# ---- 1. the file may be written, its folder may not: written in place
chown nobody: "$work/demo/film.srt"
edit
"$build/close_window" "$editor" || fail "the editor does not take the close box's request"
answer_box "$editor" Return written-in-place
expect_end "the close box and the notice"
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
expect_end "the close box and the save dialog"
film_is "$work/original.srt" "\"否\" to replacing it"
cmp -s "$nobody_home/film.srt" "$work/predicted.srt" || fail "the timeline saved in the home folder is not the edited one"
echo "2: nothing writable but home: asked, offered elsewhere, saved as ~/film.srt, the program ended"

# ---- 3. SIGTERM, nothing writable but home: the edits where standard error says
rm -f "$nobody_home/film.srt"
edit
kill -TERM $pid
expect_end "SIGTERM"
film_is "$work/original.srt" "SIGTERM"
where="$(sed -n 's/^veltrana: 时间轴无法保存到原处，未保存的修改写在：//p' "$work/program.log" | tail -1)"
[ -n "$where" ] || fail "standard error does not say where the edits are"
grep -q "^veltrana: the timeline could not be saved where it is; the unsaved edits are in: $where\$" "$work/program.log" \
  || fail "standard error does not say it in English too"
cmp -s "$where" "$work/predicted.srt" || fail "$where does not hold the edits"
echo "3: SIGTERM with nothing writable: the program ended, the edits are in $where as standard error says"
