#pragma once

#include "ArchivePacker.h"

#include <filesystem>
#include <map>
#include <string>

namespace mivra {

// A temporary home (HOME and the XDG folders point into it) for one test,
// removed with everything in it afterwards.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return home_; }
    // A folder beside the home, for things that must stay untouched.
    const std::filesystem::path& outside() const { return outside_; }

private:
    std::filesystem::path root_, home_, outside_;
};

// Every file, folder and link below a folder, by relative path, with a
// file's bytes and a link's target, so two snapshots compare whole trees.
using FileTree = std::map<std::string, std::string>;
FileTree snapshot(const std::filesystem::path& folder);

// A small product shaped like the shipped one: a substituted read-me,
// icons, the builder, help pages (one listed twice), the sample library, an
// empty folder and the uninstaller carrying its list.
installer::ArchiveContent productContent();

// Installs an installer archive into a folder (made here, as setup's folder
// check does) with setup's own installation run: files, substitution,
// registration and program group; only the read-me is not opened. Returns
// the installed uninstaller's path.
std::filesystem::path installProduct(const installer::ArchiveContent& content, const std::filesystem::path& folder);
// The same from a packed setup program's file.
std::filesystem::path installFrom(const std::filesystem::path& setup, const std::filesystem::path& folder);

void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

}  // namespace mivra
