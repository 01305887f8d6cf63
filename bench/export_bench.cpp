// Whole exports through a host that lives in memory, writing the movie to
// tmpfs (/dev/shm), in frames per second: what the plug-in itself costs per
// frame when decoding the video is free. Two noise pictures alternate so
// that the carried state of the temporal converters keeps changing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "export/export_driver.h"
#include "settings/output_settings.h"

namespace {

using namespace kest;

constexpr int32_t kFrames = 120;

struct BenchHost {
    std::vector<uint8_t> pictures[2];
    std::vector<int16_t> sound;  // stereo noise, enough for any one request
} host;

std::vector<uint8_t> NoiseBytes(std::size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return v;
}

void* KEST_CDECL ReadVideo(int32_t frame, int32_t) { return host.pictures[frame & 1].data(); }
void* KEST_CDECL ReadAudio(int32_t, int32_t count, int32_t* delivered) {
    *delivered = count;
    return host.sound.data();
}
int32_t KEST_CDECL NoAbort() { return 0; }
int32_t KEST_CDECL Progress(int32_t, int32_t) { return 1; }
int32_t KEST_CDECL Preview() { return 1; }

// Arguments: width, height, reduceMode, audio row, host sound rate (stereo).
void BM_Export(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    const std::size_t pictureBytes = static_cast<std::size_t>((width * 3 + 3) / 4 * 4) * static_cast<std::size_t>(height);
    host.pictures[0] = NoiseBytes(pictureBytes, 1);
    host.pictures[1] = NoiseBytes(pictureBytes, 2);
    const std::vector<uint8_t> noise = NoiseBytes(2 * 2 * 65536, 3);
    host.sound.assign(reinterpret_cast<const int16_t*>(noise.data()),
                      reinterpret_cast<const int16_t*>(noise.data()) + noise.size() / 2);

    const std::string path = "/dev/shm/kest_bench_" + std::to_string(::getpid()) + ".KTD";
    OutputInfo info = VideoRecord(width, height, 30, 1, kFrames, path.c_str(),
                                  {ReadVideo, ReadAudio, NoAbort, Progress, Preview});
    AddRecordSound(info, static_cast<int32_t>(state.range(4)), 2, INT32_MAX);

    OutputSettings settings = DefaultSettings();
    settings.reduceMode = static_cast<uint16_t>(state.range(2));
    settings.audioFormatIndex = static_cast<int16_t>(state.range(3));
    for (auto _ : state) {
        const ExportResult result = ExportMovie(info, settings);
        if (result.outcome != ExportOutcome::Completed) {
            state.SkipWithError("export did not complete");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);  // frames
}

void ExportCases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"w", "h", "mode", "row", "host"});
    // The three named cases: 256 x 192 truncation with ADPCM from 44.1 kHz,
    // 512 x 480 planar diffusion with PCM 48 kHz stereo, 512 x 480 temporal
    // diffusion with ADPCM from 48 kHz.
    b->Args({256, 192, 0, 0, 44100});
    b->Args({512, 480, 5, 5, 48000});
    b->Args({512, 480, 4, 0, 48000});
    // Every reduce mode with PCM 48 kHz stereo at both sizes.
    for (int64_t mode = 0; mode <= 5; ++mode) {
        if (mode != 5) b->Args({512, 480, mode, 5, 48000});
        b->Args({256, 192, mode, 5, 48000});
    }
}
BENCHMARK(BM_Export)->Apply(ExportCases)->Unit(benchmark::kMillisecond);

}  // namespace
