#include "FullWriters.h"

#include <algorithm>

#include "Format.h"
#include "Escaping.h"
#include "JavaFileHeader.h"

namespace mivra {

namespace {

std::string javaHeader(const FullWriteInputs& inputs, const std::string& path) {
    std::string text = javaFileHeader(path, inputs.timeText);
    if (!inputs.packageName.empty()) appendFormat(text, "package %s;\n\n", {inputs.packageName});
    return text;
}

void appendImports(std::string& text, const FullClass& cls, bool codes = true) {
    if (codes) text += "import static mivra.runtime.MivraVariant.*;\n\n";
    if (cls.usesHolder) text += "import mivra.runtime.Holder;\n";
    text += "import mivra.runtime.MivraObject;\n";
    if (cls.usesVariant) text += "import mivra.runtime.MivraVariant;\n";
    text += "\n";
}

const char* invokeKindName(uint32_t kind) {
    switch (kind) {
    case 2: return "PROPERTYGET";
    case 4: return "PROPERTYPUT";
    case 8: return "PROPERTYPUTREF";
    default: return "METHOD";
    }
}

void appendDoc(std::string& text, const std::string* doc, std::string_view indent) {
    if (doc) appendFormat(text, "%s/** %s */\n", {indent, javadocText(*doc)});
}

void appendDoc(std::string& text, const std::optional<std::string>& doc, std::string_view indent) {
    appendDoc(text, doc ? &*doc : nullptr, indent);
}

// A class says what it stands for when the library does not.
void appendClassDoc(std::string& text, const FullClass& cls, std::string_view what) {
    if (cls.docString)
        appendDoc(text, cls.docString, "");
    else
        appendFormat(text, "/** %s %s. */\n", {what, cls.name});
}

void appendArgument(std::string& text, const FullMember& member, const FullArgument& argument) {
    if (argument.parameter < 0) {
        text += "MISSING";
        return;
    }
    const FullParameter& parameter = member.parameters[size_t(argument.parameter)];
    if (parameter.type.wrapInHolder)
        text.append("new Holder<>(").append(parameter.name).append(")");
    else
        text += parameter.name;
}

void appendCallHead(std::string& call, const FullMember& member) {
    if (member.slot >= 0) {
        call.append("mivraVtblCall(IID, ").append(std::to_string(member.slot)).append(", ");
    } else {
        call.append("mivraCall(").append(std::to_string(member.dispId)).append(", ");
        call.append(invokeKindName(member.invokeKind)).append(", ");
    }
    call.append(vtCodeText(member.result ? member.result->vt : uint16_t(VT_EMPTY))).append(", ");
}

void appendResultStatement(std::string& text, const FullMember& member, const std::string& call) {
    if (!member.result) {
        text.append("\t\t").append(call).append(";\n");
        return;
    }
    text += "\t\treturn ";
    appendResultExpression(text, *member.result, call);
    text += ";\n";
}

// The call: the arguments in declaration order, MISSING for those left out;
// the trailing arguments of a vararg function travel one VARIANT each after
// the fixed ones.
void appendMethodBody(std::string& text, const FullMember& member) {
    std::string call;
    appendCallHead(call, member);
    const bool varargs = !member.parameters.empty() && member.parameters.back().type.varargs;
    if (!varargs) {
        if (member.arguments.empty() && member.slot < 0) {
            // The runtime's own form for no arguments makes no arrays.
            call.resize(call.size() - 2);
            call += ")";
        } else if (member.arguments.empty()) {
            call += "new Object[0], new int[0])";
        } else {
            call += "new Object[] {";
            for (size_t k = 0; k < member.arguments.size(); ++k) {
                if (k) call += ", ";
                appendArgument(call, member, member.arguments[k]);
            }
            call += "}, new int[] {";
            for (size_t k = 0; k < member.arguments.size(); ++k) {
                if (k) call += ", ";
                call += vtCodeText(member.arguments[k].vt);
            }
            call += "})";
        }
        appendResultStatement(text, member, call);
        return;
    }
    const std::string& rest = member.parameters.back().name;
    const size_t fixed = member.arguments.size() - 1;
    appendFormat(text, "\t\tObject[] mivraArgs = new Object[%d + %s.length];\n", {int(fixed), rest});
    text += "\t\tint[] mivraVts = new int[mivraArgs.length];\n";
    for (size_t k = 0; k < fixed; ++k) {
        appendFormat(text, "\t\tmivraArgs[%d] = ", {int(k)});
        appendArgument(text, member, member.arguments[k]);
        appendFormat(text, ";\n\t\tmivraVts[%d] = %s;\n", {int(k), vtCodeText(member.arguments[k].vt)});
    }
    appendFormat(text, "\t\tfor (int mivraI = 0; mivraI < %s.length; ++mivraI) {\n", {rest});
    appendFormat(text, "\t\t\tmivraArgs[%d + mivraI] = %s[mivraI];\n", {int(fixed), rest});
    appendFormat(text, "\t\t\tmivraVts[%d + mivraI] = VT_VARIANT;\n", {int(fixed)});
    text += "\t\t}\n";
    call += "mivraArgs, mivraVts)";
    appendResultStatement(text, member, call);
}

std::string enumLink(const std::string& enumClass) {
    return enumClass.empty() ? std::string() : "; a constant of {@link " + enumClass + "}";
}

// What the library says of a member, else what kind of member it is; then
// each parameter by its library name, and the result.
void appendMemberDoc(std::string& text, const FullMember& member) {
    std::string summary;
    if (member.docString)
        summary = javadocText(*member.docString);
    else if (member.invokeKind == 2)
        summary = "Reads the property " + javadocText(member.memberName) + ".";
    else if (member.invokeKind == 4)
        summary = "Sets the property " + javadocText(member.memberName) + ".";
    else if (member.invokeKind == 8)
        summary = "Sets the property " + javadocText(member.memberName) + " to an object reference.";
    else
        summary = "Calls " + javadocText(member.memberName) + ".";
    if (member.parameters.empty() && !member.result) {
        appendFormat(text, "\t/** %s */\n", {summary});
        return;
    }
    appendFormat(text, "\t/**\n\t * %s\n\t *\n", {summary});
    for (const FullParameter& parameter : member.parameters) {
        std::string line = parameter.type.varargs ? "the further arguments"
                           : parameter.libraryName.empty()
                               ? std::string("the value")
                               : "<code>" + javadocText(parameter.libraryName) + "</code>";
        if ((parameter.type.vt & VT_BYREF) && !parameter.type.wrapInHolder)
            line += ", by reference: what the server leaves in it comes back";
        if (parameter.optional)
            line += parameter.defaultText.empty() ? ", optional"
                                                  : ", optional (default " + javadocText(parameter.defaultText) + ")";
        line += enumLink(parameter.enumClass);
        appendFormat(text, "\t * @param %s %s\n", {parameter.name, line});
    }
    if (member.result)
        appendFormat(text, "\t * @return the result%s\n", {enumLink(member.resultEnumClass)});
    text += "\t */\n";
}

// The comment standing for a member that has no method: what it is, and why.
void appendRefusal(std::string& text, const FullMember& member, std::string_view kind) {
    if (member.docString) appendFormat(text, "\t// %s\n", {lineCommentText(*member.docString)});
    appendFormat(text, "\t// %s:\n", {lineCommentText(member.memberName)});
    appendFormat(text, "\t\t// %s is not available: %s\n", {kind, lineCommentText(member.refusal)});
}

// Each member after an empty line, as the constructors before them.
void appendMember(std::string& text, const FullMember& member) {
    text += "\n";
    if (!member.refusal.empty()) {
        appendRefusal(text, member, "Function");
        return;
    }
    appendMemberDoc(text, member);
    if (member.overridesDeprecated) text += "\t@Override\n\t@SuppressWarnings(\"deprecation\")\n";
    text.append("\tpublic ").append(member.result ? member.result->name : std::string("void")).append(" ");
    text.append(member.javaName).append("(");
    for (size_t k = 0; k < member.parameters.size(); ++k) {
        if (k) text += ", ";
        text.append(member.parameters[k].type.name).append(" ").append(member.parameters[k].name);
    }
    text += ") {\n";
    appendMethodBody(text, member);
    text += "\t}\n";
}

std::string enumerateCall(const std::string& element) {
    if (element == "MivraVariant") return "mivraEnumerate()";
    // Each element gets the most derived class of the package it answers
    // to, as object results do.
    return "mivraEnumerate(" + element + ".class, " + std::string(classTableClassName) + ".TABLE)";
}

bool writeFile(Output& output, const std::string& name, const std::string& text, const FullReport& report) {
    auto sink = output.open(name);
    if (sink) sink->write(text);
    if (!sink || !sink->close()) {
        report(output.pathOf(name), "Cannot write file");
        return false;
    }
    return true;
}

std::string classLink(const FullWriteInputs& inputs, const std::string& name) {
    std::string href = inputs.classPathPackage.empty() ? name + ".html" : inputs.classPathPackage + "/" + name + ".html";
    std::string shown = inputs.packageName.empty() ? name : inputs.packageName + "." + name;
    return format("<a href=\"%s\">%s</a>", {htmlText(href), htmlText(shown)});
}

void appendDocItalic(std::string& text, const std::optional<std::string>& doc) {
    if (doc) appendFormat(text, " <i>%s</i>", {javadocText(*doc)});
}

}  // namespace

std::string javadocText(std::string_view text) {
    // Most names and doc strings need none of the escapes below.
    if (text.find_first_of("&<>\"\\*@{\n\r") == std::string_view::npos) return std::string(text);
    std::string out;
    for (char c : docCommentText(htmlText(text))) {
        if (c == '@') out += "&#64;";
        else if (c == '{') out += "&#123;";
        else if (c == '\n' || c == '\r') out += ' ';
        else out += c;
    }
    return out;
}

std::string fullInterfaceClassText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path) {
    const std::string& name = cls.name;
    std::string text = javaHeader(inputs, path);
    text.reserve(2048 + 256 * cls.members.size());
    appendImports(text, cls);
    appendClassDoc(text, cls, "The COM interface");
    appendFormat(text, "public class %s extends %s", {name, cls.baseClass});
    if (!cls.iterableElement.empty()) appendFormat(text, " implements Iterable<%s>", {cls.iterableElement});
    text += " {\n\n";
    appendFormat(text, "\t/** The interface identifier of %s. */\n", {name});
    appendFormat(text, "\tpublic static final String IID = \"%s\";\n\n", {cls.iid});
    appendFormat(text,
                 "\t/**\n\t * Takes the interface %s from another object (QueryInterface).\n\t *\n"
                 "\t * @param obj the object asked for it\n\t */\n",
                 {name});
    appendFormat(text, "\tpublic %s(MivraObject obj) {\n\t\tsuper(obj, IID, \"%s\");\n\t}\n\n", {name, name});
    text += "\t/**\n\t * Takes another interface from an object, for the classes that extend this one.\n\t *\n"
            "\t * @param obj the object asked for it\n\t * @param iid the interface identifier\n"
            "\t * @param name the interface's name, for the message\n\t */\n";
    appendFormat(text, "\tprotected %s(MivraObject obj, String iid, String name) {\n\t\tsuper(obj, iid, name);\n\t}\n\n",
                 {name});
    text += "\t/**\n\t * Takes over a reference the runtime hands out.\n\t *\n\t * @param ref the reference\n\t */\n";
    appendFormat(text, "\tprotected %s(Ref ref) {\n\t\tsuper(ref);\n\t}\n", {name});
    if (cls.creatableBase) {
        text += "\n\t/**\n\t * Creates a COM object, for the object classes that extend this one.\n\t *\n"
                "\t * @param classId the ProgID or braced CLSID\n"
                "\t * @param find true to take the running object instead of creating one\n\t */\n";
        appendFormat(text, "\tprotected %s(String classId, boolean find) {\n\t\tsuper(classId, find);\n\t}\n", {name});
    }
    for (const FullMember& member : cls.members) appendMember(text, member);
    if (!cls.iterableElement.empty()) {
        text += "\n\t/**\n\t * Iterates the collection (DISPID_NEWENUM, IEnumVARIANT).\n\t *\n"
                "\t * @return an iterator over the elements\n\t */\n";
        text += "\t@Override\n";
        appendFormat(text, "\tpublic java.util.Iterator<%s> iterator() {\n\t\treturn %s;\n\t}\n",
                     {cls.iterableElement, enumerateCall(cls.iterableElement)});
    }
    text += "}\n";
    return text;
}

