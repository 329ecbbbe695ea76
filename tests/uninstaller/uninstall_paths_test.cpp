#include "UninstallPaths.h"

#include <gtest/gtest.h>

#include <string>

namespace mivra {
namespace {

TEST(UninstallPaths, InstallationFolderIsTheUninstallersFolderWithItsSeparator)
{
    EXPECT_EQ(installationFolderOf("C:\\Mivra\\Uninstaller.exe", '\\'), "C:\\Mivra\\");
    EXPECT_EQ(installationFolderOf("/opt/mivra/Uninstaller", '/'), "/opt/mivra/");
    EXPECT_EQ(installationFolderOf("Uninstaller", '/'), "");
}

TEST(UninstallPaths, ListNamesLandBelowTheInstallationFolder)
{
    const auto top = installedPath("C:\\Mivra\\", "Readme.txt", '\\');
    ASSERT_TRUE(top);
    EXPECT_EQ(top->path, "C:\\Mivra\\Readme.txt");
    EXPECT_FALSE(top->ownFolder) << "the installation folder itself is never removed per file";

    const auto help = installedPath("C:\\Mivra", "\\help\\Index.html", '\\');
    ASSERT_TRUE(help);
    EXPECT_EQ(help->path, "C:\\Mivra\\help\\Index.html");
    EXPECT_EQ(help->ownFolder, "C:\\Mivra\\help");

    const auto linux = installedPath("/home/u/Mivra/", "help\\deep\\Tut2.html", '/');
    ASSERT_TRUE(linux);
    EXPECT_EQ(linux->path, "/home/u/Mivra/help/deep/Tut2.html");
    EXPECT_EQ(linux->ownFolder, "/home/u/Mivra/help/deep") << "only the file's own folder, not those above it";
}

TEST(UninstallPaths, NamesThatCouldReachOutsideAreRefused)
{
    for (const char* name : {"..\\Windows\\win.ini", "help\\..\\..\\x", "..", "C:\\boot.ini", "D:x.txt",
                             "\\\\server\\share\\x", "\\\\x", "/etc/passwd", "help/../../x", "file.txt:stream",
                             "help\\\\x", "help\\", "", "\\"})
        EXPECT_FALSE(installedPath("C:\\Mivra\\", name, '\\')) << name;
    EXPECT_FALSE(installedPath("C:\\Mivra\\", std::string("a\0b", 3), '\\'));
    EXPECT_FALSE(installedPath("", "Readme.txt", '\\'));
}

TEST(UninstallPaths, PathsOverTheLimitAreSkippedNotCut)
{
    const std::string folder = "C:\\Mivra\\";
    const std::string fits(maximumPathLength - folder.size(), 'a');
    ASSERT_TRUE(installedPath(folder, fits, '\\'));
    EXPECT_EQ(installedPath(folder, fits, '\\')->path.size(), maximumPathLength);
    EXPECT_FALSE(installedPath(folder, fits + "b", '\\'));
}

TEST(UninstallPaths, CmdScriptsAlsoRemoveTheirBatTwin)
{
    EXPECT_EQ(batchTwinOf("C:\\Mivra\\run.cmd"), "C:\\Mivra\\run.bat");
    EXPECT_EQ(batchTwinOf("C:\\Mivra\\RUN.CMD"), "C:\\Mivra\\RUN.bat");
    EXPECT_FALSE(batchTwinOf("C:\\Mivra\\run.bat"));
    EXPECT_FALSE(batchTwinOf("C:\\Mivra\\cmd"));
}

}  // namespace
}  // namespace mivra
