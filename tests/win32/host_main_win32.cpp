// The editor's part, played against the real kest_output.auo: the module is
// loaded with LoadLibraryA and driven only through the table that its one
// export returns.
//
//   kest_wine_host checks MODULE FOLDER   the table, the settings blob and
//                                         the failure paths
//   kest_wine_host export MODULE FOLDER   every export case into FOLDER
//   kest_wine_host digests MODULE FOLDER  the pinned exports, by their digests
//   kest_wine_host timed MODULE FOLDER    the timed case into FOLDER\timed.KTD,
//                                         printing its frames a second
//   kest_wine_host dialog MODULE [PNG]    the settings dialog
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check_report.h"
#include "dialog_check_win32.h"
#include "editor_host.h"
#include "pinned_exports.h"
#include "support/sha256.h"
#include "base/host_records.h"
#include "settings/output_settings.h"

namespace kest::wine {
namespace {

using GetTable = OutputPluginTable*(KEST_CDECL*)();

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Bytes(const char* text, std::size_t n) {
    std::string out;
    char hex[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(hex, sizeof hex, "%02X ", static_cast<unsigned char>(text[i]));
        out += hex;
    }
    return out;
}

// A filter list ends at the first empty string.
std::size_t FilterLength(const char* filter) {
    std::size_t n = 0;
    while (filter[n] != '\0') n += std::strlen(filter + n) + 1;
    return n + 1;
}

void CheckTable(Report& report, GetTable get) {
    const OutputPluginTable* table = get();
    report.Check(table != nullptr && get() == table, "the table's address is the same on every call");
    if (!table) return;
    report.Check(table->flag == 0, "flag is 0");
    report.Check(table->init == nullptr && table->exit == nullptr, "no init and no exit entry");
    report.Check(table->output && table->config && table->configGet && table->configSet, "four entry points");
    bool reservedZero = true;
    for (int32_t word : table->reserved) reservedZero = reservedZero && word == 0;
    report.Check(reservedZero, "reserved words are zero");

    static const char kName[] = "KEST (KEST-V3.0/4.0) \x8F\x6F\x97\xCD";
    report.Check(table->name && std::strcmp(table->name, kName) == 0, "name bytes",
                 table->name ? Bytes(table->name, std::strlen(table->name)) : "null");
    static const char kFilter[] =
        "KESTFile (*.KTD)\0*.KTD\0KESTFile\x90\xB3\x95\xFB\x89\xE6\x91\x66 (*.KTS)\0*.KTS\0AllFile (*.*)\0*.*\0";
    report.Check(table->filter && FilterLength(table->filter) == sizeof kFilter &&
                     std::memcmp(table->filter, kFilter, sizeof kFilter) == 0,
                 "filter bytes", table->filter ? Bytes(table->filter, FilterLength(table->filter)) : "null");
    static const char kInformation[] = "KEST (KEST-V3.0/4.0) \x8F\x6F\x97\xCD version 0.97 by ";
    report.Check(table->information &&
                     std::strncmp(table->information, kInformation, sizeof kInformation - 1) == 0,
                 "information text", table->information ? table->information : "null");
}

void CheckBlob(Report& report, const OutputPluginTable& table) {
    std::vector<uint8_t> fresh(kConfigBlobSize + 8, 0xCC);
    report.Check(table.configGet(fresh.data()) == kConfigBlobSize, "configGet returns 1016");
    std::vector<uint8_t> expected(kConfigBlobSize, 0);
    expected[22] = 0xF0, expected[23] = 0x3F;  // gamma 1.0
    report.Check(std::memcmp(fresh.data(), expected.data(), expected.size()) == 0 && fresh[kConfigBlobSize] == 0xCC,
                 "a fresh module's blob is zero but gamma 1.0, and no byte more is written");
    report.Check(table.configGet(nullptr) == kConfigBlobSize, "configGet with no destination reports the size");

    std::vector<uint8_t> record(kConfigBlobSize);
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i * 37 + 11);
    report.Check(table.configSet(record.data(), kConfigBlobSize) == kConfigBlobSize, "configSet takes 1016 bytes");
    std::vector<uint8_t> back(kConfigBlobSize);
    table.configGet(back.data());
    report.Check(back == record, "the blob comes back byte for byte, reserved bytes included");
    std::vector<uint8_t> other(kConfigBlobSize + 1, 0x55);
    for (int32_t size : {0, 1015, 1017, -1}) {
        const int32_t taken = table.configSet(other.data(), size);
        table.configGet(back.data());
        report.Check(taken == 0 && back == record, "configSet refuses size " + std::to_string(size));
    }
}

void CheckFailures(Report& report, const OutputPluginTable& table, const std::string& folder) {
    ExportCase c = ExportCases().front();
    // Into a folder that does not exist: nothing is created, 0 comes back.
    const std::string missing = folder + "\\no such folder\\movie.KTD";
    CaseRun run = RunCase(table, c, missing.c_str());
    report.Check(run.returned == 0 && !FileExists(missing), "a save path in a missing folder gives 0 and no file",
                 "returned " + std::to_string(run.returned));
    // A record that cannot be exported is refused before any callback.
    const std::string refusedPath = folder + "\\refused.KTD";
    DeleteFileA(refusedPath.c_str());
    c.frames = 0;
    run = RunCase(table, c, refusedPath.c_str());
    report.Check(run.returned == 0 && run.calls.empty() && !FileExists(refusedPath),
                 "an export of no frames is refused untouched", "returned " + std::to_string(run.returned));
    // Cancelled at frame 3: three pictures taken, three previews, then 1.
    for (const ExportCase& k : ExportCases()) {
        if (k.cancelAtFrame < 0) continue;
        const std::string path = folder + "\\" + k.name + ".KTD";
        run = RunCase(table, k, path.c_str());
        const std::string calls = "\n" + run.calls;
        int pictures = 0, previews = 0;
        for (std::size_t at = 0; (at = calls.find("\nvideo ", at)) != std::string::npos; ++at) ++pictures;
        for (std::size_t at = 0; (at = calls.find("\npreview ", at)) != std::string::npos; ++at) ++previews;
        report.Check(run.returned == 1 && pictures == k.cancelAtFrame && previews == k.cancelAtFrame,
                     "a cancel at frame " + std::to_string(k.cancelAtFrame) + " takes that many pictures and returns 1",
                     "returned " + std::to_string(run.returned) + ", " + std::to_string(pictures) + " pictures, " +
                         std::to_string(previews) + " previews");
    }
}

void CheckDigests(Report& report, const OutputPluginTable& table, const std::string& folder) {
    for (const PinnedExport& pinned : PinnedExports()) {
        const std::string path = folder + "\\" + pinned.export_.name + ".KTD";
        const CaseRun run = RunCase(table, pinned.export_, path.c_str());
        const std::string digest = kest::testing::FileSha256Hex(path);
        report.Check(run.returned == 1 && digest == pinned.sha256, "pinned digest of " + pinned.export_.name,
                     "returned " + std::to_string(run.returned) + ", digest " + digest);
        DeleteFileA(path.c_str());
    }
}

}  // namespace
}  // namespace kest::wine

