#include "BuildChecks.h"

#include <filesystem>

namespace mivra {

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string baseNameOf(const std::string& path) { return deriveLibraryBaseName(path); }

std::string defaultLibraryName(const std::string& sourcePath) {
    if (sourcePath.empty()) return {};
    return "J" + baseNameOf(sourcePath) + ".dll";
}

std::optional<std::string> checkBuildInputs(const GenerationInputs& inputs, MappingMode mapping) {
    if (inputs.sourcePath.empty()) return "Please specify a COM source";
    if (inputs.outputFolder.empty()) return "Please specify an output folder";
    if (inputs.packageName.empty()) return "Please specify a package name for generated Java classes";
    // The full bindings build no JNI library.
    if (mapping == MappingMode::Full) return std::nullopt;
    if (inputs.libraryFileName.empty()) return "Please specify a name for the JNI library file";
    if (lowered(baseNameOf(inputs.sourcePath)) == lowered(baseNameOf(inputs.libraryFileName)))
        return "The JNI library must not have the same name as the COM DLL";
    return std::nullopt;
}

bool ensureFolder(const std::string& path, const std::function<bool(const std::string& question)>& ask,
                  const std::function<void(const std::string& message)>& show) {
    std::error_code error;
    std::filesystem::path fsPath(path);
    if (std::filesystem::exists(fsPath, error)) {
        if (std::filesystem::is_directory(fsPath, error)) return true;
        show(path + ": is not a directory!");
        return false;
    }
    if (ask && !ask(path + " does not exist, create? ")) return false;
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos) cut = path.rfind('/');
    if (cut != std::string::npos) {
        std::string parent = path.substr(0, cut);
        if (cut == 0 || path[cut - 1] == ':') parent = path.substr(0, cut + 1);
        if (parent != path && !ensureFolder(parent, nullptr, show)) return false;
    }
    if (!std::filesystem::create_directory(fsPath, error) && !std::filesystem::is_directory(fsPath)) {
        show(path + ": Failed to create directory");
        return false;
    }
    return true;
}

}  // namespace mivra
