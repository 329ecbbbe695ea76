#include <cstdio>

#include "Commands.h"

// Commands whose implementation has not landed yet say so instead of
// pretending to work. Each is replaced by its own file as it is built.
namespace mivra {

namespace {
int notYet(const char* name) {
    std::fprintf(stderr, "mivra: the %s command is not available in this build\n", name);
    return 2;
}
}  // namespace

int runGenerateCommand(const std::vector<std::string>&) { return notYet("generate"); }
int runBuilderWindow(int, char**) { return notYet("window"); }

}  // namespace mivra
