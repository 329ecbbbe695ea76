#include "TextFile.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

#include "SystemCodePage.h"

namespace mivra {

std::FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
    int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(wide.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool fileHoldsGeneratedText(const std::string& path, bool textMode, std::string_view text) {
    std::FILE* file = openFile(path, "rb");
    if (!file) return false;
    // Only a regular file of about the size the text needs is read: a device
    // or a much larger file cannot hold it.
    long expected = static_cast<long>(text.size());
#ifdef _WIN32
    if (textMode) expected += static_cast<long>(std::count(text.begin(), text.end(), '\n'));
#endif
    long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    const bool fits = size >= 0 && size >= expected - 64 && size <= expected + 64;
    if (fits && !textMode) {
        std::rewind(file);
    } else {
        std::fclose(file);
        file = fits ? openFile(path, "r") : nullptr;
    }
    if (!file) return false;
    std::string old(static_cast<size_t>(size) + 1, '\0');
    old.resize(std::fread(old.data(), 1, old.size(), file));
    bool read = !std::ferror(file);
    std::fclose(file);
    return read && sameGeneratedText(old, text);
}

namespace {

// The text without its first "// Generated: " line among the first five.
std::string_view withoutTimeLine(std::string_view text, std::string& rest) {
    size_t start = 0;
    for (int line = 0; line < 5 && start < text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;
        if (text.substr(start).starts_with("// Generated: ")) {
            rest.assign(text.substr(0, start));
            rest.append(text.substr(end + 1));
            return rest;
        }
        start = end + 1;
    }
    return text;
}

}  // namespace

bool sameGeneratedText(std::string_view old, std::string_view now) {
    if (old == now) return true;
    std::string oldRest, nowRest;
    std::string_view a = withoutTimeLine(old, oldRest), b = withoutTimeLine(now, nowRest);
    return a.size() != old.size() && b.size() != now.size() && a == b;
}

std::unique_ptr<TextFile> TextFile::create(const std::string& path) {
    // Opened to append, which neither truncates nor changes the file, so
    // that a file that cannot be written is known before anything is.
    std::FILE* file = openFile(path, "a");
    if (!file) return nullptr;
    std::unique_ptr<TextFile> created(new TextFile(file, path));
    // An empty file is written as the text comes; one with content keeps
    // the text for the comparison, in one block of about its size.
    long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    created->compare_ = size != 0;
    if (created->compare_) created->text_.reserve(size > 0 ? static_cast<size_t>(size) + 64 : 0);
    else std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return created;
}

TextFile::~TextFile() { close(); }

// The texts arrive as UTF-8; the file carries the system code page (on
// Windows the ANSI code page, elsewhere UTF-8 itself).
void TextFile::write(std::string_view text) {
    if (!file_ || text.empty()) return;
#ifdef _WIN32
    // Texts are UTF-8 inside the program; the files carry the ANSI code page.
    std::string converted = systemCodePageText(std::string(text));
    text = converted;
#endif
    if (compare_) text_ += text;
    else if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool TextFile::close() {
    if (!file_) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    if (compare_ && !failed_ && !fileHoldsGeneratedText(path_, true, text_)) {
        std::FILE* file = openFile(path_, "w");
        if (!file) {
            failed_ = true;
        } else {
            if (std::fwrite(text_.data(), 1, text_.size(), file) != text_.size()) failed_ = true;
            if (std::fclose(file) != 0) failed_ = true;
        }
    }
    text_ = std::string();
    if (failed_ && whenIncomplete_) std::exchange(whenIncomplete_, nullptr)();
    return !failed_;
}

}  // namespace mivra
