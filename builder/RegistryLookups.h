#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ClassRegistry.h"
#include "Generator.h"
#include "Guid.h"

namespace mivra {

// How a lookup tells the user why it failed: the window shows the text in a
// message box, the command line prints it.
using LookupReport = std::function<void(const std::string& message)>;

// The registered type libraries, filled once per process: display texts
// ("name" or "name:   doc string") and the library files, position by
// position.
struct RegisteredLibraryList {
    std::vector<std::string> displayTexts;
    std::vector<std::string> paths;
    bool filled = false;
};

// The one list of this process.
RegisteredLibraryList& registeredLibraryList();

// Fills the list on its first call; later calls do nothing. Libraries that
// cannot be resolved, loaded or documented are left out silently. Without a
// reader factory each library is loaded by the file reader (makeReaderFor).
void listRegisteredLibraries(const ClassRegistry& registry, const ReaderFactory& makeReader,
                             const LookupReport& report,
                             RegisteredLibraryList& list = registeredLibraryList());

// Positions of the list's lines in the order they are shown: alphabetical,
// without regard to case.
std::vector<size_t> sortedLibraryOrder(const RegisteredLibraryList& list);

// The server registered for a ProgID's class, as stored (a command line
// keeps its quotes and arguments); a bare Windows path is given as the file
// of this machine it names.
std::optional<std::string> locateServerByProgId(const ClassRegistry& registry, const std::string& progId,
                                                const LookupReport& report);

// How generated code names a class or interface: its ProgID when one is
// registered, else the braced GUID text.
std::string identifierText(const Guid& guid, const ClassRegistry* registry);

}  // namespace mivra
