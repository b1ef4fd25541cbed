#!/usr/bin/env bash
# The time from `veltrana film.avi` to the open-project screen on the display
# with everything found: the film chosen, its film.wav and film.srt in their
# boxes and its frame rate measured (the screen comes up only once that is
# done), against `veltrana` alone, whose screen comes up empty. A 2-minute
# 640x360 MPEG-4 AVI with PCM sound, under an Xvfb of its own; each run is
# timed from the start of the process until the window is mapped (polled
# with xdotool every 10 ms or so), then closed by its close box and
# waited for. Median of RUNS (default 7) of each, after one run unmeasured.
# Usage: bench/open_from_command_line.sh [build folder] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
runs="${2:-7}"

if [ -z "${VT_BENCH_IN_XVFB:-}" ]; then
  exec env -u QT_QPA_PLATFORM VT_BENCH_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
    bash "$0" "$build" "$runs"
fi

media="$build/bench-media"
mkdir -p "$media"
clip="$media/film-2min.avi"
if [ ! -f "$clip" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=120" \
    -f lavfi -i "sine=frequency=300:sample_rate=44100:duration=120" \
    -c:v mpeg4 -q:v 4 -c:a pcm_s16le -shortest "$clip.part.avi"
  mv "$clip.part.avi" "$clip"
fi
work="$(mktemp -d /tmp/veltrana-bench-XXXXXX)"
ln -s "$clip" "$work/film.avi"
ffmpeg -v error -y -i "$clip" -vn -c:a pcm_s16le "$work/film.wav"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n\r\n' >"$work/film.srt"

pid=""
trap '[ -z "$pid" ] || kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "$1" >&2; cat "$work/program.log" >&2; exit 1; }

# one start: prints the milliseconds until the screen was mapped. The Xvfb
# here turns away a few in a hundred connections of any client (xdpyinfo
# too); a start that could not connect is not timed but made again.
time_one() {  # the program's arguments
  local t0 t1 w="" tries=0
  t0=$(date +%s%N)
  (cd "$work" && exec env XDG_STATE_HOME="$work/state" "$build/veltrana" "$@" >"$work/program.log" 2>&1) &
  pid=$!
  while [ -z "$w" ]; do
    w="$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)"
    [ -n "$w" ] && break
    if ! kill -0 "$pid" 2>/dev/null; then
      grep -q 'could not connect to display' "$work/program.log" || fail "the program ended before its screen came up"
      wait "$pid" || true
      tries=$((tries + 1))
      [ "$tries" -lt 5 ] || fail "the program could not connect to the X server five times in a row"
      t0=$(date +%s%N)
      (cd "$work" && exec env XDG_STATE_HOME="$work/state" "$build/veltrana" "$@" >"$work/program.log" 2>&1) &
      pid=$!
      continue
    fi
    [ $(( ($(date +%s%N) - t0) / 1000000 )) -lt 30000 ] || fail "no screen within 30 s"
    sleep 0.005
  done
  t1=$(date +%s%N)
  eval "$(xdotool getwindowgeometry --shell "$w")"
  [ "${WIDTH}x${HEIGHT}" = 694x472 ] || fail "the first window is ${WIDTH}x${HEIGHT}, not the open-project screen"
  sleep 0.3
  "$build/close_window" "$w" >/dev/null || fail "the screen did not take the close request"
  local status=0
  wait "$pid" || status=$?
  [ "$status" = 0 ] || fail "the program ended with status $status"
  pid=""
  echo $(( (t1 - t0) / 1000000 ))
}

median() { tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

time_one film.avi >/dev/null  # caches warm, fonts found
with=(); without=()
for _ in $(seq 1 "$runs"); do
  t="$(time_one film.avi)"; with+=("$t")
  t="$(time_one)"; without+=("$t")
done
echo "start to open-project screen, $runs runs each (ms):"
echo "  veltrana film.avi (film, film.wav, film.srt found, rate measured): ${with[*]}  median $(echo "${with[*]}" | median)"
echo "  veltrana (screen empty):                                            ${without[*]}  median $(echo "${without[*]}" | median)"
