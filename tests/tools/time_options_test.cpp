// Times and rates in the forms ffmpeg takes, and the values refused.
#include <gtest/gtest.h>

#include "kest/time_options.h"
#include "kest/tool_error.h"

namespace kest::tool {
namespace {

TEST(TimeOptions, SecondsInEveryForm) {
    const std::pair<const char*, double> cases[] = {
        {"0", 0},          {"90", 90},         {"1.5", 1.5},     {".25", 0.25},      {"2.", 2},
        {"1500ms", 1.5},   {"250us", 0.00025}, {"3s", 3},        {"1e1", 10},        {"01:30", 90},
        {"1:02:03.25", 3723.25}, {"0:59", 59}, {"100:00:00", 360000}, {"-0", 0},
    };
    for (const auto& [text, seconds] : cases) EXPECT_DOUBLE_EQ(ParseSeconds("--start", text), seconds) << text;
}

TEST(TimeOptions, SecondsRefusedWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "is not a time"},      {"abc", "is not a time"},   {"nan", "is not a time"},
        {"inf", "is not a time"},   {"1:60", "is not a time"},  {"90:00", "is not a time"},
        {"1:2:3:4", "is not a time"}, {"1.5.2", "is not a time"}, {"1e", "is not a time"},
        {" 5", "is not a time"},    {"-5", "0 or more"},        {"-0:01", "0 or more"},
        {"1e308", "100 hours"},     {"360000.5", "100 hours"},  {"1e400", "100 hours"},
    };
    for (const auto& [text, reason] : cases) {
        try {
            ParseSeconds("--start", text);
            ADD_FAILURE() << "'" << text << "' was taken";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status, kExitUsage);
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("--start: ", 0), 0u) << message;
            EXPECT_NE(message.find(reason), std::string::npos) << message;
            EXPECT_LT(message.size(), 120u) << message;
        }
    }
}

TEST(TimeOptions, FrameRates) {
    struct Case {
        const char* text;
        int32_t num, den;
    };
    const Case cases[] = {
        {"25", 25, 1},          {"30000/1001", 30000, 1001}, {"60/2", 30, 1},
        {"29.97", 30000, 1001}, {"23.976", 24000, 1001},     {"23.98", 24000, 1001}, {"59.94", 60000, 1001},
        {"29.970", 30000, 1001}, {"119.88", 120000, 1001},   {"14.985", 15000, 1001},
        {"12.5", 25, 2},        {"29.9", 299, 10},           {"24.0", 24, 1},        {"0.5", 1, 2},
        {"ntsc", 30000, 1001},  {"pal", 25, 1},              {"ntsc-film", 24000, 1001},
    };
    for (const Case& c : cases) {
        const FrameRate r = ParseFrameRate("--fps", c.text);
        EXPECT_EQ(r.num, c.num) << c.text;
        EXPECT_EQ(r.den, c.den) << c.text;
    }
}

TEST(TimeOptions, FrameRatesRefusedWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "more than 0"},       {"0/5", "more than 0"},   {"0.00", "more than 0"},  {"-30", "more than 0"},
        {"30/0", "not a frame rate"}, {"abc", "not a frame rate"}, {"", "not a frame rate"}, {"1/2/3", "not a frame rate"},
        {"nan", "not a frame rate"}, {"1e3", "not a frame rate"}, {"29.97.1", "not a frame rate"},
        {"4294967296", "32-bit"},   {"2147483648/1", "32-bit"}, {"1.0123456789", "9 decimals"},
    };
    for (const auto& [text, reason] : cases) {
        try {
            ParseFrameRate("--fps", text);
            ADD_FAILURE() << "'" << text << "' was taken";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status, kExitUsage);
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace kest::tool
