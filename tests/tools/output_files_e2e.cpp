// How every kest command writes its outputs: never over its own input, an
// existing file replaced only as -y, -n or the user's answer says and only
// by a complete result, a cancel (Ctrl-C or SIGTERM) that keeps what was
// made, free space checked first, and files in the format their name says.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>

#include "format/movie_reader.h"
#include "tool_runner.h"

namespace kest::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<uint8_t> kOldBytes = {'o', 'l', 'd'};

MovieReport Inspect(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return InspectMovie(bytes.data(), bytes.size());
}

std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// 16 x 16, 10 fps, 8 frames with a tone: quick to export, and with sound.
std::string TinyInput(const std::string& dir) {
    const std::string path = dir + "tiny.mkv";
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=16x16:rate=10:duration=0.8", "-f", "lavfi", "-i",
               "sine=frequency=440:sample_rate=16000:duration=0.8", "-c:v", "ffv1", "-c:a", "pcm_s16le", path});
    return path;
}

// The tiny input as a movie: 8 frames with ADPCM sound.
std::string TinyMovie(const std::string& dir) {
    const std::string movie = dir + "m.KTD";
    EXPECT_EQ(RunKest({"export", TinyInput(dir), "-o", movie, "-q"}).status, 0);
    return movie;
}

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(KestOutputs, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    const std::string dir = ScratchDir();
    // MP4 and MPEG-TS are the containers whose reading an emptied file
    // broke outright; the check must not depend on the format.
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=32x32:rate=10:duration=0.5", "-c:v", "mpeg4", dir + "in.mp4"});
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=32x32:rate=10:duration=0.5", "-c:v", "mpeg2video", dir + "in.ts"});
    for (const char* name : {"in.mp4", "in.ts"}) {
        const std::string input = dir + name;
        const std::vector<uint8_t> before = ReadBytes(input);
        fs::create_hard_link(input, input + ".hard");
        fs::create_symlink(name, input + ".link");
        for (const std::string& output : {input, input + ".hard", input + ".link"}) {
            SCOPED_TRACE(output);
            const ToolRun run = RunKest({"export", input, "-o", output, "-y"});
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find("the input"), std::string::npos) << run.err;
            EXPECT_EQ(Lines(run.err), 1) << run.err;
            EXPECT_TRUE(ReadBytes(input) == before);
        }
        // The other way round: the input named through the link.
        EXPECT_EQ(RunKest({"export", input + ".link", "-o", input, "-y"}).status, 1);
        EXPECT_TRUE(ReadBytes(input) == before);
    }

    // extract's outputs onto the movie it reads, through links where the
    // name must carry the output's extension.
    const std::string movie = TinyMovie(dir);
    const std::vector<uint8_t> before = ReadBytes(movie);
    fs::create_symlink("m.KTD", dir + "m.png");
    fs::create_hard_link(movie, dir + "m.mp4");
    fs::create_directories(dir + "frames");
    fs::create_symlink("../m.KTD", dir + "frames/frame_000003.png");
    const std::vector<std::vector<std::string>> cases = {
        {"--wav", movie},
        {"--frame", "0", "--png", dir + "m.png"},
        {"--preview", dir + "m.mp4"},
        {"--frames", dir + "frames"},
    };
    for (const auto& options : cases) {
        SCOPED_TRACE(options.back());
        std::vector<std::string> args = {"extract", movie, "-y"};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun run = RunKest(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("the input"), std::string::npos) << run.err;
        EXPECT_TRUE(ReadBytes(movie) == before);
    }
    // Nothing was written into the folder before the refusal.
    EXPECT_EQ(Listing(dir + "frames"), std::set<std::string>{"frame_000003.png"});
}

