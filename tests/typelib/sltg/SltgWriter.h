#pragma once

#include <cstddef>
#include <vector>

#include "Result.h"
#include "TypeSource.h"

namespace mivra::test {

// Writes the types of a library in the SLTG format, laid out as that
// format's own writers lay it out, so that a library compiled to MSFT can be
// read back in the older format. Types imported from anywhere but the
// standard library, and what SLTG cannot hold (default values, doc strings,
// constants other than integers and strings), are not written.
Result<std::vector<std::byte>> writeSltg(const TypeSource& library);

}  // namespace mivra::test
