#include "WindowDriver.h"

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace mivra::wingui {

namespace {

DWORD uiThread = 0;
int failures = 0;

}  // namespace

int failureCount() { return failures; }

void expect(bool condition, const std::string& what) {
    if (condition) return;
    ++failures;
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    std::fflush(stderr);
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

void setUiThread(DWORD thread) { uiThread = thread; }

HWND waitFor(const std::function<HWND()>& found, const std::string& what, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (true) {
        if (HWND window = found()) return window;
        if (GetTickCount() - start > milliseconds) throw CheckAborted{"timed out waiting for " + what};
        Sleep(10);
    }
}

HWND findTopLevel(const std::string& caption) {
    struct Search {
        std::wstring caption;
        HWND found = nullptr;
    } search{wide(caption)};
    EnumThreadWindows(
        uiThread,
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t title[512] = L"";
            GetWindowTextW(window, title, 512);
            if (IsWindowVisible(window) && s->caption == title) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForTopLevel(const std::string& caption, DWORD milliseconds) {
    return waitFor([&] { return findTopLevel(caption); }, "the window \"" + caption + "\"", milliseconds);
}

void waitUntilGone(HWND window, const std::string& what, DWORD milliseconds) {
    waitFor([&] { return IsWindow(window) && IsWindowVisible(window) ? nullptr : HWND(1); }, what + " to close",
            milliseconds);
}

void waitForText(HWND window, const std::string& wanted, const std::string& what) {
    try {
        waitFor([&] { return text(window) == wanted ? window : nullptr; }, what, 10000);
    } catch (const CheckAborted&) {
        expectEqual(text(window), wanted, what);
    }
}

std::string text(HWND window) {
    wchar_t buffer[4096] = L"";
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 10000, &got);
    return utf8(std::wstring(buffer, got));
}

void setText(HWND window, const std::string& value) {
    std::wstring w = wide(value);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()), SMTO_NORMAL, 10000, &ignored);
}

// Typing goes on at the end of what the field holds.
void type(HWND window, const std::string& value) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF, SMTO_NORMAL, 10000, &ignored);
    for (wchar_t c : wide(value)) SendMessageTimeoutW(window, WM_CHAR, c, 1, SMTO_NORMAL, 10000, &ignored);
}

void clearByKeys(HWND edit) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_NORMAL, 10000, &ignored);
    SendMessageTimeoutW(edit, WM_CHAR, VK_BACK, 1, SMTO_NORMAL, 10000, &ignored);
}

void press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void postKey(HWND window, WORD key) {
    UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
}

HWND focused() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(uiThread, &info);
    return info.hwndFocus;
}

std::string className(HWND window) {
    wchar_t name[128] = L"";
    GetClassNameW(window, name, 128);
    return utf8(name);
}

std::vector<HWND> children(HWND parent, const wchar_t* wanted) {
    std::vector<HWND> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[128] = L"";
        GetClassNameW(child, name, 128);
        if (IsWindowVisible(child) && lstrcmpiW(name, wanted) == 0) found.push_back(child);
    }
    return found;
}

std::vector<std::string> staticTexts(HWND dialog) {
    std::vector<std::string> texts;
    for (HWND child : children(dialog, L"Static"))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON && !text(child).empty())
            texts.push_back(text(child));
    return texts;
}

MessageBoxSeen waitForMessageBox(const std::string& caption) {
    MessageBoxSeen box;
    box.window = waitFor([&] { return findTopLevel(caption); }, "a message box \"" + caption + "\"");
    box.caption = caption;
    for (HWND child : children(box.window, L"Static")) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            if (SendMessageW(child, STM_GETICON, 0, 0)) box.icon = true;
        } else if (!text(child).empty()) {
            box.text = text(child);
        }
    }
    for (HWND button : children(box.window, L"Button")) {
        int id = GetDlgCtrlID(button);
        if (id == IDOK) box.ok = true;
        if (id == IDCANCEL) box.cancel = true;
    }
    return box;
}

void answer(const MessageBoxSeen& box, int button) {
    press(GetDlgItem(box.window, button));
    waitUntilGone(box.window, "the message box \"" + box.text + "\"");
}

std::string ownName() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name.erase(0, name.find_last_of(L"\\/") + 1);
    return utf8(name.substr(0, name.rfind(L'.')));
}

std::string ownFolder() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return utf8(folder.substr(0, folder.find_last_of(L"\\/")));
}

namespace {

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void chunk(std::string& png, const char* type, const std::string& data) {
    put32(png, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// RGB rows as a PNG whose deflate stream is made of stored blocks: large,
// but no compressor is needed.
std::string pngOf(int width, int height, const std::vector<uint8_t>& rgb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(&rgb[static_cast<size_t>(y) * width * 3]),
                   static_cast<size_t>(width) * 3);
    }
    std::string z = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>(n >> 8);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");
    return png;
}

}  // namespace

bool saveWindowPicture(HWND window, const std::string& path) {
    // The window paints on its own thread; the picture waits for that, and
    // for the display to show it (pictures only, never a check).
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    Sleep(700);
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    auto* pixels = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rgb[i * 3] = pixels[i * 4 + 2];
        rgb[i * 3 + 1] = pixels[i * 4 + 1];
        rgb[i * 3 + 2] = pixels[i * 4];
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::ofstream out(std::filesystem::path(wide(path)), std::ios::binary);
    out << pngOf(width, height, rgb);
    return static_cast<bool>(out);
}

}  // namespace mivra::wingui
