#include "JarPacking.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>

#include "FileSystem.h"
#include "ProcessServices.h"

namespace fs = std::filesystem;

namespace mivra {

namespace {

std::string toolIn(const fs::path& folder, const std::string& name) {
    std::error_code error;
    for (const std::string& file : {name, name + ".exe"})
        if (fs::is_regular_file(folder / file, error)) return (folder / file).string();
    return {};
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Runs a JDK tool; false (with the reason told) unless it exits with 0.
bool runTool(const std::string& tool, const std::vector<std::string>& arguments,
             const std::function<void(const std::string&)>& report) {
    const int status = runProgram(tool, arguments);
    if (status == 0) return true;
    if (status < 0) report(tool + ": cannot be started");
    else report(tool + " failed with exit status " + std::to_string(status));
    return false;
}

}  // namespace

std::optional<JdkTools> findJdk(std::string& whyNot) {
    JdkTools tools;
    if (const char* home = std::getenv("JAVA_HOME"); home && *home) {
        tools.javac = toolIn(fs::path(home) / "bin", "javac");
        tools.jar = toolIn(fs::path(home) / "bin", "jar");
        if (tools.javac.empty() || tools.jar.empty()) {
            whyNot = std::string("JAVA_HOME (") + home + ") holds no JDK: bin/javac or bin/jar is missing";
            return std::nullopt;
        }
        return tools;
    }
    tools.javac = findProgramOnPath("javac");
    if (tools.javac.empty()) {
        whyNot = "no Java compiler: install a JDK, and set JAVA_HOME or put its javac on the PATH";
        return std::nullopt;
    }
    // Debian's /usr/bin/javac is a chain of links into the JDK's bin folder.
    std::error_code error;
    const fs::path real = fs::canonical(tools.javac, error);
    tools.jar = toolIn(error ? fs::path(tools.javac).parent_path() : real.parent_path(), "jar");
    if (tools.jar.empty()) tools.jar = findProgramOnPath("jar");
    if (tools.jar.empty()) {
        whyNot = "the JDK of " + tools.javac + " has no jar tool";
        return std::nullopt;
    }
    return tools;
}

std::string sourcesJarPath(const std::string& jarPath) {
    const std::string ending = ".jar";
    if (jarPath.size() > ending.size() && jarPath.compare(jarPath.size() - ending.size(), ending.size(), ending) == 0)
        return jarPath.substr(0, jarPath.size() - ending.size()) + "-sources.jar";
    return jarPath + "-sources.jar";
}

std::string findRuntimeJar(const std::string& named) {
    if (!named.empty()) return named;
    if (const char* variable = std::getenv("MIVRA_RUNTIME_JAR"); variable && *variable) return variable;
    const std::string name = "mivra-runtime.jar";
    std::vector<fs::path> places;
    const std::string program = ownProgramPath();
    if (!program.empty()) {
        const fs::path folder = fs::path(program).parent_path();
        places.push_back(folder / name);
        places.push_back(folder / ".." / "share" / "java" / name);
    }
    places.push_back(fs::path("/usr/share/java") / name);
    if (!program.empty()) places.push_back(fs::path(program).parent_path() / ".." / "runtime" / name);
    for (const auto& place : places)
        if (isFile(place)) return place.lexically_normal().string();
    return {};
}

bool sourcesUseRuntime(const std::vector<std::string>& javaFiles) {
    for (const auto& file : javaFiles) {
        std::ifstream in(file, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("mivra.runtime.") != std::string::npos) return true;
    }
    return false;
}

bool packJar(const JdkTools& jdk, const JarRequest& request, const std::function<void(const std::string&)>& report) {
    if (request.javaFiles.empty()) {
        report(request.sourceFolder + ": the run wrote no Java files to compile");
        return false;
    }
    const fs::path jar = fs::absolute(request.jarPath);
    std::error_code error;
    fs::create_directories(jar.parent_path(), error);
    // The jar's folder may be shared: compile in a folder nobody else can
    // have made or can enter, so no planted argument file, class or link can
    // reach javac or the files written.
    const std::string made = createPrivateFolder(jar.parent_path().string(), "." + jar.filename().string() + ".build-");
    if (made.empty()) {
        report(jar.parent_path().string() + ": cannot create a private folder to compile in");
        return false;
    }
    const fs::path scratch = made;
    const fs::path classes = scratch / "classes", sources = scratch / "sources";
    fs::create_directory(classes, error);
    if (!error) fs::create_directory(sources, error);
    if (error) {
        report(scratch.string() + ": cannot create the folder to compile in");
        fs::remove_all(scratch, error);
        return false;
    }

    // The files go to javac in an argument file: a big library's names would
    // not fit a Windows command line.
    fs::path packagePath;
    for (size_t at = 0; at <= request.packageName.size();) {
        const size_t dot = std::min(request.packageName.find('.', at), request.packageName.size());
        if (dot > at) packagePath /= request.packageName.substr(at, dot - at);
        at = dot + 1;
    }
    const fs::path argumentFile = scratch / "sources.txt";
    {
        std::unique_ptr<NewFile> file = NewFile::create(argumentFile.string());
        bool written = file != nullptr;
        if (file) {
            std::ostream list(file.get());
            for (const auto& javaFile : request.javaFiles) {
                std::string quoted = "\"";
                for (char c : fs::absolute(javaFile).generic_string())
                    quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
                list << quoted << "\"\n";
                fs::path relative = fs::path(javaFile).lexically_relative(request.sourceFolder);
                if (relative.empty() || *relative.begin() == "..") relative = fs::path(javaFile).filename();
                if (!relative.has_parent_path()) relative = packagePath / relative;
                fs::create_directories((sources / relative).parent_path(), error);
                fs::copy_file(javaFile, sources / relative, fs::copy_options::overwrite_existing, error);
            }
            written = list.flush() && file->close();
        }
        if (!written || error) {
            report(scratch.string() + ": cannot write the files to compile");
            fs::remove_all(scratch, error);
            return false;
        }
    }

    // Nothing of the current folder or $CLASSPATH may take part: an explicit
    // class and source path (the runtime, else the empty output folder) and
    // no annotation processors, which would run code found there.
    // -XDsuppressNotes: no deprecation notes about the COM API the classes mirror.
    const std::string classPath = request.runtimeJar.empty() ? classes.string() : request.runtimeJar;
    const std::vector<std::string> compile = {"-nowarn", "-XDsuppressNotes", "-proc:none", "-implicit:none",
                                              "-encoding", "UTF-8", "-classpath", classPath,
                                              "-sourcepath", classes.string(), "-d", classes.string(),
                                              "@" + argumentFile.string()};
    // Both jars are made inside the private folder and then renamed over the
    // names asked for, which replaces a link there instead of writing through it.
    const fs::path classesJar = scratch / "classes.jar", sourcesJar = scratch / "sources.jar";
    bool packed = runTool(jdk.javac, compile, report) &&
                  runTool(jdk.jar, {"--create", "--file", classesJar.string(), "-C", classes.string(), "."}, report) &&
                  runTool(jdk.jar, {"--create", "--file", sourcesJar.string(), "-C", sources.string(), "."}, report);
    if (packed) {
        const std::string wantedSources = sourcesJarPath(jar.string());
        for (const auto& [built, wanted] : {std::pair{classesJar, jar}, std::pair{sourcesJar, fs::path(wantedSources)}}) {
            fs::rename(built, wanted, error);
            if (error) {
                report(wanted.string() + ": cannot be written: " + error.message());
                packed = false;
                break;
            }
        }
    }
    fs::remove_all(scratch, error);
    return packed;
}

}  // namespace mivra
