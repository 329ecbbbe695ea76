#include "TypeMapping.h"

#include "Format.h"
#include "VarTypeNames.h"

namespace mivra {

namespace {

bool isPlainAccepted(uint16_t code) {
    switch (code) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BSTR: case VT_DISPATCH: case VT_BOOL:
    case VT_VARIANT: case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::optional<std::string> checkSupported(const TypeDescription& type, TypeRole role) {
    uint16_t vt = type.vt;
    if (vt & VT_BYREF) return "Argument passed by reference";
    if (vt & VT_ARRAY) return "Array parameters are not supported in this release of Mivra";
    if (vt & VT_VECTOR) return "Array/vector parameters are not supported in this release of Mivra";
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_VOID:
        if (role == TypeRole::parameter) return "NULL argument";
        return std::nullopt;
    case VT_LPWSTR:
        return std::nullopt;
    case VT_CY:
        return "Currency parameter not supported in current release of Mivra";
    case VT_ERROR: case VT_UNKNOWN:
        return "Invalid parameter type";
    case VT_PTR: {
        uint16_t pointed = type.pointee ? type.pointee->vt : uint16_t(VT_EMPTY);
        if (isPlainAccepted(pointed)) return std::nullopt;
        if (pointed == VT_PTR) return "Nested pointers not supported";
        return "Unsupported pointer type";
    }
    default:
        if (isPlainAccepted(vt)) return std::nullopt;
        return "Parameter type not supported";
    }
}

std::optional<std::string> checkFunction(const FunctionDescription& function, int argCount) {
    for (int k = 0; k < argCount && k < static_cast<int>(function.params.size()); ++k)
        if (auto refusal = checkSupported(function.params[k].type, TypeRole::parameter)) return refusal;
    if (argCount > static_cast<int>(function.params.size())) return "Parameter type not supported";
    return checkSupported(function.result, TypeRole::result);
}

uint16_t effectiveCode(const TypeDescription& type) {
    if (type.vt == VT_PTR && type.pointee) return type.pointee->vt;
    return type.vt;
}

std::optional<std::string> javaTypeName(const TypeDescription& type, TypeRole role) {
    switch (effectiveCode(type)) {
    case VT_I2: case VT_UI2: return "short";
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return "int";
    case VT_R4: return "float";
    case VT_R8: return "double";
    case VT_BSTR: case VT_LPWSTR: return "String";
    case VT_DISPATCH: return "MivraObject";
    case VT_BOOL: return "boolean";
    case VT_VARIANT: return "MivraVariant";
    default: return role == TypeRole::result ? std::nullopt : std::optional<std::string>("void");
    }
}

std::string jniTypeName(const TypeDescription& type, TypeRole) {
    switch (effectiveCode(type)) {
    case VT_I2: case VT_UI2: return "jshort";
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return "jint";
    case VT_R4: return "jfloat";
    case VT_R8: return "jdouble";
    case VT_BSTR: case VT_LPWSTR: return "jstring";
    case VT_DISPATCH: case VT_VARIANT: return "jobject";
    case VT_BOOL: return "jboolean";
    default: return "void";
    }
}

std::string jniSignaturePiece(const TypeDescription& type, std::string_view jniPackage) {
    switch (effectiveCode(type)) {
    case VT_I2: case VT_UI2: return "S";
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return "I";
    case VT_R4: return "F";
    case VT_R8: return "D";
    case VT_BSTR: case VT_LPWSTR: return "Ljava_lang_String_2";
    case VT_DISPATCH: return format("L%s_MivraObject_2", {jniPackage});
    case VT_BOOL: return "Z";
    case VT_VARIANT: return format("L%s_MivraVariant_2", {jniPackage});
    default: return "";
    }
}

std::string varTypeName(uint16_t code) {
    std::string_view name = varTypeCodeName(code);
    return name.empty() ? std::to_string(code) : std::string(name);
}

std::string escapeJniName(std::string_view name) {
    std::string escaped;
    escaped.reserve(name.size() + 4);
    for (char c : name) {
        if (c == '_')
            escaped += "_1";
        else if (c == ';')
            escaped += "_2";
        else
            escaped += c;
    }
    return escaped;
}

}  // namespace mivra
