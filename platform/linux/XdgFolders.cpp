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

}  // namespace mivra::linux_desktop
