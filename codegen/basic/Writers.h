#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "GenerationContext.h"
#include "TypeLibraryReader.h"

namespace mivra {

// The writers of one generation run, one per kind of generated file or
// fragment, in the order the run calls them.

// Creates <libraryBaseName>.c, keeps it as the context's C file and writes
// its head; false after reporting when it cannot be created.
bool writeJniPrologue(GenerationContext& context);

// One function of an interface as the class writer hands it on.
struct FunctionView {
    FunctionDescription description;
    std::string memberName;
    std::vector<std::string> parameterNames;  // as many as the library gave
    std::optional<std::string> docString;
};

// Java signatures already declared in one class ("name(int,String)").
using MethodSignatureSet = std::unordered_set<std::string>;

// One Java native declaration into javaText and its JNI wrapper into the C
// file; false when the variant is not available (a comment may then have
// been written).
bool writeMethodVariant(GenerationContext& context, std::string& javaText, std::string_view className,
                        const FunctionView& function, int argCount, MethodSignatureSet& declared);
void writeReturnConversion(std::string& cText, const TypeDescription& result);

// Every object class and interface class, then the support classes.
bool writeClasses(GenerationContext& context);
void writeSupportClasses(GenerationContext& context);

// Creates <name>.java in the output folder and writes its header; nothing
// after reporting when it cannot be created.
std::unique_ptr<TextFile> createJavaFile(GenerationContext& context, std::string_view name);

bool writeOverviewPage(GenerationContext& context);
bool writeReadmePage(GenerationContext& context);

// The sample library's base name; a run of that name is a sample run.
bool isSampleRun(std::string_view libraryBaseName);

}  // namespace mivra
