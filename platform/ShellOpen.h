#pragma once

#include <string>

namespace mivra {

// Opens a document (a file path or a URL) with the program the desktop
// associates with it and returns at once, without waiting for that program.
// False when no program could be started.
bool openWithShell(const std::string& document);

}  // namespace mivra
