// Uninstaller.exe: removes what the list appended to its own file names,
// relative to the folder it runs from, once that folder is the registered
// installation and the user has confirmed. A hidden window owns the message
// boxes; one worker thread does the removal.
#include <windows.h>

#include <string>
#include <thread>

#include "NativeUninstallSystem.h"
#include "ProcessServices.h"
#include "UninstallListReader.h"
#include "UninstallPaths.h"
#include "Uninstallation.h"
#include "UninstallerTexts.h"
#include "windows/WideText.h"

namespace {

using namespace mivra;

const wchar_t windowClass[] = L"SarvikMivraUnInstallerWindow";

struct UninstallerState {
    std::string uninstallerPath;
    UINT startMessage = 0;
    UINT doneMessage = 0;
    std::thread worker;
};
UninstallerState state;

int showMessage(HWND owner, const std::string& text, const char* title, UINT buttons) {
    return MessageBoxW(owner, wideText(text).c_str(), wideText(title).c_str(), buttons);
}

void uninstallOnWorker(HWND window) {
    const auto list = readUninstallList(state.uninstallerPath);
    if (!list) {
        showMessage(window, failureText, failureTitle, MB_OK | MB_ICONERROR);
        PostMessageW(window, state.doneMessage, 0, 0);
        return;
    }
    NativeUninstallSystem system(installationFolderOf(state.uninstallerPath));
    removeInstallation(*list, state.uninstallerPath, system);
    showMessage(window, finishedText, finishedTitle, MB_OK | MB_ICONINFORMATION);
    PostMessageW(window, WM_CLOSE, 0, 0);
}

// Message boxes owned by the hidden window.
class MessageBoxPrompts final : public UninstallPrompts {
public:
    explicit MessageBoxPrompts(HWND owner) : owner_(owner) {}
    bool confirm(const std::string& question) override {
        return showMessage(owner_, question, confirmationTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
    void refuse(const std::string& message) override {
        showMessage(owner_, message, refusalTitle, MB_OK | MB_ICONWARNING);
    }

private:
    HWND owner_;
};

void start(HWND window) {
    NativeUninstallSystem system(installationFolderOf(state.uninstallerPath));
    MessageBoxPrompts prompts(window);
    if (!mayUninstall(state.uninstallerPath, system, prompts)) {
        DestroyWindow(window);
        return;
    }
    state.worker = std::thread(uninstallOnWorker, window);
}

LRESULT CALLBACK hiddenWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == state.startMessage && message != 0) {
        start(window);
        return 0;
    }
    if (message == state.doneMessage && message != 0) {
        DestroyWindow(window);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        PostMessageW(window, state.startMessage, 0, 0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    state.uninstallerPath = ownProgramPath();
    state.startMessage = RegisterWindowMessageW(L"SarvikMivraUnInstallationStart");
    state.doneMessage = RegisterWindowMessageW(L"SarvikMivraUnInstallationDone");

    WNDCLASSW windowType{};
    windowType.lpfnWndProc = hiddenWindow;
    windowType.hInstance = instance;
    windowType.lpszClassName = windowClass;
    if (!RegisterClassW(&windowType)) return 1;
    if (!CreateWindowExW(0, windowClass, L"Mivra Uninstaller", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr))
        return 1;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (state.worker.joinable()) state.worker.join();
    UnregisterClassW(windowClass, instance);
    return 0;
}
