#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestArchives.h"

namespace mivra::installer::test {

// Points HOME and the XDG folders at a temporary folder for one test.
class DesktopFolders {
public:
    DesktopFolders() {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        std::filesystem::create_directories(root_ / "home");
    }
    ~DesktopFolders() {
        for (const auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    std::string operator/(const std::string& name) const { return root_ / name; }

private:
    TempFolder root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace mivra::installer::test
