#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ByteReader.h"
#include "ByteSource.h"
#include "FileTypeLibraryReader.h"
#include "TestLibraries.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;
using test::fileBytes;
using test::libraryPath;

std::unique_ptr<FileTypeLibraryReader> loaded(const std::string& path, std::vector<std::string> searchPath = {}) {
    auto reader = makeFileTypeLibraryReader(std::move(searchPath));
    auto result = reader->load(path);
    EXPECT_TRUE(result.ok()) << path << ": " << (result ? "" : result.failure().message);
    return reader;
}

std::vector<std::string> namesOf(const TypeLibraryReader& reader, uint32_t index, uint32_t k) {
    auto f = reader.function(index, k);
    if (!f) return {"<unavailable>"};
    auto names = reader.names(index, f->memberId, static_cast<uint32_t>(f->params.size()) + 1);
    return names ? *names : std::vector<std::string>{"<failed>"};
}

// testlib.idl: IBase (dual) 0, IDerived (dual, derives from IBase) 1,
// DEvents (methods only) 2, coclass Thing 3.
TEST(DualInterface, DispatchViewStartsWithTheSevenInheritedMembers) {
    auto reader = loaded(libraryPath("testlib.tlb"));
    auto attributes = reader->typeAttributes(0);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->kind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->flags, 0x1040);  // stored 0x1140: OLEAUTOMATION is not shown
    EXPECT_EQ(attributes->funcCount, 12);
    EXPECT_EQ(attributes->implTypeCount, 1);

    const char* inherited[] = {"QueryInterface", "AddRef", "Release", "GetTypeInfoCount",
                               "GetTypeInfo", "GetIDsOfNames", "Invoke"};
    const int32_t ids[] = {0x60000000, 0x60000001, 0x60000002, 0x60010000, 0x60010001, 0x60010002, 0x60010003};
    for (uint32_t k = 0; k < 7; ++k) {
        auto f = reader->function(0, k);
        ASSERT_TRUE(f) << k;
        EXPECT_EQ(f->memberId, ids[k]);
        EXPECT_EQ(f->invokeKind, 1u);
        EXPECT_EQ(namesOf(*reader, 0, k).at(0), inherited[k]);
    }
    auto addRef = reader->function(0, 1);
    EXPECT_EQ(addRef->result.vt, 19);  // ULONG stays, only HRESULT disappears
    auto invoke = reader->function(0, 6);
    ASSERT_EQ(invoke->paramCount, 8);
    EXPECT_EQ(invoke->result.vt, 24);
    EXPECT_EQ(invoke->params[5].type.vt, 26);
    EXPECT_EQ(invoke->params[5].type.pointee->vt, 12);
    EXPECT_EQ(namesOf(*reader, 0, 6).size(), 9u);
}

TEST(DualInterface, RetvalBecomesTheResultAndLcidDisappears) {
    auto reader = loaded(libraryPath("testlib.tlb"));
    auto name = reader->function(0, 7);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->invokeKind, 2u);
    EXPECT_EQ(name->paramCount, 0);
    EXPECT_EQ(name->result.vt, 8);
    EXPECT_EQ(reader->memberDocString(0, name->memberId), "Its name");

    auto put = reader->function(0, 8);
    EXPECT_EQ(put->invokeKind, 4u);
    EXPECT_EQ(put->paramCount, 1);
    EXPECT_EQ(put->result.vt, 24);
    // Names come from the first function with the id, the getter, whose
    // [retval] is left out.
    EXPECT_EQ(namesOf(*reader, 0, 8), std::vector<std::string>{"Name"});

    auto withLcid = reader->function(0, 11);
    EXPECT_EQ(withLcid->paramCount, 1);
    EXPECT_EQ(withLcid->result.vt, 3);
    EXPECT_EQ(namesOf(*reader, 0, 11), (std::vector<std::string>{"WithLcid", "a"}));
}

TEST(DualInterface, OptionalDefaultAndVarargFunctions) {
    auto reader = loaded(libraryPath("testlib.tlb"));
    auto add = reader->function(0, 9);
    ASSERT_TRUE(add);
    EXPECT_EQ(add->paramCount, 3);
    EXPECT_EQ(add->optionalParamCount, 1);  // [defaultvalue] is not counted
    EXPECT_EQ(add->result.vt, 5);
    EXPECT_EQ(add->params[1].flags, 0x11);
    EXPECT_EQ(add->params[2].flags, 0x31);
    EXPECT_EQ(namesOf(*reader, 0, 9), (std::vector<std::string>{"Add", "a", "b", "c"}));

    auto join = reader->function(0, 10);
    EXPECT_EQ(join->optionalParamCount, -1);
    ASSERT_EQ(join->paramCount, 1);
    EXPECT_EQ(join->params[0].type.vt, 27);
    EXPECT_EQ(join->params[0].type.pointee->vt, 12);
}

