#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ArchiveReader.h"
#include "InstallNames.h"
#include "Result.h"

namespace mivra::installer {

// What goes into an archive: files with their bytes, group items, folders.
struct ArchiveContent {
    struct File {
        std::string name;
        std::vector<std::byte> bytes;
        bool substitute = false;
    };
    std::vector<File> files;
    std::vector<GroupItem> groupItems;
    std::vector<std::string> folders;
};

// The packing tool's input: like ArchiveContent, with source paths in place of bytes.
struct PackManifest {
    struct File {
        std::string name;
        std::filesystem::path source;
        bool substitute = false;
    };
    std::vector<File> files;
    std::vector<GroupItem> groupItems;
    std::vector<std::string> folders;
};

// Directory and trailer for the given entries, the directory placed at
// directory.directoryOffset.
std::vector<std::byte> encodeDirectory(const ArchiveDirectory& directory);

// image + every file's bytes back to back + directory + trailer.
Result<std::vector<std::byte>> buildInstallerArchive(std::span<const std::byte> image,
                                                     const ArchiveContent& content);

// image + directory + trailer with every offset and size 0: the uninstall
// list. The uninstaller itself, the file named uninstallerName (without
// regard to case), is left out: it cannot delete its own running image.
Result<std::vector<std::byte>> buildUninstallList(std::span<const std::byte> image, const ArchiveContent& content,
                                                  std::string_view uninstallerName = uninstallerFileName);

// Manifest lines, tab-separated: "file NAME PATH", "substitute NAME PATH",
// "group TITLE TARGET", "folder NAME"; empty lines and lines starting with
// "#" are skipped.
Result<PackManifest> parsePackManifest(const std::string& text);

// Reads the manifest's files and writes the installer or uninstall list
// behind a copy of program to output, keeping program's permissions. The
// uninstall list leaves out the file named like output: the Linux build packs
// the Windows package too, so the platform's own name would not do.
enum class PackKind { installer, uninstallList };
Result<bool> packFiles(PackKind kind, const std::filesystem::path& program,
                       const PackManifest& manifest, const std::filesystem::path& output);

}  // namespace mivra::installer
