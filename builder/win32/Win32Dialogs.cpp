#include "Win32Dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "BuilderTexts.h"
#include "Win32Resources.h"
#include "windows/WideText.h"

namespace mivra::win32 {

std::string programName() {
    std::vector<wchar_t> path(MAX_PATH);
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) >= path.size())
        path.resize(path.size() * 2);
    std::wstring name(path.data(), length);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return utf8Text(name);
}

void showMessage(HWND owner, const std::string& text) {
    MessageBoxW(owner, wideText(text).c_str(), wideText(programName()).c_str(), MB_OK);
}

bool askOkCancel(HWND owner, const std::string& text) {
    return MessageBoxW(owner, wideText(text).c_str(), wideText(programName()).c_str(), MB_OKCANCEL) == IDOK;
}

std::string chooseFolder(HWND owner, const std::string& title) {
    std::wstring caption = wideText(title);
    wchar_t chosen[MAX_PATH] = L"";
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pszDisplayName = chosen;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item) return {};
    std::string path;
    if (SHGetPathFromIDListW(item, chosen)) path = utf8Text(chosen);
    CoTaskMemFree(item);
    return path;
}

std::string chooseSourceFile(HWND owner) {
    static const wchar_t filters[] =
        L"COM DLL or Type library (*.dll;*.ocx;*.tlb;*.olb;*.exe)\0*.tlb;*.olb;*.ocx;*.dll;*.exe\0"
        L"All Files (*.*)\0*.*\0";
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog)) return {};
    return utf8Text(file.data());
}

std::string windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    return utf8Text(std::wstring(text.data(), got > 0 ? static_cast<size_t>(got) : 0));
}

void setWindowText(HWND window, const std::string& text) { SetWindowTextW(window, wideText(text).c_str()); }

void setDialogTexts(HWND dialog, const char* caption, std::initializer_list<std::pair<int, const char*>> texts) {
    setWindowText(dialog, caption);
    for (const auto& [id, text] : texts) setWindowText(GetDlgItem(dialog, id), text);
}

namespace {

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        setDialogTexts(window, builder::texts::aboutTitle,
                       {{IDC_ABOUT_VERSION, builder::texts::aboutVersion}, {IDOK, builder::texts::okButton}});
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void showAboutBox(HWND owner) {
    DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, aboutProc);
}

HICON programIcon(int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace mivra::win32
