#include "code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace kest::tool {
namespace {

// glibc's iconv knows the code page as "CP932" (Microsoft's table, with the
// NEC and IBM extensions that Windows itself uses).
constexpr const char* kCp932 = "CP932";
constexpr const char* kUtf8 = "UTF-8";

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; returns the input offset where it stopped
    // (the whole length on success).
    std::size_t Run(std::string_view in, std::string& out) {
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char buffer[256];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) break;
        }
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);  // flush any shift state
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return in.size() - inLeft;
    }

    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

// The length of the UTF-8 sequence starting with `lead` (1 for a stray byte).
std::size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

// The length of the CP932 character starting with `lead`.
std::size_t Cp932Length(unsigned char lead) {
    return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
}

CodePageResult Convert(std::string_view in, const char* to, const char* from, bool fromUtf8) {
    CodePageResult result;
    Converter c(to, from);
    if (!c.ok()) {
        result.offending = std::string(in.substr(0, 1));
        return result;
    }
    const std::size_t stop = c.Run(in, result.text);
    if (stop == in.size()) {
        result.ok = true;
        return result;
    }
    const unsigned char lead = static_cast<unsigned char>(in[stop]);
    const std::size_t length = fromUtf8 ? Utf8Length(lead) : Cp932Length(lead);
    result.offset = stop;
    result.offending = std::string(in.substr(stop, length));
    result.text.clear();
    return result;
}

}  // namespace

CodePageResult Utf8ToCp932(std::string_view utf8) { return Convert(utf8, kCp932, kUtf8, true); }

CodePageResult Cp932ToUtf8(std::string_view cp932) { return Convert(cp932, kUtf8, kCp932, false); }

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
    std::string out;
    Converter c(kUtf8, kCp932);
    if (!c.ok()) return std::string(cp932);
    while (!cp932.empty()) {
        const std::size_t stop = c.Run(cp932, out);
        if (stop == cp932.size()) break;
        out += "\xEF\xBF\xBD";  // U+FFFD
        const std::size_t skip = Cp932Length(static_cast<unsigned char>(cp932[stop]));
        cp932.remove_prefix(std::min(cp932.size(), stop + skip));
        c.Reset();
    }
    return out;
}

}  // namespace kest::tool
