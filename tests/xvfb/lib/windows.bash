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
