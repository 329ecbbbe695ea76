#include "SltgWriter.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "StandardOleLibrary.h"
#include "VarType.h"

namespace mivra::test {

namespace {

struct Bytes {
    std::vector<std::byte> data;
    size_t size() const { return data.size(); }
    void u8(uint32_t v) { data.push_back(std::byte(v & 0xFF)); }
    void u16(uint32_t v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v) {
        u16(v);
        u16(v >> 16);
    }
    void text(const std::string& s) {
        for (char c : s) u8(static_cast<unsigned char>(c));
    }
    void fill(size_t n, uint32_t v) {
        for (size_t i = 0; i < n; ++i) u8(v);
    }
    void guid(const Guid& g) {
        u32(g.data1);
        u16(g.data2);
        u16(g.data3);
        for (uint8_t b : g.data4) u8(b);
    }
    void append(const Bytes& other) { data.insert(data.end(), other.data.begin(), other.data.end()); }
    void put16(size_t at, uint32_t v) {
        data[at] = std::byte(v & 0xFF);
        data[at + 1] = std::byte((v >> 8) & 0xFF);
    }
};

// Names are NUL-terminated, each after 8 bytes of 0xFF, at even offsets.
struct NameTable {
    Bytes bytes;
    std::map<std::string, uint16_t> offsets;
    Result<uint16_t> add(const std::string& name) {
        auto found = offsets.find(name);
        if (found != offsets.end()) return found->second;
        if (bytes.size() + name.size() + 10 > 0xFFF0) return fail("name table full");
        auto offset = static_cast<uint16_t>(bytes.size());
        bytes.fill(8, 0xFF);
        bytes.text(name);
        bytes.u8(0);
        if (bytes.size() % 2) bytes.u8(0);
        offsets.emplace(name, offset);
        return offset;
    }
};

std::string indexName(uint32_t n) {
    std::string name(10, 'A');
    for (int i = 9; i >= 0 && n; --i, n /= 26) name[size_t(i)] = char('A' + n % 26);
    return name;
}

// One type's block in the making: its reference table and its member items.
class TypeWriter {
public:
    TypeWriter(const TypeSource& library, uint32_t index, NameTable& names)
        : library_(library), index_(index), names_(names) {}

    Result<Bytes> write();

private:
    Result<uint16_t> referenceOf(int32_t reference);
    // The words of a type; the first carries the parameter flags.
    Result<std::vector<uint16_t>> words(const TypeDescription& type, uint16_t flags, int depth = 0);
    // Inline (a single word) or an offset to the words appended to `out`.
    Result<std::pair<bool, uint16_t>> place(const TypeDescription& type, uint16_t flags, Bytes& out);
    Result<bool> writeFunction(uint32_t k);
    Result<bool> writeVariable(uint32_t k);
    void link(size_t start) {
        if (pendingNext_) items_.put16(*pendingNext_, uint32_t(start));
        if (!firstOfGroup_) firstOfGroup_ = start;
        pendingNext_.reset();
    }

