#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ClassRegistry.h"
#include "TypeLibraryReader.h"

namespace mivra {

using ReaderFactory = std::function<std::unique_ptr<TypeLibraryReader>()>;

// The four texts of one run, as entered.
struct GenerationInputs {
    std::string sourcePath;
    std::string outputFolder;
    std::string packageName;
    std::string libraryFileName;
};

// One generation from a COM source to the Java classes, the C file and the
// pages. Owners set the inputs, call run, then always finish. Everything the
// run has to tell the user goes through reportError.
class Generator {
public:
    Generator();
    virtual ~Generator();

    GenerationInputs inputs;
    bool openReadmeWhenDone = false;

    bool run();
    void finish();
    virtual void reportError(const std::string& subject, const std::string& message) = 0;

    // Which type-library reader loads the source (the file reader unless set),
    // and the class registry that supplies ProgIDs (none: braced GUIDs).
    void setReaderFactory(ReaderFactory factory);
    void setClassRegistry(const ClassRegistry* registry);
};

}  // namespace mivra
