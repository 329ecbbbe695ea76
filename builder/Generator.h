#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Bindings.h"
#include "ClassRegistry.h"
#include "GenerationContext.h"
#include "TypeLibraryReader.h"
#include "TypeModel.h"

namespace mivra {

using ReaderFactory = std::function<std::unique_ptr<TypeLibraryReader>()>;

// The four texts of one run, as entered.
struct GenerationInputs {
    std::string sourcePath;
    std::string outputFolder;
    std::string packageName;
    std::string libraryFileName;
};

// The names a run derives from its inputs.
std::string deriveLibraryBaseName(const std::string& libraryFileName);
std::string deriveJniPackage(const std::string& packageName);
std::string deriveClassPathPackage(const std::string& packageName);
// The folder of a package's Java files below an output folder.
std::string packageFolderPath(const std::string& outputFolder, const std::string& packageName);

// One generation from a COM source to the Java classes, the C file and the
// pages. Owners set the inputs, call run, then always finish. Everything the
// run has to tell the user goes through reportError.
class Generator {
public:
    Generator();
    virtual ~Generator();

    GenerationInputs inputs;
    bool openReadmeWhenDone = false;
    // Int: pointers in Java int fields, for 32-bit VMs (the classic output).
    // Long: in long fields, for 64-bit VMs.
    HandleType handles = HandleType::Int;
    MappingMode mapping = MappingMode::Basic;
    // The Java files in the folders of their package below the output folder
    // (mvx/golden/Shape.java), as build tools look for them; the pages and
    // the C file stay in the output folder. The owner makes the folders.
    bool packageFolders = false;

    bool run();
    void finish();
    virtual void reportError(const std::string& subject, const std::string& message) = 0;

    // Which type-library reader loads the source (the file reader unless set),
    // and the class registry that supplies ProgIDs (none: braced GUIDs).
    void setReaderFactory(ReaderFactory factory);
    void setClassRegistry(const ClassRegistry* registry);
    // How the finished readme is opened (the platform's shell unless set).
    void setDocumentOpener(std::function<void(const std::string& path)> opener);

    // Derived at the start of each run.
    const std::string& libraryBaseName() const;
    const std::string& jniPackage() const;
    const std::string& classPathPackage() const;
    // The model of the last run; its library is held until finish.
    const TypeModel& model() const { return model_; }
    // The ProgID of a class when the registry knows one, else its GUID text.
    std::string identifierText(const Guid& guid) const;
    // How many Java files and JNI functions the last run wrote, and the path
    // of its C file.
    int javaFileCount() const;
    // The paths of the Java files the last run wrote or found already written.
    const std::vector<std::string>& javaFiles() const;
    int jniFunctionCount() const;
    std::string cFilePath() const;
    // Of a full run: every function of every interface and dispinterface of
    // the library (the IUnknown and IDispatch members left out) and how many
    // of them got a Java method; the same of the interfaces callable through
    // IDispatch or an IDispatch-derived vtable; the lines of the unbound list.
    int dispatchFunctionCount() const { return summary_.dispatchFunctions; }
    int boundFunctionCount() const { return summary_.boundFunctions; }
    int callableFunctionCount() const { return summary_.callableFunctions; }
    int callableBoundCount() const { return summary_.callableBound; }
    int unboundCount() const { return summary_.unbound; }
    // Of a full run: the listener interfaces and the events they have a method for.
    int listenerCount() const { return summary_.listeners; }
    int eventCount() const { return summary_.events; }
    // Replaces the time written into the files (for comparing whole files).
    void setClock(std::function<std::string()> clock);

protected:
    // Set by an owner that has checked the package name of inputs itself.
    bool packageChecked_ = false;

private:
    class RunContext;
    void openReadme(const std::string& path);
    BindingSummary summary_;
    ReaderFactory readerFactory_;
    std::function<void(const std::string& path)> openDocument_;
    const ClassRegistry* registry_ = nullptr;
    TypeModel model_;
    std::unique_ptr<RunContext> context_;
};

}  // namespace mivra
