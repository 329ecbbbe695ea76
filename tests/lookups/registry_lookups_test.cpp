#include <gtest/gtest.h>

#include <filesystem>

#include "Commands.h"
#include "FakeReader.h"
#include "RegistryLookups.h"
#include "TestPrefix.h"

using namespace mivra;
namespace fs = std::filesystem;

namespace {

std::string lib(int n) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-0000-0000-0000-000000000000}", n);
    return text;
}

std::string typeLibEntry(const std::string& guid, const std::string& version, const std::string& file) {
    return "[Software\\\\Classes\\\\TypeLib\\\\" + guid + "\\\\" + version + "\\\\0\\\\win64] 1\n@=\"C:\\\\libs\\\\" +
           file + "\"\n";
}

ReaderFactory fakeReaders() {
    return [] { return std::unique_ptr<TypeLibraryReader>(new FakeReader); };
}

struct Collected {
    std::vector<std::string> messages;
    LookupReport report() {
        return [this](const std::string& m) { messages.push_back(m); };
    }
};

class RegisteredLibraries : public ::testing::Test {
protected:
    std::string file(const std::string& name) {
        return std::filesystem::canonical(prefix.root() / "drive_c" / "libs" / name).string();
    }
    TestPrefix prefix;
};

TEST_F(RegisteredLibraries, ListsEachResolvableLibraryOnce) {
    prefix.writeDriveFile("libs/one.tlb", "LIB:One|The first library");
    prefix.writeDriveFile("libs/two-v1.tlb", "LIB:TwoOld");
    prefix.writeDriveFile("libs/two-v2.tlb", "LIB:Two|Version two");
    prefix.writeDriveFile("libs/three.tlb", "LIB:Three");
    prefix.writeDriveFile("libs/nodoc.tlb", "LIB:NoDoc|");
    prefix.writeDriveFile("libs/broken.tlb", "not a library");
    prefix.writeSystem(
        typeLibEntry(lib(1), "1.0", "one.tlb") +
        // The higher major wins when it resolves ...
        typeLibEntry(lib(2), "1.0", "two-v1.tlb") + typeLibEntry(lib(2), "2.0", "two-v2.tlb") +
        // ... else the next lower one is taken.
        typeLibEntry(lib(3), "1.0", "three.tlb") +
        "[Software\\\\Classes\\\\TypeLib\\\\" + lib(3) + "\\\\2.0] 1\n@=\"no path below\"\n" +
        // A major that is not a decimal number is major 0: never listed.
        typeLibEntry(lib(4), "a.0", "one.tlb") + typeLibEntry(lib(5), "x1.0", "one.tlb") +
        typeLibEntry(lib(6), "1.0", "broken.tlb") + typeLibEntry(lib(7), "1.0", "missing.tlb") +
        typeLibEntry(lib(8), "1.0", "nodoc.tlb") +
        "[Software\\\\Classes\\\\TypeLib\\\\NotAGuid\\\\1.0\\\\0\\\\win64] 1\n@=\"C:\\\\libs\\\\one.tlb\"\n");
    auto registry = openClassRegistry(prefix.path());
    RegisteredLibraryList list;
    Collected collected;

    listRegisteredLibraries(*registry, fakeReaders(), collected.report(), list);

    EXPECT_TRUE(collected.messages.empty());
    EXPECT_TRUE(list.filled);
    EXPECT_EQ(list.displayTexts, (std::vector<std::string>{"One:   The first library", "Two:   Version two", "Three",
                                                           "NoDoc"}));
    EXPECT_EQ(list.paths, (std::vector<std::string>{file("one.tlb"), file("two-v2.tlb"), file("three.tlb"),
                                                    file("nodoc.tlb")}));

    // Filled once per process: a second call adds nothing.
    listRegisteredLibraries(*registry, fakeReaders(), collected.report(), list);
    EXPECT_EQ(list.displayTexts.size(), 4u);
}

TEST_F(RegisteredLibraries, WithoutTypeLibKeyReportsOnceAndStaysEmpty) {
    prefix.writeSystem("[Software\\\\Classes\\\\Other] 1\n");
    auto registry = openClassRegistry(prefix.path());
    RegisteredLibraryList list;
    Collected collected;

    listRegisteredLibraries(*registry, fakeReaders(), collected.report(), list);
    listRegisteredLibraries(*registry, fakeReaders(), collected.report(), list);

    EXPECT_EQ(collected.messages, std::vector<std::string>{"Failed to access TypeLib key in registry"});
    EXPECT_TRUE(list.filled);
    EXPECT_TRUE(list.displayTexts.empty());
}

