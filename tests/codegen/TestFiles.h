#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "GenerationContext.h"

namespace mivra::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("mivra-codegen-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    // Compare with line ends normalised: text mode writes CR LF on Windows.
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A context that writes into a temporary folder and records reports.
class CaptureContext : public GenerationContext {
public:
    TempFolder folder;
    std::vector<std::pair<std::string, std::string>> reports;

    CaptureContext() {
        outputFolder = folder.path();
        packageName = "mvx.tutorial";
        libraryBaseName = "JFoo";
        jniPackage = "mvx_tutorial";
        classPathPackage = "mvx/tutorial";
        clock = [] { return std::string("Thu May 24 10:58:38 2001\n"); };
        cFile = TextFile::create(folder.file("JFoo.c"));
    }
    void reportError(const std::string& subject, const std::string& message) override {
        reports.emplace_back(subject, message);
    }
    std::string cText() {
        if (cFile) cFile->close();
        cFile.reset();
        return readFile(folder.file("JFoo.c"));
    }
};

}  // namespace mivra::test
