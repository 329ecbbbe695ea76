#include "Output.h"

#include <algorithm>
#include <cstdio>

#include "TextFile.h"

namespace mivra {

namespace {

#ifdef _WIN32
constexpr char separator = '\\';
#else
constexpr char separator = '/';
#endif

// Writes a new or empty file as the text comes; for a file with content,
// keeps the text until close and writes the file only when it does not hold
// that text already.
class FileSink final : public OutputSink {
public:
    FileSink(std::FILE* file, std::string path, long size) : file_(file), path_(std::move(path)), compare_(size != 0) {
        if (compare_) {
            std::fclose(file_);
            file_ = nullptr;
            text_.reserve(size > 0 ? static_cast<size_t>(size) + 64 : 0);
        } else {
            std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        }
    }
    ~FileSink() override { close(); }

    void write(std::string_view text) override {
        if (closed_ || failed_ || text.empty()) return;
        if (compare_) text_.append(text);
        else if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
    }

    bool close() override {
        if (closed_) return !failed_;
        closed_ = true;
        if (!compare_) {
            if (std::fclose(file_) != 0) failed_ = true;
            return !failed_;
        }
        if (fileHoldsGeneratedText(path_, false, text_)) return true;
        std::FILE* file = openFile(path_, "wb");
        if (!file) return !(failed_ = true);
        if (std::fwrite(text_.data(), 1, text_.size(), file) != text_.size()) failed_ = true;
        if (std::fclose(file) != 0) failed_ = true;
        text_ = std::string();
        return !failed_;
    }

private:
    std::FILE* file_;
    std::string path_;
    std::string text_;
    bool compare_;
    bool closed_ = false;
    bool failed_ = false;
};

class MemorySink final : public OutputSink {
public:
    MemorySink(std::map<std::string, std::string>& files, std::string name) : files_(files), name_(std::move(name)) {}
    void write(std::string_view text) override { text_.append(text); }
    bool close() override {
        if (!closed_) files_[name_] = std::move(text_);
        closed_ = true;
        return true;
    }

private:
    std::map<std::string, std::string>& files_;
    std::string name_;
    std::string text_;
    bool closed_ = false;
};

}  // namespace

std::string outputPath(std::string_view folder, std::string_view fileName) {
    std::string path(folder);
    if (path.empty() || path.back() != separator) path += separator;
    path.append(fileName);
    return path;
}

size_t classNameRoom(std::string_view folderPath) {
    constexpr size_t suffix = 5;  // ".java"
    size_t room = maxFileNameLength - suffix;
    if (folderPath.empty()) return room;
    size_t used = outputPath(folderPath, "").size() + suffix;
    return used >= maxPathLength ? 0 : std::min(room, maxPathLength - used);
}

std::string DiskOutput::pathOf(const std::string& name) const { return outputPath(folder_, name); }

std::unique_ptr<OutputSink> DiskOutput::open(const std::string& name) {
    std::string path = pathOf(name);
    // Opened to append, which neither truncates nor changes the file: one
    // that cannot be written is known before anything is.
    std::FILE* file = openFile(path, "ab");
    if (!file) return nullptr;
    long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    paths_.push_back(path);
    return std::make_unique<FileSink>(file, std::move(path), size);
}

std::unique_ptr<OutputSink> MemoryOutput::open(const std::string& name) {
    return std::make_unique<MemorySink>(files_, name);
}

}  // namespace mivra
