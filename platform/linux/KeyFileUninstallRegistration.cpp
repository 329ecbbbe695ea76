#include <filesystem>
#include <fstream>

#include "UninstallRegistration.h"
#include "XdgFolders.h"

namespace mivra {

namespace {
std::filesystem::path registrationFile(const std::string& product) {
    return linux_desktop::dataHome() / product / "uninstall";
}
}  // namespace

bool writeUninstallRegistration(const std::string& product, const UninstallRegistration& values) {
    const auto file = registrationFile(product);
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::trunc);
    if (!out) return false;
    out << "DisplayName=" << values.displayName << "\n"
        << "UninstallString=" << values.uninstallString << "\n";
    return static_cast<bool>(out);
}

bool removeUninstallRegistration(const std::string& product) {
    const auto file = registrationFile(product);
    std::error_code error;
    const bool removed = std::filesystem::remove(file, error);
    std::filesystem::remove(file.parent_path(), error);  // only succeeds when empty
    linux_desktop::removeEmptyFoldersInHome(file.parent_path().parent_path());
    return removed;
}

std::optional<UninstallRegistration> readUninstallRegistration(const std::string& product) {
    std::ifstream in(registrationFile(product));
    if (!in) return std::nullopt;
    UninstallRegistration values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("DisplayName=")) values.displayName = line.substr(12);
        else if (line.starts_with("UninstallString=")) values.uninstallString = line.substr(16);
    }
    return values;
}

}  // namespace mivra
