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

// A file on disk, rewritten only where its content changed.
class FileSink final : public OutputSink {
public:
    explicit FileSink(std::unique_ptr<GeneratedFile> file) : file_(std::move(file)) {}
    void write(std::string_view text) override { file_->write(text); }
    bool close() override { return file_->close(); }

private:
    std::unique_ptr<GeneratedFile> file_;
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
    auto file = GeneratedFile::open(path, false);
    if (!file) return nullptr;
    paths_.push_back(path);
    return std::make_unique<FileSink>(std::move(file));
}

std::unique_ptr<OutputSink> MemoryOutput::open(const std::string& name) {
    return std::make_unique<MemorySink>(files_, name);
}

}  // namespace mivra
