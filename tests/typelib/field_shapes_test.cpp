#include <gtest/gtest.h>

#include <filesystem>

#include "FileTypeLibraryReader.h"
#include "ResolvedLibrary.h"
#include "TestLibraries.h"

namespace mivra {
namespace {

using test::libraryPath;

// A dual interface whose vtable is declared at 525 slots while its chain
// (IUnknown, IDispatch, its own four functions) describes 11: OLE Automation
// counts every slot and reports the undescribed ones as unavailable
// (tests/windows compares the whole dump); every described function reads.
TEST(DeclaredVtable, LargerThanDescribedCountsEverySlot) {
    auto reader = makeFileTypeLibraryReader({std::string(MIVRA_TEST_LIBRARIES) + "/stdole"});
    ASSERT_TRUE(reader->load(libraryPath("vtableshape.tlb")));
    auto attributes = reader->typeAttributes(0);
    ASSERT_TRUE(attributes) << attributes.failure().message;
    EXPECT_EQ(attributes->kind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->funcCount, 525);
    std::vector<std::string> described;
    for (uint32_t k = 0; k < attributes->funcCount; ++k) {
        auto f = reader->function(0, k);
        if (k < 11) {
            ASSERT_TRUE(f) << k << ": " << f.failure().message;
            auto names = reader->names(0, f->memberId, 1);
            ASSERT_TRUE(names && !names->empty());
            described.push_back(names->front());
        } else {
            ASSERT_FALSE(f) << k;
            EXPECT_EQ(f.failure().step, Failure::Step::EmptySlot) << k;
        }
    }
    EXPECT_EQ(described, (std::vector<std::string>{"QueryInterface", "AddRef", "Release", "GetTypeInfoCount",
                                                   "GetTypeInfo", "GetIDsOfNames", "Invoke", "Caption", "Caption",
                                                   "Refresh", "Move"}));
    // The class that names the interface stays whole.
    auto implemented = reader->implementedType(1, 0);
    ASSERT_TRUE(implemented) << implemented.failure().message;
    EXPECT_EQ(implemented->attributes.funcCount, 525);

    auto resolved = resolve(*reader);
    ASSERT_TRUE(resolved);
    const ResolvedType& type = resolved->types[0];
    ASSERT_EQ(type.functions.size(), 525u);
    size_t available = 0, empty = 0;
    for (const ResolvedFunction& f : type.functions) {
        available += f.available;
        empty += f.emptySlot;
    }
    EXPECT_EQ(available, 11u);
    EXPECT_EQ(empty, 514u);
}

// importer.tlb: IThird (dual) derives from IFirst of classes.tlb, which is
// not beside it. Slot 7 of IThird's dispatch view is IFirst's One, read only
// when the import resolves: by file name in the search folders, then where
// the registry says (a file, or resource N of one), then in the other
// TYPELIB resources of the executables those gave.
TEST(ImportResolution, SearchFoldersThenRegistryThenOtherResources) {
    namespace fs = std::filesystem;
    const std::string shapes = MIVRA_TEST_SHAPES;
    const std::string dll = libraryPath("resources64.dll");
    fs::path renamed = fs::path(MIVRA_TEST_SHAPES) / "renamed";
    fs::create_directories(renamed);
    fs::copy_file(dll, renamed / "classes.tlb", fs::copy_options::overwrite_existing);
    struct Case {
        const char* what;
        std::vector<std::string> searchPath;
        std::optional<std::string> registered;
        bool resolves;
    } cases[] = {
        {"nowhere", {shapes}, std::nullopt, false},
        {"registered file", {shapes}, libraryPath("classes.tlb"), true},
        {"registered resource", {shapes}, dll + "\\2", true},
        {"other resource of the registered file", {shapes}, dll, true},
        {"registered file of another library", {shapes}, libraryPath("testlib.tlb"), false},
        {"registered file missing", {shapes}, libraryPath("missing.tlb"), false},
        {"other resource of the file found by name", {renamed.string()}, std::nullopt, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> asked;
        RegisteredLibraryLookup lookup = [&](const Guid& libid, uint16_t major, uint16_t minor) {
            asked.push_back(guidText(libid) + " " + std::to_string(major) + "." + std::to_string(minor));
            return c.registered;
        };
        auto reader = makeFileTypeLibraryReader(c.searchPath, lookup);
        ASSERT_TRUE(reader->load(shapes + "/importer.tlb")) << c.what;
        auto attributes = reader->typeAttributes(0);
        ASSERT_TRUE(attributes) << c.what;
        EXPECT_EQ(attributes->funcCount, 9) << c.what;
        auto one = reader->function(0, 7);
        EXPECT_EQ(one.ok(), c.resolves) << c.what;
        if (one) {
            auto names = reader->names(0, one->memberId, 1);
            EXPECT_EQ(names ? names->front() : "", "One") << c.what;
        }
        // The standard library is built in and never asked for; classes.tlb
        // once, at the version the import names.
        EXPECT_EQ(asked, std::vector<std::string>{"{11111111-2222-3333-4444-777777777777} 1.0"}) << c.what;
    }
}

}  // namespace
}  // namespace mivra
