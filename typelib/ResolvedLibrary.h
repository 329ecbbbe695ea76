#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Guid.h"
#include "Result.h"
#include "TypeLibraryReader.h"
#include "VarType.h"

namespace mivra {

// PARAMFLAG bits.
inline constexpr uint16_t PARAMFLAG_FIN = 0x1;
inline constexpr uint16_t PARAMFLAG_FOUT = 0x2;
inline constexpr uint16_t PARAMFLAG_FOPT = 0x10;
inline constexpr uint16_t PARAMFLAG_FHASDEFAULT = 0x20;

// IMPLTYPEFLAGS bits.
inline constexpr int32_t IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr int32_t IMPLTYPEFLAG_FSOURCE = 0x2;
inline constexpr int32_t IMPLTYPEFLAG_FRESTRICTED = 0x4;

// VARKIND values and the VARFLAGS bit the bindings look at.
inline constexpr uint32_t VAR_PERINSTANCE = 0;
inline constexpr uint32_t VAR_STATIC = 1;
inline constexpr uint32_t VAR_CONST = 2;
inline constexpr uint32_t VAR_DISPATCH = 3;
inline constexpr uint16_t VARFLAG_FREADONLY = 0x1;

// FUNCFLAGS bits.
inline constexpr uint16_t FUNCFLAG_FRESTRICTED = 0x1;
inline constexpr uint16_t FUNCFLAG_FHIDDEN = 0x40;

inline constexpr int32_t DISPID_VALUE = 0;
inline constexpr int32_t DISPID_NEWENUM = -4;

// A type after its references are resolved. VT_PTR, VT_SAFEARRAY and
// VT_CARRAY carry the type they refer to; VT_USERDEFINED names an entry of
// ResolvedLibrary::types, or -1 when the reference does not resolve.
struct TypeRef {
    uint16_t vt = VT_EMPTY;
    std::shared_ptr<const TypeRef> element;
    int32_t user = -1;
};

// ConstantValue (a constant or a default value) comes with TypeLibraryReader.h.

struct ResolvedParameter {
    std::optional<std::string> name;  // absent when GetNames does not return it
    TypeRef type;
    uint16_t flags = 0;                       // PARAMFLAG bits
    std::optional<ConstantValue> defaultValue;  // with PARAMFLAG_FHASDEFAULT
};

// One function of a type; for a dispatch type, of its dispatch view
// (inherited functions first, the [retval] parameter as the result).
struct ResolvedFunction {
    bool available = false;  // false: GetFuncDesc failed, nothing else is set
    // Not available because the slot is one the declared vtable counts past
    // every function described: no function is missing there.
    bool emptySlot = false;
    int32_t memberId = 0;
    uint32_t invokeKind = 0;  // 1 method, 2 get, 4 put, 8 put by reference
    uint32_t funcKind = 0;
    uint16_t flags = 0;              // FUNCFLAG bits
    int16_t optionalParamCount = 0;  // -1: variable argument list
    TypeRef result;
    std::vector<ResolvedParameter> params;
    std::optional<std::string> name;
    uint32_t namesReturned = 0;  // how many names GetNames gave for paramCount + 1
    std::optional<std::string> docString;
};

struct ResolvedVariable {
    bool available = false;  // false: GetVarDesc failed, nothing else is set
    int32_t memberId = 0;
    uint32_t varKind = 0;  // VAR_ values
    uint16_t flags = 0;    // VARFLAG bits
    TypeRef type;
    std::optional<std::string> name;
    std::optional<ConstantValue> value;  // VAR_CONST
    std::optional<std::string> docString;
};

struct ResolvedImplementedType {
    // The implemented type could be had (GetRefTypeOfImplType and
    // GetRefTypeInfo); `type` is then its entry in ResolvedLibrary::types,
    // and attributesRead says whether that entry's attributes could be read.
    bool available = false;
    bool attributesRead = false;
    int32_t type = -1;
    int32_t implFlags = 0;  // IMPLTYPEFLAG bits
};

// One type description. The library's own types come first, in index order;
// after them the types that references reach elsewhere: in imported
// libraries (`library` names them), and the interface halves of the
// library's own dual interfaces (`library` empty, `interfaceHalf` set, and
// `index` the dual interface's own index).
struct ResolvedType {
    enum class State { Available, NoTypeInfo, NoAttributes };
    State state = State::NoTypeInfo;

    std::string library;  // GetDocumentation(-1) name of the other library; empty for the library's own
    bool imported = false;  // in another library (its GUID is not the loaded library's)
    uint32_t index = 0;   // index in its own library
    bool interfaceHalf = false;

    Guid guid;
    uint32_t kind = 0;    // TYPEKIND
    uint16_t flags = 0;   // TYPEFLAGS
    uint16_t implTypeCount = 0;
    uint16_t funcCount = 0;
    uint16_t varCount = 0;
    std::optional<std::string> name;
    std::optional<std::string> docString;

    std::vector<ResolvedImplementedType> implemented;
    std::vector<ResolvedFunction> functions;
    std::vector<ResolvedVariable> variables;
    std::optional<TypeRef> alias;  // TKIND_ALIAS: the aliased type

    // A dual dispatch type: the base of its interface view.
    enum class DualBase { NotDual, None, Unavailable, Found };
    DualBase dualBase = DualBase::NotDual;
    int32_t dualBaseType = -1;  // with Found: the entry in `types`
    // A dual dispatch type whose interface view could be had: that view's entry.
    int32_t interfaceView = -1;
};

// Everything a loaded library says, read once: references resolved, base
// chains, aliases, variables, parameter flags and default values. Writers
// work from this alone and never ask the reader while they write. Only the
// library's own types carry members; the others carry attributes, names and
// aliases.
struct ResolvedLibrary {
    std::optional<std::string> name;
    std::optional<std::string> docString;
    uint32_t ownTypeCount = 0;  // types[0 .. ownTypeCount - 1] are the library's own
    std::vector<ResolvedType> types;

    const ResolvedType* typeOf(const TypeRef& ref) const {
        return ref.vt == VT_USERDEFINED && ref.user >= 0 && size_t(ref.user) < types.size() ? &types[size_t(ref.user)]
                                                                                            : nullptr;
    }
};

// Reads the whole library through the reader, in time and memory linear in
// what the library holds. A type, member or reference that cannot be read is
// recorded as unavailable; only a reader without a loaded library fails.
Result<ResolvedLibrary> resolve(const TypeLibraryReader& reader);

}  // namespace mivra
