// The main thread opens the dialog through the table's config entry and waits
// in the module's modal loop; a second thread finds the dialog, reads its
// controls, moves them with the messages that a user's clicks and keys
// produce, and closes it. All texts cross the ANSI functions, so under a
// Japanese locale they are Shift-JIS bytes.
#include "dialog_check_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "screenshot_win32.h"
#include "settings/config_dialog_ids.h"
#include "settings/output_settings.h"

namespace kest::wine {
namespace {

// Wine may run under a user-mode emulator, where the first dialog of a
// process (which loads the common controls) takes many seconds to show.
constexpr DWORD kOpenTimeoutMs = 120000;
constexpr DWORD kCloseTimeoutMs = 30000;

// "KEST (KTD) 出力の設定"
constexpr char kCaption[] = "KEST (KTD) \x8F\x6F\x97\xCD\x82\xCC\x90\xDD\x92\xE8";
// "ｷｬﾝｾﾙ", half-width katakana
constexpr char kCancelText[] = "\xB7\xAC\xDD\xBE\xD9";
// "KESTテスト：表示ソフト": 表 and ソ have 0x5C ('\') as their second byte.
constexpr char kJapaneseComment[] = "KEST\x83\x65\x83\x58\x83\x67\x81\x46\x95\x5C\x8E\xA6\x83\x5C\x83\x74\x83\x67";
// "一行目", a line break, "二行目"
constexpr char kTwoLineComment[] = "\x88\xEA\x8D\x73\x96\xDA\r\n\x93\xF1\x8D\x73\x96\xDA";

constexpr const char* kAudioTexts[] = {
    "ADPCM 15.6kHz Mono",   "ADPCM 10.4kHz Mono",   "ADPCM  7.8kHz Mono",   "ADPCM  5.2kHz Mono",
    "ADPCM  3.9kHz Mono",   "PCM 48.0 kHz  Stereo", "PCM 44.1 kHz  Stereo", "PCM 32.0 kHz  Stereo",
    "PCM 24.0 kHz  Stereo", "PCM 22.05kHz  Stereo", "PCM 16.0 kHz  Stereo", "PCM 48.0 kHz  Mono",
    "PCM 44.1 kHz  Mono",   "PCM 32.0 kHz  Mono",   "PCM 24.0 kHz  Mono",   "PCM 22.05kHz  Mono",
    "PCM 16.0 kHz  Mono",
};

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[4];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%s%02X", out.empty() ? "" : " ", c);
        out += two;
    }
    return out;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\" (" + Hex(text) + ")"; }

// ---- the record -------------------------------------------------------

OutputSettings DefaultRecord() {
    OutputSettings s;
    std::memset(&s, 0, sizeof s);
    s.gamma = 1.0;
    return s;
}

// Every byte of the comment and the reserved bytes hold a pattern, so that
// bytes the dialog must not touch are seen to stay.
OutputSettings PatternRecord() {
    OutputSettings s;
    auto* bytes = reinterpret_cast<uint8_t*>(&s);
    for (std::size_t i = 0; i < sizeof s; ++i) bytes[i] = static_cast<uint8_t>(0x40 + i % 61);
    return s;
}

void SetComment(OutputSettings& s, const char* text) { std::memcpy(s.comment, text, std::strlen(text) + 1); }

