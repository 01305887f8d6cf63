// The movie header's comment is text in the Japanese ANSI code page (CP932,
// a superset of Shift-JIS), which is what the plug-in's dialog stores and
// what the player shows. The command line speaks UTF-8; iconv converts.
#pragma once

#include <string>
#include <string_view>

namespace kest::tool {

struct CodePageResult {
    bool ok = false;
    std::string text;        // the converted bytes when ok
    std::string offending;   // when not ok: the first character that failed, as given
    std::size_t offset = 0;  // and its byte offset in the input
};

// UTF-8 to CP932. Fails on invalid UTF-8 or on a character CP932 cannot hold.
CodePageResult Utf8ToCp932(std::string_view utf8);

// CP932 to UTF-8. Fails on a byte sequence that is not CP932.
CodePageResult Cp932ToUtf8(std::string_view cp932);

// CP932 to UTF-8 for display: a sequence that does not decode is shown as
// U+FFFD and decoding goes on after it, so every comment can be shown.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

}  // namespace kest::tool
