#pragma once

#include <string>

#include "TypeLibraryReader.h"

namespace mivra {

// The canonical line format in which a loaded library is compared with what
// OLE Automation reports for it: the library, every type with its implemented
// types and every function with its names and doc string.
void writeRawDump(const TypeLibraryReader& reader, std::string& out);

// "ptr(29)", "safearray(8)", "3": a type as the raw dump writes it.
std::string rawTypeText(const TypeDescription& type);

}  // namespace mivra
