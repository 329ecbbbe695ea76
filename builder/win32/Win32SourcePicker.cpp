#include "Win32Dialogs.h"

#include "RegistryLookups.h"
#include "SourceLoading.h"
#include "Win32Resources.h"
#include "windows/WideText.h"

namespace mivra::win32 {

namespace {

struct PickerState {
    const ClassRegistry* registry = nullptr;
    HWND window = nullptr;
    std::string fileText;

    LookupReport reportHere() {
        return [this](const std::string& message) { showMessage(window, message); };
    }
    HWND item(int id) const { return GetDlgItem(window, id); }
};

INT_PTR CALLBACK progIdProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            std::string text = windowText(GetDlgItem(window, IDC_PROGID));
            if (text.empty()) {
                showMessage(window, "Please enter ProgID");
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

// Loads the process's list of registered libraries (the first opening
// only, under a wait cursor) and shows every line; each line keeps its
// position in the list, since the list box sorts the lines itself.
void fillList(PickerState& state) {
    RegisteredLibraryList& list = registeredLibraryList();
    if (!list.filled && state.registry) {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        listRegisteredLibraries(*state.registry, {}, state.reportHere(), list);
        SetCursor(previous);
    }
    HWND box = state.item(IDC_LIBRARY_LIST);
    for (size_t position = 0; position < list.displayTexts.size(); ++position) {
        LRESULT line = SendMessageW(box, LB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(wideText(list.displayTexts[position]).c_str()));
        if (line >= 0) SendMessageW(box, LB_SETITEMDATA, static_cast<WPARAM>(line), static_cast<LPARAM>(position));
    }
}

void chooseLine(PickerState& state) {
    HWND box = state.item(IDC_LIBRARY_LIST);
    LRESULT line = SendMessageW(box, LB_GETCURSEL, 0, 0);
    if (line == LB_ERR) return;
    auto position = static_cast<size_t>(SendMessageW(box, LB_GETITEMDATA, static_cast<WPARAM>(line), 0));
    const RegisteredLibraryList& list = registeredLibraryList();
    if (position < list.paths.size()) setWindowText(state.item(IDC_FILE), list.paths[position]);
}

void browse(PickerState& state) {
    std::string chosen = chooseSourceFile(state.window);
    if (chosen.empty()) return;
    if (checkTypeLibraryFile(chosen, {}, state.reportHere())) setWindowText(state.item(IDC_FILE), chosen);
}

void locateByProgId(PickerState& state) {
    std::string progId;
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGID), state.window, progIdProc,
                        reinterpret_cast<LPARAM>(&progId)) != IDOK)
        return;
    if (!state.registry) return;
    if (auto server = locateServerByProgId(*state.registry, progId, state.reportHere()))
        setWindowText(state.item(IDC_FILE), *server);
}

INT_PTR CALLBACK pickerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<PickerState*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<PickerState*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        state->window = window;
        fillList(*state);
        return TRUE;
    case WM_COMMAND:
        if (!state) break;
        switch (LOWORD(wParam)) {
        case IDC_LIBRARY_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE) chooseLine(*state);
            return TRUE;
        case IDC_BROWSE_FILE:
            browse(*state);
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

std::optional<std::string> runSourcePicker(HWND owner, const ClassRegistry* registry) {
    PickerState state;
    state.registry = registry;
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SOURCE_PICKER), owner, pickerProc,
                        reinterpret_cast<LPARAM>(&state)) != IDOK)
        return std::nullopt;
    return state.fileText;
}

}  // namespace mivra::win32
