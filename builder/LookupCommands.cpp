#include <cstdio>

#include "ClassRegistry.h"
#include "Commands.h"
#include "RegistryLookups.h"

// mivra list and mivra locate: the source picker's lookups on the command line.
namespace mivra {

namespace {

void printFailure(const std::string& message) { std::fprintf(stderr, "mivra: %s\n", message.c_str()); }

// Splits "--registry PREFIX" off the words; false on a usage error.
bool takeRegistryOption(const std::vector<std::string>& args, std::string& prefix,
                        std::vector<std::string>& rest) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--registry") {
            if (i + 1 >= args.size()) return false;
            prefix = args[++i];
        } else if (args[i].rfind("--registry=", 0) == 0) {
            prefix = args[i].substr(11);
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return false;
        } else {
            rest.push_back(args[i]);
        }
    }
    return true;
}

}  // namespace

int runListCommand(const std::vector<std::string>& args) {
    std::string prefix;
    std::vector<std::string> rest;
    if (!takeRegistryOption(args, prefix, rest) || !rest.empty()) {
        std::fputs("usage: mivra list [--registry PREFIX]\n", stderr);
        return 2;
    }
    auto registry = openClassRegistry(prefix);
    bool failed = false;
    RegisteredLibraryList list;
    listRegisteredLibraries(*registry, {}, [&](const std::string& message) {
        printFailure(message);
        failed = true;
    }, list);
    for (size_t i : sortedLibraryOrder(list))
        std::printf("%s\t%s\n", list.displayTexts[i].c_str(), list.paths[i].c_str());
    return failed ? 1 : 0;
}

int runLocateCommand(const std::vector<std::string>& args) {
    std::string prefix;
    std::vector<std::string> rest;
    if (!takeRegistryOption(args, prefix, rest) || rest.size() != 1) {
        std::fputs("usage: mivra locate PROGID [--registry PREFIX]\n", stderr);
        return 2;
    }
    auto registry = openClassRegistry(prefix);
    auto server = locateServerByProgId(*registry, rest[0], printFailure);
    if (!server) return 1;
    std::printf("%s\n", server->c_str());
    return 0;
}

}  // namespace mivra
