#include <windows.h>
#include <commctrl.h>

#include <array>

#include "plugin2/config_dialog_unicode.h"
#include "plugin2/wide_text.h"
#include "settings/config_dialog_ids.h"
#include "settings/config_dialog_model.h"
#include "settings/output_settings.h"
#include "sound/audio_format.h"

namespace kest::host2 {
namespace {

LRESULT Send(HWND dialog, int id, UINT message, WPARAM first, LPARAM second) {
    return SendDlgItemMessageW(dialog, id, message, first, second);
}

// Any nonzero answer counts as checked.
bool IsChecked(HWND dialog, int id) { return Send(dialog, id, BM_GETCHECK, 0, 0) != 0; }

void SetChecked(HWND dialog, int id, bool checked) { Send(dialog, id, BM_SETCHECK, checked ? 1 : 0, 0); }

void UpdateGammaLabel(HWND dialog) {
    const auto position = static_cast<int32_t>(Send(dialog, KEST_ID_GAMMA, TBM_GETPOS, 0, 0));
    const auto text = GammaLabelText(position);
    SetDlgItemTextA(dialog, KEST_ID_GAMMA_LABEL, text.data());  // digits, a dot and a space
}

std::wstring ControlText(HWND dialog, int id) {
    const int length = GetWindowTextLengthW(GetDlgItem(dialog, id));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetDlgItemTextW(dialog, id, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void InitialiseDialog(HWND dialog) {
    const DialogControls controls = InitialiseControls(Settings());

    for (int i = 0; i < kReduceModeButtons; ++i) {
        if (controls.reduceModeChecked[i]) SetChecked(dialog, KEST_ID_REDUCE_MODE_FIRST + i, true);
    }

    // One tick per tenth; arrow keys, Page Up/Down and clicks beside the
    // thumb all move by one.
    Send(dialog, KEST_ID_GAMMA, TBM_SETRANGE, TRUE, MAKELPARAM(kGammaPositionMin, kGammaPositionMax));
    Send(dialog, KEST_ID_GAMMA, TBM_SETTICFREQ, 1, 0);
    Send(dialog, KEST_ID_GAMMA, TBM_SETPAGESIZE, 0, 1);
    Send(dialog, KEST_ID_GAMMA, TBM_SETPOS, TRUE, controls.gammaPosition);
    UpdateGammaLabel(dialog);

    for (int i = 0; i < kLineSpacingButtons; ++i) {
        if (controls.lineSpacingChecked[i]) SetChecked(dialog, KEST_ID_LINE_SPACING_FIRST + i, true);
    }

    SetChecked(dialog, KEST_ID_CENTER_HORIZONTALLY, controls.centerHorizontally);
    SetChecked(dialog, KEST_ID_CENTER_VERTICALLY, controls.centerVertically);
    SetChecked(dialog, KEST_ID_USE_INTENSITY_BIT, controls.useIntensityBit);

    // Unsorted, so that a position in the list is a row of the table; -1
    // leaves no selection.
    for (const AudioFormat& format : kAudioFormats) {
        const std::wstring label = WideFromCp932(format.label, std::char_traits<char>::length(format.label));
        Send(dialog, KEST_ID_AUDIO_FORMAT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    Send(dialog, KEST_ID_AUDIO_FORMAT, CB_SETCURSEL, static_cast<WPARAM>(controls.audioSelection), 0);

    // The record keeps 983 bytes of code page 932; the control counts
    // characters, so the byte limit is applied when OK reads the text back.
    Send(dialog, KEST_ID_COMMENT, EM_LIMITTEXT, kCommentLimit - 1, 0);
    SetDlgItemTextW(dialog, KEST_ID_COMMENT, WideFromCp932(controls.comment.data(), controls.comment.size()).c_str());
}

void ReadBackDialog(HWND dialog) {
    DialogControls controls{};
    // The last colour-reduction button is never asked: read-back takes it
    // when none of the others is checked.
    for (int i = 0; i < kReduceModeButtons - 1; ++i) {
        controls.reduceModeChecked[i] = IsChecked(dialog, KEST_ID_REDUCE_MODE_FIRST + i);
    }
    controls.gammaPosition = static_cast<int32_t>(Send(dialog, KEST_ID_GAMMA, TBM_GETPOS, 0, 0));
    for (int i = 0; i < kLineSpacingButtons; ++i) {
        controls.lineSpacingChecked[i] = IsChecked(dialog, KEST_ID_LINE_SPACING_FIRST + i);
    }
    controls.centerHorizontally = IsChecked(dialog, KEST_ID_CENTER_HORIZONTALLY);
    controls.centerVertically = IsChecked(dialog, KEST_ID_CENTER_VERTICALLY);
    controls.useIntensityBit = IsChecked(dialog, KEST_ID_USE_INTENSITY_BIT);
    // CB_ERR (-1) when nothing is selected.
    controls.audioSelection = static_cast<int32_t>(Send(dialog, KEST_ID_AUDIO_FORMAT, CB_GETCURSEL, 0, 0));
    // Cut before the character that would pass 983 bytes, never inside one.
    controls.comment = Cp932FromWide(ControlText(dialog, KEST_ID_COMMENT), kCommentBytes - 1);
    ReadBackControls(controls, Settings());
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        InitialiseDialog(dialog);
        return 1;  // focus to the first tab stop, the trackbar
    case WM_COMMAND:
        // The control id only, never the notification code.
        switch (LOWORD(first)) {
        case IDOK:
            ReadBackDialog(dialog);
            EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:  // also Esc and the close box
            EndDialog(dialog, IDCANCEL);
            break;
        default:
            break;
        }
        return 0;
    case WM_HSCROLL:  // only the trackbar sends it
        UpdateGammaLabel(dialog);
        return 0;
    default:
        return 0;
    }
}

// The template is in this module, whatever instance the host passes.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ConfigDialogProc), &module);
    return module;
}

}  // namespace

bool ShowUnicodeConfigDialog(void* parentWindow) {
    // The template names the trackbar class; a host that has not registered
    // the common controls would otherwise get no dialog at all.
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    return DialogBoxParamW(ThisModule(), L"CONFIG", static_cast<HWND>(parentWindow), ConfigDialogProc, 0) == IDOK;
}

}  // namespace kest::host2
