#include <QApplication>
#include <QFileInfo>

#include "BuilderWindow.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "DefaultReader.h"

#ifdef _WIN32
#include <objbase.h>
#endif

namespace mivra {

namespace {

// Whether a type library loads from the file; the library is released at once.
bool loadsAsTypeLibrary(const std::string& path, const LookupReport& report) {
    std::string full = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    auto reader = defaultReaderFactory()();
    bool loads = reader && reader->load(full);
    if (reader) reader->release();
    if (!loads && report) report("File does not contain a COM interface definition.");
    return loads;
}

}  // namespace

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
        services.makeReader = defaultReaderFactory();
        services.checkFile = loadsAsTypeLibrary;
        BuilderWindow window(services);
        window.exec();
    }
#ifdef _WIN32
    CoUninitialize();
#endif
    return status;
}

}  // namespace mivra
