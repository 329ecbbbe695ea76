#pragma once

#include <string>

namespace mivra {

// The absolute form of a path, a relative one taken from the current
// directory; the path itself when it cannot be resolved.
std::string fullPath(const std::string& path);

// Whether something exists at the path (a file or a folder).
bool fileExists(const std::string& path);

}  // namespace mivra
