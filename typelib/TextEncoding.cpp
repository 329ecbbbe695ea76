#include "TextEncoding.h"

#include <algorithm>
#include <cstdint>

namespace mivra {

namespace {

// 0x80..0x9F of Windows-1252; 0 where the code page leaves a hole, which
// MultiByteToWideChar passes through as the same code point.
constexpr uint16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                               0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string windows1252ToUtf8(std::span<const std::byte> text) {
    // Names are nearly always ASCII, which is the same in both.
    if (std::all_of(text.begin(), text.end(), [](std::byte b) { return static_cast<uint8_t>(b) < 0x80; }))
        return std::string(reinterpret_cast<const char*>(text.data()), text.size());
    std::string out;
    out.reserve(text.size());
    for (std::byte b : text) {
        uint32_t c = static_cast<uint8_t>(b);
        if (c >= 0x80 && c < 0xA0 && high[c - 0x80]) c = high[c - 0x80];
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace mivra
