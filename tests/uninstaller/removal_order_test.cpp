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

}  // namespace
}  // namespace mivra
