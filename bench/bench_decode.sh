#!/usr/bin/env bash
# Decoding 4K 10-bit HEVC to float frames as a whole process (bench_decode), side by side with
# FFmpeg's tool decoding the same file: A B A B ... runs, each timed by /usr/bin/time -v, and the
# medians of wall time, CPU time (user + system) and peak memory (maximum resident set) with the
# ratios ours / tool. Results and how to read them: bench/README.md.
#
#   bench/bench_decode.sh [BUILD_DIR] [RUNS]
#
# The clip is made once in a temporary folder: 3 s of testsrc2 at 3840 x 2160, 30 fps,
# yuv420p10le, libx265 ultrafast at 40 Mb/s (libx265's Main10 decoding gives yuv420p10le planes).
set -euo pipefail

build=${1:-build}
runs=${2:-5}
ours_bin="$build/bench/bench_decode"
[ -x "$ours_bin" ] || { echo "build bench_decode first: cmake --build $build --target bench_decode" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip="$work/uhd_hevc10.mp4"
ffmpeg -y -v error -f lavfi -i testsrc2=s=3840x2160:r=30 -t 3 -pix_fmt yuv420p10le -c:v libx265 \
    -preset ultrafast -b:v 40M -x265-params log-level=error -tag:v hvc1 "$clip"

# One run: "wall cpu peakKiB" of the command.
measure() {
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" ||
        { cat "$work/stderr.txt" >&2; exit 1; }
    awk -F': ' '
        /User time/ { user = $2 }
        /System time/ { sys = $2 }
        /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = 0; for (i = 1; i <= n; ++i) wall = wall * 60 + p[i] }
        /Maximum resident set size/ { rss = $2 }
        END { printf "%.3f %.3f %d\n", wall, user + sys, rss }' "$work/time.txt"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs ours (bench_decode in `mode`) and the tool alternately (one warm-up pair first) and
# prints one row.
compare() {
    local label=$1 mode=$2 tool=$3
    : >"$work/ours.txt"
    : >"$work/tool.txt"
    measure "$ours_bin" "$clip" "$mode" >/dev/null
    # shellcheck disable=SC2086
    measure $tool >/dev/null
    for ((i = 0; i < runs; ++i)); do
        measure "$ours_bin" "$clip" "$mode" >>"$work/ours.txt"
        # shellcheck disable=SC2086
        measure $tool >>"$work/tool.txt"
    done
    paste "$work/ours.txt" "$work/tool.txt" >"$work/pairs.txt"
    local ow oc om tw tc tm rw rc rm
    ow=$(cut -d' ' -f1 "$work/ours.txt" | median); oc=$(cut -d' ' -f2 "$work/ours.txt" | median)
    om=$(cut -d' ' -f3 "$work/ours.txt" | median)
    tw=$(cut -d' ' -f1 "$work/tool.txt" | median); tc=$(cut -d' ' -f2 "$work/tool.txt" | median)
    tm=$(cut -d' ' -f3 "$work/tool.txt" | median)
    # Ratios pair by pair, then their median, so that drifting machine speed cancels out.
    rw=$(awk '{ print $1 / $4 }' "$work/pairs.txt" | median)
    rc=$(awk '{ print $2 / $5 }' "$work/pairs.txt" | median)
    rm=$(awk '{ print $3 / $6 }' "$work/pairs.txt" | median)
    printf '%-36s wall %6.2f s / %6.2f s = %5.2f   cpu %6.2f s / %6.2f s = %5.2f   peak %5d MiB / %5d MiB = %5.2f\n' \
        "$label" "$ow" "$tw" "$rw" "$oc" "$tc" "$rc" $((om / 1024)) $((tm / 1024)) "$rm"
}

echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "frames: $("$ours_bin" "$clip" images)"
echo "runs: $runs pairs after one warm-up pair; medians, ours / tool"
compare "images vs ffmpeg -f null" images "ffmpeg -v error -i $clip -f null -"
# libavcodec alone, opened as the reader opens it: the share of the decoding in the first row.
compare "decoder alone vs ffmpeg -f null" decoder "ffmpeg -v error -i $clip -f null -"
compare "images vs ffmpeg -pix_fmt p010le" images "ffmpeg -v error -i $clip -pix_fmt p010le -f null -"
# The path the float output replaces: 'x420' buffers, then the float conversion.
compare "x420+float vs ffmpeg -f null" x420 "ffmpeg -v error -i $clip -f null -"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
