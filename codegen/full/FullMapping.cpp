#include "FullMapping.h"

#include "Format.h"
#include "VarTypeNames.h"

namespace mivra {

namespace {

// One row per kind of value: the only place that says how a COM type is
// declared in Java, what it is inside a Holder and which VARTYPE mivraCall
// is told. A VARIANT carries no HRESULT and no C string, so those travel as
// the codes that do. Enumerations take the VT_I4 row.
struct ValueRow {
    uint16_t vt;
    const char* java;
    const char* boxed;
    uint16_t callVt;
};

constexpr ValueRow valueRows[] = {
    {VT_I1, "byte", "Byte", VT_I1},
    {VT_UI1, "byte", "Byte", VT_UI1},
    {VT_I2, "short", "Short", VT_I2},
    {VT_UI2, "short", "Short", VT_UI2},
    {VT_I4, "int", "Integer", VT_I4},
    {VT_UI4, "int", "Integer", VT_UI4},
    {VT_INT, "int", "Integer", VT_INT},
    {VT_UINT, "int", "Integer", VT_UINT},
    {VT_ERROR, "int", "Integer", VT_ERROR},
    {VT_HRESULT, "int", "Integer", VT_ERROR},
    {VT_I8, "long", "Long", VT_I8},
    {VT_UI8, "long", "Long", VT_UI8},
    {VT_R4, "float", "Float", VT_R4},
    {VT_R8, "double", "Double", VT_R8},
    {VT_BOOL, "boolean", "Boolean", VT_BOOL},
    {VT_BSTR, "String", "String", VT_BSTR},
    {VT_LPWSTR, "String", "String", VT_BSTR},
    {VT_LPSTR, "String", "String", VT_BSTR},
    {VT_DATE, "java.time.LocalDateTime", "java.time.LocalDateTime", VT_DATE},
    {VT_CY, "java.math.BigDecimal", "java.math.BigDecimal", VT_CY},
    {VT_DECIMAL, "java.math.BigDecimal", "java.math.BigDecimal", VT_DECIMAL},
    {VT_VARIANT, "MivraVariant", "MivraVariant", VT_VARIANT},
    {VT_DISPATCH, "MivraObject", "MivraObject", VT_DISPATCH},
    {VT_UNKNOWN, "MivraObject", "MivraObject", VT_UNKNOWN},
};

const ValueRow* rowOf(uint16_t vt) {
    for (const ValueRow& row : valueRows)
        if (row.vt == vt) return &row;
    return nullptr;
}

constexpr int maxAliasDepth = 64;

std::string codeName(uint16_t vt) {
    uint16_t base = vt & 0x0fff;
    std::string_view known = varTypeCodeName(base);
    std::string name = known.empty() ? "VARTYPE " + std::to_string(base) : std::string(known);
    if (vt & VT_VECTOR) name = "VT_VECTOR | " + name;
    if (vt & VT_ARRAY) name = "VT_ARRAY | " + name;
    if (vt & VT_BYREF) name = "VT_BYREF | " + name;
    return name;
}

// What a pointer to a pointer points to, for the refusal.
std::string pointerToPointer(const ResolvedLibrary& library, const TypeRef& pointer) {
    const TypeRef* inner = pointer.element ? &withoutAliases(library, *pointer.element) : nullptr;
    return "pointer to pointer to " + (inner ? codeName(inner->vt) : std::string("nothing"));
}

std::string nameOf(const ResolvedType& type) { return type.name ? *type.name : std::string("(unnamed)"); }

// The type without aliases, and the name the declaration used for it.
struct Stripped {
    const TypeRef* type;
    std::string declaredName;
    bool cyclic = false;
};

Stripped strip(const ResolvedLibrary& library, const TypeRef& type) {
    Stripped out{&type, {}};
    for (int depth = 0; out.type->vt == VT_USERDEFINED; ++depth) {
        const ResolvedType* user = library.typeOf(*out.type);
        if (!user || user->kind != TKIND_ALIAS || !user->alias) break;
        if (out.declaredName.empty()) out.declaredName = nameOf(*user);
        if (depth == maxAliasDepth) {
            out.cyclic = true;
            break;
        }
        out.type = &*user->alias;
    }
    return out;
}

Mapping refused(std::string reason) { return Mapping{std::nullopt, std::move(reason)}; }

JavaType valueType(const ValueRow& row) {
    JavaType type;
    type.name = row.java;
    type.vt = row.callVt;
    type.usesVariant = row.vt == VT_VARIANT;
    type.object = row.vt == VT_DISPATCH || row.vt == VT_UNKNOWN;
    return type;
}

const char* boxedOf(const JavaType& type) {
    for (const ValueRow& row : valueRows)
        if (type.name == row.java) return row.boxed;
    return nullptr;
}

// A value passed as itself: a scalar, a string, a variant, an object (a
// pointer to an interface, dispinterface or coclass), an enumeration, or a
// one-dimensional SAFEARRAY of any of them.
Mapping mapValue(const MappingTables& tables, const TypeRef& declared, bool inArray,
                 const std::string& aliasName = {}) {
    const ResolvedLibrary& library = *tables.library;
    Stripped stripped = strip(library, declared);
    // A pointer type declared through an alias (wireHWND for a pointer to
    // _RemotableHandle) is named as the declaration names it.
    if (stripped.declaredName.empty()) stripped.declaredName = aliasName;
    if (stripped.cyclic) return refused("alias type " + stripped.declaredName + " refers to itself");
    const TypeRef& type = *stripped.type;
    if (const ValueRow* row = rowOf(type.vt)) return Mapping{valueType(*row), {}};
    switch (type.vt) {
    case VT_USERDEFINED: {
        const ResolvedType* user = library.typeOf(type);
        if (!user || user->state != ResolvedType::State::Available) return refused("unresolved type reference");
        std::string name = stripped.declaredName.empty() ? nameOf(*user) : stripped.declaredName;
        switch (user->kind) {
        case TKIND_ENUM: {
            JavaType value = valueType(*rowOf(VT_I4));
            value.enumType = type.user;
            return Mapping{value, {}};
        }
        case TKIND_RECORD: return refused("record type " + name);
        case TKIND_UNION: return refused("union type " + name);
        case TKIND_MODULE: return refused("module type " + name);
        default: return refused("interface type " + name + " passed by value");
        }
    }
    case VT_PTR: {
        if (!type.element) return refused("pointer without a type");
        Stripped pointed = strip(library, *type.element);
        const ResolvedType* user = pointed.type->vt == VT_USERDEFINED ? library.typeOf(*pointed.type) : nullptr;
        if (!user || pointed.cyclic || size_t(pointed.type->user) >= tables.objects.size() ||
            !tables.objects[size_t(pointed.type->user)].isObject)
            return refused("");  // not an object: a by-reference value, the caller decides
        const ObjectTarget& target = tables.objects[size_t(pointed.type->user)];
        JavaType object;
        object.vt = target.dispatch ? VT_DISPATCH : VT_UNKNOWN;
        object.object = true;
        object.name = inArray || target.javaClass.empty() ? std::string("MivraObject") : target.javaClass;
        // An IDispatch result finds its class by its type information too.
        object.adopt = !inArray && (object.name != "MivraObject" || target.dispatch);
        return Mapping{object, {}};
    }
    case VT_SAFEARRAY: {
        if (inArray) return refused("array of arrays");
        if (!type.element) return refused("array without an element type");
        Mapping element = mapValue(tables, *type.element, true);
        if (!element.type) {
            if (element.refusal.empty()) return refused("array of pointers");
            return element;
        }
        JavaType array = *element.type;
        array.name += "[]";
        array.vt = static_cast<uint16_t>(VT_ARRAY | array.vt);
        array.adopt = false;
        array.object = false;
        array.enumType = -1;
        return Mapping{array, {}};
    }
    case VT_CARRAY: return refused("C array type");
    case VT_VOID: case VT_EMPTY: case VT_NULL: return refused("type " + codeName(type.vt));
    default: return refused("type " + codeName(type.vt));
    }
}

bool isVariant(const ResolvedLibrary& library, const TypeRef& type) {
    return strip(library, type).type->vt == VT_VARIANT;
}

}  // namespace

std::string vtCodeText(uint16_t vt) { return codeName(vt); }

std::string_view erasureOf(const JavaType& type) {
    if (type.varargs) return "Object[]";
    if (type.name.compare(0, 7, "Holder<") == 0) return "Holder";
    return type.name;
}

void appendResultExpression(std::string& out, const JavaType& type, std::string_view call) {
    if (type.adopt) {
        out.append("mivraAdopt(").append(call).append(", ").append(type.name).append(".class, ");
        out.append(classTableClassName).append(".TABLE)");
        return;
    }
    out.append("(").append(type.name).append(") ").append(call);
}

const TypeRef& withoutAliases(const ResolvedLibrary& library, const TypeRef& type) {
    return *strip(library, type).type;
}

Mapping mapParameter(const MappingTables& tables, const ResolvedParameter& parameter, bool varargTail,
                     ParameterUse use) {
    const ResolvedLibrary& library = *tables.library;
    if (varargTail) {
        // SAFEARRAY(VARIANT), or a pointer to one: the trailing arguments,
        // each passed as a VARIANT of its own.
        const TypeRef* array = &withoutAliases(library, parameter.type);
        if (array->vt == VT_PTR && array->element) array = &withoutAliases(library, *array->element);
        if (array->vt != VT_SAFEARRAY || !array->element || !isVariant(library, *array->element))
            return refused("variable argument list of " + codeName(array->vt));
        JavaType rest;
        rest.name = "Object...";
        rest.vt = VT_VARIANT;
        rest.varargs = true;
        return Mapping{rest, {}};
    }
    Mapping value = mapValue(tables, parameter.type, false);
    if (value.type && value.type->vt == VT_VARIANT && use != ParameterUse::Event) {
        value.type->name = "Object";
        value.type->usesVariant = false;
    }
    if (value.type || !value.refusal.empty()) return value;

    // A pointer to something that is not an object: passed by reference.
    const TypeRef& pointer = withoutAliases(library, parameter.type);
    const TypeRef& pointed = withoutAliases(library, *pointer.element);
    const bool out = (parameter.flags & PARAMFLAG_FOUT) != 0;
    if (pointed.vt == VT_VOID) return refused("pointer to void");
    if (pointed.vt == VT_VARIANT) {
        JavaType variant = valueType(*rowOf(VT_VARIANT));
        variant.vt = VT_BYREF | VT_VARIANT;
        if (out || use == ParameterUse::Event) return Mapping{variant, {}};
        // [in]: Invoke takes the value itself; a vtable call a pointer to it.
        variant.name = "Object";
        variant.usesVariant = false;
        if (use == ParameterUse::Call)
            variant.vt = VT_VARIANT;
        else
            variant.wrapInHolder = variant.usesHolder = true;
        return Mapping{variant, {}};
    }
    Mapping target = mapValue(tables, *pointer.element, false, strip(library, parameter.type).declaredName);
    if (!target.type) {
        if (target.refusal.empty()) return refused(pointerToPointer(library, pointed));
        return target;
    }
    JavaType byRef = *target.type;
    byRef.vt = static_cast<uint16_t>(VT_BYREF | byRef.vt);
    byRef.usesHolder = true;
    if (byRef.object) {
        // The runtime writes back a plain object; the caller wraps it.
        byRef.name = "MivraObject";
    }
    if (!out) {
        byRef.wrapInHolder = true;
        return Mapping{byRef, {}};
    }
    const char* boxed = boxedOf(byRef);
    byRef.name = format("Holder<%s>", {boxed ? boxed : byRef.name.c_str()});
    return Mapping{byRef, {}};
}

Mapping mapEventParameter(const MappingTables& tables, const ResolvedParameter& parameter) {
    Mapping mapped = mapParameter(tables, parameter, false, ParameterUse::Event);
    if (!mapped.type || !mapped.type->wrapInHolder) return mapped;
    JavaType& type = *mapped.type;
    type.wrapInHolder = false;
    const char* boxed = boxedOf(type);
    type.name = format("Holder<%s>", {boxed ? boxed : type.name.c_str()});
    return mapped;
}

void appendEventArgument(std::string& out, const JavaType& type, std::string_view arg) {
    // Explicit type arguments: a listener's overloads must not leave the
    // inference to the overload resolution.
    if (type.name.compare(0, 7, "Holder<") == 0) {
        out.append("EventAdapter.<").append(type.name, 7, type.name.size() - 8).append(">holder(").append(arg);
        out += ")";
    } else if (type.adopt && type.name != "MivraObject") {
        out.append("EventAdapter.<").append(type.name).append(">adopt(").append(arg).append(", ");
        out.append(type.name).append("::new)");
    } else {
        out.append("(").append(type.name).append(") ").append(arg);
    }
}

Mapping mapResult(const MappingTables& tables, const TypeRef& result) {
    const ResolvedLibrary& library = *tables.library;
    const TypeRef& type = withoutAliases(library, result);
    if (type.vt == VT_VOID || type.vt == VT_EMPTY || type.vt == VT_NULL) return Mapping{JavaType{}, {}};
    Mapping value = mapValue(tables, result, false);
    if (value.type || !value.refusal.empty()) return value;
    // A pointer to a value: the value pointed to comes back.
    const TypeRef& pointed = withoutAliases(library, *type.element);
    if (pointed.vt == VT_VOID) return refused("pointer to void");
    Mapping target = mapValue(tables, *type.element, false, strip(library, result).declaredName);
    if (!target.type && target.refusal.empty())
        return refused(pointerToPointer(library, pointed));
    if (target.type && target.type->object) {
        target.type->name = "MivraObject";
        target.type->adopt = false;
    }
    return target;
}

}  // namespace mivra
