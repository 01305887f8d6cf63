#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "code_page.h"
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

// A JSON string of UTF-8 text; a byte that is not part of valid UTF-8 (a
// file name can hold anything) becomes U+FFFD, so the output always parses.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
            else if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        uint32_t code = length == 4 ? c & 7u : length == 3 ? c & 15u : c & 31u;
        bool ok = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; ok && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3Fu);
        }
        ok = ok && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
             !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000);
        if (ok) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? ", " : "") + JsonString(lines[i]);
    return out + "]";
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) out += digits[c >> 4], out += digits[c & 15];
    return out;
}

double Seconds(uint64_t frames, uint32_t ticks) { return static_cast<double>(frames) * ticks / 60.0; }

std::string AudioName(const MovieLayout& m) {
    if (m.audioCode == 0) return "none (silent filler)";
    if (m.audioFormatIndex < 0) return "unknown";
    return std::string(kAudioFormats[m.audioFormatIndex].label) + " (" + AudioShortName(m.audioFormatIndex) + ")";
}

// How long the movie plays. The sound (or the silent filler) fixes the
// frame rate exactly; the tick counts only bound it, unless they are equal.
struct Duration {
    bool known = false;
    double seconds = 0;
    bool fromSound = false;
};

Duration MovieDuration(const MovieLayout& m) {
    const double fps = MovieFrameRate(m);
    if (fps > 0) return {true, static_cast<double>(m.frameCount) / fps, true};
    if (m.ticksMin && m.ticksMin == m.ticksMax) return {true, Seconds(m.frameCount, m.ticksMin), false};
    return {};
}

bool Valid(const MovieReport& r) { return r.readable && r.warnings.empty(); }

