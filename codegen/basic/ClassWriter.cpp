#include <algorithm>
#include <array>
#include <cerrno>
#include <unordered_set>

#include "Format.h"
#include "ResolvedLibrary.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {

namespace {

// Types the generated code names unqualified: a generated class of such a
// name would take their place inside the package.
constexpr std::array<std::string_view, 9> takenClassNames = {
    "MivraObject", "MivraVariant", "MivraException", "String", "Object",
    "Exception", "Throwable", "System", "ClassCastException",
};

// The registry's text goes into a C wide-string literal: only the characters
// of a ProgID or a braced GUID may get there.
std::string identifierLiteral(const GenerationContext& context, const Guid& guid) {
    std::string text = context.identifierText(guid);
    bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-' || c == '{' || c == '}';
    });
    return plain ? text : guidText(guid);
}

// Which types get a class: names that are Java identifiers and not yet
// taken by an earlier class of the run (compared without regard to case,
// as file names are on Windows).
struct ClassPlan {
    std::unordered_set<std::string> taken;
    std::unordered_set<const InterfaceRecord*> interfaces;

    // Empty when the name can be used, else why not.
    std::string refusal(std::string_view name) {
        if (!isJavaIdentifier(name)) return "Not a Java identifier; no class written for this type";
        if (!fitsFileName(std::string(name) + ".java"))
            return "Name too long for a file name; no class written for this type";
        if (std::find(takenClassNames.begin(), takenClassNames.end(), name) != takenClassNames.end() ||
            !taken.insert(lowered(name)).second)
            return "Name already used by another class; no class written for this type";
        return {};
    }
};

std::string subjectOf(const std::string& name, const Guid& guid) { return name.empty() ? guidText(guid) : name; }

std::vector<const InterfaceRecord*> exposedInterfaces(const CoclassRecord& coclass, const ClassPlan& plan) {
    std::vector<const InterfaceRecord*> listed;
    for (const InterfaceRecord* record : coclass.interfaces) {
        if (!plan.interfaces.count(record)) continue;
        if (std::find(listed.begin(), listed.end(), record) != listed.end()) continue;
        listed.push_back(record);
    }
    return listed;
}

std::string objectClassText(const GenerationContext& context, const CoclassRecord& coclass,
                            const std::vector<const InterfaceRecord*>& listed) {
    const std::string& name = coclass.name;
    std::string text;
    if (!context.packageName.empty()) appendFormat(text, "package %s;\n", {context.packageName});
    if (!coclass.docString.empty()) appendFormat(text, "/** %s */\n", {docCommentText(coclass.docString)});
    text += "\n";
    appendFormat(text, "public class %s extends MivraObject {\n\n", {name});
    text += "\t// Available COM interface objects.\n\t//\n\n";
    for (const InterfaceRecord* record : listed) {
        appendFormat(text, "\t/** Retrieve the COM Interface \"%s\" */\n", {record->name});
        appendFormat(text, "\tpublic %s get%s() { return _intf%s; }\n", {record->name, record->name, record->name});
    }
    text += "\n\n\t// Implementation\n\t/** Default COM object constructor */\n";
    appendFormat(text, "\tpublic %s() throws MivraException\n", {name});
    text += "\t{\n\t\tthis( false );\n\t}\n\n";
    text += "\t/** Alternate constructor.\n\t  * Try to find existing COM object.\n\t  */\n";
    appendFormat(text, "\tpublic %s( boolean find ) throws MivraException\n", {name});
    text += "\t{\n\t\tif ( ! __MivraCreateObject( find ))\n";
    appendFormat(text, "\t\t\tthrow new MivraException( \"Object creation failed for COM object \\\"%s\\\"\" );\n",
                 {name});
    for (const InterfaceRecord* record : listed) {
        appendFormat(text, "\t\tif ( ! _intf%s.__MivraLoad( this ))\n", {record->name});
        appendFormat(text,
                     "\t\t\tthrow new MivraException( \"COM Interface \\\"%s\\\" was not found for COM object "
                     "\\\"%s\\\"\" );\n",
                     {record->name, name});
    }
    text += "\t}\n\n\t/** JNI function used internally by Mivra */\n";
    text += "\tpublic native boolean __MivraCreateObject( boolean find );\n\n";
    for (const InterfaceRecord* record : listed)
        appendFormat(text, "\t%s _intf%s = new %s();\n", {record->name, record->name, record->name});
    text += "\n}\n";
    return text;
}

