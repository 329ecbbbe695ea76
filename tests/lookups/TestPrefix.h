#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// A throw-away Wine prefix: registry files written by the test, a C: drive
// folder and the dosdevices links that map drive letters to folders.
class TestPrefix {
public:
    TestPrefix() {
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() / ("mivra-prefix-" + std::to_string(random()));
        std::filesystem::create_directories(root_ / "drive_c" / "windows" / "system32");
        std::filesystem::create_directories(root_ / "dosdevices");
        std::filesystem::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:");
        std::filesystem::create_directory_symlink("/", root_ / "dosdevices" / "z:");
    }
    ~TestPrefix() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    const std::filesystem::path& root() const { return root_; }
    std::string path() const { return root_.string(); }

    void writeSystem(const std::string& body) { write("system.reg", "Machine", body); }
    void writeUser(const std::string& body) { write("user.reg", "User\\\\S-1-5-21-0-0-0-1000", body); }

    // A file under C:, given with "/" separators below drive_c.
    std::filesystem::path writeDriveFile(const std::string& relative, const std::string& content) {
        std::filesystem::path file = root_ / "drive_c" / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

private:
    void write(const char* name, const char* relativeTo, const std::string& body) {
        std::ofstream out(root_ / name, std::ios::binary);
        out << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\" << relativeTo << "\n\n#arch=win64\n\n"
            << body;
    }

    std::filesystem::path root_;
};
