#include "InstallPaths.h"

#include <filesystem>

#include "ArchiveReader.h"
#include "InstallNames.h"
#include "InstallerTexts.h"
#include "FileSystem.h"
#include "ProcessServices.h"

namespace mivra::installer {

namespace fs = std::filesystem;

namespace {

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

bool existsAt(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

}  // namespace

std::string defaultInstallFolder() {
#ifdef _WIN32
    return "C:\\Mivra";
#else
    return homeFolder() + "/Mivra";
#endif
}

std::string withTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    if (out.empty() || !isSeparator(out.back())) out += pathSeparator;
    return out;
}

std::optional<std::string> installPath(std::string_view folder, std::string_view name) {
    std::string path = withTrailingSeparator(folder);
    for (char c : withoutLeadingSeparator(name)) path += c == '\\' ? pathSeparator : c;
    if (path.size() > maxPathLength) return std::nullopt;
    return path;
}

bool makeFolderPath(const std::string& path, bool namesFile, const ShowMessage& showMessage) {
    // drive + directory (up to and including the last separator) + name
    std::size_t driveLength = 0;
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') driveLength = 2;
#endif
    std::size_t lastSeparator = std::string::npos;
    for (std::size_t i = driveLength; i < path.size(); ++i)
        if (isSeparator(path[i])) lastSeparator = i;
    std::string directory = lastSeparator == std::string::npos
                                ? std::string()
                                : path.substr(driveLength, lastSeparator + 1 - driveLength);
    if (directory.size() > 1) directory.pop_back();
    const std::string parent = path.substr(0, driveLength) + directory;

    if (parent == path) return true;
    if (!existsAt(parent) && !makeFolderPath(parent, false, showMessage)) return false;
    if (namesFile) return true;
    if (!existsAt(path)) {
        std::error_code error;
        if (!fs::create_directory(path, error) && !fs::is_directory(path, error)) {
            showMessage(path + texts::cannotCreateSuffix, texts::cannotCreateTitle);
            return false;
        }
    }
    return true;
}

bool checkTargetFolder(const std::string& folder, const ShowMessage& showMessage, const AskQuestion& ask) {
    std::error_code error;
    if (existsAt(folder)) {
        if (fs::is_directory(folder, error)) return true;
        showMessage(texts::notDirectory, texts::notDirectoryTitle);
        return false;
    }
    if (!equalsIgnoringCase(folder, defaultInstallFolder()) &&
        !ask(texts::createQuestion, texts::createQuestionTitle))
        return false;
    return makeFolderPath(folder, false, showMessage);
}

std::optional<std::string> linkOnTheWay(std::string_view folder, std::string_view path) {
    const std::string root = withTrailingSeparator(folder);
    if (path.size() <= root.size() || path.substr(0, root.size()) != root) return std::nullopt;
    for (std::size_t i = root.size(); i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        const std::string part(path.substr(0, i));
        if (isLink(part)) return part;
        if (!fileExists(part)) break;
    }
    return std::nullopt;
}

std::string formatText(std::string_view format, std::string_view value) {
    std::string out(format);
    if (const auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, value);
    return out;
}

}  // namespace mivra::installer
