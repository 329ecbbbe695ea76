#include <gtest/gtest.h>

#include <cstring>

#include "ByteReader.h"
#include "FileTypeLibraryReader.h"
#include "ResolvedLibrary.h"
#include "ReaderInvariants.h"
#include "TestLibraries.h"

namespace mivra {
namespace {

using test::fileBytes;
using test::libraryPath;
using test::walkEverything;

void put32(std::vector<std::byte>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = std::byte(value >> (8 * i) & 0xFF);
}

uint32_t get32(const std::vector<std::byte>& bytes, size_t offset) {
    return ByteReader(bytes).u32At(offset);
}

// Where the parts of an MSFT file begin, read the way the format says.
struct Layout {
    size_t typeInfos;
    size_t typeDescs;
    size_t refTable;
    size_t importFiles;
    size_t arrayDescs;
    size_t customData;
    size_t customDataLength;
};

Layout layoutOf(const std::vector<std::byte>& bytes) {
    uint32_t count = get32(bytes, 0x20);
    size_t directory = 0x54 + 4 * count + ((get32(bytes, 0x14) & 0x100) ? 4 : 0);
    return {get32(bytes, directory), get32(bytes, directory + 9 * 16), get32(bytes, directory + 3 * 16),
            get32(bytes, directory + 2 * 16), get32(bytes, directory + 10 * 16), get32(bytes, directory + 11 * 16),
            get32(bytes, directory + 11 * 16 + 4)};
}

// Where member k (functions first, then variables) of type i is stored.
size_t memberRecord(const std::vector<std::byte>& bytes, const Layout& layout, uint32_t i, uint32_t k) {
    size_t type = layout.typeInfos + 100 * size_t(i);
    uint32_t block = get32(bytes, type + 4);
    uint32_t elements = get32(bytes, type + 0x18);
    uint32_t members = (elements & 0xFFFF) + (elements >> 16);
    size_t arrays = block + 4 + get32(bytes, block);
    return block + 4 + get32(bytes, arrays + 4 * (2 * size_t(members) + k));
}

// The default-value slot of parameter p of a stored function.
size_t defaultSlot(const std::vector<std::byte>& bytes, size_t record, uint32_t p) {
    uint32_t length = get32(bytes, record) & 0xFFFF;
    uint32_t params = get32(bytes, record + 0x14) & 0xFFFF;
    return record + length - 16 * size_t(params) + 4 * size_t(p);
}

std::optional<ResolvedLibrary> resolvedBytes(std::vector<std::byte> bytes) {
    auto reader = makeFileTypeLibraryReader();
    if (!reader->loadBytes(std::move(bytes))) return std::nullopt;
    auto library = resolve(*reader);
    if (!library) return std::nullopt;
    return std::move(*library);
}

// resolved.idl: the enumeration Colour 0, aliases Count 1, Tally 2, Score 3,
// record Point 6, dual INode 7, dispinterface DProps 9.
constexpr uint32_t countAlias = 1, scoreAlias = 3, pointRecord = 6, nodeInterface = 7, propsInterface = 9;

// Loads and, when that works, asks for everything. Whatever the bytes, this
// must come back (the sanitizer build checks that nothing is read outside).
size_t loadAndWalk(std::vector<std::byte> bytes, uint32_t resource = 1) {
    auto reader = makeFileTypeLibraryReader();
    if (!reader->loadBytes(std::move(bytes), resource)) return 0;
    return walkEverything(*reader) + 1;
}

TEST(CorruptInput, EveryTruncationOfALibraryIsHandled) {
    auto whole = fileBytes(libraryPath("testlib.tlb"));
    ASSERT_GT(whole.size(), 0x200u);
    size_t loadedShort = 0;
    for (size_t length = 0; length < whole.size(); ++length)
        if (loadAndWalk(std::vector<std::byte>(whole.begin(), whole.begin() + static_cast<long>(length)))) ++loadedShort;
    // A library cut inside its header or segment directory never loads.
    EXPECT_EQ(loadAndWalk(std::vector<std::byte>(whole.begin(), whole.begin() + 0x53)), 0u);
    EXPECT_GT(loadAndWalk(whole), 1u);
    EXPECT_LT(loadedShort, whole.size());
}

// What the reader promises for any bytes: a refusal that says why, or a
// library whose every walk succeeds (brokenReaderPromise). Counts how many
// inputs were refused and how many loaded, so that a table of mutations is
// seen to reach both.
struct Outcomes {
    size_t refused = 0;
    size_t loaded = 0;

