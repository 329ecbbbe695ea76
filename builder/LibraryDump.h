#pragma once

#include <string>

#include "TypeLibraryReader.h"

namespace mivra {

// The loaded library for people, in an IDL-like form: the library's name and
// doc string, every type with its kind, GUID, flags and implemented types,
// and every function of a dispatch interface with its member id, invoke kind
// and parameter types.
void writeLibraryDump(const TypeLibraryReader& reader, std::string& out);

}  // namespace mivra
