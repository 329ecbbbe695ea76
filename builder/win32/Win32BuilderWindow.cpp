#include <windows.h>

#include <objbase.h>

#include "BuildSession.h"
#include "BuilderTexts.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "ProcessServices.h"
#include "SourceLoading.h"
#include "Win32Dialogs.h"
#include "Win32Resources.h"
#include "windows/WideText.h"

// The builder window of the Windows build: the dialog IDD_BUILDER over one
// Build session.
namespace mivra {

namespace {

using namespace win32;
namespace texts = builder::texts;

int fieldId(BuildField field) {
    switch (field) {
    case BuildField::Input: return IDC_INPUT;
    case BuildField::Output: return IDC_OUTPUT;
    case BuildField::Package: return IDC_PACKAGE;
    case BuildField::Library: break;
    }
    return IDC_LIBRARY;
}

class BuilderDialog final : public FrontEnd {
public:
    explicit BuilderDialog(const ClassRegistry* registry) : session_(*this) {
        session_.options.registry = registry;
        session_.options.openReadme = true;
        services_.registry = registry;
        services_.checkFile = [](const std::string& path, const LookupReport& report) {
            return checkTypeLibraryFile(path, {}, report);
        };
    }

    int run();

    void showMessage(const std::string& text) override { win32::showMessage(window_, text); }
    bool askOkCancel(const std::string& question) override { return win32::askOkCancel(window_, question); }
    std::string chooseFolder(const std::string& title) override { return win32::chooseFolder(window_, title); }
    std::optional<std::string> chooseSource() override { return runSourcePicker(window_, services_); }
    bool openDocument(const std::string& path) override { return shellOpen(path, {}); }
    std::optional<std::string> fieldText(BuildField field) override { return windowText(item(fieldId(field))); }
    void showFieldText(BuildField field, const std::string& text) override {
        showing_ = true;
        setWindowText(item(fieldId(field)), text);
        showing_ = false;
    }
    void enableChoices(bool library, bool handles) override {
        EnableWindow(item(IDC_LIBRARY), library);
        EnableWindow(item(IDC_LONG_HANDLES), handles);
    }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int notification);
    HWND item(int id) const { return GetDlgItem(window_, id); }
    void setTexts();
    void paintMinimised();
    void close() { DestroyWindow(window_); }

    SourceServices services_;
    BuildSession session_;
    HWND window_ = nullptr;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    // Set while the window writes its own fields: only the user's edits count.
    bool showing_ = false;
    bool closed_ = false;
};

void BuilderDialog::setTexts() {
    setDialogTexts(window_, texts::windowTitle,
                   {{IDC_INTRODUCTION, texts::introduction},
                    {IDC_INPUT_PROMPT, texts::inputPrompt},
                    {IDC_INPUT_LABEL, texts::inputLabel},
                    {IDC_SELECT, texts::selectButton},
                    {IDC_OUTPUT_PROMPT, texts::outputPrompt},
                    {IDC_OUTPUT_LABEL, texts::outputLabel},
                    {IDC_BROWSE_OUTPUT, texts::browseButton},
                    {IDC_PACKAGE_PROMPT, texts::packagePrompt},
                    {IDC_PACKAGE_LABEL, texts::packageLabel},
                    {IDC_LIBRARY_PROMPT, texts::libraryPrompt},
                    {IDC_LIBRARY_LABEL, texts::libraryLabel},
                    {IDC_LONG_HANDLES, texts::longHandlesBox},
                    {IDC_FULL_MAPPING, texts::fullMappingBox},
                    {IDOK, texts::buildButton},
                    {IDCANCEL, texts::closeButton},
                    {IDC_HELP_BUTTON, texts::helpButton}});
}

void BuilderDialog::command(int id, int notification) {
    auto checked = [this](int box) { return IsDlgButtonChecked(window_, box) == BST_CHECKED; };
    switch (id) {
    case IDC_INPUT:
        if (notification == EN_CHANGE && !showing_) session_.inputEdited();
        return;
    case IDC_LIBRARY:
        if (notification == EN_CHANGE && !showing_) session_.libraryEdited();
        return;
    case IDC_SELECT:
        session_.selectSource();
        return;
    case IDC_BROWSE_OUTPUT:
        session_.browseOutput();
        return;
    case IDC_FULL_MAPPING:
        session_.setMapping(checked(IDC_FULL_MAPPING) ? MappingMode::Full : MappingMode::Basic);
        return;
    case IDC_LONG_HANDLES:
        session_.options.handles = checked(IDC_LONG_HANDLES) ? HandleType::Long : HandleType::Int;
        return;
    case IDOK:
        if (session_.build() == BuildSession::Outcome::Succeeded) close();
        return;
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

INT_PTR BuilderDialog::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        CoInitialize(nullptr);
        setTexts();
        if (HMENU menu = GetSystemMenu(window_, FALSE)) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, IDM_ABOUT, wideText(texts::aboutItem).c_str());
        }
        largeIcon_ = programIcon(GetSystemMetrics(SM_CXICON));
        smallIcon_ = programIcon(GetSystemMetrics(SM_CXSMICON));
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
        return TRUE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUT) {
            showAboutBox(window_);
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
