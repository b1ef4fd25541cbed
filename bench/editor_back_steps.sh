#!/usr/bin/env bash
# The editor going back in a real window on a 1080p H.264 film with a key
# frame every 250 frames and B-frames, under an Xvfb of its own, the picture
# filmed off the screen for SECONDS (default 4) at 25 pictures a second.
# Every frame of the film carries its number as twelve blocks along its top;
# the script reads them back.
# LEVEL -3 (the default): the film plays for 5 s, the pointer moves to the
# level -3 spot of the dial (one frame back every 80 ms); every change must go
# one frame down.
# LEVEL -10: the pointer goes fast forward (level 10) for 8 s and plays (level
# 6) for 3 s, then moves to level -10 (1.6 s back and play, every 200 ms);
# every jump must land 34-36 frames below the one before (40 back, 4-6
# played), which a late picture breaks.
# SIZE "small" makes the same film at 480x270 (the real-window test runs it so).
# Usage: bench/editor_back_steps.sh [build folder] [SECONDS] [SIZE] [LEVEL]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
seconds="${2:-4}"
size="${3:-1080p}"
level="${4:--3}"

if [ -z "${VT_BENCH_IN_XVFB:-}" ]; then
  exec env -u QT_QPA_PLATFORM VT_BENCH_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
    bash "$0" "$build" "$seconds" "$size" "$level"
fi

if [ "$size" = small ]; then w=480; h=270; play=3; else w=1920; h=1080; play=5; fi
block=$((w / 15))
media="$build/bench-media"
mkdir -p "$media"
clip="$media/film$h-numbered-60s.mp4"
if [ ! -f "$clip" ]; then
  boxes="drawbox=x=0:y=0:w=$((block * 12)):h=$block:color=black:t=fill"
  for i in $(seq 0 11); do
    boxes="$boxes,drawbox=x=$((i * block)):y=0:w=$block:h=$block:color=white:t=fill:enable='bitand(n\\,$((1 << i)))'"
  done
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=${w}x$h:rate=25:duration=60" \
    -f lavfi -i "sine=frequency=300:sample_rate=44100:duration=60" -vf "$boxes" \
    -c:v libx264 -preset veryfast -g 250 -keyint_min 250 -sc_threshold 0 -x264-params bframes=3:b-adapt=0 \
    -pix_fmt yuv420p -c:a aac -b:a 128k -shortest "$clip.part.mp4"
  mv "$clip.part.mp4" "$clip"
fi
work="$(mktemp -d /tmp/veltrana-bench-XXXXXX)"
ln -s "$clip" "$work/film.mp4"
ffmpeg -v error -y -i "$clip" -vn -c:a pcm_s16le "$work/film.wav"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\n第1行\r\n\r\n' >"$work/film.srt"

pids=()
source tests/xvfb/lib/windows.bash
trap 'leave_work "" "${pids[@]}"' EXIT

XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" "$build/veltrana" "$work/film.mp4" >"$work/program.log" 2>&1 &
pids+=("$!")

wait_open_screen
sleep 0.5
xdotool mousemove --window "$win" 615 428 click 1
xdotool mousemove 1270 1010
editor="$(wait_editor)" || fail "the editor did not come up"
eval "$(xdotool getwindowgeometry --shell "$editor")"
# the picture band: the client's height less 250, the film's shape, centred
ph=$((HEIGHT - 250)); pw=$((ph * 16 / 9)); px=$((X + (WIDTH - pw) / 2)); py=$Y
# the dial's level is Trunc((x - width / 2) / (353 / 22))
if [ "$level" = -10 ]; then
  xdotool mousemove --window "$editor" $((WIDTH / 2 + 168)) 200
  sleep 8
  xdotool mousemove --window "$editor" $((WIDTH / 2 + 100)) 200
  sleep 3
  xdotool mousemove --window "$editor" $((WIDTH / 2 - 168)) 200
else
  xdotool mousemove --window "$editor" $((WIDTH / 2 + 100)) 200
  sleep "$play"
  xdotool mousemove --window "$editor" $((WIDTH / 2 - 56)) 200
fi
mkdir -p "$work/shots"
ffmpeg -v error -f x11grab -framerate 25 -video_size "${pw}x${ph}" -i "$DISPLAY+$px,$py" -t "$seconds" \
  "$work/shots/%03d.png"

# twelve blocks along the top, each 1/15 of the picture's width
band="$((pw * 12 / 15))x$((ph * 32 / 270))+0+0"
for f in "$work"/shots/*.png; do
  convert "$f" -crop "$band" +repage -scale '12x1!' -colorspace Gray -depth 8 txt:- |
    awk -F'[(),:]' 'NR > 1 { if ($4 + 0 > 128) n += 2 ^ $1 } END { print n + 0 }'
done >"$work/numbers.txt"

[ -n "${VT_SHOW_NUMBERS:-}" ] && tr "\n" " " <"$work/numbers.txt" && echo
if [ "$level" = -10 ]; then
  awk -v seconds="$seconds" 'NR == 1 { first = $1 }
    NR > 1 && $1 < last {
      if (landed != "") { if (landed - $1 >= 34 && landed - $1 <= 36) right++; else { other++; odd = odd " " landed "->" $1 } }
      jumps++; landed = $1 }
    { last = $1 }
    END {
      printf "over %.1f s at level -10 (H.264, key frame every 250, B-frames): %d pictures filmed\n", seconds, NR
      printf "  frames shown from %d to %d; %d jumps back, %d of them 34-36 frames below the landing before\n", first, last, jumps, right
      if (other) printf "  %d other jumps:%s\n", other, odd
      printf "jumps=%d right=%d other=%d\n", jumps, right, other
    }' "$work/numbers.txt"
  exit 0
fi
awk -v seconds="$seconds" 'NR == 1 { first = $1 }
  NR > 1 && $1 != last { changes++; if ($1 > last) up++; if ($1 == last - 1) down++; else { other++; odd = odd " " last "->" $1 } }
  { last = $1 }
  END {
    printf "over %.1f s at level -3 (H.264, key frame every 250, B-frames): %d pictures filmed\n", seconds, NR
    printf "  frames shown from %d to %d; %d changes, %d of them one frame down (target at least %d)\n", first, last, changes, down, seconds * 10
    if (other) printf "  %d other changes:%s\n", other, odd
    printf "down=%d other=%d up=%d first=%d last=%d\n", down, other, up, first, last
  }' "$work/numbers.txt"
