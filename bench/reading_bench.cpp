// Throughput of `kest info` and `kest extract --wav` on a long movie, through
// the built binary: bytes_per_second is the movie's size over the command's
// whole run (start-up included, which a long movie makes small). The movie
// is the demo clip's export with its records repeated to 200 s (about 600 MB),
// made once in the temporary folder and removed at the end.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRepeats = 20;  // of the 10 s clip

std::string Quote(const std::string& text) { return "'" + text + "'"; }

struct LongMovie {
    std::filesystem::path dir;
    std::string path;
    uint64_t bytes = 0;
    uint64_t frames = 0;
    std::string error;

    LongMovie() {
        dir = std::filesystem::temp_directory_path() / ("kest_reading_bench_" + std::to_string(std::rand()));
        std::filesystem::create_directories(dir);
        const std::string clip = (dir / "clip.KTD").string();
        path = (dir / "long.KTD").string();
        if (std::system((Quote(KEST_TOOL_PATH) + " export -q -o " + Quote(clip)).c_str()) != 0) {
            error = "the export of the demo clip failed";
            return;
        }
        std::ifstream in(clip, std::ios::binary);
        const std::vector<char> movie{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::ofstream out(path, std::ios::binary);
        out.write(movie.data(), 1024);
        for (int i = 0; i < kRepeats; ++i) out.write(movie.data() + 1024, static_cast<std::streamsize>(movie.size() - 1024));
        bytes = 1024 + kRepeats * (movie.size() - 1024);
        frames = kRepeats * 300u;
    }
    ~LongMovie() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

LongMovie& Movie() {
    static LongMovie movie;
    return movie;
}

void Run(benchmark::State& state, const std::string& arguments) {
    LongMovie& movie = Movie();
    if (!movie.error.empty()) {
        state.SkipWithError(movie.error.c_str());
        return;
    }
    const std::string command = Quote(KEST_TOOL_PATH) + " " + arguments + " >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.bytes));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * movie.frames));  // frames
}

void BM_Info(benchmark::State& state) { Run(state, "info " + Quote(Movie().path)); }
BENCHMARK(BM_Info)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExtractWav(benchmark::State& state) {
    Run(state, "extract " + Quote(Movie().path) + " --wav " + Quote((Movie().dir / "long.wav").string()));
}
BENCHMARK(BM_ExtractWav)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