std::string creationFunction(const GenerationContext& context, const CoclassRecord& coclass) {
    std::string c;
    std::string identifier = identifierLiteral(context, coclass.clsid);
    appendFormat(c, "JNIEXPORT jboolean JNICALL Java_%s_%s__1_1MivraCreateObject\n",
                 {context.jniPackage, escapeJniName(coclass.name)});
    c += "\t(JNIEnv * env, jobject thisObj, jboolean find)\n{\n\tHRESULT ret;\n\tCLSID clsid;\n\tIUnknown * pUnk;\n";
    if (!identifier.empty() && identifier[0] == '{')
        appendFormat(c, "\tret = CLSIDFromString( L\"%s\", &clsid );\n", {identifier});
    else
        appendFormat(c, "\tret = CLSIDFromProgID( L\"%s\", &clsid );\n", {identifier});
    c += "\tif ( FAILED( ret )) return 0;\n"
         "\tif ( find )\n"
         "\t\tret = GetActiveObject( &clsid, NULL, &pUnk );\n"
         "\telse\n"
         "\t\tret = CoCreateInstance( &clsid, NULL, CLSCTX_SERVER,\n"
         "\t\t\t\t\t&IID_IUnknown, (void **)&pUnk);\n"
         "\tif ( FAILED( ret )) return 0;\n"
         "\t(*env)->SetIntField( env, thisObj, comId, (jint) pUnk );\n"
         "\treturn 1;\n"
         "}\n\n";
    return c;
}

// The load function asks the other object's pointer for this interface; an
// object that is null or holds no pointer has none to give.
std::string loadFunction(const GenerationContext& context, const InterfaceRecord& record) {
    std::string c;
    std::string identifier = identifierLiteral(context, record.iid);
    appendFormat(c, "JNIEXPORT jboolean JNICALL Java_%s_%s__1_1MivraLoad\n",
                 {context.jniPackage, escapeJniName(record.name)});
    c += "\t(JNIEnv * env, jobject thisObj, jobject obj )\n{\n\tHRESULT ret;\n\tIUnknown * pUnk;\n"
         "\tIDispatch * pDisp;\n\tIID iid;\n";
    if (!identifier.empty() && identifier[0] == '{')
        appendFormat(c, "\tret = IIDFromString( L\"%s\", &iid );\n", {identifier});
    else
        appendFormat(c, "\tret = CLSIDFromProgID( L\"%s\", &iid );\n", {identifier});
    c += "\tif ( FAILED( ret )) return 0;\n"
         "\tif ( obj == NULL ) return 0;\n"
         "\tpUnk = (IUnknown *) (*env)->GetIntField( env, obj, comId );\n"
         "\tif ( pUnk == 0 ) return 0;\n"
         "\tif ( FAILED( pUnk->lpVtbl->QueryInterface( pUnk, &iid, (void **) &pDisp ))) return 0;\n"
         "\t(*env)->SetIntField( env, thisObj, comId, (jint) pDisp );\n"
         "\treturn 1;\n"
         "}\n\n";
    return c;
}

