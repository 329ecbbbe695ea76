#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace mivra {

// Longest command text the program manager's command buffer takes.
inline constexpr std::size_t maxProgramManagerCommandLength = 1021;

// A conversation with the desktop's program manager, which understands the
// group commands "[DeleteGroup(\"name\")]", "[CreateGroup(\"name\")]",
// "[ShowGroup(\"name\",1)]" and "[AddItem(\"command\",\"title\",\"icon\")]".
// On Windows the commands go to PROGMAN over DDE; on Linux they are carried
// out on the freedesktop menu: a submenu per group, described by a
// .directory file and a merged .menu file, with one .desktop entry per item.
class ProgramManager {
public:
    virtual ~ProgramManager() = default;
    // Carries out one command; false if it failed or is longer than
    // maxProgramManagerCommandLength (such a command is not sent).
    virtual bool execute(const std::string& command) = 0;
};

// Nothing when no conversation can be started.
std::unique_ptr<ProgramManager> connectProgramManager();

}  // namespace mivra
