#include <cstdio>

#include "Commands.h"

// Builds without Qt have the command line only.
#ifndef MIVRA_HAVE_GUI
namespace mivra {

int runBuilderWindow(int, char**) {
    std::fputs("mivra: this build has no windows; see mivra --help for the commands\n", stderr);
    return 2;
}

}  // namespace mivra
#endif
