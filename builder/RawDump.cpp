#include "RawDump.h"

#include "ConsoleText.h"

#include <algorithm>
#include <charconv>

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

}  // namespace

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
