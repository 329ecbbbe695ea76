#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace mivra {

// Type libraries store names and strings as 8-bit text in the code page of
// the machine that compiled them; Windows-1252 covers what is found in
// practice. The result is UTF-8.
std::string windows1252ToUtf8(std::span<const std::byte> text);

}  // namespace mivra
