#include <windows.h>
#include <commctrl.h>

#include "settings/config_dialog.h"
#include "settings/config_dialog_ids.h"
#include "settings/config_dialog_model.h"
#include "settings/output_settings.h"
#include "sound/audio_format.h"

namespace kest {
namespace {

LRESULT Send(HWND dialog, int id, UINT message, WPARAM first, LPARAM second) {
    return SendDlgItemMessageA(dialog, id, message, first, second);
}

// Any nonzero answer counts as checked.
bool IsChecked(HWND dialog, int id) { return Send(dialog, id, BM_GETCHECK, 0, 0) != 0; }

void SetChecked(HWND dialog, int id, bool checked) { Send(dialog, id, BM_SETCHECK, checked ? 1 : 0, 0); }

void UpdateGammaLabel(HWND dialog) {
    const auto position = static_cast<int32_t>(Send(dialog, KEST_ID_GAMMA, TBM_GETPOS, 0, 0));
    const auto text = GammaLabelText(position);
    SetWindowTextA(GetDlgItem(dialog, KEST_ID_GAMMA_LABEL), text.data());
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
        Send(dialog, KEST_ID_AUDIO_FORMAT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(format.label));
    }
    Send(dialog, KEST_ID_AUDIO_FORMAT, CB_SETCURSEL, static_cast<WPARAM>(controls.audioSelection), 0);

    Send(dialog, KEST_ID_COMMENT, EM_LIMITTEXT, kCommentLimit, 0);
    SetDlgItemTextA(dialog, KEST_ID_COMMENT, controls.comment.c_str());
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

    // The control's text, read with the limit: at most 983 bytes and a zero.
    char text[kCommentBytes] = {};
    GetDlgItemTextA(dialog, KEST_ID_COMMENT, text, kCommentLimit);
    controls.comment = text;

    OutputSettings& settings = Settings();
    ReadBackControls(controls, settings);

    // The cut text goes back into the control and is read once more, so the
    // record holds the control's own reading of it (a cut inside a
    // double-byte character is the control's to resolve).
    SetDlgItemTextA(dialog, KEST_ID_COMMENT, settings.comment);
    GetDlgItemTextA(dialog, KEST_ID_COMMENT, settings.comment, kCommentLimit);
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
            EndDialog(dialog, 1);
            break;
        case IDCANCEL:  // also Esc and the close box
            EndDialog(dialog, 2);
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

}  // namespace

int32_t KEST_CDECL ShowConfigDialog(void* parentWindow, void* instance) {
    // The template names the trackbar class; a host that has not registered
    // the common controls would otherwise get no dialog at all.
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    DialogBoxParamA(static_cast<HINSTANCE>(instance), "CONFIG", static_cast<HWND>(parentWindow), ConfigDialogProc, 0);
    return 1;
}

}  // namespace kest
