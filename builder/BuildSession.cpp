#include "BuildSession.h"

#include <filesystem>

#include "BuildChecks.h"
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

private:
    BuildSession& session_;
};

BuildSession::BuildSession(FrontEnd& frontEnd)
    : frontEnd_(frontEnd), generator_(std::make_unique<SessionGenerator>(*this)) {
    generator_->setDocumentOpener([this](const std::string& path) { frontEnd_.openDocument(path); });
}

BuildSession::~BuildSession() { generator_->finish(); }

Generator& BuildSession::generator() { return *generator_; }

void BuildSession::applyDefaultLibraryName() {
    if (!libraryNameEdited_) fields.libraryFileName = defaultLibraryName(fields.sourcePath);
}

void BuildSession::inputEdited(const std::string& text) {
    fields.sourcePath = text;
    applyDefaultLibraryName();
}

void BuildSession::libraryEdited(const std::string& text) {
    fields.libraryFileName = text;
    libraryNameEdited_ = true;
}

void BuildSession::selectSource() {
    if (auto chosen = frontEnd_.chooseSource()) {
        fields.sourcePath = *chosen;
        applyDefaultLibraryName();
    }
}

void BuildSession::browseOutput() {
    std::string folder = frontEnd_.chooseFolder("Select folder for output files");
    if (!folder.empty()) fields.outputFolder = folder;
}

BuildSession::Outcome BuildSession::build() {
    reportCount_ = 0;
    if (auto problem = checkBuildInputs(fields, generator_->mapping)) {
        frontEnd_.showMessage(*problem);
        return Outcome::Refused;
    }
    generator_->inputs = fields;
    // The folder is made without its trailing separator; the Generator keeps
    // the text as typed. "/" alone stays: it is the root.
    std::string& folder = fields.outputFolder;
    if (folder.ends_with('\\') || (folder.ends_with('/') && folder.size() > 1)) folder.pop_back();
    if (!ensureFolder(folder, askBeforeCreatingFolder)) return Outcome::Refused;
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
