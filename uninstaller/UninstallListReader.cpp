#include "UninstallListReader.h"

#include "ArchiveReader.h"

#include <filesystem>

namespace mivra {

std::optional<UninstallList> readUninstallList(const std::string& uninstallerPath)
{
    const auto directory = installer::readArchiveDirectory(std::filesystem::path(uninstallerPath));
    if (!directory)
        return std::nullopt;
    UninstallList list;
    for (const auto& file : directory->files)
        list.fileNames.push_back(file.name);
    list.folderNames = directory->folders;
    return list;
}

}  // namespace mivra
