#!/usr/bin/env bash
# The README's start command under a real X server: the program comes up with
# a window titled "Veltrana时间轴". Run under xvfb-run; $1 is the build folder,
# where the command builds and makes its demo. The packages are in place
# already (the test command has seen to them), so the command skips that step.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build}" && pwd)"
shots="$build/screenshots"
mkdir -p "$shots"

# in a process group of its own, so that the build, the demo and the program
# the command starts can be ended with it, and nothing else
set -m
BUILD_DIR="$build" VT_SKIP_SETUP=1 scripts/run >"$build/run_command.log" 2>&1 &
pid=$!
set +m
trap 'kill -- -$pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT

# the first run may still be building and making the demo
win=""
for _ in $(seq 1 600); do
  win="$(xdotool search --name "^Veltrana时间轴$" 2>/dev/null | head -1 || true)"
  [ -n "$win" ] && break
  if ! kill -0 $pid 2>/dev/null; then
    echo "the program ended before showing a window"; cat "$build/run_command.log"; exit 1
  fi
  sleep 0.5
done
[ -n "$win" ] || { echo "no window titled Veltrana时间轴"; exit 1; }
sleep 1
title="$(xdotool getwindowname "$win")"
[ "$title" = "Veltrana时间轴" ] || { echo "window title is '$title'"; exit 1; }
import -window root "$shots/first-screen.png"
echo "window '$title' shown; screenshot in $shots/first-screen.png"
