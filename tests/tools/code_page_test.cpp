// UTF-8 <-> CP932 for the header's comment: the Microsoft table (with its
// NEC and IBM rows), a character CP932 lacks refused with where it stands,
// and a display decoding that gets past bytes that are not CP932.
#include <gtest/gtest.h>

#include "kest/code_page.h"

namespace kest::tool {
namespace {

TEST(CodePage, Utf8ToCp932) {
    struct Case {
        const char* utf8;
        bool ok;
        const char* cp932;      // when ok
        const char* offending;  // when not
        std::size_t offset;
    };
    const Case cases[] = {
        {"", true, "", "", 0},
        {"Abc 1~\\", true, "Abc 1~\\", "", 0},
        {"テスト", true, "\x83\x65\x83\x58\x83\x67", "", 0},
        {"ｱｲ", true, "\xB1\xB2", "", 0},             // half-width katakana: one byte each
        {"～", true, "\x81\x60", "", 0},             // FULLWIDTH TILDE, where Shift-JIS tables differ
        {"①", true, "\x87\x40", "", 0},             // an NEC row
        {"a😀b", false, "", "😀", 1},
        {"テé", false, "", "é", 3},                  // no silent best fit to 'e'
        {"ab\xFF", false, "", "\xFF", 2},            // not UTF-8
        {"\xE3\x83", false, "", "\xE3\x83", 0},      // cut short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        const CodePageResult r = Utf8ToCp932(c.utf8);
        EXPECT_EQ(r.ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(r.text, c.cp932);
            EXPECT_EQ(Cp932ToUtf8(r.text).text, c.utf8);  // and back
        } else {
            EXPECT_EQ(r.offending, c.offending);
            EXPECT_EQ(r.offset, c.offset);
        }
    }
}

TEST(CodePage, Cp932ToUtf8RefusesWhatIsNotCp932AndTheLossyFormShowsIt) {
    struct Case {
        const char* cp932;
        std::size_t offset;   // of the first bad sequence
        const char* shown;
    };
    const Case cases[] = {
        {"a\x85\x40" "b", 1, "a\xEF\xBF\xBD" "b"},  // an unassigned pair
        {"\xA0\x83\x65", 0, "\xEF\xBF\xBD\xE3\x83\x86"},
        {"ok\x83", 2, "ok\xEF\xBF\xBD"},             // a lead byte at the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const CodePageResult r = Cp932ToUtf8(c.cp932);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.offset, c.offset);
        EXPECT_EQ(Cp932ToUtf8Lossy(c.cp932), c.shown);
    }
}

}  // namespace
}  // namespace kest::tool