std::string fullObjectClassText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path) {
    const std::string& name = cls.name;
    const bool extendsInterface = cls.baseClass != "MivraObject";
    std::string text = javaHeader(inputs, path);
    if (!cls.sourceInterfaces.empty()) text += "import mivra.runtime.ListenerHandle;\n";
    text += "import mivra.runtime.MivraObject;\n\n";
    appendClassDoc(text, cls, "The COM object");
    appendFormat(text, "public class %s extends %s {\n\n", {name, cls.baseClass});
    for (const std::string& interface : cls.interfaces) appendFormat(text, "\tprivate %s intf%s;\n", {interface, interface});
    if (!cls.interfaces.empty()) text += "\n";
    bool first = true;
    auto separate = [&] {
        if (!first) text += "\n";
        first = false;
    };
    if (cls.creatable) {
        separate();
        appendFormat(text, "\t/** Creates the COM object %s. */\n", {name});
        appendFormat(text, "\tpublic %s() {\n\t\tthis(false);\n\t}\n\n", {name});
        appendFormat(text,
                     "\t/**\n\t * Creates the COM object %s, or finds the running one.\n\t *\n"
                     "\t * @param find true to take the running object instead of creating one\n\t */\n",
                     {name});
        appendFormat(text, "\tpublic %s(boolean find) {\n\t\tsuper(\"%s\", find);\n\t}\n",
                     {name, javaStringText(cls.classId)});
    }
    if (extendsInterface) {
        separate();
        appendFormat(text,
                     "\t/**\n\t * Takes the default interface of %s, %s, from another object (QueryInterface).\n"
                     "\t *\n\t * @param obj the object asked for it\n\t */\n",
                     {name, cls.baseClass});
        appendFormat(text, "\tpublic %s(MivraObject obj) {\n\t\tsuper(obj, \"%s\", \"%s\");\n\t}\n\n",
                     {name, cls.defaultIid, cls.baseClass});
        text += "\t/**\n\t * Takes over a reference the runtime hands out.\n\t *\n\t * @param ref the reference\n\t */\n";
        appendFormat(text, "\tprotected %s(Ref ref) {\n\t\tsuper(ref);\n\t}\n", {name});
    }
    for (size_t i = 0; i < cls.interfaces.size(); ++i) {
        const std::string& interface = cls.interfaces[i];
        appendFormat(text,
                     "\n\t/**\n\t * Retrieve the COM Interface \"%s\": the same object on every call, closed with this "
                     "one.\n\t *\n\t * @return the interface object\n\t */\n",
                     {interface});
        appendFormat(text, "\tpublic synchronized %s %s() {\n", {interface, cls.getterNames[i]});
        appendFormat(text, "\t\tif (intf%s == null) intf%s = new %s(this);\n", {interface, interface, interface});
        appendFormat(text, "\t\treturn intf%s;\n\t}\n", {interface});
    }
    for (const std::string& source : cls.sourceInterfaces) {
        appendFormat(text,
                     "\n\t/**\n\t * Connects a listener to the object's events of %s.\n\t *\n"
                     "\t * @param listener the listener, held until the connection is closed\n"
                     "\t * @return the connection: closing it ends the events\n\t */\n",
                     {source});
        appendFormat(text, "\tpublic ListenerHandle add%sListener(%s listener) {\n", {source, source});
        appendFormat(text, "\t\treturn addListener(new %s.Adapter(), listener);\n\t}\n", {source});
    }
    if (!cls.interfaces.empty()) {
        text += "\n\t/** Releases the object and the interface objects taken from it. */\n";
        text += "\t@Override\n\tpublic synchronized void close() {\n";
        for (const std::string& interface : cls.interfaces)
            appendFormat(text, "\t\tif (intf%s != null) intf%s.close();\n", {interface, interface});
        text += "\t\tsuper.close();\n\t}\n";
    }
    text += "}\n";
    return text;
}

