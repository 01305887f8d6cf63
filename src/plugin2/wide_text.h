// Conversions between the host's UTF-16, UTF-8 and the settings record's
// code page 932 (the comment is kept as the 32-bit generation keeps it).
#pragma once

#include <cstddef>
#include <string>

namespace kest::host2 {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

std::wstring WideFromCp932(const char* bytes, std::size_t count);
// At most `maxBytes` bytes, cut before the first character that does not
// fit whole; characters without a code in 932 become '?'.
std::string Cp932FromWide(const std::wstring& text, std::size_t maxBytes);

}  // namespace kest::host2
