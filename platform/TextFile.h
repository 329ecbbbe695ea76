#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace mivra {

// An output file opened for writing in the platform's text mode: on Windows
// each "\n" reaches the disk as CR LF and the text is in the ANSI code page,
// elsewhere it is written as it is (UTF-8). Creating it
// truncates an existing file of that name.
class TextFile {
public:
    static std::unique_ptr<TextFile> create(const std::string& path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    void write(std::string_view text);
    // Flushes and closes; false when some write did not reach the file (a
    // full disk, a short write on close).
    bool close();
    // Called once when the file turns out not to hold all that was written,
    // at close or when it is destroyed unclosed: writers report it there.
    void whenIncomplete(std::function<void()> report) { whenIncomplete_ = std::move(report); }

private:
    explicit TextFile(std::FILE* file) : file_(file) {}
    std::FILE* file_;
    bool failed_ = false;
    std::function<void()> whenIncomplete_;
};

}  // namespace mivra
