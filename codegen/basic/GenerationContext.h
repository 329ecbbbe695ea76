#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Escaping.h"
#include "Guid.h"
#include "JavaFileHeader.h"
#include "Naming.h"
#include "Output.h"
#include "TextFile.h"
#include "TypeModel.h"

namespace mivra {

// How the generated code keeps a native pointer in a Java field: in an
// `int` (32-bit Java VMs, the classic output) or in a `long` (64-bit VMs).
enum class HandleType { Int, Long };

// The C text with every handle access turned from the int form into the long
// form: Get/SetIntField become Get/SetLongField with pointer-sized casts, the
// (jint) casts of pointers become (jlong), field signatures "I" become "J".
std::string longHandleText(std::string_view text);

// What the writers need from a run: its names, the output folder, the loaded
// model, the open C file and the run's way of reporting. The Generator fills
// one for every run; tests fill their own.
class GenerationContext {
public:
    virtual ~GenerationContext() = default;

    std::string outputFolder;
    // Where the Java files go; empty: the output folder.
    std::string javaFolder;
    std::string packageName;
    std::string libraryBaseName;
    std::string jniPackage;
    std::string classPathPackage;
    const TypeModel* model = nullptr;
    std::unique_ptr<TextFile> cFile;
    // The 24-character local time text with its line end; replaceable so that
    // whole generated files can be compared.
    std::function<std::string()> clock;
    // What the run has written so far.
    int javaFileCount = 0;
    // The paths of the Java files, as they are shown.
    std::vector<std::string> javaFiles;
    int jniFunctionCount = 0;
    HandleType handles = HandleType::Int;

    virtual void reportError(const std::string& subject, const std::string& message) = 0;
    // The ProgID of a class when the registry knows one, else its braced GUID.
    virtual std::string identifierText(const Guid& guid) const { return guidText(guid); }
    // The full path of a path, as the platform resolves it.
    virtual std::string fullPath(const std::string& path) const;
    // The two system folders the readme names as places for the library.
    virtual std::string windowsDirectory() const;
    virtual std::string systemDirectory() const;

    void writeC(std::string_view text) {
        if (!cFile) return;
        if (handles == HandleType::Long)
            cFile->write(longHandleText(text));
        else
            cFile->write(text);
    }
    // The Java type of the comId and variantData fields.
    const char* handleJavaType() const { return handles == HandleType::Long ? "long" : "int"; }
    std::string timeText() const;
};

// Creates an output file of the run; when it cannot be created, or later
// turns out not to hold everything written to it (a full disk), the path is
// reported with "Cannot write file".
std::unique_ptr<TextFile> createOutputFile(GenerationContext& context, const std::string& path);

}  // namespace mivra
