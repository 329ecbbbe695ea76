#include "InstalledProduct.h"

#include "InstallNames.h"
#include "Installation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace mivra {

namespace fs = std::filesystem;

namespace {

std::vector<std::byte> bytesOf(std::string_view text)
{
    std::vector<std::byte> bytes(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<std::byte>(text[i]);
    return bytes;
}

}  // namespace

TemporaryHome::TemporaryHome()
{
    std::string pattern = (fs::temp_directory_path() / "mivra-uninstall-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    home_ = root_ / "home";
    outside_ = root_ / "outside";
    fs::create_directories(home_);
    fs::create_directories(outside_);
    ::setenv("HOME", home_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_ / ".local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
}

TemporaryHome::~TemporaryHome()
{
    std::error_code error;
    fs::remove_all(root_, error);
}

FileTree snapshot(const fs::path& folder)
{
    FileTree tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const auto relative = fs::relative(it->path(), folder).string();
        if (it->is_symlink())
            tree[relative] = "link to " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            tree[relative + "/"] = "";
        else
            tree[relative] = readFile(it->path());
    }
    return tree;
}

installer::ArchiveContent productContent()
{
    installer::ArchiveContent content;
    const auto add = [&](std::string name, std::string text, bool substitute = false) {
        content.files.push_back({std::move(name), bytesOf(text), substitute});
    };
    add("Readme.txt", "Mivra in $TGTDIR\r\n", true);
    add("icon\\mivra.ico", "mivra icon");
    add("icon\\uninst.ico", "uninstall icon");
    add(std::string(installer::builderFileName), "#!/bin/false\nbuilder\n");
    add("help\\Index.html", "<html>index</html>");
    add("help\\Mivra.html", "<html>mivra</html>");
    add("help\\Mivra.html", "<html>mivra</html>");
    add("\\help\\Tutorial.html", "<html>tutorial</html>");
    add("sample\\jbrowse.dll", "sample library");
    content.groupItems = {{"Mivra", std::string(installer::builderFileName)},
                          {"Mivra Documentation", "help\\Index.html"}};
    content.folders = {"work"};

    auto uninstaller = installer::buildUninstallList(bytesOf("#!/bin/false\nuninstaller\n"), content);
    EXPECT_TRUE(uninstaller) << uninstaller.failure().message;
    content.files.push_back({std::string(installer::uninstallerFileName), *uninstaller, false});
    return content;
}

namespace {

// The installation's status, progress and messages go nowhere; a message
// fails the test, since a sound installation shows only its completion.
struct QuietEvents : installer::InstallationEvents {
    void setStatus(const std::string&) override {}
    void setProgress(int) override {}
    void showMessage(const std::string& text, const std::string& title) override
    {
        if (title != "Finished")
            ADD_FAILURE() << title << ": " << text;
    }
    bool stopRequested() override { return false; }
};

}  // namespace

fs::path installFrom(const fs::path& setup, const fs::path& folder)
{
    fs::create_directories(folder);
    auto services = installer::InstallationServices::system();
    services.shellOpen = [](const std::string&, const std::string&) { return true; };
    QuietEvents events;
    const auto report = installer::runInstallation({setup.string(), folder.string()}, services, events);
    EXPECT_EQ(report.outcome, installer::InstallationOutcome::completed);
    return report.uninstallerPath;
}

fs::path installProduct(const installer::ArchiveContent& content, const fs::path& folder)
{
    auto archive = installer::buildInstallerArchive(bytesOf("setup image"), content);
    EXPECT_TRUE(archive) << archive.failure().message;
    const fs::path setup = folder.parent_path().parent_path() / "setup";
    writeFile(setup, std::string(reinterpret_cast<const char*>(archive->data()), archive->size()));
    const auto uninstaller = installFrom(setup, folder);
    fs::remove(setup);
    return uninstaller;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace mivra
