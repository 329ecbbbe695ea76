#include "ByteSource.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace mivra {

Result<std::vector<std::byte>> ByteSource::copy(uint64_t offset, uint64_t length) const {
    if (offset > size() || length > size() - offset) return fail("read past the end of the bytes");
    std::vector<std::byte> bytes(static_cast<size_t>(length));
    auto read = this->read(offset, bytes);
    if (!read) return read.failure();
    return bytes;
}

Result<bool> SpanByteSource::read(uint64_t offset, std::span<std::byte> into) const {
    if (offset > bytes_.size() || into.size() > bytes_.size() - offset) return fail("read past the end of the bytes");
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
}

Result<std::unique_ptr<FileByteSource>> FileByteSource::open(const std::string& path, uint64_t maxSize) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error) return fail(path + ": " + error.message());
    if (size > maxSize) return fail(path + ": file too large");
    std::unique_ptr<FileByteSource> file(new FileByteSource(path, size));
    // The block cache buffers; the stream's own buffer would copy twice.
    file->in_.rdbuf()->pubsetbuf(nullptr, 0);
    file->in_.open(path, std::ios::binary);
    if (!file->in_) return fail(path + ": cannot be opened");
    return file;
}

Result<bool> FileByteSource::readDirect(uint64_t offset, std::span<std::byte> into) const {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
    if (!in_ || static_cast<uint64_t>(in_.gcount()) != into.size()) return fail(path_ + ": cannot be read");
    return true;
}

Result<bool> FileByteSource::read(uint64_t offset, std::span<std::byte> into) const {
    if (offset > size_ || into.size() > size_ - offset) return fail(path_ + ": cannot be read");
    if (into.empty()) return true;
    uint64_t start = offset - offset % blockSize;
    if (offset + into.size() > start + blockSize) return readDirect(offset, into);
    if (block_.empty() || blockStart_ != start) {
        block_.resize(static_cast<size_t>(std::min(blockSize, size_ - start)));
        blockStart_ = start;
        auto filled = readDirect(start, block_);
        if (!filled) {
            block_.clear();
            return filled;
        }
    }
    std::memcpy(into.data(), block_.data() + (offset - start), into.size());
    return true;
}

}  // namespace mivra
