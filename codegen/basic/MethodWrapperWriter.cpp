#include <algorithm>

#include "Format.h"
#include "ResolvedLibrary.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {

namespace {

constexpr std::string_view uninitializedThrow =
    "\t\t(*env)->ThrowNew( env, (*env)->FindClass( env, \"java/lang/NullPointerException\" ), \"Uninitialized MivraObject\" );\n";

bool hasDoc(const FunctionView& function) { return function.docString && !function.docString->empty(); }

bool writeUnavailable(std::string& javaText, const FunctionView& function, std::string_view reason) {
    if (hasDoc(function)) appendFormat(javaText, "\t// %s\n", {lineCommentText(*function.docString)});
    appendFormat(javaText, "\t// %s:\n", {lineCommentText(function.memberName)});
    appendFormat(javaText, "\t\t// Function is not available: %s\n\n", {reason});
    return false;
}

// Letters, digits and "_", not starting with a digit: a name that can be
// written into Java and C, possibly after javaSafeMethodName.
bool isIdentifierShaped(std::string_view name) {
    return isJavaIdentifier(name) || isJavaReservedWord(name);
}

std::optional<std::string> javaMethodNameOf(const FunctionView& function) {
    std::string name = function.memberName;
    uint32_t kind = function.description.invokeKind;
    if (kind == 1) return name;
    if (kind != 2 && kind != 4) return std::nullopt;
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return (kind == 2 ? "get" : "set") + name;
}

// The declared parameter (from 0) that each Java argument of a variant
// stands for. The value of a property put is its last parameter and goes in
// the DISPID_PROPERTYPUT slot whatever optional parameters come before it,
// so a shorter put leaves those out and keeps the value.
std::vector<int> passedParameters(const FunctionDescription& fd, int argCount) {
    std::vector<int> passed(static_cast<size_t>(argCount));
    for (int k = 0; k < argCount; ++k) passed[k] = k;
    if (fd.invokeKind == 4 && argCount >= 1 && argCount < fd.paramCount) passed.back() = fd.paramCount - 1;
    return passed;
}

// checkFunction over the parameters a variant passes.
std::optional<std::string> variantRefusal(const FunctionDescription& fd, const std::vector<int>& passed) {
    for (int index : passed) {
        if (index >= static_cast<int>(fd.params.size())) return "Parameter type not supported";
        if (auto refusal = checkSupported(fd.params[index].type, TypeRole::parameter)) return refusal;
    }
    return checkSupported(fd.result, TypeRole::result);
}

void appendNullCheck(std::string& c, int k, std::string_view earlyReturn) {
    appendFormat(c, "\tif ( arg%d == 0 ) {\n", {k});
    c += "\t\t(*env)->ThrowNew( env, (*env)->FindClass( env, \"java/lang/NullPointerException\" ), \"null arg\" );\n";
    c += earlyReturn;
    c += "\t}\n";
}

}  // namespace

