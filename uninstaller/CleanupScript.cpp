#include "CleanupScript.h"

namespace mivra {

namespace {

// A path as one batch argument: "%" is doubled, because the command
// processor expands it even inside quotes.
std::string escapePercent(std::string_view path)
{
    std::string text;
    for (char c : path) {
        text += c;
        if (c == '%')
            text += '%';
    }
    return text;
}

// The script's "if exist" and "del" lines name a path without quotes. That
// holds only for a path without blanks or command characters: with one, the
// command processor would split the path and delete or run what the pieces
// name, so such a path is quoted.
std::string bareArgument(std::string_view path)
{
    const std::string escaped = escapePercent(path);
    if (path.find_first_of(" \t,;=&|<>()^") == std::string_view::npos)
        return escaped;
    return "\"" + escaped + "\"";
}

}  // namespace

std::string cleanupScriptPath(std::string_view temporaryName,
                              const std::function<bool(const std::string&)>& fileExists)
{
    std::string base(temporaryName);
    const auto dot = base.rfind('.');
    const auto separator = base.find_last_of("\\/");
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator))
        base.erase(dot);

    std::string path;
    for (int number = 0; number <= lastCleanupScriptNumber; ++number) {
        path = base + std::to_string(number) + ".bat";
        if (!fileExists(path))
            break;
    }
    return path;
}

std::string cleanupScriptText(std::string_view uninstallerPath, std::string_view installationFolder,
                              std::string_view scriptPath)
{
    std::string text;
    text += ":loop\r\n";
    text += "del \"" + escapePercent(uninstallerPath) + "\"\r\n";
    text += "if exist " + bareArgument(uninstallerPath) + " goto loop\r\n";
    text += "rmdir \"" + escapePercent(installationFolder) + "\"\r\n";
    text += "del " + bareArgument(scriptPath) + "\r\n";
    return text;
}

}  // namespace mivra
