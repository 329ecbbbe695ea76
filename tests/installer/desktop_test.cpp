#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>

#include "InstallNames.h"
#include "ProgramGroup.h"
#include "TestArchives.h"
#include "TestDesktop.h"
#include "UninstallRegistration.h"

namespace mivra::installer {
namespace {

namespace fs = std::filesystem;
using test::readText;
using test::DesktopFolders;
using test::TempFolder;

const std::vector<GroupItem> shippedItems = {{"Mivra", "Mivra"},
                                             {"Mivra Documentation", "help\\Index.html"},
                                             {"Uninstall Mivra", "Uninstaller"}};

class RecordingManager : public ProgramManager {
public:
    bool execute(const std::string& command) override {
        sent.push_back(command);
        return !failing.contains(sent.size() - 1);
    }
    std::vector<std::string> sent;
    std::set<std::size_t> failing;
};

TEST(ProgramGroupCommands, TextsForTheShippedItems) {
    const std::string prefix = "C:\\MIVRA~1\\";
    const auto commands = programGroupCommands(prefix, shippedItems);
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0], "[DeleteGroup(\"Mivra\")]");
    EXPECT_EQ(commands[1], "[CreateGroup(\"Mivra\")]");
    EXPECT_EQ(commands[2], "[ShowGroup(\"Mivra\",1)]");
    const std::string sep(1, pathSeparator), ext(programIconName.substr(programIconName.rfind('.')));
    EXPECT_EQ(commands[4], "[AddItem(\"C:\\MIVRA~1\\help" + sep + "Index.html\",\"Mivra Documentation\",\"C:\\MIVRA~1\\icon" +
                               sep + "mivra" + ext + "\")]");
    EXPECT_EQ(commands[5], "[AddItem(\"C:\\MIVRA~1\\Uninstaller\",\"Uninstall Mivra\",\"C:\\MIVRA~1\\icon" + sep +
                               "uninst" + ext + "\")]");
    EXPECT_EQ(programGroupCommands(prefix, {shippedItems[0], shippedItems[1]}).size(), 5u);
}

TEST(ProgramGroupCommands, FailuresAndOverLongCommandsStopWhereTheyShould) {
    RecordingManager showFails;
    showFails.failing = {0, 1, 2};
    createProgramGroup(showFails, "/opt/", shippedItems);
    EXPECT_EQ(showFails.sent.size(), 3u);

    RecordingManager firstItemFails;
    firstItemFails.failing = {3};
    createProgramGroup(firstItemFails, "/opt/", shippedItems);
    EXPECT_EQ(firstItemFails.sent.size(), 4u);

    RecordingManager uninstallFails;
    uninstallFails.failing = {3};
    createProgramGroup(uninstallFails, "/opt/", {shippedItems[2], shippedItems[0]});
    EXPECT_EQ(uninstallFails.sent.size(), 5u);

    // The longest command that fits is sent; one character more is refused unsent.
    const std::string shortest = addItemCommand("/", {"", "x"});
    GroupItem fits{std::string(maxProgramManagerCommandLength - shortest.size(), 't'), "x"};
    GroupItem tooLong{fits.title + "t", "x"};
    EXPECT_EQ(addItemCommand("/", fits).size(), maxProgramManagerCommandLength);
    RecordingManager lengths;
    createProgramGroup(lengths, "/", {fits, tooLong, shippedItems[0]});
    ASSERT_EQ(lengths.sent.size(), 4u);
    EXPECT_EQ(lengths.sent[3], addItemCommand("/", fits));
}

