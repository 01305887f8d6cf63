#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "code_page.h"
#include "commands.h"
#include "settings_options.h"
#include "sound/audio_format.h"
#include "output_target.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

struct SettingsCommandOptions {
    std::string file;
    std::string output;
    SettingsOptions settings;
    Overwrite overwrite = Overwrite::Ask;
};

void ShowSettings(const std::string& path) {
    const OutputSettings s = ReadSettingsBlob(path);
    std::size_t commentLength = 0;
    while (commentLength < kCommentBytes && s.comment[commentLength]) ++commentLength;
    std::printf("reduce         %u (%s)\n", s.reduceMode, ReduceModeName(s.reduceMode));
    std::printf("line spacing   %u (%s)\n", s.lineSpacing, LineSpacingName(s.lineSpacing));
    std::printf("intensity bit  %s\n", s.useIntensityBit ? "on" : "off");
    std::printf("centre         horizontally %s, vertically %s\n", s.centerHorizontally ? "on" : "off",
                s.centerVertically ? "on" : "off");
    std::printf("gamma          %g\n", s.gamma);
    const AudioFormat& f = SelectAudioFormat(s.audioFormatIndex);
    const bool inRange = s.audioFormatIndex >= 0 && s.audioFormatIndex < kAudioFormatCount;
    std::printf("audio          %d (%s: %s%s)\n", s.audioFormatIndex, inRange ? AudioShortName(s.audioFormatIndex) : "adpcm15.6",
                f.label, inRange ? "" : ", out of range");
    // Stored in the player's code page; shown in UTF-8, a byte that is not
    // CP932 as U+FFFD.
    const std::string comment = Cp932ToUtf8Lossy(std::string_view(s.comment, commentLength));
    std::printf("comment        \"%s\"%s\n", comment.c_str(),
                commentLength == kCommentBytes ? " (no terminating zero byte)" : "");
}

void MakeSettings(const SettingsCommandOptions& o) {
    if (o.output.empty()) throw UsageError("settings make: an output file is required (-o FILE)");
    OutputTarget target(o.output, o.overwrite, {o.settings.settingsFile});
    OutputSettings settings{};
    ApplySettingsOptions(o.settings, settings);
    // The same bytes GetConfigBlob hands the editor: the record as it is held.
    static_assert(sizeof settings == kConfigBlobSize);
    uint8_t blob[kConfigBlobSize];
    std::memcpy(blob, &settings, sizeof blob);
    std::FILE* file = std::fopen(target.Open().c_str(), "wb");
    if (!file) throw ToolError("cannot create " + o.output + ": " + std::strerror(errno));
    const bool written = std::fwrite(blob, 1, sizeof blob, file) == sizeof blob;
    const int error = errno;
    if (std::fclose(file) != 0 || !written)
        throw ToolError("writing " + o.output + " failed: " + std::strerror(written ? errno : error));
    target.Commit();
}

}  // namespace

void AddSettingsCommand(CLI::App& app) {
    auto options = std::make_shared<SettingsCommandOptions>();
    CLI::App* command = app.add_subcommand("settings", "show or make a 1016-byte settings blob as the editor stores it");
    command->require_subcommand(1);
    CLI::App* show = command->add_subcommand("show", "print a settings blob's fields");
    show->add_option("FILE", options->file, "the settings blob")->required();
    show->callback([options] { ShowSettings(options->file); });
    CLI::App* make = command->add_subcommand("make", "write a settings blob from the settings options");
    AddSettingsOptions(*make, options->settings);
    make->add_option("-o,--output", options->output, "the blob to write");
    AddOverwriteOptions(*make, options->overwrite);
    make->callback([options] { MakeSettings(*options); });
}

}  // namespace kest::tool
