#include "SourceLoading.h"

#include <filesystem>

namespace mivra {

bool loadSource(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                const std::function<void(const std::string&, const std::string&)>& reportError) {
    std::error_code error;
    auto fullPath = std::filesystem::absolute(sourcePath, error);
    if (error || !std::filesystem::is_regular_file(fullPath, error)) {
        reportError(sourcePath, "File does not exist");
        return false;
    }
    auto reader = makeReader ? makeReader() : nullptr;
    if (!reader || !reader->load(fullPath.string())) {
        reportError(sourcePath, "File does not contain type information");
        return false;
    }
    if (reader->typeInfoCount() == 0) {
        reader->release();
        reportError(sourcePath, "This library has no types!");
        return false;
    }
    model.build(*reader);
    if (model.coclasses.empty()) {
        reader->release();
        reportError(sourcePath, "No creatable types in library");
        return false;
    }
    model.library = std::move(reader);
    return true;
}

}  // namespace mivra
