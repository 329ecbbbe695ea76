#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace mivra {

// An output file written in the platform's text mode: on Windows each "\n"
// reaches the disk as CR LF and the text is in the ANSI code page, elsewhere
// it is written as it is (UTF-8). The text is kept until close, which
// leaves an existing file of that name alone when it holds the same text
// (sameGeneratedText), so that regenerating touches only what changed.
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
    TextFile(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
    std::FILE* file_;
    std::string path_;
    std::string text_;
    // Whether the file had content to compare with; else it is written directly.
    bool compare_ = false;
    bool failed_ = false;
    std::function<void()> whenIncomplete_;
};

// Whether a file holding old may stay as it is when now is to be written:
// the same bytes, or the same but for the generation time, a line starting
// "// Generated: " among the first five.
bool sameGeneratedText(std::string_view old, std::string_view now);

// Opens path for writing: "wb" (binary) or "w" (text), "a" to create it
// without truncating; the path is UTF-8.
std::FILE* openFile(const std::string& path, const char* mode);

// Whether the file at path holds text already (sameGeneratedText), read in
// text mode or as bytes.
bool fileHoldsGeneratedText(const std::string& path, bool textMode, std::string_view text);

}  // namespace mivra
