#include "SourceLoading.h"

#include <filesystem>

#include "FileSystem.h"
#include "FileTypeLibraryReader.h"

namespace mivra {

using namespace std::string_literals;

RegisteredLibraryLookup registeredLibraries(const ClassRegistry* registry) {
    if (!registry) return {};
    return [registry](const Guid& libid, uint16_t major, uint16_t minor) -> std::optional<std::string> {
        auto registered = registry->typeLibraryPath(guidText(libid), major, minor);
        if (!registered) return std::nullopt;
        // "\N" names a resource of the file: it stays out of the translation.
        std::string resource;
        size_t slash = registered->rfind('\\');
        if (slash != std::string::npos && slash + 1 < registered->size() &&
            registered->find_first_not_of("0123456789", slash + 1) == std::string::npos) {
            resource = registered->substr(slash);
            registered->resize(slash);
        }
        return registry->localPath(*registered) + resource;
    };
}

std::unique_ptr<TypeLibraryReader> makeReaderFor(const std::string& fullPath, const ReaderFactory& makeReader,
                                                 const ClassRegistry* registry) {
    if (makeReader) return makeReader();
    std::string folder = std::filesystem::path(fullPath).parent_path().string();
    return makeFileTypeLibraryReader(folder.empty() ? std::vector<std::string>{} : std::vector<std::string>{folder},
                                     registeredLibraries(registry));
}

// A path ending in "\N" (N decimal) names the N-th type library resource of
// a file, the form in which the registry lists a library that is not the
// first one of its file; such a source exists when its file does.
bool sourceExists(const std::string& path) {
    if (fileExists(path)) return true;
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash + 1 == path.size()) return false;
    if (path.find_first_not_of("0123456789", slash + 1) != std::string::npos) return false;
    return fileExists(path.substr(0, slash));
}

std::string loadFailureText(const Result<bool>& loaded, const std::string& otherwise) {
    if (!loaded && loaded.failure().message.starts_with("SLTG format")) return loaded.failure().message;
    return otherwise;
}

bool loadLibrary(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                 const std::function<void(const std::string& subject, const std::string& message)>& reportError,
                 const ClassRegistry* registry) {
    std::string path = fullPath(sourcePath);
    if (!sourceExists(path)) {
        reportError(sourcePath, "File does not exist");
        return false;
    }
    auto reader = makeReaderFor(path, makeReader, registry);
    auto loaded = reader ? reader->load(path) : Result<bool>(fail("no reader"));
    if (!loaded) {
        if (reader) reader->release();
        reportError(sourcePath, loadFailureText(loaded, "File does not contain type information"));
        return false;
    }
    if (reader->typeInfoCount() == 0) {
        reader->release();
        reportError(sourcePath, "This library has no types!");
        return false;
    }
    model.library = std::move(reader);
    return true;
}

bool loadSource(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                const std::function<void(const std::string& subject, const std::string& message)>& reportError,
                bool requireCreatable, const ClassRegistry* registry) {
    if (!loadLibrary(sourcePath, model, makeReader, reportError, registry)) return false;
    model.build();
    if (requireCreatable && model.coclasses.empty()) {
        // The interface records stay for the caller; the library goes.
        model.releaseLibrary();
        reportError(sourcePath, "No creatable types in library");
        return false;
    }
    return true;
}

bool checkTypeLibraryFile(const std::string& path, const ReaderFactory& makeReader,
                          const std::function<void(const std::string& message)>& report) {
    std::string full = fullPath(path);
    auto reader = makeReaderFor(full, makeReader);
    auto loaded = reader ? reader->load(full) : Result<bool>(fail("no reader"));
    if (reader) reader->release();
    if (!loaded) report(loadFailureText(loaded, "File does not contain a COM interface definition"s) + ".");
    return loaded.ok();
}

}  // namespace mivra
