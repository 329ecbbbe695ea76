#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace mivra {

// Numbers tried after the temporary name; when every one is taken the last
// is used again and its script overwritten.
inline constexpr int lastCleanupScriptNumber = 98;

// The clean-up script's path: the temporary name without its extension,
// then the first number from 0 to 98 whose "<name><n>.bat" does not exist,
// or 98 when all of them exist.
std::string cleanupScriptPath(std::string_view temporaryName,
                              const std::function<bool(const std::string&)>& fileExists);

// The script that outlives the uninstaller: it deletes the uninstaller once
// that has ended, removes the installation folder if it is empty by then,
// and deletes itself. The text is returned as stored on disk (CR LF).
std::string cleanupScriptText(std::string_view uninstallerPath, std::string_view installationFolder,
                              std::string_view scriptPath);

}  // namespace mivra
