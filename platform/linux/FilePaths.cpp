#include "FilePaths.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace mivra {

std::string fullPath(const std::string& path) {
    if (path.empty()) return {};
    std::filesystem::path p(path);
    if (p.is_relative()) {
        std::error_code error;
        auto current = std::filesystem::current_path(error);
        if (error) return {};
        p = current / p;
    }
    return p.lexically_normal().string();
}

bool fileExists(const std::string& path) {
    return !path.empty() && access(path.c_str(), F_OK) == 0;
}

}  // namespace mivra
