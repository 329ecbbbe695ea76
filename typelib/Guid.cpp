#include "Guid.h"

#include <cstdio>

namespace mivra {

std::string guidText(const Guid& g) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                  static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

namespace {

std::optional<uint64_t> hexField(std::string_view text, size_t offset, size_t digits) {
    uint64_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        char c = text[offset + i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        value = value << 4 | static_cast<uint64_t>(d);
    }
    return value;
}

}  // namespace

std::optional<Guid> parseGuid(std::string_view t) {
    if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' ||
        t[19] != '-' || t[24] != '-')
        return std::nullopt;
    auto d1 = hexField(t, 1, 8), d2 = hexField(t, 10, 4), d3 = hexField(t, 15, 4);
    auto d4a = hexField(t, 20, 4), d4b = hexField(t, 25, 12);
    if (!d1 || !d2 || !d3 || !d4a || !d4b) return std::nullopt;
    Guid g;
    g.data1 = static_cast<uint32_t>(*d1);
    g.data2 = static_cast<uint16_t>(*d2);
    g.data3 = static_cast<uint16_t>(*d3);
    g.data4[0] = static_cast<uint8_t>(*d4a >> 8);
    g.data4[1] = static_cast<uint8_t>(*d4a);
    for (int i = 0; i < 6; ++i) g.data4[2 + i] = static_cast<uint8_t>(*d4b >> (8 * (5 - i)));
    return g;
}

}  // namespace mivra
