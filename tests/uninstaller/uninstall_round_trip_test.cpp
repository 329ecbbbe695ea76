#include "InstalledProduct.h"
#include "NativeUninstallSystem.h"
#include "ScriptedPrompts.h"
#include "UninstallListReader.h"
#include "UninstallPaths.h"
#include "UninstallRegistration.h"
#include "UninstallerWindow.h"

#include "InstallNames.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>

namespace mivra {
namespace {

namespace fs = std::filesystem;

// Runs the uninstaller found at a path as its program does, with the
// confirmation answered by the test; returns the prompts it showed.
std::vector<std::string> runUninstaller(const fs::path& uninstallerPath, bool answer = true)
{
    ScriptedPrompts prompts;
    prompts.answer = answer;
    NativeUninstallSystem system(installationFolderOf(uninstallerPath.string()));
    UninstallerWindow window(uninstallerPath.string(), readUninstallList, system, prompts);
    QSignalSpy ended(&window, &UninstallerWindow::ended);
    EXPECT_TRUE(ended.wait(10000));
    return prompts.shown;
}

const std::vector<std::string> finished{"confirm", "finished"};

class UninstallRoundTrip : public testing::Test {
protected:
    TemporaryHome home;
    const FileTree before = snapshot(home.path());
    const fs::path folder = home.path() / "Mivra";
};

TEST_F(UninstallRoundTrip, SetupThenUninstallLeavesTheHomeAsItWas)
{
    const auto uninstaller = installProduct(productContent(), folder);
    ASSERT_TRUE(fs::exists(folder / "help" / "Index.html"));
    ASSERT_TRUE(fs::is_directory(folder / "work"));
    ASSERT_TRUE(readUninstallRegistration("Mivra"));
    ASSERT_NE(snapshot(home.path()), before);

    EXPECT_EQ(runUninstaller(uninstaller), finished);
    EXPECT_EQ(snapshot(home.path()), before);
    EXPECT_FALSE(readUninstallRegistration("Mivra"));
}

TEST_F(UninstallRoundTrip, TheShippedSetupAndUninstallerLeaveTheHomeAsItWas)
{
    const fs::path setup = fs::path(MIVRA_BINARY_DIR) / "bin" / "setup";
    if (!fs::exists(setup))
        GTEST_SKIP() << setup << " is not built";
    const auto uninstaller = installFrom(setup, folder);
    ASSERT_EQ(uninstaller, folder / installer::uninstallerFileName);
    const auto list = readUninstallList(uninstaller.string());
    ASSERT_TRUE(list);
    EXPECT_FALSE(list->fileNames.empty());
    EXPECT_TRUE(std::ranges::none_of(list->fileNames, [](const std::string& name) {
        return installer::endsWithIgnoringCase(name, installer::uninstallerFileName);
    })) << "the uninstaller does not list itself";

    EXPECT_EQ(runUninstaller(uninstaller), finished);
    EXPECT_EQ(snapshot(home.path()), before);
}

TEST_F(UninstallRoundTrip, NoTouchesNothing)
{
    const auto uninstaller = installProduct(productContent(), folder);
    const FileTree installed = snapshot(home.path());
    EXPECT_EQ(runUninstaller(uninstaller, false), std::vector<std::string>{"confirm"});
    EXPECT_EQ(snapshot(home.path()), installed);
}

TEST_F(UninstallRoundTrip, AUserFileInHelpKeepsThatFolderAndTheInstallationFolder)
{
    const auto uninstaller = installProduct(productContent(), folder);
    writeFile(folder / "help" / "notes.txt", "mine");
    EXPECT_EQ(runUninstaller(uninstaller), finished);

    FileTree expected = before;
    expected["Mivra/"] = "";
    expected["Mivra/help/"] = "";
    expected["Mivra/help/notes.txt"] = "mine";
    EXPECT_EQ(snapshot(home.path()), expected);
}

TEST_F(UninstallRoundTrip, AUserFileInTheInstallationFolderKeepsIt)
{
    const auto uninstaller = installProduct(productContent(), folder);
    writeFile(folder / "mine.txt", "mine");
    EXPECT_EQ(runUninstaller(uninstaller), finished);

    FileTree expected = before;
    expected["Mivra/"] = "";
    expected["Mivra/mine.txt"] = "mine";
    EXPECT_EQ(snapshot(home.path()), expected);
}

TEST_F(UninstallRoundTrip, FilesAlreadyGoneOrListedTwiceAreNoError)
{
    const auto uninstaller = installProduct(productContent(), folder);
    ASSERT_EQ(readUninstallList(uninstaller.string())->fileNames[5], "help\\Mivra.html");
    ASSERT_EQ(readUninstallList(uninstaller.string())->fileNames[6], "help\\Mivra.html");
    fs::remove(folder / "sample" / "jbrowse.dll");
    fs::remove(folder / "sample");
    fs::remove(folder / "icon" / "mivra.ico");

    EXPECT_EQ(runUninstaller(uninstaller), finished);
    EXPECT_EQ(snapshot(home.path()), before);
}

TEST_F(UninstallRoundTrip, ACmdScriptGoesWithTheBatFileOfItsName)
{
    auto content = productContent();
    content.files.insert(content.files.begin(), {"tools\\run.cmd", {}, false});
    content.files.pop_back();
    auto uninstaller = installer::buildUninstallList({}, content);
    ASSERT_TRUE(uninstaller);
    content.files.push_back({std::string(installer::uninstallerFileName), *uninstaller, false});
    const auto path = installProduct(content, folder);
    writeFile(folder / "tools" / "run.bat", "@echo installed as batch file");

    EXPECT_EQ(runUninstaller(path), finished);
    EXPECT_EQ(snapshot(home.path()), before);
}

TEST_F(UninstallRoundTrip, AnUninstallerStartedElsewhereSaysSoAndRemovesNothing)
{
    const auto uninstaller = installProduct(productContent(), folder);
    const fs::path elsewhere = home.outside() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::copy_file(uninstaller, elsewhere / uninstaller.filename());
    writeFile(elsewhere / "Readme.txt", "someone else's read-me");
    writeFile(elsewhere / "help" / "Index.html", "someone else's page");
    const FileTree everything = snapshot(home.path().parent_path());

    ScriptedPrompts prompts;
    NativeUninstallSystem system(installationFolderOf((elsewhere / uninstaller.filename()).string()));
    UninstallerWindow window((elsewhere / uninstaller.filename()).string(), readUninstallList, system, prompts);
    QSignalSpy ended(&window, &UninstallerWindow::ended);
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"refused"});
    EXPECT_EQ(prompts.refusals, std::vector<std::string>{"This Uninstaller runs from " + elsewhere.string() +
                                                         ", but Mivra was installed in " + folder.string() +
                                                         ".\nNothing has been removed; start the Uninstaller of "
                                                         "that folder."});
    EXPECT_EQ(snapshot(home.path().parent_path()), everything) << "neither there nor in the installation";
    EXPECT_TRUE(readUninstallRegistration("Mivra"));

