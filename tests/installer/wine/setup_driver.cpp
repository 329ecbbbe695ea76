// Runs inside Wine and drives setup.exe and Uninstaller.exe through their
// windows as a user would: it waits for each dialog and message box of the
// program it started, checks texts and positions, sets the folder, presses
// buttons, and can grab each window as a picture. It prints one line per
// finding; a line starting "FAIL" is a failed check.
//   setup_driver install SETUP.EXE FOLDER [PICTURES]
//   setup_driver cancel SETUP.EXE
//   setup_driver uninstall UNINSTALLER.EXE [PICTURES]
//   setup_driver refused UNINSTALLER.EXE
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

void check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!condition) ++failures;
}

// WM_GETTEXT, which crosses into the other process (GetWindowText does not
// for its controls).
std::string windowText(HWND window) {
    std::wstring text(16384, L'\0');
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_BLOCK,
                             5000, &length))
        return {};
    text.resize(length);
    return narrow(text);
}

std::string className(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, 256);
    return narrow(std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0)));
}

struct Search {
    DWORD process;
    std::string windowClass;
    std::string title;
    HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((search.process == 0 || owner == search.process) && IsWindowVisible(window) &&
        (search.windowClass.empty() || className(window) == search.windowClass) &&
        windowText(window) == search.title) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for a visible top-level window of the process with this class and
// title; each round waits on the process, so its end stops the wait at once.
HWND waitForWindow(HANDLE process, DWORD processId, const std::string& windowClass, const std::string& title,
                   DWORD milliseconds = 60000) {
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{processId, windowClass, title};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            WaitForInputIdle(process, 5000);
            return search.found;
        }
        if (GetTickCount() - start > milliseconds) break;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    }
    check(false, "window \"" + title + "\" appears");
    return nullptr;
}

// The text of a message box: its one static control with text.
std::string messageBoxText(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (className(child) == "Static" && !windowText(child).empty()) text = windowText(child);
    }
    return text;
}

void press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Whether the dialog's frame sits in the middle of the window's client area.
bool centredOn(HWND dialog, HWND window, std::string& detail) {
    RECT client{}, frame{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    GetWindowRect(dialog, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = origin.x + (client.right - width) / 2, y = origin.y + (client.bottom - height) / 2;
    detail = "at " + std::to_string(frame.left) + "," + std::to_string(frame.top) + ", centre " + std::to_string(x) +
             "," + std::to_string(y);
    return frame.left == x && frame.top == y;
}

// Grabs a rectangle of the screen into a 24-bit BMP file.
void grab(const std::string& folder, const std::string& name, RECT area) {
    if (folder.empty()) return;
    // Only for the pictures: let the windows finish painting first.
    Sleep(800);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + size;
    const std::string path = folder + "\\" + name + ".bmp";
    if (FILE* file = _wfopen(wide(path).c_str(), L"wb")) {
        std::fwrite(&header, sizeof header, 1, file);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file);
        std::fwrite(bits, 1, size, file);
        std::fclose(file);
        std::printf("picture %s\n", path.c_str());
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

RECT screenArea() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

RECT frameOf(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    return frame;
}

struct Started {
    HANDLE process = nullptr;
    DWORD id = 0;
};

Started start(const std::string& program) {
    std::wstring command = L"\"" + wide(program) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    Started started;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &information)) {
        CloseHandle(information.hThread);
        started.process = information.hProcess;
        started.id = information.dwProcessId;
    }
    check(started.process != nullptr, "started " + program);
    return started;
}

void expectExit(const Started& started, const std::string& what) {
    const bool ended = WaitForSingleObject(started.process, 60000) == WAIT_OBJECT_0;
    DWORD status = 1;
    GetExitCodeProcess(started.process, &status);
    check(ended && status == 0, what + " ends with status 0");
    CloseHandle(started.process);
}

// Answers the next message box of the process, checking what it says.
void answerBox(const Started& started, const std::string& title, const std::string& text, int button,
               const std::string& pictures = {}, const std::string& picture = {}) {
    const HWND box = waitForWindow(started.process, started.id, "#32770", title);
    if (!box) return;
    check(messageBoxText(box) == text, "\"" + title + "\" says \"" + text + "\" (found \"" + messageBoxText(box) + "\")");
    if (!picture.empty()) grab(pictures, picture, frameOf(box));
    press(box, button);
}

std::string dialogItemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

std::string knownFolder(int id) {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return narrow(path);
}

// What the program manager made of the group: the links in the group's
// folder under the programs menu (common or the user's), with their targets.
void reportProgramGroup() {
    CoInitialize(nullptr);
    bool any = false;
    for (int id : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        const std::string folder = knownFolder(id) + "\\Mivra";
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW(wide(folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            const std::string name = narrow(found.cFileName);
            if (name == "." || name == "..") continue;
            any = true;
            std::string target, icon;
            IShellLinkW* link = nullptr;
            if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link)))) {
                IPersistFile* file = nullptr;
                if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
                    if (SUCCEEDED(file->Load(wide(folder + "\\" + name).c_str(), STGM_READ))) {
                        wchar_t path[MAX_PATH] = L"";
                        if (SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) target = narrow(path);
                        int index = 0;
                        if (SUCCEEDED(link->GetIconLocation(path, MAX_PATH, &index))) icon = narrow(path);
                    }
                    file->Release();
                }
                link->Release();
            }
            std::printf("group %s|%s|%s\n", name.c_str(), target.c_str(), icon.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
        std::printf("group folder %s\n", folder.c_str());
    }
    if (!any) std::printf("group none\n");
    CoUninitialize();
}