// The prefix's registry, counting the registered-path lookups asked of it.
class CountingRegistry final : public ClassRegistry {
public:
    explicit CountingRegistry(std::unique_ptr<ClassRegistry> inner) : inner_(std::move(inner)) {}
    mutable size_t pathLookups = 0;
    std::optional<std::vector<std::string>> subkeys(const std::string& k) const override { return inner_->subkeys(k); }
    std::optional<std::string> defaultValue(const std::string& k) const override { return inner_->defaultValue(k); }
    std::optional<std::string> clsidFromProgId(const std::string& p) const override { return inner_->clsidFromProgId(p); }
    std::optional<std::string> progIdFromClsid(const std::string& c) const override { return inner_->progIdFromClsid(c); }
    std::optional<std::string> typeLibraryPath(const std::string& guid, uint16_t major, uint16_t minor) const override {
        ++pathLookups;
        return inner_->typeLibraryPath(guid, major, minor);
    }
    std::string localPath(const std::string& path) const override { return inner_->localPath(path); }

private:
    std::unique_ptr<ClassRegistry> inner_;
};

// Only majors that have a version key are asked for, highest first: a key
// such as 65535.0 costs one lookup, not one per number below it.
TEST_F(RegisteredLibraries, AsksOnlyForRegisteredMajors) {
    prefix.writeDriveFile("libs/one.tlb", "LIB:One");
    prefix.writeDriveFile("libs/two.tlb", "LIB:Two");
    prefix.writeSystem(typeLibEntry(lib(1), "1.0", "one.tlb") + typeLibEntry(lib(1), "65535.0", "two.tlb") +
                       typeLibEntry(lib(2), "2.0", "two.tlb") + typeLibEntry(lib(2), "9999.0", "one.tlb") +
                       typeLibEntry(lib(3), "a.0", "one.tlb") + typeLibEntry(lib(3), "12.0", "two.tlb"));
    CountingRegistry registry(openClassRegistry(prefix.path()));
    RegisteredLibraryList list;
    Collected collected;

    listRegisteredLibraries(registry, fakeReaders(), collected.report(), list);

    // 65535 reads as hex beyond any major; 9999 is major 0x9999, above the
    // decimal 9999 the search starts from; a.0 is major 10, below 12.
    EXPECT_EQ(list.displayTexts, (std::vector<std::string>{"One", "Two", "One"}));
    EXPECT_LE(registry.pathLookups, 3u * 2);
}

TEST(RegisteredLibraryOrder, AlphabeticalWithoutRegardToCase) {
    RegisteredLibraryList list;
    list.displayTexts = {"beta", "Alpha", "gamma", "Beta:   doc", "alpha"};
    list.paths = {"b", "A", "g", "B", "a"};
    std::vector<std::string> shown;
    for (size_t i : sortedLibraryOrder(list)) shown.push_back(list.displayTexts[i]);
    EXPECT_EQ(shown, (std::vector<std::string>{"Alpha", "alpha", "beta", "Beta:   doc", "gamma"}));
}

class ServerLookup : public ::testing::Test {
protected:
    void SetUp() override {
        prefix.writeDriveFile("servers/inproc.dll", "x");
        prefix.writeSystem(
            "[Software\\\\Classes\\\\Local.App\\\\CLSID] 1\n@=\"{10000000-0000-0000-0000-000000000001}\"\n"
            "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000001}\\\\LocalServer32] 1\n"
            "@=\"\\\"C:\\\\Program Files\\\\App\\\\app.exe\\\" /automation\"\n"
            "[Software\\\\Classes\\\\Both.App\\\\CLSID] 1\n@=\"{10000000-0000-0000-0000-000000000002}\"\n"
            "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000002}\\\\LocalServer32] 1\n"
            "@=\"C:\\\\servers\\\\local.exe\"\n"
            "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000002}\\\\InprocServer32] 1\n"
            "@=\"C:\\\\SERVERS\\\\Inproc.dll\"\n"
            "[Software\\\\Classes\\\\Handler.App\\\\CLSID] 1\n@=\"{10000000-0000-0000-0000-000000000003}\"\n"
            "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000003}\\\\InprocServer32] 1\n"
            "\"ThreadingModel\"=\"Both\"\n"
            "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000003}\\\\InprocHandler] 1\n"
            "@=\"ole2.dll\"\n"
            "[Software\\\\Classes\\\\Bare.App\\\\CLSID] 1\n@=\"{10000000-0000-0000-0000-000000000004}\"\n"
            "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000004}\\\\Control] 1\n"
            "[Software\\\\Classes\\\\Orphan.App\\\\CLSID] 1\n@=\"{10000000-0000-0000-0000-000000000005}\"\n");
        registry = openClassRegistry(prefix.path());
    }
    TestPrefix prefix;
    std::unique_ptr<ClassRegistry> registry;
    Collected collected;
};

