// The comment reaches the header in the player's code page (CP932), counted
// there against the 983-byte limit, for kest export and kest settings make
// alike, and settings show reads it back as text.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/movie_format.h"
#include "settings/output_settings.h"
#include "tool_runner.h"

namespace kest::testing {
namespace {

std::string Repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

// The comment field of the movie header or of the settings blob.
std::vector<uint8_t> StoredComment(const std::string& command, const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    const std::size_t at = command == "export" ? header_offset::kComment : offsetof(OutputSettings, comment);
    if (bytes.size() < at + kCommentBytes) return {};
    return {bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + kCommentBytes)};
}

TEST(KestComment, StoredInTheCodePageAndCountedThere) {
    const std::string dir = ScratchDir();
    const std::string kana = "\xE3\x83\x86";  // テ: 3 bytes in UTF-8, 2 in CP932
    struct Case {
        std::string comment;
        int status;
        std::vector<uint8_t> stored;  // the first bytes of the field, when written
        const char* message;          // when refused
    };
    const Case cases[] = {
        {"テスト", 0, {0x83, 0x65, 0x83, 0x58, 0x83, 0x67, 0x00}, ""},
        {"ｱ①", 0, {0xB1, 0x87, 0x40, 0x00}, ""},
        // 1474 bytes of UTF-8 but 983 in CP932: the most that fits.
        {Repeat(kana, 491) + "a", 0, {0x83, 0x65}, ""},
        {Repeat(kana, 492), 2, {}, "984 bytes in the player's code page (CP932), at most 983"},
        {"smile \xF0\x9F\x98\x80", 2, {}, "'\xF0\x9F\x98\x80' (U+1F600) cannot be stored in the player's code page (CP932)"},
        {"caf\xC3\xA9", 2, {}, "(U+00E9) cannot be stored"},
        {"bad \xFF", 2, {}, "not UTF-8"},
    };
    for (const std::string command : {"export", "settings"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(command + " " + c.comment.substr(0, 20));
            const std::string out = dir + "out";
            std::filesystem::remove(out);
            const std::vector<std::string> args =
                command == "export" ? std::vector<std::string>{"export", "-q", "-o", out, "--comment", c.comment}
                                    : std::vector<std::string>{"settings", "make", "-o", out, "--comment", c.comment};
            const ToolRun run = RunKest(args);
            ASSERT_EQ(run.status, c.status) << run.err;
            if (c.status != 0) {
                EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
                EXPECT_FALSE(std::filesystem::exists(out));
                continue;
            }
            const std::vector<uint8_t> stored = StoredComment(command, out);
            ASSERT_EQ(stored.size(), kCommentBytes);
            EXPECT_TRUE(std::equal(c.stored.begin(), c.stored.end(), stored.begin()));
        }
    }
}

TEST(KestComment, SettingsShowDecodesTheCodePage) {
    const std::string dir = ScratchDir();
    ASSERT_EQ(RunKest({"settings", "make", "-o", dir + "s.bin", "--comment", "テスト①"}).status, 0);
    const ToolRun show = RunKest({"settings", "show", dir + "s.bin"});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("\"テスト①\""), std::string::npos) << show.out;

    // A blob from elsewhere whose bytes are not CP932 is still shown.
    std::vector<uint8_t> blob = ReadBytes(dir + "s.bin");
    const uint8_t notCp932[] = {'o', 'k', 0x85, 0x40, 0};
    std::copy(std::begin(notCp932), std::end(notCp932), blob.begin() + static_cast<std::ptrdiff_t>(offsetof(OutputSettings, comment)));
    WriteBytes(dir + "odd.bin", blob.data(), blob.size());
    const ToolRun odd = RunKest({"settings", "show", dir + "odd.bin"});
    EXPECT_EQ(odd.status, 0);
    EXPECT_NE(odd.out.find("\"ok\xEF\xBF\xBD\""), std::string::npos) << odd.out;
}

}  // namespace
}  // namespace kest::testing
