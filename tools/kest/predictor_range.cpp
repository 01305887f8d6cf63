#include "predictor_range.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "format/movie_format.h"
#include "format/movie_reader.h"

namespace kest::tool {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Clock(int64_t sample, int32_t rate) {
    const int64_t ms = rate > 0 ? sample * 1000 / rate : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

}  // namespace

void PredictorWatch::Feed(uint8_t code) {
    const int16_t predicted = AdpcmDecodeCode(state_, code);
    const bool outside = predicted < kPlayerPredictorMin || predicted > kPlayerPredictorMax;
    if (outside) {
        if (!outside_) ++result_.excursions;
        if (result_.firstOutside < 0) result_.firstOutside = result_.codes;
        result_.lastOutside = result_.codes;
        ++result_.outside;
    }
    outside_ = outside;
    ++result_.codes;
}

void PredictorWatch::FeedBytes(const uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        Feed(bytes[i] & 15);
        Feed(static_cast<uint8_t>(bytes[i] >> 4));
    }
}

std::optional<MoviePredictor> WatchMovieFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    // The header and one record at a time; the core's reader checks each.
    std::vector<uint8_t> buffer(kMovieHeaderSize);
    if (std::fread(buffer.data(), 1, buffer.size(), file.get()) != buffer.size()) return std::nullopt;
    MovieReport header = InspectMovie(buffer.data(), buffer.size());
    MovieLayout layout = header.layout;
    if (!header.readable || layout.version != 30 || layout.audioCode == 0 || layout.audioFormatIndex < 0)
        return std::nullopt;
    buffer.resize(kMovieHeaderSize + static_cast<std::size_t>(layout.blockSize));
    layout.frameCount = 1;
    MoviePredictor watched;
    watched.sampleRate = kAudioFormats[layout.audioFormatIndex].sampleRate;
    PredictorWatch watch;
    MovieFrame frame;
    std::string why;
    while (std::fread(buffer.data() + kMovieHeaderSize, 1, layout.blockSize, file.get()) == layout.blockSize) {
        if (!ReadMovieFrame(layout, buffer.data(), buffer.size(), 0, frame, why)) return std::nullopt;
        watch.FeedBytes(frame.audio, frame.audioLength);
    }
    watched.excursions = watch.Result();
    return watched;
}

std::string DescribeExcursions(const PredictorExcursions& e, int32_t sampleRate) {
    return std::to_string(e.excursions) + (e.excursions == 1 ? " time, in " : " times, in ") +
           std::to_string(e.outside) + " of " + std::to_string(e.codes) + " samples from " +
           Clock(e.firstOutside, sampleRate) + " to " + Clock(e.lastOutside, sampleRate);
}

}  // namespace kest::tool
