#include "SourceLoading.h"

#include <filesystem>

#include "FileSystem.h"
#include "FileTypeLibraryReader.h"

namespace mivra {

std::unique_ptr<TypeLibraryReader> makeReaderFor(const std::string& fullPath, const ReaderFactory& makeReader) {
    if (makeReader) return makeReader();
    std::string folder = std::filesystem::path(fullPath).parent_path().string();
    return makeFileTypeLibraryReader(folder.empty() ? std::vector<std::string>{} : std::vector<std::string>{folder});
}

bool loadSource(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                const std::function<void(const std::string& subject, const std::string& message)>& reportError) {
    std::string path = fullPath(sourcePath);
    if (!fileExists(path)) {
        reportError(sourcePath, "File does not exist");
        return false;
    }
    auto reader = makeReaderFor(path, makeReader);
    if (!reader || !reader->load(path)) {
        if (reader) reader->release();
        reportError(sourcePath, "File does not contain type information");
        return false;
    }
    if (reader->typeInfoCount() == 0) {
        reader->release();
        reportError(sourcePath, "This library has no types!");
        return false;
    }
    model.library = std::move(reader);
    model.build();
    if (model.coclasses.empty()) {
        model.library->release();
        model.library.reset();
        reportError(sourcePath, "No creatable types in library");
        return false;
    }
    return true;
}

bool checkTypeLibraryFile(const std::string& path, const ReaderFactory& makeReader,
                          const std::function<void(const std::string& message)>& report) {
    std::string full = fullPath(path);
    auto reader = makeReaderFor(full, makeReader);
    bool loaded = reader && reader->load(full).ok();
    if (reader) reader->release();
    if (!loaded) report("File does not contain a COM interface definition.");
    return loaded;
}

}  // namespace mivra
