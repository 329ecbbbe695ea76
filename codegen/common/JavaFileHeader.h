#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace mivra {

// The C library's ctime form: "Thu May 24 10:58:38 2001\n".
std::string ctimeText(std::time_t when);

// The comment every generated Java file starts with: the path it was written
// to and the generation time (the ctime form, with its line end).
std::string javaFileHeader(std::string_view path, std::string_view timeText);

}  // namespace mivra
