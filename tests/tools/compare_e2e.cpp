// kest compare through the real binary: each tile of the sheet is the
// picture the export stores in that mode, shown in the player's colours.
#include <gtest/gtest.h>

#include <cstring>

#include "tool_runner.h"

namespace kest::testing {
namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// A PNG file's size from its header, and its pixels through ffmpeg.
Picture ReadPng(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    Picture p;
    if (bytes.size() < 24 || std::memcmp(&bytes[12], "IHDR", 4) != 0) {
        ADD_FAILURE() << path << " is not a PNG file";
        return p;
    }
    auto u32 = [&](std::size_t at) { return bytes[at] << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3]; };
    p.width = u32(16);
    p.height = u32(20);
    p.rgb = DecodeRgb(path, p.width, p.height);
    return p;
}

// Whether `part` appears in `whole` pixel for pixel, anywhere.
bool Contains(const Picture& whole, const Picture& part) {
    const std::size_t row = static_cast<std::size_t>(part.width) * 3;
    for (int y = 0; y + part.height <= whole.height; ++y)
        for (int x = 0; x + part.width <= whole.width; ++x) {
            int line = 0;
            while (line < part.height &&
                   std::memcmp(&whole.rgb[(static_cast<std::size_t>(y + line) * whole.width + x) * 3],
                               &part.rgb[line * row], row) == 0)
                ++line;
            if (line == part.height) return true;
        }
    return false;
}

TEST(KestCompare, TilesAreWhatTheExportStores) {
    const std::string dir = ScratchDir();
    // Frame 7 of the demo clip: the sheet exports frames 0-7, just as a whole
    // export does before it, so even the modes that carry state from frame
    // to frame must match exactly.
    for (const char* intensity : {"", "--intensity"}) {
        SCOPED_TRACE(*intensity ? "intensity" : "plain");
        std::vector<std::string> args = {"compare", "-y", "--at", "0.25", "--gamma", "1.4", "-o", dir + "sheet.png"};
        if (*intensity) args.push_back(intensity);
        const ToolRun run = RunKest(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("at 0.233 s"), std::string::npos) << run.out;
        const Picture sheet = ReadPng(dir + "sheet.png");
        for (const char* mode : {"bit", "dither2x2", "dither4x4", "temporal2x2", "temporal-ed", "planar-ed"}) {
            SCOPED_TRACE(mode);
            std::vector<std::string> exportArgs = {"export", "-q", "-y", "-o", dir + "m.KTD", "--reduce", mode, "--gamma", "1.4"};
            if (*intensity) exportArgs.push_back(intensity);
            ASSERT_EQ(RunKest(exportArgs).status, 0);
            ASSERT_EQ(RunKest({"extract", dir + "m.KTD", "-y", "--frame", "7", "--png", dir + "f.png", "--picture-only"}).status, 0);
            EXPECT_TRUE(Contains(sheet, ReadPng(dir + "f.png")));
        }
    }
}

TEST(KestCompare, RefusesWhatItCannotShow) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=10:duration=2", "-c:v", "rawvideo", dir + "in.nut"});
    const ToolRun ok = RunKest({"compare", dir + "in.nut", "-o", dir + "s.png"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"compare"}, 2, "-o SHEET.png"},
        {{"compare", "-o", dir + "r.png", "--gamma", "9"}, 2, "--gamma"},
        {{"compare", "-o", dir + "r.png", "--at", "11"}, 2, "demo clip lasts"},
        {{"compare", dir + "in.nut", "-o", dir + "r.png", "--at", "5"}, 2, "past the end"},
        {{"compare", dir + "none.mp4", "-o", dir + "r.png"}, 1, "none.mp4"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunKest(c.args);
        EXPECT_EQ(run.status, c.status) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace kest::testing
