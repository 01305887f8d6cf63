// The movie reader behind `kest info` and `kest extract` on arbitrary bytes:
// it must never crash, hang or read outside the buffer, every rejection
// must say why, and every frame it hands out must lie inside the buffer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "format/movie_reader.h"

namespace {

#define CHECK(condition)                                                                \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

bool Inside(const uint8_t* begin, std::size_t size, const uint8_t* at, std::size_t length) {
    if (length == 0) return true;
    return at >= begin && at <= begin + size && length <= static_cast<std::size_t>(begin + size - at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // A private copy, so that AddressSanitizer sees the exact end of the bytes.
    std::vector<uint8_t> bytes(data, data + size);
    const uint8_t* begin = bytes.data();
    const kest::MovieReport report = kest::InspectMovie(begin, size);
    for (const std::string& e : report.errors) CHECK(!e.empty());
    for (const std::string& w : report.warnings) CHECK(!w.empty());
    // Piece by piece, as the tool reads a file: the head and each record from
    // buffers of their own, and the same findings.
    {
        const std::vector<uint8_t> head(begin, begin + (size < 1040 ? size : 1040));
        kest::MovieReport pieces = kest::InspectMovieHead(head.data(), head.size(), size);
        CHECK(pieces.readable == report.readable);
        CHECK(pieces.errors == report.errors);
        if (pieces.readable && pieces.layout.frameCount <= 256) {
            kest::MovieRecordTally tally;
            for (uint64_t j = 0; j < pieces.layout.frameCount; ++j) {
                const uint8_t* at = begin + 1024 + j * pieces.layout.blockSize;
                const std::vector<uint8_t> record(at, at + pieces.layout.blockSize);
                kest::CheckMovieRecord(pieces.layout, j, record.data(), record.size(), tally);
                kest::MovieFrame frame;
                std::string why;
                if (kest::ReadMovieRecord(pieces.layout, record.data(), record.size(), j, frame, why))
                    CHECK(Inside(record.data(), record.size(), frame.audio, frame.audioLength));
            }
            kest::FinishMovieReport(tally, pieces);
            CHECK(pieces.warnings == report.warnings);
        }
    }
    if (!report.readable) {
        CHECK(!report.errors.empty());
        kest::MovieFrame frame;
        std::string why;
        CHECK(!kest::ReadMovieFrame(report.layout, begin, size, 0, frame, why) || report.layout.blockSize != 0);
        return 0;
    }
    CHECK(report.errors.empty());
    const kest::MovieLayout& layout = report.layout;
    const std::size_t picture = static_cast<std::size_t>(layout.width) * layout.height * 2;
    const uint64_t frames = layout.frameCount < 64 ? layout.frameCount : 64;
    for (uint64_t j = 0; j <= frames; ++j) {
        kest::MovieFrame frame;
        std::string why;
        if (!kest::ReadMovieFrame(layout, begin, size, j, frame, why)) {
            CHECK(!why.empty());
            continue;
        }
        CHECK(j < layout.frameCount);
        CHECK(Inside(begin, size, frame.picture, picture));
        CHECK(Inside(begin, size, frame.audio, frame.audioLength));
        volatile uint32_t sum = 0;
        for (std::size_t i = 0; i < picture; i += 97) sum = sum + frame.picture[i];
        for (uint32_t i = 0; i < frame.audioLength; i += 31) sum = sum + frame.audio[i];
    }
    return 0;
}
