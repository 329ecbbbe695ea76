#include "XdgFolders.h"

#include <cstdlib>

namespace mivra::linux_desktop {

namespace {
std::filesystem::path fromEnvironment(const char* variable, const char* underHome) {
    if (const char* value = std::getenv(variable); value && *value == '/') return value;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / underHome;
}
}  // namespace

std::filesystem::path dataHome() { return fromEnvironment("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path configHome() { return fromEnvironment("XDG_CONFIG_HOME", ".config"); }

void removeEmptyFoldersInHome(const std::filesystem::path& folder) {
    const char* homeVariable = std::getenv("HOME");
    if (!homeVariable || *homeVariable != '/') return;
    const auto home = std::filesystem::path(homeVariable).lexically_normal();
    std::error_code error;
    for (auto current = folder.lexically_normal(); current.has_relative_path(); current = current.parent_path()) {
        const auto inside = current.lexically_relative(home);
        if (inside.empty() || inside == "." || *inside.begin() == "..") return;
        if (!std::filesystem::is_directory(std::filesystem::symlink_status(current, error)) ||
            !std::filesystem::is_empty(current, error) || !std::filesystem::remove(current, error))
            return;
    }
}

}  // namespace mivra::linux_desktop
