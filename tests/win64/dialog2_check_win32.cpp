#include "dialog2_check_win32.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "editor2_host.h"
#include "screenshot_win32.h"
#include "settings/config_dialog_ids.h"
#include "settings/output_settings.h"

namespace kest::wine {
namespace {

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Cp932(const std::wstring& text) {
    const int n = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Text(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

BOOL CALLBACK FindOne(HWND window, LPARAM param) {
    auto& found = *reinterpret_cast<HWND*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    // Visible only once WM_INITDIALOG has set every control.
    if (process == GetCurrentProcessId() && std::wstring(className) == L"#32770" && GetDlgItem(window, KEST_ID_GAMMA) &&
        IsWindowVisible(window)) {
        found = window;
        return FALSE;
    }
    return TRUE;
}

// "KESTテスト：表示ソフト": 表 and ソ end in 0x5C in code page 932.
const wchar_t kComment[] = L"KEST\u30C6\u30B9\u30C8\uFF1A\u8868\u793A\u30BD\u30D5\u30C8";

struct Session {
    Report* report;
    const wchar_t* screenshot;
    std::wstring longComment;
    bool done = false;
};

bool Checked(HWND d, int id) { return SendDlgItemMessageW(d, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

DWORD WINAPI Drive(void* param) {
    auto& s = *static_cast<Session*>(param);
    Report& report = *s.report;
    HWND d = nullptr;
    for (int i = 0; i < 2400 && !d; ++i) {
        Sleep(50);
        d = FindConfigDialog();
    }
    if (!report.Check(d != nullptr, "the dialog opens")) return 0;

    report.Check(Text(d) == L"KEST (KTD) \u51FA\u529B\u306E\u8A2D\u5B9A", "caption in Japanese", Utf8(Text(d)));
    report.Check(Text(GetDlgItem(d, IDCANCEL)) == L"\uFF77\uFF6C\uFF9D\uFF7E\uFF99", "cancel button text",
                 Utf8(Text(GetDlgItem(d, IDCANCEL))));
    bool reduce = true;
    for (int i = 0; i < 6; ++i) reduce = reduce && Checked(d, KEST_ID_REDUCE_MODE_FIRST + i) == (i == 5);
    report.Check(reduce, "the record's colour reduction is the one checked");
    report.Check(SendDlgItemMessageW(d, KEST_ID_GAMMA, TBM_GETPOS, 0, 0) == 18 &&
                     Text(GetDlgItem(d, KEST_ID_GAMMA_LABEL)) == L" 1.8",
                 "gamma 1.8 on the trackbar and its label", Utf8(Text(GetDlgItem(d, KEST_ID_GAMMA_LABEL))));
    report.Check(Checked(d, KEST_ID_LINE_SPACING_FIRST + 1) && Checked(d, KEST_ID_CENTER_HORIZONTALLY) &&
                     Checked(d, KEST_ID_CENTER_VERTICALLY) && Checked(d, KEST_ID_USE_INTENSITY_BIT),
                 "line spacing, centring and the intensity bit as recorded");
    wchar_t item[64] = {};
    SendDlgItemMessageW(d, KEST_ID_AUDIO_FORMAT, CB_GETLBTEXT, 6, reinterpret_cast<LPARAM>(item));
    report.Check(SendDlgItemMessageW(d, KEST_ID_AUDIO_FORMAT, CB_GETCOUNT, 0, 0) == 17 &&
                     SendDlgItemMessageW(d, KEST_ID_AUDIO_FORMAT, CB_GETCURSEL, 0, 0) == 6 &&
                     std::wstring(item) == L"PCM 44.1 kHz  Stereo",
                 "17 sound formats, row 6 selected", Utf8(item));
    report.Check(Text(GetDlgItem(d, KEST_ID_COMMENT)) == kComment, "the comment from code page 932",
                 Utf8(Text(GetDlgItem(d, KEST_ID_COMMENT))));

    if (s.screenshot) {
        std::string detail;
        char path[MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, s.screenshot, -1, path, MAX_PATH, nullptr, nullptr);
        Sleep(500);  // let the controls paint
        report.Check(SaveWindowPicture(d, path, detail), std::string("screenshot ") + path, detail);
    }

    // A user's changes: 2x2 dither, gamma 2.5, a comment longer than the
    // record holds; then OK.
    SendDlgItemMessageW(d, KEST_ID_REDUCE_MODE_FIRST + 1, BM_CLICK, 0, 0);
    SendDlgItemMessageW(d, KEST_ID_GAMMA, TBM_SETPOS, TRUE, 25);
    SendMessageW(d, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(GetDlgItem(d, KEST_ID_GAMMA)));
    SetDlgItemTextW(d, KEST_ID_COMMENT, s.longComment.c_str());
    SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, IDOK)));
    s.done = true;
    return 0;
}

}  // namespace

HWND FindConfigDialog() {
    HWND found = nullptr;
    EnumWindows(FindOne, reinterpret_cast<LPARAM>(&found));
    return found;
}

void RunDialog2Checks(Report& report, const host2::OutputPluginTable& table, const wchar_t* screenshot) {
    OutputSettings record = MakeSettings(ReduceMode::PlanarErrorDiffusion, LineSpacing::NoGap, true, true, 1.8, 6, "");
    const std::string comment = Cp932(kComment);
    std::memcpy(record.comment, comment.c_str(), comment.size() + 1);
    Project project;
    project.Set("settings", &record, sizeof record);
    table.loadProjectConfig(project.Handle());

    Session s{&report, screenshot, {}};
    // 600 characters of two bytes each: the record keeps the first 491
    // (982 bytes), never half a character.
    for (int i = 0; i < 600; ++i) s.longComment += static_cast<wchar_t>(0x3042 + i % 80);  // hiragana
    HANDLE thread = CreateThread(nullptr, 0, Drive, &s, 0, nullptr);
    const bool confirmed = table.config(nullptr, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (!s.done) return;
    report.Check(confirmed, "OK: config returns true");

    Project saved;
    table.saveProjectConfig(saved.Handle());
    const Project::Entry* e = saved.Find("settings");
    if (!report.Check(e && e->bytes.size() == sizeof(OutputSettings), "the settings are stored")) return;
    OutputSettings got;
    std::memcpy(&got, e->bytes.data(), sizeof got);
    OutputSettings expected = record;
    expected.reduceMode = 1;
    expected.gamma = 2.5;
    const std::string cut = Cp932(s.longComment.substr(0, 491));
    std::memcpy(expected.comment, cut.c_str(), cut.size() + 1);
    report.Check(std::memcmp(&got, &expected, sizeof got) == 0, "OK stores the user's changes, the comment cut at 982 bytes",
                 "reduce " + std::to_string(got.reduceMode) + ", comment " + std::to_string(std::strlen(got.comment)) +
                     " bytes");
}

}  // namespace kest::wine
