#pragma once

#include <cstddef>
#include <functional>
#include <optional>
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

// How the reason starts when a library in the older SLTG format was not
// loaded (what was wrong follows); every command passes it on as it is, so
// that users learn the format by name.
inline constexpr const char* sltgFormatFailure = "SLTG format, which Mivra could not read";

// Where the registry has a library registered (LIBID and version, as
// QueryPathOfRegTypeLib finds it): a path of this machine, which may end in
// "\\N" for TYPELIB resource N; nothing when it has none.
using RegisteredLibraryLookup = std::function<std::optional<std::string>(const Guid& libid, uint16_t major, uint16_t minor)>;

// Imports are looked for by their plain file name in the search path, then
// where `registered` says, then in the other TYPELIB resources of the
// executables those gave.
std::unique_ptr<FileTypeLibraryReader> makeFileTypeLibraryReader(std::vector<std::string> searchPath = {},
                                                                 RegisteredLibraryLookup registered = {});

}  // namespace mivra
