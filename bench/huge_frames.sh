#!/usr/bin/env bash
# Wall time and peak resident memory of the four huge-frame cases, each in a process of its own
# measured by /usr/bin/time -v: a 16000 x 16000 PNG through the single-video export and the image
# generator, a one-frame 16000 x 16000 movie (Motion JPEG in QuickTime) in a 1 s timeline export
# at 160 x 96 and through the single-video export. The inputs are made here, in a temporary
# folder removed at the end.
#
# Usage: bench/huge_frames.sh [build folder]   (default: build; needs its bench_huge_frames)
set -euo pipefail

build=${1:-build}
driver=$(realpath "$build/bench/bench_huge_frames")
[ -x "$driver" ] || { echo "no $driver: build the bench_huge_frames target first" >&2; exit 1; }

folder=$(mktemp -d /tmp/velmora_huge_frames.XXXXXX)
trap 'rm -rf "$folder"' EXIT

echo "making the inputs in $folder"
ffmpeg -v error -y -f lavfi -i testsrc2=s=1000x1000 -frames:v 1 \
  -vf scale=16000:16000:flags=bicubic,format=rgb24 "$folder/huge.png"
ffmpeg -v error -y -f lavfi -i testsrc2=s=1000x1000 -frames:v 1 \
  -vf scale=16000:16000:flags=bicubic,format=yuvj420p -c:v mjpeg -q:v 4 "$folder/huge.mov"

measure() {
  local name=$1
  shift
  local log="$folder/time.log"
  if /usr/bin/time -v -o "$log" "$driver" "$@" >/dev/null 2>"$folder/error.log"; then
    local status=ok
  else
    local status="failed: $(tail -1 "$folder/error.log")"
  fi
  local wall peak
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  printf '%-34s %10s  %6d MB  %s\n' "$name" "$wall" $((peak / 1024)) "$status"
}

printf '%-34s %10s  %9s\n' "case" "wall" "peak RSS"
measure "1 single-video export, PNG" single-video "$folder/huge.png" "$folder/png.mov"
measure "2 image generator, PNG" generator "$folder/huge.png"
measure "3 timeline export 160x96, movie" timeline "$folder" huge.mov "$folder/timeline.mp4"
measure "4 single-video export, movie" single-video "$folder/huge.mov" "$folder/movie.mov"
