#include "JarPacking.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

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
    const fs::path scratch = jar.parent_path() / ("." + jar.filename().string() + ".build");
    fs::remove_all(scratch, error);
    const fs::path classes = scratch / "classes", sources = scratch / "sources";
    fs::create_directories(classes, error);
    fs::create_directories(sources, error);
    if (error) {
        report(scratch.string() + ": cannot create the folder to compile in");
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
        std::ofstream list(argumentFile, std::ios::binary);
        for (const auto& file : request.javaFiles) {
            std::string quoted = "\"";
            for (char c : fs::absolute(file).generic_string()) quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
            list << quoted << "\"\n";
            fs::path relative = fs::path(file).lexically_relative(request.sourceFolder);
            if (relative.empty() || *relative.begin() == "..") relative = fs::path(file).filename();
            if (!relative.has_parent_path()) relative = packagePath / relative;
            fs::create_directories((sources / relative).parent_path(), error);
            fs::copy_file(file, sources / relative, fs::copy_options::overwrite_existing, error);
        }
        if (!list || error) {
            report(scratch.string() + ": cannot write the files to compile");
            fs::remove_all(scratch, error);
            return false;
        }
    }

    // -XDsuppressNotes: no deprecation notes about the COM API the classes mirror.
    std::vector<std::string> compile = {"-nowarn", "-XDsuppressNotes", "-encoding", "UTF-8", "-d", classes.string()};
    if (!request.runtimeJar.empty()) compile.insert(compile.end(), {"-classpath", request.runtimeJar});
    compile.push_back("@" + argumentFile.string());
    const std::string sourcesJar = sourcesJarPath(jar.string());
    const bool packed = runTool(jdk.javac, compile, report) &&
                        runTool(jdk.jar, {"--create", "--file", jar.string(), "-C", classes.string(), "."}, report) &&
                        runTool(jdk.jar, {"--create", "--file", sourcesJar, "-C", sources.string(), "."}, report);
    fs::remove_all(scratch, error);
    return packed;
}

}  // namespace mivra
