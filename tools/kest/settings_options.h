// The settings dialog's choices as command-line options, shared by
// `kest export` and `kest settings make`. Options that were not given leave
// the record as it was, so that they override a --settings blob.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "settings/output_settings.h"

namespace kest::tool {

struct SettingsOptions {
    std::string settingsFile;  // a 1016-byte blob to start from
    std::optional<std::string> reduce;
    std::optional<double> gamma;
    std::optional<std::string> lineSpacing;
    bool center = false, centerH = false, centerV = false;
    bool intensity = false;
    std::optional<std::string> audio;
    std::optional<std::string> comment;
};

void AddSettingsOptions(CLI::App& command, SettingsOptions& options);

// Fills `settings` from the defaults, the blob file and the options, in that
// order. Throws a usage error for a bad value, a failure for an unreadable blob.
void ApplySettingsOptions(const SettingsOptions& options, OutputSettings& settings);

// The short name of each row of the audio format table ("adpcm15.6", "pcm48s").
const char* AudioShortName(int32_t index);
// Row of an index "0"-"16" or a short name; -1 when neither.
int32_t ParseAudioFormat(const std::string& text);

const char* ReduceModeName(uint16_t reduceMode);          // "bit" ... "planar-ed"
const char* LineSpacingName(uint16_t lineSpacing);        // "auto", "nogap", "gap"

// The table of audio formats with the dialog's texts, one row a line.
std::string AudioFormatTable();

// Reads a settings blob; throws with the reason when it is not 1016 bytes.
OutputSettings ReadSettingsBlob(const std::string& path);

}  // namespace kest::tool
