#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "commands.h"
#include "demo_clip.h"
#include "export/export_driver.h"
#include "format/movie_format.h"
#include "incomplete_output.h"
#include "media_input.h"
#include "settings_options.h"
#include "sound/audio_format.h"
#include "tool_error.h"
#include "tool_host.h"

namespace kest::tool {
namespace {

constexpr int kExitCancelled = 130;  // as a shell reports a Ctrl-C

struct ExportOptions {
    std::string input;
    std::string output;
    std::string size;
    std::string fps;
    std::optional<double> start;
    std::optional<double> duration;
    bool noAudio = false;
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

MediaOptions HostSideOptions(const ExportOptions& o) {
    MediaOptions media;
    if (!o.size.empty()) {
        if (!ParsePair(o.size, 'x', media.width, media.height))
            throw UsageError("--size: expected WIDTHxHEIGHT with positive numbers, such as 256x192");
    }
    if (!o.fps.empty()) {
        if (o.fps.find('/') == std::string::npos) {
            if (!ParsePair(o.fps + "/1", '/', media.fpsNum, media.fpsDen))
                throw UsageError("--fps: expected a positive whole number or a fraction N/D, such as 30000/1001");
        } else if (!ParsePair(o.fps, '/', media.fpsNum, media.fpsDen)) {
            throw UsageError("--fps: expected a positive whole number or a fraction N/D, such as 30000/1001");
        }
    }
    if (o.start) {
        if (!(*o.start >= 0)) throw UsageError("--start: must be 0 or more seconds");
        media.start = *o.start;
    }
    if (o.duration) {
        if (!(*o.duration > 0)) throw UsageError("--duration: must be more than 0 seconds");
        media.duration = *o.duration;
    }
    media.audio = !o.noAudio;
    if (o.threads < 0) throw UsageError("--threads: must be 0 (automatic) or more");
    media.threads = o.threads;
    return media;
}

void RunExportCommand(const ExportOptions& o) {
    if (o.listAudio) {
        std::fputs(AudioFormatTable().c_str(), stdout);
        return;
    }
    if (o.output.empty()) throw UsageError("export: an output file is required (-o OUTPUT)");

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

    HostOptions host;
    host.progress = !o.quiet;
    host.cancelAtFrame = o.cancelAtFrame;
    const HostRun run = RunExport(*source, o.output, settings, host);
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
        std::printf("%s: %d frames, %d x %d, %s\n", o.output.c_str(), r.framesWritten, g.width, g.height, sound);
    }
}

}  // namespace

void AddExportCommand(CLI::App& app) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand("export", "export a video file (or the built-in demo clip) as a KEST movie");
    command->add_option("INPUT", options->input, "any video file FFmpeg can open; without it, the built-in demo clip");
    command->add_option("-o,--output", options->output, "the KEST movie to write (.KTD or .KTS)");
    command->add_option("--size", options->size, "picture size WxH (default: fit into 512x512 when larger)");
    command->add_option("--fps", options->fps, "constant output frame rate N or N/D (default: the input's)");
    command->add_option("--start", options->start, "seconds to skip at the start of the input");
    command->add_option("--duration", options->duration, "seconds to export");
    command->add_flag("--no-audio", options->noAudio, "leave the sound out");
    AddSettingsOptions(*command, options->settings);
    command->add_flag("--list-audio", options->listAudio, "print the table of sound formats and exit");
    command->add_flag("-q,--quiet", options->quiet, "no progress line and no summary");
    command->add_option("--threads", options->threads, "decoder threads (default 0: FFmpeg's choice)");
    command->add_option("--cancel-at-frame", options->cancelAtFrame, "cancel before this frame, as Ctrl-C does")
        ->group("");
    command->callback([options] { RunExportCommand(*options); });
}

}  // namespace kest::tool
