#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BuildChecks.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "FileSystem.h"
#include "Generator.h"
#include "JarPacking.h"
#include "OleTypeLibraryReader.h"

namespace mivra {

namespace {

const char generateUsage[] =
    "usage: mivra generate -i SOURCE -o FOLDER -p PACKAGE [-l LIBRARY] [--registry PREFIX] [--handles int|long]\n"
    "                      [--reader file|ole] [--mapping basic|full] [--open-readme] [--jar FILE]\n"
    "                      [--runtime-jar FILE]\n";

class CommandLineGenerator final : public Generator {
public:
    void reportError(const std::string& subject, const std::string& message) override {
        std::fprintf(stderr, "%s: %s\n", subject.c_str(), message.c_str());
    }
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
            std::fputs("mivra generate: the classes need the runtime jar mivra-runtime.jar, which was not found: "
                       "name it with --runtime-jar or MIVRA_RUNTIME_JAR\n", stderr);
            return 1;
        }
        if (!fileExists(request.runtimeJar)) {
            std::fprintf(stderr, "%s: File does not exist\n", request.runtimeJar.c_str());
            return 1;
        }
    }
    std::fflush(stdout);
    if (!packJar(jdk, request, [](const std::string& message) {
            std::fprintf(stderr, "mivra generate: %s\n", message.c_str());
        }))
        return 1;
    std::printf("Packed the classes into %s and the sources into %s\n", jarPath.c_str(),
                sourcesJarPath(jarPath).c_str());
    return 0;
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
        if (!target || i + 1 >= args.size()) {
            std::fputs(generateUsage, stderr);
            return 2;
        }
        *target = args[++i];
    }
    if (handles != "int" && handles != "long") {
        std::fputs(generateUsage, stderr);
        return 2;
    }
    if (mapping != "basic" && mapping != "full") {
        std::fputs(generateUsage, stderr);
        return 2;
    }
    if (mapping == "full" && handlesGiven) {
        std::fputs("mivra generate: --handles has no meaning with --mapping full (the runtime serves 32- and 64-bit "
                   "Java alike)\n",
                   stderr);
        return 2;
    }
    if (readerName != "file" && readerName != "ole") {
        std::fputs(generateUsage, stderr);
        return 2;
    }
    if (readerName == "ole" && !makeOleTypeLibraryReader()) {
        std::fputs("mivra generate: this platform has no OLE Automation type-library service\n", stderr);
        return 2;
    }
    if (!libraryGiven) inputs.libraryFileName = defaultLibraryName(inputs.sourcePath);
    if (auto refusal = checkBuildInputs(inputs, mapping == "full" ? MappingMode::Full : MappingMode::Basic)) {
        std::fprintf(stderr, "mivra generate: %s\n", refusal->c_str());
        return 2;
    }
    if (!runtimeJar.empty() && !fileExists(runtimeJar)) {
        std::fprintf(stderr, "%s: File does not exist\n", runtimeJar.c_str());
        return 2;
    }
    std::optional<JdkTools> jdk;
    if (!jarPath.empty()) {
        std::string whyNot;
        jdk = findJdk(whyNot);
        if (!jdk) {
            std::fprintf(stderr, "mivra generate: %s\n", whyNot.c_str());
            return 1;
        }
    }
    auto show = [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); };
    std::string folder = inputs.outputFolder;
    if (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (!ensureFolder(folder, nullptr, show)) return 1;

    auto registry = openClassRegistry(registryPrefix);
    CommandLineGenerator generator;
    generator.inputs = inputs;
    generator.openReadmeWhenDone = openReadme;
    generator.handles = handles == "long" ? HandleType::Long : HandleType::Int;
    generator.mapping = mapping == "full" ? MappingMode::Full : MappingMode::Basic;
    generator.setClassRegistry(registry.get());
    if (readerName == "ole") generator.setReaderFactory(makeOleTypeLibraryReader);
    // File times are kept more coarsely than this clock reads: allow for it.
    const auto started = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
    bool succeeded = generator.run();
    generator.finish();
    if (!succeeded) return 1;
    if (generator.mapping == MappingMode::Full) {
        std::printf("Wrote %d Java files to %s; %d of %d functions bound\n", generator.javaFileCount(),
                    inputs.outputFolder.c_str(), generator.boundFunctionCount(), generator.dispatchFunctionCount());
    } else {
        std::printf("Wrote %d Java files and %s (%d JNI functions) to %s\n", generator.javaFileCount(),
                    generator.cFilePath().c_str(), generator.jniFunctionCount(), inputs.outputFolder.c_str());
    }
    return jdk ? packGeneratedJar(*jdk, jarPath, runtimeJar, folder, inputs.packageName, started) : 0;
}

}  // namespace mivra