#include "UninstallPaths.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace mivra {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool endsWithIgnoringCase(std::string_view text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// The name's parts between separators, or nothing when one of them is unsafe.
std::optional<std::vector<std::string_view>> safeParts(std::string_view name)
{
    if (name.find("..") != std::string_view::npos || name.find(':') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || isSeparator(name[i])) {
            if (i == start)
                return std::nullopt;
            parts.push_back(name.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

}  // namespace

std::string installationFolderOf(std::string_view uninstallerPath, char separator)
{
    const auto last = uninstallerPath.rfind(separator);
    if (last == std::string_view::npos)
        return {};
    return std::string(uninstallerPath.substr(0, last + 1));
}

std::optional<InstalledPath> installedPath(std::string_view installationFolder, std::string_view name,
                                           char separator)
{
    if (installationFolder.empty())
        return std::nullopt;
    if (!name.empty() && name.front() == '\\')
        name.remove_prefix(1);
    const auto parts = safeParts(name);
    if (!parts)
        return std::nullopt;

    std::string folder(installationFolder);
    if (folder.back() != separator)
        folder += separator;
    InstalledPath result;
    result.path = folder;
    for (std::size_t i = 0; i < parts->size(); ++i) {
        if (i + 1 == parts->size() && i > 0)
            result.ownFolder = result.path.substr(0, result.path.size() - 1);
        result.path += (*parts)[i];
        if (i + 1 < parts->size())
            result.path += separator;
    }
    if (result.path.size() > maximumPathLength)
        return std::nullopt;
    return result;
}

std::optional<std::string> batchTwinOf(std::string_view path)
{
    if (!endsWithIgnoringCase(path, ".cmd"))
        return std::nullopt;
    std::string twin(path.substr(0, path.size() - 4));
    twin += ".bat";
    return twin;
}

}  // namespace mivra
