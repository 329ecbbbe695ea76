#pragma once

#include <functional>
#include <string>

#include "ClassRegistry.h"
#include "Generator.h"
#include "TypeModel.h"

namespace mivra {

// Resolves sourcePath to a full path, loads its type library with a reader
// from makeReader (the file reader when it is empty) and builds the model.
// Refuses a missing file, a file without a loadable library, a library
// without types and, when requireCreatable, one without a creatable class,
// each reported with sourcePath as entered as the subject. On success the model holds the
// loaded library; on failure no library stays loaded.
bool loadSource(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                const std::function<void(const std::string& subject, const std::string& message)>& reportError,
                bool requireCreatable = true, const ClassRegistry* registry = nullptr);

// The same without the model's records: only model.library is set.
bool loadLibrary(const std::string& sourcePath, TypeModel& model, const ReaderFactory& makeReader,
                 const std::function<void(const std::string& subject, const std::string& message)>& reportError,
                 const ClassRegistry* registry = nullptr);

// Whether a type library can be loaded from the file (it is released at
// once); otherwise reports why not.
bool checkTypeLibraryFile(const std::string& path, const ReaderFactory& makeReader,
                          const std::function<void(const std::string& message)>& report);

// The message for a library that did not load: the reader's own when it
// names a format it knows but cannot read, else `otherwise`.
std::string loadFailureText(const Result<bool>& loaded, const std::string& otherwise);

// A reader from makeReader, or the file reader that looks for imported
// libraries beside fullPath, then where the registry (if given) has them.
std::unique_ptr<TypeLibraryReader> makeReaderFor(const std::string& fullPath, const ReaderFactory& makeReader,
                                                 const ClassRegistry* registry = nullptr);

}  // namespace mivra