void writeMethods(GenerationContext& context, std::string& text, const InterfaceRecord& record,
                  uint16_t functionCount) {
    const TypeLibraryReader& library = *context.model->library;
    MethodSignatureSet declared;
    for (uint32_t k = 0; k < functionCount; ++k) {
        auto description = library.function(record.typeIndex, k);
        if (!description) continue;
        uint32_t nameRoom = static_cast<uint32_t>(std::max<int>(description->paramCount, 0)) + 1;
        auto names = library.names(record.typeIndex, description->memberId, nameRoom);
        if (!names || names->empty()) continue;
        FunctionView view;
        view.memberName = names->front();
        view.parameterNames.assign(names->begin() + 1, names->end());
        view.docString = library.memberDocString(record.typeIndex, description->memberId);
        view.description = std::move(*description);
        const FunctionDescription& fd = view.description;
        if (isBaseInterfaceMethod(view.memberName) || fd.optionalParamCount < 0) continue;
        // A description whose counts disagree with its parameter list cannot
        // be marshalled; it is passed over like one that cannot be read.
        if (fd.paramCount < 0 || fd.optionalParamCount > fd.paramCount ||
            static_cast<size_t>(fd.paramCount) != fd.params.size())
            continue;
        for (int j = 0; j <= fd.optionalParamCount; ++j) {
            int argCount = fd.paramCount - fd.optionalParamCount + j;
            if (!writeMethodVariant(context, text, record.name, view, argCount, declared)) break;
        }
    }
}

std::string interfaceClassTail(const std::string& name) {
    std::string text;
    text += "\n\n\t// Implementation\n\t//\n\n\t/** Default constructor for COM-interface object */\n\n";
    appendFormat(text, "\tpublic %s()\n", {name});
    text += "\t{\n\t}\n\n";
    text += "\t/** Constructor for COM-interface object.  Uses the interface\n\t  * from existing MivraObject */\n\n";
    appendFormat(text, "\tpublic %s( MivraObject obj )\n", {name});
    text += "\t{\n\t\tif ( ! __MivraLoad( obj ))\n";
    appendFormat(text, "\t\t\tthrow new ClassCastException( \"Object/interface passed does not support \\\"%s\\\"\" );\n",
                 {name});
    text += "\t}\n\n\t/** JNI function used internally by Mivra */\n";
    text += "\tpublic native boolean __MivraLoad( MivraObject obj );\n";
    text += "}\n\n";
    return text;
}

// The constants of a module as Java declares them, one line each, or why
// one is not available; its functions are entry points of a DLL, which
// IDispatch cannot reach.
std::string moduleMembersText(const TypeLibraryReader& library, uint32_t index, const TypeAttributes& attributes) {
    std::string text;
    std::unordered_set<std::string> declared;
    auto unavailable = [&](const std::string& member, const char* what, const char* reason) {
        appendFormat(text, "\t// %s:\n\t\t// %s is not available: %s\n", {lineCommentText(member), what, reason});
    };
    for (uint32_t k = 0; k < attributes.varCount; ++k) {
        auto variable = library.variable(index, k);
        if (!variable) continue;
        auto names = library.names(index, variable->memberId, 1);
        if (!names || names->empty()) continue;
        const std::string& member = names->front();
        std::string name = isJavaReservedWord(member) ? member + "_" : member;
        std::string type, literal;
        if (variable->varKind != VAR_CONST || !variable->value)
            unavailable(member, "Constant", "Not a constant");
        else if (!isJavaIdentifier(name))
            unavailable(member, "Constant", "Name is not a Java identifier");
        else if (!javaConstant(*variable->value, type, literal))
            unavailable(member, "Constant", "Type of the value not available in Java");
        else if (!declared.insert(name).second)
            unavailable(member, "Constant", "Duplicate constant");
        else {
            auto doc = library.memberDocString(index, variable->memberId);
            if (doc && !doc->empty()) appendFormat(text, "\t/** %s */\n", {docCommentText(*doc)});
            appendFormat(text, "\tpublic static final %s %s = %s;\n", {type, name, literal});
        }
    }
    for (uint32_t k = 0; k < attributes.funcCount; ++k) {
        auto function = library.function(index, k);
        if (!function) continue;
        auto names = library.names(index, function->memberId, 1);
        if (names && !names->empty())
            unavailable(names->front(), "Function", "A DLL entry point, which cannot be called through IDispatch");
    }
    return text;
}

