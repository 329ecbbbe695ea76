#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Result.h"

namespace mivra {

// Bytes read by position: a file read only where asked, or bytes already in
// memory. Readers check their ranges against size() before reading.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Fills `into` with the bytes from offset on; fails when they are not
    // all there (also when a file was cut after it was opened).
    virtual Result<bool> read(uint64_t offset, std::span<std::byte> into) const = 0;

    // The bytes of [offset, offset + length), copied.
    Result<std::vector<std::byte>> copy(uint64_t offset, uint64_t length) const;
};

class SpanByteSource final : public ByteSource {
public:
    explicit SpanByteSource(std::span<const std::byte> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    Result<bool> read(uint64_t offset, std::span<std::byte> into) const override;

private:
    std::span<const std::byte> bytes_;
};

// A file kept open for reads by position. Small reads near each other (the
// fields of headers and directories) are served from one cached block.
class FileByteSource final : public ByteSource {
public:
    // Fails ("path: ...") when the file cannot be opened or is larger than maxSize.
    static Result<std::unique_ptr<FileByteSource>> open(const std::string& path, uint64_t maxSize);

    uint64_t size() const override { return size_; }
    Result<bool> read(uint64_t offset, std::span<std::byte> into) const override;

private:
    FileByteSource(std::string path, uint64_t size) : path_(std::move(path)), size_(size) {}
    Result<bool> readDirect(uint64_t offset, std::span<std::byte> into) const;

    static constexpr uint64_t blockSize = 4096;

    std::string path_;
    uint64_t size_;
    mutable std::ifstream in_;
    mutable std::vector<std::byte> block_;
    mutable uint64_t blockStart_ = 0;
};

}  // namespace mivra
