#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FileTypeLibraryReader.h"
#include "TestLibraries.h"

namespace mivra {
namespace {

bool containsMsftSignature(const std::vector<std::byte>& bytes) {
    const std::byte magic[] = {std::byte{'M'}, std::byte{'S'}, std::byte{'F'}, std::byte{'T'}};
    return std::search(bytes.begin(), bytes.end(), std::begin(magic), std::end(magic)) != bytes.end();
}

// Every file Wine installs either carries a type library that loads and can
// be walked to the last function, or is refused.
TEST(WineLibraries, EveryFileLoadsAndWalksOrIsRefused) {
    std::filesystem::path folder = MIVRA_WINE_DLLS;
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "Wine is not installed";
    size_t libraries = 0, functions = 0;
    std::vector<std::string> loadedNames;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        auto bytes = test::fileBytes(entry.path().string());
        auto reader = makeFileTypeLibraryReader();
        if (!reader->loadBytes(bytes)) {
            continue;
        }
        EXPECT_TRUE(containsMsftSignature(bytes)) << entry.path();
        ++libraries;
        loadedNames.push_back(entry.path().filename().string());
        size_t walked = test::walkEverything(*reader);
        functions += walked;
        // Every function that the attributes count can be read.
        for (uint32_t i = 0; i < reader->typeInfoCount(); ++i) {
            auto attributes = reader->typeAttributes(i);
            ASSERT_TRUE(attributes) << entry.path() << " type " << i;
            for (uint32_t k = 0; k < attributes->funcCount; ++k) {
                auto f = reader->function(i, k);
                // Wine's msado15 has one function whose default value
                // OLE Automation cannot copy; it is unavailable there too.
                if (!f && entry.path().filename() == "msado15.dll") continue;
                EXPECT_TRUE(f) << entry.path() << " type " << i << " function " << k;
            }
        }
    }
    for (const char* expected : {"stdole2.tlb", "scrrun.dll", "shdocvw.dll", "mshtml.tlb", "msxml3.dll"})
        EXPECT_NE(std::find(loadedNames.begin(), loadedNames.end(), expected), loadedNames.end()) << expected;
    EXPECT_GE(libraries, 40u);
    EXPECT_GT(functions, 20000u);
}

std::unique_ptr<FileTypeLibraryReader> wineLibrary(const char* name) {
    std::filesystem::path path = std::filesystem::path(MIVRA_WINE_DLLS) / name;
    auto reader = makeFileTypeLibraryReader();
    if (!std::filesystem::exists(path) || !reader->load(path.string())) return nullptr;
    return reader;
}

uint32_t indexOf(const TypeLibraryReader& reader, const std::string& name) {
    for (uint32_t i = 0; i < reader.typeInfoCount(); ++i)
        if (auto doc = reader.documentation(static_cast<int32_t>(i)); doc && doc->name == name) return i;
    return UINT32_MAX;
}

TEST(WineLibraries, FolderDispatchViewOfTheScriptingLibrary) {
    auto reader = wineLibrary("scrrun.dll");
    if (!reader) GTEST_SKIP() << "scrrun.dll not available";
    uint32_t folder = indexOf(*reader, "IFolder");
    ASSERT_NE(folder, UINT32_MAX);
    auto attributes = reader->typeAttributes(folder);
    EXPECT_EQ(attributes->kind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->flags, 0x10D0);
    EXPECT_EQ(attributes->funcCount, 28);
    auto path = reader->function(folder, 7);
    EXPECT_EQ(path->memberId, 0);
    EXPECT_EQ(path->invokeKind, 2u);
    EXPECT_EQ(path->result.vt, 8);
    bool sawDelete = false;
    for (uint32_t k = 7; k < 28; ++k) {
        auto f = reader->function(folder, k);
        ASSERT_TRUE(f);
        auto names = reader->names(folder, f->memberId, 1);
        if (!names || names->empty() || (*names)[0] != "Delete") continue;
        sawDelete = true;
        EXPECT_EQ(f->memberId, 0x4B1);
        ASSERT_EQ(f->paramCount, 1);
        EXPECT_EQ(f->params[0].flags, 0x31);
    }
    EXPECT_TRUE(sawDelete);
}

TEST(WineLibraries, WebBrowserInterfacesOfTheShellLibrary) {
    auto reader = wineLibrary("shdocvw.dll");
    if (!reader) GTEST_SKIP() << "shdocvw.dll not available";
    uint32_t browser = indexOf(*reader, "IWebBrowser2");
    uint32_t events = indexOf(*reader, "DWebBrowserEvents2");
    ASSERT_NE(browser, UINT32_MAX);
    EXPECT_EQ(reader->typeAttributes(browser)->funcCount, 71);
    EXPECT_EQ(reader->typeAttributes(events)->funcCount, 41);
    EXPECT_EQ(reader->typeAttributes(events)->flags, 0x1010);
    auto last = reader->function(browser, 70);
    ASSERT_TRUE(last);
}

}  // namespace
}  // namespace mivra
