#pragma once

#include <string>

namespace mivra {

// Hands a file to the user's default program for it (the shell's open
// action) without waiting for that program; false when nothing could be
// started.
bool openWithDefaultProgram(const std::string& path);

}  // namespace mivra