// The package's classes by interface, for the class of an object result:
// each interface class in library order (the last declared wins a tie),
// then each object class's default interface.
std::string fullClassTableText(const FullModel& model, const FullWriteInputs& inputs, const std::string& path) {
    std::string text = javaHeader(inputs, path);
    text += "import mivra.runtime.ClassTable;\n\n";
    text += "/** The interface classes of this package, which give object results their class. */\n";
    appendFormat(text, "final class %s {\n\n", {classTableClassName});
    text += "\t/** Each interface class by its IID, and the default interface of each object class. */\n";
    text += "\tstatic final ClassTable TABLE = new ClassTable();\n\n\tstatic {\n";
    for (const FullClass& cls : model.classes)
        if (cls.kind == FullClass::Kind::Interface)
            appendFormat(text, "\t\tTABLE.add(%s.IID, %s.class, %s::new);\n", {cls.name, cls.name, cls.name});
    for (const FullClass& cls : model.classes)
        if (cls.kind == FullClass::Kind::Object && !cls.defaultIid.empty())
            appendFormat(text, "\t\tTABLE.defaultInterface(\"%s\", %s.IID);\n",
                         {javaStringText(cls.libraryName), cls.baseClass});
    text += "\t}\n\n";
    appendFormat(text, "\tprivate %s() {\n\t}\n}\n", {classTableClassName});
    return text;
}

