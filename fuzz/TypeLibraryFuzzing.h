#pragma once

#include <cstddef>
#include <cstdint>

namespace mivra {

// Loads the bytes as a type-library file (resource 1 and 2 of an
// executable), builds the type model and asks for every attribute,
// implemented type, function, name and doc string, the dumps included, and
// resolves it and follows every reference of the resolved model.
// Whatever the bytes, this must return.
void exerciseTypeLibrary(const uint8_t* data, size_t size);

}  // namespace mivra