void reportRegistration() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivra", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
        std::printf("registration none\n");
        return;
    }
    for (const wchar_t* name : {L"DisplayName", L"UninstallString"}) {
        wchar_t value[1024] = L"";
        DWORD size = sizeof value - sizeof(wchar_t);
        DWORD type = 0;
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        std::printf("registration %s=%s%s\n", narrow(name).c_str(), narrow(value).c_str(),
                    type == REG_SZ ? "" : " (not REG_SZ)");
    }
    RegCloseKey(key);
}

// The read-me's window in its viewer, once it is open.
struct Opened {
    HWND readme = nullptr;
};

Opened openedWindows() {
    Opened opened;
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& opened = *reinterpret_cast<Opened*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
            const std::string title = windowText(window);
            if (title.find("Readme") != std::string::npos) opened.readme = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&opened));
    return opened;
}

void closeAndWait(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    PostMessageW(window, WM_CLOSE, 0, 0);
    // The shell's own windows live in the desktop process, which stays.
    for (int round = 0; round < 100 && IsWindow(window); ++round)
        if (process && WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    if (process) CloseHandle(process);
}

// Waits for the read-me's window, closes it and the group windows.
void closeOpenedWindows(HANDLE setup) {
    const DWORD start = GetTickCount();
    Opened opened;
    while (GetTickCount() - start < 30000) {
        opened = openedWindows();
        if (opened.readme) break;
        if (WaitForSingleObject(setup, 100) == WAIT_OBJECT_0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    check(opened.readme != nullptr, "the read-me is opened");
    if (opened.readme) {
        std::printf("readme opened in \"%s\" (%s)\n", windowText(opened.readme).c_str(), className(opened.readme).c_str());
        closeAndWait(opened.readme);
    }
    // Wine's program manager shows the group in explorer processes of their
    // own, started while setup talked to it: close each one's window and
    // wait for it to end.
    DWORD desktop = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &desktop);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"explorer.exe") != 0 || entry.th32ProcessID == desktop) continue;
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process) continue;
        bool ended = false;
        for (int round = 0; round < 400 && !ended; ++round) {
            struct Window {
                DWORD process;
                HWND found = nullptr;
            } window{entry.th32ProcessID};
            EnumWindows(
                [](HWND candidate, LPARAM parameter) -> BOOL {
                    auto& window = *reinterpret_cast<Window*>(parameter);
                    DWORD owner = 0;
                    GetWindowThreadProcessId(candidate, &owner);
                    if (owner != window.process || !IsWindowVisible(candidate)) return TRUE;
                    window.found = candidate;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&window));
            if (window.found) {
                std::printf("program manager window \"%s\" (%s) closed\n", windowText(window.found).c_str(),
                            className(window.found).c_str());
                PostMessageW(window.found, WM_CLOSE, 0, 0);
            }
            ended = WaitForSingleObject(process, 50) == WAIT_OBJECT_0;
        }
        check(ended, "the program manager's window ends");
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

