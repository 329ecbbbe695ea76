#include "BuildSession.h"

#include <filesystem>

#include "BuildChecks.h"
#include "BuilderTexts.h"
#include "FileSystem.h"
#include "ProcessServices.h"

namespace mivra {

// Every report of a run reaches the front-end as subject, ": ", message.
class BuildSession::SessionGenerator final : public Generator {
public:
    explicit SessionGenerator(BuildSession& session) : session_(session) {}
    void reportError(const std::string& subject, const std::string& message) override {
        ++session_.reportCount_;
        session_.frontEnd_.showMessage(subject + ": " + message);
    }
    // The session checked the package with the other inputs.
    void takeCheckedInputs(const GenerationInputs& checked) {
        inputs = checked;
        packageChecked_ = true;
    }

private:
    BuildSession& session_;
};

BuildSession::BuildSession(FrontEnd& frontEnd)
    : frontEnd_(frontEnd), generator_(std::make_unique<SessionGenerator>(*this)) {
    generator_->setDocumentOpener([this](const std::string& path) { frontEnd_.openDocument(path); });
}

BuildSession::~BuildSession() { generator_->finish(); }

Generator& BuildSession::generator() { return *generator_; }

namespace {

constexpr BuildField allFields[] = {BuildField::Input, BuildField::Output, BuildField::Package, BuildField::Library};

std::string& fieldOf(GenerationInputs& inputs, BuildField field) {
    switch (field) {
    case BuildField::Input: return inputs.sourcePath;
    case BuildField::Output: return inputs.outputFolder;
    case BuildField::Package: return inputs.packageName;
    case BuildField::Library: break;
    }
    return inputs.libraryFileName;
}

}  // namespace

void BuildSession::readFields() {
    for (BuildField field : allFields)
        if (auto text = frontEnd_.fieldText(field)) fieldOf(fields, field) = std::move(*text);
}

void BuildSession::showFields() {
    for (BuildField field : allFields) {
        const std::string& text = fieldOf(fields, field);
        if (frontEnd_.fieldText(field).value_or(text) != text) frontEnd_.showFieldText(field, text);
    }
}

void BuildSession::applyDefaultLibraryName() {
    if (!libraryNameEdited_) fields.libraryFileName = defaultLibraryName(fields.sourcePath);
}

void BuildSession::inputEdited() {
    readFields();
    applyDefaultLibraryName();
    showFields();
}

void BuildSession::libraryEdited() {
    readFields();
    libraryNameEdited_ = true;
}

void BuildSession::setMapping(MappingMode mapping) {
    options.mapping = mapping;
    frontEnd_.enableChoices(options.libraryApplies(), options.handlesApply());
}

void BuildSession::selectSource() {
    readFields();
    if (auto chosen = frontEnd_.chooseSource()) {
        fields.sourcePath = *chosen;
        applyDefaultLibraryName();
    }
    showFields();
}

void BuildSession::browseOutput() {
    readFields();
    std::string folder = frontEnd_.chooseFolder(builder::texts::outputFolderTitle);
    if (!folder.empty()) fields.outputFolder = folder;
    showFields();
}

std::optional<std::string> BuildSession::checkInputs() const {
    if (auto problem = checkBuildInputs(fields, options.mapping)) return problem;
    if (auto problem = checkPackageName(fields.packageName)) return fields.packageName + ": " + *problem;
    return std::nullopt;
}

BuildSession::Outcome BuildSession::build() {
    readFields();
    reportCount_ = 0;
    if (auto problem = checkInputs()) {
        frontEnd_.showMessage(*problem);
        return Outcome::Refused;
    }
    return buildChecked();
}

BuildSession::Outcome BuildSession::buildChecked() {
    generator_->takeCheckedInputs(fields);
    generator_->mapping = options.mapping;
    generator_->handles = options.handlesApply() ? options.handles : HandleType::Int;
    generator_->openReadmeWhenDone = options.openReadme;
    generator_->packageFolders = options.packageFolders;
    generator_->setClassRegistry(options.registry);
    generator_->setReaderFactory(options.makeReader);
    // The folder is made without its trailing separator; the Generator keeps
    // the text as typed. "/" alone stays: it is the root.
    std::string& folder = fields.outputFolder;
    if (folder.ends_with('\\') || (folder.ends_with('/') && folder.size() > 1)) folder.pop_back();
    bool made = ensureFolder(folder, askBeforeCreatingFolder);
    if (made && options.packageFolders) made = ensureFolder(packageFolderPath(folder, fields.packageName), false);
    showFields();
    if (!made) return Outcome::Failed;
    return runGeneration() ? Outcome::Succeeded : Outcome::Failed;
}

bool BuildSession::runGeneration() {
    bool succeeded = generator_->run();
    generator_->finish();
    return succeeded;
}

bool BuildSession::ensureFolder(const std::string& path, bool ask) {
    std::function<bool(const std::string&)> question;
    if (ask) question = [this](const std::string& text) { return frontEnd_.askOkCancel(text); };
    return mivra::ensureFolder(path, question, [this](const std::string& message) { frontEnd_.showMessage(message); });
}

void BuildSession::showHelp() {
    if (helpPagePath_.empty()) {
        std::string program = ownProgramPath();
#ifdef _WIN32
        const char separator = '\\';
#else
        const char separator = '/';
#endif
        size_t cut = program.find_last_of(separator);
        std::string folder = cut == std::string::npos ? std::string() : program.substr(0, cut + 1);
        helpPagePath_ = folder + "help" + separator + "Index.html";
        // The Debian package keeps the pages in the system's documentation folder.
        const std::string packaged = folder + "../share/doc/mivra/html/Index.html";
        if (separator == '/' && !fileExists(helpPagePath_) && fileExists(packaged))
            helpPagePath_ = std::filesystem::path(packaged).lexically_normal().string();
    }
    if (!frontEnd_.openDocument(helpPagePath_)) frontEnd_.showMessage(helpPagePath_ + ": Cannot open");
}

}  // namespace mivra