TEST(DualInterface, DerivedDualListsTheWholeChainRootFirst) {
    auto reader = loaded(libraryPath("testlib.tlb"));
    auto attributes = reader->typeAttributes(1);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->funcCount, 13);
    EXPECT_EQ(namesOf(*reader, 1, 0).at(0), "QueryInterface");
    EXPECT_EQ(namesOf(*reader, 1, 7).at(0), "Name");
    EXPECT_EQ(namesOf(*reader, 1, 12), (std::vector<std::string>{"More", "other"}));
    EXPECT_FALSE(reader->function(1, 13));
    // Its implemented type is IDispatch, not IBase.
    auto base = reader->implementedType(1, 0);
    ASSERT_TRUE(base);
    EXPECT_EQ(base->attributes.kind, TKIND_INTERFACE);
    EXPECT_EQ(base->name, "IDispatch");
    EXPECT_EQ(guidText(base->attributes.guid), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_FALSE(reader->implementedType(1, 1));
}

TEST(DispatchInterface, MethodsAreReturnedAsDeclared) {
    auto reader = loaded(libraryPath("testlib.tlb"));
    auto attributes = reader->typeAttributes(2);
    EXPECT_EQ(attributes->funcCount, 1);
    EXPECT_EQ(attributes->flags, 0x1000);
    auto fired = reader->function(2, 0);
    ASSERT_TRUE(fired);
    EXPECT_EQ(fired->result.vt, 24);
    EXPECT_EQ(namesOf(*reader, 2, 0), (std::vector<std::string>{"Fired", "code"}));
}

TEST(Coclass, ImplementedTypesCarryTheirFlagsAndDispatchViews) {
    auto reader = loaded(libraryPath("testlib.tlb"));
    auto first = reader->implementedType(3, 0);
    auto second = reader->implementedType(3, 1);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->name, "IDerived");
    EXPECT_EQ(first->attributes.kind, TKIND_DISPATCH);
    EXPECT_EQ(first->attributes.flags, 0x1040);
    EXPECT_EQ(first->implFlags, 1);
    EXPECT_EQ(second->name, "DEvents");
    EXPECT_EQ(second->implFlags, 3);
    EXPECT_FALSE(reader->implementedType(3, 2));
    auto doc = reader->documentation(-1);
    EXPECT_EQ(doc->name, "TestLib");
    EXPECT_EQ(doc->docString, "Test library");
    EXPECT_EQ(reader->documentation(1)->docString, std::nullopt);
}

TEST(Imports, BuiltInStandardLibraryAnswersAsTheFileDoes) {
    auto builtin = loaded(libraryPath("testlib.tlb"));
    auto fromFile = loaded(libraryPath("testlib.tlb"), {libraryPath("stdole")});
    for (uint32_t k = 0; k < 7; ++k) {
        auto a = builtin->function(0, k), b = fromFile->function(0, k);
        ASSERT_TRUE(a && b) << k;
        EXPECT_EQ(a->memberId, b->memberId);
        EXPECT_EQ(a->paramCount, b->paramCount);
        for (int p = 0; p < a->paramCount; ++p) {
            EXPECT_EQ(a->params[p].type.vt, b->params[p].type.vt);
            EXPECT_EQ(a->params[p].flags, b->params[p].flags);
        }
        EXPECT_EQ(namesOf(*builtin, 0, k), namesOf(*fromFile, 0, k));
    }
}

void writeBytes(const std::string& path, const std::vector<std::byte>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
}

// testlib.tlb with the file name of its one import record replaced: the
// import-file segment is rebuilt at the end of the file with the new name.
std::vector<std::byte> withImportFileName(const std::string& name) {
    auto bytes = fileBytes(libraryPath("testlib.tlb"));
    ByteReader reader(bytes);
    size_t directory = 0x54 + 4 * reader.u32At(0x20) + ((reader.u32At(0x14) & 0x100) ? 4 : 0);
    size_t entry = directory + 2 * 16;
    size_t segment = reader.u32At(entry);
    std::vector<std::byte> record(bytes.begin() + static_cast<long>(segment), bytes.begin() + static_cast<long>(segment) + 14);
    uint16_t size = static_cast<uint16_t>(name.size() << 2 | (reader.u16At(segment + 12) & 3));
    record[12] = std::byte(size & 0xFF);
    record[13] = std::byte(size >> 8);
    for (char c : name) record.push_back(std::byte(c));
    while (record.size() % 4) record.push_back(std::byte{'W'});
    uint32_t offset = static_cast<uint32_t>(bytes.size()), length = static_cast<uint32_t>(record.size());
    bytes.insert(bytes.end(), record.begin(), record.end());
    for (int i = 0; i < 4; ++i) {
        bytes[entry + i] = std::byte(offset >> (8 * i) & 0xFF);
        bytes[entry + 4 + i] = std::byte(length >> (8 * i) & 0xFF);
    }
    return bytes;
}