// The listener interface and its adapter: the declared types of each
// event's arguments and the call of its method, both by DISPID.
std::string fullListenerText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path) {
    const std::string& name = cls.name;
    std::string text = javaHeader(inputs, path);
    text.reserve(2048 + 256 * cls.members.size());
    text += "import static mivra.runtime.MivraVariant.*;\n\n";
    text += "import mivra.runtime.EventAdapter;\n";
    appendImports(text, cls, false);
    if (cls.docString)
        appendDoc(text, cls.docString, "");
    else
        appendFormat(text, "/** The events of the COM source interface %s. */\n", {name});
    appendFormat(text, "public interface %s {\n\n", {name});
    appendFormat(text, "\t/** The interface identifier of %s. */\n", {name});
    appendFormat(text, "\tString IID = \"%s\";\n", {cls.iid});
    for (const FullMember& member : cls.members) {
        text += "\n";
        if (!member.refusal.empty()) {
            appendRefusal(text, member, "Event");
            continue;
        }
        const std::string summary = member.docString ? javadocText(*member.docString)
                                                     : format("The event %s; does nothing unless overridden.",
                                                              {member.memberName});
        if (member.parameters.empty()) {
            appendFormat(text, "\t/** %s */\n", {summary});
        } else {
            appendFormat(text, "\t/**\n\t * %s\n\t *\n", {summary});
            for (const FullParameter& parameter : member.parameters)
                appendFormat(text, "\t * @param %s %s\n",
                             {parameter.name, parameter.type.vt & VT_BYREF
                                                  ? "the argument by reference: what is left in it goes back to the server"
                                                  : "the argument"});
            text += "\t */\n";
        }
        appendFormat(text, "\tdefault void %s(", {member.javaName});
        for (size_t k = 0; k < member.parameters.size(); ++k) {
            if (k) text += ", ";
            text.append(member.parameters[k].type.name).append(" ").append(member.parameters[k].name);
        }
        text += ") {\n\t}\n";
    }
    appendFormat(text, "\n\t/** Connects a listener to any object's events of %s: obj.addListener(new %s.Adapter(), listener). */\n",
                 {name, name});
    appendFormat(text, "\tpublic static final class Adapter extends EventAdapter<%s> {\n\n", {name});
    appendFormat(text, "\t\t/** Creates the adapter of %s. */\n", {name});
    appendFormat(text, "\t\tpublic Adapter() {\n\t\t\tsuper(IID, %s.class);\n\t\t}\n\n", {name});
    text += "\t\t@Override\n\t\tprotected int[] types(int dispId, int count) {\n\t\t\tswitch (dispId) {\n";
    for (const FullMember& member : cls.members) {
        if (!member.refusal.empty()) continue;
        appendFormat(text, "\t\t\tcase %d:\n\t\t\t\treturn new int[] {", {int(member.dispId)});
        for (size_t k = 0; k < member.arguments.size(); ++k) {
            if (k) text += ", ";
            text += vtCodeText(member.arguments[k].vt);
        }
        text += "};\n";
    }
    text += "\t\t\tdefault:\n\t\t\t\treturn null;\n\t\t\t}\n\t\t}\n\n";
    appendFormat(text, "\t\t@Override\n\t\tprotected void dispatch(%s listener, int dispId, Object[] args) {\n", {name});
    text += "\t\t\tswitch (dispId) {\n";
    for (const FullMember& member : cls.members) {
        if (!member.refusal.empty()) continue;
        appendFormat(text, "\t\t\tcase %d:\n\t\t\t\tlistener.%s(", {int(member.dispId), member.javaName});
        for (size_t k = 0; k < member.parameters.size(); ++k) {
            if (k) text += ", ";
            appendEventArgument(text, member.parameters[k].type, "args[" + std::to_string(k) + "]");
        }
        text += ");\n\t\t\t\tbreak;\n";
    }
    text += "\t\t\tdefault:\n\t\t\t\tbreak;\n\t\t\t}\n\t\t}\n\t}\n}\n";
    return text;
}

