#pragma once

#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "ProgramManager.h"

namespace mivra::installer {

inline constexpr const char* groupName = "Mivra";

// "[AddItem(\"<prefix><target>\",\"<title>\",\"<prefix>icon\\mivra.ico\")]" (.png
// on Linux), the uninstall icon for titles beginning with "Uninstall".
std::string addItemCommand(const std::string& itemPrefix, const GroupItem& item);

// Every command of the program group, in the order they are sent.
std::vector<std::string> programGroupCommands(const std::string& itemPrefix, const std::vector<GroupItem>& items);

// Deletes and recreates the group and adds the items. A failing ShowGroup
// stops everything after it; a failing item other than an "Uninstall" item
// stops the remaining items. A command over 1021 characters is refused
// without being sent and counts as failed.
void createProgramGroup(ProgramManager& manager, const std::string& itemPrefix, const std::vector<GroupItem>& items);

}  // namespace mivra::installer
