#pragma once

#include <functional>
#include <memory>
#include <string>

#include "TypeLibraryReader.h"
#include "TypeModel.h"

namespace mivra {

using ReaderFactory = std::function<std::unique_ptr<TypeLibraryReader>()>;

// Resolves sourcePath, loads its type library with a reader from makeReader
// and builds the model; failures are reported with sourcePath as the subject.
bool loadSource(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                const std::function<void(const std::string&, const std::string&)>& reportError);

}  // namespace mivra