void PrintText(const MovieFile& movie) {
    const MovieReport& r = movie.Report();
    const MovieLayout& m = r.layout;
    std::printf("file          %s (%" PRIu64 " bytes)\n", movie.Path().c_str(), m.fileSize);
    std::printf("magic         %s\n", m.version == 40 ? "KEST-V4.0" : "KEST-V3.0");
    std::printf("picture       %u x %u\n", m.width, m.height);
    std::printf("frame ticks   %u-%u of 60 Hz\n", m.ticksMin, m.ticksMax);
    std::printf("audio code    0x%04X: %s\n", m.audioCode, AudioName(m).c_str());
    std::printf("block size    %u\n", m.blockSize);
    std::printf("header size   %u\n", m.headerSize);
    std::printf("comment tag   %s\n", m.commentTag ? "CM" : "(missing)");
    std::printf("comment       %s\n", JsonString(Cp932ToUtf8Lossy(m.comment)).c_str());
    if (r.readable) {
        std::printf("frames        %" PRIu64 " (from the file length)", m.frameCount);
        if (m.trailingBytes) std::printf(", then a partial record of %" PRIu64 " bytes", m.trailingBytes);
        std::printf("\n");
        const Duration d = MovieDuration(m);
        if (d.known)
            std::printf("duration      %.3f s (%s)\n", d.seconds,
                        d.fromSound ? (m.audioCode ? "the length of the sound" : "the length of the silent filler")
                                    : "from the tick counts");
        else if (m.ticksMin && m.ticksMax)
            std::printf("duration      %.3f-%.3f s (from the tick counts; no sound tells the frame rate)\n",
                        Seconds(m.frameCount, m.ticksMin), Seconds(m.frameCount, m.ticksMax));
        if (d.fromSound && m.ticksMin && m.ticksMax) {
            if (m.ticksMin == m.ticksMax)
                std::printf("by the ticks  %.3f s (%" PRIu64 " frames of %u ticks at 60 Hz)\n", Seconds(m.frameCount, m.ticksMin),
                            m.frameCount, m.ticksMin);
            else
                std::printf("by the ticks  %.3f-%.3f s (%" PRIu64 " frames of %u to %u ticks at 60 Hz)\n",
                            Seconds(m.frameCount, m.ticksMin), Seconds(m.frameCount, m.ticksMax), m.frameCount, m.ticksMin,
                            m.ticksMax);
        }
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
    std::printf("valid         %s\n", Valid(r) ? "yes" : "no");
}

void PrintJson(const MovieFile& movie) {
    const MovieReport& r = movie.Report();
    const MovieLayout& m = r.layout;
    std::printf("{\n  \"file\": %s,\n  \"fileSize\": %" PRIu64 ",\n", JsonString(movie.Path()).c_str(), m.fileSize);
    std::printf("  \"valid\": %s,\n  \"readable\": %s,\n", Valid(r) ? "true" : "false", r.readable ? "true" : "false");
    if (movie.LooksLikeMovie()) {
        std::printf("  \"magic\": %s,\n", m.version == 40 ? "\"KEST-V4.0\"" : "\"KEST-V3.0\"");
        std::printf("  \"width\": %u,\n  \"height\": %u,\n  \"frameTicksMin\": %u,\n  \"frameTicksMax\": %u,\n", m.width,
                    m.height, m.ticksMin, m.ticksMax);
        std::printf("  \"audioCode\": %u,\n  \"audioFormat\": %s,\n", m.audioCode,
                    m.audioFormatIndex >= 0 ? JsonString(AudioShortName(m.audioFormatIndex)).c_str() : "null");
        std::printf("  \"audioFormatIndex\": %d,\n", m.audioFormatIndex);
        const CodePageResult comment = Cp932ToUtf8(m.comment);
        std::printf("  \"blockSize\": %u,\n  \"headerSize\": %u,\n  \"commentTag\": %s,\n", m.blockSize, m.headerSize,
                    m.commentTag ? "true" : "false");
        std::printf("  \"comment\": %s,\n  \"commentBytes\": \"%s\",\n  \"commentIsCp932\": %s,\n",
                    JsonString(comment.ok ? comment.text : Cp932ToUtf8Lossy(m.comment)).c_str(), Hex(m.comment).c_str(),
                    comment.ok ? "true" : "false");
    }
    if (r.readable) {
        std::printf("  \"frames\": %" PRIu64 ",\n  \"trailingBytes\": %" PRIu64 ",\n", m.frameCount, m.trailingBytes);
        const Duration d = MovieDuration(m);
        if (d.known) std::printf("  \"duration\": %.3f,\n  \"durationFrom\": \"%s\",\n", d.seconds, d.fromSound ? "sound" : "ticks");
        else std::printf("  \"duration\": null,\n  \"durationFrom\": null,\n");
        std::printf("  \"durationMin\": %.3f,\n  \"durationMax\": %.3f,\n", Seconds(m.frameCount, m.ticksMin),
                    Seconds(m.frameCount, m.ticksMax));
        std::printf("  \"frameRate\": %.3f,\n", MovieFrameRate(m));
        std::printf("  \"soundSamples\": %" PRIu64 ",\n", MovieSoundSamples(m));
        if (m.frameCount)
            std::printf("  \"destAddress\": %u,\n  \"screenX\": %u,\n  \"screenY\": %u,\n  \"linePitch\": %u,\n",
                        m.frameHeader.destAddress, m.screenX, m.screenY, m.frameHeader.linePitch);
    }
    // Past the first reason, what is said of a file that is not a movie is noise.
    const bool movieLike = movie.LooksLikeMovie();
    const std::vector<std::string> errors = movieLike || r.errors.empty() ? r.errors : std::vector<std::string>{r.errors.front()};
    std::printf("  \"errors\": %s,\n  \"warnings\": %s\n}\n", JsonList(errors).c_str(),
                JsonList(movieLike ? r.warnings : std::vector<std::string>{}).c_str());
}

void RunInfo(const InfoOptions& o) {
    const MovieFile movie(o.file, MovieFile::Check::Everything);
    // A file that is not a movie has no fields worth showing: only the reason.
    if (o.json) PrintJson(movie);
    else if (movie.LooksLikeMovie()) PrintText(movie);
    std::fflush(stdout);
    const MovieReport& r = movie.Report();
    if (!r.readable) {
        const std::string& why = r.errors.front();
        // The reader already says so when the file is no movie at all.
        throw ToolError(o.file + (why.rfind("not a KEST movie", 0) == 0 ? ": " : " is not a readable KEST movie: ") + why);
    }
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
