# What the real-window checks and the window benchmarks share; sourced, not run.
# They keep the program's output in "$work/program.log".

# The newest visible window whose name matches $1, waiting up to $2 tries of 0.2 s.
wait_window() {
  local w=""
  for _ in $(seq 1 "${2:-100}"); do
    w="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)"
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}

# Ends the check with a reason and what the program printed.
fail() { echo "$1"; cat "$work/program.log"; exit 1; }

# The program's windows are found by its process id, $pid.
# A visible window of the program's other than the one given (a dialog, a
# message): its id, waiting up to $2 tries of 0.2 s.
wait_other_window() {  # window, tries of 0.2 s
  for _ in $(seq 1 "${2:-50}"); do
    for w in $(xdotool search --all --onlyvisible --pid "$pid" --name '.' 2>/dev/null); do
      [ "$w" != "$1" ] && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}

# Waits until the window given is no longer shown.
wait_gone() {  # window, tries of 0.2 s
  for _ in $(seq 1 "${2:-50}"); do
    xdotool search --all --onlyvisible --pid "$pid" --name '.' 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.2
  done
  return 1
}

# Types a path into the file dialog that came up over the window given and
# presses Return; the dialog's id goes to $dialog (a question may come up
# over it before it closes).
type_into_dialog() {  # window, path
  dialog="$(wait_other_window "$1")" || fail "no file dialog came up"
  sleep 0.5
  # without a window manager the keyboard follows the pointer: rest it on the dialog
  xdotool mousemove --window "$dialog" 60 60
  sleep 0.2
  xdotool type --delay 2 "$2"
  sleep 0.3
  xdotool key Return
}

# The same, and the dialog closes.
answer_dialog() {  # window, path
  type_into_dialog "$1" "$2"
  wait_gone "$dialog" || fail "the dialog for $2 did not close"
  sleep 0.3
}

# A control of the editor's ($editor) bottom row or step-size group is
# enabled by the pointer's coming near it; then it takes the click.
press_revealed() {  # x, y
  xdotool mousemove --window "$editor" $(($1 - 2)) "$2"
  sleep 0.3
  xdotool mousemove --window "$editor" "$1" "$2"
  sleep 0.3
  xdotool click 1
}

# The editor: a visible window of the program's name that is not 694 wide
# (the open-project screen and the file tools are).
wait_editor() {
  for _ in $(seq 1 150); do
    for w in $(xdotool search --onlyvisible --name '^Veltrana时间轴' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" != 694 ] && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}

# Ends the programs this script started (the ids given; empty ones skipped),
# waits until each is really gone, so that nothing still writes into the
# work folder (a state or cache file on the way out), keeps the program's
# output as $build/$1 when $1 is not empty, and removes "$work". For traps:
# never fails.
leave_work() {  # log name, program ids...
  local log="$1" p
  shift
  for p in "$@"; do [ -z "$p" ] || kill "$p" 2>/dev/null || true; done
  for p in "$@"; do
    [ -n "$p" ] || continue
    for _ in $(seq 1 100); do
      # a child that has ended stays a zombie until waited for
      [ -r "/proc/$p/stat" ] && ! grep -q ') Z' "/proc/$p/stat" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  [ -z "$log" ] || cp "$work/program.log" "$build/$log" 2>/dev/null || true
  rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work" 2>/dev/null; } || true
}