int install(const std::string& setupPath, const std::string& folder, const std::string& pictures) {
    const Started setup = start(setupPath);
    if (!setup.process) return 1;
    const HWND dialog = waitForWindow(setup.process, setup.id, "#32770", "Mivra Installation Folder");
    if (!dialog) return 1;
    const HWND window = FindWindowW(L"SarvikMivraInstallerWindow", L"Mivra Installer");
    check(window && IsZoomed(window), "background window is maximised");
    std::string detail;
    bool centred = centredOn(dialog, window, detail);
    check(centred, "folder dialog centred on the background, " + detail);
    check(dialogItemText(dialog, 1000) == "C:\\Mivra", "folder field starts as C:\\Mivra");
    check(dialogItemText(dialog, 1001) == "Browse...", "Browse... button");
    grab(pictures, "setup-folder", screenArea());

    SetDlgItemTextW(dialog, 1000, L"");
    press(dialog, IDOK);
    answerBox(setup, "Missing Data", "Please specify a value for field \"Installation Folder\"", IDOK);
    SetDlgItemTextW(dialog, 1000, wide(folder).c_str());
    press(dialog, IDOK);

    const HWND agreement = waitForWindow(setup.process, setup.id, "#32770", "License Agreement");
    if (!agreement) return 1;
    centred = centredOn(agreement, window, detail);
    check(centred, "agreement dialog centred, " + detail);
    const std::string licence = dialogItemText(agreement, 1004);
    check(licence.rfind("MIT License\r\n", 0) == 0, "agreement text with CR LF lines");
    check(licence.find("obtaining a copy of this software") != std::string::npos, "the control wraps the paragraphs");
    DWORD selectionStart = 1, selectionEnd = 1;
    SendDlgItemMessageW(agreement, 1004, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                        reinterpret_cast<LPARAM>(&selectionEnd));
    check(selectionStart == 0 && selectionEnd == 0 && SendDlgItemMessageW(agreement, 1004, EM_GETFIRSTVISIBLELINE, 0, 0) == 0,
          "the licence opens at its start, nothing selected");
    check(dialogItemText(agreement, IDOK) == "Yes" && dialogItemText(agreement, IDCANCEL) == "No", "Yes and No");
    grab(pictures, "setup-agreement", screenArea());
    press(agreement, IDOK);

    answerBox(setup, "Create directory", "Target folder does not exist, create? ", IDYES);
    const HWND finished = waitForWindow(setup.process, setup.id, "#32770", "Finished");
    if (!finished) return 1;
    const HWND progress = GetWindow(finished, GW_OWNER);
    check(progress && windowText(progress) == "Installation Progress", "the finished message is owned by the progress dialog");
    if (progress) {
        centred = centredOn(progress, window, detail);
        check(centred, "progress dialog centred, " + detail);
        const auto position = SendDlgItemMessageW(progress, 1002, PBM_GETPOS, 0, 0);
        check(position == 95, "progress bar ends at 95 (found " + std::to_string(position) + ")");
        const std::string status = dialogItemText(progress, 1003);
        check(status.rfind("Extracting ", 0) == 0, "status line \"" + status + "\"");
        check(!IsWindowVisible(GetDlgItem(progress, IDOK)) && !IsWindowVisible(GetDlgItem(progress, IDCANCEL)),
              "OK and Cancel hidden");
        // The message box moves aside for a moment, so the dialog shows whole.
        const RECT box = frameOf(finished);
        SetWindowPos(finished, nullptr, 0, GetSystemMetrics(SM_CYSCREEN) - (box.bottom - box.top), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RedrawWindow(progress, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        grab(pictures, "setup-progress", frameOf(progress));
        SetWindowPos(finished, nullptr, box.left, box.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        grab(pictures, "setup-finished", screenArea());
    }
    check(messageBoxText(finished) == "Mivra installation is complete.", "completion message");
    press(finished, IDOK);
    closeOpenedWindows(setup.process);
    expectExit(setup, "setup.exe");
    reportRegistration();
    reportProgramGroup();
    return failures;
}

int cancel(const std::string& setupPath) {
    Started setup = start(setupPath);
    if (!setup.process) return 1;
    HWND dialog = waitForWindow(setup.process, setup.id, "#32770", "Mivra Installation Folder");
    if (dialog) press(dialog, IDCANCEL);
    expectExit(setup, "setup.exe after Cancel");

    setup = start(setupPath);
    if (!setup.process) return 1;
    dialog = waitForWindow(setup.process, setup.id, "#32770", "Mivra Installation Folder");
    if (dialog) press(dialog, IDOK);
    const HWND agreement = waitForWindow(setup.process, setup.id, "#32770", "License Agreement");
    if (agreement) PostMessageW(agreement, WM_CLOSE, 0, 0);
    expectExit(setup, "setup.exe after closing the agreement");
    return failures;
}

// Waits for the clean-up scripts' command processors to end.
void waitForCleanup() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::vector<HANDLE> processors;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"cmd.exe") == 0) {
            if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) processors.push_back(process);
        }
    }
    CloseHandle(snapshot);
    for (HANDLE process : processors) {
        check(WaitForSingleObject(process, 60000) == WAIT_OBJECT_0, "clean-up script ends");
        CloseHandle(process);
    }
    std::printf("clean-up scripts waited for: %zu\n", processors.size());
}

