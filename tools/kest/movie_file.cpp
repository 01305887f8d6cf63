#include "movie_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "sound/audio_format.h"
#include "tool_error.h"

namespace kest::tool {

LoadedMovie LoadMovie(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    LoadedMovie movie;
    movie.path = path;
    movie.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError("cannot read " + path);
    movie.report = InspectMovie(movie.bytes.data(), movie.bytes.size());
    return movie;
}

void RequireReadable(const LoadedMovie& movie) {
    if (!movie.report.readable) throw ToolError(movie.path + ": " + movie.report.errors.front());
}

int32_t MovieSoundRate(const MovieLayout& layout) {
    return layout.audioFormatIndex >= 0 ? kAudioFormats[layout.audioFormatIndex].sampleRate : 15625;
}

int32_t MovieSoundChannels(const MovieLayout& layout) {
    return layout.audioFormatIndex >= 0 && kAudioFormats[layout.audioFormatIndex].stereo ? 2 : 1;
}

uint64_t MovieSoundSamples(const MovieLayout& layout) {
    const bool pcm = layout.audioFormatIndex >= 0 && kAudioFormats[layout.audioFormatIndex].version == 40;
    return pcm ? layout.audioBytes / (2u * static_cast<unsigned>(MovieSoundChannels(layout))) : layout.audioBytes * 2;
}

double MovieFrameRate(const MovieLayout& layout) {
    const uint64_t samples = MovieSoundSamples(layout);
    if (samples == 0 || layout.frameCount == 0) return 0;
    if (layout.audioCode != 0 && layout.audioFormatIndex < 0) return 0;
    return static_cast<double>(MovieSoundRate(layout)) * static_cast<double>(layout.frameCount) / static_cast<double>(samples);
}

}  // namespace kest::tool
