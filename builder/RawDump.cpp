#include "RawDump.h"

#include "ConsoleText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace mivra {

namespace {

constexpr uint32_t maxNamesAsked = 64;

void appendNumber(std::string& out, int64_t value) {
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

void appendHex(std::string& out, uint64_t value) {
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, value, 16).ptr;
    out += "0x";
    out.append(text, end);
}

void appendText(std::string& out, const std::optional<std::string>& text) {
    out += text ? printableText(*text) : "<none>";
}

void appendType(std::string& out, const TypeDescription& type, int depth = 0) {
    if ((type.vt == 26 || type.vt == 27) && type.pointee && depth < 64) {
        out += type.vt == 26 ? "ptr(" : "safearray(";
        appendType(out, *type.pointee, depth + 1);
        out += ')';
    } else {
        appendNumber(out, type.vt);
    }
}

void writeImplementedTypes(const TypeLibraryReader& reader, uint32_t index, uint32_t count, std::string& out) {
    for (uint32_t j = 0; j < count; ++j) {
        auto impl = reader.implementedType(index, j);
        out += "  impl ";
        appendNumber(out, j);
        if (!impl) {
            out += impl.failure().step == Failure::Step::Attributes ? ": no attr\n" : ": unavailable\n";
            continue;
        }
        const TypeAttributes& a = impl->attributes;
        out += " kind=";
        appendNumber(out, a.kind);
        out += " flags=";
        appendHex(out, a.flags);
        out += " implflags=";
        appendHex(out, static_cast<uint32_t>(impl->implFlags));
        out += " guid=";
        out += guidText(a.guid);
        out += " name=";
        appendText(out, impl->name);
        out += '\n';
    }
}

void writeFunctions(const TypeLibraryReader& reader, uint32_t index, uint32_t count, std::string& out) {
    for (uint32_t k = 0; k < count; ++k) {
        auto f = reader.function(index, k);
        out += "  func ";
        appendNumber(out, k);
        if (!f) {
            out += ": unavailable\n";
            continue;
        }
        uint32_t asked = std::min<uint32_t>(static_cast<uint32_t>(std::max<int>(f->paramCount, 0)) + 1, maxNamesAsked);
        auto names = reader.names(index, f->memberId, asked);
        std::vector<std::string> got = names ? std::move(*names) : std::vector<std::string>();
        if (got.size() > asked) got.resize(asked);
        out += " memid=";
        appendNumber(out, f->memberId);
        out += " invkind=";
        appendNumber(out, f->invokeKind);
        out += " params=";
        appendNumber(out, f->paramCount);
        out += " opt=";
        appendNumber(out, f->optionalParamCount);
        out += " ret=";
        appendType(out, f->result);
        out += " name=";
        out += got.empty() ? std::string("<none>") : got[0];
        out += " names=";
        appendNumber(out, static_cast<int64_t>(got.size()));
        for (size_t p = 0; p < f->params.size(); ++p) {
            out += " [";
            appendType(out, f->params[p].type);
            out += ' ';
            out += p + 1 < got.size() ? got[p + 1] : std::string("<none>");
            out += " pf=";
            appendHex(out, f->params[p].flags);
            out += ']';
        }
        out += " doc=";
        appendText(out, reader.memberDocString(index, f->memberId));
        out += '\n';
    }
}

void appendResolvedType(std::string& out, const ResolvedLibrary& library, const TypeRef& type, int depth = 0) {
    const char* wrapper = type.vt == VT_PTR ? "ptr(" : type.vt == VT_SAFEARRAY ? "safearray(" : type.vt == VT_CARRAY ? "carray(" : nullptr;
    if (wrapper && type.element && depth < 64) {
        out += wrapper;
        appendResolvedType(out, library, *type.element, depth + 1);
        out += ')';
        return;
    }
    if (type.vt != VT_USERDEFINED) {
        appendNumber(out, type.vt);
        return;
    }
    const ResolvedType* target = library.typeOf(type);
    if (!target || target->state != ResolvedType::State::Available) {
        out += "user(?)";
        return;
    }
    out += "user(";
    appendNumber(out, target->kind);
    out += ':';
    if (target->imported) {
        out += target->library;
        out += '.';
    }
    appendText(out, target->name);
    out += ')';
}

// VT:TEXT, the text locale-independent: integers in decimal, floating point
// and dates as %.17g, currency as its count of ten-thousandths.
void appendValue(std::string& out, const ConstantValue& value) {
    appendNumber(out, value.vt);
    out += ':';
    switch (value.vt) {
    case VT_EMPTY: case VT_NULL:
        break;
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_ERROR: case VT_BOOL: case VT_I8: case VT_CY:
        appendNumber(out, value.integer);
        break;
    case VT_UI8: {
        char text[24];
        auto end = std::to_chars(text, text + sizeof text, static_cast<uint64_t>(value.integer)).ptr;
        out.append(text, end);
        break;
    }
    case VT_R4: case VT_R8: case VT_DATE: {
        char text[40];
        int length = std::snprintf(text, sizeof text, "%.17g", value.real);
        out.append(text, static_cast<size_t>(std::clamp(length, 0, int(sizeof text) - 1)));
        break;
    }
    case VT_BSTR:
        out += value.text ? *value.text : "<null>";
        break;
    default:
        out += '?';
    }
}

// What is left of the library-wide cap on the members and parameters the
// dump lists: a shared or inherited member is listed once per type.
struct ListingCap {
    uint64_t cap = 0;
    uint64_t left = 0;
};

void writeCut(std::string& out, size_t functions, size_t variables, const ListingCap& cap) {
    out += "  cut: ";
    appendNumber(out, static_cast<int64_t>(functions));
    out += " functions and ";
    appendNumber(out, static_cast<int64_t>(variables));
    out += " variables not listed: the dump lists at most ";
    appendNumber(out, static_cast<int64_t>(cap.cap));
    out += " members and parameters of a library\n";
}

void writeResolvedType(const ResolvedLibrary& library, uint32_t i, ListingCap& cap, std::string& out) {
    const ResolvedType& t = library.types[i];
    out += "type ";
    appendNumber(out, i);
    if (t.state != ResolvedType::State::Available) {
        out += t.state == ResolvedType::State::NoAttributes ? ": no attr\n" : ": no typeinfo\n";
        return;
    }
    out += " kind=";
    appendNumber(out, t.kind);
    out += " name=";
    appendText(out, t.name);
    out += " guid=";
    out += guidText(t.guid);
    out += " flags=";
    appendHex(out, t.flags);
    out += " impl=";
    appendNumber(out, t.implTypeCount);
    out += " funcs=";
    appendNumber(out, t.funcCount);
    out += " vars=";
    appendNumber(out, t.varCount);
    out += " doc=";
    appendText(out, t.docString);
    out += '\n';
    for (size_t j = 0; j < t.implemented.size(); ++j) {
        const ResolvedImplementedType& impl = t.implemented[j];
        out += "  impl ";
        appendNumber(out, static_cast<int64_t>(j));
        if (!impl.available) {
            out += ": unavailable\n";
            continue;
        }
        if (!impl.attributesRead) {
            out += ": no attr\n";
            continue;
        }
        const ResolvedType& target = library.types[size_t(impl.type)];
        out += " kind=";
        appendNumber(out, target.kind);
        out += " flags=";
        appendHex(out, target.flags);
        out += " implflags=";
        appendHex(out, static_cast<uint32_t>(impl.implFlags));
        out += " guid=";
        out += guidText(target.guid);
        out += " name=";
        appendText(out, target.name);
        out += '\n';
    }
    size_t k = 0;
    for (const ResolvedFunction& f : t.functions) {
        if (cap.left < 1 + f.params.size()) break;
        cap.left -= 1 + f.params.size();
        out += "  func ";
        appendNumber(out, static_cast<int64_t>(k++));
        if (!f.available) {
            out += ": unavailable\n";
            continue;
        }
        out += " memid=";
        appendNumber(out, f.memberId);
        out += " invkind=";
        appendNumber(out, f.invokeKind);
        out += " params=";
        appendNumber(out, static_cast<int64_t>(f.params.size()));
        out += " opt=";
        appendNumber(out, f.optionalParamCount);
        out += " ret=";
        appendResolvedType(out, library, f.result);
        out += " name=";
        appendText(out, f.name);
        out += " names=";
        appendNumber(out, f.namesReturned);
        for (const ResolvedParameter& p : f.params) {
            out += " [";
            appendResolvedType(out, library, p.type);
            out += ' ';
            appendText(out, p.name);
            out += " pf=";
            appendHex(out, p.flags);
            if (p.defaultValue) {
                out += " default=";
                appendValue(out, *p.defaultValue);
            }
            out += ']';
        }
        out += " doc=";
        appendText(out, f.docString);
        out += '\n';
    }
    const size_t functionsCut = t.functions.size() - k;
    if (t.dualBase == ResolvedType::DualBase::Unavailable) {
        out += "  dualbase unavailable\n";
    } else if (t.dualBase != ResolvedType::DualBase::NotDual &&
               library.types[size_t(t.interfaceView)].state == ResolvedType::State::Available) {
        // OLE Automation shows nothing where the view's or its base's
        // attributes cannot be read.
        if (t.dualBase == ResolvedType::DualBase::None) {
            out += "  dualbase none\n";
        } else if (const ResolvedType& base = library.types[size_t(t.dualBaseType)];
                   base.state == ResolvedType::State::Available) {
            out += "  dualbase kind=";
            appendNumber(out, base.kind);
            out += " guid=";
            out += guidText(base.guid);
            out += " name=";
            appendText(out, base.name);
            out += '\n';
        }
    }
    if (t.kind == TKIND_ALIAS && t.alias) {
        out += "  alias ";
        appendResolvedType(out, library, *t.alias);
        out += '\n';
    }
    size_t listed = 0;
    for (const ResolvedVariable& v : t.variables) {
        if (cap.left < 1 || functionsCut > 0) break;
        --cap.left;
        out += "  var ";
        appendNumber(out, static_cast<int64_t>(listed++));
        if (!v.available) {
            out += ": unavailable\n";
            continue;
        }
        out += " memid=";
        appendNumber(out, v.memberId);
        out += " varkind=";
        appendNumber(out, v.varKind);
        out += " type=";
        appendResolvedType(out, library, v.type);
        out += " name=";
        appendText(out, v.name);
        out += " value=";
        if (v.value)
            appendValue(out, *v.value);
        else
            out += "<none>";
        out += " doc=";
        appendText(out, v.docString);
        out += '\n';
    }
    if (functionsCut > 0 || listed < t.variables.size()) writeCut(out, functionsCut, t.variables.size() - listed, cap);
}

}  // namespace

