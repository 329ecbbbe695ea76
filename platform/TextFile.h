#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mivra {

// A generated file that is written only where it changed: a file that
// already holds the text (sameGeneratedText) is left as it is. The old
// content is read block by block as the new text comes and compared with
// it; at the first difference the file is written from its start, the part
// that matched taken from the old file. A new or empty file is written as
// the text comes. textMode: the platform's text mode ("\n" as CR LF on
// Windows), else bytes.
class GeneratedFile {
public:
    // Nothing when the file cannot be opened for writing.
    static std::unique_ptr<GeneratedFile> open(const std::string& path, bool textMode);
    ~GeneratedFile();
    GeneratedFile(const GeneratedFile&) = delete;
    GeneratedFile& operator=(const GeneratedFile&) = delete;

    void write(std::string_view text);
    // False when a write, the reading of the old content or the close failed.
    bool close();

private:
    GeneratedFile(std::string path, bool textMode) : path_(std::move(path)), textMode_(textMode) {}
    bool readBlock();
    bool readOldLine(std::string& line);
    void startWriting(std::string_view rest);
    void buffer(std::FILE* file);

    std::string path_;
    bool textMode_;
    std::FILE* old_ = nullptr;  // while comparing
    std::FILE* out_ = nullptr;  // once writing
    // The stream's buffer: without one of its own, the C library writes in
    // pieces of a disk block, thousands of calls for a large file.
    std::unique_ptr<char[]> outBuffer_;
    std::vector<char> block_;   // of the old file
    size_t blockAt_ = 0;
    bool oldEnded_ = false;
    // The first lines, where only the generation time may differ.
    std::string head_;
    size_t headNewlines_ = 0;
    bool headDone_ = false;
    size_t oldHeadSize_ = 0;
    size_t matched_ = 0;  // bytes of the body equal so far
    bool closed_ = false;
    bool failed_ = false;
};

// An output file written in the platform's text mode: on Windows each "\n"
// reaches the disk as CR LF and the text is in the ANSI code page, elsewhere
// it is written as it is (UTF-8). A file that holds the text already is
// left alone (GeneratedFile), so that regenerating touches only what changed.
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
    explicit TextFile(std::unique_ptr<GeneratedFile> file) : file_(std::move(file)) {}
    std::unique_ptr<GeneratedFile> file_;
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

}  // namespace mivra
