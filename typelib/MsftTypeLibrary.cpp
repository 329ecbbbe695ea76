#include "MsftTypeLibrary.h"

#include <algorithm>
#include <cstring>

#include "TextEncoding.h"
#include "VarType.h"

namespace mivra {

namespace {

// Segment numbers in the directory that follows the header.
enum : size_t {
    typeInfoSegment = 0,
    importInfoSegment = 1,
    importFileSegment = 2,
    refTableSegment = 3,
    guidSegment = 5,
    nameSegment = 7,
    stringSegment = 8,
    typeDescSegment = 9,
    arrayDescSegment = 10,
    customDataSegment = 11,
};

constexpr uint32_t headerSize = 0x54;
constexpr uint32_t typeRecordSize = 100;
constexpr int maxTypeDepth = 32;

std::string at(const char* what, uint64_t offset) { return std::string(what) + " at " + hexText(offset); }

// VARIANT types that VariantCopy accepts, as OLE Automation checks them.
bool copyableVariantType(uint16_t vt) {
    uint16_t extra = vt & 0xF000;
    uint16_t base = vt & 0x0FFF;
    if (extra & (0x1000 | 0x8000)) return false;
    if (base < 24 || base == 36 || base == 72) {
        if ((extra & (0x4000 | 0x2000)) && base <= 1) return false;
        return base != 15;
    }
    return false;
}

}  // namespace

MsftTypeLibrary::MsftTypeLibrary(std::span<const std::byte> blob, ImportResolver resolveImport)
    : blob_(blob), resolveImport_(std::move(resolveImport)) {}

Result<std::unique_ptr<MsftTypeLibrary>> MsftTypeLibrary::open(std::span<const std::byte> blob,
                                                               ImportResolver resolveImport) {
    std::unique_ptr<MsftTypeLibrary> library(new MsftTypeLibrary(blob, std::move(resolveImport)));
    auto header = library->readHeader();
    if (!header) return header.failure();
    return library;
}

Result<bool> MsftTypeLibrary::readHeader() {
    if (blob_.size() < headerSize) return fail("MSFT header: only " + std::to_string(blob_.size()) + " bytes");
    if (blob_.u32At(0) != 0x5446534Du) return fail("MSFT header: no MSFT signature");
    int32_t varFlags = static_cast<int32_t>(blob_.u32At(0x14));
    int32_t typeCount = static_cast<int32_t>(blob_.u32At(0x20));
    if (typeCount < 0) return fail(at("MSFT header: nrtypeinfos", 0x20) + " is negative");
    uint32_t sysKind = varFlags & 0xF;
    pointerSize_ = sysKind == 3 ? 8 : 4;
    nameOffset_ = static_cast<int32_t>(blob_.u32At(0x38));
    docOffset_ = static_cast<int32_t>(blob_.u32At(0x24));
    dispatchReference_ = static_cast<int32_t>(blob_.u32At(0x4C));

    uint64_t directory = headerSize + uint64_t(typeCount) * 4 + ((varFlags & 0x100) ? 4 : 0);
    if (!blob_.contains(directory, 15 * 16))
        return fail(at("MSFT segment directory", directory) + " (placed after " + std::to_string(typeCount) +
                    " types by nrtypeinfos at 0x20) lies outside the library");
    for (size_t s = 0; s < segments_.size(); ++s) {
        uint64_t entry = directory + s * 16;
        int32_t offset = static_cast<int32_t>(blob_.u32At(entry));
        int32_t length = static_cast<int32_t>(blob_.u32At(entry + 4));
        if (s < 2 && blob_.u32At(entry + 12) != 0x0F)
            return fail(at("MSFT segment directory: entry", entry) + " is not marked 0x0F");
        if (offset < 0 || length <= 0) {
            segments_[s] = {0, 0};
            continue;
        }
        if (!blob_.contains(uint32_t(offset), uint32_t(length)))
            return fail(at("MSFT segment directory: segment", entry) + " lies outside the library");
        segments_[s] = {uint64_t(uint32_t(offset)), uint64_t(uint32_t(length))};
    }
    if (uint64_t(typeCount) * typeRecordSize > segments_[typeInfoSegment].length)
        return fail(at("MSFT header: nrtypeinfos", 0x20) + ": " + std::to_string(typeCount) +
                    " types do not fit in the type segment");
    typeCount_ = uint32_t(typeCount);

    int32_t libraryGuid = static_cast<int32_t>(blob_.u32At(0x08));
    if (libraryGuid >= 0) {
        auto g = guid(libraryGuid, "MSFT header: library GUID");
        if (g) libraryGuid_ = *g;
    }

    auto names = ByteReader(blob_.bytes());
    const Segment& nameTable = segments_[nameSegment];
    for (uint32_t i = 0; i < typeCount_; ++i) {
        int32_t nameOffset = static_cast<int32_t>(blob_.u32At(typeRecord(i) + 0x34));
        if (nameOffset < 0 || uint64_t(nameOffset) + 4 > nameTable.length) continue;
        int32_t owner = static_cast<int32_t>(names.u32At(nameTable.offset + uint32_t(nameOffset)));
        typeByNameOwner_.try_emplace(owner, i);
    }
    return true;
}

Result<std::optional<std::string>> MsftTypeLibrary::name(int32_t offset) const {
    if (offset == -1) return std::optional<std::string>();
    const Segment& table = segments_[nameSegment];
    if (offset < 0 || uint64_t(offset) + 12 > table.length) return fail(at("name table: entry", offset) + " outside the name table");
    uint64_t entry = table.offset + uint32_t(offset);
    uint32_t length = blob_.byteAt(entry + 8);
    if (uint64_t(offset) + 12 + length > table.length) return fail(at("name table: name", offset) + " runs past the name table");
    return std::optional<std::string>(windows1252ToUtf8(blob_.bytes().subspan(entry + 12, length)));
}

Result<std::optional<std::string>> MsftTypeLibrary::string(int32_t offset) const {
    if (offset == -1) return std::optional<std::string>();
    const Segment& table = segments_[stringSegment];
    if (offset < 0 || uint64_t(offset) + 2 > table.length) return fail(at("string table: entry", offset) + " outside the string table");
    uint64_t entry = table.offset + uint32_t(offset);
    uint32_t length = blob_.u16At(entry);
    if (uint64_t(offset) + 2 + length > table.length) return fail(at("string table: string", offset) + " runs past the string table");
    return std::optional<std::string>(windows1252ToUtf8(blob_.bytes().subspan(entry + 2, length)));
}

Result<Guid> MsftTypeLibrary::guid(int32_t offset, const char* what) const {
    if (offset == -1) return Guid{};
    const Segment& table = segments_[guidSegment];
    if (offset < 0 || uint64_t(offset) + 16 > table.length) return fail(at(what, offset) + " outside the GUID table");
    uint64_t p = table.offset + uint32_t(offset);
    Guid g;
    g.data1 = blob_.u32At(p);
    g.data2 = blob_.u16At(p + 4);
    g.data3 = blob_.u16At(p + 6);
    for (int i = 0; i < 8; ++i) g.data4[i] = blob_.byteAt(p + 8 + i);
    return g;
}

Result<Documentation> MsftTypeLibrary::documentation(int32_t index) const {
    int32_t nameOffset = nameOffset_, docOffset = docOffset_;
    if (index != -1) {
        if (index < 0 || uint32_t(index) >= typeCount_) return fail("no type " + std::to_string(index));
        nameOffset = static_cast<int32_t>(blob_.u32At(typeRecord(index) + 0x34));
        docOffset = static_cast<int32_t>(blob_.u32At(typeRecord(index) + 0x3C));
    }
    auto n = name(nameOffset);
    if (!n) return n.failure();
    auto d = string(docOffset);
    if (!d) return d.failure();
    return Documentation{std::move(*n), std::move(*d)};
}

Result<StoredType> MsftTypeLibrary::type(uint32_t index) const {
    if (index < types_.size() && types_[index]) return *types_[index];
    auto t = readType(index);
    if (t) {
        if (types_.size() != typeCount_) types_.assign(typeCount_, std::nullopt);
        types_[index] = *t;
    }
    return t;
}

Result<StoredType> MsftTypeLibrary::readType(uint32_t index) const {
    if (index >= typeCount_) return fail("no type " + std::to_string(index), Failure::Step::TypeInfo);
    uint64_t r = typeRecord(index);
    StoredType t;
    t.kind = blob_.u32At(r) & 0xF;
    if (t.kind > TKIND_UNION) return fail(at("type record: kind", r) + " is " + std::to_string(t.kind), Failure::Step::TypeInfo);
    uint32_t elements = blob_.u32At(r + 0x18);
    t.funcCount = uint16_t(elements & 0xFFFF);
    t.varCount = uint16_t(elements >> 16);
    auto g = guid(static_cast<int32_t>(blob_.u32At(r + 0x2C)), "type record: GUID");
    if (!g) return fail(g.failure().message, Failure::Step::TypeInfo);
    t.guid = *g;
    t.flags = uint16_t(blob_.u32At(r + 0x30));
    t.implTypeCount = blob_.u16At(r + 0x4C);
    t.vtableSize = blob_.u16At(r + 0x4E);
    t.datatype1 = static_cast<int32_t>(blob_.u32At(r + 0x54));
    // Counts the file cannot back are corruption, not a licence to ask for
    // tens of thousands of missing records.
    if (t.kind == TKIND_COCLASS ? uint64_t(t.implTypeCount) * 16 > segments_[refTableSegment].length
                                : t.implTypeCount > 1)
        return fail(at("type record: implemented types", r + 0x4C) + ": " + std::to_string(t.implTypeCount) +
                        " do not fit",
                    Failure::Step::TypeInfo);
    if (t.funcCount + t.varCount > 0) {
        auto block = memberBlock(index);
        if (!block) return fail(block.failure().message, Failure::Step::TypeInfo);
    }
    return t;
}

Result<MsftTypeLibrary::MemberBlock> MsftTypeLibrary::memberBlock(uint32_t index) const {
    if (index >= typeCount_) return fail("no type " + std::to_string(index));
    uint64_t r = typeRecord(index);
    uint32_t elements = blob_.u32At(r + 0x18);
    MemberBlock block;
    block.funcCount = elements & 0xFFFF;
    block.count = block.funcCount + (elements >> 16);
    int32_t memOffset = static_cast<int32_t>(blob_.u32At(r + 0x04));
    if (memOffset < 0) return fail(at("type record: member block", r + 4) + " is missing");
    auto infoLength = blob_.i32(uint32_t(memOffset), "member block: length");
    if (!infoLength) return infoLength.failure();
    if (*infoLength < 0) return fail(at("member block: length", memOffset) + " is negative");
    block.records = uint64_t(uint32_t(memOffset)) + 4;
    block.infoLength = uint32_t(*infoLength);
    block.arrays = block.records + block.infoLength;
    if (!blob_.contains(block.records, block.infoLength) || !blob_.contains(block.arrays, uint64_t(block.count) * 12))
        return fail(at("member block", memOffset) + " lies outside the library");
    return block;
}

std::optional<uint64_t> MsftTypeLibrary::memberBlockKey(uint32_t index) const {
    if (index >= typeCount_) return std::nullopt;
    uint64_t r = typeRecord(index);
    // The block's offset and the record's function and variable counts.
    return uint64_t{blob_.u32At(r + 0x04)} << 32 | blob_.u32At(r + 0x18);
}

Result<std::optional<uint32_t>> MsftTypeLibrary::findMember(uint32_t index, int32_t memberId) const {
    auto block = memberBlock(index);
    if (!block) return block.failure();
    if (memberIndexMade_.size() != typeCount_) {
        memberIndexMade_.assign(typeCount_, false);
        memberIndex_.assign(typeCount_, {});
    }
    auto& members = memberIndex_[index];
    if (!memberIndexMade_[index]) {
        members.reserve(block->count);
        for (uint32_t k = 0; k < block->count; ++k)
            members.emplace_back(static_cast<int32_t>(blob_.u32At(block->arrays + 4 * uint64_t(k))), k);
        std::sort(members.begin(), members.end());
        memberIndexMade_[index] = true;
    }
    auto found = std::lower_bound(members.begin(), members.end(), std::pair<int32_t, uint32_t>(memberId, 0));
    if (found == members.end() || found->first != memberId) return std::optional<uint32_t>();
    return std::optional<uint32_t>(found->second);
}

Result<TypeDescription> MsftTypeLibrary::typeDescription(int32_t encoded, int depth) const {
    if (depth > maxTypeDepth) return fail("type description: nested too deeply (a cycle?)");
    TypeDescription t;
    if (encoded < 0) {
        t.vt = uint16_t(uint32_t(encoded) & 0x0FFF);
        return t;
    }
    const Segment& table = segments_[typeDescSegment];
    uint64_t entry = uint64_t(uint32_t(encoded)) / 8 * 8;
    if (entry + 8 > table.length) return fail(at("type description", encoded) + " outside the type table");
    uint64_t p = table.offset + entry;
    uint16_t vt = blob_.u16At(p);
    t.vt = vt & 0x0FFF;
    if (t.vt == 26 || t.vt == 27) {
        int32_t operand = static_cast<int32_t>(blob_.u32At(p + 4));
        TypeDescription pointee;
        if (operand < 0) {
            pointee.vt = uint16_t(uint32_t(operand) & 0x0FFF);
        } else {
            auto inner = typeDescription(operand, depth + 1);
            if (!inner) return inner.failure();
            pointee = std::move(*inner);
        }
        t.pointee = std::make_shared<const TypeDescription>(std::move(pointee));
    } else if (t.vt == VT_USERDEFINED) {
        t.reference = static_cast<int32_t>(blob_.u32At(p + 4));
    } else if (t.vt == VT_CARRAY) {
        // The operand locates an array description: the element type, then
        // the bounds, which nothing here needs.
        int32_t operand = static_cast<int32_t>(blob_.u32At(p + 4));
        const Segment& arrays = segments_[arrayDescSegment];
        if (operand < 0 || uint64_t(operand) + 8 > arrays.length)
            return fail(at("array description", operand) + " outside the array table");
        int32_t element = static_cast<int32_t>(blob_.u32At(arrays.offset + uint32_t(operand)));
        auto inner = typeDescription(element, depth + 1);
        if (!inner) return inner.failure();
        t.pointee = std::make_shared<const TypeDescription>(std::move(*inner));
    }
    return t;
}

std::optional<ConstantValue> MsftTypeLibrary::value(int32_t encoded) const {
    ConstantValue v;
    uint64_t payload = 0;  // where the record's data starts
    uint64_t available = 0;
    uint64_t data = 0;
    if (encoded < 0) {
        // Packed: 26 bits of data in the VARIANT's zeroed data field. For a
        // pointer type that is the pointer: only a null one can be had.
        v.vt = uint16_t((uint32_t(encoded) >> 26) & 0x1F);
        data = uint32_t(encoded) & 0x03FFFFFFu;
        available = 8;
        if (v.vt == VT_BSTR || v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) return data == 0 ? std::optional(v) : std::nullopt;
    } else {
        const Segment& table = segments_[customDataSegment];
        if (uint64_t(encoded) + 2 > table.length) return std::nullopt;
        v.vt = blob_.u16At(table.offset + uint32_t(encoded));
        payload = table.offset + uint32_t(encoded) + 2;
        available = table.length - uint32_t(encoded) - 2;
    }
    if (!copyableVariantType(v.vt) || (v.vt & 0x0FFF) == 36) return std::nullopt;
    if (v.vt & 0xF000) return v;  // arrays and references arrive as null pointers
    auto load = [&](uint32_t size) {
        if (encoded < 0) return true;
        if (available < size) return false;
        data = 0;
        for (uint32_t b = 0; b < size; ++b) data |= uint64_t(blob_.byteAt(payload + b)) << (8 * b);
        return true;
    };
    switch (v.vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_ERROR: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_INT: case VT_UINT: case VT_EMPTY: case VT_NULL:
        if (!load(4)) return std::nullopt;
        break;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: case VT_DECIMAL:
        if (!load(8)) return std::nullopt;
        break;
    case VT_BSTR: {
        if (available < 4) return std::nullopt;
        int32_t length = static_cast<int32_t>(blob_.u32At(payload));
        if (length == -1) return v;
        if (length < 0 || uint64_t(length) > available - 4) return std::nullopt;
        v.text = windows1252ToUtf8(blob_.bytes().subspan(payload + 4, uint32_t(length)));
        return v;
    }
    default:
        return v;
    }
    uint32_t low = uint32_t(data);
    switch (v.vt) {
    case VT_I2: case VT_BOOL: v.integer = int16_t(low & 0xFFFF); break;
    case VT_UI2: v.integer = low & 0xFFFF; break;
    case VT_I1: v.integer = int8_t(low & 0xFF); break;
    case VT_UI1: v.integer = low & 0xFF; break;
    case VT_I4: case VT_INT: case VT_ERROR: v.integer = int32_t(low); break;
    case VT_UI4: case VT_UINT: v.integer = low; break;
    case VT_R4: {
        float f;
        std::memcpy(&f, &low, sizeof f);
        v.real = f;
        break;
    }
    case VT_R8: case VT_DATE: std::memcpy(&v.real, &data, sizeof v.real); break;
    case VT_CY: case VT_I8: case VT_UI8: v.integer = static_cast<int64_t>(data); break;
    default: break;
    }
    return v;
}

Result<TypeDescription> MsftTypeLibrary::aliasType(uint32_t index) const {
    if (index >= typeCount_) return fail("no type " + std::to_string(index));
    return typeDescription(static_cast<int32_t>(blob_.u32At(typeRecord(index) + 0x54)), 0);
}

Result<StoredFunction> MsftTypeLibrary::function(uint32_t index, uint32_t k) const {
    auto block = memberBlock(index);
    if (!block) return block.failure();
    if (k >= block->funcCount) return fail("no function " + std::to_string(k));
    uint32_t n = block->count;
    int32_t recordOffset = static_cast<int32_t>(blob_.u32At(block->arrays + 4 * (2 * uint64_t(n) + k)));
    if (recordOffset < 0 || uint64_t(recordOffset) + 24 > block->infoLength)
        return fail(at("function record offset", block->arrays + 4 * (2 * uint64_t(n) + k)) + " outside the member block");
    uint64_t r = block->records + uint32_t(recordOffset);
    uint32_t length = blob_.u32At(r) & 0xFFFF;
    if (length < 24 || length % 4 != 0 || uint64_t(recordOffset) + length > block->infoLength)
        return fail(at("function record", r) + ": bad length " + std::to_string(length));
    uint32_t fkccic = blob_.u32At(r + 0x10);
    int16_t argCount = static_cast<int16_t>(blob_.u16At(r + 0x14));
    int16_t optCount = static_cast<int16_t>(blob_.u16At(r + 0x16));
    bool hasDefaults = fkccic & 0x1000;
    uint64_t perArg = hasDefaults ? 16 : 12;
    if (argCount < 0 || 24 + perArg * uint64_t(argCount) > length)
        return fail(at("function record", r) + ": " + std::to_string(argCount) + " parameters do not fit");

    int32_t memberId = static_cast<int32_t>(blob_.u32At(block->arrays + 4 * uint64_t(k)));
    int32_t nameOffset = static_cast<int32_t>(blob_.u32At(block->arrays + 4 * (uint64_t(n) + k)));
    if (nameOffset == -1 && k > 0) {
        // The second function of a property pair may leave its name out; it
        // shares the name of the nearest function before it that has one.
        // Found for all functions of the type at once: a type of unnamed
        // functions would otherwise cost a walk back for each.
        auto& inherited = inheritedNames_[index];
        if (inherited.size() != block->funcCount) {
            inherited.assign(block->funcCount, -1);
            int32_t previous = -1;
            for (uint32_t f = 0; f < block->funcCount; ++f) {
                inherited[f] = previous;
                int32_t own = static_cast<int32_t>(blob_.u32At(block->arrays + 4 * (uint64_t(n) + f)));
                if (own != -1) previous = own;
            }
        }
        nameOffset = inherited[k];
    }
    // The function, its names and its doc string are asked for one after
    // the other, and functions may share one record: the last record read
    // is kept rather than read again.
    if (lastRecord_ && lastRecordOffset_ == r) {
        StoredFunction f = *lastRecord_;
        f.memberId = memberId;
        f.name.reset();
        if (auto fname = name(nameOffset)) f.name = std::move(*fname);
        return f;
    }

    StoredFunction f;
    f.memberId = memberId;
    f.funcKind = fkccic & 0x7;
    f.invokeKind = fkccic >> 3 & 0xF;
    f.optionalParamCount = optCount;
    f.flags = uint16_t(blob_.u32At(r + 8));
    // The low bit of the stored offset is no part of it.
    if (f.funcKind != FUNC_DISPATCH) f.vtableSlot = int32_t((blob_.u16At(r + 0x0C) & ~1u) / pointerSize_);
    auto result = typeDescription(static_cast<int32_t>(blob_.u32At(r + 4)), 0);
    if (!result) return result.failure();
    f.result = std::move(*result);

    uint64_t optionalFields = (length - 24 - perArg * uint64_t(argCount)) / 4;
    if (optionalFields > 1) {
        auto doc = string(static_cast<int32_t>(blob_.u32At(r + 0x1C)));
        if (doc) f.docString = std::move(*doc);
    }
    if (auto fname = name(nameOffset)) f.name = std::move(*fname);

    uint64_t params = r + length - 12 * uint64_t(argCount);
    uint64_t defaults = params - 4 * uint64_t(argCount);
    f.params.resize(uint16_t(argCount));
    for (int16_t a = 0; a < argCount; ++a) {
        uint64_t p = params + 12 * uint64_t(a);
        auto type = typeDescription(static_cast<int32_t>(blob_.u32At(p)), 0);
        if (!type) return type.failure();
        StoredParameter& param = f.params[a];
        param.type = std::move(*type);
        param.flags = uint16_t(blob_.u32At(p + 8));
        if (auto pname = name(static_cast<int32_t>(blob_.u32At(p + 4)))) param.name = std::move(*pname);
        if (hasDefaults && (param.flags & 0x20)) {
            param.defaultValue = value(static_cast<int32_t>(blob_.u32At(defaults + 4 * uint64_t(a))));
            if (!param.defaultValue) f.defaultUncopyable = true;
        }
    }
    lastRecord_ = f;
    lastRecordOffset_ = r;
    return f;
}

Result<StoredVariable> MsftTypeLibrary::variable(uint32_t index, uint32_t k) const {
    auto block = memberBlock(index);
    if (!block) return block.failure();
    uint64_t member = uint64_t(block->funcCount) + k;
    if (member >= block->count) return fail("no variable " + std::to_string(k));
    uint32_t n = block->count;
    int32_t recordOffset = static_cast<int32_t>(blob_.u32At(block->arrays + 4 * (2 * uint64_t(n) + member)));
    if (recordOffset < 0 || uint64_t(recordOffset) + 20 > block->infoLength)
        return fail(at("variable record offset", block->arrays + 4 * (2 * uint64_t(n) + member)) + " outside the member block");
    uint64_t r = block->records + uint32_t(recordOffset);
    uint32_t length = blob_.u32At(r) & 0xFF;
    if (length < 20 || uint64_t(recordOffset) + length > block->infoLength)
        return fail(at("variable record", r) + ": bad length " + std::to_string(length));
    StoredVariable v;
    v.memberId = static_cast<int32_t>(blob_.u32At(block->arrays + 4 * member));
    if (auto vname = name(static_cast<int32_t>(blob_.u32At(block->arrays + 4 * (uint64_t(n) + member)))))
        v.name = std::move(*vname);
    if (length > 0x18) {
        if (auto doc = string(static_cast<int32_t>(blob_.u32At(r + 0x18)))) v.docString = std::move(*doc);
    }
    v.flags = uint16_t(blob_.u32At(r + 8));
    v.varKind = blob_.u16At(r + 0x0C);
    auto type = typeDescription(static_cast<int32_t>(blob_.u32At(r + 4)), 0);
    if (type)
        v.type = std::move(*type);
    else
        v.descriptionFailure = type.failure().message;
    if (v.varKind == 2 && !v.descriptionFailure) {
        v.value = value(static_cast<int32_t>(blob_.u32At(r + 0x10)));
        if (!v.value) v.descriptionFailure = at("variable record", r) + ": a constant that cannot be copied";
    }
    return v;
}

Result<std::pair<int32_t, int32_t>> MsftTypeLibrary::classInterface(uint32_t index, uint32_t j) const {
    auto t = type(index);
    if (!t) return t.failure();
    if (j >= t->implTypeCount) return fail("no implemented type " + std::to_string(j));
    const Segment& table = segments_[refTableSegment];
    // The chain of records is read once per class, up to its count of
    // implemented types; it ends early at -1 or where it would loop.
    auto& chain = classChains_[index];
    if (chain.empty()) {
        std::unordered_map<int32_t, bool> seen;
        int32_t offset = t->datatype1;
        while (chain.size() < t->implTypeCount && offset != -1 && !seen[offset]) {
            seen[offset] = true;
            if (offset < 0 || offset % 16 != 0 || uint64_t(offset) + 16 > table.length) {
                chain.push_back(-1);
                break;
            }
            chain.push_back(offset);
            offset = static_cast<int32_t>(blob_.u32At(table.offset + uint32_t(offset) + 12));
        }
        if (chain.empty()) chain.push_back(-1);
    }
    if (j >= chain.size() || chain[j] < 0)
        return fail("reference table: record " + std::to_string(j) + " of type " + std::to_string(index) +
                    " missing, outside the table or in a loop");
    uint64_t p = table.offset + uint32_t(chain[j]);
    return std::pair<int32_t, int32_t>(static_cast<int32_t>(blob_.u32At(p)), static_cast<int32_t>(blob_.u32At(p + 4)));
}

Result<TypeLocation> MsftTypeLibrary::resolve(int32_t reference) const {
    if (reference < 0) return fail("reference " + hexText(uint32_t(reference)) + " names no type");
    if (reference & 1) return resolveImport(reference & ~3);
    auto found = typeByNameOwner_.find(reference & ~3);
    if (found == typeByNameOwner_.end())
        return fail("reference " + hexText(uint32_t(reference)) + " names no type of the library");
    return TypeLocation{this, found->second};
}

std::optional<uint32_t> MsftTypeLibrary::typeWithGuid(const Guid& wanted) const {
    if (!typesByGuidMade_) {
        for (uint32_t i = 0; i < typeCount_; ++i)
            if (auto t = type(i)) typesByGuid_.try_emplace(guidText(t->guid), i);
        typesByGuidMade_ = true;
    }
    auto found = typesByGuid_.find(guidText(wanted));
    if (found == typesByGuid_.end()) return std::nullopt;
    return found->second;
}

Result<TypeLocation> MsftTypeLibrary::resolveImport(int32_t offset) const {
    // Every reference to an imported type goes through here; each import
    // record is followed once.
    auto cached = importCache_.find(offset);
    if (cached != importCache_.end()) return cached->second;
    auto found = followImport(offset);
    importCache_.emplace(offset, found);
    return found;
}

Result<TypeLocation> MsftTypeLibrary::followImport(int32_t offset) const {
    const Segment& infos = segments_[importInfoSegment];
    if (offset % 12 != 0 || uint64_t(uint32_t(offset)) + 12 > infos.length)
        return fail(at("import reference", offset) + " outside the import table");
    uint64_t p = infos.offset + uint32_t(offset);
    uint32_t flags = blob_.u32At(p);
    int32_t fileOffset = static_cast<int32_t>(blob_.u32At(p + 4));
    int32_t typeKey = static_cast<int32_t>(blob_.u32At(p + 8));

    const Segment& files = segments_[importFileSegment];
    if (fileOffset < 0 || uint64_t(fileOffset) + 14 > files.length)
        return fail(at("import file record", fileOffset) + " outside the import file table");
    uint64_t f = files.offset + uint32_t(fileOffset);
    ImportedLibrary library;
    auto libraryGuid = guid(static_cast<int32_t>(blob_.u32At(f)), "import file record: library GUID");
    if (!libraryGuid) return libraryGuid.failure();
    library.guid = *libraryGuid;
    library.lcid = static_cast<int32_t>(blob_.u32At(f + 4));
    library.major = blob_.u16At(f + 8);
    library.minor = blob_.u16At(f + 10);
    uint32_t nameLength = blob_.u16At(f + 12) >> 2;
    if (uint64_t(fileOffset) + 14 + nameLength > files.length)
        return fail(at("import file record: name", fileOffset) + " runs past the table");
    library.fileName = windows1252ToUtf8(blob_.bytes().subspan(f + 14, nameLength));

    auto source = resolveImport_ ? resolveImport_(library) : Result<const TypeSource*>(fail("imports are not resolved"));
    if (!source) return source.failure();
    const TypeSource* imported = *source;
    if (flags & 0x10000) {
        auto wanted = guid(typeKey, "import reference: type GUID");
        if (!wanted) return wanted.failure();
        if (auto index = imported->typeWithGuid(*wanted)) return TypeLocation{imported, *index};
        return fail("imported type " + guidText(*wanted) + " not found in " + library.fileName);
    }
    if (typeKey < 0 || uint32_t(typeKey) >= imported->count())
        return fail("imported type " + std::to_string(typeKey) + " not found in " + library.fileName);
    return TypeLocation{imported, uint32_t(typeKey)};
}

}  // namespace mivra
