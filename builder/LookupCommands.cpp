#include <cstdio>
#include <optional>

#include "ClassRegistry.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "RegistryLookups.h"

// mivra list and mivra locate: the source picker's lookups on the command line.
namespace mivra {

namespace {

// Splits "--registry PREFIX" off the words; what was wrong on a usage error.
std::optional<std::string> takeRegistryOption(const std::vector<std::string>& args, std::string& prefix,
                                              std::vector<std::string>& rest) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--registry") {
            if (i + 1 >= args.size()) return "--registry needs a value";
            prefix = args[++i];
        } else if (args[i].rfind("--registry=", 0) == 0) {
            prefix = args[i].substr(11);
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return "unknown option \"" + args[i] + "\"";
        } else {
            rest.push_back(args[i]);
        }
    }
    return std::nullopt;
}

}  // namespace

int runListCommand(const std::vector<std::string>& args) {
    std::string prefix;
    std::vector<std::string> rest;
    static const char usageText[] = "usage: mivra list [--registry PREFIX]\n";
    if (auto wrong = takeRegistryOption(args, prefix, rest)) return usageError("list: " + *wrong, usageText);
    if (!rest.empty()) return usageError("list: unexpected argument \"" + rest[0] + "\"", usageText);
    auto registry = openClassRegistry(prefix);
    bool failed = false;
    RegisteredLibraryList list;
    listRegisteredLibraries(*registry, {}, [&](const std::string& message) {
        printFailure(message);
        failed = true;
    }, list);
    for (size_t i : sortedLibraryOrder(list))
        std::printf("%s\t%s\n", printableText(list.displayTexts[i]).c_str(), printableText(list.paths[i]).c_str());
    return failed ? exitFailure : exitSuccess;
}

int runLocateCommand(const std::vector<std::string>& args) {
    std::string prefix;
    std::vector<std::string> rest;
    static const char usageText[] = "usage: mivra locate PROGID [--registry PREFIX]\n";
    if (auto wrong = takeRegistryOption(args, prefix, rest)) return usageError("locate: " + *wrong, usageText);
    if (rest.size() != 1) return usageError("locate: one PROGID is needed", usageText);
    auto registry = openClassRegistry(prefix);
    auto server = locateServerByProgId(*registry, rest[0], printFailure);
    if (!server) return exitFailure;
    std::printf("%s\n", printableText(*server).c_str());
    return exitSuccess;
}

}  // namespace mivra
