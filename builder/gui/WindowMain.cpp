#include <QApplication>

#include "BuilderWindow.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "SourceLoading.h"

#ifdef _WIN32
#include <objbase.h>
#endif

namespace mivra {

int runBuilderWindow(int argc, char** argv) {
    QApplication app(argc, argv);
#ifdef _WIN32
    CoInitialize(nullptr);
#endif
    int status = 0;
    {
        auto registry = openClassRegistry();
        SourceServices services;
        services.registry = registry.get();
        services.checkFile = [](const std::string& path, const LookupReport& report) {
            return checkTypeLibraryFile(path, {}, report);
        };
        BuilderWindow window(services);
        window.exec();
    }
#ifdef _WIN32
    CoUninitialize();
#endif
    return status;
}

}  // namespace mivra
