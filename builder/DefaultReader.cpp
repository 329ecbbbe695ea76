#include "DefaultReader.h"

namespace mivra {

ReaderFactory defaultReaderFactory() {
    // No file reader is linked in yet: every load fails, so lookups that
    // need one find nothing.
    return [] { return std::unique_ptr<TypeLibraryReader>(); };
}

}  // namespace mivra
