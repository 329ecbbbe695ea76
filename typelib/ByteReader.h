#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "Result.h"

namespace mivra {

// Bounds-checked little-endian reads over bytes that some other object owns.
// Every read names what it was reading, so a failure says where the file is
// wrong ("MSFT header: nrtypeinfos at 0x20").
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    uint64_t size() const { return bytes_.size(); }
    std::span<const std::byte> bytes() const { return bytes_; }

    // True when [offset, offset + length) lies inside the bytes; cannot overflow.
    bool contains(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    Result<uint8_t> u8(uint64_t offset, const char* what) const;
    Result<uint16_t> u16(uint64_t offset, const char* what) const;
    Result<uint32_t> u32(uint64_t offset, const char* what) const;
    Result<int32_t> i32(uint64_t offset, const char* what) const;
    Result<std::span<const std::byte>> slice(uint64_t offset, uint64_t length, const char* what) const;
    // A reader over a part of these bytes; offsets in it start at 0.
    Result<ByteReader> sub(uint64_t offset, uint64_t length, const char* what) const;

    // Unchecked decoding for callers that have checked the range already.
    uint8_t byteAt(uint64_t offset) const { return static_cast<uint8_t>(bytes_[offset]); }
    uint16_t u16At(uint64_t offset) const {
        return static_cast<uint16_t>(byteAt(offset) | byteAt(offset + 1) << 8);
    }
    uint32_t u32At(uint64_t offset) const {
        return static_cast<uint32_t>(byteAt(offset)) | static_cast<uint32_t>(byteAt(offset + 1)) << 8 |
               static_cast<uint32_t>(byteAt(offset + 2)) << 16 |
               static_cast<uint32_t>(byteAt(offset + 3)) << 24;
    }

private:
    Failure outside(uint64_t offset, uint64_t length, const char* what) const;

    std::span<const std::byte> bytes_;
};

// "0x1F" for failure texts.
std::string hexText(uint64_t value);

// The failure of a read of [offset, offset + length) from `available` bytes.
Failure outsideFailure(uint64_t offset, uint64_t length, uint64_t available, const char* what);

}  // namespace mivra
