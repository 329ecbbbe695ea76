#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mivra {

#ifdef _WIN32
inline constexpr char nativeSeparator = '\\';
#else
inline constexpr char nativeSeparator = '/';
#endif

// Longest full path the uninstaller works on; a longer one is skipped whole,
// never cut, so a shortened path can never name some other file.
inline constexpr std::size_t maximumPathLength = 259;

// The folder the uninstaller runs from, taken from its own path: everything
// up to and including the last separator.
std::string installationFolderOf(std::string_view uninstallerPath, char separator = nativeSeparator);

// Where one name of the uninstall list lies, and the subfolder holding it
// when that is not the installation folder itself.
struct InstalledPath {
    std::string path;
    std::optional<std::string> ownFolder;
};

// Builds folder + name for a list name ("help\\Index.html"; one leading
// backslash is ignored). Refuses, rather than repairs, every name that could
// reach outside the installation folder: an absolute name, a drive or stream
// colon, "..", an empty part, a NUL; and every path over maximumPathLength.
std::optional<InstalledPath> installedPath(std::string_view installationFolder, std::string_view name,
                                           char separator = nativeSeparator);

// A ".cmd" script may have been installed as ".bat" instead; this is the
// other name to remove, or nothing when the path is no ".cmd" script.
std::optional<std::string> batchTwinOf(std::string_view path);

}  // namespace mivra