    // Run from the installation folder (named another way), it asks, naming the folder.
    ScriptedPrompts inPlace;
    inPlace.answer = false;
    const fs::path roundabout = folder / "help" / ".." / uninstaller.filename();
    NativeUninstallSystem same(installationFolderOf(roundabout.string()));
    UninstallerWindow again(roundabout.string(), readUninstallList, same, inPlace);
    QSignalSpy endedAgain(&again, &UninstallerWindow::ended);
    ASSERT_TRUE(endedAgain.wait(10000));
    EXPECT_EQ(inPlace.questions, std::vector<std::string>{"Un-install Mivra from " + (folder / "help" / "..").string() + "?"});
}

TEST_F(UninstallRoundTrip, ALinkInsideTheInstallationLeadsNoDeletionOutside)
{
    const auto uninstaller = installProduct(productContent(), folder);
    const FileTree outsideBefore = [&] {
        writeFile(home.outside() / "Index.html", "outside page");
        writeFile(home.outside() / "Mivra.html", "outside page");
        return snapshot(home.outside());
    }();
    fs::remove_all(folder / "help");
    fs::create_directory_symlink(home.outside(), folder / "help");

    EXPECT_EQ(runUninstaller(uninstaller), finished);
    EXPECT_EQ(snapshot(home.outside()), outsideBefore);
    EXPECT_TRUE(fs::is_symlink(folder / "help")) << "the link keeps the installation folder";
}

TEST_F(UninstallRoundTrip, ADamagedListShowsTheFailureAndRemovesNothing)
{
    const auto uninstaller = installProduct(productContent(), folder);
    const auto size = fs::file_size(uninstaller);
    fs::resize_file(uninstaller, size - 3);
    const FileTree installed = snapshot(home.path());
    EXPECT_EQ(runUninstaller(uninstaller), (std::vector<std::string>{"confirm", "failed"}));
    EXPECT_EQ(snapshot(home.path()), installed);

    fs::remove(uninstaller);
    EXPECT_EQ(runUninstaller(uninstaller), (std::vector<std::string>{"confirm", "failed"}))
        << "a missing file is the same failure";
}

TEST_F(UninstallRoundTrip, AListNamingFilesOutsideRemovesNothingOutside)
{
    const auto uninstaller = installProduct(productContent(), folder);
    writeFile(home.outside() / "victim.txt", "precious");
    installer::ArchiveDirectory list;
    list.directoryOffset = 4;
    list.files = {{0, 0, false, "..\\..\\outside\\victim.txt"}, {0, 0, false, "Readme.txt"}};
    list.folders = {"..\\..\\outside"};
    const auto bytes = installer::encodeDirectory(list);
    writeFile(uninstaller, std::string("#!/x") + std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));

    runUninstaller(uninstaller);
    EXPECT_EQ(readFile(home.outside() / "victim.txt"), "precious");
}

}  // namespace
}  // namespace mivra
