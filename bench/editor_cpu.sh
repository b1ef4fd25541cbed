#!/usr/bin/env bash
# CPU of the whole program while its editor plays a 1080p H.264 film at the
# normal speed (level 6) with the waveform strip refreshing, beside the mpv
# player playing the same film into a window of the picture band's size
# (684x312, so both scale the film to 554x312) under the same Xvfb, both at
# once. mpv draws in software as the program does (--vo=x11: swscale into an
# X shared-memory image); neither decodes on a GPU. CPU is utime + stime from
# /proc/<pid>/stat of the two processes this script started, over the same
# SECONDS (default 20), after 3 s of settling.
# The cache folder starts empty, so the editor looks for the film's cuts and
# its speech in the background meanwhile; on the 30-second clip that is over
# within the settling. Given a FILM long enough (minutes of 1080p), the
# cut search is still running when the measurement ends, and the script
# says so: then the figure is the editor's while it detects cuts.
# Usage: bench/editor_cpu.sh [build folder] [SECONDS] [FILM]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
seconds="${2:-20}"
film="${3:-}"
[ -z "$film" ] || film="$(cd "$(dirname "$film")" && pwd)/$(basename "$film")"

if [ -z "${VT_BENCH_IN_XVFB:-}" ]; then
  # a screen wide enough that the two windows do not overlap
  exec env -u QT_QPA_PLATFORM VT_BENCH_IN_XVFB=1 xvfb-run -a -s "-screen 0 2400x1200x24" \
    bash "$0" "$build" "$seconds" "$film"
fi

media="$build/bench-media"
mkdir -p "$media"
clip="${film:-$media/film1080.mp4}"
if [ ! -f "$clip" ]; then
  # 30 s of 1920x1080 at 25 fps, x264's defaults (key frame every 250 frames), a tone as its sound
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=30" \
    -f lavfi -i "sine=frequency=300:sample_rate=44100:duration=30" \
    -c:v libx264 -preset medium -pix_fmt yuv420p -c:a aac -b:a 128k -shortest "$clip.part.mp4"
  mv "$clip.part.mp4" "$clip"
fi
work="$(mktemp -d /tmp/veltrana-bench-XXXXXX)"
ln -s "$clip" "$work/film.mp4"
# a film without sound gets no WAV: the editor draws the placeholder
ffmpeg -v error -y -i "$clip" -vn -c:a pcm_s16le "$work/film.wav" 2>/dev/null || rm -f "$work/film.wav"
# a line of 1.5 s every 3 s, so the strip shows grey and yellow spans
for i in $(seq 0 9); do
  printf '%d\r\n00:00:%02d,000 --> 00:00:%02d,500\r\n第%d行\r\n\r\n' $((i + 1)) $((i * 3)) $((i * 3 + 1)) $((i + 1))
done >"$work/film.srt"

pids=()
source tests/xvfb/lib/windows.bash
trap 'leave_work "" "${pids[@]}"' EXIT

XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" "$build/veltrana" >"$work/program.log" 2>&1 &
program=$!
pids+=("$program")

# utime + stime of one process, all its threads, in clock ticks
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
# the same, of the threads at the normal priority (play, the strip, the frame
# cache) and of those below it (the searches for the film's sound, speech
# and cuts, nice 10, which take what play leaves)
ticks_by_priority() {
  cat /proc/"$1"/task/*/stat 2>/dev/null |
    awk '{ sub(/^.*\) /, ""); if ($17 + 0 > 0) low += $12 + $13; else normal += $12 + $13 } END { print normal + 0, low + 0 }'
}

wait_open_screen
pick_film "$work/film.mp4"
sleep 1
xdotool mousemove --window "$win" 615 428 click 1
# off both windows until the editor is up
xdotool mousemove 2390 1190
editor="$(wait_editor)" || fail "the editor did not come up"
eval "$(xdotool getwindowgeometry --shell "$editor")"
[ "$X" -ge 684 ] || fail "the editor at $X,$Y would overlap mpv's window"

mpv --no-config --vo=x11 --geometry=684x312+0+0 --hwdec=no --no-osc --no-sub-auto --keep-open=yes \
  --audio-fallback-to-null=yes --really-quiet "$clip" >"$work/mpv.log" 2>&1 &
mpv_pid=$!
pids+=("$mpv_pid")
# a level-6 spot of the dial, low on the picture (the speed gauge shows only near its top)
xdotool mousemove --window "$editor" 450 200
sleep 0.1
xdotool mousemove --window "$editor" 451 200

sleep 3
ticks=$(getconf CLK_TCK)
p0=$(cpu_ticks "$program"); m0=$(cpu_ticks "$mpv_pid"); t0=$(date +%s%N)
read -r n0 l0 < <(ticks_by_priority "$program")
sleep "$seconds"
p1=$(cpu_ticks "$program"); m1=$(cpu_ticks "$mpv_pid"); t1=$(date +%s%N)
read -r n1 l1 < <(ticks_by_priority "$program")
# the cuts are cached once the whole film has been looked through
if ls "$work/cache/veltrana/"*.shots >/dev/null 2>&1; then
  search="the cut search had finished by the end (its cache written)"
else
  search="the cut search was still running at the end (no cut cache yet): measured while it detects"
fi
kill -0 "$program" 2>/dev/null || fail "the program ended while playing"
kill -0 "$mpv_pid" 2>/dev/null || { cat "$work/mpv.log"; fail "mpv ended while playing"; }
mkdir -p "$build/screenshots"
import -window root -crop 2400x900+0+0 +repage "$build/screenshots/editor-cpu-bench.png"

awk -v p=$((p1 - p0)) -v m=$((m1 - m0)) -v n=$((n1 - n0)) -v l=$((l1 - l0)) -v hz="$ticks" -v ns=$((t1 - t0)) 'BEGIN {
  wall = ns / 1e9
  printf "over %.1f s of playing a 1920x1080 H.264 film at 25 fps:\n", wall
  printf "  veltrana editor (level 6, strip refreshing): %6.2f s CPU = %5.1f %% of a core\n", p / hz, 100 * p / hz / wall
  printf "  mpv --vo=x11, 684x312 window:                 %6.2f s CPU = %5.1f %% of a core\n", m / hz, 100 * m / hz / wall
  printf "  ratio: %.2f x mpv (target at most 1.3)\n", (m > 0 ? p / m : 0)
  printf "  of the editor: threads at normal priority %.2f s (%.2f x mpv), below it (nice 10: the searches) %.2f s\n", n / hz, (m > 0 ? n / m : 0), l / hz
}'
echo "  $search"
