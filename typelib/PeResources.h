#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "Result.h"

namespace mivra {

// True when the bytes start like a DOS/PE executable ("MZ").
bool looksLikeExecutable(std::span<const std::byte> file);

// The bytes of resource TYPELIB/<id> of a PE32 or PE32+ image read as a file
// (not mapped). Language: neutral if present, else 0x409, else the first one.
Result<std::span<const std::byte>> findTypeLibResource(std::span<const std::byte> file, uint32_t id);

}  // namespace mivra
