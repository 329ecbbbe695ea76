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
        uint32_t icon;  // the resource number of the program icon
    };
    const std::vector<Case> cases = {{"setup.exe", "requireAdministrator", 1},
                                     {"Uninstaller.exe", "requireAdministrator", 1},
                                     {"mivra.exe", "asInvoker", 1}};
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
        // The icon is drawn at every size Windows shows, up to 256 pixels
        // (an entry's width byte 0).
        auto group = findResource(bytes, groupIconType, c.icon);
        ASSERT_TRUE(group.ok()) << c.file << " has no icon";
        std::vector<int> sizes;
        const auto* directory = reinterpret_cast<const unsigned char*>(group->data());
        const size_t count = group->size() >= 6 ? directory[4] | directory[5] << 8 : 0;
        for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group->size(); ++i)
            sizes.push_back(directory[6 + 14 * i] == 0 ? 256 : directory[6 + 14 * i]);
        EXPECT_EQ(sizes, (std::vector<int>{16, 20, 22, 24, 32, 40, 48, 64, 96, 128, 256})) << c.file;
    }
}

}  // namespace
}  // namespace mivra
