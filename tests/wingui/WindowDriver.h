#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Drives the builder window from a second thread of the process that shows
// it, through its controls and keys, as a user would.
namespace mivra::wingui {

// Ends the check at once (a window that did not come, a wait that timed out).
struct CheckAborted {
    std::string why;
};

// The failures of the check that runs; printed at its end.
void expect(bool condition, const std::string& what);
inline std::string shownValue(const std::string& value) { return value; }
inline std::string shownValue(const char* value) { return value; }
inline std::string shownValue(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += (all.empty() ? "" : " | ") + line;
    return all;
}
template <class T>
std::string shownValue(const T& value) {
    return std::to_string(value);
}
template <class A, class B>
void expectEqual(const A& actual, const B& expected, const std::string& what) {
    expect(actual == expected, what + ": got \"" + shownValue(actual) + "\", expected \"" + shownValue(expected) + "\"");
}

std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& text);

// The thread that runs the windows.
void setUiThread(DWORD thread);

// Waits (polling, with a deadline) until found() gives a window.
HWND waitFor(const std::function<HWND()>& found, const std::string& what, DWORD milliseconds = 20000);
// A visible top-level window of the UI thread with this caption.
HWND findTopLevel(const std::string& caption);
HWND waitForTopLevel(const std::string& caption, DWORD milliseconds = 20000);
// Waits until the window is gone.
void waitUntilGone(HWND window, const std::string& what, DWORD milliseconds = 20000);
// Waits until text(window) equals the text.
void waitForText(HWND window, const std::string& text, const std::string& what);

std::string text(HWND window);
void setText(HWND window, const std::string& text);  // as a paste would
void type(HWND window, const std::string& text);     // one character at a time
void clearByKeys(HWND edit);                          // select all, backspace
void press(HWND button);                              // posts a click
void postKey(HWND window, WORD key);
HWND focused();

// The visible child windows of a class, in z order (the dialog's order).
std::vector<HWND> children(HWND parent, const wchar_t* className);
std::vector<std::string> staticTexts(HWND dialog);
std::string className(HWND window);

// A message box: its caption, its text and the buttons it offers.
struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    bool ok = false, cancel = false, icon = false;
};
MessageBoxSeen waitForMessageBox(const std::string& caption);
// Answers a message box with IDOK or IDCANCEL and waits until it is gone.
void answer(const MessageBoxSeen& box, int button);

// The executable's name without folder and extension, and its folder.
std::string ownName();
std::string ownFolder();

// Writes a window (frame included, as on screen) to a PNG file.
bool saveWindowPicture(HWND window, const std::string& path);

}  // namespace mivra::wingui

