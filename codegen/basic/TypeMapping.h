#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Naming.h"
#include "TypeLibraryReader.h"
#include "VarType.h"

namespace mivra {

enum class TypeRole { parameter, result };

// Accepted (nothing) or the message that says why the type cannot be carried.
std::optional<std::string> checkSupported(const TypeDescription& type, TypeRole role);
// The first refusal among the first argCount parameters, then the result.
std::optional<std::string> checkFunction(const FunctionDescription& function, int argCount);

// The code that decides the mapping: the pointed-to code of a VT_PTR.
uint16_t effectiveCode(const TypeDescription& type);

// Only for accepted types. A result without value has no Java type.
std::optional<std::string> javaTypeName(const TypeDescription& type, TypeRole role);
std::string jniTypeName(const TypeDescription& type, TypeRole role);
std::string jniSignaturePiece(const TypeDescription& type, std::string_view jniPackage);
std::string varTypeName(uint16_t code);

// JNI escape of a name: "_" becomes "_1", ";" becomes "_2".
std::string escapeJniName(std::string_view name);
}  // namespace mivra
