#include <windows.h>

#include <objbase.h>

#include "BuildSession.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "ProcessServices.h"
#include "Win32Dialogs.h"
#include "Win32Resources.h"

// The builder window of the Windows build: the dialog IDD_BUILDER over one
// Build session.
namespace mivra {

namespace {

using namespace win32;

class BuilderDialog final : public FrontEnd {
public:
    explicit BuilderDialog(const ClassRegistry* registry) : registry_(registry), session_(*this) {
        session_.generator().setClassRegistry(registry);
        session_.generator().openReadmeWhenDone = true;
    }

    int run();

    void showMessage(const std::string& text) override { win32::showMessage(window_, text); }
    bool askOkCancel(const std::string& question) override { return win32::askOkCancel(window_, question); }
    std::string chooseFolder(const std::string& title) override { return win32::chooseFolder(window_, title); }
    std::optional<std::string> chooseSource() override { return runSourcePicker(window_, registry_); }
    bool openDocument(const std::string& path) override { return shellOpen(path, {}); }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int notification);
    HWND item(int id) const { return GetDlgItem(window_, id); }
    void readFields();
    void showFields();
    void paintMinimised();
    void close() { DestroyWindow(window_); }

    const ClassRegistry* registry_;
    BuildSession session_;
    HWND window_ = nullptr;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    // Set while the window writes its own fields: only the user's edits count.
    bool showing_ = false;
    bool closed_ = false;
};

void BuilderDialog::readFields() {
    session_.fields = {windowText(item(IDC_INPUT)), windowText(item(IDC_OUTPUT)), windowText(item(IDC_PACKAGE)),
                       windowText(item(IDC_LIBRARY))};
}

void BuilderDialog::showFields() {
    showing_ = true;
    auto show = [this](int id, const std::string& text) {
        if (windowText(item(id)) != text) setWindowText(item(id), text);
    };
    show(IDC_INPUT, session_.fields.sourcePath);
    show(IDC_OUTPUT, session_.fields.outputFolder);
    show(IDC_PACKAGE, session_.fields.packageName);
    show(IDC_LIBRARY, session_.fields.libraryFileName);
    showing_ = false;
}

void BuilderDialog::command(int id, int notification) {
    switch (id) {
    case IDC_INPUT:
        if (notification == EN_CHANGE && !showing_) {
            readFields();
            session_.inputEdited(session_.fields.sourcePath);
            showFields();
        }
        return;
    case IDC_LIBRARY:
        if (notification == EN_CHANGE && !showing_) {
            readFields();
            session_.libraryEdited(session_.fields.libraryFileName);
        }
        return;
    case IDC_SELECT:
        readFields();
        session_.selectSource();
        showFields();
        return;
    case IDC_BROWSE_OUTPUT:
        readFields();
        session_.browseOutput();
        showFields();
        return;
    case IDC_FULL_MAPPING: {
        // The full bindings need no JNI library and no handle width.
        bool full = IsDlgButtonChecked(window_, IDC_FULL_MAPPING) == BST_CHECKED;
        EnableWindow(GetDlgItem(window_, IDC_LIBRARY), !full);
        EnableWindow(GetDlgItem(window_, IDC_LONG_HANDLES), !full);
        return;
    }
    case IDOK: {
        readFields();
        session_.generator().handles =
            IsDlgButtonChecked(window_, IDC_LONG_HANDLES) == BST_CHECKED ? HandleType::Long : HandleType::Int;
        session_.generator().mapping =
            IsDlgButtonChecked(window_, IDC_FULL_MAPPING) == BST_CHECKED ? MappingMode::Full : MappingMode::Basic;
        BuildSession::Outcome outcome = session_.build();
        showFields();
        if (outcome == BuildSession::Outcome::Succeeded) close();
        return;
    }
    case IDCANCEL:
        close();
        return;
    case IDC_HELP_BUTTON:
        session_.showHelp();
        return;
    }
}

void BuilderDialog::paintMinimised() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    int width = GetSystemMetrics(SM_CXICON), height = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (client.right - client.left - width + 1) / 2, (client.bottom - client.top - height + 1) / 2,
             largeIcon_);
    EndPaint(window_, &paint);
}

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR BuilderDialog::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        CoInitialize(nullptr);
        if (HMENU menu = GetSystemMenu(window_, FALSE)) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, IDM_ABOUT, L"&About Mivra...");
        }
        largeIcon_ = programIcon(GetSystemMetrics(SM_CXICON));
        smallIcon_ = programIcon(GetSystemMetrics(SM_CXSMICON));
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
        return TRUE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUT) {
            DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), window_, aboutProc);
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        if (!IsIconic(window_)) return FALSE;
        paintMinimised();
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(largeIcon_);
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        close();
        return TRUE;
    case WM_DESTROY:
        session_.generator().finish();
        CoUninitialize();
        closed_ = true;
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK BuilderDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<BuilderDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<BuilderDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->window_ = window;
    }
    return dialog ? dialog->handle(message, wParam, lParam) : FALSE;
}

// The window is the program's only one: it runs its own message loop so
// that F1 reaches help wherever the focus is.
int BuilderDialog::run() {
    if (!CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BUILDER), nullptr, dialogProc,
                            reinterpret_cast<LPARAM>(this)))
        return exitFailure;
    ShowWindow(window_, SW_SHOW);
    MSG message;
    while (!closed_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_KEYDOWN && message.wParam == VK_F1 && GetKeyState(VK_SHIFT) >= 0 &&
            GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0 &&
            (message.hwnd == window_ || IsChild(window_, message.hwnd))) {
            session_.showHelp();
            continue;
        }
        if (IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exitSuccess;
}

}  // namespace

int runBuilderWindow(const std::vector<std::string>& args) {
    // --registry names a Wine prefix on Linux; here the registry is the system's.
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--registry" || i + 1 >= args.size()) {
            win32::showMessage(nullptr, "usage: mivra [--registry PREFIX]");
            return exitUsage;
        }
        ++i;
    }
    auto registry = openClassRegistry();
    BuilderDialog dialog(registry.get());
    return dialog.run();
}

}  // namespace mivra
