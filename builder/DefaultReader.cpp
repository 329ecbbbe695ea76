#include "DefaultReader.h"

#include "FileTypeLibraryReader.h"

namespace mivra {

ReaderFactory defaultReaderFactory() {
    return [] { return std::unique_ptr<TypeLibraryReader>(makeFileTypeLibraryReader()); };
}

}  // namespace mivra
