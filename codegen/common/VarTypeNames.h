#pragma once

#include <cstdint>
#include <string_view>

namespace mivra {

// The name OLE Automation's headers give a VARTYPE code, and the runtime's
// MivraVariant too ("VT_BSTR"); empty for a code without one. The flags
// VT_VECTOR, VT_ARRAY and VT_BYREF are named alone, not combined.
std::string_view varTypeCodeName(uint16_t code);

}  // namespace mivra
