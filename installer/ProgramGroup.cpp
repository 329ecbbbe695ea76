#include "ProgramGroup.h"

#include "InstallNames.h"

namespace mivra::installer {

namespace {

bool isUninstallItem(const GroupItem& item) { return startsWithIgnoringCase(item.title, "Uninstall"); }

std::string localName(const std::string& name) {
    std::string out;
    for (char c : withoutLeadingSeparator(name)) out += c == '\\' ? pathSeparator : c;
    return out;
}

bool send(ProgramManager& manager, const std::string& command) {
    return command.size() <= maxProgramManagerCommandLength && manager.execute(command);
}

std::string quoted(const std::string& name) { return "(\"" + name + "\")]"; }

}  // namespace

std::string addItemCommand(const std::string& itemPrefix, const GroupItem& item) {
    const std::string icon = localName(std::string(isUninstallItem(item) ? uninstallIconName : programIconName));
    return "[AddItem(\"" + itemPrefix + localName(item.target) + "\",\"" + item.title + "\",\"" + itemPrefix +
           icon + "\")]";
}

std::vector<std::string> programGroupCommands(const std::string& itemPrefix, const std::vector<GroupItem>& items) {
    std::vector<std::string> commands = {"[DeleteGroup" + quoted(groupName), "[CreateGroup" + quoted(groupName),
                                         std::string("[ShowGroup(\"") + groupName + "\",1)]"};
    for (const auto& item : items) commands.push_back(addItemCommand(itemPrefix, item));
    return commands;
}

void createProgramGroup(ProgramManager& manager, const std::string& itemPrefix, const std::vector<GroupItem>& items) {
    const auto commands = programGroupCommands(itemPrefix, items);
    send(manager, commands[0]);
    send(manager, commands[1]);
    if (!send(manager, commands[2])) return;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!send(manager, commands[3 + i]) && !isUninstallItem(items[i])) return;
    }
}

}  // namespace mivra::installer
