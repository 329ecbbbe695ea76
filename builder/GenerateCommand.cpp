#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BuildChecks.h"
#include "BuildSession.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "FileSystem.h"
#include "FullModel.h"
#include "JarPacking.h"
#include "OleTypeLibraryReader.h"
#include "ProcessServices.h"

namespace mivra {

namespace {

const char generateUsage[] =
    "usage: mivra generate -i SOURCE -o FOLDER -p PACKAGE [-l LIBRARY] [--registry PREFIX] [--handles int|long]\n"
    "                      [--reader file|ole] [--mapping basic|full] [--open-readme] [--jar FILE]\n"
    "                      [--runtime-jar FILE]\n";

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

// --jar: compiles the Java files the run wrote since `since` and packs them;
// the exit status of the command.
int packGeneratedJar(const JdkTools& jdk, const std::string& jarPath, const std::string& runtimeJar,
                     const std::string& folder, const std::string& packageName,
                     std::filesystem::file_time_type since) {
    JarRequest request;
    request.javaFiles = javaFilesWrittenSince(folder, since);
    request.sourceFolder = folder;
    request.packageName = packageName;
    request.jarPath = jarPath;
    // The full bindings compile against the runtime; the basic ones alone.
    request.runtimeJar = runtimeJar;
    if (sourcesUseRuntime(request.javaFiles)) {
        request.runtimeJar = findRuntimeJar(runtimeJar);
        if (request.runtimeJar.empty()) {
            printFailure("generate: the classes need the runtime jar mivra-runtime.jar, which was not found: "
                         "name it with --runtime-jar or MIVRA_RUNTIME_JAR");
            return exitFailure;
        }
        if (!fileExists(request.runtimeJar)) {
            printFailure(printableText(request.runtimeJar) + ": File does not exist");
            return exitFailure;
        }
    }
    std::fflush(stdout);
    if (!packJar(jdk, request, [](const std::string& message) { printFailure("generate: " + message); }))
        return exitFailure;
    std::printf("Packed the classes into %s and the sources into %s\n", printableText(jarPath).c_str(),
                printableText(sourcesJarPath(jarPath)).c_str());
    return exitSuccess;
}

}  // namespace

int runGenerateCommand(const std::vector<std::string>& args) {
    GenerationInputs inputs;
    std::string registryPrefix;
    std::string readerName = "file";
    bool libraryGiven = false;
    bool openReadme = false;
    std::string handles = "int";
    std::string mapping = "basic";
    bool handlesGiven = false;
    std::string jarPath;
    std::string runtimeJar;
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
        else if (option == "--handles") target = &handles, handlesGiven = true;
        else if (option == "--reader") target = &readerName;
        else if (option == "--mapping") target = &mapping;
        else if (option == "--jar") target = &jarPath;
        else if (option == "--runtime-jar") target = &runtimeJar;
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
    if (mapping != "basic" && mapping != "full")
        return usageError("generate: --mapping takes basic or full, not \"" + mapping + "\"", generateUsage);
    if (mapping == "full" && handlesGiven)
        return usageError("generate: --handles has no meaning with --mapping full (the runtime serves 32- and 64-bit "
                          "Java alike)",
                          generateUsage);
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
    const MappingMode mappingMode = mapping == "full" ? MappingMode::Full : MappingMode::Basic;
    if (auto refusal = checkBuildInputs(session.fields, mappingMode)) {
        printFailure(*refusal);
        return exitUsage;
    }
    if (auto refusal = checkPackageName(inputs.packageName)) {
        printFailure(printableText(inputs.packageName) + ": " + *refusal);
        return exitUsage;
    }
    if (!runtimeJar.empty() && !fileExists(runtimeJar)) {
        printFailure(printableText(runtimeJar) + ": File does not exist");
        return exitUsage;
    }
    std::optional<JdkTools> jdk;
    if (!jarPath.empty()) {
        std::string whyNot;
        jdk = findJdk(whyNot);
        if (!jdk) {
            printFailure("generate: " + whyNot);
            return exitFailure;
        }
    }

    auto registry = openClassRegistry(registryPrefix);
    Generator& generator = session.generator();
    generator.openReadmeWhenDone = openReadme;
    generator.handles = handles == "long" ? HandleType::Long : HandleType::Int;
    generator.mapping = mappingMode;
    generator.setClassRegistry(registry.get());
    if (readerName == "ole") generator.setReaderFactory(makeOleTypeLibraryReader);
    // File times are kept more coarsely than this clock reads: allow for it.
    const auto started = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
    BuildSession::Outcome outcome = session.build();
    if (outcome == BuildSession::Outcome::Succeeded) {
        if (mappingMode == MappingMode::Full)
            std::printf("Wrote %d Java files to %s; %d of %d functions bound; %d members and types left out or "
                        "renamed, listed in %s\n",
                        generator.javaFileCount(), printableText(inputs.outputFolder).c_str(),
                        generator.boundFunctionCount(), generator.dispatchFunctionCount(), generator.unboundCount(),
                        unboundFileName);
        else
            std::printf("Wrote %d Java files and %s (%d JNI functions) to %s\n", generator.javaFileCount(),
                        printableText(generator.cFilePath()).c_str(), generator.jniFunctionCount(),
                        printableText(inputs.outputFolder).c_str());
    }
    std::fflush(stdout);
    int reports = session.reportCount();
    if (reports > 0)
        printFailure(std::to_string(reports) + (reports == 1 ? " failure was" : " failures were") + " reported; " +
                     (outcome == BuildSession::Outcome::Succeeded ? "the output is incomplete" : "the run stopped"));
    if (outcome != BuildSession::Outcome::Succeeded || reports > 0) return exitFailure;
    return jdk ? packGeneratedJar(*jdk, jarPath, runtimeJar, session.fields.outputFolder, inputs.packageName, started)
               : exitSuccess;
}

}  // namespace mivra