TEST(KestOutputs, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
    const std::string dir = ScratchDir();
    const std::string input = TinyInput(dir);
    const std::string movie = TinyMovie(dir);
    struct Case {
        std::vector<std::string> args;  // the output is OUT
    };
    const Case cases[] = {
        {{"export", input, "-q", "-o", "OUT.KTD"}},
        {{"extract", movie, "--wav", "OUT.wav"}},
        {{"extract", movie, "--frame", "1", "--png", "OUT.png"}},
        {{"extract", movie, "--preview", "OUT.mp4"}},
        {{"settings", "make", "--reduce", "bit", "-o", "OUT.bin"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        std::string out;
        for (std::string& a : args)
            if (a.rfind("OUT.", 0) == 0) out = a = dir + a;
        SCOPED_TRACE(out);
        WriteBytes(out, kOldBytes.data(), kOldBytes.size());
        const std::set<std::string> files = Listing(dir);
        struct Run {
            const char* flag;
            int status;
            const char* message;
        };
        for (const Run& r : {Run{"-n", 1, "-n says not to"}, Run{nullptr, 1, "add -y to replace it"}}) {
            std::vector<std::string> full = args;
            if (r.flag) full.push_back(r.flag);
            const ToolRun run = RunKest(full);  // standard input is not a terminal
            EXPECT_EQ(run.status, r.status);
            EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
            EXPECT_EQ(Lines(run.err), 1) << run.err;
            EXPECT_TRUE(ReadBytes(out) == kOldBytes);
        }
        std::vector<std::string> replace = args;
        replace.push_back("-y");
        const ToolRun run = RunKest(replace);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_GT(ReadBytes(out).size(), kOldBytes.size());
        EXPECT_EQ(Listing(dir), files);  // no temporary file left beside it
    }
    EXPECT_EQ(RunKest({"export", input, "-o", dir + "z.KTD", "-y", "-n"}).status, 2);

    // On a terminal the question is asked, and only "y" replaces.
    const std::string out = dir + "OUT.KTD";
    WriteBytes(out, kOldBytes.data(), kOldBytes.size());
    ToolRun run = RunKestOnTerminal({"export", input, "-q", "-o", out}, "n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("File '" + out + "' already exists. Overwrite? [y/N] "), std::string::npos) << run.out;
    EXPECT_TRUE(ReadBytes(out) == kOldBytes);
    run = RunKestOnTerminal({"export", input, "-q", "-o", out}, "y\n");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Inspect(out).readable);
}

TEST(KestOutputs, AFailedExportLeavesTheOldFileAndNothingElse) {
    const std::string dir = ScratchDir();
    const std::string input = TinyInput(dir);
    const std::string out = dir + "x.KTD";
    // A write that fails after two frames, as on a full disk.
    ToolRun run = RunKest({"export", input, "-o", out, "--fail-at-frame", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("failed after 2 frame(s)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("x.KTD was not created"), std::string::npos) << run.err;
    EXPECT_EQ(Listing(dir), std::set<std::string>{"tiny.mkv"});

    WriteBytes(out, kOldBytes.data(), kOldBytes.size());
    run = RunKest({"export", input, "-o", out, "-y", "--fail-at-frame", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("x.KTD was left as it was"), std::string::npos) << run.err;
    EXPECT_TRUE(ReadBytes(out) == kOldBytes);
    EXPECT_EQ(Listing(dir), (std::set<std::string>{"tiny.mkv", "x.KTD"}));
}

TEST(KestOutputs, ACancelKeepsTheCompleteFramesAndSaysWhere) {
    const std::string dir = ScratchDir();
    const std::string input = TinyInput(dir);
    // A cancel as the export's own hook asks for it, and Ctrl-C and SIGTERM
    // sent to the running process while it waits at the frame.
    struct Way {
        const char* name;
        const char* hook;
        int signal;
    };
    for (const Way& way : {Way{"hook", "--cancel-at-frame", 0}, Way{"int", "--stop-at-frame", SIGINT},
                           Way{"term", "--stop-at-frame", SIGTERM}}) {
        SCOPED_TRACE(way.name);
        const char* hook = way.hook;
        auto RunKest = [&](const std::vector<std::string>& args) {
            return way.signal ? RunKestSignalledWhenStopped(args, way.signal) : testing::RunKest(args);
        };
        const std::string sub = dir + way.name + "/";
        fs::create_directories(sub);
        const std::string out = sub + "x.KTD";
        ToolRun run = RunKest({"export", input, "-o", out, hook, "3"});
        EXPECT_EQ(run.status, 130);
        EXPECT_NE(run.err.find(out + " holds the 3 complete frame(s)"), std::string::npos) << run.err;
        MovieReport report = Inspect(out);
        ASSERT_TRUE(report.readable);
        EXPECT_EQ(report.layout.frameCount, 3u);
        EXPECT_EQ(report.layout.trailingBytes, 0u);

        // Replacing: the old file stays, the part is kept beside it, and a
        // second part does not take the first one's name.
        WriteBytes(out, kOldBytes.data(), kOldBytes.size());
        for (const char* partial : {"x.partial.KTD", "x.partial-2.KTD"}) {
            run = RunKest({"export", input, "-o", out, "-y", hook, "5"});
            EXPECT_EQ(run.status, 130);
            EXPECT_NE(run.err.find(out + " was left as it was"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("the 5 complete frame(s) written before the cancel are in " + sub + partial),
                      std::string::npos)
                << run.err;
            EXPECT_TRUE(ReadBytes(out) == kOldBytes);
            report = Inspect(sub + partial);
            ASSERT_TRUE(report.readable);
            EXPECT_EQ(report.layout.frameCount, 5u);
        }
        // Before the first frame there is nothing to keep.
        run = RunKest({"export", input, "-o", sub + "y.KTD", hook, "0"});
        EXPECT_EQ(run.status, 130);
        EXPECT_NE(run.err.find("y.KTD was not created"), std::string::npos) << run.err;
        EXPECT_EQ(Listing(sub), (std::set<std::string>{"x.KTD", "x.partial.KTD", "x.partial-2.KTD"}));
    }
}

TEST(KestOutputs, ACancelledPreviewOrFramesEndsWithPlayableFiles) {
    const std::string dir = ScratchDir();
    const std::string movie = TinyMovie(dir);
    auto RunKest = [](const std::vector<std::string>& args) { return RunKestSignalledWhenStopped(args, SIGTERM); };
    ToolRun run = RunKest({"extract", movie, "--preview", dir + "p.mp4", "--stop-at-frame", "3"});
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("p.mp4 holds the first 3 of 8 frames"), std::string::npos) << run.err;
    // Both streams are there and readable; the pictures stop at the third.
    const std::string counts = Probe(dir + "p.mp4", "stream=nb_read_frames");
    EXPECT_EQ(counts.substr(0, 2), "3\n");
    EXPECT_EQ(Lines(counts), 2) << counts;
    // Replacing a finished preview: it stays, the part goes beside it.
    ASSERT_EQ(testing::RunKest({"extract", movie, "--preview", dir + "p.mp4", "-y"}).status, 0);
    const std::vector<uint8_t> whole = ReadBytes(dir + "p.mp4");
    run = RunKest({"extract", movie, "--preview", dir + "p.mp4", "-y", "--stop-at-frame", "2"});
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("p.partial.mp4 holds the first 2 of 8 frames"), std::string::npos) << run.err;
    EXPECT_TRUE(ReadBytes(dir + "p.mp4") == whole);
    EXPECT_EQ(Probe(dir + "p.partial.mp4", "stream=nb_read_frames").substr(0, 2), "2\n");
    run = RunKest({"extract", movie, "--preview", dir + "q.mp4", "--stop-at-frame", "0"});
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("q.mp4 was not created"), std::string::npos) << run.err;

    run = RunKest({"extract", movie, "--frames", dir + "f", "--stop-at-frame", "3"});
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("holds the first 3 of 8 frames"), std::string::npos) << run.err;
    EXPECT_EQ(Listing(dir + "f"), (std::set<std::string>{"frame_000000.png", "frame_000001.png", "frame_000002.png"}));
    EXPECT_EQ(Probe(dir + "f/frame_000002.png", "stream=width"), "512\n");
    EXPECT_EQ(Listing(dir), (std::set<std::string>{"tiny.mkv", "m.KTD", "p.mp4", "p.partial.mp4", "f"}));
}

TEST(KestOutputs, TheLongOutputsShowProgressOnATerminal) {
    const std::string dir = ScratchDir();
    const std::string movie = TinyMovie(dir);
    const std::vector<std::vector<std::string>> cases = {
        {"export", TinyInput(dir), "-o", dir + "x.KTD"},
        {"extract", movie, "--preview", dir + "p.mp4"},
        {"extract", movie, "--frames", dir + "f"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        const ToolRun run = RunKestOnTerminal(args, "");
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("\rframe 0/8"), std::string::npos) << run.out;
    }
}

TEST(KestOutputs, AnExportThatWouldNotFitIsRefusedBeforeWriting) {
    const std::string dir = ScratchDir();
    const std::string input = TinyInput(dir);
    ASSERT_EQ(RunKest({"export", input, "-o", dir + "full.KTD", "-q"}).status, 0);
    // The planned size is the exact size the export writes.
    const std::string size = std::to_string(fs::file_size(dir + "full.KTD"));
    const std::string less = std::to_string(fs::file_size(dir + "full.KTD") - 1);
    ToolRun run = RunKest({"export", input, "-o", dir + "x.KTD", "--assume-free", less});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("needs " + size + " bytes"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(less + " bytes free"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir + "x.KTD"));
    EXPECT_EQ(RunKest({"export", input, "-o", dir + "x.KTD", "-q", "--assume-free", size}).status, 0);
}

TEST(KestOutputs, SizesUpTo512AndTheWidthsRounding) {
    const std::string dir = ScratchDir();
    const std::string input = TinyInput(dir);
    for (const char* size : {"30000x30000", "2147483647x1", "0x5", "513x10", "10x513", "99999999999x1"}) {
        SCOPED_TRACE(size);
        const ToolRun run = RunKest({"export", input, "-o", dir + "x.KTD", "--size", size});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("512x512"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir + "x.KTD"));
    struct Case {
        const char* size;
        uint32_t width, height;
        const char* note;  // in the summary; empty: no note
    };
    const Case cases[] = {
        {"512x512", 512, 512, ""},
        {"250x100", 252, 100, "the width 250 is stored as 252 (a multiple of 4), with 2 black column(s)"},
        // At 200 wide the movie holds 256 rows.
        {"200x300", 200, 256, "only the lowest 256 of the picture's 300 rows are kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const ToolRun run = RunKest({"export", input, "-o", dir + "x.KTD", "-y", "--size", c.size});
        ASSERT_EQ(run.status, 0) << run.err;
        const MovieReport report = Inspect(dir + "x.KTD");
        EXPECT_EQ(report.layout.width, c.width);
        EXPECT_EQ(report.layout.height, c.height);
        if (*c.note) EXPECT_NE(run.out.find(c.note), std::string::npos) << run.out;
        else EXPECT_EQ(Lines(run.out), 1) << run.out;
    }
}

TEST(KestOutputs, PreviewsAndStillsAreWhatTheirNamesSay) {
    const std::string dir = ScratchDir();
    const std::string movie = TinyMovie(dir);
    struct Case {
        const char* name;
        const char* probed;  // format name, brand or codecs as ffprobe gives them
        const char* entries;
    };
    const Case previews[] = {
        {"p.mp4", "isom\n", "format_tags=major_brand"},
        {"p.mov", "qt  \n", "format_tags=major_brand"},
        {"p.mkv", "h264\naac\n", "stream=codec_name"},
        {"p.webm", "vp9\nopus\n", "stream=codec_name"},
        {"p.gif", "gif\n", "stream=codec_name"},
        {"p.MP4", "isom\n", "format_tags=major_brand"},
    };
    for (const Case& c : previews) {
        SCOPED_TRACE(c.name);
        const ToolRun run = RunKest({"extract", movie, "--preview", dir + c.name});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Probe(dir + c.name, c.entries), c.probed);
        EXPECT_EQ(Probe(dir + c.name, "stream=nb_read_frames").substr(0, 2), "8\n");
    }
    EXPECT_EQ(Probe(dir + "p.webm", "format=format_name"), "matroska,webm\n");
    const Case stills[] = {{"s.png", "png\n", ""}, {"s.jpg", "mjpeg\n", ""}, {"s.jpeg", "mjpeg\n", ""}, {"s.webp", "webp\n", ""}};
    for (const Case& c : stills) {
        SCOPED_TRACE(c.name);
        const ToolRun run = RunKest({"extract", movie, "--frame", "2", "--png", dir + c.name});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Probe(dir + c.name, "stream=codec_name"), c.probed);
    }
    // Any other name is refused with the list, before anything is written.
    struct Refusal {
        std::vector<std::string> args;
        const char* list;
    };
    const Refusal refusals[] = {
        {{"--preview", dir + "r.xyz"}, ".mp4, .mkv, .webm, .mov or .gif"},
        {{"--preview", dir + "r"}, ".mp4, .mkv, .webm, .mov or .gif"},
        {{"--frame", "0", "--png", dir + "r.bmp"}, ".png, .jpg (or .jpeg) or .webp"},
        {{"--frame", "3"}, "--frame needs --png"},
    };
    for (const Refusal& r : refusals) {
        std::vector<std::string> args = {"extract", movie};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const ToolRun run = RunKest(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(r.list), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir + "r.xyz"));
    EXPECT_FALSE(fs::exists(dir + "r.bmp"));
}

}  // namespace
}  // namespace kest::testing