    void check(std::vector<std::byte> bytes, uint32_t resource, const std::string& what) {
        size_t size = bytes.size();
        auto reader = makeFileTypeLibraryReader();
        auto result = reader->loadBytes(std::move(bytes), resource);
        if (!result) {
            ++refused;
            EXPECT_FALSE(result.failure().message.empty()) << what;
            EXPECT_EQ(reader->typeInfoCount(), 0u) << what;
            return;
        }
        ++loaded;
        EXPECT_EQ(brokenReaderPromise(*reader, size), "") << what;
    }
};

std::string hex(size_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zx", value);
    return text;
}

TEST(CorruptInput, TruncatedExecutablesAreRefusedOrRead) {
    for (const char* dll : {"resources64.dll", "resources32.dll"}) {
        auto whole = fileBytes(libraryPath(dll));
        ASSERT_FALSE(whole.empty()) << dll;
        Outcomes outcomes;
        for (size_t length = 0; length < whole.size(); length += 61)
            outcomes.check(std::vector<std::byte>(whole.begin(), whole.begin() + static_cast<long>(length)), 2,
                           std::string(dll) + " cut at " + hex(length));
        outcomes.check(whole, 2, dll);
        EXPECT_GT(outcomes.refused, 0u) << dll;
        EXPECT_GT(outcomes.loaded, 0u) << dll;  // the whole file at least
    }
}

TEST(CorruptInput, EveryWordChangedToExtremeValues) {
    auto whole = fileBytes(libraryPath("testlib.tlb"));
    Outcomes outcomes;
    for (uint32_t value : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0u, 0xFFFFu}) {
        for (size_t offset = 0; offset + 4 <= whole.size(); offset += 4) {
            auto bytes = whole;
            put32(bytes, offset, value);
            outcomes.check(std::move(bytes), 1, "word " + hex(offset) + " set to " + hex(value));
        }
    }
    EXPECT_GT(outcomes.refused, 0u);
    EXPECT_GT(outcomes.loaded, outcomes.refused);
}

TEST(CorruptInput, ResourceDirectoryFieldsChanged) {
    auto whole = fileBytes(libraryPath("resources64.dll"));
    Outcomes outcomes;
    for (uint32_t value : {0xFFFFFFFFu, 0x80000000u, 0x7FFFu}) {
        for (size_t offset = 0; offset + 4 <= std::min<size_t>(whole.size(), 0x400); offset += 2) {
            auto bytes = whole;
            put32(bytes, offset, value);
            outcomes.check(std::move(bytes), 2, "word " + hex(offset) + " set to " + hex(value));
        }
    }
    EXPECT_GT(outcomes.refused, 0u);
    EXPECT_GT(outcomes.loaded, 0u);
}

TEST(CorruptInput, HugeTypeCountIsRejectedWithItsPlace) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    put32(bytes, 0x20, 0x7FFFFFFF);
    auto reader = makeFileTypeLibraryReader();
    auto result = reader->loadBytes(bytes);
    ASSERT_FALSE(result);
    EXPECT_NE(result.failure().message.find("nrtypeinfos"), std::string::npos) << result.failure().message;
    put32(bytes, 0x20, 0x80000000u);
    EXPECT_FALSE(reader->loadBytes(bytes));
}

TEST(CorruptInput, InterfaceThatIsItsOwnBaseEnds) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    Layout layout = layoutOf(bytes);
    // IDerived (type 1) names itself as its base.
    put32(bytes, layout.typeInfos + 100 + 0x54, 100);
    auto reader = makeFileTypeLibraryReader();
    ASSERT_TRUE(reader->loadBytes(bytes));
    EXPECT_FALSE(reader->function(1, 0));
    EXPECT_FALSE(reader->names(1, 0x12345, 2));
    EXPECT_EQ(reader->memberDocString(1, 0x12345), std::nullopt);
    EXPECT_TRUE(reader->function(0, 0));
}

TEST(CorruptInput, TwoInterfacesNamingEachOtherEnd) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    Layout layout = layoutOf(bytes);
    put32(bytes, layout.typeInfos + 0 + 0x54, 100);
    put32(bytes, layout.typeInfos + 100 + 0x54, 0);
    auto reader = makeFileTypeLibraryReader();
    ASSERT_TRUE(reader->loadBytes(bytes));
    EXPECT_FALSE(reader->function(0, 3));
    EXPECT_FALSE(reader->function(1, 3));
    EXPECT_FALSE(reader->names(0, 0x7654321, 1));
}

