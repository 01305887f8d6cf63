#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "demo_clip.h"
#include "export/export_driver.h"
#include "ffmpeg_log.h"
#include "format/movie_format.h"
#include "media_input.h"
#include "normalize_gain.h"
#include "predictor_range.h"
#include "output_target.h"
#include "progress_line.h"
#include "settings_options.h"
#include "sound_gain.h"
#include "sound/audio_format.h"
#include "time_options.h"
#include "tool_error.h"
#include "tool_host.h"

namespace kest::tool {
namespace {

constexpr int kExitCancelled = 130;  // as a shell reports a Ctrl-C; SIGTERM too
constexpr int32_t kMaxSide = 512;    // the largest picture the movie holds

struct ExportOptions {
    std::string input;
    bool inputGiven = false;  // an empty INPUT is a mistake, not the demo clip
    std::string output;
    std::string size;
    std::string fps;
    std::string inputFps;
    std::string deinterlace = "auto";
    bool noAutorotate = false;
    bool verbose = false;
    std::optional<std::string> start;
    std::optional<std::string> duration;
    bool noAudio = false;
    std::optional<double> gain;
    bool normalize = false;
    bool listAudio = false;
    bool quiet = false;
    int32_t cancelAtFrame = -1;
    int32_t failAtFrame = -1;
    int32_t stopAtFrame = -1;
    std::optional<uint64_t> assumeFree;
    int32_t threads = 0;
    Overwrite overwrite = Overwrite::Ask;
    SettingsOptions settings;
};

bool ParsePair(const std::string& text, char separator, int32_t& a, int32_t& b) {
    long first = 0, second = 0;
    char sep = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%ld%c%ld%c", &first, &sep, &second, &extra) != 3 || sep != separator) return false;
    if (first <= 0 || second <= 0 || first > INT32_MAX || second > INT32_MAX) return false;
    a = static_cast<int32_t>(first);
    b = static_cast<int32_t>(second);
    return true;
}

std::string Decibels(double decibels) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dB", decibels);
    return decibels == 0 ? std::string("0 dB") : std::string(text);
}

MediaOptions HostSideOptions(const ExportOptions& o) {
    MediaOptions media;
    if (!o.size.empty()) {
        if (!ParsePair(o.size, 'x', media.width, media.height) || media.width > kMaxSide || media.height > kMaxSide)
            throw UsageError("--size: expected WIDTHxHEIGHT from 1x1 up to 512x512, the largest picture a movie holds, "
                             "such as 256x192");
    }
    if (!o.fps.empty()) {
        const FrameRate rate = ParseFrameRate("--fps", o.fps);
        media.fpsNum = rate.num;
        media.fpsDen = rate.den;
    }
    if (!o.inputFps.empty()) {
        const FrameRate rate = ParseFrameRate("--input-fps", o.inputFps);
        media.inputFpsNum = rate.num;
        media.inputFpsDen = rate.den;
    }
    media.autorotate = !o.noAutorotate;
    media.deinterlace = o.deinterlace == "on"    ? MediaOptions::DeinterlaceMode::On
                        : o.deinterlace == "off" ? MediaOptions::DeinterlaceMode::Off
                                                 : MediaOptions::DeinterlaceMode::Auto;
    if (o.start) media.start = ParseSeconds("--start", *o.start);
    if (o.duration) {
        media.duration = ParseSeconds("--duration", *o.duration);
        if (!(media.duration > 0)) throw UsageError("--duration: must be more than 0 seconds");
    }
    media.audio = !o.noAudio;
    if (o.threads < 0) throw UsageError("--threads: must be 0 (automatic) or more");
    media.threads = o.threads;
    return media;
}

// Scales the source's sound by --gain or --normalize; returns the words the
// summary adds about it.
std::string ApplySoundGain(const ExportOptions& o, int32_t audioFormatIndex, std::unique_ptr<FrameSource>& source) {
    if (!source->Shape().hasAudio || (!o.gain && !o.normalize)) return {};
    if (o.gain) {
        source = WithGain(std::move(source), *o.gain);
        return ", sound gain " + Decibels(*o.gain);
    }
    const AudioFormat& format = SelectAudioFormat(audioFormatIndex);
    if (format.version != 30) return ", sound gain 0 dB (--normalize: PCM sound has no predictor to keep in range)";
    NormalizedSound normalized = NormalizeSound(std::move(source), audioFormatIndex);
    source = std::move(normalized.source);
    return ", sound gain " + Decibels(normalized.decibels) + " chosen by --normalize" +
           (normalized.atZero.outside
                ? " (at 0 dB the ADPCM predictor would leave the player's 12-bit range " +
                      DescribeExcursions(normalized.atZero, format.sampleRate) + ")"
                : std::string(" (the ADPCM predictor stays in the player's 12-bit range at 0 dB)"));
}

// The player saturates the predictor that the encoder lets overshoot: say
// where the written movie's sound will play differently.
void WarnOfPredictorDrift(const std::string& path) {
    const std::optional<MoviePredictor> watched = WatchMovieFile(path);
    if (!watched || !watched->excursions.outside) return;
    std::printf("warning: the sound's ADPCM predictor left the player's 12-bit range %s; the player's sound drifts "
                "from the encoder's there (--normalize picks a gain that avoids it)\n",
                DescribeExcursions(watched->excursions, watched->sampleRate).c_str());
}

// How the stored picture differs from the one the host hands over: the
// width is rounded up to a multiple of 4 with black columns on the right,
// and the height is capped by the width and the line spacing.
std::string PictureNotes(const SourceShape& shape, const MovieGeometry& g) {
    std::string notes;
    if (g.width > shape.width)
        notes += "\n  the width " + std::to_string(shape.width) + " is stored as " + std::to_string(g.width) +
                 " (a multiple of 4), with " + std::to_string(g.width - shape.width) + " black column(s) on the right";
    if (g.height < shape.height)
        notes += "\n  the movie holds " + std::to_string(g.height) + " rows at this width and line spacing, so only the " +
                 "lowest " + std::to_string(g.height) + " of the picture's " + std::to_string(shape.height) + " rows are kept";
    return notes;
}

void RunExportCommand(const ExportOptions& o) {
    if (o.listAudio) {
        std::fputs(AudioFormatTable().c_str(), stdout);
        return;
    }
    if (o.output.empty()) throw UsageError("export: an output file is required (-o OUTPUT)");
    if (o.inputGiven && o.input.empty())
        throw UsageError("export: the INPUT file name is empty; name a video file, or leave INPUT out for the demo clip");
    if (o.gain && o.normalize) throw UsageError("--gain and --normalize both set the sound's gain; give one of them");
    if (o.gain && !(*o.gain >= -kMaxGainDecibels && *o.gain <= kMaxGainDecibels))
        throw UsageError("--gain: must lie within -60 to 60 dB");
    if (o.verbose) ShowFfmpegLog();

    OutputSettings settings{};
    ApplySettingsOptions(o.settings, settings);
    const MediaOptions media = HostSideOptions(o);
    std::vector<std::string> inputs;
    if (!o.input.empty()) inputs.push_back(o.input);
    if (!o.settings.settingsFile.empty()) inputs.push_back(o.settings.settingsFile);
    OutputTarget target(o.output, o.overwrite, inputs);

    std::unique_ptr<FrameSource> source;
    if (o.input.empty()) {
        if (media.width || media.fpsNum || media.inputFpsNum || o.start || o.duration)
            throw UsageError("export: --size, --fps, --input-fps, --start and --duration apply to an INPUT file, not the demo clip");
        source = MakeDemoClip(media.audio);
    } else {
        source = OpenMediaInput(o.input, media);
    }
    const std::string gainNote = ApplySoundGain(o, settings.audioFormatIndex, source);

    // A damaged input can plan hours of frames: refuse before the disk fills.
    if (!target.Direct()) {
        const std::optional<uint64_t> needed = PlannedMovieBytes(source->Shape(), settings);
        const std::optional<uint64_t> free = o.assumeFree ? o.assumeFree : target.FreeBytes();
        if (needed && free && *needed > *free)
            throw ToolError("not enough room for " + o.output + ": the movie needs " + std::to_string(*needed) +
                            " bytes and its file system has " + std::to_string(*free) + " bytes free");
    }

    HostOptions host;
    host.progress = !o.quiet;
    host.cancelAtFrame = o.cancelAtFrame;
    host.failAtFrame = o.failAtFrame;
    host.stopAtFrame = o.stopAtFrame;
    CancelOnInterrupt interrupt;  // from before the file exists until it is in place
    const HostRun run = RunExport(*source, target.Open(), settings, host);
    const ExportResult& r = run.result;
    const std::string failure = source->Failure();
    // The temporary file goes with the exception; say what became of the target.
    const std::string untouched =
        target.Direct() ? "" : target.Replaces() ? "; " + o.output + " was left as it was" : "; " + o.output + " was not created";

    switch (r.outcome) {
        case ExportOutcome::Completed: target.Commit(); break;
        case ExportOutcome::Cancelled: {
            if (!failure.empty()) throw ToolError(failure + untouched);
            const std::string frames = std::to_string(r.framesWritten) + " complete frame(s) written before the cancel";
            if (r.framesWritten == 0 && !target.Direct())
                throw ToolError("export cancelled before the first frame was complete" + untouched, kExitCancelled);
            const std::string kept = target.KeepPartial();
            if (kept == o.output) throw ToolError("export cancelled: " + o.output + " holds the " + frames, kExitCancelled);
            throw ToolError("export cancelled: " + o.output + " was left as it was, and the " + frames + " are in " + kept,
                            kExitCancelled);
        }
        case ExportOutcome::Refused:
            throw ToolError(std::string("export refused: ") + DescribeRefusal(r.reason));
        case ExportOutcome::CreateFailed:
            throw ToolError("cannot create " + o.output + ": " + (run.fileError.empty() ? "unknown error" : run.fileError));
        case ExportOutcome::WriteFailed:
            throw ToolError("writing " + o.output + " failed after " + std::to_string(r.framesWritten) +
                            " frame(s): " + (run.fileError.empty() ? "unknown error" : run.fileError) + untouched);
        default:
            throw ToolError(std::string("export failed: ") + DescribeOutcome(r.outcome) + untouched);
    }

    if (!o.quiet) {
        const SourceShape& shape = source->Shape();
        const MovieGeometry g = ComputeGeometry(shape.width, shape.height, settings);
        const char* sound = shape.hasAudio ? SelectAudioFormat(settings.audioFormatIndex).label : "no sound";
        std::printf("%s: %d frames, %d x %d, %s%s%s\n", o.output.c_str(), r.framesWritten, g.width, g.height, sound,
                    gainNote.c_str(), PictureNotes(shape, g).c_str());
        if (shape.hasAudio) WarnOfPredictorDrift(o.output);
        for (const std::string& note : source->Notes()) std::printf("  %s\n", note.c_str());
    }
}

}  // namespace

