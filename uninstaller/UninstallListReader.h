#pragma once

#include "Uninstallation.h"

#include <optional>
#include <string>

namespace mivra {

// Reads the uninstall list appended to the uninstaller's own file, keeping
// the file names and folder names. Nothing when the file cannot be opened or
// the list does not fit the file: then nothing may be removed.
std::optional<UninstallList> readUninstallList(const std::string& uninstallerPath);

}  // namespace mivra
