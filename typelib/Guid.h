#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mivra {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    friend bool operator==(const Guid&, const Guid&) = default;
};

// Braced upper-case form, 38 characters, as StringFromCLSID writes it.
std::string guidText(const Guid& guid);

// Reads the braced form (either case); anything else gives nothing.
std::optional<Guid> parseGuid(std::string_view text);

}  // namespace mivra