TEST_F(ServerLookup, ReturnsTheFirstReadableServerValue) {
    // A local server's command line is returned as stored, arguments and all.
    EXPECT_EQ(locateServerByProgId(*registry, "Local.App", collected.report()),
              "\"C:\\Program Files\\App\\app.exe\" /automation");
    // InprocServer32 comes first; its Windows path names this machine's file.
    EXPECT_EQ(locateServerByProgId(*registry, "both.app", collected.report()),
              std::filesystem::canonical(prefix.root() / "drive_c" / "servers" / "inproc.dll").string());
    // A server key without a default value is passed over.
    EXPECT_EQ(locateServerByProgId(*registry, "Handler.App", collected.report()), "ole2.dll");
    EXPECT_TRUE(collected.messages.empty());
}

TEST_F(ServerLookup, ReportsWhyThereIsNoServer) {
    EXPECT_EQ(locateServerByProgId(*registry, "Nobody.Home", collected.report()), std::nullopt);
    EXPECT_EQ(locateServerByProgId(*registry, "Orphan.App", collected.report()), std::nullopt);
    EXPECT_EQ(locateServerByProgId(*registry, "Bare.App", collected.report()), std::nullopt);
    EXPECT_EQ(collected.messages, (std::vector<std::string>{"Nobody.Home: this id was not found",
                                                            "Registry lookup failed", "No file found for this ID"}));
}

TEST_F(ServerLookup, IdentifierTextIsTheProgIdWhenRegistered) {
    prefix.writeSystem(
        "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000001}\\\\ProgID] 1\n@=\"Local.App.1\"\n");
    registry = openClassRegistry(prefix.path());
    Guid known = *parseGuid("{10000000-0000-0000-0000-000000000001}");
    Guid unknown = *parseGuid("{10000000-0000-0000-0000-0000000000FF}");
    EXPECT_EQ(identifierText(known, registry.get()), "Local.App.1");
    EXPECT_EQ(identifierText(unknown, registry.get()), "{10000000-0000-0000-0000-0000000000FF}");
    EXPECT_EQ(identifierText(known, nullptr), "{10000000-0000-0000-0000-000000000001}");
}

}  // namespace

namespace {

TEST_F(ServerLookup, LocateCommandPrintsTheServerOrTheMessage) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(runLocateCommand({"Local.App", "--registry", prefix.path()}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\"C:\\Program Files\\App\\app.exe\" /automation\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(runLocateCommand({"--registry", prefix.path(), "Nobody.Home"}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "mivra: Nobody.Home: this id was not found\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(runLocateCommand({}), 2);
    EXPECT_EQ(runListCommand({"extra"}), 2);
    EXPECT_EQ(runListCommand({"--registry"}), 2);
    testing::internal::GetCapturedStderr();
}

TEST(ListCommand, ReportsAMissingTypeLibKey) {
    TestPrefix prefix;
    prefix.writeSystem("[Software\\\\Classes\\\\Other] 1\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runListCommand({"--registry", prefix.path()}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "mivra: Failed to access TypeLib key in registry\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace


namespace {

// Every library that wineboot registers in the build's prefix loads with the
// file reader; the web-browser library is among them under its doc string.
TEST(RealPrefixLibraries, ListsTheRegisteredLibrariesOfTheBuildsPrefix) {
    if (!std::filesystem::exists(std::filesystem::path(MIVRA_WINEPREFIX) / "system.reg"))
        GTEST_SKIP() << "no Wine prefix in this build";
    auto registry = openClassRegistry(MIVRA_WINEPREFIX);
    auto names = registry->subkeys("TypeLib");
    ASSERT_TRUE(names.has_value());
    RegisteredLibraryList list;
    Collected collected;
    listRegisteredLibraries(*registry, {}, collected.report(), list);

    EXPECT_TRUE(collected.messages.empty());
    EXPECT_GE(list.displayTexts.size(), 30u);
    EXPECT_EQ(list.displayTexts.size(), names->size());
    auto find = [&](const std::string& text) {
        auto it = std::find(list.displayTexts.begin(), list.displayTexts.end(), text);
        return it == list.displayTexts.end() ? std::string() : list.paths[it - list.displayTexts.begin()];
    };
    EXPECT_EQ(fs::path(find("SHDocVw:   Microsoft Internet Controls")).filename(), "ieframe.dll");
    EXPECT_EQ(fs::path(find("stdole:   OLE Automation")).filename(), "stdole2.tlb");
    // A library in a second TYPELIB resource keeps its resource number. Wine
    // may register it again later without one (a prefix update writes
    // "\\?\C:\...\vbscript.dll"), so hold the list to what the registry says.
    auto regExpPath = registry->typeLibraryPath("{3F4DACA7-160D-11D2-A8E9-00104B365C9F}", 5, 0);
    if (regExpPath && regExpPath->ends_with("\\3")) {
        EXPECT_EQ(fs::path(find("VBScript_RegExp_55:   Microsoft VBScript Regular Expressions 5.5")).filename(),
                  "vbscript.dll\\3");
    }
    for (const std::string& path : list.paths) {
        std::string file = path.substr(0, path.find('\\'));
        EXPECT_TRUE(fs::is_regular_file(file)) << path;
    }
}

}  // namespace
