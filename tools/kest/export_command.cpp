#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "commands.h"
#include "demo_clip.h"
#include "export/export_driver.h"
#include "export/movie_format.h"
#include "incomplete_output.h"
#include "media_input.h"
#include "normalize_gain.h"
#include "predictor_range.h"
#include "settings_options.h"
#include "sound_gain.h"
#include "sound/audio_format.h"
#include "time_options.h"
#include "tool_error.h"
#include "tool_host.h"

namespace kest::tool {
namespace {

constexpr int kExitCancelled = 130;  // as a shell reports a Ctrl-C

struct ExportOptions {
    std::string input;
    bool inputGiven = false;  // an empty INPUT is a mistake, not the demo clip
    std::string output;
    std::string size;
    std::string fps;
    std::optional<std::string> start;
    std::optional<std::string> duration;
    bool noAudio = false;
    std::optional<double> gain;
    bool normalize = false;
    bool listAudio = false;
    bool quiet = false;
    int32_t cancelAtFrame = -1;
    int32_t threads = 0;
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
        if (!ParsePair(o.size, 'x', media.width, media.height))
            throw UsageError("--size: expected WIDTHxHEIGHT with positive numbers, such as 256x192");
    }
    if (!o.fps.empty()) {
        const FrameRate rate = ParseFrameRate("--fps", o.fps);
        media.fpsNum = rate.num;
        media.fpsDen = rate.den;
    }
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

    OutputSettings settings{};
    ApplySettingsOptions(o.settings, settings);
    const MediaOptions media = HostSideOptions(o);

    std::unique_ptr<FrameSource> source;
    if (o.input.empty()) {
        if (media.width || media.fpsNum || o.start || o.duration)
            throw UsageError("export: --size, --fps, --start and --duration apply to an INPUT file, not the demo clip");
        source = MakeDemoClip(media.audio);
    } else {
        source = OpenMediaInput(o.input, media);
    }
    const std::string gainNote = ApplySoundGain(o, settings.audioFormatIndex, source);
    Settings() = settings;

    HostOptions host;
    host.progress = !o.quiet;
    host.cancelAtFrame = o.cancelAtFrame;
    const HostRun run = RunExport(*source, o.output, host);
    const ExportResult& r = run.result;
    const std::string failure = source->Failure();

    switch (r.outcome) {
        case ExportOutcome::Completed: break;
        case ExportOutcome::Cancelled:
            if (!failure.empty()) {
                throw ToolError(failure + (RemoveIncomplete(o.output) ? "; the incomplete " + o.output + " was removed" : ""));
            }
            throw ToolError("export cancelled: " + o.output + " holds the " + std::to_string(r.framesWritten) +
                                " complete frame(s) written before the cancel",
                            kExitCancelled);
        case ExportOutcome::Refused:
            throw ToolError(std::string("export refused: ") + DescribeRefusal(r.reason));
        case ExportOutcome::CreateFailed:
            throw ToolError("cannot create " + o.output + ": " + (run.fileError.empty() ? "unknown error" : run.fileError));
        case ExportOutcome::WriteFailed:
            throw ToolError("writing " + o.output + " failed after " + std::to_string(r.framesWritten) +
                            " frame(s): " + (run.fileError.empty() ? "unknown error" : run.fileError) +
                            (RemoveIncomplete(o.output) ? "; the incomplete file was removed" : ""));
        default:
            RemoveIncomplete(o.output);
            throw ToolError(std::string("export failed: ") + DescribeOutcome(r.outcome));
    }

    if (!o.quiet) {
        const SourceShape& shape = source->Shape();
        const MovieGeometry g = ComputeGeometry(shape.width, shape.height, settings);
        const char* sound = shape.hasAudio ? SelectAudioFormat(settings.audioFormatIndex).label : "no sound";
        std::printf("%s: %d frames, %d x %d, %s%s\n", o.output.c_str(), r.framesWritten, g.width, g.height, sound,
                    gainNote.c_str());
        if (shape.hasAudio) WarnOfPredictorDrift(o.output);
    }
}

}  // namespace

void AddExportCommand(CLI::App& app) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand("export", "export a video file (or the built-in demo clip) as a KEST movie");
    command->add_option("INPUT", options->input, "any video file FFmpeg can open; without it, the built-in demo clip");
    command->add_option("-o,--output", options->output, "the KEST movie to write (.KTD or .KTS)");
    command->add_option("--size", options->size, "picture size WxH (default: fit into 512x512 when larger)");
    command->add_option("--fps", options->fps,
                        "constant output frame rate N, N/D or a decimal such as 12.5; 29.97, 23.976 and 59.94 are "
                        "the NTSC fractions (default: the input's)");
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
    command->add_option("--threads", options->threads, "decoder threads (default 0: FFmpeg's choice)");
    command->add_option("--cancel-at-frame", options->cancelAtFrame, "cancel before this frame, as Ctrl-C does")
        ->group("");
    command->callback([options, command] {
        options->inputGiven = command->count("INPUT") > 0;
        RunExportCommand(*options);
    });
}

}  // namespace kest::tool
