#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ArchivePacker.h"
#include "Installation.h"

namespace mivra::installer::test {

inline std::vector<std::byte> bytesOf(const std::string& text) {
    const auto* p = reinterpret_cast<const std::byte*>(text.data());
    return {p, p + text.size()};
}

inline std::vector<std::byte> patternBytes(std::size_t size, unsigned salt) {
    std::vector<std::byte> out(size);
    std::mt19937 random(salt);
    for (auto& b : out) b = static_cast<std::byte>(random() & 0xFF);
    return out;
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("mivra-installer-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The shipped archive's layout, with small made-up bytes standing in for the files.
inline ArchiveContent shippedLayout(bool withUninstaller = true) {
    ArchiveContent content;
    unsigned salt = 1;
    auto add = [&](const std::string& name, std::size_t size, bool substitute = false) {
        content.files.push_back({name, patternBytes(size, salt++), substitute});
    };
    content.files.push_back(
        {"Readme.txt", bytesOf("Mivra\r\nInstalled in $TGTDIR$SEPhelp on drive $TGTDRIVE.\r\n"), true});
    add("icon\\mivra.ico", 766);
    add("icon\\uninst.ico", 766);
    add(std::string(builderFileName), 9000);
    for (const char* page : {"BaseClasses.html", "Buildsteps.html", "Classes.html", "dialogbox.gif", "Index.html",
                             "Mivra.html", "Mivra.html", "Overview.html", "overview.gif", "sampleinput.gif",
                             "Tutorial.html", "Tut2.html", "Tut3.html", "Tut4.html", "Tut5.html"})
        add(std::string("help\\") + page, 1091 + salt * 17);
    content.files[content.files.size() - 9].bytes = content.files[content.files.size() - 10].bytes;
    add("sample\\jbrowse.dll", 5000);
    if (withUninstaller) add(std::string(uninstallerFileName), 1300);
    content.groupItems = {{"Mivra", std::string(builderFileName)}, {"Mivra Documentation", "help\\Index.html"}};
    return content;
}

// Events recorded for the checks; answers stop after a given number of chunks.
class RecordingEvents : public InstallationEvents {
public:
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setProgress(int position) override {
        positions.push_back(position);
        ++chunks;
    }
    void showMessage(const std::string& text, const std::string& title) override {
        messages.push_back(title + ": " + text);
    }
    bool stopRequested() override { return stopAfterChunks >= 0 && chunks >= stopAfterChunks; }

    std::vector<std::string> statuses;
    std::vector<int> positions;
    std::vector<std::string> messages;
    int chunks = 0;
    int stopAfterChunks = -1;
};

}  // namespace mivra::installer::test
