#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mivra {

// `mivra generate --jar`: the generated Java files compiled with the JDK and
// packed, a step of the command line after the generator's run.

struct JdkTools {
    std::string javac;
    std::string jar;
};

// The javac and jar of $JAVA_HOME when it is set, else of the javac on the
// PATH. On failure, why none was found.
std::optional<JdkTools> findJdk(std::string& whyNot);

// The jar of the sources beside FILE: x.jar gives x-sources.jar.
std::string sourcesJarPath(const std::string& jarPath);

// The runtime jar: the one named (option, then $MIVRA_RUNTIME_JAR), else
// mivra-runtime.jar beside the program, in ../share/java from its folder, in
// /usr/share/java or in the build tree of the program. Empty when none.
std::string findRuntimeJar(const std::string& named);

// Whether any of the files uses the runtime's package mivra.runtime.
bool sourcesUseRuntime(const std::vector<std::string>& javaFiles);

struct JarRequest {
    std::vector<std::string> javaFiles;
    std::string sourceFolder;  // where javaFiles lie; flat files go under packageName in the sources jar
    std::string packageName;
    std::string jarPath;
    std::string runtimeJar;  // the class path; empty for none
};

// Compiles the files in a fresh private folder beside the jar, packs the classes
// into jarPath and the sources into sourcesJarPath(jarPath). Tells failures
// through report; false on any.
bool packJar(const JdkTools& jdk, const JarRequest& request, const std::function<void(const std::string&)>& report);

}  // namespace mivra
