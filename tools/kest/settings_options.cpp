#include "settings_options.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "code_page.h"
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

// "'😀' (U+1F600)" for a UTF-8 character; empty when the bytes are not one.
std::string NameCharacter(const std::string& utf8) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    const std::size_t n = utf8.size();
    uint32_t code = 0;
    if (n == 1 && b(0) < 0x80) code = b(0);
    else if (n == 2 && (b(0) & 0xE0) == 0xC0) code = (b(0) & 0x1Fu) << 6 | (b(1) & 0x3Fu);
    else if (n == 3 && (b(0) & 0xF0) == 0xE0) code = (b(0) & 0x0Fu) << 12 | (b(1) & 0x3Fu) << 6 | (b(2) & 0x3Fu);
    else if (n == 4 && (b(0) & 0xF8) == 0xF0)
        code = (b(0) & 0x07u) << 18 | (b(1) & 0x3Fu) << 12 | (b(2) & 0x3Fu) << 6 | (b(3) & 0x3Fu);
    else return {};
    for (std::size_t i = 1; i < n; ++i)
        if ((b(i) & 0xC0) != 0x80) return {};
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
    return "'" + utf8 + "' (" + hex + ")";
}

// The comment as the header stores it. The command line is read as UTF-8,
// whatever the locale says: terminals and scripts send UTF-8 today, and the
// C locale a script often runs under names no encoding at all.
std::string CommentBytes(const std::string& utf8) {
    const CodePageResult cp932 = Utf8ToCp932(utf8);
    if (!cp932.ok) {
        const std::string named = NameCharacter(cp932.offending);
        if (named.empty())
            throw UsageError("--comment: byte " + std::to_string(cp932.offset) +
                             " is not UTF-8; give the text in UTF-8, as kest reads its command line");
        throw UsageError("--comment: " + named + " cannot be stored in the player's code page (CP932)");
    }
    if (cp932.text.size() > kCommentBytes - 1)
        throw UsageError("--comment: " + std::to_string(cp932.text.size()) +
                         " bytes in the player's code page (CP932), at most 983 fit");
    return cp932.text;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

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
    const std::string expected = "; give the 1016-byte file that 'kest settings make' writes";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw ToolError("cannot read settings file " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw ToolError("settings file " + path + " is a folder" + expected);
    if (!S_ISREG(st.st_mode)) throw ToolError("settings file " + path + " is not a regular file" + expected);
    const std::unique_ptr<std::FILE, FileCloser> in(std::fopen(path.c_str(), "rb"));
    if (!in) throw ToolError("cannot read settings file " + path + ": " + std::strerror(errno));
    // One byte more than a blob tells a longer file from a blob.
    std::vector<char> bytes(static_cast<std::size_t>(kConfigBlobSize) + 1);
    const std::size_t size = std::fread(bytes.data(), 1, bytes.size(), in.get());
    if (std::ferror(in.get())) throw ToolError("cannot read settings file " + path + ": " + std::strerror(errno));
    if (size != static_cast<std::size_t>(kConfigBlobSize))
        throw ToolError("settings file " + path + " is " +
                        (size > static_cast<std::size_t>(kConfigBlobSize) ? "longer than 1016 bytes"
                                                                          : std::to_string(size) + " bytes, not 1016") +
                        expected);
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
    command.add_option("--comment", o.comment, "comment for the movie header, stored in the player's code page (CP932): at most 983 bytes there");
}

void ApplySettingsOptions(const SettingsOptions& o, OutputSettings& s) {
    s = DefaultSettings();
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
        if (o.comment->find('\0') != std::string::npos) throw UsageError("--comment: contains a zero byte");
        const std::string bytes = CommentBytes(*o.comment);
        // The dialog leaves the bytes behind a shorter text as they were;
        // a fresh comment from the command line clears them.
        std::memset(s.comment, 0, sizeof s.comment);
        std::memcpy(s.comment, bytes.data(), bytes.size());
    }
}

}  // namespace kest::tool
