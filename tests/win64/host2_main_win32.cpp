// The 64-bit editor's part, played against the real kest_output.auo2: the
// module is loaded with LoadLibraryW, given a log and an application-data
// folder as the host gives them, and driven only through its table.
//
//   kest_wine64_host checks MODULE FOLDER     the table, the project file,
//                                             the defaults file and the
//                                             failure paths (needs a display)
//   kest_wine64_host export MODULE FOLDER     every export case into FOLDER
//   kest_wine64_host digests MODULE FOLDER    the pinned exports, by their digests
//   kest_wine64_host timed MODULE FOLDER      the timed case into FOLDER\timed.KTD,
//                                             printing its frames a second
//   kest_wine64_host fill MODULE PATH         an export into PATH, where the
//                                             space runs out part way
//   kest_wine64_host dialog MODULE [PNG]      the settings dialog
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check_report.h"
#include "dialog2_check_win32.h"
#include "editor2_host.h"
#include "pinned_exports.h"
#include "support/sha256.h"
#include "plugin2/host2_records.h"
#include "settings/config_dialog_ids.h"
#include "settings/output_settings.h"

namespace kest::wine {
namespace {

using GetTable = host2::OutputPluginTable* (*)();
using InitLogger = void (*)(host2::LogHandle*);
using InitConfig = void (*)(host2::ConfigHandle*);

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::string Messages(const std::vector<std::wstring>& list) {
    std::string out = std::to_string(list.size()) + " messages";
    for (const std::wstring& m : list) out += " | " + Utf8(m);
    return out;
}

// The module as the host holds it: loaded, handed the log and the
// application-data folder (when there is one), its table fetched.
struct Module {
    HMODULE handle = nullptr;
    const host2::OutputPluginTable* table = nullptr;
    GetTable get = nullptr;
    bool initialisers = false;
    std::wstring appData;
    host2::ConfigHandle config{};

