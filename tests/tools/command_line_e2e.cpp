// The command line as a user meets it: the version, help by command name, a
// mistyped command, ffmpeg's time and rate forms, and mistakes answered by
// one sentence of kest's own rather than a library's text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tool_runner.h"

namespace kest::testing {
namespace {

TEST(KestCommandLine, VersionNamesTheFfmpegLibraries) {
    const ToolRun run = RunKest({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("version 0.97"), std::string::npos) << run.out;
    // Each library named with a version of three numbers, such as "libavutil 57.28.100".
    for (const char* library : {"libavformat", "libavcodec", "libavutil", "libswscale", "libswresample"}) {
        const std::size_t at = run.out.find(std::string(library) + " ");
        ASSERT_NE(at, std::string::npos) << library;
        unsigned major = 0, minor = 0, micro = 0;
        EXPECT_EQ(std::sscanf(run.out.c_str() + at + std::strlen(library) + 1, "%u.%u.%u", &major, &minor, &micro), 3)
            << library;
    }
}

TEST(KestCommandLine, HelpCommandIsTheCommandsHelp) {
    for (const std::vector<std::string>& command : {std::vector<std::string>{"export"}, {"settings", "make"}, {}}) {
        std::vector<std::string> help = {"help"}, flag = command;
        help.insert(help.end(), command.begin(), command.end());
        flag.push_back("--help");
        const ToolRun a = RunKest(help), b = RunKest(flag);
        EXPECT_EQ(a.status, 0);
        EXPECT_FALSE(a.out.empty());
        EXPECT_EQ(a.out, b.out);
    }
}

TEST(KestCommandLine, AMistypedOrMissingCommandIsNamed) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"exprot"}, "unknown command 'exprot'; did you mean 'export'?"},
        {{"inof", "x.KTD"}, "unknown command 'inof'; did you mean 'info'?"},
        {{"extarct"}, "unknown command 'extarct'; did you mean 'extract'?"},
        {{"settings", "shwo", "s.bin"}, "unknown 'kest settings' command 'shwo'; did you mean 'show'?"},
        {{"convert"}, "unknown command 'convert'; the commands are export, info, extract, settings, compare"},
        {{}, "'kest' needs a command: export, info, extract, settings, compare (kest --help tells more)"},
        {{"settings"}, "'kest settings' needs a command: show, make (kest settings --help tells more)"},
    };
    for (const auto& [args, message] : cases) {
        const ToolRun run = RunKest(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "kest: " + std::string(message) + "\n");
    }
}

TEST(KestCommandLine, MistakesGetASentenceOfTheirOwn) {
    const std::string dir = ScratchDir();
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"export", "", "-o", dir + "a.KTD"}, 2, "the INPUT file name is empty"},
        {{"export", "-o", dir + "a.KTD", "--settings", dir}, 1, "is a folder; give the 1016-byte file"},
        {{"settings", "show", dir}, 1, "is a folder"},
        {{"settings", "show", "/dev/null"}, 1, "is not a regular file"},
        {{"export", "in.mp4", "-o", dir + "a.KTD", "--start", "1e308"}, 2, "--start: 1e308 is past the limit of 100 hours"},
        {{"export", "in.mp4", "-o", dir + "a.KTD", "--duration", "nan"}, 2, "--duration: 'nan' is not a time"},
        {{"export", "in.mp4", "-o", dir + "a.KTD", "--start", "-2"}, 2, "--start: must be 0 or more seconds"},
        {{"export", "in.mp4", "-o", dir + "a.KTD", "--duration", "0:00"}, 2, "--duration: must be more than 0"},
        {{"export", "in.mp4", "-o", dir + "a.KTD", "--fps", "29.97fps"}, 2, "--fps: '29.97fps' is not a frame rate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args.back());
        const ToolRun run = RunKest(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_LT(run.err.size(), 160u) << run.err;
        EXPECT_EQ(run.err.find("basic_filebuf"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "a.KTD"));
}

TEST(KestCommandLine, TimesAndRatesInFfmpegsForms) {
    const std::string dir = ScratchDir();
    const std::string input = dir + "in.nut";
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=30:duration=2", "-f", "lavfi", "-i",
               "sine=frequency=300:sample_rate=16000:duration=2", "-c:v", "rawvideo", "-pix_fmt", "bgr24", "-c:a",
               "pcm_s16le", input});
    // Each pair of spellings gives the same movie.
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"--start", "00:00.5", "--duration", "0:01"}, {"--start", "0.5", "--duration", "1"}},
        {{"--start", "0:00:00.250", "--duration", "1250ms"}, {"--start", "0.25", "--duration", "1.25"}},
        {{"--fps", "29.97"}, {"--fps", "30000/1001"}},
        {{"--fps", "23.976"}, {"--fps", "24000/1001"}},
        {{"--fps", "12.5"}, {"--fps", "25/2"}},
    };
    int serial = 0;
    for (const auto& [spelled, plain] : cases) {
        SCOPED_TRACE(spelled[1]);
        const std::string movieA = dir + std::to_string(serial) + "a.KTD", movieB = dir + std::to_string(serial++) + "b.KTD";
        std::vector<std::string> a = {"export", input, "-q", "-o", movieA}, b = {"export", input, "-q", "-o", movieB};
        a.insert(a.end(), spelled.begin(), spelled.end());
        b.insert(b.end(), plain.begin(), plain.end());
        const ToolRun runA = RunKest(a);
        ASSERT_EQ(runA.status, 0) << runA.err;
        ASSERT_EQ(RunKest(b).status, 0);
        EXPECT_TRUE(ReadBytes(movieA) == ReadBytes(movieB));
    }
}

}  // namespace
}  // namespace kest::testing