    const TypeSource& library_;
    uint32_t index_;
    NameTable& names_;
    std::vector<std::string> references_;
    std::map<std::string, uint16_t> referenceIndex_;
    Bytes items_;
    std::optional<size_t> pendingNext_;
    std::optional<size_t> firstOfGroup_;
};

Result<uint16_t> TypeWriter::referenceOf(int32_t reference) {
    auto location = library_.resolve(reference & ~2);
    if (!location) return location.failure();
    std::string text;
    char number[32];
    if (location->source == &library_) {
        std::snprintf(number, sizeof number, "*\\Rffff*#%x", location->index);
        text = number;
    } else if (location->source->libraryGuid() == standardOleLibraryGuid) {
        auto offset = names_.add("*\\G" + guidText(standardOleLibraryGuid) + "#2.0#0#stdole2.tlb#");
        if (!offset) return offset.failure();
        std::snprintf(number, sizeof number, "*\\R%x*#%x", *offset, location->index);
        text = number;
    } else {
        return fail("type of another library");
    }
    auto found = referenceIndex_.find(text);
    if (found != referenceIndex_.end()) return found->second;
    auto r = static_cast<uint16_t>(references_.size());
    references_.push_back(text);
    referenceIndex_.emplace(text, r);
    return r;
}

Result<std::vector<uint16_t>> TypeWriter::words(const TypeDescription& type, uint16_t flags, int depth) {
    if (depth > 16) return fail("type nested too deeply");
    std::vector<uint16_t> out;
    if (type.vt == VT_PTR && type.pointee) {
        if (type.pointee->vt == VT_PTR || type.pointee->vt == VT_CARRAY) {
            out.push_back(uint16_t(VT_PTR | 0x0400 | flags));
            auto inner = words(*type.pointee, 0, depth + 1);
            if (!inner) return inner.failure();
            out.insert(out.end(), inner->begin(), inner->end());
        } else {
            auto inner = words(*type.pointee, flags, depth + 1);
            if (!inner) return inner.failure();
            out = std::move(*inner);
            out[0] |= 0x0E00;
        }
        return out;
    }
    if (type.vt == VT_SAFEARRAY && type.pointee) {
        out = {uint16_t(VT_SAFEARRAY | flags), 0xFFFF};
        auto inner = words(*type.pointee, 0, depth + 1);
        if (!inner) return inner.failure();
        out.insert(out.end(), inner->begin(), inner->end());
        return out;
    }
    if (type.vt == VT_CARRAY && type.pointee) {
        // A one-dimensional descriptor in the items; the bounds are not kept
        // by the model.
        auto descriptor = static_cast<uint16_t>(items_.size());
        items_.u16(1);
        items_.u16(0x0004);
        items_.u32(4);
        items_.u32(0);
        items_.u32(0);
        items_.u32(1);
        items_.u32(0);
        out = {uint16_t(VT_CARRAY | flags), descriptor};
        auto inner = words(*type.pointee, 0, depth + 1);
        if (!inner) return inner.failure();
        out.insert(out.end(), inner->begin(), inner->end());
        return out;
    }
    if (type.vt == VT_USERDEFINED) {
        auto r = referenceOf(type.reference);
        if (!r) return r.failure();
        return std::vector<uint16_t>{uint16_t(VT_USERDEFINED | flags), uint16_t(*r * 4)};
    }
    if (type.vt > 0x3F) return fail("type " + std::to_string(type.vt) + " does not fit a word");
    return std::vector<uint16_t>{uint16_t(type.vt | flags)};
}

Result<std::pair<bool, uint16_t>> TypeWriter::place(const TypeDescription& type, uint16_t flags, Bytes& out) {
    auto w = words(type, flags);
    if (!w) return w.failure();
    if (w->size() == 1) return std::make_pair(true, (*w)[0]);
    auto offset = static_cast<uint16_t>(items_.size() + out.size());
    for (uint16_t word : *w) out.u16(word);
    return std::make_pair(false, offset);
}

uint16_t parameterFlags(uint16_t flags) {
    uint16_t word = 0;
    bool in = flags & 1, out = flags & 2;
    if (in && out)
        word = 0x8000;
    else if (out)
        word = 0x4000;
    else if (!in)
        word = 0xC000;
    if (flags & 4) word |= 0x2000;
    if (flags & 8) word |= 0x80;
    return word;
}

// Type words are made first, since array descriptors land in the items
// before the member that uses them; the member before is then linked to
// where this one starts.
Result<bool> TypeWriter::writeFunction(uint32_t k) {
    auto f = library_.function(index_, k);
    if (!f) return f.failure();
    uint32_t magic = f->funcKind == 1 ? 0x4C : f->funcKind == 3 ? 0x8B : f->funcKind == FUNC_DISPATCH ? 0xCB : 0;
    if (!magic) return fail("function kind " + std::to_string(f->funcKind));
    if (f->params.size() > 31 || f->optionalParamCount < 0 || f->optionalParamCount > 63)
        return fail("too many parameters");
    auto name = names_.add(f->name.value_or(""));
    if (!name) return name.failure();
    auto result = words(f->result, 0);
    if (!result) return result.failure();
    std::vector<std::pair<uint16_t, std::vector<uint16_t>>> params;
    for (const StoredParameter& p : f->params) {
        auto pname = names_.add(p.name.value_or(""));
        if (!pname) return pname.failure();
        auto w = words(p.type, parameterFlags(p.flags));
        if (!w) return w.failure();
        params.emplace_back(*pname, std::move(*w));
    }
    size_t start = items_.size();
    link(start);
    size_t argumentList = start + 24;
    // Out-of-line type words follow the parameter list.
    Bytes after;
    size_t fixedEnd = argumentList + 4 * params.size();
    auto place = [&](const std::vector<uint16_t>& w) {
        if (w.size() == 1) return w[0];
        auto offset = static_cast<uint16_t>(fixedEnd + after.size());
        for (uint16_t word : w) after.u16(word);
        return offset;
    };
    items_.u8(magic | 0x20);
    items_.u8(f->invokeKind << 4 | 2);
    items_.u16(0xFFFF);
    items_.u16(*name);
    items_.u32(uint32_t(f->memberId));
    items_.u16(0xFFFE);
    items_.u16(0xFFFF);
    items_.u16(params.empty() ? 0xFFFF : uint32_t(argumentList));
    items_.u8(uint32_t(params.size()) << 3 | 4);
    items_.u8(uint32_t(f->optionalParamCount) << 1 | (result->size() == 1 ? 0x80 : 0));
    items_.u16(place(*result));
    items_.u16(k * 4);
    items_.u16(f->flags);
    for (const auto& [pname, w] : params) {
        items_.u16(w.size() == 1 ? pname | 1 : pname);
        items_.u16(place(w));
    }
    items_.append(after);
    pendingNext_ = start + 2;
    return true;
}

Result<bool> TypeWriter::writeVariable(uint32_t k) {
    auto v = library_.variable(index_, k);
    if (!v) return v.failure();
    if (v->descriptionFailure) return fail(*v->descriptionFailure);
    auto name = names_.add(v->name.value_or(""));
    if (!name) return name.failure();
    auto w = words(v->type, 0);
    if (!w) return w.failure();
    size_t start = items_.size();
    link(start);
    Bytes after;
    size_t fixedEnd = start + 20;
    bool inlineType = w->size() == 1;
    uint16_t typeField = inlineType ? (*w)[0] : uint16_t(fixedEnd);
    if (!inlineType)
        for (uint16_t word : *w) after.u16(word);
    uint32_t kind = inlineType ? 0x02 : 0;
    uint16_t valueField = 0;
    if (v->varKind == 3) kind |= 0x40;
    if (v->varKind == 2) {
        kind |= 0x10;
        if (!v->value) return fail("constant without a value");
        valueField = uint16_t(fixedEnd + after.size());
        switch (v->type.vt) {
        case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
            after.u32(uint32_t(v->value->integer));
            break;
        case VT_BSTR:
            if (v->value->text) {
                after.u16(uint32_t(v->value->text->size()));
                after.text(*v->value->text);
            } else {
                after.u16(0xFFFF);
            }
            break;
        default:
            return fail("constant of type " + std::to_string(v->type.vt));
        }
    }
    items_.u8(0x2A);
    items_.u8(kind);
    items_.u16(0xFFFF);
    items_.u16(*name);
    items_.u16(valueField);
    items_.u16(typeField);
    items_.u32(uint32_t(v->memberId));
    items_.u16(0xFFFE);
    items_.u16(0xFFFF);
    items_.u16(v->flags);
    items_.append(after);
    if (after.size() % 2) items_.u8(0);
    pendingNext_ = start + 2;
    return true;
}

Result<Bytes> TypeWriter::write() {
    auto t = library_.type(index_);
    if (!t) return t.failure();
    uint16_t implOffset = 0xFFFF, funcOffset = 0xFFFF, varOffset = 0xFFFF;
    // Implemented types first: a class's list, or an interface's base.
    std::vector<std::pair<int32_t, int32_t>> implemented;
    if (t->kind == TKIND_COCLASS) {
        for (uint32_t j = 0; j < t->implTypeCount; ++j) {
            auto entry = library_.classInterface(index_, j);
            if (!entry) return entry.failure();
            implemented.push_back(*entry);
        }
    } else if (t->implTypeCount == 1 && t->datatype1 != -1 && t->kind != TKIND_ALIAS) {
        implemented.emplace_back(t->datatype1, 0);
    }
    for (size_t j = 0; j < implemented.size(); ++j) {
        auto r = referenceOf(implemented[j].first);
        if (!r) return r.failure();
        if (j == 0) implOffset = 0;
        size_t start = items_.size();
        items_.u16(0x004A);
        items_.u16(j + 1 < implemented.size() ? uint32_t(start + 0x16) : 0xFFFF);
        items_.u16(0xFFFF);
        items_.u8(uint32_t(implemented[j].second));
        items_.u8(0x80);
        items_.u16(0x0012);
        items_.u16(*r);
        items_.u16(0x4001);
        items_.u16(0xFFFE);
        items_.u16(0xFFFF);
        items_.u16(0x001D);
        items_.u16(0);
    }
    for (uint32_t k = 0; k < t->funcCount; ++k) {
        auto written = writeFunction(k);
        if (!written) return fail("function " + std::to_string(k) + ": " + written.failure().message);
    }
    if (firstOfGroup_) funcOffset = static_cast<uint16_t>(*firstOfGroup_);
    firstOfGroup_.reset();
    pendingNext_.reset();
    for (uint32_t k = 0; k < t->varCount; ++k) {
        auto written = writeVariable(k);
        if (!written) return fail("variable " + std::to_string(k) + ": " + written.failure().message);
    }
    if (firstOfGroup_) varOffset = static_cast<uint16_t>(*firstOfGroup_);
    uint16_t aliasWord = 0xFFFF, simpleAlias = 0;
    if (t->kind == TKIND_ALIAS) {
        auto aliased = library_.aliasType(index_);
        if (!aliased) return aliased.failure();
        Bytes after;
        auto placed = place(*aliased, 0, after);
        if (!placed) return placed.failure();
        items_.append(after);
        aliasWord = placed->second;
        simpleAlias = placed->first ? 1 : 0;
    }
    if (items_.size() > 0xFFF0) return fail("type too large");

    Bytes block;
    Bytes references;
    if (!references_.empty()) {
        references.u8(0xDF);
        references.u8(0);
        references.fill(0x42, 0xFF);
        references.u32(uint32_t(references_.size() * 8));
        references.fill(references_.size() * 8, 0xFF);
        references.u16(0xFFFF);
        references.u8(1);
        references.u32(0);
        for (const std::string& r : references_) {
            references.u16(uint32_t(r.size()));
            references.text(r);
        }
        references.u8(0xDF);
    }
    block.u16(0x0501);
    block.u32(references_.empty() ? 0xFFFFFFFFu : 0x22);
    block.u32(0xFFFFFFFFu);
    block.u32(uint32_t(0x22 + references.size()));
    block.u32(0xFFFFFFFFu);
    block.u32(0);
    block.u32(0xFFFE0000u);
    block.u8(0x02 | (t->flags & 0x1F) << 3);
    block.u8(t->flags >> 5);
    block.u8(0x02);
    block.u8(t->kind);
    block.u32(0);
    block.append(references);
    block.u16(0x0001);
    block.u16(0xFFFF);
    block.u8(0x01);
    block.u32(uint32_t(items_.size()));
    block.append(items_);
    // The tail.
    block.u16(t->funcCount);
    block.u16(t->varCount);
    block.u16(t->implTypeCount);
    block.u16(0);
    block.u16(funcOffset);
    block.u16(varOffset);
    block.u16(implOffset);
    block.u16(0xFFFF);
    block.u16(0xFFFF);
    block.u16(0xFFFF);
    block.u16(aliasWord);
    block.u16(0xFFFF);
    block.u16(0);
    block.u16(0);
    block.u16(simpleAlias);
    block.u16(0);
    block.u16(0);
    block.u16(4);
    block.u16(0xFFFF);
    block.u16(0xFFFF);
    block.u16(uint32_t(t->vtableSize / library_.pointerSize() * 4));
    block.fill(8, 0xFF);
    block.u16(0);
    block.u16(0);
    return block;
}

}  // namespace

Result<std::vector<std::byte>> writeSltg(const TypeSource& library) {
    uint32_t count = library.count();
    if (count > 4000) return fail("too many types");
    NameTable names;
    auto libraryDoc = library.documentation(-1);
    if (!libraryDoc) return libraryDoc.failure();
    auto libraryName = names.add(libraryDoc->name.value_or(""));
    if (!libraryName) return libraryName.failure();

    std::vector<Bytes> blocks;
    Bytes records;
    records.u16(count);
    for (uint32_t i = 0; i < count; ++i) {
        TypeWriter writer(library, i, names);
        auto block = writer.write();
        if (!block) return fail("type " + std::to_string(i) + ": " + block.failure().message);
        blocks.push_back(std::move(*block));
        auto t = library.type(i);
        auto doc = library.documentation(static_cast<int32_t>(i));
        if (!t || !doc) return fail("type " + std::to_string(i) + " cannot be read");
        auto name = names.add(doc->name.value_or(""));
        if (!name) return name.failure();
        records.u16(10);
        records.text(indexName(2 * i));
        records.u16(10);
        records.text(indexName(2 * i + 1));
        records.u16(0xFFFF);
        records.u16(*name);
        records.u16(0);
        records.u16(0xFFFF);
        records.u32(0);
        records.u16(0xFFFF);
        records.guid(t->guid);
        records.u16(t->kind);
    }

    // The library block: attributes, padding, the type records, then the
    // name table that the word after them locates.
    Bytes library_block;
    library_block.u16(0x51CC);
    library_block.u16(3);
    library_block.u16(*libraryName);
    library_block.u16(0xFFFF);
    if (libraryDoc->docString) {
        library_block.u16(uint32_t(libraryDoc->docString->size()));
        library_block.text(*libraryDoc->docString);
    } else {
        library_block.u16(0xFFFF);
    }
    library_block.u16(0xFFFF);
    library_block.u32(0);
    library_block.u16(library.pointerSize() == 8 ? 3 : 1);
    library_block.u16(0);
    library_block.u32(0);
    library_block.u16(0);
    library_block.u16(1);
    library_block.u16(0);
    library_block.guid(library.libraryGuid());
    library_block.fill(0x40, 0xFF);
    library_block.append(records);
    size_t tableOffset = library_block.size() + 4 + 6;
    library_block.u32(uint32_t(tableOffset));
    library_block.fill(6, 0);
    for (uint32_t w : {0xFFFFu, 1u, 2u, 0xFF00u, 0xFFFFu, 0xFFFFu}) library_block.u16(w);
    library_block.fill(0x200, 0xFF);
    library_block.u32(uint32_t(names.bytes.size()));
    library_block.append(names.bytes);
    library_block.u32(0x01FFFF01u);
    library_block.u32(0);

    Bytes index;
    index.u8(1);
    index.text("CompObj");
    index.u8(0);
    index.text("dir");
    index.u8(0);
    for (uint32_t i = 0; i < count; ++i) {
        index.text(indexName(2 * i));
        index.u8(0);
    }

    Bytes file;
    file.u32(0x47544C53u);
    file.u16(count + 2);
    file.u16(9);
    file.u16(uint32_t(index.size()));
    file.u16(1);
    file.guid(Guid{0x000204FF, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}});
    file.u32(0x44);
    file.u32(0xFFFF0000u);
    for (uint32_t i = 0; i < count; ++i) {
        file.u32(uint32_t(blocks[i].size()));
        file.u16(13 + 11 * i);
        file.u16(i + 2);
    }
    file.u32(uint32_t(library_block.size()));
    file.u16(9);
    file.u16(0);
    file.append(index);
    file.fill(9, 0);
    for (const Bytes& block : blocks) file.append(block);
    file.append(library_block);
    return std::move(file.data);
}

}  // namespace mivra::test
