// kest_long_export FORMAT HOURS
//
// Exports HOURS of 44100 Hz stereo sound with a tiny picture at 30 frames a
// second, into a sink that keeps nothing but the record being read, and
// checks that memory stays flat and that the last frames carry exactly what
// the closed-form rules give:
//   pcm48s  - 48000 Hz stereo PCM (no filter): every sample of the last
//             frames is the source sample at the nearest position;
//   adpcm   - 15625 Hz ADPCM: every audio length follows the spread and
//             pending-code rules, and the decoded stream of the last frames
//             is the 1 kHz source tone, in phase.
// Prints the peak resident memory after one minute of movie and at the end.
// Exits 0 when every check holds.
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/big_endian.h"
#include "export/export_driver.h"
#include "settings/output_settings.h"
#include "sound/adpcm_encoder.h"

namespace {

using namespace kest;

constexpr int32_t kFps = 30;
constexpr int32_t kSourceRate = 44100;
constexpr int32_t kSide = 4;
constexpr double kPi = 3.141592653589793;
constexpr int64_t kCheckedFrames = 30;

int failures = 0;
#define CHECK(condition, ...)                           \
    do {                                                \
        if (!(condition)) {                             \
            if (failures++ < 20) std::printf(__VA_ARGS__); \
        }                                               \
    } while (0)

bool tone = false;  // source: 1 kHz tone, or a position hash

int16_t Source(int64_t position, int channel) {
    if (tone) return static_cast<int16_t>(std::lround(16000.0 * std::sin(2 * kPi * static_cast<double>((position * 1000) % kSourceRate) / kSourceRate)));
    uint64_t h = static_cast<uint64_t>(position) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(channel) * 0x632BE59BD9B4E019ull;
    return static_cast<int16_t>(h >> 48);
}

int32_t totalSamples = 0;
std::vector<int16_t> delivery;
std::vector<uint8_t> hostPicture(static_cast<std::size_t>(kSide * 3 * kSide), 100);

void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    delivery.resize(static_cast<std::size_t>(count) * 2 + 2);
    for (int32_t i = 0; i < count; ++i)
        for (int c = 0; c < 2; ++c) delivery[static_cast<std::size_t>(i) * 2 + c] = Source(int64_t{start} + i, c);
    *delivered = count;
    return delivery.data();
}
void* KEST_CDECL ReadVideo(int32_t, int32_t) { return hostPicture.data(); }
int32_t KEST_CDECL Abort() { return 0; }
int32_t KEST_CDECL Progress(int32_t, int32_t) { return 0; }
int32_t KEST_CDECL Preview() { return 0; }

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The sink: reads the stream record by record and keeps only the current one.
struct Sink {
    bool pcm = true;
    int64_t frameCount = 0;
    int64_t q = 0, r = 0;  // per-frame base and remainder of the spread
    int32_t targetRate = 0;
    uint32_t blockSize = 0;
    std::vector<uint8_t> pending;
    bool headerSeen = false;
    int64_t frame = 0;
    long peakAfterOneMinute = 0;
    AdpcmDecoderState decoder;
    bool codeWaiting = false;
    double signal = 0, noise = 0;

    // Target samples before frame j: j * q plus the extras the spread
    // accumulator (starting at n / 2, adding r) has handed out so far.
    int64_t FirstSample(int64_t j) const { return j == 0 ? 0 : j * q + (frameCount / 2 + (j - 1) * r) / frameCount; }

    void Record(const uint8_t* record) {
        const std::size_t picture = kSide * kSide * 2;
        const uint32_t length = GetBigEndian16(record + 16 + picture);
        const uint8_t* audio = record + 18 + picture;
        const int64_t c = FirstSample(frame), k = FirstSample(frame + 1) - c;
        const bool checked = frame >= frameCount - kCheckedFrames;
        if (pcm) {
            CHECK(length == k * 4, "frame %lld: length %u, expected %lld\n", (long long)frame, length, (long long)(k * 4));
            for (int64_t i = 0; checked && i < k; ++i) {
                const int64_t position = ((c + i) * kSourceRate + targetRate / 2) / targetRate;
                for (int ch = 0; ch < 2; ++ch) {
                    const auto got = static_cast<int16_t>(GetBigEndian16(audio + i * 4 + ch * 2));
                    CHECK(got == Source(position, ch), "frame %lld sample %lld: %d, expected %d\n", (long long)frame,
                          (long long)i, got, Source(position, ch));
                }
            }
        } else {
            const int64_t t = k + (codeWaiting ? 1 : 0);
            CHECK(length == t / 2, "frame %lld: length %u, expected %lld\n", (long long)frame, length, (long long)(t / 2));
            // Decoded samples of this frame's bytes; a carried code belongs
            // to the last sample of the previous frame.
            int64_t sample = c - (codeWaiting ? 1 : 0);
            for (uint32_t b = 0; b < length; ++b)
                for (int nibble = 0; nibble < 2; ++nibble, ++sample) {
                    const int16_t decoded = AdpcmDecodeCode(decoder, static_cast<uint8_t>(audio[b] >> (4 * nibble) & 15));
                    if (!checked) continue;
                    const int64_t position = (sample * kSourceRate + targetRate / 2) / targetRate;
                    const double expected = Source(position, 0);
                    signal += expected * expected;
                    noise += (decoded * 16.0 - expected) * (decoded * 16.0 - expected);
                }
            codeWaiting = t % 2 != 0;
        }
        ++frame;
        if (frame == 60 * kFps) peakAfterOneMinute = PeakKilobytes();
    }

