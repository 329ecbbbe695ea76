#include "LibraryDump.h"

#include "ConsoleText.h"

#include <algorithm>
#include <cstdio>

namespace mivra {

namespace {

const char* kindName(uint32_t kind) {
    static const char* const names[] = {"enum", "struct", "module", "interface", "dispinterface", "coclass", "typedef", "union"};
    return kind < 8 ? names[kind] : "unknown";
}

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string flagList(uint32_t flags, const std::initializer_list<std::pair<uint32_t, const char*>>& names) {
    std::string out;
    for (const auto& [bit, name] : names) {
        if (!(flags & bit)) continue;
        if (!out.empty()) out += ", ";
        out += name;
    }
    return out;
}

std::string typeFlags(uint16_t flags) {
    return flagList(flags, {{0x1, "appobject"}, {0x2, "cancreate"}, {0x4, "licensed"}, {0x8, "predeclid"},
                            {0x10, "hidden"}, {0x20, "control"}, {0x40, "dual"}, {0x80, "nonextensible"},
                            {0x100, "oleautomation"}, {0x200, "restricted"}, {0x400, "aggregatable"},
                            {0x800, "replaceable"}, {0x1000, "dispatchable"}, {0x2000, "reversebind"},
                            {0x4000, "proxy"}});
}

std::string typeName(const TypeDescription& type, int depth = 0) {
    static const char* const names[] = {
        "EMPTY", "NULL",   "short",   "long",      "float",    "double",  "CURRENCY",  "DATE",
        "BSTR",  "IDispatch*", "SCODE", "VARIANT_BOOL", "VARIANT", "IUnknown*", "DECIMAL", "15",
        "char",  "unsigned char", "unsigned short", "unsigned long", "int64", "uint64", "int", "unsigned int",
        "void",  "HRESULT", "ptr", "SAFEARRAY", "carray", "userdefined", "LPSTR", "LPWSTR"};
    if (type.pointee && depth < 64) {
        if (type.vt == 26) return typeName(*type.pointee, depth + 1) + "*";
        if (type.vt == 27) return "SAFEARRAY(" + typeName(*type.pointee, depth + 1) + ")";
    }
    if (type.vt < 32) return names[type.vt];
    return "vt" + std::to_string(type.vt);
}

std::string paramFlags(uint16_t flags) {
    return flagList(flags, {{0x1, "in"}, {0x2, "out"}, {0x4, "lcid"}, {0x8, "retval"}, {0x10, "optional"},
                            {0x20, "defaultvalue"}});
}

const char* invokeName(uint32_t kind) {
    switch (kind) {
    case 1: return "method";
    case 2: return "propget";
    case 4: return "propput";
    case 8: return "propputref";
    default: return "invoke?";
    }
}

template <class... Parts>
void append(std::string& out, const Parts&... parts) {
    (out.append(parts), ...);
}

void quoted(std::string& out, const std::optional<std::string>& text) {
    if (!text) return;
    out += "  // \"";
    out += printableText(*text);
    out += '"';
}

void writeFunction(const TypeLibraryReader& reader, uint32_t index, uint32_t k, std::string& out) {
    auto f = reader.function(index, k);
    if (!f) {
        out += "    // function " + std::to_string(k) + " unavailable: " + f.failure().message + "\n";
        return;
    }
    auto names = reader.names(index, f->memberId, static_cast<uint32_t>(std::max<int>(f->paramCount, 0)) + 1);
    std::vector<std::string> got = names ? std::move(*names) : std::vector<std::string>();
    for (std::string& name : got) name = printableText(name);
    append(out, "    [id(", hex(static_cast<uint32_t>(f->memberId)), "), ", invokeName(f->invokeKind));
    if (f->optionalParamCount == -1) out += ", vararg";
    append(out, "] ", typeName(f->result), " ", got.empty() ? std::string("?") : got[0], "(");
    for (size_t p = 0; p < f->params.size(); ++p) {
        if (p) out += ", ";
        if (uint16_t flags = f->params[p].flags & 0x3F) append(out, "[", paramFlags(flags), "] ");
        append(out, typeName(f->params[p].type), " ");
        if (p + 1 < got.size())
            out += got[p + 1];
        else
            append(out, "p", std::to_string(p));
    }
    out += ");";
    quoted(out, reader.memberDocString(index, f->memberId));
    out += '\n';
}

}  // namespace

void writeLibraryDump(const TypeLibraryReader& reader, std::string& out) {
    auto library = reader.documentation(-1);
    uint32_t count = reader.typeInfoCount();
    out += "library " + (library && library->name ? printableText(*library->name) : std::string("?"));
    quoted(out, library ? library->docString : std::nullopt);
    out += "\n// " + std::to_string(count) + " types\n";
    for (uint32_t i = 0; i < count; ++i) {
        auto attributes = reader.typeAttributes(i);
        if (!attributes) {
            out += "\n// type " + std::to_string(i) + " unavailable: " + attributes.failure().message + "\n";
            continue;
        }
        const TypeAttributes& a = *attributes;
        auto doc = reader.documentation(static_cast<int32_t>(i));
        out += "\n";
        out += kindName(a.kind);
        out += " " + (doc && doc->name ? printableText(*doc->name) : std::string("?")) + " " + guidText(a.guid);
        std::string flags = typeFlags(a.flags);
        out += " flags " + hex(a.flags) + (flags.empty() ? "" : " (" + flags + ")");
        quoted(out, doc ? doc->docString : std::nullopt);
        out += "\n";
        for (uint32_t j = 0; j < a.implTypeCount; ++j) {
            auto impl = reader.implementedType(i, j);
            if (!impl) {
                out += "    implements ? // " + impl.failure().message + "\n";
                continue;
            }
            std::string implFlags = flagList(static_cast<uint32_t>(impl->implFlags),
                                             {{0x1, "default"}, {0x2, "source"}, {0x4, "restricted"}, {0x8, "defaultvtable"}});
            out += "    implements ";
            if (!implFlags.empty()) out += "[" + implFlags + "] ";
            out += kindName(impl->attributes.kind);
            out += " " + (impl->name ? printableText(*impl->name) : std::string("?")) + " " +
                   guidText(impl->attributes.guid) + "\n";
        }
        if (a.kind == TKIND_DISPATCH)
            for (uint32_t k = 0; k < a.funcCount; ++k) writeFunction(reader, i, k, out);
        else if (a.funcCount || a.varCount)
            out += "    // " + std::to_string(a.funcCount) + " functions, " + std::to_string(a.varCount) + " variables\n";
    }
}

}  // namespace mivra
