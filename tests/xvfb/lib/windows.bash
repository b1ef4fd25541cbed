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

# Waits until no visible window's name matches $1, up to $2 tries of 0.2 s.
wait_no_window() {  # name, tries of 0.2 s
  for _ in $(seq 1 "${2:-50}"); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1
}

# Types a path into the file dialog given and presses Return.
type_path() {  # dialog, path
  sleep 0.5
  # without a window manager the keyboard follows the pointer: rest it on the dialog
  xdotool mousemove --window "$1" 60 60
  sleep 0.2
  xdotool type --delay 2 "$2"
  sleep 0.3
  xdotool key Return
}

# Types a path into the file dialog that came up over the window given and
# presses Return; the dialog's id goes to $dialog (a question may come up
# over it before it closes).
type_into_dialog() {  # window, path
  dialog="$(wait_other_window "$1")" || fail "no file dialog came up"
  type_path "$dialog" "$2"
}

# The same, and the dialog closes.
answer_dialog() {  # window, path
  type_into_dialog "$1" "$2"
  wait_gone "$dialog" || fail "the dialog for $2 did not close"
  sleep 0.3
}

# A message or a question over the window given, answered with a key once
# a screenshot of the screen is in "$shots/$shot_prefix<name>.png".
answer_box() {  # window, key, screenshot name
  local box
  box="$(wait_other_window "$1")" || fail "no message came up ($3)"
  sleep 0.5
  import -window root "$shots/${shot_prefix:-}$3.png"
  xdotool mousemove --window "$box" 10 10
  sleep 0.2
  xdotool key "$2"
  wait_gone "$box" || fail "the message ($3) did not close"
  sleep 0.3
}

# The open-project screen: its id goes to $win.
wait_open_screen() {  # what to say when it does not come up
  win="$(wait_window '^Veltrana时间轴$')" || fail "${1:-the open-project screen did not appear}"
  sleep 0.5
}

# Enter on the open-project screen that came up with the film named on the
# command line: " 下一步 >", which loads it. The keyboard follows the pointer,
# so the pointer rests on the screen first.
enter_on_open_screen() {  # what to say when the screen does not come up
  wait_open_screen "$@"
  xdotool mousemove --window "$win" 300 30
  xdotool key Return
}

# "指定" on the open-project screen ($win), and a film's path typed into the
# dialog it opens ($dialog); waits up to 10 s for the dialog to close.
pick_film() {  # path
  xdotool mousemove --window "$win" 615 122 click 1
  dialog="$(wait_window '^指定$')" || fail "\"指定\" opened no dialog"
  type_path "$dialog" "$1"
  wait_no_window '^指定$' || true
}

# A message over the open-project screen given, the window's id in $box:
# another visible window of the screen's name, not of the screen's width.
wait_message_over() {  # screen, what to say when none comes up
  box=""
  for _ in $(seq 1 50); do
    for w in $(xdotool search --onlyvisible --name '^Veltrana时间轴$' 2>/dev/null); do
      [ "$w" != "$1" ] && { box="$w"; break 2; }
    done
    sleep 0.2
  done
  [ -n "$box" ] || fail "$2"
  eval "$(xdotool getwindowgeometry --shell "$box")"
  [ "$WIDTH" != 694 ] || fail "the window that came up is the size of the open-project screen, not a message"
}

# The pointer where the dial of the editor to come plays normally (the
# editor at its design size, 684x562, centred on the 1280x1024 screen), so
# that the editor does not come up under it on its strip, which would stand
# the video still.
pointer_to_play_spot() {
  xdotool mousemove $(((1280 - 684) / 2 + 450)) $(((1024 - 562) / 2 + 562 - 244))
}

# The pointer comes to rest on the editor's ($editor) subtitle label, which
# stands the video still.
rest_on_label() {
  xdotool mousemove --window "$editor" $((684 / 2)) $((562 - 208))
  sleep 0.6
}

# Keys pressed one by one. The editor refreshes every 100 ms at a standstill
# and 10 ms after each key: one refresh runs between two presses, as it does
# for a person.
press_keys() {  # keys...
  local key
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.4
  done
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

# The file tools: a window of the project's caption, 694 wide.
wait_tools() {
  for _ in $(seq 1 50); do
    for w in $(xdotool search --onlyvisible --name '^Veltrana时间轴  ' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" = 694 ] && { echo "$w"; return 0; }
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