TEST(CorruptInput, TypeDescriptionPointingAtItselfEnds) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    Layout layout = layoutOf(bytes);
    // Make every pointer entry of the type table point at its own entry.
    size_t changed = 0;
    for (size_t entry = layout.typeDescs; entry + 8 <= layout.typeDescs + 64 * 8 && entry + 8 <= bytes.size(); entry += 8) {
        if ((get32(bytes, entry) & 0xFFFF) != 26) continue;
        put32(bytes, entry + 4, static_cast<uint32_t>(entry - layout.typeDescs));
        ++changed;
    }
    ASSERT_GT(changed, 0u);
    auto reader = makeFileTypeLibraryReader();
    ASSERT_TRUE(reader->loadBytes(bytes));
    walkEverything(*reader);
    auto more = reader->function(1, 12);  // More([in] IBase* other)
    EXPECT_FALSE(more);
}

TEST(CorruptInput, ClassInterfaceChainLoopingOnItselfEnds) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    Layout layout = layoutOf(bytes);
    uint32_t first = get32(bytes, layout.typeInfos + 300 + 0x54);  // coclass Thing
    put32(bytes, layout.refTable + first + 12, first);
    auto reader = makeFileTypeLibraryReader();
    ASSERT_TRUE(reader->loadBytes(bytes));
    EXPECT_TRUE(reader->implementedType(3, 0));
    EXPECT_FALSE(reader->implementedType(3, 1));  // the loop is not followed back
    EXPECT_FALSE(reader->implementedType(3, 2));
}

TEST(CorruptInput, UnresolvableImportFailsEveryDispatchFunction) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    Layout layout = layoutOf(bytes);
    // Rename the imported library: nothing on the (empty) search path
    // provides it, and it is no longer the standard library.
    uint32_t guidOffset = get32(bytes, layout.importFiles);
    put32(bytes, layout.importFiles + 8, 0x00090009);  // version 9.9
    uint32_t directory = 0x54 + 4 * get32(bytes, 0x20);
    size_t guids = get32(bytes, directory + 5 * 16);
    put32(bytes, guids + guidOffset, 0x12345678);
    auto reader = makeFileTypeLibraryReader();
    ASSERT_TRUE(reader->loadBytes(bytes));
    for (uint32_t k = 0; k < 12; ++k) EXPECT_FALSE(reader->function(0, k)) << k;
    auto impl = reader->implementedType(0, 0);
    ASSERT_FALSE(impl);
    EXPECT_NE(impl.failure().step, Failure::Step::Attributes);
    EXPECT_TRUE(reader->function(2, 0));  // a methods-only dispinterface needs no import
}

// Every word of the library changed to extreme values, the whole library
// resolved each time.
TEST(CorruptInput, EveryWordChangedWhileResolving) {
    auto whole = fileBytes(libraryPath("resolved.tlb"));
    ASSERT_FALSE(whole.empty());
    size_t resolved = 0;
    for (uint32_t value : {0xFFFFFFFFu, 0x7FFFFFF0u, 0x80000000u, 0u}) {
        for (size_t offset = 0; offset + 4 <= whole.size(); offset += 4) {
            auto bytes = whole;
            put32(bytes, offset, value);
            if (resolvedBytes(std::move(bytes))) ++resolved;
        }
    }
    EXPECT_GT(resolved, whole.size() / 2);
}

TEST(CorruptInput, ReferencesOutOfRangeStayUnresolved) {
    auto bytes = fileBytes(libraryPath("resolved.tlb"));
    Layout layout = layoutOf(bytes);
    size_t changed = 0;
    for (size_t entry = layout.typeDescs; entry + 8 <= layout.arrayDescs && entry + 8 <= bytes.size(); entry += 8) {
        if ((get32(bytes, entry) & 0xFFFF) != VT_USERDEFINED) continue;
        put32(bytes, entry + 4, ++changed % 2 ? 0x7FFFFF00u : 0x7FFFFF01u);  // a local and an imported type
    }
    ASSERT_GT(changed, 4u);
    auto library = resolvedBytes(bytes);
    ASSERT_TRUE(library);
    // No reference of the library leads anywhere: beyond its own types only
    // the interface views of its duals and what the built-in standard
    // library's members reach (GUID, DISPPARAMS, EXCEPINFO, IDispatch).
    EXPECT_EQ(library->types.size(), library->ownTypeCount + 2u + 4u);
    EXPECT_EQ(library->types[scoreAlias].alias->user, -1);
    const auto& functions = library->types[nodeInterface].functions;
    for (size_t k = 7; k < functions.size(); ++k)
        if (functions[k].available && functions[k].result.element) {
            EXPECT_LT(functions[k].result.element->user, 0) << k;
        }
}

