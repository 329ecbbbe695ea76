#include <gtest/gtest.h>

#include "InstallNames.h"
#include "TestArchives.h"

namespace mivra::installer {
namespace {

namespace fs = std::filesystem;

// The setup the build packed: what it carries and that it installs.
TEST(ShippedSetup, CarriesTheProductAndInstallsIt) {
    const fs::path setup = fs::path(MIVRA_BINARY_DIR) / "bin" / "setup";
    if (!fs::exists(setup)) GTEST_SKIP() << "build/bin/setup is not built (no Qt)";
    auto directory = readArchiveDirectory(setup);
    ASSERT_TRUE(directory.ok()) << directory.failure().message;

    std::vector<std::string> names;
    for (const auto& file : directory->files) names.push_back(file.name);
    ASSERT_GE(names.size(), 2u);
    const auto icon = std::find(names.begin(), names.end(), programIconName);
    ASSERT_NE(icon, names.end());
    EXPECT_EQ(*(icon + 1), uninstallIconName);
    for (const auto& file : directory->files) EXPECT_EQ(file.substitute, file.name == "Readme.txt") << file.name;
    const bool hasBuilder = std::find(names.begin(), names.end(), builderFileName) != names.end();
    if (hasBuilder) {
        ASSERT_FALSE(directory->groupItems.empty());
        EXPECT_EQ(directory->groupItems[0].title, "Mivra");
        EXPECT_EQ(directory->groupItems[0].target, builderFileName);
    }
    if (names.back() == uninstallerFileName) {
        auto list = readArchiveDirectory(fs::path(MIVRA_BINARY_DIR) / "bin" / std::string(uninstallerFileName));
        ASSERT_TRUE(list.ok());
        EXPECT_EQ(list->files.size(), names.size() - 1);
        EXPECT_EQ(list->totalBytes, 0u);
        EXPECT_EQ(list->groupItems.size(), directory->groupItems.size());
    }

    test::TempFolder target;
    test::RecordingEvents events;
    auto services = InstallationServices::system();
    services.connectProgramManager = [] { return std::unique_ptr<ProgramManager>(); };
    services.writeRegistration = [](const std::string&, const UninstallRegistration&) { return true; };
    services.shellOpen = [](const std::string&, const std::string&) { return true; };
    const auto report = runInstallation({setup.string(), target.path().string()}, services, events);
    ASSERT_EQ(report.outcome, InstallationOutcome::completed) << ::testing::PrintToString(events.messages);
    EXPECT_EQ(events.positions.back(), 95);
#ifndef _WIN32
    // The release notes name the installed Linux programs the Linux way.
    const std::string readme = test::readText(target.path() / "Readme.txt");
    const std::string folder = target.path().string();
    EXPECT_NE(readme.find(folder + "/Mivra  "), std::string::npos) << readme;
    EXPECT_NE(readme.find(folder + "/help/Index.html"), std::string::npos) << readme;
    EXPECT_NE(readme.find(folder + "/Uninstaller  "), std::string::npos) << readme;
    EXPECT_EQ(readme.find(".exe"), std::string::npos) << readme;
    EXPECT_EQ(readme.find('\\'), std::string::npos) << readme;
    EXPECT_EQ(readme.find('\r'), std::string::npos) << "Linux text files end their lines in LF alone";
    EXPECT_EQ(test::readText(target.path() / "icon" / "mivra.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
#endif
    if (hasBuilder) {
        EXPECT_NE(fs::status(target.path() / builderFileName).permissions() & fs::perms::owner_exec, fs::perms::none);
    }
}

}  // namespace
}  // namespace mivra::installer
