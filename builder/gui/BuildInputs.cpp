#include "BuildInputs.h"

#include <cctype>

namespace mivra::window {

std::string pathBaseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string defaultLibraryName(const std::string& sourcePath) {
    if (sourcePath.empty()) return {};
    return "J" + pathBaseName(sourcePath) + ".dll";
}

namespace {
bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

std::optional<std::string> buildInputProblem(const GenerationInputs& inputs) {
    if (inputs.sourcePath.empty()) return "Please specify a COM source";
    if (inputs.outputFolder.empty()) return "Please specify an output folder";
    if (inputs.packageName.empty()) return "Please specify a package name for generated Java classes";
    if (inputs.libraryFileName.empty()) return "Please specify a name for the JNI library file";
    if (equalIgnoringCase(pathBaseName(inputs.sourcePath), pathBaseName(inputs.libraryFileName)))
        return "The JNI library must not have the same name as the COM DLL";
    return std::nullopt;
}

std::optional<std::string> parentFolder(const std::string& path) {
    size_t separator = path.rfind('\\');
    if (separator == std::string::npos) separator = path.rfind('/');
    if (separator == std::string::npos) return std::nullopt;
    if (separator == 0 || path[separator - 1] == ':') return path.substr(0, separator + 1);
    return path.substr(0, separator);
}

}  // namespace mivra::window