std::string fullConstantsClassText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path) {
    std::string text = javaHeader(inputs, path);
    appendClassDoc(text, cls, cls.module ? "The constants of the module" : "The values of the enumeration");
    appendFormat(text, "public final class %s {\n\n", {cls.name});
    for (const FullConstant& constant : cls.constants) {
        if (!constant.refusal.empty()) {
            appendFormat(text, "\t// %s:\n", {lineCommentText(constant.memberName)});
            appendFormat(text, constant.entryPoint ? "\t\t// Function is not available: %s\n"
                                                   : "\t\t// Constant is not available: %s\n",
                         {constant.refusal});
            continue;
        }
        appendDoc(text, constant.docString, "\t");
        appendFormat(text, "\tpublic static final %s %s = %s;\n", {constant.javaType, constant.name, constant.literal});
    }
    if (!cls.constants.empty()) text += "\n";
    appendFormat(text, "\tprivate %s() {\n\t}\n}\n", {cls.name});
    return text;
}

std::string fullOverviewPageText(const FullModel& model, const FullWriteInputs& inputs) {
    const std::string library = javadocText(model.libraryName);
    std::string text;
    text += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    text += "<meta name=\"generator\" content=\"Mivra\">\n";
    appendFormat(text, "<title>%s</title>\n</head>\n<body>\n", {library});
    appendFormat(text, "<p>Java classes for the COM type library <b>%s</b>", {library});
    if (!model.libraryDoc.empty()) appendFormat(text, " (%s)", {javadocText(model.libraryDoc)});
    text += ", on the Mivra runtime (mivra-runtime.jar).</p>\n";
    text += "<p>To work with a COM object, create its object class, then take the interface you need from it with "
            "one of its get&lt;interface&gt; methods, and call the methods of the interface class. An interface "
            "class also takes its interface from any other object through its constructor. Close the objects you "
            "are done with; the runtime releases the ones nobody closes.</p>\n";
    if (model.listenerCount() > 0)
        text += "<p>To take an object's events, implement its listener interface, overriding the methods of the "
                "events you want (the others do nothing), and connect it with the object class's "
                "add&lt;interface&gt;Listener method; closing what that returns ends the events.</p>\n";
    const char* const headings[] = {"Object classes and their interfaces", "Interface classes",
                                    "Listener interfaces (events)", "Constants"};
    const FullClass::Kind kinds[] = {FullClass::Kind::Object, FullClass::Kind::Interface, FullClass::Kind::Listener,
                                     FullClass::Kind::Constants};
    for (int k = 0; k < 4; ++k) {
        bool any = false;
        for (const FullClass& cls : model.classes) {
            if (cls.kind != kinds[k]) continue;
            if (!any) appendFormat(text, "<h1>%s</h1>\n<ul>\n", {headings[k]});
            any = true;
            text += "<li>" + classLink(inputs, cls.name);
            appendDocItalic(text, cls.docString);
            if (cls.kind == FullClass::Kind::Object && !cls.interfaces.empty()) {
                text += "\n<ul>\n";
                for (const std::string& interface : cls.interfaces) {
                    text += "<li>" + classLink(inputs, interface);
                    for (const FullClass& other : model.classes)
                        if (other.kind == FullClass::Kind::Interface && other.name == interface)
                            appendDocItalic(text, other.docString);
                    text += "</li>\n";
                }
                text += "</ul>\n";
            }
            text += "</li>\n";
        }
        if (any) text += "</ul>\n";
    }
    text += "</body>\n</html>\n";
    return text;
}