TEST(XdgProgramManager, ShippedItemsBecomeAMenuAndDeleteGroupRemovesIt) {
    DesktopFolders folders;
    const fs::path install = folders / "install";
    fs::create_directories(install / "help");
    std::ofstream(install / "Mivra") << "#!/bin/sh\n";
    fs::permissions(install / "Mivra", fs::perms::owner_all);
    std::ofstream(install / "Uninstaller") << "#!/bin/sh\n";
    fs::permissions(install / "Uninstaller", fs::perms::owner_all);
    std::ofstream(install / "help" / "Index.html") << "<html></html>";

    auto manager = connectProgramManager();
    ASSERT_TRUE(manager);
    EXPECT_FALSE(manager->execute("[ShowGroup(\"Mivra\",1)]"));
    const std::string prefix = install.string() + "/";
    createProgramGroup(*manager, prefix, shippedItems);

    const fs::path applications = fs::path(folders / "data") / "applications";
    EXPECT_EQ(readText(applications / "mivra-mivra-mivra.desktop"),
              "[Desktop Entry]\nType=Application\nName=Mivra\nExec=\"" + prefix + "Mivra\"\nIcon=" + prefix +
                  "icon/mivra.png\nTerminal=false\nCategories=Development;X-mivra-mivra;\n");
    EXPECT_EQ(readText(applications / "mivra-mivra-mivra-documentation.desktop"),
              "[Desktop Entry]\nType=Application\nName=Mivra Documentation\nExec=xdg-open \"" + prefix +
                  "help/Index.html\"\nIcon=" + prefix + "icon/mivra.png\nTerminal=false\nCategories=Development;X-mivra-mivra;\n");
    EXPECT_NE(readText(applications / "mivra-mivra-uninstall-mivra.desktop").find("Icon=" + prefix + "icon/uninst.png\n"),
              std::string::npos);
    EXPECT_EQ(readText(fs::path(folders / "data") / "desktop-directories" / "mivra-mivra.directory"),
              "[Desktop Entry]\nType=Directory\nName=Mivra\n");
    const std::string menu =
        readText(fs::path(folders / "config") / "menus" / "applications-merged" / "mivra-mivra.menu");
    EXPECT_NE(menu.find("<Name>Mivra</Name>"), std::string::npos);
    EXPECT_NE(menu.find("<Directory>mivra-mivra.directory</Directory>"), std::string::npos);
    EXPECT_NE(menu.find("<Category>X-mivra-mivra</Category>"), std::string::npos);
    EXPECT_TRUE(manager->execute("[ShowGroup(\"Mivra\",1)]"));

    // A second installation replaces the group: stale items disappear.
    std::ofstream(applications / "mivra-mivra-old-item.desktop") << "[Desktop Entry]\n";
    std::ofstream(applications / "other.desktop") << "[Desktop Entry]\n";
    createProgramGroup(*manager, prefix, {shippedItems[0]});
    EXPECT_FALSE(fs::exists(applications / "mivra-mivra-old-item.desktop"));
    EXPECT_FALSE(fs::exists(applications / "mivra-mivra-uninstall-mivra.desktop"));
    EXPECT_TRUE(fs::exists(applications / "mivra-mivra-mivra.desktop"));

    EXPECT_TRUE(manager->execute("[DeleteGroup(\"Mivra\")]"));
    EXPECT_FALSE(fs::exists(applications / "mivra-mivra-mivra.desktop"));
    EXPECT_FALSE(fs::exists(fs::path(folders / "data") / "desktop-directories" / "mivra-mivra.directory"));
    EXPECT_FALSE(fs::exists(fs::path(folders / "config") / "menus" / "applications-merged" / "mivra-mivra.menu"));
    EXPECT_TRUE(fs::exists(applications / "other.desktop"));

    EXPECT_FALSE(manager->execute("[AddItem(\"/x\",\"no group shown\",\"\")]"));
    EXPECT_FALSE(manager->execute("[CreateGroup(\"" + std::string(1010, 'g') + "\")]"));
    EXPECT_FALSE(manager->execute("nonsense"));
    EXPECT_FALSE(manager->execute("[AddItem(\"unterminated)]"));
}

TEST(XdgProgramManager, ExecAndNamesAreEscaped) {
    DesktopFolders folders;
    auto manager = connectProgramManager();
    ASSERT_TRUE(manager->execute("[CreateGroup(\"Mivra\")]"));
    ASSERT_TRUE(manager->execute("[AddItem(\"/opt/a $b\\c 100%.html\",\"Back\\slash\",\"\")]"));
    EXPECT_EQ(readText(fs::path(folders / "data") / "applications" / "mivra-mivra-back-slash.desktop"),
              "[Desktop Entry]\nType=Application\nName=Back\\\\slash\nExec=xdg-open \"/opt/a \\\\$b\\\\\\\\c "
              "100%%.html\"\nTerminal=false\nCategories=Development;X-mivra-mivra;\n");
}

TEST(UninstallRegistrationFile, WrittenReadAndRemoved) {
    DesktopFolders folders;
    EXPECT_FALSE(readUninstallRegistration("Mivra"));
    ASSERT_TRUE(writeUninstallRegistration("Mivra", {"Mivra", "/opt/Mivra/Uninstaller"}));
    EXPECT_EQ(readText(fs::path(folders / "data") / "Mivra" / "uninstall"),
              "DisplayName=Mivra\nUninstallString=/opt/Mivra/Uninstaller\n");
    auto values = readUninstallRegistration("Mivra");
    ASSERT_TRUE(values);
    EXPECT_EQ(values->uninstallString, "/opt/Mivra/Uninstaller");
    EXPECT_TRUE(removeUninstallRegistration("Mivra"));
    EXPECT_FALSE(fs::exists(fs::path(folders / "data") / "Mivra"));
    EXPECT_FALSE(removeUninstallRegistration("Mivra"));
}

}  // namespace
}  // namespace mivra::installer
