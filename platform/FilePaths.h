#pragma once

#include <string>

namespace mivra {

// The absolute form of a path, a relative one taken from the current
// directory; "." and ".." parts are resolved by the text alone (links are
// not followed and the path need not exist). Empty when it cannot be formed.
std::string fullPath(const std::string& path);

// Whether anything (a file or a folder) exists at the path.
bool fileExists(const std::string& path);

}  // namespace mivra
