#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "TypeLibraryReader.h"

namespace mivra {

// VARENUM codes the generator deals with.
enum VarType : uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_USERDEFINED = 29,
    VT_LPWSTR = 31,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

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
