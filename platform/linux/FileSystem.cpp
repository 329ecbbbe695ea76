#include "FileSystem.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace mivra {

std::string fullPath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer)) return path;
    std::string directory = buffer;
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory + path;
}

bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace mivra
