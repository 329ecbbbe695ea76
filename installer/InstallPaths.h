#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mivra::installer {

// Full paths are built as in 260-byte buffers: at most 259 characters.
inline constexpr std::size_t maxPathLength = 259;

using ShowMessage = std::function<void(const std::string& text, const std::string& title)>;
using AskQuestion = std::function<bool(const std::string& text, const std::string& title)>;

// "C:\Mivra" on Windows, ~/Mivra (expanded) elsewhere.
std::string defaultInstallFolder();

// folder, a separator unless folder ends in one, the name without one leading
// "\" (its backslashes turned into this platform's separator). Nothing if the
// result is longer than maxPathLength.
std::optional<std::string> installPath(std::string_view folder, std::string_view name);

// folder with a separator appended unless it already ends in one.
std::string withTrailingSeparator(std::string_view folder);

// Makes every missing folder of path (path itself too unless it names a
// file). A folder that cannot be created is reported as
// "<path>: Could not create directory".
bool makeFolderPath(const std::string& path, bool namesFile, const ShowMessage& showMessage);

// The check before extraction: an existing folder is fine; an existing
// non-folder is refused; a missing one is created, after asking unless it is
// the default folder.
bool checkTargetFolder(const std::string& folder, const ShowMessage& showMessage, const AskQuestion& ask);

// The first path from just below folder down to path itself that exists and
// is a link (symbolic link, junction): writing there would land wherever the
// link points. Nothing when every existing part is a real file or folder.
std::optional<std::string> linkOnTheWay(std::string_view folder, std::string_view path);

// Replaces "%s" in format by value.
std::string formatText(std::string_view format, std::string_view value);

}  // namespace mivra::installer
