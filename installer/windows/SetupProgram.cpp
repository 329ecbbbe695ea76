// setup.exe: installs Mivra from the archive appended to this program's own
// file. The main thread owns the full-screen background and the modal
// dialogs; one worker thread, started by the progress dialog, does the file
// work and hands back through a message registered by name.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "InstallPaths.h"
#include "Installation.h"
#include "InstallerTexts.h"
#include "LicenceLayout.h"
#include "ProcessServices.h"
#include "SetupResources.h"
#include "windows/WideText.h"

extern const char mivraLicenseText[];

namespace {

using namespace mivra;
using namespace mivra::installer;

const wchar_t windowClass[] = L"SarvikMivraInstallerWindow";

// The installer state: written by the main thread before the worker starts,
// afterwards only by the worker.
struct SetupState {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND openDialog = nullptr;  // the dialog on screen, kept centred
    UINT startMessage = 0;
    UINT doneMessage = 0;
    std::string archivePath;
    std::string targetFolder;
    InstallationServices services;
    std::atomic<bool> stopRequested{false};
    std::thread worker;
};
SetupState state;

// Message boxes and the folder picker, each owned by the window given.
class Prompts {
public:
    explicit Prompts(HWND owner) : owner_(owner) {}
    void showMessage(const std::string& text, const std::string& title) const {
        MessageBoxW(owner_, wideText(text).c_str(), wideText(title).c_str(), MB_OK);
    }
    bool askYesNo(const std::string& text, const std::string& title) const {
        return MessageBoxW(owner_, wideText(text).c_str(), wideText(title).c_str(), MB_YESNO) == IDYES;
    }
    std::optional<std::string> pickFolder(const std::string& title) const {
        const HRESULT initialised = CoInitialize(nullptr);
        const std::wstring caption = wideText(title);
        BROWSEINFOW browse{};
        browse.hwndOwner = owner_;
        browse.lpszTitle = caption.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        std::optional<std::string> picked;
        if (LPITEMIDLIST item = SHBrowseForFolderW(&browse)) {
            wchar_t path[MAX_PATH];
            if (SHGetPathFromIDListW(item, path)) picked = utf8Text(path);
            CoTaskMemFree(item);
        }
        if (SUCCEEDED(initialised)) CoUninitialize();
        return picked;
    }

private:
    HWND owner_;
};

// Offsets are the integer halves of the size differences, frame included.
void centreOnMainWindow(HWND dialog) {
    RECT client{}, frame{};
    GetClientRect(state.window, &client);
    POINT origin{0, 0};
    ClientToScreen(state.window, &origin);
    GetWindowRect(dialog, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, origin.x + (client.right - width) / 2, origin.y + (client.bottom - height) / 2, 0,
                 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void dialogOpened(HWND dialog) {
    state.openDialog = dialog;
    centreOnMainWindow(dialog);
}

void endDialog(HWND dialog, INT_PTR result) {
    if (state.openDialog == dialog) state.openDialog = nullptr;
    EndDialog(dialog, result);
}

std::string dialogText(HWND dialog, int id) {
    wchar_t text[maxPathLength + 1];
    const int length = GetDlgItemTextW(dialog, id, text, static_cast<int>(maxPathLength + 1));
    return utf8Text(std::wstring(text, static_cast<std::size_t>(length > 0 ? length : 0)));
}

INT_PTR CALLBACK folderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        dialogOpened(dialog);
        SendDlgItemMessageW(dialog, IDC_FOLDER_EDIT, EM_LIMITTEXT, maxPathLength, 0);
        SetDlgItemTextW(dialog, IDC_FOLDER_EDIT, wideText(defaultInstallFolder()).c_str());
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BROWSE:
            if (auto picked = Prompts(dialog).pickFolder(texts::folderPickerTitle))
                SetDlgItemTextW(dialog, IDC_FOLDER_EDIT, wideText(*picked).c_str());
            return TRUE;
        case IDOK: {
            const std::string folder = dialogText(dialog, IDC_FOLDER_EDIT);
            if (folder.empty()) {
                Prompts(dialog).showMessage(formatText(texts::missingValueFormat, texts::folderFieldLabel),
                                            texts::missingValueTitle);
                return TRUE;
            }
            state.targetFolder = folder;
            endDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            endDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        endDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// The licence with the CR LF line ends an edit control shows; the control
// wraps the paragraphs.
std::wstring agreementText() { return wideText(licenceParagraphs(mivraLicenseText, "\r\n")); }

INT_PTR CALLBACK agreementDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        dialogOpened(dialog);
        SetDlgItemTextW(dialog, IDC_AGREEMENT_TEXT, agreementText().c_str());
        // Focus on the text would select all of it and scroll to its end:
        // the dialog opens on Yes, the text from its start.
        SendDlgItemMessageW(dialog, IDC_AGREEMENT_TEXT, EM_SETSEL, 0, 0);
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            endDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        endDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// The worker's view of the progress dialog: the status line and the bar
// through synchronous sends, message boxes owned by the dialog.
class DialogEvents final : public InstallationEvents {
public:
    explicit DialogEvents(HWND dialog) : dialog_(dialog) {}
    void setStatus(const std::string& text) override {
        SetDlgItemTextW(dialog_, IDC_STATUS, wideText(text).c_str());
    }
    void setProgress(int position) override {
        if (position == lastPosition_) return;
        lastPosition_ = position;
        SendDlgItemMessageW(dialog_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void showMessage(const std::string& text, const std::string& title) override {
        Prompts(dialog_).showMessage(text, title);
    }
    bool stopRequested() override { return state.stopRequested.load(); }

private:
    HWND dialog_;
    int lastPosition_ = -1;
};

void installOnWorker(HWND dialog) {
    // The shell's open and the program manager's conversation want COM.
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    DialogEvents events(dialog);
    runInstallation({state.archivePath, state.targetFolder}, state.services, events);
    if (SUCCEEDED(initialised)) CoUninitialize();
    PostMessageW(dialog, state.doneMessage, 0, 0);
}

INT_PTR CALLBACK progressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == state.doneMessage && message != 0) {
        endDialog(dialog, IDOK);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        dialogOpened(dialog);
        SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
        state.worker = std::thread(installOnWorker, dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) break;
        [[fallthrough]];
    case WM_CLOSE:
        // The worker stops after its current chunk and then posts done.
        state.stopRequested = true;
        return TRUE;
    }
    return FALSE;
}

INT_PTR showDialog(int id, DLGPROC procedure) {
    return DialogBoxParamW(state.instance, MAKEINTRESOURCEW(id), state.window, procedure, 0);
}

// starting -> folder dialog -> agreement -> folder check -> progress -> quitting
void runDialogs() {
    const Prompts prompts(state.window);
    if (showDialog(IDD_FOLDER, folderDialog) == IDOK && showDialog(IDD_AGREEMENT, agreementDialog) == IDOK &&
        checkTargetFolder(
            state.targetFolder, [&](const std::string& text, const std::string& title) { prompts.showMessage(text, title); },
            [&](const std::string& text, const std::string& title) { return prompts.askYesNo(text, title); })) {
        showDialog(IDD_PROGRESS, progressDialog);
        if (state.worker.joinable()) state.worker.join();
    }
    DestroyWindow(state.window);
}

void eraseBackground(HWND window, HDC dc) {
    RECT client{};
    GetClientRect(window, &client);
    // One-pixel lines from the top row to the bottom row, darkening on
    // every other row; a palette display gets one flat colour.
    const bool palette = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
    int red = palette ? 100 : 150, green = palette ? 110 : 160, blue = palette ? 200 : 254;
    for (int row = client.top; row <= client.bottom; ++row) {
        const HPEN pen = CreatePen(PS_SOLID, 1, RGB(red, green, blue));
        const HGDIOBJ previous = SelectObject(dc, pen);
        MoveToEx(dc, client.left, row, nullptr);
        LineTo(dc, client.right, row);
        SelectObject(dc, previous);
        DeleteObject(pen);
        if (!palette && (row - client.top) % 2 == 0 && red > 10 && green > 10 && blue > 10) {
            --red;
            --green;
            if ((row - client.top) % 4 == 0) --blue;
        }
    }
}

void paintTitle(HWND window) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    const HFONT font = CreateFontW(-(16 * GetDeviceCaps(dc, LOGPIXELSY) / 72), 0, 0, 0, 900, TRUE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, nullptr);
    const HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    const std::wstring title = wideText(texts::mainWindowTitle);
    TextOutW(dc, 10, 10, title.c_str(), static_cast<int>(title.size()));
    SelectObject(dc, previous);
    DeleteObject(font);
    EndPaint(window, &paint);
}

LRESULT CALLBACK mainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == state.startMessage && message != 0) {
        runDialogs();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        PostMessageW(window, state.startMessage, 0, 0);
        return 0;
    case WM_ERASEBKGND:
        eraseBackground(window, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_PAINT:
        paintTitle(window);
        return 0;
    case WM_SIZE:
    case WM_MOVE:
        if (state.openDialog) centreOnMainWindow(state.openDialog);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    state.instance = instance;
    state.archivePath = ownProgramPath();
    state.services = InstallationServices::system();
    state.startMessage = RegisterWindowMessageW(L"SarvikMivraInstallationStart");
    state.doneMessage = RegisterWindowMessageW(L"SarvikMivraInstallationDone");

    WNDCLASSW windowType{};
    windowType.lpfnWndProc = mainWindow;
    windowType.hInstance = instance;
    windowType.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SETUP));
    windowType.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowType.lpszClassName = windowClass;
    if (!RegisterClassW(&windowType)) return 1;
    const std::wstring title = wideText(texts::mainWindowTitle);
    state.window = CreateWindowExW(0, windowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!state.window) return 1;
    ShowWindow(state.window, SW_SHOWMAXIMIZED);
    UpdateWindow(state.window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    UnregisterClassW(windowClass, instance);
    return 0;
}
