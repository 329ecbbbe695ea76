#include "TextFile.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

#include "SystemCodePage.h"

namespace mivra {

std::unique_ptr<TextFile> TextFile::create(const std::string& path) {
#ifdef _WIN32
    int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    std::FILE* file = _wfopen(wide.c_str(), L"w");
#else
    std::FILE* file = std::fopen(path.c_str(), "w");
#endif
    if (!file) return nullptr;
    // Large writes keep the C file of a big library from costing one system
    // call per line.
    std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return std::unique_ptr<TextFile>(new TextFile(file));
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
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool TextFile::close() {
    if (!file_) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    if (failed_ && whenIncomplete_) std::exchange(whenIncomplete_, nullptr)();
    return !failed_;
}

}  // namespace mivra
