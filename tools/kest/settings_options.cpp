#include "settings_options.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "sound/audio_format.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

const char* const kAudioNames[kAudioFormatCount] = {
    "adpcm15.6", "adpcm10.4", "adpcm7.8", "adpcm5.2", "adpcm3.9", "pcm48s",   "pcm44.1s", "pcm32s", "pcm24s",
    "pcm22.05s", "pcm16s",    "pcm48m",   "pcm44.1m", "pcm32m",   "pcm24m", "pcm22.05m", "pcm16m",
};

const char* const kReduceNames[] = {"bit", "dither2x2", "dither4x4", "temporal2x2", "temporal-ed", "planar-ed"};
const char* const kSpacingNames[] = {"auto", "nogap", "gap"};

template <std::size_t N>
int32_t IndexOf(const char* const (&names)[N], const std::string& text) {
    for (std::size_t i = 0; i < N; ++i)
        if (text == names[i]) return static_cast<int32_t>(i);
    return -1;
}

template <std::size_t N>
std::string Choices(const char* const (&names)[N]) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i) list += (i ? ", " : "") + std::string(names[i]);
    return list;
}

}  // namespace

const char* AudioShortName(int32_t index) {
    return index >= 0 && index < kAudioFormatCount ? kAudioNames[index] : "?";
}

int32_t ParseAudioFormat(const std::string& text) {
    if (!text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos) {
        const int32_t index = std::stoi(text);
        return index < kAudioFormatCount ? index : -1;
    }
    return IndexOf(kAudioNames, text);
}

const char* ReduceModeName(uint16_t reduceMode) {
    return reduceMode < 6 ? kReduceNames[reduceMode] : "bit (out-of-range value)";
}

const char* LineSpacingName(uint16_t lineSpacing) {
    return lineSpacing < 3 ? kSpacingNames[lineSpacing] : "auto (out-of-range value)";
}

std::string AudioFormatTable() {
    std::string table = "index  name       dialog text              rate  channels  encoding     code\n";
    for (int32_t i = 0; i < kAudioFormatCount; ++i) {
        const AudioFormat& f = kAudioFormats[i];
        char line[160];
        std::snprintf(line, sizeof line, "%5d  %-9s  %-22s  %5d  %-8s  %-11s  0x%04X\n", i, kAudioNames[i], f.label,
                      f.sampleRate, f.stereo ? "stereo" : "mono", f.version == 30 ? "4-bit ADPCM" : "16-bit PCM",
                      f.audioCode);
        table += line;
    }
    return table;
}

OutputSettings ReadSettingsBlob(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot read settings file " + path + ": " + std::strerror(errno));
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() != static_cast<std::size_t>(kConfigBlobSize))
        throw ToolError("settings file " + path + " is " + std::to_string(bytes.size()) + " bytes, not " +
                        std::to_string(kConfigBlobSize));
    OutputSettings settings;
    std::memcpy(&settings, bytes.data(), sizeof settings);
    return settings;
}

void AddSettingsOptions(CLI::App& command, SettingsOptions& o) {
    command.add_option("--settings", o.settingsFile, "start from a 1016-byte settings blob as the editor stores it");
    command.add_option("--reduce", o.reduce, "colour reduction: " + Choices(kReduceNames));
    command.add_option("--gamma", o.gamma, "gamma, 0.1-3.0 (above 1 brightens the mid-tones)");
    command.add_option("--line-spacing", o.lineSpacing, "line spacing: " + Choices(kSpacingNames));
    command.add_flag("--center", o.center, "centre the picture on the player's screen");
    command.add_flag("--center-h", o.centerH, "centre horizontally");
    command.add_flag("--center-v", o.centerV, "centre vertically");
    command.add_flag("--intensity", o.intensity, "use the pixels' intensity bit");
    command.add_option("--audio", o.audio, "sound format: index 0-16 or a name such as adpcm15.6, pcm48s, pcm44.1m");
    command.add_option("--comment", o.comment, "comment for the movie header (at most 983 bytes)");
}

void ApplySettingsOptions(const SettingsOptions& o, OutputSettings& s) {
    ResetSettings();
    s = Settings();
    if (!o.settingsFile.empty()) s = ReadSettingsBlob(o.settingsFile);
    if (o.reduce) {
        const int32_t mode = IndexOf(kReduceNames, *o.reduce);
        if (mode < 0) throw UsageError("--reduce: unknown mode '" + *o.reduce + "' (choose " + Choices(kReduceNames) + ")");
        s.reduceMode = static_cast<uint16_t>(mode);
    }
    if (o.gamma) {
        // NaN fails both comparisons and is refused too.
        if (!(*o.gamma >= 0.1 && *o.gamma <= 3.0)) throw UsageError("--gamma: must lie within 0.1-3.0");
        s.gamma = *o.gamma;
    }
    if (o.lineSpacing) {
        const int32_t spacing = IndexOf(kSpacingNames, *o.lineSpacing);
        if (spacing < 0)
            throw UsageError("--line-spacing: unknown value '" + *o.lineSpacing + "' (choose " + Choices(kSpacingNames) + ")");
        s.lineSpacing = static_cast<uint16_t>(spacing);
    }
    if (o.center || o.centerH) s.centerHorizontally = 1;
    if (o.center || o.centerV) s.centerVertically = 1;
    if (o.intensity) s.useIntensityBit = 1;
    if (o.audio) {
        const int32_t index = ParseAudioFormat(*o.audio);
        if (index < 0)
            throw UsageError("--audio: unknown format '" + *o.audio + "' (an index 0-16 or a name; see --list-audio)");
        s.audioFormatIndex = static_cast<int16_t>(index);
    }
    if (o.comment) {
        if (o.comment->size() > kCommentBytes - 1)
            throw UsageError("--comment: " + std::to_string(o.comment->size()) + " bytes, at most 983 fit");
        if (o.comment->find('\0') != std::string::npos) throw UsageError("--comment: contains a zero byte");
        // The dialog leaves the bytes behind a shorter text as they were;
        // a fresh comment from the command line clears them.
        std::memset(s.comment, 0, sizeof s.comment);
        std::memcpy(s.comment, o.comment->data(), o.comment->size());
    }
}

}  // namespace kest::tool
