#include <algorithm>
#include <functional>
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

// What the options of generate set.
struct GenerateArgs {
    GenerationInputs inputs;
    bool libraryGiven = false;
    std::string registryPrefix;
    std::string reader = "file";
    std::string handles;
    std::string mapping = "basic";
    bool openReadme = false;
    bool packageFolders = false;
    std::string jarPath;
    std::string runtimeJar;
};

// The options of generate: parsing and the usage text both come from here.
// An option without a value is a flag; one with choices takes only those.
struct OptionSpec {
    const char* name;
    const char* value;  // null: a flag
    bool required;
    std::vector<const char*> choices;
    std::function<void(GenerateArgs&, const std::string&)> set;
};

const std::vector<OptionSpec>& generateOptions() {
    static const std::vector<OptionSpec> options = {
        {"-i", "SOURCE", true, {}, [](GenerateArgs& a, const std::string& v) { a.inputs.sourcePath = v; }},
        {"-o", "FOLDER", true, {}, [](GenerateArgs& a, const std::string& v) { a.inputs.outputFolder = v; }},
        {"-p", "PACKAGE", true, {}, [](GenerateArgs& a, const std::string& v) { a.inputs.packageName = v; }},
        {"-l", "LIBRARY", false, {},
         [](GenerateArgs& a, const std::string& v) { a.inputs.libraryFileName = v, a.libraryGiven = true; }},
        {"--registry", "PREFIX", false, {}, [](GenerateArgs& a, const std::string& v) { a.registryPrefix = v; }},
        {"--handles", nullptr, false, {"int", "long"}, [](GenerateArgs& a, const std::string& v) { a.handles = v; }},
        {"--reader", nullptr, false, {"file", "ole"}, [](GenerateArgs& a, const std::string& v) { a.reader = v; }},
        {"--mapping", nullptr, false, {"basic", "full"}, [](GenerateArgs& a, const std::string& v) { a.mapping = v; }},
        {"--open-readme", nullptr, false, {}, [](GenerateArgs& a, const std::string&) { a.openReadme = true; }},
        {"--package-folders", nullptr, false, {},
         [](GenerateArgs& a, const std::string&) { a.packageFolders = true; }},
        {"--jar", "FILE", false, {}, [](GenerateArgs& a, const std::string& v) { a.jarPath = v; }},
        {"--runtime-jar", "FILE", false, {}, [](GenerateArgs& a, const std::string& v) { a.runtimeJar = v; }},
    };
    return options;
}

bool takesValue(const OptionSpec& option) { return option.value || !option.choices.empty(); }

std::string joined(const std::vector<const char*>& words, const char* separator) {
    std::string text;
    for (const char* word : words) text += (text.empty() ? "" : separator) + std::string(word);
    return text;
}

}  // namespace

std::string generateUsageText(const std::string& indent) {
    std::string text = "mivra generate";
    size_t lineStart = 0;
    for (const OptionSpec& option : generateOptions()) {
        std::string word = option.name;
        if (takesValue(option)) word += " " + (option.value ? std::string(option.value) : joined(option.choices, "|"));
        if (!option.required) word = "[" + word + "]";
        if (text.size() - lineStart + word.size() + 1 > 100) {
            text += "\n" + indent + std::string(15, ' ');
            lineStart = text.size() - indent.size() - 15;
        } else {
            text += " ";
        }
        text += word;
    }
    return text + "\n";
}

namespace {

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

// --jar: compiles the Java files of the run and packs them; the exit status
// of the command.
int packGeneratedJar(const JdkTools& jdk, const std::string& jarPath, const std::string& runtimeJar,
                     const std::string& folder, const std::string& packageName,
                     const std::vector<std::string>& javaFiles) {
    JarRequest request;
    request.javaFiles = javaFiles;
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
    const std::string usage = "usage: " + generateUsageText("       ");
    GenerateArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const OptionSpec* option = nullptr;
        for (const OptionSpec& candidate : generateOptions())
            if (word == candidate.name) option = &candidate;
        if (!option) {
            if (word.starts_with("-")) return usageError("generate: unknown option \"" + word + "\"", usage.c_str());
            return usageError("generate: unexpected argument \"" + word + "\"", usage.c_str());
        }
        if (!takesValue(*option)) {
            option->set(parsed, {});
            continue;
        }
        if (i + 1 >= args.size()) return usageError("generate: " + word + " needs a value", usage.c_str());
        const std::string& value = args[++i];
        if (!option->choices.empty() &&
            std::find(option->choices.begin(), option->choices.end(), value) == option->choices.end())
            return usageError("generate: " + word + " takes " + joined(option->choices, " or ") + ", not \"" + value +
                                  "\"",
                              usage.c_str());
        option->set(parsed, value);
    }
    if (parsed.mapping == "full" && !parsed.handles.empty())
        return usageError("generate: --handles has no meaning with --mapping full (the runtime serves 32- and 64-bit "
                          "Java alike)",
                          usage.c_str());
    const bool oleReader = parsed.reader == "ole";
    if (oleReader && !makeOleTypeLibraryReader()) {
        printFailure("generate: --reader ole: this platform has no OLE Automation type-library service");
        return exitUsage;
    }
    const GenerationInputs& inputs = parsed.inputs;
    const std::string& jarPath = parsed.jarPath;
    const std::string& runtimeJar = parsed.runtimeJar;

    CommandLineFrontEnd frontEnd;
    BuildSession session(frontEnd);
    session.askBeforeCreatingFolder = false;
    session.fields = inputs;
    if (!parsed.libraryGiven) session.inputEdited();
    BuildOptions& options = session.options;
    options.mapping = parsed.mapping == "full" ? MappingMode::Full : MappingMode::Basic;
    options.handles = parsed.handles == "long" ? HandleType::Long : HandleType::Int;
    options.openReadme = parsed.openReadme;
    options.packageFolders = parsed.packageFolders;
    if (oleReader) options.makeReader = makeOleTypeLibraryReader;
    // Refusals of the inputs come before anything is made, the folder included.
    if (auto refusal = session.checkInputs()) {
        printFailure(*refusal);
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

    auto registry = openClassRegistry(parsed.registryPrefix);
    options.registry = registry.get();
    Generator& generator = session.generator();
    BuildSession::Outcome outcome = session.buildChecked();
    if (outcome == BuildSession::Outcome::Succeeded) {
        if (options.mapping == MappingMode::Full)
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
    return jdk ? packGeneratedJar(*jdk, jarPath, runtimeJar, session.fields.outputFolder, inputs.packageName,
                                  generator.javaFiles())
               : exitSuccess;
}

}  // namespace mivra