std::string fullReadmePageText(const FullModel& model, const FullWriteInputs& inputs, const std::string& pagePath) {
    const std::string folder = htmlText(inputs.folderPath);
    std::string text;
    text += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    appendFormat(text, "<title>Readme file for %s</title>\n</head>\n<body>\n", {htmlText(model.libraryName)});
    appendFormat(text, "<p>File: %s</p>\n", {htmlText(pagePath)});
    appendFormat(text, "<p>Mivra has created Java source files in the directory <i>%s</i>, and an ", {folder});
    text += "<a href=\"overview.html\">overview.html</a> file for javadoc. The classes call COM through the "
            "Mivra runtime, <code>mivra-runtime.jar</code>: there is no C file to build and no C compiler is "
            "needed.</p>\n";
    text += "<p>Steps to build the sources:</p>\n<ul>\n";
    appendFormat(text, "<li>Open a command window and change to <i>%s</i>.</li>\n", {folder});
    text += "<li>To compile the Java classes, run<br>\n"
            "<code>javac -encoding UTF-8 -cp mivra-runtime.jar -d . *.java</code><br>\n"
            "giving the path of the jar: <code>runtime\\mivra-runtime.jar</code> in the folder where Mivra is "
            "installed.</li>\n";
    text += "<li>To build documentation, run<br>\n"
            "<code>javadoc -encoding UTF-8 -cp mivra-runtime.jar -overview overview.html -d doc *.java</code><br>\n"
            "The generated documentation will be accessible in <a href=\"doc/index.html\">doc/index.html</a>.</li>\n";
    text += "</ul>\n";
    text += "<p>When executing programs that use these Java classes, put mivra-runtime.jar and the compiled "
            "classes on the class path, for example <code>java -cp mivra-runtime.jar;. YourProgram</code>. The jar "
            "carries the runtime's native library for 32-bit and 64-bit Java VMs alike and loads the right one by "
            "itself: nothing else is built, copied or installed.</p>\n";
    text += "</body>\n</html>\n";
    return text;
}

