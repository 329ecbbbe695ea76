#include <unistd.h>

#include <filesystem>

#include "Commands.h"
#include "ConsoleText.h"
#include "ProcessServices.h"

// The command line keeps clear of the window toolkit: the builder window is
// a program of its own, mivra-window, which this one becomes when asked for
// the window. It lies beside this program, or in ../libexec/mivra as the
// Debian package installs it.
namespace mivra {

int runBuilderWindow(const std::vector<std::string>& args) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(ownProgramPath()).parent_path();
    std::error_code error;
    for (const fs::path& program : {folder / "mivra-window", folder / ".." / "libexec" / "mivra" / "mivra-window"}) {
        if (!fs::is_regular_file(program, error)) continue;
        std::string path = program.lexically_normal().string();
        std::vector<std::string> words = args;
        std::vector<char*> argv{path.data()};
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        printFailure(printableText(path) + ": cannot be started");
        return exitFailure;
    }
    printFailure("this build has no builder window; mivra generate writes the same output from the command line "
                 "(see mivra --help)");
    return exitFailure;
}

}  // namespace mivra
