#include <gtest/gtest.h>

#include "ByteReader.h"
#include "FileTypeLibraryReader.h"
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
};

Layout layoutOf(const std::vector<std::byte>& bytes) {
    uint32_t count = get32(bytes, 0x20);
    size_t directory = 0x54 + 4 * count + ((get32(bytes, 0x14) & 0x100) ? 4 : 0);
    return {get32(bytes, directory), get32(bytes, directory + 9 * 16), get32(bytes, directory + 3 * 16),
            get32(bytes, directory + 2 * 16)};
}

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

}  // namespace
}  // namespace mivra