int uninstall(const std::string& uninstallerPath, const std::string& pictures) {
    const Started uninstaller = start(uninstallerPath);
    if (!uninstaller.process) return 1;
    const std::string folder = uninstallerPath.substr(0, uninstallerPath.rfind('\\'));
    const HWND confirm = waitForWindow(uninstaller.process, uninstaller.id, "#32770", "Confirm Uninstallation");
    const HWND hidden = FindWindowW(L"SarvikMivraUnInstallerWindow", L"Mivra Uninstaller");
    check(hidden && !IsWindowVisible(hidden) && confirm && GetWindow(confirm, GW_OWNER) == hidden,
          "the confirmation is owned by the hidden window");
    answerBox(uninstaller, "Confirm Uninstallation", "Un-install Mivra from " + folder + "?", IDYES, pictures,
              "uninstall-confirm");
    answerBox(uninstaller, "Finished", "Mivra has been removed from the system.", IDOK, pictures,
              "uninstall-finished");
    expectExit(uninstaller, "Uninstaller.exe");
    waitForCleanup();
    reportRegistration();
    reportProgramGroup();
    return failures;
}

int refused(const std::string& uninstallerPath) {
    const Started uninstaller = start(uninstallerPath);
    if (!uninstaller.process) return 1;
    const HWND box = waitForWindow(uninstaller.process, uninstaller.id, "#32770", "Uninstall Refused");
    if (box) {
        std::printf("refusal \"%s\"\n", messageBoxText(box).c_str());
        press(box, IDOK);
    }
    expectExit(uninstaller, "a copy of Uninstaller.exe elsewhere");
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "install") return install(args[1], args[2], args.size() > 3 ? args[3] : "");
    if (args.size() == 2 && args[0] == "cancel") return cancel(args[1]);
    if (args.size() >= 2 && args[0] == "uninstall") return uninstall(args[1], args.size() > 2 ? args[2] : "");
    if (args.size() == 2 && args[0] == "refused") return refused(args[1]);
    std::fprintf(stderr, "usage: setup_driver install|cancel|uninstall|refused ...\n");
    return 2;
}
