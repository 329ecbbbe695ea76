#include "Win32Dialogs.h"

#include "BuilderTexts.h"
#include "PickerSession.h"
#include "Win32Resources.h"
#include "windows/WideText.h"

namespace mivra::win32 {

namespace {

namespace texts = builder::texts;

// The dialog over a picker session: the session decides, the dialog draws.
struct PickerState {
    explicit PickerState(const SourceServices& services)
        : session(services, [this](const std::string& message) { showMessage(window, message); }) {}

    PickerSession session;
    HWND window = nullptr;
    std::string fileText;
    // Set while the dialog writes File itself: only the user's edits count.
    bool showing = false;

    HWND item(int id) const { return GetDlgItem(window, id); }
};

INT_PTR CALLBACK progIdProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        setDialogTexts(window, texts::progIdTitle,
                       {{IDC_PROGID_LABEL, texts::progIdLabel}, {IDOK, texts::okButton}, {IDCANCEL, texts::cancelButton}});
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            std::string text = windowText(GetDlgItem(window, IDC_PROGID));
            if (text.empty()) {
                showMessage(window, texts::progIdMissing);
                return TRUE;
            }
            *reinterpret_cast<std::string*>(GetWindowLongPtrW(window, DWLP_USER)) = text;
            EndDialog(window, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void showSession(PickerState& state) {
    state.showing = true;
    auto line = state.session.highlightedLine();
    SendMessageW(state.item(IDC_LIBRARY_LIST), LB_SETCURSEL, line ? static_cast<WPARAM>(*line) : static_cast<WPARAM>(-1),
                 0);
    if (windowText(state.item(IDC_FILE)) != state.session.fileText())
        setWindowText(state.item(IDC_FILE), state.session.fileText());
    state.showing = false;
}

// Loads the process's list of registered libraries (the first opening
// only, under a wait cursor) and shows its lines in the session's order.
void fillList(PickerState& state) {
    if (state.session.needsLoading()) {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        state.session.load();
        SetCursor(previous);
    }
    HWND box = state.item(IDC_LIBRARY_LIST);
    for (const std::string& line : state.session.lines())
        SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wideText(line).c_str()));
}

void locateByProgId(PickerState& state) {
    std::string progId;
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGID), state.window, progIdProc,
                        reinterpret_cast<LPARAM>(&progId)) != IDOK)
        return;
    state.session.locate(progId);
    showSession(state);
}

// Cuts the list to a whole number of rows, so that its last row is never
// half shown: Windows does so itself for a list box of this style, Wine not.
void fitListToWholeRows(HWND list) {
    const LRESULT row = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    RECT outer, inner;
    if (row <= 0 || !GetWindowRect(list, &outer) || !GetClientRect(list, &inner) || inner.bottom <= row) return;
    const int cut = inner.bottom % static_cast<int>(row);
    if (cut)
        SetWindowPos(list, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top - cut,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK pickerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<PickerState*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<PickerState*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        state->window = window;
        setDialogTexts(window, texts::pickerTitle,
                       {{IDC_FILE_LABEL, texts::fileLabel},
                        {IDC_BROWSE_FILE, texts::browseButton},
                        {IDC_LIST_PROMPT, texts::listPrompt},
                        {IDC_LOCATE_PROMPT, texts::locatePrompt},
                        {IDC_LOCATE, texts::locateButton},
                        {IDOK, texts::okButton},
                        {IDCANCEL, texts::cancelButton}});
        fillList(*state);
        fitListToWholeRows(state->item(IDC_LIBRARY_LIST));
        return TRUE;
    case WM_COMMAND:
        if (!state) break;
        switch (LOWORD(wParam)) {
        case IDC_LIBRARY_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE && !state->showing) {
                LRESULT line = SendMessageW(state->item(IDC_LIBRARY_LIST), LB_GETCURSEL, 0, 0);
                if (line != LB_ERR) state->session.chooseLine(static_cast<size_t>(line));
                showSession(*state);
            }
            return TRUE;
        case IDC_FILE:
            if (HIWORD(wParam) == EN_CHANGE && !state->showing) {
                state->session.fileEdited(windowText(state->item(IDC_FILE)));
                showSession(*state);
            }
            return TRUE;
        case IDC_BROWSE_FILE:
            state->session.browsed(chooseSourceFile(state->window));
            showSession(*state);
            return TRUE;
        case IDC_LOCATE:
            locateByProgId(*state);
            return TRUE;
        case IDOK:
            state->fileText = windowText(state->item(IDC_FILE));
            EndDialog(window, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> runSourcePicker(HWND owner, const SourceServices& services) {
    PickerState state(services);
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SOURCE_PICKER), owner, pickerProc,
                        reinterpret_cast<LPARAM>(&state)) != IDOK)
        return std::nullopt;
    return state.fileText;
}

}  // namespace mivra::win32