    bool Load(Report& report, const std::wstring& path, Log& log, const std::wstring& appDataFolder) {
        handle = LoadLibraryW(path.c_str());
        if (!report.Check(handle != nullptr, "LoadLibraryW " + Utf8(path), "error " + std::to_string(GetLastError())))
            return false;
        get = reinterpret_cast<GetTable>(reinterpret_cast<void*>(GetProcAddress(handle, "GetOutputPluginTable")));
        const auto logger = reinterpret_cast<InitLogger>(reinterpret_cast<void*>(GetProcAddress(handle, "InitializeLogger")));
        const auto configure = reinterpret_cast<InitConfig>(reinterpret_cast<void*>(GetProcAddress(handle, "InitializeConfig")));
        initialisers = logger && configure;
        if (!report.Check(get != nullptr, "export GetOutputPluginTable")) return false;
        // Both handles come before the plug-in is used.
        if (logger) logger(log.Handle());
        appData = appDataFolder;
        config.appDataPath = appData.c_str();
        if (configure && !appData.empty()) configure(&config);
        table = get();
        return report.Check(table != nullptr, "the table");
    }
    void Unload() {
        if (handle) FreeLibrary(handle);
        handle = nullptr;
        table = nullptr;
    }
};

OutputSettings DefaultRecord() {
    OutputSettings s;
    std::memset(&s, 0, sizeof s);
    s.gamma = 1.0;
    return s;
}

// Every byte holds a pattern, so that a byte lost or moved shows.
OutputSettings PatternRecord() {
    OutputSettings s;
    auto* bytes = reinterpret_cast<uint8_t*>(&s);
    for (std::size_t i = 0; i < sizeof s; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return s;
}

std::string Bytes(const OutputSettings& s) { return std::string(reinterpret_cast<const char*>(&s), sizeof s); }

// What the module would store in a project now.
std::string Saved(const host2::OutputPluginTable& table) {
    Project project;
    table.saveProjectConfig(project.Handle());
    const Project::Entry* e = project.Find("settings");
    return e ? std::string(e->bytes.begin(), e->bytes.end()) : std::string("(nothing stored)");
}

bool Load(const host2::OutputPluginTable& table, const OutputSettings& s) {
    Project project;
    project.Set("settings", &s, sizeof s);
    return table.loadProjectConfig(project.Handle());
}

// ---- the dialog, answered from a second thread -------------------------

struct Press {
    int button;
    bool pressed = false;
};

DWORD WINAPI PressWhenShown(void* param) {
    auto& press = *static_cast<Press*>(param);
    for (int i = 0; i < 1200 && !press.pressed; ++i) {
        Sleep(50);
        if (HWND dialog = FindConfigDialog()) {
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(press.button, BN_CLICKED), 0);
            press.pressed = true;
        }
    }
    return 0;
}

// Opens the dialog through the table and closes it with `button`.
bool ConfigAndPress(const host2::OutputPluginTable& table, int button, bool& pressed) {
    Press press{button};
    HANDLE thread = CreateThread(nullptr, 0, PressWhenShown, &press, 0, nullptr);
    const bool result = table.config(nullptr, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    pressed = press.pressed;
    return result;
}

// ---- the checks ---------------------------------------------------------

void CheckTable(Report& report, const Module& m) {
    const host2::OutputPluginTable* table = m.table;
    report.Check(m.get() == table, "the table's address is the same on every call");
    report.Check(m.initialisers, "exports InitializeLogger and InitializeConfig");
    report.Check(table->flag == (host2::kTableVideo | host2::kTableAudio | host2::kTableProjectSettings),
                 "flag is video, audio and settings in the project file (11)", std::to_string(table->flag));
    report.Check(table->output && table->config && table->configText && table->loadProjectConfig &&
                     table->saveProjectConfig,
                 "all five entries");
    const std::wstring name = L"KEST (KEST-V3.0/4.0) \u51FA\u529B";
    report.Check(table->name && name == table->name, "name", table->name ? Utf8(table->name) : "null");
    static const wchar_t kFilter[] =
        L"KESTFile (*.KTD)\0*.KTD\0KESTFile\u6B63\u65B9\u753B\u7D20 (*.KTS)\0*.KTS\0AllFile (*.*)\0*.*\0";
    std::size_t length = 0;
    if (table->fileFilter) {
        while (table->fileFilter[length] != L'\0') length += std::wcslen(table->fileFilter + length) + 1;
        ++length;  // the list's own terminator
    }
    report.Check(length == sizeof kFilter / sizeof kFilter[0] &&
                     std::memcmp(table->fileFilter, kFilter, sizeof kFilter) == 0,
                 "filter list: three pairs and the double terminator",
                 table->fileFilter ? Utf8(std::wstring(table->fileFilter, length)) : "null");
    report.Check(table->information && std::wstring(table->information).rfind(name + L" version 0.97", 0) == 0,
                 "information line", table->information ? Utf8(table->information) : "null");
}

void CheckProject(Report& report, const host2::OutputPluginTable& table) {
    Project project;
    report.Check(table.saveProjectConfig(project.Handle()), "saveProjectConfig returns true");
    const Project::Entry* e = project.Find("settings");
    report.Check(project.calls == std::vector<std::string>{"set settings 1016"} && e &&
                     std::string(e->bytes.begin(), e->bytes.end()) == Bytes(DefaultRecord()),
                 "a fresh module stores its defaults under \"settings\", 1016 bytes",
                 project.calls.empty() ? "no call" : project.calls[0]);

    const OutputSettings pattern = PatternRecord();
    Project withRecord;
    withRecord.Set("settings", &pattern, sizeof pattern);
    report.Check(table.loadProjectConfig(withRecord.Handle()) &&
                     withRecord.calls == std::vector<std::string>{"get settings 1016"},
                 "loadProjectConfig asks for exactly 1016 bytes under \"settings\"");
    report.Check(Saved(table) == Bytes(pattern), "the record comes back byte for byte, reserved bytes included");

    // Another size, or no record of ours: the settings stay.
    const std::vector<uint8_t> other(1017, 0x55);
    const struct {
        const char* what;
        const char* key;
        std::size_t size;
    } kept[] = {{"1015 bytes", "settings", 1015}, {"1017 bytes", "settings", 1017}, {"0 bytes", "settings", 0},
                {"no key", "other", 1016}};
    for (const auto& k : kept) {
        Project p;
        p.Set(k.key, other.data(), k.size);
        const bool loaded = table.loadProjectConfig(p.Handle());
        report.Check(loaded && Saved(table) == Bytes(pattern), std::string("a project with ") + k.what + " keeps the settings");
    }

    const struct {
        OutputSettings record;
        const wchar_t* text;
    } summaries[] = {
        {MakeSettings(ReduceMode::PlanarErrorDiffusion, LineSpacing::Auto, false, false, 1.0, 0, ""),
         L"\u5E73\u9762\u8AA4\u5DEE\u62E1\u6563 / \u30AC\u30F3\u30DE 1.0 / ADPCM 15.6kHz Mono"},  // 平面誤差拡散 / ガンマ
        {MakeSettings(ReduceMode::Dither4x4, LineSpacing::Gap, true, true, 1.8, 6, ""),
         L"4x4\u30C7\u30A3\u30B6 / \u30AC\u30F3\u30DE 1.8 / PCM 44.1 kHz Stereo / \u8F1D\u5EA6\u30D3\u30C3\u30C8 / "
         L"\u30BB\u30F3\u30BF\u30EA\u30F3\u30B0(\u6A2A\u30FB\u7E26) / \u884C\u9593 \u7A7A\u3051\u308B"},
    };
    for (const auto& s : summaries) {
        Load(table, s.record);
        const wchar_t* text = table.configText();
        report.Check(text && std::wstring(text) == s.text, "configText: " + Utf8(s.text), text ? Utf8(text) : "null");
    }
    Load(table, DefaultRecord());
}

void CheckDefaultsFile(Report& report, const std::wstring& modulePath, const std::wstring& folder) {
    const std::wstring appData = folder + L"\\appdata";
    CreateDirectoryW(appData.c_str(), nullptr);
    const std::wstring file = appData + L"\\kest_output.settings";
    const OutputSettings chosen = MakeSettings(ReduceMode::TemporalErrorDiffusion, LineSpacing::NoGap, true, true, 2.2, 11, "kest");

    Log log;
    Module m;
    if (!m.Load(report, modulePath, log, appData)) return;
    report.Check(Saved(*m.table) == Bytes(DefaultRecord()) && !Exists(file),
                 "no defaults file: the module's defaults, and no file made");
    Load(*m.table, chosen);
    bool pressed = false;
    const bool cancelled = !ConfigAndPress(*m.table, IDCANCEL, pressed);
    report.Check(pressed && cancelled && !Exists(file), "the dialog cancelled: config returns false, no file written");
    const bool confirmed = ConfigAndPress(*m.table, IDOK, pressed);
    const std::string current = Saved(*m.table);
    report.Check(pressed && confirmed && ReadWholeFile(file) == current && current == Bytes(chosen),
                 "the dialog confirmed: config returns true and the file holds the 1016 bytes of the settings",
                 std::to_string(ReadWholeFile(file).size()) + " bytes in the file");
    report.Check(!Exists(file + L".new"), "no temporary file is left");
    report.Check(log.errors.empty() && log.warnings.empty(), "nothing logged", Messages(log.warnings));
    m.Unload();

    // A new session starts from the file.
    Log log2;
    if (!m.Load(report, modulePath, log2, appData)) return;
    report.Check(Saved(*m.table) == Bytes(chosen), "the next session starts with the confirmed settings");
    m.Unload();

    for (std::size_t size : {std::size_t{0}, std::size_t{1015}, std::size_t{1017}}) {
        WriteWholeFile(file, Bytes(chosen).append(16, 'x').substr(0, size));
        Log log3;
        if (!m.Load(report, modulePath, log3, appData)) return;
        report.Check(Saved(*m.table) == Bytes(DefaultRecord()),
                     "a defaults file of " + std::to_string(size) + " bytes gives the defaults");
        m.Unload();
    }
}

// Nested folders whose names are Japanese, with a character beyond the
// basic plane in the file name: more than 259 characters in all.
std::wstring LongUnicodePath(const std::wstring& folder) {
    std::wstring path = folder;
    for (int level = 0; level < 12; ++level) {
        path += L"\\\u9577\u3044\u30D1\u30B9\u306E\u8A66\u9A13" + std::to_wstring(level) +  // 長いパスの試験
                L"_\u30D5\u30A9\u30EB\u30C0\u30FC\u540D\u3092\u4E26\u3079\u3066\u9577\u304F\u3059\u308B";  // _フォルダー名を並べて長くする
        CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
    }
    return path + L"\\\u52D5\u753B\U0001F3AC.KTD";  // 動画🎬.KTD
}

void CheckExports(Report& report, const host2::OutputPluginTable& table, Log& log, const std::wstring& folder,
                  const std::wstring& fullDevice) {
    const std::vector<ExportCase> cases = ExportCases();
    const ExportCase& first = cases.front();

    // Beyond MAX_PATH, in any Unicode: the same bytes as under a short path.
    const std::wstring shortPath = folder + L"\\short.KTD";
    const std::wstring longPath = LongUnicodePath(folder);
    log = Log{};
    const Case2Run shortRun = RunCase2(table, first, shortPath);
    const Case2Run longRun = RunCase2(table, first, longPath);
    const std::string shortBytes = ReadWholeFile(shortPath);
    HANDLE h = CreateFileW((L"\\\\?\\" + longPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size{};
    const bool opened = h != INVALID_HANDLE_VALUE && GetFileSizeEx(h, &size);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    report.Check(longPath.size() > 259 && shortRun.returned && longRun.returned && opened && !shortBytes.empty() &&
                     size.QuadPart == static_cast<LONGLONG>(shortBytes.size()) && longRun.calls == shortRun.calls &&
                     log.errors.empty(),
                 "a save path of " + std::to_string(longPath.size()) + " characters, Japanese and beyond the basic plane",
                 Messages(log.errors));

    const struct {
        std::string what;
        ExportCase c;
        std::wstring path;
        std::vector<std::wstring> says;
        bool noCallback;
    } failures[] = {
        {"a missing folder", first, folder + L"\\no such folder\\movie.KTD",
         {L"KEST \u51FA\u529B: \u4FDD\u5B58\u5148\u306E\u30D5\u30A9\u30EB\u30C0\u30FC\u304C\u3042\u308A\u307E\u305B\u3093: " +
          folder + L"\\no such folder "},  // 保存先のフォルダーがありません
         true},
        {"a folder as the file", first, folder,
         {L"\u30D5\u30A1\u30A4\u30EB\u3092\u4F5C\u308C\u307E\u305B\u3093\u3067\u3057\u305F: " + folder},  // ファイルを作れませんでした
         true},
        {"a full disk", first, fullDevice,
         {L"\u30C7\u30A3\u30B9\u30AF\u304C\u3044\u3063\u3071\u3044", L"\u3002" L"0 \u30D5\u30EC\u30FC\u30E0\u307E\u3067"},  // ディスクがいっぱい, 。0 フレームまで
         false},
    };
    for (const auto& f : failures) {
        log = Log{};
        const Case2Run run = RunCase2(table, f.c, f.path);
        bool says = log.errors.size() == 1;
        for (const std::wstring& part : f.says) says = says && Contains(log.errors[0], part);
        report.Check(!run.returned && says && (!f.noCallback || run.calls.find("video") == std::string::npos),
                     f.what + ": output returns false and the log says why", Messages(log.errors));
    }

    // Refused before any callback, with the reason and what would work.
    ExportCase none = first;
    none.frames = 0;
    ExportCase slow = first;
    slow.name = "slow";
    slow.rate = 1;
    slow.frames = 3;
    slow.audioRate = 48000;
    slow.audioChannels = 2;
    slow.settings.audioFormatIndex = 5;  // PCM 48 kHz stereo
    const struct {
        std::string what;
        const ExportCase& c;
        std::wstring says;
    } refusals[] = {
        {"no frames", none, L"\u51FA\u529B\u3059\u308B\u30D5\u30EC\u30FC\u30E0\u304C\u3042\u308A\u307E\u305B\u3093"},  // 出力するフレームがありません
        {"PCM at 1 fps", slow,
         L"PCM 48.0 kHz Stereo\u300D\u306E 1 \u30D5\u30EC\u30FC\u30E0\u5206\u306E\u97F3\u58F0\u304C 65535 "  // 」の 1 フレーム分の音声が
         L"\u30D0\u30A4\u30C8\u3092\u8D85\u3048\u307E\u3059\u3002"  // バイトを超えます。
         L"\u30D5\u30EC\u30FC\u30E0\u30EC\u30FC\u30C8\u3092\u4E0A\u3052\u308B\u304B\u3001"  // フレームレートを上げるか、
         L"\u8A2D\u5B9A\u3067\u6B21\u306E\u97F3\u58F0\u5F62\u5F0F\u306E\u3069\u308C\u304B\u3092\u9078\u3093\u3067"  // 設定で次の音声形式のどれかを選んで
         L"\u304F\u3060\u3055\u3044: ADPCM 15.6kHz Mono"},  // ください:
    };
    for (const auto& r : refusals) {
        const std::wstring path = folder + L"\\refused.KTD";
        DeleteFileW(path.c_str());
        log = Log{};
        const Case2Run run = RunCase2(table, r.c, path);
        report.Check(!run.returned && run.calls.empty() && !Exists(path) && log.errors.size() == 1 &&
                         Contains(log.errors[0], r.says),
                     r.what + ": refused untouched, and the log says why", Messages(log.errors));
    }

    // No video: nothing to do, which the host counts as done; the log says
    // why no file came.
    {
        const std::wstring path = folder + L"\\silent.KTD";
        host2::OutputInfo info{};
        info.flag = host2::kInfoAudio;
        info.savePath = path.c_str();
        log = Log{};
        const bool returned = table.output(&info);
        report.Check(returned && !Exists(path) && log.errors.empty() && log.warnings.size() == 1,
                     "no video: true, no file, and a warning", Messages(log.warnings));
    }

    // Cancelled at frame 3: three pictures, true, nothing logged.
    for (const ExportCase& k : cases) {
        if (k.cancelAtFrame < 0) continue;
        log = Log{};
        const Case2Run run = RunCase2(table, k, folder + L"\\cancel.KTD");
        int pictures = 0;
        const std::string calls = "\n" + run.calls;
        for (std::size_t at = 0; (at = calls.find("\nvideo ", at)) != std::string::npos; ++at) ++pictures;
        report.Check(run.returned && pictures == k.cancelAtFrame && log.errors.empty(),
                     "a cancel at frame " + std::to_string(k.cancelAtFrame) + " takes that many pictures and returns true",
                     std::to_string(pictures) + " pictures; " + Messages(log.errors));
    }
}

// The disk fills part way: the log tells after how many frames, which is
// one less than the frames whose progress was shown.
void CheckFill(Report& report, const host2::OutputPluginTable& table, Log& log, const std::wstring& path) {
    const std::vector<ExportCase> cases = ExportCases();
    const ExportCase* big = nullptr;
    for (const ExportCase& c : cases)
        if (c.width == 640 && (!big || c.frames > big->frames)) big = &c;
    log = Log{};
    const Case2Run run = RunCase2(table, *big, path);
    int progress = 0;
    const std::string calls = "\n" + run.calls;
    for (std::size_t at = 0; (at = calls.find("\nprogress ", at)) != std::string::npos; ++at) ++progress;
    const std::wstring frames = L"\u3002" + std::to_wstring(progress - 1) + L" \u30D5\u30EC\u30FC\u30E0\u307E\u3067";  // 。N フレームまで
    report.Check(!run.returned && progress > 1 && log.errors.size() == 1 && Contains(log.errors[0], frames),
                 "a write that fails at frame " + std::to_string(progress - 1) + " is told with the frames written",
                 Messages(log.errors));
}

// The pinned exports, each file by its digest: the same as the 32-bit
// module's and the native build's.
void CheckDigests2(Report& report, const host2::OutputPluginTable& table, const std::wstring& folder) {
    for (const PinnedExport& pinned : PinnedExports()) {
        const std::wstring path = folder + L"\\" + std::wstring(pinned.export_.name.begin(), pinned.export_.name.end()) + L".KTD";
        const Case2Run run = RunCase2(table, pinned.export_, path);
        const std::string digest = kest::testing::FileSha256Hex(Utf8(path));
        report.Check(run.returned && digest == pinned.sha256, "pinned digest of " + pinned.export_.name,
                     std::string("returned ") + (run.returned ? "true" : "false") + ", digest " + digest);
        DeleteFileW(path.c_str());
    }
}

}  // namespace
}  // namespace kest::wine

int main() {
    using namespace kest::wine;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) {
        std::fprintf(stderr, "usage: kest_wine64_host checks|export|digests|timed|fill MODULE PATH, or dialog MODULE [SCREENSHOT.png]\n");
        return 2;
    }
    const std::wstring mode = argv[1], module = argv[2], path = argc > 3 ? argv[3] : L"";
    Report report;
    Log log;
    Module m;
    if (mode == L"checks" && argc >= 4) {
        // The host always names its application-data folder; the first
        // checks have it empty so that no earlier run's defaults count.
        const std::wstring appData = path + L"\\appdata-empty";
        CreateDirectoryW(appData.c_str(), nullptr);
        if (m.Load(report, module, log, appData)) {
            CheckTable(report, m);
            CheckProject(report, *m.table);
            CheckExports(report, *m.table, log, path, argc > 4 ? argv[4] : L"Z:\\dev\\full");
            m.Unload();
            CheckDefaultsFile(report, module, path);
        }
    } else if (mode == L"export" && argc == 4) {
        if (m.Load(report, module, log, L""))
            report.Check(RunAllCases2(*m.table, path) == 0, "case files written to " + Utf8(path));
    } else if (mode == L"digests" && argc == 4) {
        if (m.Load(report, module, log, L"")) CheckDigests2(report, *m.table, path);
    } else if (mode == L"timed" && argc == 4) {
        if (m.Load(report, module, log, L"")) {
            const ExportCase c = TimedCase();
            const std::wstring movie = path + L"\\timed.KTD";
            DeleteFileW(movie.c_str());
            const auto start = std::chrono::steady_clock::now();
            const Case2Run run = RunCase2(*m.table, c, movie);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (report.Check(run.returned, "the timed export completes"))
                std::printf("TIMED %s\n", TimedSummary(c, seconds).c_str());
        }
    } else if (mode == L"fill" && argc == 4) {
        if (m.Load(report, module, log, L"")) CheckFill(report, *m.table, log, path);
    } else if (mode == L"dialog" && argc <= 4) {
        if (m.Load(report, module, log, L"")) RunDialog2Checks(report, *m.table, argc == 4 ? argv[3] : nullptr);
    } else {
        std::fprintf(stderr, "kest_wine64_host: unknown mode or wrong arguments\n");
        return 2;
    }
    return report.Finish();
}
