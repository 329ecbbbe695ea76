#include "OpenDocument.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace mivra {

bool openWithDefaultProgram(const std::string& path) {
    // xdg-open returns once it has handed the file on; the child is reaped
    // so that no zombie stays behind.
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace mivra
