#!/usr/bin/env bash
# The editor stepping back at level -3 in a real window, on a small film with
# a key frame every 250 frames: over 3 s the frame numbers filmed off the
# screen go down one by one, and never jump except while the first group is
# decoded.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
out="$(VT_BENCH_IN_XVFB=1 bash "$root/bench/editor_back_steps.sh" "$build" 3 small)"
echo "$out"
eval "$(echo "$out" | tail -1 | tr ' ' '\n' | grep -E '^(down|other)=[0-9]+$')"
# 3 s at one frame every 80 ms is 37 steps
[ "$down" -ge 30 ] || { echo "only $down steps of one frame down"; exit 1; }
[ "$other" -le 1 ] || { echo "$other changes that were not one frame down"; exit 1; }