TEST(CorruptInput, AliasCyclesEnd) {
    auto whole = fileBytes(libraryPath("resolved.tlb"));
    Layout layout = layoutOf(whole);
    auto aliasOffset = [&](uint32_t type) { return layout.typeInfos + 100 * size_t(type) + 0x54; };
    // Count names Score's target (Tally), which names Count: a cycle of two;
    // then Count names Tally's target, itself.
    for (uint32_t through : {scoreAlias, countAlias + 1}) {
        auto bytes = whole;
        put32(bytes, aliasOffset(countAlias), get32(bytes, aliasOffset(through)));
        auto library = resolvedBytes(bytes);
        ASSERT_TRUE(library);
        const TypeRef& target = *library->types[countAlias].alias;
        EXPECT_EQ(target.vt, VT_USERDEFINED);
        EXPECT_EQ(target.user, through == scoreAlias ? 2 : 1);
        EXPECT_EQ(library->types[2].alias->user, 1);
    }
}

TEST(CorruptInput, ArrayDescriptionOutsideItsTableMakesTheMemberUnavailable) {
    auto bytes = fileBytes(libraryPath("resolved.tlb"));
    Layout layout = layoutOf(bytes);
    size_t changed = 0;
    for (size_t entry = layout.typeDescs; entry + 8 <= layout.arrayDescs; entry += 8)
        if ((get32(bytes, entry) & 0xFFFF) == VT_CARRAY) put32(bytes, entry + 4, 0x7FFFFFF8u), ++changed;
    ASSERT_EQ(changed, 1u);  // Point's tag[4]
    auto library = resolvedBytes(bytes);
    ASSERT_TRUE(library);
    const auto& fields = library->types[pointRecord].variables;
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_TRUE(fields[1].available);
    EXPECT_FALSE(fields[2].available);
}

