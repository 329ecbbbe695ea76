#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "ConsoleText.h"
#include "ProcessServices.h"

namespace {

std::string usageText() {
    return "usage: mivra [--registry PREFIX]         open the builder window\n"
           "       " +
           mivra::generateUsageText("       ") +
           "       mivra dump [--raw [--resolved]] [--reader file|ole] SOURCE...\n"
           "       mivra list [--registry PREFIX]\n"
           "       mivra locate PROGID [--registry PREFIX]\n"
           "       mivra check FILE\n"
           "       mivra --version | --help\n"
           "Failures are printed as \"mivra: \" and the message. Exit status: 0 done, nothing reported;\n"
           "1 the command ran and reported failures (a source that cannot be read, files that could not\n"
           "be written, nothing found); 2 refused before doing anything (a wrong option, command or value).\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--registry") return mivra::runBuilderWindow(words);
    mivra::useParentConsole();
    mivra::prepareHeapForLargeWork();
    std::string command = words[0];
    std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "dump") return mivra::runDumpCommand(args);
    if (command == "generate") return mivra::runGenerateCommand(args);
    if (command == "list") return mivra::runListCommand(args);
    if (command == "locate") return mivra::runLocateCommand(args);
    if (command == "check") return mivra::runCheckCommand(args);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usageText().c_str(), stdout);
        return mivra::exitSuccess;
    }
    if (command == "--version") {
        std::puts("Mivra Version " MIVRA_VERSION);
        return mivra::exitSuccess;
    }
    return mivra::usageError("unknown command \"" + command + "\"", usageText().c_str());
}
