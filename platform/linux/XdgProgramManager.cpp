#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "ProgramManager.h"
#include "XdgFolders.h"

namespace mivra {

namespace {

namespace fs = std::filesystem;

struct Command {
    std::string name;
    std::vector<std::string> arguments;
};

// "[Name(arg,\"quoted arg\",...)]": quoted arguments run to the next quote.
std::optional<Command> parseCommand(const std::string& text) {
    if (text.size() < 4 || text.front() != '[' || !text.ends_with(")]")) return std::nullopt;
    const auto open = text.find('(');
    if (open == std::string::npos) return std::nullopt;
    Command command{text.substr(1, open - 1), {}};
    const std::string body = text.substr(open + 1, text.size() - open - 3);
    std::size_t i = 0;
    while (i < body.size()) {
        std::string argument;
        if (body[i] == '"') {
            const auto close = body.find('"', i + 1);
            if (close == std::string::npos) return std::nullopt;
            argument = body.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const auto comma = body.find(',', i);
            argument = body.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
            i = comma == std::string::npos ? body.size() : comma;
        }
        command.arguments.push_back(std::move(argument));
        if (i < body.size()) {
            if (body[i] != ',') return std::nullopt;
            ++i;
        }
    }
    return command;
}

// Group names become file names: letters and digits kept (lower case), the rest "-".
std::string fileNamePart(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) out += static_cast<char>(std::tolower(c));
        else if (out.empty() || out.back() != '-') out += '-';
    }
    return out;
}

std::string groupId(const std::string& group) { return "mivra-" + fileNamePart(group); }

// A string value of a desktop entry.
std::string desktopString(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

// One Exec argument: always quoted, with the characters the Desktop Entry
// format reserves inside quotes escaped, and "%" doubled.
std::string execArgument(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string xmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

bool writeFile(const fs::path& path, const std::string& content) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

class XdgProgramManager final : public ProgramManager {
public:
    bool execute(const std::string& text) override {
        if (text.size() > maxProgramManagerCommandLength) return false;
        const auto command = parseCommand(text);
        if (!command) return false;
        const auto& args = command->arguments;
        if (command->name == "DeleteGroup" && args.size() == 1) return deleteGroup(args[0]);
        if (command->name == "CreateGroup" && !args.empty()) return createGroup(args[0]);
        if (command->name == "ShowGroup" && !args.empty()) return showGroup(args[0]);
        if (command->name == "AddItem" && !args.empty())
            return addItem(args[0], args.size() > 1 ? args[1] : std::string(),
                           args.size() > 2 ? args[2] : std::string());
        return false;
    }

private:
    fs::path applicationsFolder() const { return linux_desktop::dataHome() / "applications"; }
    fs::path directoryFile(const std::string& group) const {
        return linux_desktop::dataHome() / "desktop-directories" / (groupId(group) + ".directory");
    }
    fs::path menuFile(const std::string& group) const {
        return linux_desktop::configHome() / "menus" / "applications-merged" / (groupId(group) + ".menu");
    }

    bool deleteGroup(const std::string& group) {
        std::error_code error;
        bool removed = fs::remove(directoryFile(group), error);
        removed = fs::remove(menuFile(group), error) || removed;
        const std::string prefix = groupId(group) + "-";
        std::vector<fs::path> entries;
        for (const auto& entry : fs::directory_iterator(applicationsFolder(), error)) {
            const auto name = entry.path().filename().string();
            if (name.starts_with(prefix) && name.ends_with(".desktop")) entries.push_back(entry.path());
        }
        for (const auto& path : entries) removed = fs::remove(path, error) || removed;
        for (const auto& folder : {applicationsFolder(), directoryFile(group).parent_path(),
                                   menuFile(group).parent_path()})
            linux_desktop::removeEmptyFoldersInHome(folder);
        if (currentGroup_ == group) currentGroup_.clear();
        return removed;
    }

    bool createGroup(const std::string& group) {
        const bool ok = writeFile(directoryFile(group),
                                  "[Desktop Entry]\nType=Directory\nName=" + desktopString(group) + "\n") &&
                        writeFile(menuFile(group),
                                  "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd\">\n"
                                  "<Menu>\n"
                                  "  <Name>Applications</Name>\n"
                                  "  <Menu>\n"
                                  "    <Name>" + xmlText(group) + "</Name>\n"
                                  "    <Directory>" + groupId(group) + ".directory</Directory>\n"
                                  "    <Include>\n"
                                  "      <Category>X-" + groupId(group) + "</Category>\n"
                                  "    </Include>\n"
                                  "  </Menu>\n"
                                  "</Menu>\n");
        if (ok) currentGroup_ = group;
        return ok;
    }

    bool showGroup(const std::string& group) {
        std::error_code error;
        if (!fs::exists(menuFile(group), error)) return false;
        currentGroup_ = group;
        return true;
    }

    bool addItem(const std::string& commandLine, const std::string& title, const std::string& icon) {
        if (currentGroup_.empty()) return false;
        // A program starts itself; a document opens with its associated program.
        const bool program = fs::is_regular_file(commandLine) && access(commandLine.c_str(), X_OK) == 0;
        const std::string exec = program ? execArgument(commandLine) : "xdg-open " + execArgument(commandLine);
        const std::string name = title.empty() ? fs::path(commandLine).stem().string() : title;
        std::string entry = "[Desktop Entry]\nType=Application\nName=" + desktopString(name) +
                            "\nExec=" + desktopString(exec) + "\n";
        if (!icon.empty()) entry += "Icon=" + desktopString(icon) + "\n";
        // Development is the main category menus file an entry under; the
        // group's own category places it in the group's menu.
        entry += "Terminal=false\nCategories=Development;X-" + groupId(currentGroup_) + ";\n";
        return writeFile(applicationsFolder() / (groupId(currentGroup_) + "-" + fileNamePart(name) + ".desktop"),
                         entry);
    }

    std::string currentGroup_;
};

}  // namespace

std::unique_ptr<ProgramManager> connectProgramManager() { return std::make_unique<XdgProgramManager>(); }

}  // namespace mivra
