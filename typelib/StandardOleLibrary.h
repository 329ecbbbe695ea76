#pragma once

#include "TypeSource.h"

namespace mivra {

// The OLE Automation standard library (stdole2.tlb, version 2.0), which
// almost every automation library imports for IUnknown and IDispatch. A
// machine without OLE Automation need not have the file, so a description of
// it is built in.
extern const Guid standardOleLibraryGuid;
const TypeSource& standardOleLibrary();

}  // namespace mivra
