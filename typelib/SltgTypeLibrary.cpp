#include "SltgTypeLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "StandardOleLibrary.h"
#include "TextEncoding.h"
#include "VarType.h"

namespace mivra {

namespace {

constexpr uint64_t headerSize = 0x24;
constexpr uint64_t typeHeaderSize = 0x22;
constexpr uint64_t memberHeaderSize = 9;
constexpr uint64_t tailSize = 0x36;
constexpr uint64_t functionItemSize = 0x18;
constexpr uint64_t variableItemSize = 0x12;
constexpr uint64_t implementedItemSize = 0x16;
constexpr uint64_t indexStringSize = 11;
// Where the name table's entries start, from the offset the library block
// gives for it; each name is NUL-terminated 8-bit text.
constexpr uint64_t nameTableEntries = 0x218;
constexpr uint64_t maxNameLength = 4096;
constexpr int maxTypeDepth = 32;
// References are handed out as 4 × (1 + their place among all tables), and
// must stay below the level marks of inherited dispatch functions.
constexpr uint32_t maxReferences = 1u << 20;
constexpr int32_t unresolvable = 0x00FFFFFC;
constexpr Guid dispatchGuid{0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Offsets of the type tail's words.
enum : uint32_t {
    tailFuncCount = 0x00,
    tailVarCount = 0x02,
    tailImplCount = 0x04,
    tailFuncs = 0x08,
    tailVars = 0x0A,
    tailImpls = 0x0C,
    tailAlias = 0x14,
    tailSimpleAlias = 0x1C,
    tailVtableSize = 0x28,
};

std::string at(const char* what, uint64_t offset) { return std::string(what) + " at " + hexText(offset); }

// "*\R<hex>*#<hex>": the library (ffff: this one) and the type number.
std::optional<std::pair<uint32_t, uint32_t>> parseReference(std::string_view text) {
    auto hexNumber = [](std::string_view& rest) -> std::optional<uint32_t> {
        uint64_t value = 0;
        size_t digits = 0;
        while (digits < rest.size() && digits < 9 && std::isxdigit(static_cast<unsigned char>(rest[digits]))) {
            char c = rest[digits];
            value = value * 16 + uint64_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
            ++digits;
        }
        if (digits == 0 || value > 0xFFFFFFFFu) return std::nullopt;
        rest.remove_prefix(digits);
        return uint32_t(value);
    };
    if (!text.starts_with("*\\R")) return std::nullopt;
    text.remove_prefix(3);
    auto library = hexNumber(text);
    if (!library || !text.starts_with("*#")) return std::nullopt;
    text.remove_prefix(2);
    auto type = hexNumber(text);
    if (!type) return std::nullopt;
    return std::make_pair(*library, *type);
}

// "*\G{guid}#major.minor#lcid#path#": an imported library.
std::optional<ImportedLibrary> parseImport(std::string_view text) {
    if (!text.starts_with("*\\G") || text.size() < 3 + 38) return std::nullopt;
    auto guid = parseGuid(text.substr(3, 38));
    if (!guid) return std::nullopt;
    text.remove_prefix(3 + 38);
    ImportedLibrary library;
    library.guid = *guid;
    auto field = [&](std::string_view& rest, char end) -> std::optional<std::string_view> {
        size_t stop = rest.find(end);
        if (stop == std::string_view::npos) return std::nullopt;
        std::string_view value = rest.substr(0, stop);
        rest.remove_prefix(stop + 1);
        return value;
    };
    auto number = [](std::string_view digits, int base) -> std::optional<uint32_t> {
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        uint32_t value = 0;
        for (char c : digits) {
            int digit = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : 99;
            if (digit >= base) return std::nullopt;
            value = value * uint32_t(base) + uint32_t(digit);
        }
        return value;
    };
    if (!text.starts_with("#")) return std::nullopt;
    text.remove_prefix(1);
    auto major = field(text, '.');
    auto minor = major ? field(text, '#') : std::nullopt;
    auto lcid = minor ? field(text, '#') : std::nullopt;
    if (!lcid || text.empty() || text.back() != '#') return std::nullopt;
    auto majorNumber = number(*major, 10), minorNumber = number(*minor, 10), lcidNumber = number(*lcid, 16);
    if (!majorNumber || !minorNumber || !lcidNumber || *majorNumber > 0xFFFF || *minorNumber > 0xFFFF) return std::nullopt;
    library.major = uint16_t(*majorNumber);
    library.minor = uint16_t(*minorNumber);
    library.lcid = int32_t(*lcidNumber);
    library.fileName = std::string(text.substr(0, text.size() - 1));
    return library;
}

}  // namespace

SltgTypeLibrary::SltgTypeLibrary(std::span<const std::byte> blob, ImportResolver resolveImport)
    : blob_(blob), resolveImport_(std::move(resolveImport)) {}

Result<std::unique_ptr<SltgTypeLibrary>> SltgTypeLibrary::open(std::span<const std::byte> blob,
                                                               ImportResolver resolveImport) {
    std::unique_ptr<SltgTypeLibrary> library(new SltgTypeLibrary(blob, std::move(resolveImport)));
    auto read = library->read();
    if (!read) return read.failure();
    return library;
}

Result<bool> SltgTypeLibrary::read() {
    if (blob_.size() < headerSize) return fail("SLTG header: only " + std::to_string(blob_.size()) + " bytes");
    if (blob_.u32At(0) != 0x47544C53u) return fail("SLTG header: no SLTG signature");
    uint32_t blockCount = blob_.u16At(4);
    if (blockCount < 2) return fail(at("SLTG header: block count", 4) + " is " + std::to_string(blockCount));
    uint32_t entries = blockCount - 1;
    uint32_t typeCount = blockCount - 2;
    uint64_t magic = headerSize + 8 * uint64_t(entries);
    static const char directoryMagic[13] = {1, 'C', 'o', 'm', 'p', 'O', 'b', 'j', 0, 'd', 'i', 'r', 0};
    auto magicBytes = blob_.slice(magic, sizeof directoryMagic, "SLTG directory magic");
    if (!magicBytes) return magicBytes.failure();
    if (std::memcmp(magicBytes->data(), directoryMagic, sizeof directoryMagic) != 0)
        return fail(at("SLTG directory magic", magic) + " is not CompObj/dir");
    uint64_t firstBlockOffset = magic + sizeof directoryMagic + indexStringSize * typeCount + 9;
    if (firstBlockOffset > blob_.size())
        return fail(at("SLTG index strings", magic + sizeof directoryMagic) + ": " + std::to_string(typeCount) +
                    " do not fit");

    // The blocks lie one after the other in the order of their chain; the
    // library block ends it.
    struct Block {
        uint32_t entry;
        uint64_t offset;
        uint64_t length;
    };
    std::vector<Block> typeBlocks;
    std::vector<bool> visited(entries, false);
    uint32_t order = blob_.u16At(0x0A);
    if (order == 0 || order > entries) return fail(at("SLTG header: first block", 0x0A) + " names no block");
    --order;
    uint64_t offset = firstBlockOffset;
    std::optional<Block> libraryBlock;
    while (!libraryBlock) {
        if (visited[order]) return fail(at("SLTG block entry", headerSize + 8 * uint64_t(order)) + " is reached twice");
        visited[order] = true;
        uint64_t entry = headerSize + 8 * uint64_t(order);
        uint64_t length = blob_.u32At(entry);
        uint32_t next = blob_.u16At(entry + 6);
        if (!blob_.contains(offset, length)) return fail(at("SLTG block", offset) + " lies outside the library");
        if (next == 0) {
            libraryBlock = Block{order, offset, length};
            break;
        }
        typeBlocks.push_back(Block{order, offset, length});
        offset += length;
        if (next > entries) return fail(at("SLTG block entry", entry + 6) + " names no block");
        order = next - 1;
    }
    if (typeBlocks.size() != typeCount)
        return fail("SLTG block chain: " + std::to_string(typeBlocks.size()) + " type blocks, the header counts " +
                    std::to_string(typeCount));

    // The library block: names, version and GUID, then one record per type.
    uint64_t library = libraryBlock->offset;
    auto libraryMagic = blob_.u16(library, "SLTG library block");
    if (!libraryMagic) return libraryMagic.failure();
    if (*libraryMagic != 0x51CC) return fail(at("SLTG library block", library) + " has no library magic");
    auto libraryName = blob_.u16(library + 4, "SLTG library block: name");
    if (!libraryName) return libraryName.failure();
    libraryName_ = *libraryName;
    uint64_t p = library + 6;
    auto skipped = blob_.u16(p, "SLTG library block");
    if (!skipped) return skipped.failure();
    if (*skipped != 0xFFFF) p += *skipped;
    p += 2;
    for (int text = 0; text < 2; ++text) {
        auto length = blob_.u16(p, "SLTG library block: counted string");
        if (!length) return length.failure();
        p += 2;
        if (*length == 0xFFFF) continue;
        auto chars = blob_.slice(p, *length, "SLTG library block: counted string");
        if (!chars) return chars.failure();
        if (text == 0) libraryDoc_ = windows1252ToUtf8(*chars);
        p += *length;
    }
    auto fixed = blob_.slice(p, 4 + 2 + 2 + 4 + 2 + 2 + 2 + 16, "SLTG library block: attributes");
    if (!fixed) return fixed.failure();
    uint32_t sysKind = blob_.u16At(p + 4);
    pointerSize_ = sysKind == 3 ? 8 : 4;
    uint64_t g = p + 18;
    libraryGuid_.data1 = blob_.u32At(g);
    libraryGuid_.data2 = blob_.u16At(g + 4);
    libraryGuid_.data3 = blob_.u16At(g + 6);
    for (int i = 0; i < 8; ++i) libraryGuid_.data4[i] = blob_.byteAt(g + 8 + i);
    p = g + 16 + 0x40;

    types_.resize(typeCount);
    for (uint32_t i = 0; i < typeCount; ++i) {
        // Each record starts two bytes early, with a word of the record before.
        auto first = blob_.u16(p + 2, "SLTG type record: index name");
        if (!first) return first.failure();
        uint64_t length = 0;
        std::string_view indexName;
        if (*first != 0xFFFF) {
            auto chars = blob_.slice(p + 4, *first, "SLTG type record: index name");
            if (!chars) return chars.failure();
            indexName = std::string_view(reinterpret_cast<const char*>(chars->data()), chars->size());
            length += *first;
        }
        auto second = blob_.u16(p + 4 + length, "SLTG type record: second name");
        if (!second) return second.failure();
        if (*second != 0xFFFF) length += *second;
        auto more = blob_.u16(p + 10 + length, "SLTG type record");
        if (!more) return more.failure();
        length += *more;
        auto record = blob_.slice(p, length + 36, "SLTG type record");
        if (!record) return record.failure();
        TypeBlock& t = types_[i];
        t.nameOffset = blob_.u16At(p + 8 + length - *more);
        uint64_t tg = p + 20 + length;
        t.guid.data1 = blob_.u32At(tg);
        t.guid.data2 = blob_.u16At(tg + 4);
        t.guid.data3 = blob_.u16At(tg + 6);
        for (int b = 0; b < 8; ++b) t.guid.data4[b] = blob_.byteAt(tg + 8 + b);

        // The record and the block must name the same index string.
        uint64_t entry = headerSize + 8 * uint64_t(typeBlocks[i].entry);
        uint64_t indexString = magic + blob_.u16At(entry + 4);
        auto stored = blob_.slice(indexString, indexName.size() + 1, "SLTG index string");
        if (!stored || std::memcmp(stored->data(), indexName.data(), indexName.size()) != 0 ||
            stored->back() != std::byte{0})
            return fail(at("SLTG type record", p) + ": index name differs from its block's");
        p += length + 36;
    }
    auto nameTable = blob_.u32(p + 2, "SLTG name table offset");
    if (!nameTable) return nameTable.failure();
    uint64_t table = library + *nameTable;
    auto jump = blob_.u16(table, "SLTG name table");
    if (!jump) return jump.failure();
    nameBase_ = table + (*jump == 0x0200 ? 0x20 : 0) + nameTableEntries;

    for (uint32_t i = 0; i < typeCount; ++i) {
        auto block = readTypeBlock(types_[i], typeBlocks[i].offset, typeBlocks[i].length, i);
        if (!block) return block.failure();
    }
    chains_.resize(typeCount);
    return true;
}

Result<bool> SltgTypeLibrary::readTypeBlock(TypeBlock& t, uint64_t offset, uint64_t length, uint32_t index) {
    auto block = blob_.sub(offset, length, "SLTG type block");
    if (!block) return block.failure();
    t.block = *block;
    std::string where = "SLTG type block " + std::to_string(index);
    if (!t.block.contains(0, typeHeaderSize)) return fail(where + ": shorter than its header");
    if (t.block.u16At(0) != 0x0501) return fail(where + " at " + hexText(offset) + ": no type magic");
    uint32_t references = t.block.u32At(2);
    uint32_t members = t.block.u32At(0x0A);
    t.flags = uint16_t((t.block.byteAt(0x1A) >> 3) | (t.block.byteAt(0x1B) << 5));
    t.kind = t.block.byteAt(0x1D);
    if (t.kind > TKIND_UNION) return fail(where + ": kind " + std::to_string(t.kind));
    if (!t.block.contains(members, memberHeaderSize)) return fail(where + ": member header outside the block");
    t.items = uint64_t(members) + memberHeaderSize;
    t.itemsLength = t.block.u32At(members + 5);
    if (!t.block.contains(t.items, t.itemsLength) || !t.block.contains(t.items + t.itemsLength, tailSize))
        return fail(where + ": members and tail (" + std::to_string(t.itemsLength) + " bytes) outside the block");
    t.tail = t.items + t.itemsLength;
    t.firstReference = static_cast<uint32_t>(references_.size());
    if (references != 0xFFFFFFFFu) {
        auto read = readReferences(t, references);
        if (!read) return fail(where + ": " + read.failure().message);
    }
    return true;
}

Result<bool> SltgTypeLibrary::readReferences(TypeBlock& t, uint64_t table) {
    auto magic = t.block.u8(table, "reference table");
    if (!magic) return magic.failure();
    if (*magic != 0xDF) return fail(at("reference table", table) + " has no magic");
    auto number = t.block.u32(table + 0x44, "reference table: size");
    if (!number) return number.failure();
    if (*number % 8 != 0 || !t.block.contains(table + 0x48, uint64_t(*number) + 7))
        return fail(at("reference table: size", table + 0x44) + " is " + std::to_string(*number));
    uint32_t count = *number / 8;
    if (uint64_t(references_.size()) + count > maxReferences) return fail("reference tables: too many references");
    uint64_t p = table + 0x4F + *number;
    for (uint32_t r = 0; r < count; ++r) {
        auto length = t.block.u16(p, "reference");
        if (!length) return length.failure();
        p += 2;
        Reference reference;
        if (*length != 0xFFFF) {
            auto chars = t.block.slice(p, *length, "reference");
            if (!chars) return chars.failure();
            p += *length;
            auto parsed = parseReference(std::string_view(reinterpret_cast<const char*>(chars->data()), chars->size()));
            if (parsed) {
                reference.valid = parsed->first <= 0xFFFF;
                reference.library = parsed->first == 0xFFFF ? -1 : int32_t(parsed->first);
                reference.type = parsed->second;
            }
        }
        references_.push_back(reference);
    }
    t.referenceCount = count;
    return true;
}

Result<std::optional<std::string>> SltgTypeLibrary::name(uint32_t offset) const {
    uint64_t start = nameBase_ + offset;
    if (start >= blob_.size()) return fail(at("name", offset) + " outside the library");
    uint64_t available = std::min<uint64_t>(blob_.size() - start, maxNameLength);
    auto bytes = blob_.bytes().subspan(start, available);
    auto end = std::find(bytes.begin(), bytes.end(), std::byte{0});
    if (end == bytes.end()) return fail(at("name", offset) + " has no end");
    return std::optional<std::string>(windows1252ToUtf8(bytes.first(size_t(end - bytes.begin()))));
}

Result<Documentation> SltgTypeLibrary::documentation(int32_t index) const {
    if (index == -1) {
        auto n = name(libraryName_);
        if (!n) return n.failure();
        return Documentation{std::move(*n), libraryDoc_};
    }
    if (index < 0 || uint32_t(index) >= types_.size()) return fail("no type " + std::to_string(index));
    auto n = name(types_[index].nameOffset);
    if (!n) return n.failure();
    return Documentation{std::move(*n), std::nullopt};
}

Result<StoredType> SltgTypeLibrary::type(uint32_t index) const {
    if (index >= types_.size()) return fail("no type " + std::to_string(index), Failure::Step::TypeInfo);
    const TypeBlock& b = types_[index];
    StoredType t;
    t.guid = b.guid;
    t.kind = b.kind;
    t.flags = b.flags;
    t.funcCount = tailWord(b, tailFuncCount);
    t.varCount = tailWord(b, tailVarCount);
    t.implTypeCount = tailWord(b, tailImplCount);
    // Sizes are stored for 32-bit pointers.
    t.vtableSize = uint16_t(tailWord(b, tailVtableSize) / 4 * pointerSize_);
    if (t.kind == TKIND_COCLASS ? uint64_t(t.implTypeCount) * implementedItemSize > b.itemsLength : t.implTypeCount > 1)
        return fail("type " + std::to_string(index) + ": " + std::to_string(t.implTypeCount) +
                        " implemented types do not fit",
                    Failure::Step::TypeInfo);
    bool pureDispatch = t.kind == TKIND_DISPATCH && !(t.flags & TYPEFLAG_FDUAL);
    if (pureDispatch) {
        // A dispatch interface's functions are its own: some writers
        // declare IDispatch's seven slots as its vtable, or list IDispatch
        // among its implemented types, neither of which adds a function.
        t.vtableSize = uint16_t(t.funcCount * pointerSize_);
    } else if ((t.kind == TKIND_INTERFACE || t.kind == TKIND_DISPATCH) && t.implTypeCount == 1) {
        auto base = classInterface(index, 0);
        if (base) t.datatype1 = base->first;
    }
    return t;
}

Result<const SltgTypeLibrary::MemberChains*> SltgTypeLibrary::chains(uint32_t index) const {
    if (index >= types_.size()) return fail("no type " + std::to_string(index));
    if (chains_[index]) return chains_[index].get();
    const TypeBlock& b = types_[index];
    auto made = std::make_unique<MemberChains>();
    // A chain ends at 0xFFFF, where it leaves the items, or at its count.
    auto walk = [&](uint32_t first, uint32_t count, uint64_t itemSize, uint64_t nextField, std::vector<uint64_t>& out) {
        if (first == 0xFFFF) return;
        uint64_t p = b.items + first;
        while (out.size() < count && first < b.itemsLength && b.block.contains(p, itemSize) &&
               p + itemSize <= b.tail) {
            out.push_back(p);
            uint32_t next = b.block.u16At(p + nextField);
            if (next == 0xFFFF) break;
            first = next;
            p = b.items + next;
        }
    };
    walk(tailWord(b, tailImpls), tailWord(b, tailImplCount), implementedItemSize, 2, made->implemented);
    // A record without its magic ends the list there.
    for (size_t j = 0; j < made->implemented.size(); ++j)
        if (b.block.u16At(made->implemented[j]) != 0x004A) made->implemented.resize(j);
    walk(tailWord(b, tailFuncs), tailWord(b, tailFuncCount), functionItemSize, 2, made->functions);
    walk(tailWord(b, tailVars), tailWord(b, tailVarCount), variableItemSize, 2, made->variables);
    uint32_t funcCount = tailWord(b, tailFuncCount);
    for (uint32_t k = 0; k < made->functions.size(); ++k)
        made->byId.emplace_back(static_cast<int32_t>(b.block.u32At(made->functions[k] + 6)), k);
    for (uint32_t k = 0; k < made->variables.size(); ++k)
        made->byId.emplace_back(static_cast<int32_t>(b.block.u32At(made->variables[k] + 10)), funcCount + k);
    std::sort(made->byId.begin(), made->byId.end());
    chains_[index] = std::move(made);
    return chains_[index].get();
}

Result<std::optional<uint32_t>> SltgTypeLibrary::findMember(uint32_t index, int32_t memberId) const {
    auto c = chains(index);
    if (!c) return c.failure();
    const auto& members = (*c)->byId;
    auto found = std::lower_bound(members.begin(), members.end(), std::pair<int32_t, uint32_t>(memberId, 0));
    if (found == members.end() || found->first != memberId) return std::optional<uint32_t>();
    return std::optional<uint32_t>(found->second);
}

Result<TypeDescription> SltgTypeLibrary::typeAt(const TypeBlock& t, uint64_t p, uint64_t* end, uint16_t* flags) const {
    std::vector<uint16_t> wrappers;
    TypeDescription leaf;
    bool done = false;
    for (int depth = 0; depth < maxTypeDepth && !done; ++depth) {
        auto word = t.block.u16(p, "type description");
        if (!word) return word.failure();
        uint16_t w = *word;
        if (depth == 0 && flags) {
            if ((w & 0xC000) == 0xC000)
                *flags = 0;
            else if (w & 0x8000)
                *flags = 3;
            else if (w & 0x4000)
                *flags = 2;
            else
                *flags = 1;
            if (w & 0x2000) *flags |= PARAMFLAG_FLCID;
            if (w & 0x80) *flags |= PARAMFLAG_FRETVAL;
        }
        if ((w & 0x0E00) == 0x0E00) wrappers.push_back(VT_PTR);
        switch (w & 0x3F) {
        case VT_PTR:
            wrappers.push_back(VT_PTR);
            p += 2;
            break;
        case VT_SAFEARRAY:
            wrappers.push_back(VT_SAFEARRAY);
            p += 4;
            break;
        case VT_CARRAY: {
            auto array = t.block.u16(p + 2, "array description offset");
            if (!array) return array.failure();
            uint64_t descriptor = t.items + *array;
            auto dimensions = t.block.u16(descriptor, "array description");
            if (!dimensions) return dimensions.failure();
            if (*dimensions == 0 || !t.block.contains(descriptor, 16 + 8 * uint64_t(*dimensions)))
                return fail(at("array description", descriptor) + ": " + std::to_string(*dimensions) +
                            " dimensions do not fit");
            wrappers.push_back(VT_CARRAY);
            p += 4;
            break;
        }
        case VT_USERDEFINED: {
            auto reference = t.block.u16(p + 2, "type reference");
            if (!reference) return reference.failure();
            uint32_t r = *reference / 4;
            leaf.vt = VT_USERDEFINED;
            leaf.reference = r < t.referenceCount ? int32_t(4 * (1 + t.firstReference + r)) : unresolvable;
            p += 4;
            done = true;
            break;
        }
        default:
            leaf.vt = w & 0x3F;
            p += 2;
            done = true;
            break;
        }
    }
    if (!done) return fail(at("type description", p) + ": nested too deeply");
    if (end) *end = p;
    for (auto wrapper = wrappers.rbegin(); wrapper != wrappers.rend(); ++wrapper) {
        TypeDescription outer;
        outer.vt = *wrapper;
        outer.pointee = std::make_shared<const TypeDescription>(std::move(leaf));
        leaf = std::move(outer);
    }
    return leaf;
}

Result<StoredFunction> SltgTypeLibrary::function(uint32_t index, uint32_t k) const {
    auto c = chains(index);
    if (!c) return c.failure();
    if (k >= (*c)->functions.size()) return fail("no function " + std::to_string(k) + " of type " + std::to_string(index));
    const TypeBlock& t = types_[index];
    uint64_t p = (*c)->functions[k];
    uint8_t magic = t.block.byteAt(p);
    StoredFunction f;
    switch (magic & ~0x20) {
    case 0x4C: f.funcKind = 1; break;
    case 0x8B: f.funcKind = 3; break;
    case 0xCB: f.funcKind = FUNC_DISPATCH; break;
    default: return fail(at("function item", p) + ": magic " + hexText(magic));
    }
    f.invokeKind = t.block.byteAt(p + 1) >> 4;
    f.memberId = static_cast<int32_t>(t.block.u32At(p + 6));
    uint32_t argCount = t.block.byteAt(p + 16) >> 3;
    uint8_t returnAndOptional = t.block.byteAt(p + 17);
    f.optionalParamCount = int16_t((returnAndOptional & 0x7E) >> 1);
    if (magic & 0x20) f.flags = t.block.u16At(p + 22);
    if (auto fname = name(t.block.u16At(p + 4))) f.name = std::move(*fname);
    auto result = returnAndOptional & 0x80 ? typeAt(t, p + 18, nullptr, nullptr)
                                           : typeAt(t, t.items + t.block.u16At(p + 18), nullptr, nullptr);
    if (!result) return fail("function " + std::to_string(k) + " of type " + std::to_string(index) + ": " +
                             result.failure().message);
    f.result = std::move(*result);
    uint64_t a = t.items + t.block.u16At(p + 14);
    f.params.resize(argCount);
    for (uint32_t i = 0; i < argCount; ++i) {
        auto nameWord = t.block.u16(a, "parameter");
        if (!nameWord) return nameWord.failure();
        a += 2;
        StoredParameter& param = f.params[i];
        Result<TypeDescription> type = TypeDescription{};
        if (*nameWord & 1) {
            type = typeAt(t, a, &a, &param.flags);
        } else {
            auto offset = t.block.u16(a, "parameter type offset");
            if (!offset) return offset.failure();
            a += 2;
            type = typeAt(t, t.items + *offset, nullptr, &param.flags);
        }
        if (!type) return fail("parameter " + std::to_string(i) + " of function " + std::to_string(k) + ": " +
                               type.failure().message);
        param.type = std::move(*type);
        if (*nameWord < 0xFFFE)
            if (auto pname = name(*nameWord & ~1u)) param.name = std::move(*pname);
    }
    // The optional parameters are the last ones before a trailing [lcid]
    // and [retval], which are never optional.
    size_t last = f.params.size();
    while (last > 0 && (f.params[last - 1].flags & (PARAMFLAG_FLCID | PARAMFLAG_FRETVAL))) --last;
    for (size_t i = last; i > 0 && last - i < size_t(f.optionalParamCount); --i) f.params[i - 1].flags |= 0x10;
    return f;
}

Result<StoredVariable> SltgTypeLibrary::variable(uint32_t index, uint32_t k) const {
    auto c = chains(index);
    if (!c) return c.failure();
    if (k >= (*c)->variables.size()) return fail("no variable " + std::to_string(k) + " of type " + std::to_string(index));
    const TypeBlock& t = types_[index];
    uint64_t p = (*c)->variables[k];
    uint8_t magic = t.block.byteAt(p);
    if (magic != 0x0A && magic != 0x2A) return fail(at("variable item", p) + ": magic " + hexText(magic));
    uint8_t kind = t.block.byteAt(p + 1);
    StoredVariable v;
    v.memberId = static_cast<int32_t>(t.block.u32At(p + 10));
    // A name of 0xFFFE repeats the name of the variable before.
    uint32_t nameOffset = t.block.u16At(p + 4);
    for (uint32_t before = k; nameOffset == 0xFFFE && before > 0; --before)
        nameOffset = t.block.u16At((*c)->variables[before - 1] + 4);
    if (nameOffset != 0xFFFE)
        if (auto vname = name(nameOffset)) v.name = std::move(*vname);
    if (magic & 0x20 && t.block.contains(p + variableItemSize, 2)) v.flags = t.block.u16At(p + variableItemSize);
    if (kind & 0x80) v.flags |= 1;
    auto type = kind & 0x02 ? typeAt(t, p + 8, nullptr, nullptr) : typeAt(t, t.items + t.block.u16At(p + 8), nullptr, nullptr);
    if (!type) {
        v.descriptionFailure = type.failure().message;
        return v;
    }
    v.type = std::move(*type);
    uint16_t valueOffset = t.block.u16At(p + 6);
    if (kind & 0x40) {
        v.varKind = 3;
    } else if (kind & 0x10) {
        v.varKind = 2;
        ConstantValue value;
        if (kind & 0x08) {
            value.vt = VT_INT;
            value.integer = valueOffset;
        } else {
            uint64_t data = t.items + valueOffset;
            switch (v.type.vt) {
            case VT_BSTR: case VT_LPSTR: case VT_LPWSTR: {
                value.vt = VT_BSTR;
                auto length = t.block.u16(data, "constant");
                if (!length) {
                    v.descriptionFailure = length.failure().message;
                    return v;
                }
                if (*length != 0xFFFF) {
                    auto chars = t.block.slice(data + 2, *length, "constant");
                    if (!chars) {
                        v.descriptionFailure = chars.failure().message;
                        return v;
                    }
                    value.text = windows1252ToUtf8(*chars);
                }
                break;
            }
            case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: {
                auto number = t.block.i32(data, "constant");
                if (!number) {
                    v.descriptionFailure = number.failure().message;
                    return v;
                }
                value.vt = VT_INT;
                value.integer = *number;
                break;
            }
            default:
                v.descriptionFailure = at("variable item", p) + ": a constant of type " + std::to_string(v.type.vt) +
                                       " that the SLTG format does not hold";
                return v;
            }
        }
        v.value = std::move(value);
    } else {
        v.varKind = 0;
    }
    return v;
}

Result<TypeDescription> SltgTypeLibrary::aliasType(uint32_t index) const {
    if (index >= types_.size()) return fail("no type " + std::to_string(index));
    const TypeBlock& t = types_[index];
    if (tailWord(t, tailSimpleAlias)) return TypeDescription{uint16_t(tailWord(t, tailAlias) & 0x0FFF), nullptr};
    return typeAt(t, t.items + tailWord(t, tailAlias), nullptr, nullptr);
}

Result<std::pair<int32_t, int32_t>> SltgTypeLibrary::classInterface(uint32_t index, uint32_t j) const {
    auto c = chains(index);
    if (!c) return c.failure();
    const TypeBlock& t = types_[index];
    if (j >= tailWord(t, tailImplCount)) return fail("no implemented type " + std::to_string(j));
    if (j >= (*c)->implemented.size())
        return fail("implemented type " + std::to_string(j) + " of type " + std::to_string(index) +
                    ": record missing or outside the members");
    uint64_t p = (*c)->implemented[j];
    uint32_t r = t.block.u16At(p + 0x0A);
    int32_t reference = r < t.referenceCount ? int32_t(4 * (1 + t.firstReference + r)) : unresolvable;
    return std::pair<int32_t, int32_t>(reference, t.block.byteAt(p + 6));
}

Result<TypeLocation> SltgTypeLibrary::resolve(int32_t reference) const {
    if (reference == 0) {
        auto source = resolveImport_ ? resolveImport_(ImportedLibrary{standardOleLibraryGuid, 2, 0, 0, "stdole2.tlb"})
                                     : Result<const TypeSource*>(&standardOleLibrary());
        if (!source) return source.failure();
        if (auto found = (*source)->typeWithGuid(dispatchGuid)) return TypeLocation{*source, *found};
        return fail("IDispatch not found in the standard library");
    }
    uint32_t r = uint32_t(reference) / 4;
    if (reference < 4 || r - 1 >= references_.size() || !references_[r - 1].valid)
        return fail("reference " + hexText(uint32_t(reference)) + " names no type");
    const Reference& target = references_[r - 1];
    if (target.library == -1) {
        if (target.type >= types_.size())
            return fail("reference " + hexText(uint32_t(reference)) + " names no type of the library");
        return TypeLocation{this, target.type};
    }
    return resolveImport(target.library, target.type);
}

Result<TypeLocation> SltgTypeLibrary::resolveImport(int32_t library, uint32_t typeNumber) const {
    auto cached = imports_.find(library);
    if (cached == imports_.end()) {
        Result<const TypeSource*> found = fail("imports are not resolved");
        auto text = name(uint32_t(library));
        if (!text || !*text) {
            found = fail(at("import", uint32_t(library)) + " outside the name table");
        } else if (auto imported = parseImport(**text)) {
            if (resolveImport_) found = resolveImport_(*imported);
        } else {
            found = fail(at("import", uint32_t(library)) + " is not a library reference");
        }
        cached = imports_.emplace(library, std::move(found)).first;
    }
    if (!cached->second) return cached->second.failure();
    const TypeSource* source = *cached->second;
    if (typeNumber >= source->count()) return fail("imported type " + std::to_string(typeNumber) + " not found");
    return TypeLocation{source, typeNumber};
}

}  // namespace mivra