struct ImportFolders {
    fs::path root = fs::temp_directory_path() / ("mivra-imports-" + std::to_string(::getpid()));
    fs::path lib = root / "lib";
    ImportFolders() {
        fs::remove_all(root);
        fs::create_directories(lib / "sub");
        // The standard library with one name changed, so that a reader that
        // took it instead of the built-in one shows it.
        auto marked = fileBytes(libraryPath("stdole/stdole2.tlb"));
        std::string text(reinterpret_cast<const char*>(marked.data()), marked.size());
        size_t at = text.find("QueryInterface");
        EXPECT_NE(at, std::string::npos);
        marked[at + 13] = std::byte{'X'};
        for (const fs::path& place : {root / "x.tlb", lib / "sub" / "x.tlb"}) writeBytes(place.string(), marked);
    }
    ~ImportFolders() {
        std::error_code error;
        fs::remove_all(root, error);
    }
};

// An import is looked for by its plain file name, beside the library (the
// search path), never through the folders its record names.
TEST(Imports, RecordedFolderPartsAreNotFollowed) {
    ImportFolders folders;
    const struct {
        std::string recorded;
        bool besideToo;  // an x.tlb beside the library
        const char* firstName;
    } cases[] = {
        {"x.tlb", false, "QueryInterface"},  // not found: the built-in library
        {"x.tlb", true, "QueryInterfacX"},
        {"../x.tlb", false, "QueryInterface"},
        {(folders.root / "x.tlb").string(), false, "QueryInterface"},
        {"sub/x.tlb", false, "QueryInterface"},
        {"..\\x.tlb", false, "QueryInterface"},
        {"C:\\windows\\x.tlb", true, "QueryInterfacX"},
        {"..", true, "QueryInterface"},
    };
    for (const auto& c : cases) {
        fs::remove(folders.lib / "x.tlb");
        if (c.besideToo) fs::copy_file(folders.root / "x.tlb", folders.lib / "x.tlb");
        std::string path = (folders.lib / "testlib.tlb").string();
        writeBytes(path, withImportFileName(c.recorded));
        auto reader = loaded(path, {folders.lib.string()});
        EXPECT_EQ(namesOf(*reader, 0, 0).at(0), c.firstName) << c.recorded;
    }
}

// A file that cannot be loaded is read once a run, however many search
// entries or records lead to it.
TEST(Imports, FileThatFailsToLoadIsReadOnce) {
    ImportFolders folders;
    writeBytes((folders.lib / "x.tlb").string(), std::vector<std::byte>(4096, std::byte{'M'}));
    std::string path = (folders.lib / "testlib.tlb").string();
    writeBytes(path, withImportFileName("x.tlb"));
    auto reader = loaded(path, {folders.lib.string(), folders.lib.string(), (folders.lib / "x.tlb").string()});
    test::walkEverything(*reader);
    EXPECT_EQ(reader->importFilesRead(), 1u);
    EXPECT_EQ(namesOf(*reader, 0, 0).at(0), "QueryInterface");
}

TEST(PeFiles, ResourceOneByDefaultAndOthersByBackslashNumber) {
    for (const char* dll : {"resources64.dll", "resources32.dll"}) {
        auto first = loaded(libraryPath(dll));
        EXPECT_EQ(first->documentation(-1)->name, "TestLib") << dll;
        auto second = loaded(libraryPath(dll) + "\\2");
        EXPECT_EQ(second->documentation(-1)->name, "Classes") << dll;
        EXPECT_EQ(second->typeInfoCount(), 6u);
        auto missing = makeFileTypeLibraryReader();
        EXPECT_FALSE(missing->load(libraryPath(dll) + "\\3")) << dll;
    }
}

