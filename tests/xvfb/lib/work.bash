# How a real-window check starts and ends its programs; sourced, not run,
# from the top of the source tree. Brings windows.bash's helpers along.
source tests/xvfb/lib/windows.bash

# The check's folders and its clean-up: $build (the build folder given, made
# absolute), $shots (its screenshots) and $work (a new temporary folder).
# When the check ends, however it ends, the programs whose ids the variables
# named hold (default: pid; each starts empty) are ended, the program's
# output is kept as $build/NAME.log and $work is removed.
start_work() {  # name, build folder, variables holding program ids...
  local name="$1" v ids=""
  build="$(cd "$2" && pwd)"
  shift 2
  [ $# -gt 0 ] || set -- pid
  for v in "$@"; do
    printf -v "$v" '%s' ""
    ids="$ids \"\$$v\""
  done
  shots="$build/screenshots"
  mkdir -p "$shots"
  work="$(mktemp -d /tmp/veltrana-xvfb-XXXXXX)"
  # the variables' names go in now, their ids are read when the check ends
  trap "leave_work $name.log$ids" EXIT
}

# Ends the check at once when a helper it runs has not been built.
need_built() {  # targets...
  local target
  for target in "$@"; do
    [ -x "$build/$target" ] || { echo "$build/$target is missing: build the target $target"; exit 1; }
  done
}

# Starts a command (env -C sets its folder) with its output added to
# "$work/program.log"; its id goes to $pid.
launch() {  # command...
  "$@" >>"$work/program.log" 2>&1 &
  pid=$!
}

# Waits up to $2 tries of 0.2 s for the program with the id given to end.
wait_end() {  # id, tries of 0.2 s
  for _ in $(seq 1 "${2:-100}"); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.2
  done
  ! kill -0 "$1" 2>/dev/null
}

# Waits for the program whose id the variable named holds to end, and fails
# unless it ends with status 0. The variable is emptied, so that the
# clean-up leaves that id alone.
expect_end() {  # variable, when it should end ("after SIGTERM"), tries of 0.2 s, what not ending means
  local id="${!1}" status=0
  wait_end "$id" "${3:-100}" || fail "the program did not end $2${4:+: $4}"
  wait "$id" || status=$?
  printf -v "$1" '%s' ""
  [ "$status" = 0 ] || fail "the program ended with status $status $2"
}

# The demo project, in $work/demo.
make_demo() {
  scripts/make-demo "$work/demo" >/dev/null
}

# The prediction's own copy of the demo project, $work/predict: its film and
# WAV linked, its timeline copied if it has one. The prediction builds a
# film.ws of its own there, so that the program builds the demo's itself.
demo_for_prediction() {
  mkdir "$work/predict"
  ln -s "$work/demo/film.avi" "$work/predict/film.avi"
  ln -s "$work/demo/film.wav" "$work/predict/film.wav"
  [ ! -e "$work/demo/film.srt" ] || cp "$work/demo/film.srt" "$work/predict/film.srt"
}

# In the demo's editor ($editor), just come up: the pointer comes to rest on
# the subtitle label, and the keys W X V S E F edit the timeline. W goes to
# line 1's start from anywhere before the end of line 2 (9.3 s); every later
# key acts there.
edit_demo() {
  sleep 1
  rest_on_label
  press_keys w x v s e f
}

# What edit_demo's keys make of the demo's timeline, worked out by
# predict_edits without a window: "$work/predicted.srt". The demo is 120 s at
# 25 frames a second; the editor's waveform is its width (684) less 128.
predict_demo_edits() {
  XDG_STATE_HOME="$work/state-predict" "$build/predict_edits" "$work/predict/film.avi" 25 3000 0 $((684 - 128)) wxvsef \
    "$work/predicted.srt" >/dev/null
}