// A class of constants for each module that has any.
void writeModules(GenerationContext& context, ClassPlan& plan) {
    const TypeLibraryReader& library = *context.model->library;
    for (uint32_t i = 0; i < library.typeInfoCount(); ++i) {
        auto attributes = library.typeAttributes(i);
        if (!attributes || attributes->kind != TKIND_MODULE || attributes->varCount == 0) continue;
        auto doc = library.documentation(static_cast<int32_t>(i));
        std::string name = doc && doc->name ? *doc->name : std::string();
        if (std::string refusal = plan.refusal(name); !refusal.empty()) {
            context.reportError(subjectOf(name, attributes->guid), refusal);
            continue;
        }
        errno = 0;
        auto file = createJavaFile(context, name);
        if (!file && errno == ENAMETOOLONG) continue;
        if (!file) break;
        std::string text;
        if (!context.packageName.empty()) appendFormat(text, "package %s;\n", {context.packageName});
        text += "\n";
        if (doc && doc->docString && !doc->docString->empty())
            appendFormat(text, "/** %s */\n", {docCommentText(*doc->docString)});
        appendFormat(text, "public final class %s {\n\n", {name});
        text += moduleMembersText(library, i, *attributes);
        appendFormat(text, "\n\tprivate %s() {\n\t}\n}\n", {name});
        file->write(text);
    }
}

}  // namespace

bool writeClasses(GenerationContext& context) {
    const TypeModel& model = *context.model;
    ClassPlan plan;
    std::vector<std::string> coclassRefusals;
    for (const CoclassRecord& coclass : model.coclasses) coclassRefusals.push_back(plan.refusal(coclass.name));
    std::vector<std::pair<const InterfaceRecord*, std::string>> interfaces;
    for (const InterfaceRecord* record : model.interfaces.inOrder()) {
        std::string refusal = plan.refusal(record->name);
        if (refusal.empty()) plan.interfaces.insert(record);
        interfaces.emplace_back(record, std::move(refusal));
    }

    for (size_t i = 0; i < model.coclasses.size(); ++i) {
        const CoclassRecord& coclass = model.coclasses[i];
        if (!coclassRefusals[i].empty()) {
            context.reportError(subjectOf(coclass.name, coclass.clsid), coclassRefusals[i]);
            continue;
        }
        errno = 0;
        auto file = createJavaFile(context, coclass.name);
        if (!file && errno == ENAMETOOLONG) continue;  // only this class's path is too long
        if (!file) break;
        file->write(objectClassText(context, coclass, exposedInterfaces(coclass, plan)));
        file.reset();
        context.writeC(creationFunction(context, coclass));
        ++context.jniFunctionCount;
    }

    for (const auto& [record, refusal] : interfaces) {
        auto attributes = model.library ? model.library->typeAttributes(record->typeIndex)
                                        : Result<TypeAttributes>(fail("no library"));
        if (!attributes) continue;
        if (!refusal.empty()) {
            context.reportError(subjectOf(record->name, record->iid), refusal);
            continue;
        }
        errno = 0;
        auto file = createJavaFile(context, record->name);
        if (!file && errno == ENAMETOOLONG) continue;
        if (!file) break;
        std::string text;
        if (!context.packageName.empty()) appendFormat(text, "package %s;\n", {context.packageName});
        text += "\n";
        if (!record->docString.empty()) appendFormat(text, "/** %s */\n", {docCommentText(record->docString)});
        appendFormat(text, "public class %s extends MivraObject {\n\n", {record->name});
        writeMethods(context, text, *record, attributes->funcCount);
        text += interfaceClassTail(record->name);
        file->write(text);
        file.reset();
        context.writeC(loadFunction(context, *record));
        ++context.jniFunctionCount;
    }

    writeModules(context, plan);
    writeSupportClasses(context);
    return true;
}

}  // namespace mivra
