#pragma once

#include <string>

namespace mivra {

// The 8-bit text that output files and console output carry for a UTF-8
// text: on Windows the ANSI code page (characters it lacks become its
// default character), elsewhere UTF-8 itself.
std::string systemCodePageText(const std::string& utf8);

}  // namespace mivra
