#include "CleanupScript.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace mivra {
namespace {

TEST(CleanupScript, FiveLinesDeleteTheUninstallerThenTheFolderThenThemselves)
{
    EXPECT_EQ(cleanupScriptText("C:\\Mivra\\Uninstaller.exe", "C:\\Mivra\\", "C:\\TEMP\\T20.bat"),
              ":loop\r\n"
              "del \"C:\\Mivra\\Uninstaller.exe\"\r\n"
              "if exist C:\\Mivra\\Uninstaller.exe goto loop\r\n"
              "rmdir \"C:\\Mivra\\\"\r\n"
              "del C:\\TEMP\\T20.bat\r\n");
}

TEST(CleanupScript, PathsTheCommandProcessorWouldSplitAreQuoted)
{
    EXPECT_EQ(cleanupScriptText("C:\\Program Files\\Mivra\\Uninstaller.exe", "C:\\Program Files\\Mivra\\",
                                "C:\\Documents and Settings\\u\\Temp\\T1.bat"),
              ":loop\r\n"
              "del \"C:\\Program Files\\Mivra\\Uninstaller.exe\"\r\n"
              "if exist \"C:\\Program Files\\Mivra\\Uninstaller.exe\" goto loop\r\n"
              "rmdir \"C:\\Program Files\\Mivra\\\"\r\n"
              "del \"C:\\Documents and Settings\\u\\Temp\\T1.bat\"\r\n");
    EXPECT_EQ(cleanupScriptText("C:\\A&B\\U.exe", "C:\\100%\\", "C:\\T0.bat"),
              ":loop\r\n"
              "del \"C:\\A&B\\U.exe\"\r\n"
              "if exist \"C:\\A&B\\U.exe\" goto loop\r\n"
              "rmdir \"C:\\100%%\\\"\r\n"
              "del C:\\T0.bat\r\n");
}

TEST(CleanupScript, NameIsTheTemporaryNameWithTheFirstFreeNumber)
{
    std::set<std::string> existing;
    const auto exists = [&](const std::string& path) { return existing.count(path) > 0; };

    EXPECT_EQ(cleanupScriptPath("C:\\TEMP\\T2", exists), "C:\\TEMP\\T20.bat");
    EXPECT_EQ(cleanupScriptPath("C:\\TEMP\\T2.1", exists), "C:\\TEMP\\T20.bat") << "the extension is cut";
    EXPECT_EQ(cleanupScriptPath("C:\\john.doe\\T2", exists), "C:\\john.doe\\T20.bat")
        << "a dot in a folder name is not an extension";

    existing = {"C:\\TEMP\\T20.bat", "C:\\TEMP\\T21.bat", "C:\\TEMP\\T23.bat"};
    EXPECT_EQ(cleanupScriptPath("C:\\TEMP\\T2", exists), "C:\\TEMP\\T22.bat");
}

TEST(CleanupScript, WhenAllNinetyNineNamesExistNumber98IsOverwritten)
{
    std::set<std::string> existing;
    for (int i = 0; i <= 98; ++i)
        existing.insert("C:\\TEMP\\T5" + std::to_string(i) + ".bat");
    std::set<std::string> asked;
    const auto exists = [&](const std::string& path) {
        asked.insert(path);
        return existing.count(path) > 0;
    };
    EXPECT_EQ(cleanupScriptPath("C:\\TEMP\\T5", exists), "C:\\TEMP\\T598.bat");
    EXPECT_EQ(asked, existing) << "the numbers 0 to 98 are tried, and no other";

    existing.erase("C:\\TEMP\\T598.bat");
    EXPECT_EQ(cleanupScriptPath("C:\\TEMP\\T5", exists), "C:\\TEMP\\T598.bat");
}

}  // namespace
}  // namespace mivra
