#include "time_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numeric>
#include <string_view>
#include <vector>

#include "tool_error.h"

namespace kest::tool {
namespace {

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits only, already checked; a value too large for a double is infinity.
double DigitsValue(std::string_view digits) {
    double value = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return r.ec == std::errc::result_out_of_range ? HUGE_VAL : value;
}

// ".25" as 0.25; empty as 0.
double FractionValue(std::string_view digits) {
    if (digits.empty()) return 0;
    const std::string text = "0." + std::string(digits);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t next = s.find(separator, at);
        parts.push_back(s.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
        if (next == std::string_view::npos) return parts;
        at = next + 1;
    }
}

// "[HH:]MM:SS[.m...]", minutes and seconds 0-59 in one or two digits, as
// ffmpeg reads a duration; false when the text is not of that form.
bool ClockSeconds(std::string_view s, double& seconds) {
    const std::vector<std::string_view> fields = Split(s, ':');
    if (fields.size() < 2 || fields.size() > 3) return false;
    std::string_view last = fields.back();
    std::string_view fraction;
    if (const std::size_t dot = last.find('.'); dot != std::string_view::npos) {
        fraction = last.substr(dot + 1);
        last = last.substr(0, dot);
        if (!fraction.empty() && !AllDigits(fraction)) return false;
    }
    const std::string_view minutes = fields[fields.size() - 2];
    for (const std::string_view sixty : {minutes, last})
        if (!AllDigits(sixty) || sixty.size() > 2 || DigitsValue(sixty) > 59) return false;
    double hours = 0;
    if (fields.size() == 3) {
        if (!AllDigits(fields[0])) return false;
        hours = DigitsValue(fields[0]);
    }
    seconds = hours * 3600 + DigitsValue(minutes) * 60 + DigitsValue(last) + FractionValue(fraction);
    return true;
}

// "S[.m...]" with an optional exponent (the tool took plain numbers before)
// and ffmpeg's unit suffixes s, ms and us.
bool PlainSeconds(std::string_view s, double& seconds) {
    double unit = 1;
    if (s.ends_with("ms")) unit = 1e-3, s.remove_suffix(2);
    else if (s.ends_with("us")) unit = 1e-6, s.remove_suffix(2);
    else if (s.ends_with("s")) s.remove_suffix(1);
    std::string_view mantissa = s, exponent;
    if (const std::size_t e = s.find_first_of("eE"); e != std::string_view::npos) {
        mantissa = s.substr(0, e);
        exponent = s.substr(e + 1);
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) exponent.remove_prefix(1);
        if (!AllDigits(exponent)) return false;
    }
    const std::size_t dot = mantissa.find('.');
    const std::string_view whole = mantissa.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : mantissa.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return false;
    if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction))) return false;
    double value = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    if (r.ptr != s.data() + s.size()) return false;
    seconds = (r.ec == std::errc::result_out_of_range ? HUGE_VAL : value) * unit;
    return true;
}

uint64_t Power10(std::size_t k) {
    uint64_t p = 1;
    while (k--) p *= 10;
    return p;
}

}  // namespace

double ParseSeconds(const std::string& option, const std::string& text) {
    std::string_view s = text;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative) s.remove_prefix(1);
    double seconds = 0;
    const bool clock = s.find(':') != std::string_view::npos;
    if (!(clock ? ClockSeconds(s, seconds) : PlainSeconds(s, seconds)))
        throw UsageError(option + ": '" + text + "' is not a time; give seconds (90 or 1.5), MM:SS or HH:MM:SS.mmm");
    if (negative && seconds > 0) throw UsageError(option + ": must be 0 or more seconds, not " + text);
    if (!(seconds <= kMaxSeconds))
        throw UsageError(option + ": " + text + " is past the limit of 100 hours (360000 s, or 100:00:00)");
    return seconds;
}

FrameRate ParseFrameRate(const std::string& option, const std::string& text) {
    struct Named {
        const char* name;
        int32_t num, den;
    };
    static constexpr Named kNamed[] = {{"ntsc", 30000, 1001}, {"pal", 25, 1}, {"film", 24, 1}, {"ntsc-film", 24000, 1001}};
    for (const Named& n : kNamed)
        if (text == n.name) return {n.num, n.den};

    const std::string bad =
        option + ": '" + text + "' is not a frame rate; give a number (25, 29.97, 12.5) or a fraction N/D (30000/1001)";
    std::string_view s = text;
    if (!s.empty() && s[0] == '-') {
        s.remove_prefix(1);
        if (!s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.'))
            throw UsageError(option + ": must be more than 0 frames a second, not " + text);
        throw UsageError(bad);
    }
    const std::string tooLarge = option + ": '" + text + "' does not fit a fraction of 32-bit numbers; at most 2147483647";

    uint64_t num = 0, den = 1;
    if (const std::size_t slash = s.find('/'); slash != std::string_view::npos) {
        const std::string_view n = s.substr(0, slash), d = s.substr(slash + 1);
        if (!AllDigits(n) || !AllDigits(d)) throw UsageError(bad);
        if (n.size() > 10 || d.size() > 10) throw UsageError(tooLarge);
        num = static_cast<uint64_t>(DigitsValue(n));
        den = static_cast<uint64_t>(DigitsValue(d));
        if (den == 0) throw UsageError(bad);
    } else {
        const std::size_t dot = s.find('.');
        const std::string_view whole = s.substr(0, dot);
        const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
        if (whole.empty() && fraction.empty()) throw UsageError(bad);
        if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction))) throw UsageError(bad);
        if (fraction.size() > 9)
            throw UsageError(option + ": '" + text + "' has more than 9 decimals; give the rate as a fraction N/D");
        if (whole.size() > 10) throw UsageError(tooLarge);
        den = Power10(fraction.size());
        num = static_cast<uint64_t>(DigitsValue(whole)) * den + static_cast<uint64_t>(DigitsValue(fraction));
        // 29.97 and its kin are how the NTSC rates N x 1000/1001 are written:
        // a decimal that is such a rate rounded or cut to its own number of
        // places stands for the exact fraction.
        if (fraction.size() >= 2 && num % den != 0) {
            for (const uint64_t nominal : {15, 24, 30, 48, 60, 120, 240}) {
                const uint64_t exact = nominal * 1000 * den;  // times 1001 too
                if (num == exact / 1001 || num == (2 * exact + 1001) / 2002)
                    return {static_cast<int32_t>(nominal * 1000), 1001};
            }
        }
    }
    if (num == 0) throw UsageError(option + ": must be more than 0 frames a second, not " + text);
    const uint64_t divisor = std::gcd(num, den);
    num /= divisor, den /= divisor;
    if (num > INT32_MAX || den > INT32_MAX) throw UsageError(tooLarge);
    return {static_cast<int32_t>(num), static_cast<int32_t>(den)};
}

}  // namespace kest::tool
