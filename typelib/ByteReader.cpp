#include "ByteReader.h"

#include <cstdio>

namespace mivra {

std::string hexText(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

Failure outsideFailure(uint64_t offset, uint64_t length, uint64_t available, const char* what) {
    return fail(std::string(what) + " at " + hexText(offset) + " (" + std::to_string(length) +
                " bytes) lies outside the " + std::to_string(available) + " bytes available");
}

Failure ByteReader::outside(uint64_t offset, uint64_t length, const char* what) const {
    return outsideFailure(offset, length, bytes_.size(), what);
}

Result<uint8_t> ByteReader::u8(uint64_t offset, const char* what) const {
    if (!contains(offset, 1)) return outside(offset, 1, what);
    return byteAt(offset);
}

Result<uint16_t> ByteReader::u16(uint64_t offset, const char* what) const {
    if (!contains(offset, 2)) return outside(offset, 2, what);
    return u16At(offset);
}

Result<uint32_t> ByteReader::u32(uint64_t offset, const char* what) const {
    if (!contains(offset, 4)) return outside(offset, 4, what);
    return u32At(offset);
}

Result<int32_t> ByteReader::i32(uint64_t offset, const char* what) const {
    if (!contains(offset, 4)) return outside(offset, 4, what);
    return static_cast<int32_t>(u32At(offset));
}

Result<std::span<const std::byte>> ByteReader::slice(uint64_t offset, uint64_t length,
                                                     const char* what) const {
    if (!contains(offset, length)) return outside(offset, length, what);
    return bytes_.subspan(offset, length);
}

Result<ByteReader> ByteReader::sub(uint64_t offset, uint64_t length, const char* what) const {
    if (!contains(offset, length)) return outside(offset, length, what);
    return ByteReader(bytes_.subspan(offset, length));
}

}  // namespace mivra
