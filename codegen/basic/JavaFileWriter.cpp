#include <cerrno>

#include "Writers.h"

namespace mivra {

std::unique_ptr<TextFile> createJavaFile(GenerationContext& context, std::string_view name) {
    const std::string& folder = context.javaFolder.empty() ? context.outputFolder : context.javaFolder;
    std::string path = outputPath(folder, std::string(name) + ".java");
    // createOutputFile keeps errno: the caller tells a name too long from
    // other failures.
    auto file = createOutputFile(context, path);
    if (!file) return nullptr;
    ++context.javaFileCount;
    context.javaFiles.push_back(path);
    file->write(javaFileHeader(path, context.timeText()));
    return file;
}

bool isSampleRun(std::string_view libraryBaseName) { return lowered(libraryBaseName) == "jbrowse"; }

}  // namespace mivra
