#include "RecordingUninstallSystem.h"
#include "Uninstallation.h"

#include <gtest/gtest.h>

namespace mivra {
namespace {

TEST(RemovalOrder, FilesThenFoldersThenGroupRegistrationAndLastItself)
{
    UninstallList list;
    list.fileNames = {"Readme.txt", "\\help\\Index.html", "tools\\run.cmd", "..\\outside.txt", "help\\Index.html"};
    list.folderNames = {"data", "C:\\Windows", "data\\cache"};
    RecordingUninstallSystem system;
    removeInstallation(list, "/inst/Uninstaller", system);

    EXPECT_EQ(system.steps(), (std::vector<std::string>{
                                  "delete /inst/Readme.txt",
                                  "delete /inst/help/Index.html",
                                  "rmdir /inst/help",
                                  "delete /inst/tools/run.cmd",
                                  "delete /inst/tools/run.bat",
                                  "rmdir /inst/tools",
                                  "delete /inst/help/Index.html",
                                  "rmdir /inst/help",
                                  "rmdir /inst/data",
                                  "rmdir /inst/data/cache",
                                  "group",
                                  "registration",
                                  "self /inst/Uninstaller /inst/",
                              }));
}

TEST(RemovalOrder, AnEmptyListStillRemovesGroupRegistrationAndItself)
{
    RecordingUninstallSystem system;
    removeInstallation({}, "/inst/Uninstaller", system);
    EXPECT_EQ(system.steps(), (std::vector<std::string>{"group", "registration", "self /inst/Uninstaller /inst/"}));
}

TEST(RemovalOrder, NothingIsRemovedUnlessRunFromTheRecordedInstallationFolder)
{
    UninstallList list;
    list.fileNames = {"Readme.txt"};
    struct Case {
        std::optional<std::string> recorded;
        std::string refusal;
    };
    const Case cases[] = {
        {std::string("/inst/"), ""},
        {std::string("/elsewhere/"), "This Uninstaller runs from /inst, but Mivra was installed in /elsewhere.\n"
                                     "Nothing has been removed; start the Uninstaller of that folder."},
        {std::nullopt, "This Uninstaller runs from /inst, but no installation of Mivra is registered.\n"
                       "Nothing has been removed."},
    };
    for (const auto& c : cases) {
        RecordingUninstallSystem system;
        system.recordedFolder = c.recorded;
        EXPECT_EQ(refusalMessage("/inst/Uninstaller", system), c.refusal);
        EXPECT_EQ(removeInstallation(list, "/inst/Uninstaller", system), c.refusal.empty());
        EXPECT_EQ(system.steps().empty(), !c.refusal.empty());
    }
    EXPECT_EQ(confirmationQuestion("/inst/"), "Un-install Mivra from /inst?");
}

}  // namespace
}  // namespace mivra
