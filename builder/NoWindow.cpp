#include "Commands.h"
#include "ConsoleText.h"

// The window of executables built without a window toolkit.
namespace mivra {

int runBuilderWindow(const std::vector<std::string>&) {
    printFailure("this build has no builder window; mivra generate writes the same output from the command line "
                 "(see mivra --help)");
    return exitFailure;
}

}  // namespace mivra
