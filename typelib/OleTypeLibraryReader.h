#pragma once

#include <memory>

#include "TypeLibraryReader.h"

namespace mivra {

// The type-library service of the platform itself (LoadTypeLib, ITypeLib,
// ITypeInfo). Only Windows has one: elsewhere this gives nothing.
std::unique_ptr<TypeLibraryReader> makeOleTypeLibraryReader();

}  // namespace mivra
