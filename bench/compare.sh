#!/usr/bin/env bash
# Runs the benchmarks, then times FFmpeg's command line doing the nearest
# comparable work on the same frames and sound, and prints the ratios:
#   - 512 x 480 BGR24 frames to RGB555 with error-diffusion dither, against
#     `kest export` of the same frames with planar error diffusion and with
#     bit truncation, and against the converters alone (from the benchmark);
#   - 44100 Hz stereo to 15625 Hz mono, against one sound frame of the
#     pipeline (filter, resampling and ADPCM, from the benchmark);
#   - a 1080p H.264 clip: `kest export` against FFmpeg decoding it to nothing
#     (`ffmpeg -i clip -f null -`), decoders single-threaded and with their
#     default threads.
# Every timing is the best of $RUNS runs (default 3), wall clock; the
# machine's other load shows as noise, so read ratios, not absolute times.
#
# Usage: bench/compare.sh [BUILD_DIR]   (default build/native; needs
# kest_bench and the kest tool built there, and ffmpeg on the PATH)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
bench=$build/bench/kest_bench
kest=$build/tools/kest
runs=${RUNS:-3}
for tool in "$bench" "$kest"; do
  [[ -x $tool ]] || { echo "missing $tool: build with -DKEST_BUILD_BENCH=ON first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is not on the PATH" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3 is needed to read the benchmark's JSON" >&2; exit 1; }

work=$(mktemp -d /dev/shm/kest_compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

# best SECONDS of running "$@" $runs times
best() {
  local t b=""
  for ((i = 0; i < runs; i++)); do
    local s e
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    e=$(date +%s.%N)
    t=$(python3 -c "print($e - $s)")
    if [[ -z $b ]] || python3 -c "import sys; sys.exit(0 if $t < $b else 1)"; then b=$t; fi
  done
  echo "$b"
}
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }

echo "== kest_bench (full output: $work/bench.txt while running)"
"$bench" --benchmark_min_time=0.5 --benchmark_out="$work/bench.json" --benchmark_out_format=json \
  | tee "$work/bench.txt"

# seconds a benchmark's iteration takes (CPU time), by exact name
iteration() {
  python3 - "$work/bench.json" "$1" <<'PY'
import json, sys
units = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b["name"] == sys.argv[2]:
        print(b["cpu_time"] * units[b["time_unit"]])
        break
else:
    sys.exit("no benchmark " + sys.argv[2])
PY
}

echo
echo "== limits, from the benchmark"
memcpy=$(iteration "BM_MemcpySourceFrame/512/480")
for name in BitTruncate Dither2x2 Dither4x4 TemporalDither2x2 TemporalErrorDiffusion PlanarErrorDiffusion; do
  for case in 10:1 18:1 10:0; do
    g=${case%:*} i=${case#*:}
    t=$(iteration "BM_Convert/$name/w:512/h:480/gamma10:$g/i:$i")
    echo "$name 512x480 gamma $((g / 10)).$((g % 10)) intensity bit $i: $(ratio "$t" "$memcpy") x memcpy of the source bytes"
  done
done
for i in 1 0; do
  trunc=$(iteration "BM_Convert/BitTruncate/w:512/h:480/gamma10:10/i:$i")
  planar=$(iteration "BM_Convert/PlanarErrorDiffusion/w:512/h:480/gamma10:10/i:$i")
  echo "PlanarErrorDiffusion / BitTruncate (512x480, gamma 1.0, intensity bit $i): $(ratio "$planar" "$trunc")"
done

frames=300
echo
echo "== pictures: $frames frames of 512x480 BGR24"
ffmpeg -v error -f lavfi -i "testsrc2=size=512x480:rate=30" -frames:v $frames -c:v rawvideo -pix_fmt bgr24 "$work/frames.nut"
ff_read=$(best ffmpeg -threads 1 -filter_threads 1 -i "$work/frames.nut" -f null -)
ff_ed=$(best ffmpeg -threads 1 -filter_threads 1 -i "$work/frames.nut" -vf "scale=sws_dither=ed,format=rgb555" -f null -)
k_ed=$(best "$kest" export "$work/frames.nut" -o "$work/out.KTD" -y -q --threads 1 --no-audio --reduce planar-ed)
k_bit=$(best "$kest" export "$work/frames.nut" -o "$work/out.KTD" -y -q --threads 1 --no-audio --reduce bit)
echo "ffmpeg reading only:                    ${ff_read} s"
echo "ffmpeg to RGB555, error diffusion:      ${ff_ed} s"
echo "kest export, planar error diffusion:    ${k_ed} s   ratio to ffmpeg: $(ratio "$k_ed" "$ff_ed")"
echo "kest export, bit truncation:            ${k_bit} s   ratio to ffmpeg: $(ratio "$k_bit" "$ff_ed")"
ff_per_frame=$(python3 -c "print(max(($ff_ed - $ff_read) / $frames, 1e-9))")
echo "conversion alone, per frame: ffmpeg $(python3 -c "print(f'{$ff_per_frame * 1e6:.0f}')") us (its time less reading);" \
  "kest planar $(python3 -c "print(f'{$planar * 1e6:.0f}')") us, ratio $(ratio "$planar" "$ff_per_frame");" \
  "kest bit truncation $(python3 -c "print(f'{$trunc * 1e6:.0f}')") us, ratio $(ratio "$trunc" "$ff_per_frame")"

seconds=600
echo
echo "== sound: $seconds s of 44100 Hz stereo to 15625 Hz mono"
ffmpeg -v error -f lavfi -i "anoisesrc=sample_rate=44100:amplitude=0.5:duration=$seconds" -ac 2 -c:a pcm_s16le "$work/sound.wav"
ff_read=$(best ffmpeg -threads 1 -i "$work/sound.wav" -f null -)
ff_rs=$(best ffmpeg -threads 1 -i "$work/sound.wav" -ac 1 -ar 15625 -f null -)
frame=$(iteration "BM_PipelineFrame/host:44100/row:0")  # one frame at 30 fps: 1/30 s of sound
k_rs=$(python3 -c "print($frame * 30 * $seconds)")
ff_work=$(python3 -c "print(max($ff_rs - $ff_read, 1e-9))")
echo "ffmpeg resampling (less reading):       ${ff_work} s"
echo "kest pipeline (filter, pick, ADPCM):    ${k_rs} s   ratio to ffmpeg: $(ratio "$k_rs" "$ff_work")"

echo
echo "== 1080p H.264 clip, 20 s at 30 fps with AAC sound"
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -f lavfi -i "sine=frequency=440:sample_rate=48000" \
  -t 20 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 "$work/clip.mp4"
ff1=$(best ffmpeg -threads 1 -i "$work/clip.mp4" -f null -)
k1=$(best "$kest" export "$work/clip.mp4" -o "$work/clip.KTD" -y -q --threads 1)
ffn=$(best ffmpeg -i "$work/clip.mp4" -f null -)
kn=$(best "$kest" export "$work/clip.mp4" -o "$work/clip.KTD" -y -q)
echo "single-threaded decoders: ffmpeg ${ff1} s, kest export ${k1} s, ratio $(ratio "$k1" "$ff1")"
echo "default decoder threads:  ffmpeg ${ffn} s, kest export ${kn} s, ratio $(ratio "$kn" "$ffn")"
# What the scaling to the movie's picture costs on its own: FFmpeg decoding
# and scaling as the export does (bicubic, accurately rounded, to BGR24).
scale="scale=w=512:h=288:flags=bicubic+accurate_rnd,format=bgr24"
ffs1=$(best ffmpeg -threads 1 -filter_threads 1 -i "$work/clip.mp4" -vf "$scale" -f null -)
ffsn=$(best ffmpeg -i "$work/clip.mp4" -vf "$scale" -f null -)
echo "ffmpeg decoding and scaling to 512x288, single-threaded: ${ffs1} s (kest export: ratio $(ratio "$k1" "$ffs1"))"
echo "ffmpeg decoding and scaling to 512x288, default threads: ${ffsn} s (kest export: ratio $(ratio "$kn" "$ffsn"))"
