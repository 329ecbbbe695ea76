#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
// The IUnknown and IDispatch members that dual interfaces list.
bool isBaseInterfaceMethod(std::string_view name);

// An ASCII Java identifier that is not a reserved word: only such names may
// become class names, file names and JNI symbols (the JNI escape has no form
// for other characters).
bool isJavaIdentifier(std::string_view name);
bool isJavaReservedWord(std::string_view name);
// A method name usable in a generated class: a reserved word, or a method
// every generated class inherits (toString, getClass, __release, ...), gets
// a trailing underscore.
std::string javaSafeMethodName(std::string_view name);

}  // namespace mivra
