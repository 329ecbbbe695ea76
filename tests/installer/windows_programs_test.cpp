#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PeResources.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t manifestType = 24, groupIconType = 14;

// The manifest and icon resources of the Windows build's programs (which
// scripts/prepare.sh makes in build-win): Wine enforces neither UAC nor the
// common controls' version, so the resources are what can be checked.
TEST(WindowsPrograms, ManifestsAskForTheirRightsAndDeclareDpiAndCommonControls) {
    struct Case {
        const char* file;
        const char* level;
        bool icon;
    };
    const std::vector<Case> cases = {{"setup.exe", "requireAdministrator", true},
                                     {"Uninstaller.exe", "requireAdministrator", true},
                                     {"mivra.exe", "asInvoker", false}};
    for (const auto& c : cases) {
        const fs::path program = fs::path(MIVRA_WINDOWS_BIN) / c.file;
        if (!fs::exists(program)) {
            if (std::getenv("CI")) ADD_FAILURE() << program << " is not built";
            else GTEST_SKIP() << program << " is not built (scripts/prepare.sh builds it into build-win)";
            continue;
        }
        std::ifstream in(program, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(content.data()), content.size());
        auto manifest = findResource(bytes, manifestType, 1);
        ASSERT_TRUE(manifest.ok()) << c.file << ": " << manifest.failure().message;
        const std::string text(reinterpret_cast<const char*>(manifest->data()), manifest->size());
        EXPECT_NE(text.find(std::string("<requestedExecutionLevel level=\"") + c.level + "\""), std::string::npos)
            << c.file << text;
        EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos) << c.file;
        EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos)
            << c.file;
        if (c.icon) EXPECT_TRUE(findResource(bytes, groupIconType, 1).ok()) << c.file << " has no icon";
    }
}

}  // namespace
}  // namespace mivra
