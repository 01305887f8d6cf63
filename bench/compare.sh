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
# Every timing is the best of $RUNS runs (default 3): CPU time for the
# single-threaded pictures and sound (the wall clock of a loaded machine
# counts other programs too), wall clock for the 1080p clip, whose targets
# are about threads. The benchmark's figures are CPU time. Read ratios, not
# absolute times. The last section lists each target beside its peer.
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
# best CPU SECONDS (user + system, the command's children included) of
# running "$@" $runs times: for single-threaded work on a shared machine,
# where the wall clock counts other programs' time too
best_cpu() {
  python3 - "$runs" "$@" <<'PY'
import resource, subprocess, sys
runs, cmd = int(sys.argv[1]), sys.argv[2:]
best = None
for _ in range(runs):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    best = t if best is None or t < best else best
print(best)
PY
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
# Planar error diffusion on each tier the processor runs, beside the plain
# tier's two-row walk (the vector path before rows ran in lanes).
for case in 10:0 10:1 18:0 18:1; do
  g=${case%:*} i=${case#*:}
  walk=$(iteration "BM_ConvertTier/PlanarErrorDiffusion/tier:0/gamma10:$g/i:$i")
  line="PlanarErrorDiffusion by tier, gamma $((g / 10)).$((g % 10)) intensity bit $i: two-row walk $(python3 -c "print(f'{$walk * 1e6:.0f}')") us"
  for tier in 1:SSE2 2:AVX2 3:AVX-512; do
    t=$(iteration "BM_ConvertTier/PlanarErrorDiffusion/tier:${tier%:*}/gamma10:$g/i:$i")
    if python3 -c "import sys; sys.exit(0 if $t > 0 else 1)"; then
      line+=", ${tier#*:} $(python3 -c "print(f'{$t * 1e6:.0f}')") us ($(ratio "$walk" "$t") x faster)"
    fi
  done
  echo "$line"
done

frames=300
echo
echo "== pictures: $frames frames of 512x480 BGR24"
ffmpeg -v error -f lavfi -i "testsrc2=size=512x480:rate=30" -frames:v $frames -c:v rawvideo -pix_fmt bgr24 "$work/frames.nut"
ff_read=$(best_cpu ffmpeg -threads 1 -filter_threads 1 -i "$work/frames.nut" -f null -)
ff_ed=$(best_cpu ffmpeg -threads 1 -filter_threads 1 -i "$work/frames.nut" -vf "scale=sws_dither=ed,format=rgb555" -f null -)
k_ed=$(best_cpu "$kest" export "$work/frames.nut" -o "$work/out.KTD" -y -q --threads 1 --no-audio --reduce planar-ed)
k_bit=$(best_cpu "$kest" export "$work/frames.nut" -o "$work/out.KTD" -y -q --threads 1 --no-audio --reduce bit)
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
ff_read=$(best_cpu ffmpeg -threads 1 -i "$work/sound.wav" -f null -)
ff_rs=$(best_cpu ffmpeg -threads 1 -i "$work/sound.wav" -ac 1 -ar 15625 -f null -)
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

# The modules under Wine, when this tree was configured to run them: the
# timed export's frames a second beside the native build's.
modules="not measured: configure the tree with -DKEST_WINE64=ON or -DKEST_WINE=ON (scripts/test.sh does)"
if [[ -f $build/CTestTestfile.cmake ]] && ctest --test-dir "$build" -N -R '^wine\.timed_export$' 2>/dev/null | grep -q ': wine\.timed_export$'; then
  echo
  echo "== the modules under Wine: the timed export"
  ctest --test-dir "$build" -R '^wine\.timed_export$' -V 2>&1 | sed -n 's/^[0-9]*: \(.*\(frames a second\|not run here\|same bytes\|differs\).*\)$/\1/p' \
    | tee "$work/modules.txt"
  modules=$(paste -sd ';' "$work/modules.txt" | sed 's/;/; /g')
fi

echo
echo "== targets (kest beside its peer, measured in this run)"
FF_ED_FRAME=$ff_per_frame FF_RS=$ff_work K_RS=$k_rs FF1=$ff1 K1=$k1 FFN=$ffn KN=$kn MODULES=$modules \
  python3 - "$work/bench.json" <<'PY'
import json, os, sys
units = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
bench = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"] if "error_occurred" not in b}
def seconds(name):
    b = bench.get(name)
    return None if b is None else b["cpu_time"] * units[b["time_unit"]]
env = {k: float(v) for k, v in os.environ.items() if k in ("FF_ED_FRAME", "FF_RS", "K_RS", "FF1", "K1", "FFN", "KN")}
tiers = {0: "plain", 1: "SSE2", 2: "AVX2", 3: "AVX-512"}
rows = []
def row(what, kest, peer, ratio, goal, met):
    status = "reported" if met is None else "met" if met else "MISSED"
    rows.append((what, kest, peer, f"{ratio:.2f}" if ratio is not None else "-", goal, status))
us = lambda t: f"{t * 1e6:.0f} us"

for t in (2, 3):
    for i in (0, 1):
        for g in (10, 18):
            k = seconds(f"BM_ConvertTier/PlanarErrorDiffusion/tier:{t}/gamma10:{g}/i:{i}")
            if k is None: continue
            r = k / env["FF_ED_FRAME"]
            row(f"planar ED, {tiers[t]}, gamma {g / 10:.1f}, bit {i}", us(k), f"ffmpeg ED {us(env['FF_ED_FRAME'])}", r, "<= 0.45", r <= 0.45)
for i in (0, 1):
    for g in (10, 18):
        k = seconds(f"BM_ConvertTier/PlanarErrorDiffusion/tier:1/gamma10:{g}/i:{i}")
        old = seconds(f"BM_ConvertTier/PlanarErrorDiffusion/tier:0/gamma10:{g}/i:{i}")  # the two-row form
        if k is None or old is None: continue
        r = old / k
        row(f"planar ED, SSE2 speed-up, gamma {g / 10:.1f}, bit {i}", us(k), f"two-row form {us(old)}", r, ">= 2 x", r >= 2)
memcpy = seconds("BM_MemcpySourceFrame/512/480")
for t in sorted(tiers):
    for i in (0, 1):
        for g in (10, 18, 22):
            k = seconds(f"BM_ConvertTier/TemporalErrorDiffusion/tier:{t}/gamma10:{g}/i:{i}")
            if k is None or t == 0: continue
            r = k / memcpy
            row(f"temporal ED, {tiers[t]}, gamma {g / 10:.1f}, bit {i}", us(k), f"memcpy {us(memcpy)}", r, "<= 4 x", r <= 4)
for name in ("BitTruncate", "Dither2x2", "Dither4x4", "TemporalDither2x2", "TemporalErrorDiffusion", "PlanarErrorDiffusion"):
    for t in (1, 2):
        a = seconds(f"BM_ConvertTier/{name}/tier:{t}/gamma10:18/i:1")
        b = seconds(f"BM_ConvertTier/{name}/tier:{t}/gamma10:10/i:1")
        if a is None or b is None: continue
        r = a / b
        # The goal is a form (the look-up inside the vector pass), not a ratio.
        row(f"{name}, {tiers[t]}, gamma 1.8 against 1.0", us(a), f"gamma 1.0 {us(b)}", r, "no scalar pass", None)
for mode, label in enumerate(("bit truncation", "2x2", "4x4", "temporal 2x2", "temporal ED", "planar ED")):
    b = bench.get(f"BM_Export/w:512/h:480/mode:{mode}/row:5/host:48000")
    if b is None: continue
    fps = b["items_per_second"]
    row(f"export 512x480 {label}, PCM 48 kHz stereo", f"{fps:.0f} fps", "1500 fps", fps / 1500, ">= 1500 fps", fps >= 1500)
r = env["K_RS"] / env["FF_RS"]
row("sound 44.1 kHz stereo -> 15625 Hz ADPCM", f"{env['K_RS']:.2f} s", f"ffmpeg {env['FF_RS']:.2f} s", r, "<= 1.5", r <= 1.5)
r = env["KN"] / env["FFN"]
row("kest export 1080p, default threads", f"{env['KN']:.2f} s", f"ffmpeg {env['FFN']:.2f} s", r, "<= 1.1", r <= 1.1)
r = env["K1"] / env["FF1"]
row("kest export 1080p, single-threaded", f"{env['K1']:.2f} s", f"ffmpeg {env['FF1']:.2f} s", r, "<= 1.05", r <= 1.05)
widths = [max(len(r[c]) for r in rows + [("target", "kest", "peer", "ratio", "goal", "")]) for c in range(6)]
for r in [("target", "kest", "peer", "ratio", "goal", "")] + rows:
    print("  ".join(v.ljust(w) for v, w in zip(r, widths)).rstrip())
print("modules under Wine (frames a second, reported, no goal): " + os.environ.get("MODULES", ""))
PY
