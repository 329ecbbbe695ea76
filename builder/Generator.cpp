#include "Generator.h"

#include "BuildChecks.h"
#include "FullModel.h"
#include "FullWriters.h"
#include "GenerationContext.h"
#include "Output.h"
#include "ResolvedLibrary.h"
#include "ProcessServices.h"
#include "SourceLoading.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {

class Generator::RunContext final : public GenerationContext {
public:
    explicit RunContext(Generator& owner) : owner_(owner) {}
    void reportError(const std::string& subject, const std::string& message) override {
        owner_.reportError(subject, message);
    }
    std::string identifierText(const Guid& guid) const override { return owner_.identifierText(guid); }

private:
    Generator& owner_;
};

namespace {

// The Java files to one folder, the pages and lists to another.
class JavaSplitOutput final : public Output {
public:
    JavaSplitOutput(Output& java, Output& others) : java_(java), others_(others) {}
    std::unique_ptr<OutputSink> open(const std::string& name) override { return of(name).open(name); }
    std::string pathOf(const std::string& name) const override { return of(name).pathOf(name); }

private:
    Output& of(const std::string& name) const { return name.ends_with(".java") ? java_ : others_; }
    Output& java_;
    Output& others_;
};

}  // namespace

std::string deriveLibraryBaseName(const std::string& libraryFileName) {
    size_t start = libraryFileName.find_last_of("\\/:");
    std::string name = start == std::string::npos ? libraryFileName : libraryFileName.substr(start + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string deriveJniPackage(const std::string& packageName) {
    std::string escaped = escapeJniName(packageName);
    for (char& c : escaped)
        if (c == '.') c = '_';
    return escaped;
}

std::string deriveClassPathPackage(const std::string& packageName) {
    std::string path = packageName;
    for (char& c : path)
        if (c == '.') c = '/';
    return path;
}

Generator::Generator() : context_(std::make_unique<RunContext>(*this)) {}

// Owners call finish themselves; here the report would reach a derived
// class that is gone already, so the file is only closed.
Generator::~Generator() {
    if (context_->cFile) context_->cFile->close();
    context_->cFile.reset();
    finish();
}

void Generator::setReaderFactory(ReaderFactory factory) {
    readerFactory_ = std::move(factory);
}

void Generator::setClassRegistry(const ClassRegistry* registry) { registry_ = registry; }

void Generator::setDocumentOpener(std::function<void(const std::string& path)> opener) {
    openDocument_ = std::move(opener);
}

void Generator::setClock(std::function<std::string()> clock) { context_->clock = std::move(clock); }

const std::string& Generator::libraryBaseName() const { return context_->libraryBaseName; }
const std::string& Generator::jniPackage() const { return context_->jniPackage; }
const std::string& Generator::classPathPackage() const { return context_->classPathPackage; }

std::string packageFolderPath(const std::string& outputFolder, const std::string& packageName) {
    std::string folder = deriveClassPathPackage(packageName);
#ifdef _WIN32
    for (char& c : folder)
        if (c == '/') c = '\\';
#endif
    return outputPath(outputFolder, folder);
}

int Generator::javaFileCount() const { return context_->javaFileCount; }
const std::vector<std::string>& Generator::javaFiles() const { return context_->javaFiles; }
int Generator::jniFunctionCount() const { return context_->jniFunctionCount; }
std::string Generator::cFilePath() const {
    return outputPath(context_->outputFolder, context_->libraryBaseName + ".c");
}

std::string Generator::identifierText(const Guid& guid) const {
    std::string text = guidText(guid);
    if (registry_)
        if (auto progId = registry_->progIdFromClsid(text); progId && !progId->empty()) return *progId;
    return text;
}

bool Generator::run() {
    finish();
    GenerationContext& context = *context_;
    context.outputFolder = inputs.outputFolder;
    context.packageName = inputs.packageName;
    context.libraryBaseName = deriveLibraryBaseName(inputs.libraryFileName);
    context.jniPackage = deriveJniPackage(inputs.packageName);
    context.classPathPackage = deriveClassPathPackage(inputs.packageName);
    context.javaFolder = packageFolders ? packageFolderPath(inputs.outputFolder, inputs.packageName) : std::string();
    context.javaFileCount = 0;
    context.javaFiles.clear();
    context.jniFunctionCount = 0;
    context.handles = handles;
    model_.clear();
    context.model = &model_;
    dispatchFunctions_ = boundFunctions_ = callableFunctions_ = callableBound_ = unbound_ = listeners_ = events_ = 0;

    // A package Java cannot compile, or whose JNI names no VM looks up, would
    // give output that cannot work: refused before anything is written.
    if (!packageChecked_)
        if (auto problem = checkPackageName(inputs.packageName)) {
            reportError(inputs.packageName, *problem);
            return false;
        }
    if (mapping == MappingMode::Full) return runFull();
    auto report = [this](const std::string& subject, const std::string& message) { reportError(subject, message); };
    if (!loadSource(inputs.sourcePath, model_, readerFactory_, report, true, registry_)) return false;
    if (!writeJniPrologue(context)) return false;
    writeClasses(context);
    writeOverviewPage(context);
    if (writeReadmePage(context) && openReadmeWhenDone && !isSampleRun(context.libraryBaseName))
        openReadme(context.fullPath(outputPath(context.outputFolder, "readme.html")));
    return true;
}

// The full bindings: the library resolved once, the whole model built, and
// only then the files, each of which must be written whole.
bool Generator::runFull() {
    GenerationContext& context = *context_;
    auto report = [this](const std::string& subject, const std::string& message) { reportError(subject, message); };
    if (!loadSource(inputs.sourcePath, model_, readerFactory_, report, false, registry_)) return false;
    auto resolved = resolve(*model_.library);
    // Everything is read: the reader's memory goes to the model instead.
    model_.clear();
    if (!resolved) {
        reportError(inputs.sourcePath, "File does not contain type information");
        return false;
    }
    FullModelInputs modelInputs;
    modelInputs.identifierText = [this](const Guid& guid) { return identifierText(guid); };
    FullModel full = buildFullModel(*resolved, modelInputs);
    for (const auto& [subject, message] : full.refusals) reportError(subject, message);

    FullWriteInputs writeInputs;
    writeInputs.packageName = context.packageName;
    writeInputs.classPathPackage = context.classPathPackage;
    writeInputs.timeText = context.timeText();
    writeInputs.folderPath = context.fullPath(context.outputFolder);
    DiskOutput folderOutput(context.outputFolder);
    DiskOutput javaOutput(context.javaFolder.empty() ? context.outputFolder : context.javaFolder);
    JavaSplitOutput output(javaOutput, folderOutput);
    bool written = writeFullBindings(output, full, writeInputs, report, context.javaFileCount);
    for (const std::string& path : javaOutput.paths())
        if (path.ends_with(".java")) context.javaFiles.push_back(path);
    if (!written) return false;
    dispatchFunctions_ = full.functionCount();
    boundFunctions_ = full.boundCount();
    callableFunctions_ = full.callableFunctionCount();
    callableBound_ = full.callableBoundCount();
    unbound_ = int(full.unbound.size());
    listeners_ = full.listenerCount();
    events_ = full.eventCount();
    if (openReadmeWhenDone) openReadme(context.fullPath(outputPath(context.outputFolder, "readme.html")));
    return true;
}

void Generator::openReadme(const std::string& path) {
    if (openDocument_)
        openDocument_(path);
    else
        shellOpen(path, {});
}

void Generator::finish() {
    if (context_ && context_->cFile) {
        // The C file is complete only now; a full disk shows here at the latest.
        if (!context_->cFile->close()) reportError(cFilePath(), "Cannot write file");
        context_->cFile.reset();
    }
    if (model_.library) {
        model_.library->release();
        model_.library.reset();
    }
}

}  // namespace mivra
