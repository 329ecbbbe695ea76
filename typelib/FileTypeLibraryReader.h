#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "TypeLibraryReader.h"

namespace mivra {

// Reads type libraries from files, without OLE Automation, and answers as
// OLE Automation answers: standalone MSFT libraries, and PE32/PE32+ files
// carrying a TYPELIB resource. Imported libraries are looked for in the
// search path (folders, or library files), and the OLE Automation standard
// library is built in.
class FileTypeLibraryReader : public TypeLibraryReader {
public:
    // Loads from bytes already in memory; resourceId selects the TYPELIB
    // resource of a PE file.
    virtual Result<bool> loadBytes(std::vector<std::byte> bytes, uint32_t resourceId = 1) = 0;
    // How many files were read to resolve imports since the last load.
    virtual size_t importFilesRead() const = 0;
};

std::unique_ptr<FileTypeLibraryReader> makeFileTypeLibraryReader(std::vector<std::string> searchPath = {});

}  // namespace mivra
