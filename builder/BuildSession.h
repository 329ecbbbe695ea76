#pragma once

#include <optional>
#include <string>

#include "Generator.h"

namespace mivra {

// The four texts of the builder, as a front-end shows them.
enum class BuildField { Input, Output, Package, Library };

// What a Build session needs from the window or command line it serves.
// Texts arrive as they are to be shown: front-ends show them as plain text.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // A message with an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool askOkCancel(const std::string& question) = 0;
    // The folder browser; empty when nothing was chosen.
    virtual std::string chooseFolder(const std::string& title) = 0;
    // The source picker; nothing when it was cancelled.
    virtual std::optional<std::string> chooseSource() = 0;
    // Opens a document with the desktop's program for it; false when that failed.
    virtual bool openDocument(const std::string& path) = 0;
    // The text of a field as the user left it, and showing one the session
    // changed. A front-end without fields keeps the session's texts.
    virtual std::optional<std::string> fieldText(BuildField) { return std::nullopt; }
    virtual void showFieldText(BuildField, const std::string&) {}
    // Whether the Library field and the handle choice can be used.
    virtual void enableChoices(bool library, bool handles) { (void)library, (void)handles; }
};

// The choices of a run besides its four texts, and the rules between them.
struct BuildOptions {
    MappingMode mapping = MappingMode::Basic;
    HandleType handles = HandleType::Int;
    bool openReadme = false;
    // The Java files in package folders below the output folder.
    bool packageFolders = false;
    // Supplies the ProgIDs (none: braced GUIDs), and reads the source (empty: the file reader).
    const ClassRegistry* registry = nullptr;
    ReaderFactory makeReader;

    // The full bindings run on the shared runtime, which serves 32- and
    // 64-bit Java alike and needs no JNI library: neither the handles nor
    // the library name are a choice there.
    bool libraryApplies() const { return mapping == MappingMode::Basic; }
    bool handlesApply() const { return mapping == MappingMode::Basic; }
};

// The builder's commands over its four input texts and its options, the
// same for every front-end: the default library name, Select, Browse, the
// checks before a run, making the output folder, the run itself and help.
// Each command reads the front-end's fields first and shows what it changed.
class BuildSession {
public:
    explicit BuildSession(FrontEnd& frontEnd);
    virtual ~BuildSession();
    BuildSession(const BuildSession&) = delete;
    BuildSession& operator=(const BuildSession&) = delete;

    // Input, Output, Package and Library.
    GenerationInputs fields;
    BuildOptions options;
    // Whether Build asks before it creates a missing output folder.
    bool askBeforeCreatingFolder = true;

    // The user's own edits of Input and Library.
    void inputEdited();
    void libraryEdited();
    bool libraryNameEdited() const { return libraryNameEdited_; }
    // The mapping chosen: the front-end enables what applies to it.
    void setMapping(MappingMode mapping);

    // Select...: Input from the source picker, then the default library name.
    void selectSource();
    // Browse...: Output from the folder browser.
    void browseOutput();

    // Refused: the inputs cannot be used (nothing was made); Failed: the
    // output folder could not be made, or the run failed; Succeeded: the
    // window may close (the run may still have reported failures: reportCount).
    enum class Outcome { Refused, Failed, Succeeded };
    Outcome build();
    // The folder and the run alone, for a front-end that has had checkInputs
    // pass and more checks of its own before anything is made.
    Outcome buildChecked();
    // The message of the first input that cannot be used, or nothing.
    std::optional<std::string> checkInputs() const;
    // True when path is a directory at the end; asks once (when ask is set)
    // before creating it and creates missing parents silently.
    bool ensureFolder(const std::string& path, bool ask);
    // Opens help/Index.html beside the program, or says why not.
    void showHelp();
    const std::string& helpPagePath() const { return helpPagePath_; }

    // What the run and finish of the last build reported.
    int reportCount() const { return reportCount_; }
    Generator& generator();

protected:
    // One generation: run, then finish; true when the run succeeded.
    virtual bool runGeneration();

private:
    class SessionGenerator;
    void applyDefaultLibraryName();
    void readFields();
    void showFields();

    FrontEnd& frontEnd_;
    std::unique_ptr<SessionGenerator> generator_;
    bool libraryNameEdited_ = false;
    int reportCount_ = 0;
    std::string helpPagePath_;
};

}  // namespace mivra
