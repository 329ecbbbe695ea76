#pragma once

#include <optional>
#include <string>

#include "Generator.h"

namespace mivra {

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
};

// The builder's commands over its four input texts, the same for every
// front-end: the default library name, Select, Browse, the checks before a
// run, making the output folder, the run itself and help. The front-end
// copies its fields into `fields` before a command and shows them after it.
class BuildSession {
public:
    explicit BuildSession(FrontEnd& frontEnd);
    virtual ~BuildSession();
    BuildSession(const BuildSession&) = delete;
    BuildSession& operator=(const BuildSession&) = delete;

    // Input, Output, Package and Library as the front-end shows them.
    GenerationInputs fields;
    // Whether Build asks before it creates a missing output folder.
    bool askBeforeCreatingFolder = true;

    // The user's own edits of Input and Library.
    void inputEdited(const std::string& text);
    void libraryEdited(const std::string& text);
    bool libraryNameEdited() const { return libraryNameEdited_; }

    // Select...: Input from the source picker, then the default library name.
    void selectSource();
    // Browse...: Output from the folder browser.
    void browseOutput();

    enum class Outcome { Refused, Failed, Succeeded };
    // The checks, the output folder and the run; Succeeded means the window
    // may close (the run may still have reported failures: reportCount).
    Outcome build();
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

    FrontEnd& frontEnd_;
    std::unique_ptr<SessionGenerator> generator_;
    bool libraryNameEdited_ = false;
    int reportCount_ = 0;
    std::string helpPagePath_;
};

}  // namespace mivra
