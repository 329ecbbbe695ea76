#pragma once

#include "DefaultReader.h"

namespace mivra::test {

// Whether this build links a file reader for type libraries.
inline bool fileReaderAvailable() { return defaultReaderFactory()() != nullptr; }

}  // namespace mivra::test
