#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Result.h"
#include "TypeLibraryReader.h"

namespace mivra {

// FUNCKIND values.
inline constexpr uint32_t FUNC_DISPATCH = 4;

// PARAMFLAG bits the dispatch view looks at.
inline constexpr uint16_t PARAMFLAG_FLCID = 0x4;
inline constexpr uint16_t PARAMFLAG_FRETVAL = 0x8;

inline constexpr uint16_t TYPEFLAG_FOLEAUTOMATION = 0x100;

// A type as the library stores it, before OLE Automation presents it: a
// dual interface is one stored TKIND_DISPATCH record with its own functions
// in vtable form.
struct StoredType {
    Guid guid;
    uint32_t kind = 0;
    uint16_t flags = 0;
    uint16_t implTypeCount = 0;
    uint16_t funcCount = 0;
    uint16_t varCount = 0;
    uint16_t vtableSize = 0;
    int32_t datatype1 = -1;  // base interface reference, -1 none
};

struct StoredParameter {
    TypeDescription type;
    uint16_t flags = 0;
    std::optional<std::string> name;
    std::optional<ConstantValue> defaultValue{};
};

struct StoredFunction {
    int32_t memberId = 0;
    uint32_t funcKind = 0;
    uint32_t invokeKind = 0;
    int16_t optionalParamCount = 0;
    uint16_t flags = 0;  // FUNCFLAGS
    int32_t vtableSlot = -1;  // from the stored vtable offset; -1: none stored
    TypeDescription result;
    std::vector<StoredParameter> params;
    std::optional<std::string> name;
    std::optional<std::string> docString;
    // A default value that OLE Automation cannot copy into a FUNCDESC: the
    // function is then unavailable through GetFuncDesc.
    bool defaultUncopyable = false;
};

struct StoredVariable {
    int32_t memberId = 0;
    uint32_t varKind = 0;
    uint16_t flags = 0;
    TypeDescription type;
    std::optional<ConstantValue> value;  // VAR_CONST
    std::optional<std::string> name;
    std::optional<std::string> docString;
    // Why OLE Automation could not hand the variable out through GetVarDesc
    // (a type that does not decode, a constant it cannot copy), though its
    // name and doc string can still be asked for.
    std::optional<std::string> descriptionFailure;
};

class TypeSource;

// A type reached through a reference: which library and which index.
struct TypeLocation {
    const TypeSource* source = nullptr;
    uint32_t index = 0;
};

// One library's stored types: a type-library file, or the built-in
// description of the OLE Automation standard library.
class TypeSource {
public:
    virtual ~TypeSource() = default;

    virtual uint32_t count() const = 0;
    virtual uint32_t pointerSize() const = 0;
    virtual Guid libraryGuid() const = 0;
    // The reference that stands for IDispatch in this library (-1 none).
    virtual int32_t dispatchReference() const = 0;
    virtual Result<Documentation> documentation(int32_t index) const = 0;
    virtual Result<StoredType> type(uint32_t index) const = 0;
    virtual Result<StoredFunction> function(uint32_t index, uint32_t k) const = 0;
    virtual Result<StoredVariable> variable(uint32_t index, uint32_t k) const = 0;
    // The aliased type of a TKIND_ALIAS type.
    virtual Result<TypeDescription> aliasType(uint32_t index) const = 0;
    // The first member with the id: functions come first (0 .. funcCount - 1),
    // then variables; nothing when no member has it.
    virtual Result<std::optional<uint32_t>> findMember(uint32_t index, int32_t memberId) const = 0;
    // The j-th record of a class's implemented-interface list: reference and flags.
    virtual Result<std::pair<int32_t, int32_t>> classInterface(uint32_t index, uint32_t j) const = 0;
    // Resolves a reference (the low two bits already cleared).
    virtual Result<TypeLocation> resolve(int32_t reference) const = 0;
    // Where a type's members are stored, with their counts: types with the
    // same key hold the same member records. Nothing when not known.
    virtual std::optional<uint64_t> memberBlockKey(uint32_t /*index*/) const { return std::nullopt; }
    // The first readable type with the GUID, nothing when none has it.
    virtual std::optional<uint32_t> typeWithGuid(const Guid& guid) const {
        for (uint32_t i = 0; i < count(); ++i) {
            auto t = type(i);
            if (t && t->guid == guid) return i;
        }
        return std::nullopt;
    }
};

}  // namespace mivra
