#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

const char usage[] =
    "usage: mivra                      open the builder window\n"
    "       mivra generate -i SOURCE -o FOLDER -p PACKAGE [-l LIBRARY] [--registry PREFIX]\n"
    "                      [--handles int|long] [--reader file|ole] [--open-readme]\n"
    "                      [--mapping basic|full] [--jar FILE] [--runtime-jar FILE]\n"
    "       mivra dump [--raw [--resolved]] [--reader file|ole] SOURCE...\n"
    "       mivra list [--registry PREFIX]\n"
    "       mivra locate PROGID [--registry PREFIX]\n"
    "       mivra check FILE\n"
    "       mivra --version\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return mivra::runBuilderWindow(argc, argv);
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "dump") return mivra::runDumpCommand(args);
    if (command == "generate") return mivra::runGenerateCommand(args);
    if (command == "list") return mivra::runListCommand(args);
    if (command == "locate") return mivra::runLocateCommand(args);
    if (command == "check") return mivra::runCheckCommand(args);
    if (command == "--version") {
        std::puts("mivra " MIVRA_VERSION);
        return 0;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fputs(usage, stderr);
    return 2;
}
