#include "Output.h"

#include <cstdio>

#include "GenerationContext.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace mivra {

namespace {

class FileSink final : public OutputSink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    ~FileSink() override { close(); }

    void write(std::string_view text) override {
        if (!file_ || failed_ || text.empty()) return;
        if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
    }

    bool close() override {
        if (file_) {
            if (std::fclose(file_) != 0) failed_ = true;
            file_ = nullptr;
        }
        return !failed_;
    }

private:
    std::FILE* file_;
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

std::string DiskOutput::pathOf(const std::string& name) const { return outputPath(folder_, name); }

std::unique_ptr<OutputSink> DiskOutput::open(const std::string& name) {
    std::string path = pathOf(name);
#ifdef _WIN32
    int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    std::FILE* file = _wfopen(wide.c_str(), L"wb");
#else
    std::FILE* file = std::fopen(path.c_str(), "wb");
#endif
    if (!file) return nullptr;
    std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return std::make_unique<FileSink>(file);
}

std::unique_ptr<OutputSink> MemoryOutput::open(const std::string& name) {
    return std::make_unique<MemorySink>(files_, name);
}

}  // namespace mivra
