// kest compare: one picture of the input as each colour reduction would
// store it, side by side with the source, to choose a reduction by eye.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bitmap_font.h"
#include "commands.h"
#include "demo_clip.h"
#include "export/file_output.h"
#include "format/movie_reader.h"
#include "media_input.h"
#include "picture_metrics.h"
#include "output_target.h"
#include "still_writer.h"
#include "time_options.h"
#include "settings_options.h"
#include "tool_error.h"
#include "tool_host.h"

namespace kest::tool {
namespace {

// The frames before the one shown, so that the modes which carry state from
// frame to frame (the temporal ones) show what they give in a running movie.
constexpr int32_t kHistory = 8;

struct CompareOptions {
    std::string input;
    std::optional<std::string> atText;
    std::optional<double> at;
    std::string output;
    Overwrite overwrite = Overwrite::Ask;
    std::optional<double> gamma;
    bool intensity = false;
};

// The source's last few pictures up to the one shown, held in memory so that
// every mode is exported from the very same pictures.
class HeldFrames final : public FrameSource {
public:
    HeldFrames(const SourceShape& shape, std::vector<std::vector<uint8_t>> pictures) : pictures_(std::move(pictures)) {
        shape_ = shape;
        shape_.frameCount = static_cast<int32_t>(pictures_.size());
        shape_.hasAudio = false;
        shape_.audioRate = shape_.audioChannels = shape_.audioSamples = 0;
    }
    const SourceShape& Shape() const override { return shape_; }
    const uint8_t* Picture(int32_t frame) override { return pictures_[static_cast<std::size_t>(frame)].data(); }
    const int16_t* Audio(int32_t, int32_t) override { return nullptr; }
    const std::vector<uint8_t>& Last() const { return pictures_.back(); }

private:
    SourceShape shape_;
    std::vector<std::vector<uint8_t>> pictures_;
};

std::size_t PictureBytes(const SourceShape& shape) {
    return static_cast<std::size_t>((shape.width * 3 + 3) / 4 * 4) * static_cast<std::size_t>(shape.height);
}

// Reads frames `first` to `last` of `source` in order and keeps them.
std::vector<std::vector<uint8_t>> Take(FrameSource& source, int32_t first, int32_t last) {
    std::vector<std::vector<uint8_t>> pictures;
    const std::size_t bytes = PictureBytes(source.Shape());
    for (int32_t i = first; i <= last; ++i) {
        const uint8_t* p = source.Picture(i);
        if (!p || !source.Failure().empty())
            throw ToolError(source.Failure().empty() ? "cannot read frame " + std::to_string(i) : source.Failure());
        pictures.emplace_back(p, p + bytes);
    }
    return pictures;
}

std::string Format(const char* format, double a, double b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

struct Held {
    std::unique_ptr<HeldFrames> frames;
    double at = 0;  // seconds, of the picture shown
};

Held HoldDemoClip(const CompareOptions& o) {
    auto clip = MakeDemoClip(false);
    const SourceShape shape = clip->Shape();
    const double fps = static_cast<double>(shape.rate) / shape.scale;
    const double at = o.at ? *o.at : shape.frameCount / fps / 2;
    const auto frame = static_cast<int32_t>(std::floor(at * fps + 1e-9));
    if (frame >= shape.frameCount)
        throw UsageError("--at: the demo clip lasts " + std::to_string(shape.frameCount / fps) + " s");
    auto pictures = Take(*clip, std::max(0, frame - kHistory + 1), frame);
    return {std::make_unique<HeldFrames>(shape, std::move(pictures)), frame / fps};
}

Held HoldInput(const CompareOptions& o) {
    MediaOptions media;
    media.audio = false;
    double at = 0;
    if (o.at) {
        at = *o.at;
    } else {
        // The middle needs the length, which the input tells when it is opened.
        const auto whole = OpenMediaInput(o.input, media);
        const SourceShape& s = whole->Shape();
        at = static_cast<double>(s.frameCount) * s.scale / s.rate / 2;
    }
    // A second of the input before `at` and a little after, of which the
    // frames up to the one showing at `at` are read and the last few kept.
    media.start = std::max(0.0, at - 1.0);
    media.duration = at - media.start + 0.5;
    std::unique_ptr<FrameSource> source;
    try {
        source = OpenMediaInput(o.input, media);
    } catch (const ToolError&) {
        if (!o.at) throw;
        // Most likely past the end; say so in the terms of this command.
        MediaOptions whole;
        whole.audio = false;
        const SourceShape s = OpenMediaInput(o.input, whole)->Shape();
        const double length = static_cast<double>(s.frameCount) * s.scale / s.rate;
        if (at < length) throw;
        throw UsageError(Format("--at: %.3f s lies past the end of ", at) + o.input + Format(" (%.3f s)", length));
    }
    const SourceShape shape = source->Shape();
    const double fps = static_cast<double>(shape.rate) / shape.scale;
    // The range ends where the input does, rounded to whole frames: a time
    // within the last frame's span shows the last frame.
    auto shown = static_cast<int32_t>(std::floor((at - media.start) * fps + 1e-6));
    if (shown == shape.frameCount) --shown;
    if (shown >= shape.frameCount || shown < 0)
        throw UsageError(Format("--at: %.3f s lies past the end of ", at) + o.input +
                         Format(" (%.3f s)", media.start + shape.frameCount / fps));
    std::vector<std::vector<uint8_t>> pictures;
    for (int32_t i = 0; i <= shown; ++i) {
        std::vector<std::vector<uint8_t>> one = Take(*source, i, i);
        if (i > shown - kHistory) pictures.push_back(std::move(one.front()));
    }
    return {std::make_unique<HeldFrames>(shape, std::move(pictures)), media.start + shown / fps};
}

// The movie of one export, kept in the vector the user pointer names.
::kest::MovieFile* CreateInMemory(void* user, const char*) {
    auto* movie = static_cast<std::vector<uint8_t>*>(user);
    movie->clear();
    return reinterpret_cast<::kest::MovieFile*>(movie);
}
uint32_t WriteInMemory(void* user, ::kest::MovieFile*, const void* bytes, uint32_t count) {
    auto* movie = static_cast<std::vector<uint8_t>*>(user);
    movie->insert(movie->end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count);
    return count;
}
void CloseInMemory(void*, ::kest::MovieFile*) {}

// The last frame of `frames` as the export stores it in `mode` and the
// player shows it, cut to the source's width (the stored width is rounded up
// to a multiple of 4).
RgbImage Reduce(HeldFrames& frames, const CompareOptions& o, const char* mode) {
    SettingsOptions options;
    options.reduce = mode;
    options.gamma = o.gamma;
    options.intensity = o.intensity;
    // Every row kept, whatever the height: the spacing does not change the colours.
    options.lineSpacing = "nogap";
    OutputSettings settings{};
    ApplySettingsOptions(options, settings);
    std::vector<uint8_t> memoryMovie;
    const FileOps inMemory = {CreateInMemory, WriteInMemory, CloseInMemory, &memoryMovie};
    HostOptions host;
    host.progress = false;
    host.files = &inMemory;
    const HostRun run = RunExport(frames, "memory", settings, host);
    if (run.result.outcome != ExportOutcome::Completed)
        throw ToolError(std::string("the export in mode ") + mode + " failed: " + DescribeOutcome(run.result.outcome));

    const MovieReport report = InspectMovie(memoryMovie.data(), memoryMovie.size());
    MovieFrame frame;
    std::string why;
    if (!report.readable || !ReadMovieFrame(report.layout, memoryMovie.data(), memoryMovie.size(),
                                            report.layout.frameCount - 1, frame, why))
        throw ToolError(std::string("the export in mode ") + mode + " cannot be read back");
    const RgbImage stored = RenderPicture(report.layout, frame);
    const int32_t width = frames.Shape().width, height = std::min(frames.Shape().height, stored.height);
    RgbImage picture{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int32_t y = 0; y < height; ++y)
        std::copy_n(&stored.rgb[static_cast<std::size_t>(y) * stored.width * 3], static_cast<std::size_t>(width) * 3,
                    &picture.rgb[static_cast<std::size_t>(y) * width * 3]);
    return picture;
}

// The host's picture (BGR, bottom row first, rows padded) as RGB, top row first.
RgbImage SourcePicture(const HeldFrames& frames) {
    const int32_t width = frames.Shape().width, height = frames.Shape().height;
    const std::size_t stride = static_cast<std::size_t>((width * 3 + 3) / 4 * 4);
    RgbImage picture{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = &frames.Last()[static_cast<std::size_t>(height - 1 - y) * stride];
        uint8_t* out = &picture.rgb[static_cast<std::size_t>(y) * width * 3];
        for (int32_t x = 0; x < width; ++x) out[3 * x] = row[3 * x + 2], out[3 * x + 1] = row[3 * x + 1], out[3 * x + 2] = row[3 * x];
    }
    return picture;
}

struct Tile {
    std::string name;
    std::string figures;
    RgbImage picture;
};

void Paste(RgbImage& sheet, const RgbImage& picture, int32_t left, int32_t top) {
    for (int32_t y = 0; y < picture.height; ++y)
        std::copy_n(&picture.rgb[static_cast<std::size_t>(y) * picture.width * 3], static_cast<std::size_t>(picture.width) * 3,
                    &sheet.rgb[(static_cast<std::size_t>(top + y) * sheet.width + left) * 3]);
}

// The source in the first column, the six modes in a 3 x 2 grid beside it,
// each picture under its name and figures, and a title line above them all.
RgbImage Sheet(const Tile& source, const std::vector<Tile>& modes, const std::string& title, const std::string& note) {
    constexpr int32_t kScale = 2, kGap = 16, kLine = 20;
    constexpr uint8_t kBackground = 36;
    constexpr uint8_t kText[3] = {235, 235, 235}, kFaint[3] = {170, 170, 170};
    int32_t cellWidth = source.picture.width;
    for (const Tile& t : modes)
        cellWidth = std::max({cellWidth, TextWidth(t.name, kScale), TextWidth(t.figures, kScale)});
    cellWidth = std::max({cellWidth, TextWidth(source.name, kScale), TextWidth(source.figures, kScale)});
    const int32_t labelHeight = 2 * kLine + 4, cellHeight = labelHeight + source.picture.height;
    const int32_t top = kGap + 2 * kLine + 8;
    const int32_t width = std::max(kGap + 4 * (cellWidth + kGap), 2 * kGap + TextWidth(title, kScale));
    const int32_t height = top + 2 * (cellHeight + kGap);
    RgbImage sheet{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3, kBackground)};
    DrawText(sheet, kGap, kGap, title, kScale, kText);
    DrawText(sheet, kGap, kGap + kLine, note, kScale, kFaint);
    auto place = [&](const Tile& t, int32_t column, int32_t row) {
        const int32_t left = kGap + column * (cellWidth + kGap), y = top + row * (cellHeight + kGap);
        DrawText(sheet, left, y, t.name, kScale, kText);
        DrawText(sheet, left, y + kLine, t.figures, kScale, kFaint);
        Paste(sheet, t.picture, left, y + labelHeight);
    };
    place(source, 0, 0);
    for (std::size_t i = 0; i < modes.size(); ++i) place(modes[i], 1 + static_cast<int32_t>(i % 3), static_cast<int32_t>(i / 3));
    return sheet;
}

void RunCompare(CompareOptions& o) {
    if (o.output.empty()) throw UsageError("compare: an output file is required (-o SHEET.png)");
    if (o.atText) o.at = ParseSeconds("--at", *o.atText);
    CheckStillName("-o", o.output);
    std::vector<std::string> inputs;
    if (!o.input.empty()) inputs.push_back(o.input);
    OutputTarget target(o.output, o.overwrite, inputs);
    // Checked before anything is decoded.
    SettingsOptions check;
    check.gamma = o.gamma;
    OutputSettings checked{};
    ApplySettingsOptions(check, checked);

    Held held = o.input.empty() ? HoldDemoClip(o) : HoldInput(o);
    HeldFrames& frames = *held.frames;
    const RgbImage source = SourcePicture(frames);
    std::vector<Tile> modes;
    for (const char* mode : {"bit", "dither2x2", "dither4x4", "temporal2x2", "temporal-ed", "planar-ed"}) {
        RgbImage picture = Reduce(frames, o, mode);
        RgbImage original = source;
        original.height = picture.height;
        original.rgb.resize(picture.rgb.size());
        modes.push_back({mode, Format("PSNR %.1f  SSIM %.3f", Psnr(picture, original), Ssim(picture, original)),
                         std::move(picture)});
    }

    const std::string name = o.input.empty() ? "the demo clip" : std::filesystem::path(o.input).filename().string();
    const std::string title = "kest compare: " + name + Format(" at %.3f s", held.at);
    const std::string note = "gamma " + Format("%.2f", o.gamma.value_or(1.0)) + ", intensity bit " +
                             (o.intensity ? "on" : "off") + "; PSNR in dB, SSIM of the luma, against the source";
    const Tile sourceTile{"source", std::to_string(source.width) + " x " + std::to_string(source.height), source};
    WriteStill(target.Open(), o.output, Sheet(sourceTile, modes, title, note));
    target.Commit();
    std::printf("%s: %s at %.3f s in 6 modes\n", o.output.c_str(), name.c_str(), held.at);
}

}  // namespace

void AddCompareCommand(CLI::App& app) {
    auto options = std::make_shared<CompareOptions>();
    CLI::App* command =
        app.add_subcommand("compare", "show one picture in each colour reduction beside the source, as a PNG sheet");
    command->add_option("INPUT", options->input, "any video file FFmpeg can open; without it, the built-in demo clip");
    command->add_option("-o,--output", options->output, "the PNG sheet to write");
    command->add_option("--at", options->atText,
                        "time of the picture to show: seconds, MM:SS or HH:MM:SS.mmm (default: the middle)");
    command->add_option("--gamma", options->gamma, "gamma, 0.1-3.0 (above 1 brightens the mid-tones)");
    command->add_flag("--intensity", options->intensity, "use the pixels' intensity bit");
    AddOverwriteOptions(*command, options->overwrite);
    command->callback([options] { RunCompare(*options); });
}

}  // namespace kest::tool
