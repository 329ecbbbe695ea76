#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace mivra::test {

// Compiling generated output with the tools a user has: javac for the Java
// classes, and mingw-w64's 32-bit C compiler with the JDK's jni.h and a
// jni_md.h for 32-bit Windows (the JDK here ships none).
inline std::string jdkIncludeFolder() {
    namespace fs = std::filesystem;
    for (const char* candidate : {"/usr/lib/jvm/default-java/include", "/usr/lib/jvm/java-17-openjdk-amd64/include"})
        if (fs::exists(fs::path(candidate) / "jni.h")) return candidate;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/jvm", error))
        if (fs::exists(entry.path() / "include" / "jni.h")) return (entry.path() / "include").string();
    return {};
}

inline std::string writeWin32JniMd(const std::string& folder) {
    std::filesystem::create_directories(folder);
    writeFile(folder + "/jni_md.h",
              "#ifndef _JAVASOFT_JNI_MD_H_\n"
              "#define _JAVASOFT_JNI_MD_H_\n"
              "#define JNIEXPORT __declspec(dllexport)\n"
              "#define JNIIMPORT __declspec(dllimport)\n"
              "#define JNICALL __stdcall\n"
              "typedef long jint;\n"
              "typedef __int64 jlong;\n"
              "typedef signed char jbyte;\n"
              "#endif\n");
    return folder;
}

// Runs a shell command; its output goes to log. True on exit status 0.
inline bool runCommand(const std::string& command, const std::string& log) {
    return std::system((command + " >" + log + " 2>&1").c_str()) == 0;
}

inline bool toolAvailable(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string quoted(const std::string& text) { return "'" + text + "'"; }

inline bool compileC(const std::string& cFile, const std::string& mdFolder, const std::string& log) {
    return runCommand("i686-w64-mingw32-gcc -c -I" + quoted(jdkIncludeFolder()) + " -I" + quoted(mdFolder) + " " +
                          quoted(cFile) + " -o " + quoted(cFile + ".o"),
                      log);
}

// javac over several folders at once: one JVM start for all of them.
inline bool compileJava(const std::vector<std::string>& folders, const std::string& classes, const std::string& log) {
    std::string command = "javac -nowarn -encoding UTF-8 -d " + quoted(classes);
    for (const auto& folder : folders) command += " " + quoted(folder) + "/*.java";
    return runCommand(command, log);
}

}  // namespace mivra::test