void AddExportCommand(CLI::App& app) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand("export", "export a video file (or the built-in demo clip) as a KEST movie");
    command->add_option("INPUT", options->input, "any video file FFmpeg can open, an image sequence such as img%03d.png, or - for standard input; without it, the built-in demo clip");
    command->add_option("-o,--output", options->output, "the KEST movie to write (.KTD or .KTS)");
    command->add_option("--size", options->size,
                        "picture size WxH, at most 512x512 (default: fit into 512x512 when larger)");
    command->add_option("--fps", options->fps,
                        "constant output frame rate N, N/D or a decimal such as 12.5, at most 60; 29.97, 23.976 and "
                        "59.94 are the NTSC fractions (default: the input's, at most 60)");
    command->add_option("--input-fps", options->inputFps,
                        "frame rate of an image sequence (img%03d.png) or a raw video stream (default 25)");
    command->add_flag("--no-autorotate", options->noAutorotate, "keep the picture as stored, not turned as the video says");
    command->add_option("--deinterlace", options->deinterlace,
                        "auto (interlaced videos), on (every picture) or off (default auto)")
        ->check(CLI::IsMember({"auto", "on", "off"}));
    command->add_option("--start", options->start,
                        "time to skip at the start of the input: seconds, MM:SS or HH:MM:SS.mmm");
    command->add_option("--duration", options->duration, "time to export: seconds, MM:SS or HH:MM:SS.mmm");
    command->add_flag("--no-audio", options->noAudio, "leave the sound out");
    command->add_option("--gain", options->gain, "scale the sound by DB decibels (-60 to 60) before the export takes it");
    command->add_flag("--normalize", options->normalize,
                      "for ADPCM sound: the largest gain, at most 0 dB, that keeps the predictor in the player's range");
    AddSettingsOptions(*command, options->settings);
    command->add_flag("--list-audio", options->listAudio, "print the table of sound formats and exit");
    command->add_flag("-q,--quiet", options->quiet, "no progress line and no summary");
    AddOverwriteOptions(*command, options->overwrite);
    command->add_flag("-v,--verbose", options->verbose, "show FFmpeg's warnings and errors about the input");
    command->add_option("--threads", options->threads, "decoder threads (default 0: FFmpeg's choice)");
    command->add_option("--cancel-at-frame", options->cancelAtFrame, "cancel before this frame, as Ctrl-C does")
        ->group("");
    command->add_option("--fail-at-frame", options->failAtFrame, "fail the writes from this frame on, as a full disk does")
        ->group("");
    command->add_option("--stop-at-frame", options->stopAtFrame, "stop the process (SIGSTOP) before this frame")
        ->group("");
    command->add_option("--assume-free", options->assumeFree, "take this many bytes as free on the output's file system")
        ->group("");
    command->callback([options, command] {
        options->inputGiven = command->count("INPUT") > 0;
        RunExportCommand(*options);
    });
}

}  // namespace kest::tool