std::string fullUnboundText(const FullModel& model) {
    std::string text;
    for (const std::string& line : model.unbound) text.append(line).append("\n");
    return text;
}

bool writeFullBindings(Output& output, const FullModel& model, const FullWriteInputs& inputs,
                       const FullReport& report, int& javaFileCount) {
    const bool anyObjectClass = std::any_of(model.classes.begin(), model.classes.end(), [](const FullClass& cls) {
        return cls.kind == FullClass::Kind::Interface || cls.kind == FullClass::Kind::Object;
    });
    if (anyObjectClass) {
        std::string name = std::string(classTableClassName) + ".java";
        if (!writeFile(output, name, fullClassTableText(model, inputs, output.pathOf(name)), report)) return false;
        ++javaFileCount;
    }
    if (!writeFile(output, unboundFileName, fullUnboundText(model), report)) return false;
    for (const FullClass& cls : model.classes) {
        std::string name = cls.name + ".java";
        std::string path = output.pathOf(name);
        std::string text = cls.kind == FullClass::Kind::Object      ? fullObjectClassText(cls, inputs, path)
                           : cls.kind == FullClass::Kind::Interface ? fullInterfaceClassText(cls, inputs, path)
                           : cls.kind == FullClass::Kind::Listener  ? fullListenerText(cls, inputs, path)
                                                                    : fullConstantsClassText(cls, inputs, path);
        if (!writeFile(output, name, text, report)) return false;
        ++javaFileCount;
    }
    if (!writeFile(output, "overview.html", fullOverviewPageText(model, inputs), report)) return false;
    return writeFile(output, "readme.html", fullReadmePageText(model, inputs, outputPath(inputs.folderPath, "readme.html")),
                     report);
}

}  // namespace mivra