bool writeMethodVariant(GenerationContext& context, std::string& javaText, std::string_view className,
                        const FunctionView& function, int argCount, MethodSignatureSet& declared) {
    const FunctionDescription& fd = function.description;
    const int paramCount = fd.paramCount;

    // Each optional parameter adds a variant as long as the one before: past
    // this many the output would grow with the square of the parameters.
    if (fd.optionalParamCount > maxOptionalParameters)
        return writeUnavailable(javaText, function, "Too many optional parameters");
    const std::vector<int> passed = passedParameters(fd, argCount);
    // The JVM takes at most 255 parameter slots, "this" and two a double included.
    int slots = 1;
    for (int index : passed)
        if (index < static_cast<int>(fd.params.size())) slots += effectiveCode(fd.params[index].type) == VT_R8 ? 2 : 1;
    if (slots > 255) return writeUnavailable(javaText, function, "Too many parameters for a Java method");
    if (auto refusal = variantRefusal(fd, passed)) {
        if (fd.optionalParamCount > 0 && argCount > paramCount - fd.optionalParamCount) return false;
        return writeUnavailable(javaText, function, *refusal);
    }
    auto derivedName = javaMethodNameOf(function);
    if (!derivedName) return writeUnavailable(javaText, function, "Call by reference not available in Java");
    if (!isIdentifierShaped(function.memberName) || !isIdentifierShaped(*derivedName))
        return writeUnavailable(javaText, function, "Name is not a Java identifier");
    const std::string javaMethodName = javaSafeMethodName(*derivedName);

    auto resultJavaType = javaTypeName(fd.result, TypeRole::result);
    const bool returnsValue = resultJavaType.has_value();
    const std::string_view earlyReturn = returnsValue ? "\t\treturn 0;\n" : "\t\treturn;\n";

    std::string signature = javaMethodName + "(";
    std::vector<std::string> javaTypes;
    for (int k = 1; k <= argCount; ++k) {
        javaTypes.push_back(*javaTypeName(fd.params[passed[k - 1]].type, TypeRole::parameter));
        signature += (k > 1 ? "," : "") + javaTypes.back();
    }
    signature += ")";
    if (!declared.insert(signature).second) return writeUnavailable(javaText, function, "Duplicate method");

    // The Java declaration.
    if (hasDoc(function)) appendFormat(javaText, "\t/** %s */\n", {docCommentText(*function.docString)});
    if (returnsValue)
        appendFormat(javaText, "\tpublic native %s %s", {*resultJavaType, javaMethodName});
    else
        appendFormat(javaText, "\tpublic native void %s", {javaMethodName});
    javaText += "(";
    ParameterNameTable usedNames;
    for (int k = 1; k <= argCount; ++k) {
        std::string candidate = "arg";
        const size_t index = static_cast<size_t>(passed[k - 1]);
        if (index < function.parameterNames.size() && isIdentifierShaped(function.parameterNames[index]))
            candidate = function.parameterNames[index];
        if (isJavaReservedWord(candidate)) candidate += '_';
        if (k > 1) javaText += ", ";
        if (k % 12 == 0) javaText += "\n\t\t";
        appendFormat(javaText, "%s %s", {javaTypes[k - 1], uniqueParameterName(candidate, usedNames)});
    }
    javaText += ") throws MivraException;\n\n";

    // The wrapper head and parameter list.
    std::string c;
    c.reserve(2048);
    appendFormat(c, "JNIEXPORT %s JNICALL Java_%s_%s_%s",
                 {jniTypeName(fd.result, TypeRole::result), context.jniPackage, escapeJniName(className),
                  escapeJniName(javaMethodName)});
    if (argCount >= 1) {
        c += "__";
        for (int k = 1; k <= argCount; ++k) c += jniSignaturePiece(fd.params[passed[k - 1]].type, context.jniPackage);
    }
    c += "\n";
    if (argCount == 0) {
        c += "\t(JNIEnv * env, jobject thisObj";
    } else {
        c += "\t(JNIEnv * env,\n\t jobject thisObj";
        for (int k = 1; k <= argCount; ++k) {
            c += ",\n";
            appendFormat(c, "\t %s arg%d", {jniTypeName(fd.params[passed[k - 1]].type, TypeRole::parameter), k});
        }
    }
    c += ")\n{\n";

    // Locals. A VT_PTR result is returned as the value it points to, so it
    // takes the locals of the pointed-to type.
    const uint16_t resultCode = fd.result.vt == VT_PTR ? effectiveCode(fd.result) : fd.result.vt;
    c += "\tDISPPARAMS params;\n\tunsigned int argErr;\n\tHRESULT hr;\n\tVARIANT ret;\n";
    if (resultCode == VT_BSTR || resultCode == VT_LPWSTR) c += "\tjstring retstr;\n";
    if (resultCode == VT_VARIANT) c += "\tjobject retobj;\n";
    c += "\tIDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );\n";
    if (paramCount >= 1) appendFormat(c, "\tVARIANTARG vargs[%d];\n", {paramCount});
    if (fd.invokeKind == 4) c += "\tDISPID dispidNamed = DISPID_PROPERTYPUT;\n";
    int stringTemps = 0, objectTemps = 0, boolTemps = 0;
    for (int k = 1; k <= argCount; ++k) {
        const TypeDescription& type = fd.params[passed[k - 1]].type;
        if (type.vt != VT_PTR) continue;
        uint16_t pointed = effectiveCode(type);
        stringTemps += pointed == VT_BSTR;
        objectTemps += pointed == VT_DISPATCH;
        boolTemps += pointed == VT_BOOL;
    }
    if (stringTemps) appendFormat(c, "\tBSTR tmpbstr[%d];\n", {stringTemps});
    if (objectTemps) appendFormat(c, "\tIDispatch * tmpdisp[%d];\n", {objectTemps});
    if (boolTemps) appendFormat(c, "\tVARIANT_BOOL tmpbool[%d];\n", {boolTemps});

    c += "\tif ( pDisp == 0 ) {\n";
    c += uninitializedThrow;
    c += earlyReturn;
    c += "\t}\n";
    c += "\tmemset(&params, 0, sizeof params);\n";
    if (fd.invokeKind == 4) c += "\tparams.cNamedArgs = 1;\n\tparams.rgdispidNamedArgs = &dispidNamed;\n";

    // Arguments: the first parameter in the highest slot.
    std::vector<int> stringSlots;
    std::vector<bool> slotUsed(static_cast<size_t>(std::max(paramCount, 0)), false);
    int stringTemp = 0, objectTemp = 0, boolTemp = 0;
    auto slotOf = [&](int k) { return paramCount - 1 - passed[k - 1]; };
    auto typeOf = [&](int k) -> const TypeDescription& { return fd.params[passed[k - 1]].type; };
    auto isOutOnly = [&](int k) {
        const uint16_t flags = fd.params[passed[k - 1]].flags;
        return (flags & PARAMFLAG_FOUT) && !(flags & PARAMFLAG_FIN);
    };
    // A refused argument returns at once, so every check comes before the
    // first argument that makes something (a string, a reference) or changes
    // a variant: nothing is left behind by the return.
    auto makesSomething = [&](int k) {
        const TypeDescription& type = typeOf(k);
        if (type.vt == VT_BSTR || type.vt == VT_LPWSTR) return true;
        if (type.vt != VT_PTR) return false;
        const uint16_t pointed = effectiveCode(type);
        return pointed == VT_VARIANT ? isOutOnly(k) : (pointed == VT_BSTR || pointed == VT_DISPATCH) && !isOutOnly(k);
    };
    std::vector<bool> checked(static_cast<size_t>(argCount) + 1, false);
    auto writeCheck = [&](int k) {
        const TypeDescription& type = typeOf(k);
        const uint16_t code = type.vt == VT_PTR ? effectiveCode(type) : type.vt;
        if (code != VT_DISPATCH && code != VT_VARIANT) return;
        appendNullCheck(c, k, earlyReturn);
        if (type.vt == VT_DISPATCH) {
            const int s = slotOf(k);
            appendFormat(c, "\tV_DISPATCH( &vargs[%d] ) = (IDispatch *) (*env)->GetIntField( env, arg%d, comId );\n",
                         {s, k});
            appendFormat(c, "\tif ( V_DISPATCH( &vargs[%d] ) == 0 ) {\n", {s});
            c += uninitializedThrow;
            c += earlyReturn;
            c += "\t}\n";
        }
        checked[k] = true;
    };
    bool checksWritten = false;
    for (int k = 1; k <= argCount; ++k) {
        if (!checksWritten && makesSomething(k)) {
            for (int later = k; later <= argCount; ++later) writeCheck(later);
            checksWritten = true;
        }
        const int s = slotOf(k);
        slotUsed[s] = true;
        const TypeDescription& type = typeOf(k);
        // The callee of an [out] parameter stores into it without freeing what
        // it held: it gets an empty temporary, and what comes back is freed.
        const bool outOnly = isOutOnly(k);
        switch (type.vt) {
        case VT_I2: case VT_I4: case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT:
            appendFormat(c, "\tvargs[%d].vt = %s;\n", {s, varTypeName(type.vt)});
            appendFormat(c, "\tV_I4( &vargs[%d] ) = arg%d;\n", {s, k});
            break;
        case VT_R4:
            appendFormat(c, "\tvargs[%d].vt = VT_R4;\n", {s});
            appendFormat(c, "\tV_R4( &vargs[%d] ) = arg%d;\n", {s, k});
            break;
        case VT_R8:
            appendFormat(c, "\tvargs[%d].vt = VT_R8;\n", {s});
            appendFormat(c, "\tV_R8( &vargs[%d] ) = arg%d;\n", {s, k});
            break;
        case VT_BSTR: case VT_LPWSTR:
            appendFormat(c, "\tvargs[%d].vt = VT_BSTR;\n", {s});
            appendFormat(c, "\tV_BSTR( &vargs[%d] ) = JstringToBstr( env, arg%d );\n", {s, k});
            stringSlots.push_back(s);
            break;
        case VT_DISPATCH:
            appendFormat(c, "\tvargs[%d].vt = VT_DISPATCH;\n", {s});
            if (!checked[k]) writeCheck(k);
            break;
        case VT_BOOL:
            appendFormat(c, "\tvargs[%d].vt = VT_BOOL;\n", {s});
            appendFormat(c, "\tV_BOOL( &vargs[%d] ) = arg%d ? 0xFFFF : 0;\n", {s, k});
            break;
        case VT_VARIANT:
            if (!checked[k]) writeCheck(k);
            appendFormat(c, "\tmemcpy( &vargs[%d], GetMivraVariant( env, arg%d ), sizeof( VARIANT ));\n", {s, k});
            break;
        case VT_PTR: {
            const uint16_t pointed = effectiveCode(type);
            appendFormat(c, "\tvargs[%d].vt = VT_BYREF | %s;\n", {s, varTypeName(pointed)});
            switch (pointed) {
            case VT_BSTR:
                if (outOnly)
                    appendFormat(c, "\ttmpbstr[%d] = NULL;\n", {stringTemp});
                else
                    appendFormat(c, "\ttmpbstr[%d] = JstringToBstr( env, arg%d );\n", {stringTemp, k});
                appendFormat(c, "\tV_BYREF( &vargs[%d] ) = &tmpbstr[%d];\n", {s, stringTemp});
                ++stringTemp;
                break;
            case VT_DISPATCH:
                // The temporary is a second owner of the object's pointer:
                // the callee may release it and store another one.
                if (!checked[k]) writeCheck(k);
                if (outOnly) {
                    appendFormat(c, "\ttmpdisp[%d] = NULL;\n", {objectTemp});
                } else {
                    appendFormat(c, "\ttmpdisp[%d] = (IDispatch *) (*env)->GetIntField( env, arg%d, comId );\n",
                                 {objectTemp, k});
                    appendFormat(c, "\tif ( tmpdisp[%d] != 0 ) tmpdisp[%d]->lpVtbl->AddRef( tmpdisp[%d] );\n",
                                 {objectTemp, objectTemp, objectTemp});
                }
                appendFormat(c, "\tV_BYREF( &vargs[%d] ) = &tmpdisp[%d];\n", {s, objectTemp});
                ++objectTemp;
                break;
            case VT_VARIANT:
                // The variant's own block is the temporary; what comes back
                // stays in it for Java.
                if (!checked[k]) writeCheck(k);
                if (outOnly) appendFormat(c, "\tVariantClear( GetMivraVariant( env, arg%d ));\n", {k});
                appendFormat(c, "\tV_BYREF( &vargs[%d] ) = GetMivraVariant( env, arg%d );\n", {s, k});
                break;
            case VT_BOOL:
                // A one-byte jboolean cannot take the two-byte VARIANT_BOOL
                // that the callee reads and writes.
                appendFormat(c, "\ttmpbool[%d] = arg%d ? VARIANT_TRUE : VARIANT_FALSE;\n", {boolTemp, k});
                appendFormat(c, "\tV_BYREF( &vargs[%d] ) = &tmpbool[%d];\n", {s, boolTemp});
                ++boolTemp;
                break;
            default:
                appendFormat(c, "\tV_BYREF( &vargs[%d] ) = &arg%d;\n", {s, k});
                break;
            }
            break;
        }
        default:
            break;
        }
    }
    for (int s = paramCount - 1; s >= 0; --s) {
        if (slotUsed[s]) continue;
        appendFormat(c, "\tvargs[%d].vt = VT_ERROR;\n", {s});
        appendFormat(c, "\tV_I4( &vargs[%d] ) = DISP_E_PARAMNOTFOUND;\n", {s});
    }

    // The call. The result starts zero-filled, so that a server returning
    // nothing yields a null string or an empty object, never stray bits.
    c += "\tmemset(&ret, 0, sizeof ret);\n";
    c += "\tVariantInit(&ret);\n";
    appendFormat(c, "\tparams.cArgs = %d;\n", {paramCount});
    if (paramCount >= 1) c += "\tparams.rgvarg = vargs;\n";
    appendFormat(c, "\thr = pDisp->lpVtbl->Invoke( pDisp, %d, &IID_NULL, LOCALE_SYSTEM_DEFAULT, %d,\n",
                 {fd.memberId, fd.invokeKind});
    c += "\t\t\t&params, &ret, NULL, &argErr );\n";
    for (int s : stringSlots) appendFormat(c, "\tSysFreeString( V_BSTR( &vargs[%d] ));\n", {s});
    for (int t = 0; t < stringTemps; ++t) appendFormat(c, "\tSysFreeString( tmpbstr[%d] );\n", {t});
    for (int t = 0; t < objectTemps; ++t)
        appendFormat(c, "\tif ( tmpdisp[%d] != 0 ) tmpdisp[%d]->lpVtbl->Release( tmpdisp[%d] );\n", {t, t, t});
    c += "\tif ( FAILED( hr )) {\n\t\tThrowComException( env, hr );\n";
    if (returnsValue) c += "\t\treturn 0;\n";
    c += "\t}\n";
    if (returnsValue) writeReturnConversion(c, fd.result);
    c += "}\n\n";
    context.writeC(c);
    ++context.jniFunctionCount;
    return true;
}

