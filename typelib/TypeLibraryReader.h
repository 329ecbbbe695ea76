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

// A VARTYPE; for VT_PTR and VT_SAFEARRAY the described type it refers to,
// for VT_CARRAY the element type.
struct TypeDescription {
    uint16_t vt = 0;
    std::shared_ptr<const TypeDescription> pointee;
    // VT_USERDEFINED: the HREFTYPE, which referencedType() resolves from the
    // type the description was read from (as GetRefTypeInfo does).
    int32_t reference = -1;
};

// A constant or a default value, as OLE Automation hands it out in a
// VARIANT: integers (I1 to UI8, INT, UINT, ERROR, BOOL) and CY (its count
// of ten-thousandths) in `integer`, R4, R8 and DATE in `real`, BSTR in
// `text` (absent for a null BSTR).
struct ConstantValue {
    uint16_t vt = 0;
    int64_t integer = 0;
    double real = 0;
    std::optional<std::string> text;
};

struct ParameterDescription {
    TypeDescription type;
    uint16_t flags = 0;  // PARAMFLAG bits
    // The PARAMDESCEX value of a parameter with PARAMFLAG_FHASDEFAULT.
    std::optional<ConstantValue> defaultValue{};
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
    uint32_t funcKind = 0;
    uint16_t flags = 0;  // wFuncFlags
    // The slot of a function in vtable form (oVft over the pointer size);
    // -1 where the library does not say.
    int32_t vtableSlot = -1;
};

// One variable as ITypeInfo::GetVarDesc reports it.
struct VariableDescription {
    int32_t memberId = 0;
    uint32_t varKind = 0;
    uint16_t flags = 0;  // wVarFlags
    TypeDescription type;
    std::optional<ConstantValue> value{};  // VAR_CONST
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

// A type information object the reader handed out: one of the library's
// own, or one that a reference, an implemented type or the other view of a
// dual interface leads to, in this library or an imported one. The reader
// gives the same handle whenever it reaches the same type (the same view of
// it), so handles can key a memo. Valid until release().
struct TypeHandle {
    uint32_t id = 0;
    bool operator==(const TypeHandle&) const = default;
};

// Where a type lives: GetContainingTypeLib, that library's name and whether
// it is the loaded library (the same library GUID).
struct TypeOrigin {
    bool own = false;
    std::optional<std::string> library;
    uint32_t index = 0;
};

// The j-th implemented type of a type (GetRefTypeOfImplType(j) and
// GetRefTypeInfo; j = -1 on a dual gives its other view) and its
// GetImplTypeFlags.
struct ImplementedTypeHandle {
    TypeHandle type;
    int32_t implFlags = 0;
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

    // What the resolved view needs beyond that. Readers that do not offer it
    // (test stand-ins) answer with a failure, which the view records as an
    // unavailable member or an unresolved reference.
    virtual Result<VariableDescription> variable(uint32_t /*index*/, uint32_t k) const {
        return fail("variable " + std::to_string(k) + " cannot be read");
    }
    // ITypeLib::GetTypeInfo.
    virtual Result<TypeHandle> typeHandle(uint32_t index) const {
        return fail("no type information object for type " + std::to_string(index), Failure::Step::TypeInfo);
    }
    // ITypeInfo::GetRefTypeInfo, for a reference found in a description that
    // `from` gave.
    virtual Result<TypeHandle> referencedType(TypeHandle /*from*/, int32_t reference) const {
        return fail("reference " + std::to_string(reference) + " cannot be resolved");
    }
    virtual Result<ImplementedTypeHandle> implementedTypeOf(TypeHandle /*of*/, int32_t j) const {
        return fail("implemented type " + std::to_string(j) + " cannot be had");
    }
    virtual Result<TypeAttributes> attributesOf(TypeHandle /*type*/) const {
        return fail("no attributes", Failure::Step::Attributes);
    }
    // ITypeInfo::GetDocumentation(MEMBERID_NIL).
    virtual Result<Documentation> documentationOf(TypeHandle /*type*/) const { return fail("no documentation"); }
    virtual Result<TypeOrigin> originOf(TypeHandle /*type*/) const { return fail("no containing library"); }
    // TYPEATTR::tdescAlias of a TKIND_ALIAS type.
    virtual Result<TypeDescription> aliasOf(TypeHandle /*type*/) const { return fail("no alias type"); }

    // What lets the resolved view share members rather than copy them; a
    // reader that does not know answers nothing, and the view reads every
    // member. Where an own type's members are stored: two of the library's
    // own types with the same answer, of the same kind and neither dual,
    // list the same variables, and unless they are dispatch types the same
    // functions.
    virtual std::optional<uint64_t> memberBlockOf(uint32_t /*index*/) const { return std::nullopt; }
    // For a dual dispatch type of the library whose dispatch view begins
    // with the whole dispatch view of another of its own types: that type's
    // index. Those functions are then the same, with the same names and doc
    // strings, in both views.
    virtual std::optional<uint32_t> inheritedViewOf(uint32_t /*index*/) const { return std::nullopt; }
};

}  // namespace mivra
