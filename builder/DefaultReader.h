#pragma once

#include "Generator.h"

namespace mivra {

// The type-library reader the lookups load registered libraries with when the
// caller names none: the file reader of this program.
ReaderFactory defaultReaderFactory();

}  // namespace mivra
