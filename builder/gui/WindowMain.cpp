#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "BuilderWindow.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "SourceLoading.h"

namespace mivra {

namespace {

// Whether Qt can open a window here. Without one, QApplication would abort
// the process; a local X display is checked by its socket.
bool displayAvailable() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (set("QT_QPA_PLATFORM") || set("WAYLAND_DISPLAY")) return true;
    if (!set("DISPLAY")) return false;
    std::string display = std::getenv("DISPLAY");
    if (display.empty() || display[0] != ':') return true;
    std::string number = display.substr(1, display.find('.') == std::string::npos ? std::string::npos
                                                                                     : display.find('.') - 1);
    std::error_code ec;
    return std::filesystem::exists("/tmp/.X11-unix/X" + number, ec);
}

}  // namespace

int runBuilderWindow(const std::vector<std::string>& args) {
    static const char usage[] = "usage: mivra [--registry PREFIX]\n";
    std::string registryPrefix;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--registry") return usageError("unknown option \"" + args[i] + "\"", usage);
        if (i + 1 >= args.size()) return usageError("--registry needs a value", usage);
        registryPrefix = args[++i];
    }
    if (!displayAvailable()) {
        printFailure("no display is available for the builder window; mivra generate writes the same output from "
                     "the command line (see mivra --help)");
        return exitFailure;
    }
    int argc = 1;
    char name[] = "mivra";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto registry = openClassRegistry(registryPrefix);
    SourceServices services;
    services.registry = registry.get();
    services.checkFile = [](const std::string& path, const LookupReport& report) {
        return checkTypeLibraryFile(path, {}, report);
    };
    BuilderWindow window(services);
    window.exec();
    return exitSuccess;
}

}  // namespace mivra
