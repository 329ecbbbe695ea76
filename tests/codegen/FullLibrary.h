#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ResolvedLibrary.h"

namespace mivra::test {

// Resolved libraries built by hand, for the rules of the full bindings.
inline TypeRef code(uint16_t vt) {
    TypeRef type;
    type.vt = vt;
    return type;
}
inline TypeRef pointer(TypeRef to) {
    TypeRef type;
    type.vt = VT_PTR;
    type.element = std::make_shared<const TypeRef>(std::move(to));
    return type;
}
inline TypeRef safeArray(TypeRef of) {
    TypeRef type;
    type.vt = VT_SAFEARRAY;
    type.element = std::make_shared<const TypeRef>(std::move(of));
    return type;
}
inline TypeRef user(int32_t index) {
    TypeRef type;
    type.vt = VT_USERDEFINED;
    type.user = index;
    return type;
}

inline ResolvedParameter parameter(std::string name, TypeRef type, uint16_t flags = PARAMFLAG_FIN) {
    ResolvedParameter p;
    p.name = std::move(name);
    p.type = std::move(type);
    p.flags = flags;
    return p;
}

struct LibraryBuilder {
    ResolvedLibrary library;

    LibraryBuilder() { library.name = "DemoLib"; }

    int32_t type(uint32_t kind, std::string name, uint16_t flags = 0, std::string fromLibrary = {}) {
        ResolvedType& t = library.types.emplace_back();
        t.state = ResolvedType::State::Available;
        t.kind = kind;
        t.flags = flags;
        t.name = std::move(name);
        t.library = std::move(fromLibrary);
        t.index = uint32_t(library.types.size() - 1);
        t.guid.data1 = 0x5e1a0000u + t.index;
        if (t.library.empty()) library.ownTypeCount = uint32_t(library.types.size());
        return int32_t(t.index);
    }

    ResolvedFunction& function(int32_t of, std::string name, int32_t id, uint32_t kind, TypeRef result,
                               std::vector<ResolvedParameter> params = {}, int16_t optional = 0) {
        ResolvedFunction& f = library.types[size_t(of)].functions.emplace_back();
        f.available = true;
        f.name = std::move(name);
        f.memberId = id;
        f.invokeKind = kind;
        f.result = std::move(result);
        f.params = std::move(params);
        f.optionalParamCount = optional;
        return f;
    }

    // The seven members every dispatch view of a dual interface starts with.
    void dispatchMembers(int32_t of) {
        const char* names[] = {"QueryInterface", "AddRef", "Release", "GetTypeInfoCount", "GetTypeInfo",
                               "GetIDsOfNames", "Invoke"};
        for (int k = 0; k < 7; ++k) function(of, names[k], 0x60000000 + k, 1, code(VT_VOID));
    }

    ResolvedVariable& variable(int32_t of, std::string name, int32_t id, uint32_t varKind, TypeRef type) {
        ResolvedVariable& v = library.types[size_t(of)].variables.emplace_back();
        v.available = true;
        v.name = std::move(name);
        v.memberId = id;
        v.varKind = varKind;
        v.type = std::move(type);
        return v;
    }

    void implement(int32_t of, int32_t implemented, int32_t flags = 0) {
        ResolvedImplementedType& i = library.types[size_t(of)].implemented.emplace_back();
        i.available = i.attributesRead = true;
        i.type = implemented;
        i.implFlags = flags;
    }

    void alias(int32_t of, TypeRef to) { library.types[size_t(of)].alias = std::move(to); }
};

}  // namespace mivra::test
