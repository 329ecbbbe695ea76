#include "Generator.h"

#include "BuildChecks.h"
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
    summary_ = {};

    // A package Java cannot compile, or whose JNI names no VM looks up, would
    // give output that cannot work: refused before anything is written.
    if (!packageChecked_)
        if (auto problem = checkPackageName(inputs.packageName)) {
            reportError(inputs.packageName, *problem);
            return false;
        }
    auto report = [this](const std::string& subject, const std::string& message) { reportError(subject, message); };
    if (!loadLibrary(inputs.sourcePath, model_, readerFactory_, report, registry_)) return false;
    if (!writeBindings(mapping, model_, context, inputs.sourcePath, summary_)) return false;
    if (summary_.readmeWritten && openReadmeWhenDone &&
        (mapping == MappingMode::Full || !isSampleRun(context.libraryBaseName)))
        openReadme(context.fullPath(outputPath(context.outputFolder, "readme.html")));
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
    model_.releaseLibrary();
}

}  // namespace mivra
