#include "TextFile.h"

#include <algorithm>
#include <cstring>
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

namespace {

constexpr size_t headLines = 5;
constexpr size_t blockSize = size_t(1) << 16;

}  // namespace

std::unique_ptr<GeneratedFile> GeneratedFile::open(const std::string& path, bool textMode) {
    // Opened to append, which neither truncates nor changes the file, so
    // that a file that cannot be written is known before anything is.
    std::FILE* file = openFile(path, textMode ? "a" : "ab");
    if (!file) return nullptr;
    std::unique_ptr<GeneratedFile> writer(new GeneratedFile(path, textMode));
    writer->buffer(file);
    long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    if (size == 0) {
        // Empty: written as the text comes.
        writer->out_ = file;
        return writer;
    }
    std::fclose(file);
    // Only a regular file is read: a device cannot hold the text.
    if (size > 0) writer->old_ = openFile(path, textMode ? "r" : "rb");
    if (!writer->old_) writer->startWriting({});
    return writer;
}

GeneratedFile::~GeneratedFile() { close(); }

// Before any other use of the stream.
void GeneratedFile::buffer(std::FILE* file) {
    if (!outBuffer_) outBuffer_.reset(new char[blockSize]);
    std::setvbuf(file, outBuffer_.get(), _IOFBF, blockSize);
}

bool GeneratedFile::readBlock() {
    if (oldEnded_) return false;
    block_.resize(blockSize);
    size_t got = std::fread(block_.data(), 1, block_.size(), old_);
    block_.resize(got);
    blockAt_ = 0;
    if (got == 0) oldEnded_ = true;
    return got > 0;
}

// The old file's next line (or what is left of it), for its head.
bool GeneratedFile::readOldLine(std::string& line) {
    line.clear();
    while (blockAt_ < block_.size() || readBlock()) {
        char c = block_[blockAt_++];
        line += c;
        if (c == '\n') return true;
    }
    return !line.empty();
}

void GeneratedFile::write(std::string_view text) {
    if (closed_ || text.empty()) return;
    if (out_) {
        if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) failed_ = true;
        return;
    }
    if (!headDone_) {
        // The head, where the generation time may differ, is compared as a whole.
        while (!text.empty() && headNewlines_ < headLines) {
            size_t end = text.find('\n');
            size_t take = end == std::string_view::npos ? text.size() : end + 1;
            head_.append(text.substr(0, take));
            if (end != std::string_view::npos) ++headNewlines_;
            text.remove_prefix(take);
        }
        if (headNewlines_ < headLines) return;
        headDone_ = true;
        std::string oldHead, line;
        for (size_t i = 0; i < headLines && readOldLine(line); ++i) oldHead += line;
        if (!sameGeneratedText(oldHead, head_)) {
            startWriting(text);
            return;
        }
        oldHeadSize_ = oldHead.size();
    }
    // The body must be the same to the byte; it is compared block by block.
    while (!text.empty()) {
        if (blockAt_ == block_.size() && !readBlock()) break;
        size_t n = std::min(text.size(), block_.size() - blockAt_);
        if (std::memcmp(text.data(), block_.data() + blockAt_, n) != 0) break;
        blockAt_ += n;
        matched_ += n;
        text.remove_prefix(n);
    }
    if (!text.empty()) startWriting(text);
}

// The first difference: the file is written from its start, the matched
// part of the body taken from the old file, which holds it already.
void GeneratedFile::startWriting(std::string_view rest) {
    std::string matched;
    if (old_) {
        std::fclose(old_);
        old_ = nullptr;
        if (matched_ > 0) {
            std::FILE* again = openFile(path_, textMode_ ? "r" : "rb");
            std::string skipped(oldHeadSize_, '\0');
            matched.resize(matched_);
            if (!again || std::fread(skipped.data(), 1, skipped.size(), again) != skipped.size() ||
                std::fread(matched.data(), 1, matched.size(), again) != matched.size())
                failed_ = true;
            if (again) std::fclose(again);
        }
    }
    block_ = std::vector<char>();
    if (failed_) return;
    out_ = openFile(path_, textMode_ ? "w" : "wb");
    if (!out_) {
        failed_ = true;
        return;
    }
    buffer(out_);
    for (std::string_view piece : {std::string_view(head_), std::string_view(matched), rest})
        if (!piece.empty() && std::fwrite(piece.data(), 1, piece.size(), out_) != piece.size()) failed_ = true;
    head_ = std::string();
}

bool GeneratedFile::close() {
    if (closed_) return !failed_;
    if (old_) {
        if (!headDone_) {
            // A text of fewer lines than the head: the whole old file is its head.
            std::string oldText, line;
            while (oldText.size() <= head_.size() + blockSize && readOldLine(line)) oldText += line;
            if (!sameGeneratedText(oldText, head_)) startWriting({});
        } else if (blockAt_ < block_.size() || readBlock() || std::ferror(old_)) {
            // The old file is longer, or could not be read to its end.
            startWriting({});
        }
    }
    closed_ = true;
    if (old_) std::fclose(old_);
    old_ = nullptr;
    if (out_ && std::fclose(out_) != 0) failed_ = true;
    out_ = nullptr;
    return !failed_;
}

std::unique_ptr<TextFile> TextFile::create(const std::string& path) {
    auto file = GeneratedFile::open(path, true);
    if (!file) return nullptr;
    return std::unique_ptr<TextFile>(new TextFile(std::move(file)));
}

TextFile::~TextFile() { close(); }

// The texts arrive as UTF-8; the file carries the system code page (on
// Windows the ANSI code page, elsewhere UTF-8 itself).
void TextFile::write(std::string_view text) {
    if (!file_ || text.empty()) return;
#ifdef _WIN32
    std::string converted = systemCodePageText(std::string(text));
    text = converted;
#endif
    file_->write(text);
}

bool TextFile::close() {
    if (!file_) return !failed_;
    if (!file_->close()) failed_ = true;
    file_.reset();
    if (failed_ && whenIncomplete_) std::exchange(whenIncomplete_, nullptr)();
    return !failed_;
}

}  // namespace mivra