// A default value as OLE Automation copies it, or the function unavailable:
// packed values of each type, records inside and outside their table.
TEST(CorruptInput, DefaultValuesDecodeOrMakeTheFunctionUnavailable) {
    auto whole = fileBytes(libraryPath("resolved.tlb"));
    Layout layout = layoutOf(whole);
    // DProps' Reset([in, defaultvalue(1)] long how): its stored function 0.
    size_t slot = defaultSlot(whole, memberRecord(whole, layout, propsInterface, 0), 0);
    ASSERT_EQ(get32(whole, slot), 0x8C000001u);
    // INode's Defaults(...): the BSTR "text" of its third parameter is a record.
    size_t textSlot = defaultSlot(whole, memberRecord(whole, layout, nodeInterface, 7), 2);
    uint32_t textRecord = get32(whole, textSlot);
    ASSERT_LT(textRecord, layout.customDataLength);
    size_t text = layout.customData + textRecord;
    double textAsReal;
    int64_t textAsInteger;
    std::memcpy(&textAsReal, whole.data() + text + 2, 8);
    std::memcpy(&textAsInteger, whole.data() + text + 2, 8);
    auto packed = [](uint32_t vt, uint32_t data) { return 0x80000000u | vt << 26 | data; };

    struct Case {
        const char* what;
        uint32_t encoded;
        std::optional<uint16_t> recordType;  // rewrites the "text" record's type
        std::optional<uint32_t> recordLength;  // rewrites its BSTR length
        bool available;
        uint16_t vt;
        int64_t integer;
        double real;
        std::optional<std::string> textValue;
    };
    const Case cases[] = {
        {"packed I4", packed(VT_I4, 5), {}, {}, true, VT_I4, 5, 0, {}},
        {"packed I2 all ones", packed(VT_I2, 0xFFFF), {}, {}, true, VT_I2, -1, 0, {}},
        {"packed BOOL true", packed(VT_BOOL, 0xFFFF), {}, {}, true, VT_BOOL, -1, 0, {}},
        {"packed I1", packed(VT_I1, 0x1FF), {}, {}, true, VT_I1, -1, 0, {}},
        {"packed UI1", packed(VT_UI1, 0x1FF), {}, {}, true, VT_UI1, 255, 0, {}},
        {"packed UI4", packed(VT_UI4, 0x3FFFFFF), {}, {}, true, VT_UI4, 0x3FFFFFF, 0, {}},
        {"packed null BSTR", packed(VT_BSTR, 0), {}, {}, true, VT_BSTR, 0, 0, {}},
        {"packed null object", packed(VT_DISPATCH, 0), {}, {}, true, VT_DISPATCH, 0, 0, {}},
        {"packed BSTR pointer", packed(VT_BSTR, 0x1234), {}, {}, false, 0, 0, 0, {}},
        {"packed object pointer", packed(VT_UNKNOWN, 8), {}, {}, false, 0, 0, 0, {}},
        {"packed type 15", packed(15, 0), {}, {}, false, 0, 0, 0, {}},
        {"packed VOID", packed(VT_VOID, 0), {}, {}, false, 0, 0, 0, {}},
        {"no value", 0xFFFFFFFFu, {}, {}, false, 0, 0, 0, {}},
        {"record past the table", uint32_t(layout.customDataLength), {}, {}, false, 0, 0, 0, {}},
        {"record far away", 0x7FFFFFF0u, {}, {}, false, 0, 0, 0, {}},
        {"BSTR record", textRecord, {}, {}, true, VT_BSTR, 0, 0, std::string("text")},
        {"BSTR record, null", textRecord, {}, 0xFFFFFFFFu, true, VT_BSTR, 0, 0, {}},
        {"BSTR record, too long", textRecord, {}, 0x7FFFFFF0u, false, 0, 0, 0, {}},
        {"BSTR record, negative length", textRecord, {}, 0xFFFFFFF0u, false, 0, 0, 0, {}},
        {"R8 record", textRecord, VT_R8, {}, true, VT_R8, 0, textAsReal, {}},
        {"CY record", textRecord, VT_CY, {}, true, VT_CY, textAsInteger, 0, {}},
        {"DATE record", textRecord, VT_DATE, {}, true, VT_DATE, 0, textAsReal, {}},
        {"I4 record", textRecord, VT_I4, {}, true, VT_I4, 4, 0, {}},
        {"record of a record type", textRecord, 36, {}, false, 0, 0, 0, {}},
        {"record of a vector type", textRecord, VT_VECTOR | VT_I4, {}, false, 0, 0, 0, {}},
    };
    for (const Case& c : cases) {
        auto bytes = whole;
        put32(bytes, slot, c.encoded);
        if (c.recordType) bytes[text] = std::byte(*c.recordType & 0xFF), bytes[text + 1] = std::byte(*c.recordType >> 8);
        if (c.recordLength) put32(bytes, text + 2, *c.recordLength);
        auto library = resolvedBytes(bytes);
        ASSERT_TRUE(library) << c.what;
        const ResolvedFunction& reset = library->types[propsInterface].functions[0];
        ASSERT_EQ(reset.available, c.available) << c.what;
        if (!c.available) continue;
        const auto& value = reset.params[0].defaultValue;
        ASSERT_TRUE(value) << c.what;
        EXPECT_EQ(value->vt, c.vt) << c.what;
        EXPECT_EQ(value->integer, c.integer) << c.what;
        EXPECT_EQ(value->real, c.real) << c.what;
        EXPECT_EQ(value->text, c.textValue) << c.what;
    }
}

TEST(CorruptInput, ConstantThatCannotBeCopiedMakesTheVariableUnavailable) {
    auto bytes = fileBytes(libraryPath("resolved.tlb"));
    Layout layout = layoutOf(bytes);
    size_t green = memberRecord(bytes, layout, 0, 1);  // Colour's Green = 1
    ASSERT_EQ(get32(bytes, green + 0x10), 0x8C000001u);
    put32(bytes, green + 0x10, 0x80000000u | 15u << 26);
    auto library = resolvedBytes(bytes);
    ASSERT_TRUE(library);
    const auto& constants = library->types[0].variables;
    EXPECT_TRUE(constants[0].available);
    EXPECT_FALSE(constants[1].available);
    EXPECT_TRUE(constants[2].available);
}

}  // namespace
}  // namespace mivra
