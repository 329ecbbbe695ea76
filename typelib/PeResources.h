#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ByteSource.h"
#include "Result.h"

namespace mivra {

// True when the bytes start like a DOS/PE executable ("MZ").
bool looksLikeExecutable(std::span<const std::byte> file);
bool looksLikeExecutable(const ByteSource& file);

// The bytes of resource TYPELIB/<id> of a PE32 or PE32+ image read as a file
// (not mapped). Language: neutral if present, else 0x409, else the first one.
Result<std::span<const std::byte>> findTypeLibResource(std::span<const std::byte> file, uint32_t id);

// The same resource's bytes, copied. Of the rest of the file only the
// headers and the resource directory's entries on the way are read.
Result<std::vector<std::byte>> readTypeLibResource(const ByteSource& file, uint32_t id);

// The bytes of the resource of numbered type and id (RT_MANIFEST = 24,
// RT_GROUP_ICON = 14), same language choice.
Result<std::span<const std::byte>> findResource(std::span<const std::byte> file, uint32_t type, uint32_t id);

}  // namespace mivra