void writeReturnConversion(std::string& c, const TypeDescription& result) {
    uint16_t code = result.vt;
    if (code == VT_PTR) {
        // The value pointed to, not the reference, goes back to Java.
        c += "\tVariantCopyInd( &ret, &ret );\n";
        code = effectiveCode(result);
    }
    switch (code) {
    case VT_I2: c += "\treturn V_I2( &ret );\n"; break;
    case VT_I4: c += "\treturn V_I4( &ret );\n"; break;
    case VT_R4: c += "\treturn V_R4( &ret );\n"; break;
    case VT_R8: c += "\treturn V_R8( &ret );\n"; break;
    case VT_UI2: c += "\treturn V_UI2( &ret );\n"; break;
    case VT_UI4: c += "\treturn V_UI4( &ret );\n"; break;
    case VT_INT: c += "\treturn V_INT( &ret );\n"; break;
    case VT_UINT: c += "\treturn V_UINT( &ret );\n"; break;
    case VT_BSTR: case VT_LPWSTR:
        c += "\tretstr = BstrToJstr( env, V_BSTR( &ret ));\n\tVariantClear( &ret );\n\treturn retstr;\n";
        break;
    case VT_DISPATCH: c += "\treturn DispatchToJobject( env, V_DISPATCH( &ret ));\n"; break;
    case VT_BOOL: c += "\treturn V_BOOL( &ret ) ? JNI_TRUE : JNI_FALSE;\n"; break;
    case VT_VARIANT:
        c += "\tretobj = VariantObject( env, &ret );\n\tVariantClear( &ret );\n\treturn retobj;\n";
        break;
    default: c += "\treturn 0;\n"; break;
    }
}

}  // namespace mivra
