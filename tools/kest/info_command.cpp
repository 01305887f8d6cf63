#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "movie_file.h"
#include "settings_options.h"
#include "sound/audio_format.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

struct InfoOptions {
    std::string file;
    bool json = false;
};

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? ", " : "") + JsonString(lines[i]);
    return out + "]";
}

double Seconds(uint64_t frames, uint32_t ticks) { return static_cast<double>(frames) * ticks / 60.0; }

std::string AudioName(const MovieLayout& m) {
    if (m.audioCode == 0) return "none (silent filler)";
    if (m.audioFormatIndex < 0) return "unknown";
    return std::string(kAudioFormats[m.audioFormatIndex].label) + " (" + AudioShortName(m.audioFormatIndex) + ")";
}

void PrintText(const LoadedMovie& movie) {
    const MovieReport& r = movie.report;
    const MovieLayout& m = r.layout;
    std::printf("file          %s (%" PRIu64 " bytes)\n", movie.path.c_str(), m.fileSize);
    if (m.fileSize >= 1024) {
        std::printf("magic         %s\n", m.version == 40 ? "KEST-V4.0" : m.version == 30 ? "KEST-V3.0" : "(not a KEST movie)");
        std::printf("picture       %u x %u\n", m.width, m.height);
        std::printf("frame ticks   %u-%u of 60 Hz\n", m.ticksMin, m.ticksMax);
        std::printf("audio code    0x%04X: %s\n", m.audioCode, AudioName(m).c_str());
        std::printf("block size    %u\n", m.blockSize);
        std::printf("header size   %u\n", m.headerSize);
        std::printf("comment tag   %s\n", m.commentTag ? "CM" : "(missing)");
        std::printf("comment       %s\n", JsonString(m.comment).c_str());
    }
    if (r.readable) {
        std::printf("frames        %" PRIu64 " (from the file length)", m.frameCount);
        if (m.trailingBytes) std::printf(", then a partial record of %" PRIu64 " bytes", m.trailingBytes);
        std::printf("\n");
        if (m.ticksMin && m.ticksMax)
            std::printf("duration      %.3f-%.3f s (from the tick counts)\n", Seconds(m.frameCount, m.ticksMin),
                        Seconds(m.frameCount, m.ticksMax));
        const double fps = MovieFrameRate(m);
        if (fps > 0) std::printf("frame rate    %.3f per second (from the sound)\n", fps);
        if (m.frameCount) {
            const MovieFrameHeader& h = m.frameHeader;
            std::printf("screen        at (%u, %u) of the 512 x 512 screen, address 0x%06X\n", m.screenX, m.screenY,
                        h.destAddress);
            std::printf("line pitch    %u (%s)\n", h.linePitch,
                        h.linePitch == 2048 ? "a blank line between rows" : h.linePitch == 1024 ? "no gap" : "unusual");
        }
        const uint64_t samples = MovieSoundSamples(m);
        if (m.audioCode != 0 && m.audioFormatIndex >= 0)
            std::printf("sound         %" PRIu64 " samples, %.3f s at %d Hz %s\n", samples,
                        static_cast<double>(samples) / MovieSoundRate(m), MovieSoundRate(m),
                        MovieSoundChannels(m) == 2 ? "stereo" : "mono");
    }
    for (const auto& e : r.errors) std::printf("error         %s\n", e.c_str());
    for (const auto& w : r.warnings) std::printf("warning       %s\n", w.c_str());
    std::printf("valid         %s\n", r.readable && r.warnings.empty() ? "yes" : "no");
}

void PrintJson(const LoadedMovie& movie) {
    const MovieReport& r = movie.report;
    const MovieLayout& m = r.layout;
    std::printf("{\n  \"file\": %s,\n  \"fileSize\": %" PRIu64 ",\n", JsonString(movie.path).c_str(), m.fileSize);
    std::printf("  \"valid\": %s,\n  \"readable\": %s,\n", r.readable && r.warnings.empty() ? "true" : "false",
                r.readable ? "true" : "false");
    if (m.fileSize >= 1024) {
        std::printf("  \"magic\": %s,\n", m.version == 40 ? "\"KEST-V4.0\"" : m.version == 30 ? "\"KEST-V3.0\"" : "null");
        std::printf("  \"width\": %u,\n  \"height\": %u,\n  \"frameTicksMin\": %u,\n  \"frameTicksMax\": %u,\n", m.width,
                    m.height, m.ticksMin, m.ticksMax);
        std::printf("  \"audioCode\": %u,\n  \"audioFormat\": %s,\n", m.audioCode,
                    m.audioFormatIndex >= 0 ? JsonString(AudioShortName(m.audioFormatIndex)).c_str() : "null");
        std::printf("  \"audioFormatIndex\": %d,\n", m.audioFormatIndex);
        std::printf("  \"blockSize\": %u,\n  \"headerSize\": %u,\n  \"commentTag\": %s,\n  \"comment\": %s,\n",
                    m.blockSize, m.headerSize, m.commentTag ? "true" : "false", JsonString(m.comment).c_str());
    }
    if (r.readable) {
        std::printf("  \"frames\": %" PRIu64 ",\n  \"trailingBytes\": %" PRIu64 ",\n", m.frameCount, m.trailingBytes);
        std::printf("  \"durationMin\": %.3f,\n  \"durationMax\": %.3f,\n", Seconds(m.frameCount, m.ticksMin),
                    Seconds(m.frameCount, m.ticksMax));
        std::printf("  \"frameRate\": %.3f,\n", MovieFrameRate(m));
        std::printf("  \"soundSamples\": %" PRIu64 ",\n", MovieSoundSamples(m));
        if (m.frameCount)
            std::printf("  \"destAddress\": %u,\n  \"screenX\": %u,\n  \"screenY\": %u,\n  \"linePitch\": %u,\n",
                        m.frameHeader.destAddress, m.screenX, m.screenY, m.frameHeader.linePitch);
    }
    std::printf("  \"errors\": %s,\n  \"warnings\": %s\n}\n", JsonList(r.errors).c_str(), JsonList(r.warnings).c_str());
}

void RunInfo(const InfoOptions& o) {
    const LoadedMovie movie = LoadMovie(o.file);
    if (o.json) PrintJson(movie);
    else PrintText(movie);
    std::fflush(stdout);
    const MovieReport& r = movie.report;
    if (!r.readable) throw ToolError(o.file + " is not a readable KEST movie: " + r.errors.front());
    if (!r.warnings.empty())
        throw ToolError(o.file + " does not validate: " + r.warnings.front() +
                        (r.warnings.size() > 1 ? " (and " + std::to_string(r.warnings.size() - 1) + " more)" : ""));
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "show and validate a KEST movie's header and records");
    command->add_option("FILE", options->file, "the KEST movie")->required();
    command->add_flag("--json", options->json, "print JSON for scripts");
    command->callback([options] { RunInfo(*options); });
}

}  // namespace kest::tool
