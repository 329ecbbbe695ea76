#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Guid.h"
#include "Result.h"

namespace mivra {

// TYPEKIND values.
enum TypeKind : uint32_t {
    TKIND_ENUM = 0,
    TKIND_RECORD = 1,
    TKIND_MODULE = 2,
    TKIND_INTERFACE = 3,
    TKIND_DISPATCH = 4,
    TKIND_COCLASS = 5,
    TKIND_ALIAS = 6,
    TKIND_UNION = 7,
};

// TYPEFLAGS bits the model looks at.
inline constexpr uint16_t TYPEFLAG_FCANCREATE = 0x2;
inline constexpr uint16_t TYPEFLAG_FDUAL = 0x40;

// A VARTYPE; for VT_PTR and VT_SAFEARRAY the described type it refers to.
struct TypeDescription {
    uint16_t vt = 0;
    std::shared_ptr<const TypeDescription> pointee;
};

struct ParameterDescription {
    TypeDescription type;
    uint16_t flags = 0;  // PARAMFLAG bits
};

// One function as ITypeInfo::GetFuncDesc reports it; names and doc string
// are asked for separately.
struct FunctionDescription {
    int32_t memberId = 0;
    uint32_t invokeKind = 0;  // 1 method, 2 get, 4 put, 8 put by reference
    int16_t paramCount = 0;
    int16_t optionalParamCount = 0;  // -1: variable argument list
    std::vector<ParameterDescription> params;
    TypeDescription result;
};

struct TypeAttributes {
    Guid guid;
    uint32_t kind = 0;
    uint16_t flags = 0;
    uint16_t implTypeCount = 0;
    uint16_t funcCount = 0;
    uint16_t varCount = 0;
};

// The j-th implemented type of a type: the referenced type's attributes and
// own name, and the implementation flags the referring type gives it.
struct ImplementedType {
    TypeAttributes attributes;
    int32_t implFlags = 0;
    std::optional<std::string> name;
};

// Name and doc string; either may be absent. Texts are UTF-8.
struct Documentation {
    std::optional<std::string> name;
    std::optional<std::string> docString;
};

// What the model and the writers need from a type-library service: on
// Windows these are ITypeLib and ITypeInfo, and every other implementation
// must return the same values. One object holds at most one loaded library.
class TypeLibraryReader {
public:
    virtual ~TypeLibraryReader() = default;

    // Loads the library from a full file path; a path ending in "\N" selects
    // TYPELIB resource N of a PE file.
    virtual Result<bool> load(const std::string& fullPath) = 0;
    virtual uint32_t typeInfoCount() const = 0;
    virtual Result<TypeAttributes> typeAttributes(uint32_t index) const = 0;
    virtual Result<ImplementedType> implementedType(uint32_t index, uint32_t j) const = 0;
    // index -1: the library's own documentation.
    virtual Result<Documentation> documentation(int32_t index) const = 0;
    virtual Result<FunctionDescription> function(uint32_t index, uint32_t k) const = 0;
    // At most maxNames names: the member's name, then its parameters'.
    virtual Result<std::vector<std::string>> names(uint32_t index, int32_t memberId,
                                                   uint32_t maxNames) const = 0;
    virtual std::optional<std::string> memberDocString(uint32_t index, int32_t memberId) const = 0;
    virtual void release() = 0;
};

}  // namespace mivra
