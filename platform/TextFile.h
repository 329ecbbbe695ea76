#pragma once

#include <cstdio>
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
    // Flushes and closes; false when some write did not reach the file.
    bool close();

private:
    explicit TextFile(std::FILE* file) : file_(file) {}
    std::FILE* file_;
    bool failed_ = false;
};

}  // namespace mivra
