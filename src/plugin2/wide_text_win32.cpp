#include <windows.h>

#include "plugin2/wide_text.h"

namespace kest::host2 {
namespace {

constexpr UINT kJapaneseCodePage = 932;

std::wstring Widen(UINT codePage, const char* bytes, int count) {
    if (count <= 0) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, bytes, count, out.data(), n);
    return out;
}

std::string Narrow(UINT codePage, const wchar_t* text, int count) {
    if (count <= 0) return {};
    const int n = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, text, count, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring WideFromUtf8(const std::string& text) {
    return Widen(CP_UTF8, text.data(), static_cast<int>(text.size()));
}

std::string Utf8FromWide(const std::wstring& text) {
    return Narrow(CP_UTF8, text.data(), static_cast<int>(text.size()));
}

std::wstring WideFromCp932(const char* bytes, std::size_t count) {
    return Widen(kJapaneseCodePage, bytes, static_cast<int>(count));
}

std::string Cp932FromWide(const std::wstring& text, std::size_t maxBytes) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        // A surrogate pair is one character.
        const int units = i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
        char bytes[8];
        int n = WideCharToMultiByte(kJapaneseCodePage, 0, text.data() + i, units, bytes, sizeof bytes, nullptr, nullptr);
        if (n <= 0) bytes[0] = '?', n = 1;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) break;
        out.append(bytes, static_cast<std::size_t>(n));
        i += static_cast<std::size_t>(units);
    }
    return out;
}

}  // namespace kest::host2