void writeResolvedDump(const ResolvedLibrary& library, std::string& out) {
    out += "library name=";
    appendText(out, library.name);
    out += " doc=";
    appendText(out, library.docString);
    out += " count=";
    appendNumber(out, library.ownTypeCount);
    out += '\n';
    ListingCap cap{library.reportedMemberCap(), library.reportedMemberCap()};
    for (uint32_t i = 0; i < library.ownTypeCount && i < library.types.size(); ++i)
        writeResolvedType(library, i, cap, out);
}

std::string rawTypeText(const TypeDescription& type) {
    std::string text;
    appendType(text, type);
    return text;
}

void writeRawDump(const TypeLibraryReader& reader, std::string& out) {
    uint32_t count = reader.typeInfoCount();
    auto library = reader.documentation(-1);
    out += "library name=";
    appendText(out, library ? library->name : std::nullopt);
    out += " doc=";
    appendText(out, library ? library->docString : std::nullopt);
    out += " count=";
    appendNumber(out, count);
    out += '\n';
    for (uint32_t i = 0; i < count; ++i) {
        auto attributes = reader.typeAttributes(i);
        out += "type ";
        appendNumber(out, i);
        if (!attributes) {
            out += attributes.failure().step == Failure::Step::Attributes ? ": no attr\n" : ": no typeinfo\n";
            continue;
        }
        auto doc = reader.documentation(static_cast<int32_t>(i));
        const TypeAttributes& a = *attributes;
        out += " kind=";
        appendNumber(out, a.kind);
        out += " name=";
        appendText(out, doc ? doc->name : std::nullopt);
        out += " guid=";
        out += guidText(a.guid);
        out += " flags=";
        appendHex(out, a.flags);
        out += " impl=";
        appendNumber(out, a.implTypeCount);
        out += " funcs=";
        appendNumber(out, a.funcCount);
        out += " vars=";
        appendNumber(out, a.varCount);
        out += " doc=";
        appendText(out, doc ? doc->docString : std::nullopt);
        out += '\n';
        writeImplementedTypes(reader, i, a.implTypeCount, out);
        writeFunctions(reader, i, a.funcCount, out);
    }
}

}  // namespace mivra