    void Take(const uint8_t* bytes, uint32_t count) {
        pending.insert(pending.end(), bytes, bytes + count);
        if (!headerSeen && pending.size() >= 1024) {
            blockSize = GetBigEndian32(pending.data() + 30);
            pending.erase(pending.begin(), pending.begin() + 1024);
            headerSeen = true;
        }
        while (headerSeen && pending.size() >= blockSize) {
            Record(pending.data());
            pending.erase(pending.begin(), pending.begin() + blockSize);
        }
    }
} sink;

MovieFile* Create(void*, const char*) { return reinterpret_cast<MovieFile*>(&sink); }
uint32_t Write(void*, MovieFile*, const void* bytes, uint32_t count) {
    sink.Take(static_cast<const uint8_t*>(bytes), count);
    return count;
}
void Close(void*, MovieFile*) {}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kest_long_export pcm48s|adpcm HOURS\n");
        return 2;
    }
    const std::string format = argv[1];
    const double hours = std::atof(argv[2]);
    sink.pcm = format == "pcm48s";
    tone = !sink.pcm;
    sink.targetRate = sink.pcm ? 48000 : 15625;
    OutputSettings settings = DefaultSettings();
    settings.audioFormatIndex = sink.pcm ? 5 : 0;

    const auto seconds = static_cast<int64_t>(hours * 3600);
    OutputInfo info = VideoRecord(kSide, kSide, kFps, 1, static_cast<int32_t>(seconds * kFps), "long.KTD",
                                  {ReadVideo, ReadAudio, Abort, Progress, Preview});
    AddRecordSound(info, kSourceRate, 2, static_cast<int32_t>(seconds * kSourceRate));
    totalSamples = info.audioSamples;

    const int64_t total = static_cast<int64_t>(sink.targetRate) * info.frameCount / kFps;
    sink.frameCount = info.frameCount;
    sink.q = total / info.frameCount;
    sink.r = total % info.frameCount;

    const FileOps sinkOps = {Create, Write, Close, nullptr};
    const ExportResult result = ExportMovie(info, settings, sinkOps);
    CHECK(result.outcome == ExportOutcome::Completed, "export: %s\n", DescribeOutcome(result.outcome));
    CHECK(sink.frame == info.frameCount, "%lld records, expected %d\n", (long long)sink.frame, info.frameCount);
    const long peakAtEnd = PeakKilobytes();
    std::printf("%s, %.2f h (%d frames): peak resident %ld KiB after 1 min, %ld KiB at the end\n", format.c_str(), hours,
                info.frameCount, sink.peakAfterOneMinute, peakAtEnd);
    if (sink.peakAfterOneMinute > 0)
        CHECK(peakAtEnd - sink.peakAfterOneMinute <= 2048, "memory grew by %ld KiB\n", peakAtEnd - sink.peakAfterOneMinute);
    if (!sink.pcm) {
        const double snr = 10 * std::log10(sink.signal / std::max(sink.noise, 1e-9));
        std::printf("decoded tone over the last %lld frames: %.1f dB signal to noise\n", (long long)kCheckedFrames, snr);
        // A slip of one sample at 1 kHz and 15625 Hz costs the phase 0.4 rad,
        // which alone would hold the ratio near 8 dB.
        CHECK(snr >= 14.0, "tone came back at %.1f dB\n", snr);
    }
    std::printf("%s\n", failures == 0 ? "all checks hold" : "CHECKS FAILED");
    return failures == 0 ? 0 : 1;
}