int main(int argc, char** argv) {
    using namespace kest::wine;
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s checks|export|digests|timed MODULE FOLDER, or %s dialog MODULE [SCREENSHOT.png]\n", argv[0],
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    Report report;
    HMODULE module = LoadLibraryA(argv[2]);
    if (!report.Check(module != nullptr, std::string("LoadLibraryA ") + argv[2],
                      "error " + std::to_string(GetLastError())))
        return report.Finish();
    const auto get = reinterpret_cast<GetTable>(reinterpret_cast<void*>(GetProcAddress(module, "GetOutputPluginTable")));
    if (!report.Check(get != nullptr, "export GetOutputPluginTable",
                      "GetProcAddress failed with error " + std::to_string(GetLastError())))
        return report.Finish();
    const kest::OutputPluginTable* table = get();
    if (mode == "checks" && argc == 4) {
        CheckTable(report, get);
        if (table) {
            CheckBlob(report, *table);
            CheckFailures(report, *table, argv[3]);
        }
    } else if (mode == "export" && argc == 4) {
        if (report.Check(table != nullptr, "table"))
            report.Check(RunAllCases(*table, argv[3]) == 0, std::string("case files written to ") + argv[3]);
    } else if (mode == "digests" && argc == 4) {
        if (report.Check(table != nullptr, "table")) CheckDigests(report, *table, argv[3]);
    } else if (mode == "timed" && argc == 4) {
        if (report.Check(table != nullptr, "table")) {
            const TimedRun timed = RunTimedCase(*table, std::string(argv[3]) + "\\timed.KTD");
            if (report.Check(timed.run.returned == 1, "the timed export completes"))
                std::printf("TIMED %s\n", TimedSummary(TimedCase(), timed.seconds).c_str());
        }
    } else if (mode == "dialog" && argc <= 4) {
        if (report.Check(table != nullptr, "table")) RunDialogChecks(report, *table, module, argc == 4 ? argv[3] : nullptr);
    } else {
        std::fprintf(stderr, "%s: unknown mode or wrong arguments: %s\n", argv[0], mode.c_str());
        return 2;
    }
    return report.Finish();
}
