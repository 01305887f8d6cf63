#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "incomplete_output.h"
#include "movie_file.h"
#include "movie_sound.h"
#include "player_screen.h"
#include "png_writer.h"
#include "preview_writer.h"
#include "tool_error.h"
#include "wav_writer.h"

namespace kest::tool {
namespace {

struct ExtractOptions {
    std::string file;
    std::optional<int64_t> frame;
    std::string png;
    bool pictureOnly = false;
    std::string framesDir;
    std::string wav;
    std::string preview;
    std::string decoder = "player";
};

RgbImage FrameImage(MovieFile& movie, uint64_t index, bool pictureOnly) {
    const MovieFrame& frame = movie.Frame(index);
    return pictureOnly ? RenderPicture(movie.Layout(), frame) : RenderScreen(movie.Layout(), frame);
}

void RunExtract(const ExtractOptions& o) {
    if (o.png.empty() && o.framesDir.empty() && o.wav.empty() && o.preview.empty())
        throw UsageError("extract: nothing to extract (use --frame N --png OUT.png, --frames DIR, --wav or --preview)");
    if (!o.png.empty() && !o.frame) throw UsageError("extract: --png needs --frame N");
    if (o.frame && o.png.empty()) throw UsageError("extract: --frame needs --png OUT.png");
    if (o.frame && *o.frame < 0) throw UsageError("extract: --frame must be 0 or more");

    const AdpcmDecoding decoding = o.decoder == "exact" ? AdpcmDecoding::Exact : AdpcmDecoding::Player;

    MovieFile movie(o.file, MovieFile::Check::Records);
    movie.RequireReadable();
    const MovieLayout& m = movie.Layout();
    for (const auto& warning : movie.Report().warnings) std::fprintf(stderr, "kest: warning: %s: %s\n", o.file.c_str(), warning.c_str());

    if (!o.png.empty()) {
        WritePng(o.png, FrameImage(movie, static_cast<uint64_t>(*o.frame), o.pictureOnly));
        std::printf("%s: frame %" PRId64 "\n", o.png.c_str(), *o.frame);
    }
    if (!o.framesDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(o.framesDir, error);
        if (error) throw ToolError("cannot create the folder " + o.framesDir + ": " + error.message());
        for (uint64_t j = 0; j < m.frameCount; ++j) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06" PRIu64 ".png", j);
            WritePng((std::filesystem::path(o.framesDir) / name).string(), FrameImage(movie, j, o.pictureOnly));
        }
        std::printf("%s: %" PRIu64 " frames\n", o.framesDir.c_str(), m.frameCount);
    }
    if (!o.wav.empty()) {
        MovieSoundDecoder sound(movie, decoding);
        uint64_t next = 0;
        uint64_t written = 0;
        try {
            written = WriteWav(o.wav, sound.Rate(), sound.Channels(), [&](std::vector<int16_t>& samples) {
                samples.clear();
                if (next == m.frameCount) return false;
                sound.Decode(movie.Frame(next++), samples);
                return true;
            });
        } catch (const ToolError&) {
            RemoveIncomplete(o.wav);
            throw;
        }
        std::printf("%s: %" PRIu64 " samples at %d Hz, %s\n", o.wav.c_str(), written, sound.Rate(),
                    sound.Channels() == 2 ? "stereo" : "mono");
    }
    if (!o.preview.empty()) {
        std::optional<MovieSoundDecoder> sound;
        if (m.audioCode != 0 && m.audioFormatIndex >= 0) sound.emplace(movie, decoding);
        std::string note;
        try {
            note = WritePreview(o.preview, movie, sound ? &*sound : nullptr);
        } catch (const ToolError&) {
            RemoveIncomplete(o.preview);
            throw;
        }
        std::printf("%s: %" PRIu64 " frames, %s\n", o.preview.c_str(), m.frameCount, note.c_str());
    }
}

}  // namespace

void AddExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* command = app.add_subcommand("extract", "turn a KEST movie's frames, sound or all of it into common files");
    command->add_option("FILE", options->file, "the KEST movie")->required();
    command->add_option("--frame", options->frame, "the frame to write with --png (0 is the first)");
    command->add_option("--png", options->png, "write frame N as the player shows it");
    command->add_flag("--picture-only", options->pictureOnly, "write only the stored picture, not the whole screen");
    command->add_option("--frames", options->framesDir, "write every frame as numbered PNG files into this folder");
    command->add_option("--wav", options->wav, "write the sound as a WAV file");
    command->add_option("--preview", options->preview, "write a video of what the player shows, with its sound (.mp4)");
    command->add_option("--decoder", options->decoder,
                        "ADPCM decoding for --wav and --preview: player (as the player plays it, the default) or exact "
                        "(as the encoder reckons it, overshoots unclamped)")
        ->check(CLI::IsMember({"player", "exact"}));
    command->callback([options] { RunExtract(*options); });
}

}  // namespace kest::tool