OutputSettings Record(const OutputPluginTable& table) {
    OutputSettings s;
    table.configGet(&s);
    return s;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The fields that differ, with both values; empty when all 1016 bytes agree.
std::string Differences(const OutputSettings& expected, const OutputSettings& found) {
    std::string out;
    auto field = [&out](const char* name, const std::string& e, const std::string& f) {
        if (e != f) out += std::string(out.empty() ? "" : "; ") + name + " expected " + e + ", found " + f;
    };
    field("reduceMode", std::to_string(expected.reduceMode), std::to_string(found.reduceMode));
    field("lineSpacing", std::to_string(expected.lineSpacing), std::to_string(found.lineSpacing));
    field("useIntensityBit", std::to_string(expected.useIntensityBit), std::to_string(found.useIntensityBit));
    field("centerHorizontally", std::to_string(expected.centerHorizontally), std::to_string(found.centerHorizontally));
    field("centerVertically", std::to_string(expected.centerVertically), std::to_string(found.centerVertically));
    field("gamma", Number(expected.gamma), Number(found.gamma));
    if (std::memcmp(&expected.gamma, &found.gamma, sizeof expected.gamma) != 0 && out.find("gamma") == std::string::npos)
        out += std::string(out.empty() ? "" : "; ") + "gamma differs in its bits";
    for (std::size_t i = 0; i < kCommentBytes; ++i) {
        if (expected.comment[i] != found.comment[i]) {
            field("comment", Hex(std::string(expected.comment, kCommentBytes).substr(i, 24)) + " at byte " + std::to_string(i),
                  Hex(std::string(found.comment, kCommentBytes).substr(i, 24)));
            break;
        }
    }
    field("audioFormatIndex", std::to_string(expected.audioFormatIndex), std::to_string(found.audioFormatIndex));
    field("reserved", Hex(std::string(reinterpret_cast<const char*>(expected.reserved), sizeof expected.reserved)),
          Hex(std::string(reinterpret_cast<const char*>(found.reserved), sizeof found.reserved)));
    return out;
}

// ---- the dialog's window ------------------------------------------------

struct FindState {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindConfigDialog(HWND window, LPARAM param) {
    auto& state = *reinterpret_cast<FindState*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    // Visible only once WM_INITDIALOG has set every control.
    if (process == state.process && std::strcmp(className, "#32770") == 0 && GetDlgItem(window, KEST_ID_GAMMA) &&
        IsWindowVisible(window)) {
        state.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog() {
    FindState state = {GetCurrentProcessId(), nullptr};
    EnumWindows(FindConfigDialog, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

bool WaitUntil(DWORD timeoutMs, const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

LRESULT Send(HWND dialog, int id, UINT message, WPARAM first = 0, LPARAM second = 0) {
    return SendDlgItemMessageA(dialog, id, message, first, second);
}

std::string ControlText(HWND dialog, int id) {
    char text[2048] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The ids among `first`..`first + count - 1` whose button is checked.
std::string CheckedIds(HWND dialog, int first, int count) {
    std::string out;
    for (int id = first; id < first + count; ++id) {
        if (IsDlgButtonChecked(dialog, id) == BST_UNCHECKED) continue;
        if (!out.empty()) out += ' ';
        out += std::to_string(id);
    }
    return out.empty() ? "none" : out;
}

std::string Gamma(HWND dialog) {
    return std::to_string(Send(dialog, KEST_ID_GAMMA, TBM_GETPOS)) + " \"" + ControlText(dialog, KEST_ID_GAMMA_LABEL) + "\"";
}

// A key pressed and let go on the trackbar: the control moves and reports
// to the dialog with WM_HSCROLL, as it does for a user.
void PressKey(HWND dialog, WPARAM key, int times = 1) {
    HWND trackbar = GetDlgItem(dialog, KEST_ID_GAMMA);
    for (int i = 0; i < times; ++i) {
        SendMessageA(trackbar, WM_KEYDOWN, key, 1);
        SendMessageA(trackbar, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    }
}

// ---- one opening of the dialog -----------------------------------------

struct Opening {
    Report& report;
    std::string name;                       // begins every check line
    std::function<void(HWND dialog)> steps;  // must end by closing the dialog
    volatile LONG configReturned = 0;

    bool Check(bool ok, const std::string& what, const std::string& detail = {}) {
        return report.Check(ok, name + ": " + what, detail);
    }
    bool Same(const std::string& what, const std::string& expected, const std::string& found) {
        return Check(expected == found, what, "expected " + expected + ", found " + found);
    }
    // Waits for the dialog to go after the step that should close it.
    void Closes(HWND dialog, const std::string& how) {
        Check(WaitUntil(kCloseTimeoutMs, [dialog] { return !IsWindow(dialog); }), how + " closes the dialog",
              "still open after " + std::to_string(kCloseTimeoutMs / 1000) + " s");
    }
};

DWORD WINAPI DriveDialog(void* param) {
    Opening& opening = *static_cast<Opening*>(param);
    HWND dialog = nullptr;
    WaitUntil(kOpenTimeoutMs, [&] {
        dialog = FindDialog();
        return dialog != nullptr || opening.configReturned != 0;
    });
    if (opening.Check(dialog != nullptr, "the dialog opens",
                      opening.configReturned ? "the config entry returned without showing it"
                                             : "no dialog after " + std::to_string(kOpenTimeoutMs / 1000) + " s")) {
        opening.steps(dialog);
    }
    // However the steps ended, the modal loop must end or the host would
    // hang: a dialog still open is cancelled until the config entry returns.
    while (opening.configReturned == 0) {
        if (HWND left = FindDialog()) PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
        Sleep(200);
    }
    return 0;
}

// Sets `record`, opens the dialog with the steps running beside it, and
// checks what the config entry returns. Gives the record afterwards.
OutputSettings Open(const OutputPluginTable& table, HMODULE module, Opening& opening, const OutputSettings& record) {
    table.configSet(&record, kConfigBlobSize);
    HANDLE thread = CreateThread(nullptr, 0, DriveDialog, &opening, 0, nullptr);
    if (!opening.Check(thread != nullptr, "a second thread drives the dialog",
                       "CreateThread failed with error " + std::to_string(GetLastError())))
        return Record(table);
    const int32_t returned = table.config(nullptr, module);
    InterlockedExchange(&opening.configReturned, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    opening.Same("the config entry returns 1", "1", std::to_string(returned));
    return Record(table);
}

// What the controls show for a record.
struct Shown {
    int reduceId;
    std::string gamma;  // position and label
    int spacingId;
    std::string checkBoxes;
    int audio;  // -1: no selection
    std::string comment;
};

void CheckShown(Opening& o, HWND dialog, const Shown& e) {
    o.Same("colour reduction button", std::to_string(e.reduceId), CheckedIds(dialog, KEST_ID_REDUCE_MODE_FIRST, 6));
    o.Same("trackbar position and label", e.gamma, Gamma(dialog));
    o.Same("line spacing button", std::to_string(e.spacingId), CheckedIds(dialog, KEST_ID_LINE_SPACING_FIRST, 3));
    o.Same("check boxes", e.checkBoxes, CheckedIds(dialog, KEST_ID_CENTER_HORIZONTALLY, 3));
    o.Same("audio selection", std::to_string(e.audio), std::to_string(Send(dialog, KEST_ID_AUDIO_FORMAT, CB_GETCURSEL)));
    o.Same("comment bytes", Quoted(e.comment), Quoted(ControlText(dialog, KEST_ID_COMMENT)));
}

void CheckRecord(Opening& o, const std::string& what, const OutputSettings& expected, const OutputSettings& found) {
    const std::string differences = Differences(expected, found);
    o.Check(differences.empty() && std::memcmp(&expected, &found, sizeof found) == 0, what, differences);
}

void CheckLayout(Opening& o, HWND dialog) {
    o.Same("caption", Quoted(kCaption), Quoted(WindowText(dialog)));
    o.Same("cancel button text", Quoted(kCancelText), Quoted(ControlText(dialog, IDCANCEL)));
    o.Same("trackbar range", "1-30",
           std::to_string(Send(dialog, KEST_ID_GAMMA, TBM_GETRANGEMIN)) + "-" +
               std::to_string(Send(dialog, KEST_ID_GAMMA, TBM_GETRANGEMAX)));
    std::string expected, found;
    for (const char* text : kAudioTexts) expected += std::string(expected.empty() ? "" : "|") + text;
    const auto count = static_cast<int>(Send(dialog, KEST_ID_AUDIO_FORMAT, CB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        if (Send(dialog, KEST_ID_AUDIO_FORMAT, CB_GETLBTEXTLEN, static_cast<WPARAM>(i)) < static_cast<LRESULT>(sizeof text))
            Send(dialog, KEST_ID_AUDIO_FORMAT, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        found += std::string(found.empty() ? "" : "|") + text;
    }
    o.Same("the audio list in row order", expected, found);
}

}  // namespace

void RunDialogChecks(Report& report, const OutputPluginTable& table, HMODULE module, const char* screenshot) {
    // Defaults: OK without a change leaves all 1016 bytes as they were.
    {
        Opening o{report, "defaults", {}};
        o.steps = [&o](HWND dialog) {
            CheckLayout(o, dialog);
            CheckShown(o, dialog, {110, "10 \" 1.0\"", 100, "none", 0, ""});
            Send(dialog, IDOK, BM_CLICK);
            o.Closes(dialog, "OK");
        };
        const OutputSettings before = DefaultRecord();
        CheckRecord(o, "OK without a change stores the same bytes", before, Open(table, module, o, before));
    }

    // Every field set: shown as stored, then changed as a user would and
    // confirmed. The picture, when asked for, is taken with the stored state
    // on show, Japanese comment included.
    {
        OutputSettings before = PatternRecord();
        before.reduceMode = 5;
        before.lineSpacing = 2;
        before.useIntensityBit = 7;
        before.centerHorizontally = -1;
        before.centerVertically = 1;
        before.gamma = 2.99;
        before.audioFormatIndex = 16;
        SetComment(before, kJapaneseComment);

        Opening o{report, "every field set", {}};
        o.steps = [&o, &table, screenshot](HWND dialog) {
            CheckShown(o, dialog, {115, "29 \" 2.9\"", 102, "130 131 132", 16, kJapaneseComment});
            o.Same("gamma is written back as the dialog opens", Number(29 / 10.0), Number(Record(table).gamma));
            if (screenshot) {
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
                Sleep(1000);
                std::string detail;
                o.Check(SaveWindowPicture(dialog, screenshot, detail), std::string("picture saved to ") + screenshot, detail);
            }

            Send(dialog, KEST_ID_REDUCE_MODE_FIRST + 2, BM_CLICK);
            o.Same("a click on 4x4 moves the check within its group", "112",
                   CheckedIds(dialog, KEST_ID_REDUCE_MODE_FIRST, 6));
            struct Move {
                WPARAM key;
                int times;
                const char* shown;
            };
            for (const Move& m : {Move{VK_HOME, 1, "1 \" 0.1\""}, Move{VK_END, 1, "30 \" 3.0\""},
                                  Move{VK_RIGHT, 1, "30 \" 3.0\""}, Move{VK_LEFT, 7, "23 \" 2.3\""},
                                  Move{VK_NEXT, 1, "24 \" 2.4\""}, Move{VK_PRIOR, 1, "23 \" 2.3\""}}) {
                PressKey(dialog, m.key, m.times);
                o.Same("the label follows the trackbar key " + std::to_string(m.key) + " x" + std::to_string(m.times),
                       m.shown, Gamma(dialog));
            }
            Send(dialog, KEST_ID_LINE_SPACING_FIRST, BM_CLICK);
            Send(dialog, KEST_ID_CENTER_VERTICALLY, BM_CLICK);
            Send(dialog, KEST_ID_AUDIO_FORMAT, CB_SETCURSEL, 6);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(KEST_ID_AUDIO_FORMAT, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, KEST_ID_AUDIO_FORMAT)));
            SendDlgItemMessageA(dialog, KEST_ID_COMMENT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kTwoLineComment));
            CheckShown(o, dialog, {112, "23 \" 2.3\"", 100, "130 132", 6, kTwoLineComment});
            Send(dialog, IDOK, BM_CLICK);
            o.Closes(dialog, "OK");
        };
        OutputSettings expected = before;
        expected.reduceMode = 2;
        expected.lineSpacing = 0;
        expected.useIntensityBit = 1;
        expected.centerHorizontally = 1;
        expected.centerVertically = 0;
        expected.gamma = 23 / 10.0;
        expected.audioFormatIndex = 6;
        SetComment(expected, kTwoLineComment);  // the older text's tail stays behind the zero
        CheckRecord(o, "OK stores every control, reserved bytes and the comment's tail unchanged", expected,
                    Open(table, module, o, before));
    }

    // Values the controls cannot show fall back; OK without touching them
    // stores the fallbacks; a comment of 984 bytes is stored as 983.
    {
        OutputSettings before = PatternRecord();
        before.reduceMode = 9;
        before.lineSpacing = 7;
        before.useIntensityBit = 0;
        before.centerHorizontally = 0;
        before.centerVertically = 0;
        before.gamma = 5.0;
        before.audioFormatIndex = 17;
        SetComment(before, "short");
        const std::string longComment(984, 'x');

        Opening o{report, "values out of range", {}};
        o.steps = [&o, &longComment](HWND dialog) {
            CheckShown(o, dialog, {110, "30 \" 3.0\"", 100, "none", -1, "short"});
            SendDlgItemMessageA(dialog, KEST_ID_COMMENT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longComment.c_str()));
            Send(dialog, IDOK, BM_CLICK);
            o.Closes(dialog, "OK");
        };
        OutputSettings expected = before;
        expected.reduceMode = 0;
        expected.lineSpacing = 0;
        expected.gamma = 3.0;
        expected.audioFormatIndex = -1;
        SetComment(expected, longComment.substr(0, 983).c_str());
        CheckRecord(o, "OK stores the fallbacks, no selection as -1 and the comment cut to 983 bytes", expected,
                    Open(table, module, o, before));
    }

    // Cancel by Esc and by the close box: nothing changed stays, but the
    // gamma keeps the tenth it was normalised to on opening.
    struct Cancel {
        const char* name;
        double gamma;
        const char* shown;
        double stored;
        UINT message;
        WPARAM first;
    };
    for (const Cancel& c : {Cancel{"Esc", 0.15, "1 \" 0.1\"", 0.1, WM_KEYDOWN, VK_ESCAPE},
                            Cancel{"the close box", 0.05, "1 \" 0.1\"", 0.1, WM_SYSCOMMAND, SC_CLOSE}}) {
        OutputSettings before = PatternRecord();
        before.reduceMode = 3;
        before.lineSpacing = 1;
        before.useIntensityBit = 0;
        before.centerHorizontally = 0;
        before.centerVertically = 1;
        before.gamma = c.gamma;
        before.audioFormatIndex = 9;
        SetComment(before, kJapaneseComment);

        Opening o{report, std::string("cancel by ") + c.name, {}};
        o.steps = [&o, &c](HWND dialog) {
            CheckShown(o, dialog, {113, c.shown, 101, "131", 9, kJapaneseComment});
            // Changes that the cancel must drop.
            Send(dialog, KEST_ID_REDUCE_MODE_FIRST, BM_CLICK);
            Send(dialog, KEST_ID_USE_INTENSITY_BIT, BM_CLICK);
            PressKey(dialog, VK_END);
            SendDlgItemMessageA(dialog, KEST_ID_COMMENT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("dropped"));
            // Posted, so that it passes the modal loop as a real key or
            // click does: Esc reaches the dialog manager through the
            // trackbar, the close box through the dialog's system menu.
            HWND target = c.message == WM_KEYDOWN ? GetDlgItem(dialog, KEST_ID_GAMMA) : dialog;
            PostMessageA(target, c.message, c.first, c.message == WM_KEYDOWN ? 1 : 0);
            o.Closes(dialog, c.name);
        };
        OutputSettings expected = before;
        expected.gamma = c.stored;
        CheckRecord(o, "the record holds the normalised gamma and nothing else changed", expected,
                    Open(table, module, o, before));
    }
}

}  // namespace kest::wine
