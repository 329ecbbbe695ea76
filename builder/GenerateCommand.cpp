#include <cstdio>
#include <string>
#include <vector>

#include "BuildChecks.h"
#include "BuildSession.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "OleTypeLibraryReader.h"
#include "ProcessServices.h"

namespace mivra {

namespace {

const char generateUsage[] =
    "usage: mivra generate -i SOURCE -o FOLDER -p PACKAGE [-l LIBRARY] [--registry PREFIX] [--handles int|long]\n"
    "                      [--reader file|ole] [--open-readme]\n";

// The command line as a front-end of the Build session: messages go to
// standard error, nothing is asked, and only the readme is ever opened.
class CommandLineFrontEnd final : public FrontEnd {
public:
    void showMessage(const std::string& text) override { printFailure(text); }
    bool askOkCancel(const std::string&) override { return true; }
    std::string chooseFolder(const std::string&) override { return {}; }
    std::optional<std::string> chooseSource() override { return std::nullopt; }
    bool openDocument(const std::string& path) override { return shellOpen(path, {}); }
};

}  // namespace

int runGenerateCommand(const std::vector<std::string>& args) {
    GenerationInputs inputs;
    std::string registryPrefix;
    std::string readerName = "file";
    bool libraryGiven = false;
    bool openReadme = false;
    std::string handles = "int";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--open-readme") {
            openReadme = true;
            continue;
        }
        std::string* target = nullptr;
        if (option == "-i") target = &inputs.sourcePath;
        else if (option == "-o") target = &inputs.outputFolder;
        else if (option == "-p") target = &inputs.packageName;
        else if (option == "-l") target = &inputs.libraryFileName, libraryGiven = true;
        else if (option == "--registry") target = &registryPrefix;
        else if (option == "--handles") target = &handles;
        else if (option == "--reader") target = &readerName;
        if (!target) {
            if (option.starts_with("-")) return usageError("generate: unknown option \"" + option + "\"", generateUsage);
            return usageError("generate: unexpected argument \"" + option + "\"", generateUsage);
        }
        if (i + 1 >= args.size()) return usageError("generate: " + option + " needs a value", generateUsage);
        *target = args[++i];
    }
    if (handles != "int" && handles != "long")
        return usageError("generate: --handles takes int or long, not \"" + handles + "\"", generateUsage);
    if (readerName != "file" && readerName != "ole")
        return usageError("generate: --reader takes file or ole, not \"" + readerName + "\"", generateUsage);
    if (readerName == "ole" && !makeOleTypeLibraryReader()) {
        printFailure("generate: --reader ole: this platform has no OLE Automation type-library service");
        return exitUsage;
    }

    CommandLineFrontEnd frontEnd;
    BuildSession session(frontEnd);
    session.askBeforeCreatingFolder = false;
    session.fields = inputs;
    if (!libraryGiven) session.inputEdited(inputs.sourcePath);
    // Refusals of the inputs come before anything is made, the folder included.
    if (auto refusal = checkBuildInputs(session.fields)) {
        printFailure(*refusal);
        return exitUsage;
    }
    if (auto refusal = checkPackageName(inputs.packageName)) {
        printFailure(inputs.packageName + ": " + *refusal);
        return exitUsage;
    }

    auto registry = openClassRegistry(registryPrefix);
    Generator& generator = session.generator();
    generator.openReadmeWhenDone = openReadme;
    generator.handles = handles == "long" ? HandleType::Long : HandleType::Int;
    generator.setClassRegistry(registry.get());
    if (readerName == "ole") generator.setReaderFactory(makeOleTypeLibraryReader);
    BuildSession::Outcome outcome = session.build();
    if (outcome == BuildSession::Outcome::Succeeded)
        std::printf("Wrote %d Java files and %s (%d JNI functions) to %s\n", generator.javaFileCount(),
                    printableText(generator.cFilePath()).c_str(), generator.jniFunctionCount(),
                    printableText(inputs.outputFolder).c_str());
    std::fflush(stdout);
    int reports = session.reportCount();
    if (reports > 0)
        printFailure(std::to_string(reports) + (reports == 1 ? " failure was" : " failures were") + " reported; " +
                     (outcome == BuildSession::Outcome::Succeeded ? "the output is incomplete" : "the run stopped"));
    return outcome == BuildSession::Outcome::Succeeded && reports == 0 ? exitSuccess : exitFailure;
}

}  // namespace mivra
