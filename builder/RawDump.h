#pragma once

#include <string>

#include "ResolvedLibrary.h"
#include "TypeLibraryReader.h"

namespace mivra {

// The canonical line format in which a loaded library is compared with what
// OLE Automation reports for it: the library, every type with its implemented
// types and every function with its names and doc string.
void writeRawDump(const TypeLibraryReader& reader, std::string& out);

// The same lines for a resolved library, written from it alone, with the
// resolved view's additions: referenced types named ("user(4:IFoo)"),
// default values, the base of each dual's interface view, alias types and
// variables.
void writeResolvedDump(const ResolvedLibrary& library, std::string& out);

// "ptr(29)", "safearray(8)", "3": a type as the raw dump writes it.
std::string rawTypeText(const TypeDescription& type);

}  // namespace mivra