// An executable's file is read by position, only in the parts the reader
// visits: cut or changed anywhere in its headers or resource directory, it
// must give what its bytes in memory give.
TEST(PeFiles, ChangedExecutableFilesReadAsTheirBytesInMemory) {
    auto whole = fileBytes(libraryPath("resources64.dll"));
    ByteReader pe(whole);
    uint32_t nt = pe.u32At(0x3C);
    size_t sections = nt + 24 + pe.u16At(nt + 20), resources = 0;
    for (size_t at = sections; at < sections + 40 * size_t(pe.u16At(nt + 6)); at += 40)
        if (std::memcmp(&whole[at], ".rsrc", 5) == 0) resources = pe.u32At(at + 20);
    ASSERT_GT(resources, 0u);

    const std::string path = (fs::temp_directory_path() / ("mivra-pe-" + std::to_string(::getpid()) + ".dll")).string();
    size_t loadedBoth = 0, refusedBoth = 0;
    auto compare = [&](const std::vector<std::byte>& bytes, const std::string& what) {
        writeBytes(path, bytes);
        for (uint32_t resource : {1u, 2u}) {
            auto fromMemory = makeFileTypeLibraryReader();
            auto fromFile = makeFileTypeLibraryReader();
            auto memory = fromMemory->loadBytes(bytes, resource);
            auto file = fromFile->load(path + "\\" + std::to_string(resource));
            ASSERT_EQ(bool(memory), bool(file)) << what << " resource " << resource;
            if (!memory) {
                EXPECT_EQ(memory.failure().message, file.failure().message) << what;
                ++refusedBoth;
                continue;
            }
            ++loadedBoth;
            EXPECT_EQ(fromFile->typeInfoCount(), fromMemory->typeInfoCount()) << what;
            EXPECT_EQ(test::walkEverything(*fromFile), test::walkEverything(*fromMemory)) << what;
        }
    };
    for (size_t length = 0; length < whole.size(); length += 509)
        compare(std::vector<std::byte>(whole.begin(), whole.begin() + static_cast<long>(length)),
                "cut at " + std::to_string(length));
    for (size_t start : {size_t{0}, resources})
        for (size_t offset = start; offset < start + 0x200; offset += 4)
            for (uint32_t value : {0xFFFFFFFFu, 0x80000000u, 0x7FFFu}) {
                auto bytes = whole;
                for (int i = 0; i < 4; ++i) bytes[offset + i] = std::byte(value >> (8 * i) & 0xFF);
                compare(bytes, "word " + std::to_string(offset) + " set to " + std::to_string(value));
            }
    fs::remove(path);
    EXPECT_GT(loadedBoth, 0u);
    EXPECT_GT(refusedBoth, 0u);
}

// What a file lost after it was opened is refused, never read as zeros.
TEST(PeFiles, FileCutAfterOpeningIsNotReadAsZeros) {
    const std::string path = (fs::temp_directory_path() / ("mivra-cut-" + std::to_string(::getpid()))).string();
    std::vector<std::byte> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::byte((i * 7 + 1) & 0xFF);
    writeBytes(path, bytes);
    EXPECT_FALSE(FileByteSource::open(path, bytes.size() - 1));
    auto file = FileByteSource::open(path, bytes.size());
    ASSERT_TRUE(file);
    fs::resize_file(path, 5000);
    struct Case {
        uint64_t offset, length;
        bool read;
    } cases[] = {{0, 64, true}, {4000, 1000, true}, {4990, 20, false}, {6000, 16, false}, {0, 10000, false},
                 {9990, 20, false}};
    for (const Case& c : cases) {
        auto read = (*file)->copy(c.offset, c.length);
        ASSERT_EQ(bool(read), c.read) << c.offset << "+" << c.length;
        if (read) {
            EXPECT_TRUE(std::equal(read->begin(), read->end(), bytes.begin() + static_cast<long>(c.offset)));
        }
    }
    fs::remove(path);
}

TEST(Refusals, NonLibrariesAndOldFormatsAreRefused) {
    auto reader = makeFileTypeLibraryReader();
    std::vector<std::byte> sltg(0x200, std::byte{0});
    const char magic[] = "SLTG";
    for (int i = 0; i < 4; ++i) sltg[i] = std::byte(magic[i]);
    auto result = reader->loadBytes(sltg);
    ASSERT_FALSE(result);
    EXPECT_NE(result.failure().message.find("SLTG"), std::string::npos);
    EXPECT_FALSE(reader->loadBytes(std::vector<std::byte>(100, std::byte{'x'})));
    EXPECT_FALSE(reader->loadBytes({}));
    EXPECT_FALSE(reader->load(libraryPath("no-such-file.tlb")));
    EXPECT_EQ(reader->typeInfoCount(), 0u);
    EXPECT_FALSE(reader->typeAttributes(0));
}

TEST(Refusals, LibraryWithoutTypesLoadsEmpty) {
    auto reader = loaded(libraryPath("notypes.tlb"));
    EXPECT_EQ(reader->typeInfoCount(), 0u);
    auto attributes = reader->typeAttributes(0);
    ASSERT_FALSE(attributes);
    EXPECT_EQ(attributes.failure().step, Failure::Step::TypeInfo);
}

}  // namespace
}  // namespace mivra
