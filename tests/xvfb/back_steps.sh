#!/usr/bin/env bash
# The editor stepping back at level -3 in a real window, on a small film with
# a key frame every 250 frames: over 3 s the frame numbers filmed off the
# screen go down and never up. Only what a user must never see is judged (a
# frame later than the one before while going back, or no going back at
# all): how many steps were filmed one by one depends on how busy the
# machine is, and is for bench/editor_back_steps.sh to measure.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
out="$(VT_BENCH_IN_XVFB=1 bash "$root/bench/editor_back_steps.sh" "$build" 3 small)"
echo "$out"
eval "$(echo "$out" | tail -1 | tr ' ' '\n' | grep -E '^(down|other|up|first|last)=[0-9]+$')"
[ "$up" -eq 0 ] || { echo "$up changes went to a later frame while going back"; exit 1; }
[ "$last" -lt "$first" ] || { echo "the picture did not go back: frame $first to frame $last"; exit 1; }
