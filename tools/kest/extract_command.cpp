#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "movie_file.h"
#include "movie_sound.h"
#include "output_target.h"
#include "player_screen.h"
#include "preview_writer.h"
#include "progress_line.h"
#include "still_writer.h"
#include "tool_error.h"
#include "wav_writer.h"

namespace kest::tool {
namespace {

constexpr int kExitCancelled = 130;  // as a shell reports a Ctrl-C; SIGTERM too

struct ExtractOptions {
    std::string file;
    std::optional<int64_t> frame;
    std::string png;
    bool pictureOnly = false;
    std::string framesDir;
    std::string wav;
    std::string preview;
    std::string decoder = "player";
    Overwrite overwrite = Overwrite::Ask;
    int64_t stopAtFrame = -1;
};

RgbImage FrameImage(MovieFile& movie, uint64_t index, bool pictureOnly) {
    const MovieFrame& frame = movie.Frame(index);
    return pictureOnly ? RenderPicture(movie.Layout(), frame) : RenderScreen(movie.Layout(), frame);
}

AdpcmDecoding DecodingOf(const ExtractOptions& o) {
    return o.decoder == "exact" ? AdpcmDecoding::Exact : AdpcmDecoding::Player;
}

// Ctrl-C or SIGTERM, asked before each frame. The tests' hook stops the
// process there, to be sent a signal and continued.
bool Cancelled(const ExtractOptions& o, uint64_t frame) {
    if (o.stopAtFrame >= 0 && frame == static_cast<uint64_t>(o.stopAtFrame)) StopForSignal();
    return CancelRequested();
}

// Every frame as a numbered PNG file. Each file is complete when it appears;
// a cancel stops before the next one.
void WriteFrames(const ExtractOptions& o, MovieFile& movie) {
    const uint64_t count = movie.Layout().frameCount;
    auto nameOf = [&](uint64_t j) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06" PRIu64 ".png", j);
        return (std::filesystem::path(o.framesDir) / name).string();
    };
    std::error_code error;
    std::filesystem::create_directories(o.framesDir, error);
    if (error) throw ToolError("cannot create the folder " + o.framesDir + ": " + error.message());
    // One question for the whole set, before any file is written.
    Overwrite policy = o.overwrite;
    for (uint64_t j = 0; j < count; ++j) {
        const std::string name = nameOf(j);
        if (!std::filesystem::exists(std::filesystem::symlink_status(name, error))) continue;
        OutputTarget check(name, policy, {o.file});
        policy = Overwrite::Always;
    }
    ProgressLine progress(true);
    for (uint64_t j = 0; j < count; ++j) {
        if (Cancelled(o, j)) {
            progress.Finish();
            throw ToolError("extract cancelled: " + o.framesDir + " holds the first " + std::to_string(j) + " of " +
                                std::to_string(count) + " frames, each complete",
                            kExitCancelled);
        }
        progress.Show(static_cast<int32_t>(j), static_cast<int32_t>(count));
        OutputTarget target(nameOf(j), policy, {o.file});
        WriteStill(target.Open(), target.Target(), FrameImage(movie, j, o.pictureOnly));
        target.Commit();
    }
    progress.Finish();
    std::printf("%s: %" PRIu64 " frames\n", o.framesDir.c_str(), count);
}

void WritePreviewFile(const ExtractOptions& o, OutputTarget& target, MovieFile& movie) {
    const MovieLayout& m = movie.Layout();
    std::optional<MovieSoundDecoder> sound;
    if (m.audioCode != 0 && m.audioFormatIndex >= 0) sound.emplace(movie, DecodingOf(o));
    ProgressLine progress(true);
    const PreviewResult result = WritePreview(target.Open(), o.preview, movie, sound ? &*sound : nullptr,
                                              [&](uint64_t done, uint64_t total) {
                                                  if (Cancelled(o, done)) return false;
                                                  progress.Show(static_cast<int32_t>(done), static_cast<int32_t>(total));
                                                  return true;
                                              });
    progress.Finish();
    if (!result.cancelled) {
        target.Commit();
        std::printf("%s: %" PRIu64 " frames, %s\n", o.preview.c_str(), result.frames, result.note.c_str());
        return;
    }
    const std::string of = " of " + std::to_string(m.frameCount) + " frames";
    if (result.frames == 0) {
        target.Discard();
        throw ToolError("preview cancelled before the first frame; " + o.preview +
                            (target.Replaces() ? " was left as it was" : " was not created"),
                        kExitCancelled);
    }
    const std::string kept = target.KeepPartial();
    const std::string held = "the first " + std::to_string(result.frames) + of + ", finished so that it plays";
    if (kept == o.preview) throw ToolError("preview cancelled: " + o.preview + " holds " + held, kExitCancelled);
    throw ToolError("preview cancelled: " + o.preview + " was left as it was, and " + kept + " holds " + held,
                    kExitCancelled);
}


void RunExtract(const ExtractOptions& o) {
    if (o.frame && o.png.empty()) throw UsageError("extract: --frame needs --png OUT.png, the still picture to write");
    if (o.png.empty() && o.framesDir.empty() && o.wav.empty() && o.preview.empty())
        throw UsageError("extract: nothing to extract (use --frame N --png OUT.png, --frames DIR, --wav or --preview)");
    if (!o.png.empty() && !o.frame) throw UsageError("extract: --png needs --frame N");
    if (o.frame && *o.frame < 0) throw UsageError("extract: --frame must be 0 or more");
    if (!o.png.empty()) CheckStillName("--png", o.png);
    if (!o.preview.empty()) CheckPreviewName(o.preview);

    // Every output is checked, and any question asked, before the work starts.
    const std::vector<std::string> inputs = {o.file};
    std::optional<OutputTarget> png, wav, preview;
    if (!o.png.empty()) png.emplace(o.png, o.overwrite, inputs);
    if (!o.wav.empty()) wav.emplace(o.wav, o.overwrite, inputs);
    if (!o.preview.empty()) preview.emplace(o.preview, o.overwrite, inputs);

    MovieFile movie(o.file, MovieFile::Check::Records);
    movie.RequireReadable();
    const MovieLayout& m = movie.Layout();
    for (const auto& warning : movie.Report().warnings) std::fprintf(stderr, "kest: warning: %s: %s\n", o.file.c_str(), warning.c_str());

    CancelOnInterrupt interrupt;
    // Between outputs a cancel stops the rest; each one written is complete.
    auto stopWhenCancelled = [&] {
        if (CancelRequested()) throw ToolError("extract cancelled; the files written before it are complete", kExitCancelled);
    };
    if (png) {
        WriteStill(png->Open(), o.png, FrameImage(movie, static_cast<uint64_t>(*o.frame), o.pictureOnly));
        png->Commit();
        std::printf("%s: frame %" PRId64 "\n", o.png.c_str(), *o.frame);
        stopWhenCancelled();
    }
    if (!o.framesDir.empty()) {
        WriteFrames(o, movie);
        stopWhenCancelled();
    }
    if (wav) {
        MovieSoundDecoder sound(movie, DecodingOf(o));
        uint64_t next = 0;
        const uint64_t written =
            WriteWav(wav->Open(), o.wav, sound.Rate(), sound.Channels(), [&](std::vector<int16_t>& samples) {
                samples.clear();
                if (next == m.frameCount) return false;
                sound.Decode(movie.Frame(next++), samples);
                return true;
            });
        wav->Commit();
        std::printf("%s: %" PRIu64 " samples at %d Hz, %s\n", o.wav.c_str(), written, sound.Rate(),
                    sound.Channels() == 2 ? "stereo" : "mono");
        stopWhenCancelled();
    }
    if (preview) WritePreviewFile(o, *preview, movie);
}

}  // namespace

void AddExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* command = app.add_subcommand("extract", "turn a KEST movie's frames, sound or all of it into common files");
    command->add_option("FILE", options->file, "the KEST movie")->required();
    command->add_option("--frame", options->frame, "the frame to write with --png (0 is the first)");
    command->add_option("--png", options->png,
                        "write frame N as the player shows it, as a still picture (.png, .jpg or .webp)");
    command->add_flag("--picture-only", options->pictureOnly, "write only the stored picture, not the whole screen");
    command->add_option("--frames", options->framesDir, "write every frame as numbered PNG files into this folder");
    command->add_option("--wav", options->wav, "write the sound as a WAV file");
    command->add_option("--preview", options->preview,
                        "write a video of what the player shows, with its sound (.mp4, .mkv, .webm, .mov or .gif)");
    command->add_option("--decoder", options->decoder,
                        "ADPCM decoding for --wav and --preview: player (as the player plays it, the default) or exact "
                        "(as the encoder reckons it, overshoots unclamped)")
        ->check(CLI::IsMember({"player", "exact"}));
    AddOverwriteOptions(*command, options->overwrite);
    command->add_option("--stop-at-frame", options->stopAtFrame,
                        "stop the process (SIGSTOP) before this frame of --frames or --preview")
        ->group("");
    command->callback([options] { RunExtract(*options); });
}

}  // namespace kest::tool
