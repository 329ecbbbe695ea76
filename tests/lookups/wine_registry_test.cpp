#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <filesystem>

#include "ClassRegistry.h"
#include "TestPrefix.h"

using mivra::openClassRegistry;

namespace {

const char webBrowserLib[] = "{EAB22AC0-30C1-11CF-A7EB-0000C05BAE0B}";

TEST(WineRegistryFile, ReadsKeysValuesAndEscapesIgnoringCase) {
    TestPrefix prefix;
    prefix.writeSystem(
        "[Software\\\\Classes\\\\Sample.Thing\\\\CLSID] 1796674083\n"
        "#time=1dd8686aaa5ebb4\n"
        "@=\"{0002df01-0000-0000-c000-000000000046}\"\n"
        "\n"
        "[Software\\\\Classes\\\\Quoted] 1796674083\n"
        "\"Named\"=\"not the default\"\n"
        "@=\"say \\\"hi\\\" in C:\\\\dir\"\n"
        "\n"
        "[Software\\\\Classes\\\\Quoted\\\\Zeta] 1\n"
        "[Software\\\\Classes\\\\Quoted\\\\alpha] 1\n"
        "[Software\\\\Classes\\\\Quoted\\\\Beta\\\\Deep] 1\n"
        "[Software\\\\Classes\\\\Unicode\\x00e9] 1\n"
        "@=\"caf\\x00e9\"\n"
        "[Software\\\\Classes\\\\NoDefault] 1\n"
        "\"Other\"=\"x\"\n"
        "[Software\\\\Other\\\\Outside] 1\n"
        "@=\"not a class\"\n");
    auto registry = openClassRegistry(prefix.path());

    EXPECT_EQ(registry->defaultValue("sample.thing\\clsid"), "{0002df01-0000-0000-c000-000000000046}");
    EXPECT_EQ(registry->defaultValue("QUOTED"), "say \"hi\" in C:\\dir");
    EXPECT_EQ(registry->defaultValue("Unicode\xC3\xA9"), "caf\xC3\xA9");
    // A key that only exists because a key below it does.
    EXPECT_EQ(registry->subkeys("Quoted\\Beta"), std::vector<std::string>{"Deep"});
    EXPECT_EQ(registry->defaultValue("Quoted\\Beta"), std::nullopt);
    EXPECT_EQ(registry->subkeys("quoted"), (std::vector<std::string>{"alpha", "Beta", "Zeta"}));
    EXPECT_EQ(registry->defaultValue("NoDefault"), std::nullopt);
    EXPECT_EQ(registry->subkeys("Missing"), std::nullopt);
    EXPECT_EQ(registry->defaultValue("Outside"), std::nullopt);
    EXPECT_EQ(registry->defaultValue("Quoted\\\\Zeta"), std::nullopt);
}

// Every allocation of this program is counted, so that a test can see the
// most memory that a piece of work held at once.
std::atomic<size_t> liveBytes{0}, peakBytes{0};

}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    size_t live = liveBytes += malloc_usable_size(p);
    for (size_t peak = peakBytes; live > peak && !peakBytes.compare_exchange_weak(peak, live);) {
    }
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (!p) return;
    liveBytes -= malloc_usable_size(p);
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

// Memory stays near the file's size whatever its shape: many empty lines,
// or keys hundreds of components deep.
TEST(WineRegistryFile, MemoryNearTheFileSize) {
    std::string deepKeys;
    for (int i = 0; i < 2000; ++i) {
        deepKeys += "[Software\\\\Classes\\\\Deep" + std::to_string(i);
        for (int k = 0; k < 500; ++k) deepKeys += "\\\\k";
        deepKeys += "] 1\n";
    }
    const std::string last = "[Software\\\\Classes\\\\Last] 1\n@=\"found\"\n";
    const struct {
        const char* shape;
        std::string body;
        std::optional<std::vector<std::string>> belowDeep7;
    } cases[] = {
        {"empty lines", std::string(8 << 20, '\n') + last, std::nullopt},
        {"deep keys", deepKeys + last, std::vector<std::string>{"k"}},
    };
    for (const auto& c : cases) {
        TestPrefix prefix;
        prefix.writeSystem(c.body);
        size_t before = liveBytes;
        peakBytes = before;
        auto registry = openClassRegistry(prefix.path());
        size_t peak = peakBytes - before;
        EXPECT_EQ(registry->defaultValue("Last"), "found") << c.shape;
        EXPECT_EQ(registry->subkeys("Deep7\\k\\k"), c.belowDeep7) << c.shape;
        ::testing::Test::RecordProperty(std::string("peak bytes, ") + c.shape, std::to_string(peak));
        EXPECT_LT(peak, 4 * c.body.size()) << c.shape << ": at most " << peak << " bytes for " << c.body.size();
    }
}

TEST(WineRegistryFile, UserClassesOverMachineClasses) {
    TestPrefix prefix;
    prefix.writeSystem(
        "[Software\\\\Classes\\\\Shared] 1\n@=\"machine\"\n"
        "[Software\\\\Classes\\\\Shared\\\\FromMachine] 1\n"
        "[Software\\\\Classes\\\\MachineOnly] 1\n@=\"machine only\"\n");
    prefix.writeUser(
        "[Software\\\\Classes\\\\shared] 1\n@=\"user\"\n"
        "[Software\\\\Classes\\\\Shared\\\\FromUser] 1\n"
        "[Software\\\\Classes\\\\UserOnly] 1\n@=\"user only\"\n");
    auto registry = openClassRegistry(prefix.path());

    EXPECT_EQ(registry->defaultValue("Shared"), "user");
    EXPECT_EQ(registry->defaultValue("MachineOnly"), "machine only");
    EXPECT_EQ(registry->defaultValue("UserOnly"), "user only");
    EXPECT_EQ(registry->subkeys("Shared"), (std::vector<std::string>{"FromMachine", "FromUser"}));
}

TEST(WineRegistryFile, PassesOverMalformedLines) {
    TestPrefix prefix;
    prefix.writeSystem(
        "@=\"value before any key\"\n"
        "[Software\\\\Classes\\\\Broken\n"
        "@=\"belongs to no key\"\n"
        "[Software\\\\Classes\\\\Good] 1\n"
        "@=\"unterminated\n"
        "\"Name\"\n"
        "\"Name\"=\n"
        "@=garbage\n"
        "@=str(zz):\"bad type\"\n"
        "@=hex(2):41,00,4\n"
        "@=dword:0000001\n"
        "[Software\\\\Classes\\\\Good\\\\Hex] 1\n"
        "\"Blob\"=hex:01,02,03,\\\n"
        "  04,05,\\\n"
        "  06\n"
        "@=hex(2):43,00,3a,00,5c,00,\\\n"
        "  78,00,00,00\n"
        "[Software\\\\Classes\\\\\\\\Empty\\\\Part] 1\n"
        "@=\"empty component\"\n"
        "[Software\\\\Classes\\\\Trailing\\x] 1\n"
        "\x01\x02\xff garbage bytes\n"
        "[Software\\\\Classes\\\\After] 1\n"
        "@=\"still read\"\n");
    auto registry = openClassRegistry(prefix.path());

    EXPECT_EQ(registry->defaultValue("Broken"), std::nullopt);
    EXPECT_TRUE(registry->subkeys("Good").has_value());
    // Only well-formed values count; the dword is no text.
    EXPECT_EQ(registry->defaultValue("Good"), std::nullopt);
    EXPECT_EQ(registry->defaultValue("Good\\Hex"), "C:\\x");
    EXPECT_EQ(registry->defaultValue("After"), "still read");
}

TEST(WineRegistryFile, WithoutHeaderOrPrefixFindsNothing) {
    TestPrefix prefix;
    std::ofstream(prefix.root() / "system.reg") << "[Software\\\\Classes\\\\A] 1\n@=\"x\"\n";
    EXPECT_EQ(openClassRegistry(prefix.path())->defaultValue("A"), std::nullopt);

    auto missing = openClassRegistry((prefix.root() / "no-such-prefix").string());
    EXPECT_EQ(missing->subkeys("TypeLib"), std::nullopt);
    EXPECT_EQ(missing->clsidFromProgId("Shell.Explorer.2"), std::nullopt);
    EXPECT_EQ(missing->localPath("C:\\x.dll"), "C:\\x.dll");
}

TEST(WineRegistryFile, PrefixComesFromWineprefixThenHome) {
    TestPrefix prefix;
    prefix.writeSystem("[Software\\\\Classes\\\\A] 1\n@=\"from env\"\n");
    std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::string savedPrefix = std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "";

    setenv("WINEPREFIX", prefix.path().c_str(), 1);
    EXPECT_EQ(openClassRegistry()->defaultValue("A"), "from env");

    TestPrefix home;
    std::filesystem::create_directory(home.root() / ".wine");
    std::ofstream(home.root() / ".wine" / "system.reg")
        << "WINE REGISTRY Version 2\n[Software\\\\Classes\\\\A] 1\n@=\"from home\"\n";
    unsetenv("WINEPREFIX");
    setenv("HOME", home.path().c_str(), 1);
    EXPECT_EQ(openClassRegistry()->defaultValue("A"), "from home");
    setenv("HOME", prefix.path().c_str(), 1);
    EXPECT_EQ(openClassRegistry()->defaultValue("A"), std::nullopt);

    setenv("HOME", savedHome.c_str(), 1);
    if (!savedPrefix.empty()) setenv("WINEPREFIX", savedPrefix.c_str(), 1);
}

TEST(WineRegistryClasses, ProgIdsAndClassIds) {
    TestPrefix prefix;
    prefix.writeSystem(
        "[Software\\\\Classes\\\\Thing.App.1\\\\CLSID] 1\n@=\"{1b2c3d4e-0000-0000-c000-000000000046}\"\n"
        "[Software\\\\Classes\\\\Thing.App\\\\CurVer] 1\n@=\"Thing.App.1\"\n"
        "[Software\\\\Classes\\\\Loop.App\\\\CurVer] 1\n@=\"Loop.App\"\n"
        "[Software\\\\Classes\\\\Bad.App\\\\CLSID] 1\n@=\"not a guid\"\n"
        "[Software\\\\Classes\\\\Empty.App\\\\CLSID] 1\n"
        "[Software\\\\Classes\\\\CLSID\\\\{1B2C3D4E-0000-0000-C000-000000000046}\\\\ProgID] 1\n@=\"Thing.App.1\"\n"
        "[Software\\\\Classes\\\\CLSID\\\\{22222222-0000-0000-C000-000000000046}\\\\ProgID] 1\n@=\"\"\n"
        "[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\{33333333-0000-0000-C000-000000000046}\\\\ProgID] 1\n"
        "@=\"Old.App\"\n");
    auto registry = openClassRegistry(prefix.path());

    EXPECT_EQ(registry->clsidFromProgId("thing.app.1"), "{1B2C3D4E-0000-0000-C000-000000000046}");
    EXPECT_EQ(registry->clsidFromProgId("Thing.App"), "{1B2C3D4E-0000-0000-C000-000000000046}");
    EXPECT_EQ(registry->clsidFromProgId("Loop.App"), std::nullopt);
    EXPECT_EQ(registry->clsidFromProgId("Bad.App"), std::nullopt);
    EXPECT_EQ(registry->clsidFromProgId("Empty.App"), std::nullopt);
    EXPECT_EQ(registry->clsidFromProgId(""), std::nullopt);
    EXPECT_EQ(registry->clsidFromProgId("Nobody.Home"), std::nullopt);

    EXPECT_EQ(registry->progIdFromClsid("{1b2c3d4e-0000-0000-c000-000000000046}"), "Thing.App.1");
    EXPECT_EQ(registry->progIdFromClsid("{22222222-0000-0000-C000-000000000046}"), std::nullopt);
    EXPECT_EQ(registry->progIdFromClsid("{33333333-0000-0000-C000-000000000046}"), "Old.App");
    EXPECT_EQ(registry->progIdFromClsid("Thing.App.1"), std::nullopt);
}

std::string typeLibEntry(const std::string& version, const std::string& locale, const std::string& platform,
                         const std::string& path) {
    std::string escaped;
    for (char c : path) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "[Software\\\\Classes\\\\Typelib\\\\{00000001-0000-0000-0000-000000000001}\\\\" + version + "\\\\" +
           locale + "\\\\" + platform + "] 1\n@=\"" + escaped + "\"\n";
}

TEST(WineRegistryTypeLibraries, MinorVersionChoiceAsOleAutomation) {
    TestPrefix prefix;
    prefix.writeSystem(typeLibEntry("1.1", "0", "win64", "C:\\one-one.tlb") +
                       typeLibEntry("3.0", "0", "win64", "C:\\three-zero.tlb") +
                       typeLibEntry("3.4", "0", "win64", "C:\\three-four.tlb") +
                       typeLibEntry("a.0", "0", "win64", "C:\\ten.tlb"));
    auto registry = openClassRegistry(prefix.path());
    const std::string lib = "{00000001-0000-0000-0000-000000000001}";

    // Minor 0 takes the registered minor of the same major; a higher minor
    // than registered, or another major, is not registered.
    EXPECT_EQ(registry->typeLibraryPath(lib, 1, 0), "C:\\one-one.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 1, 1), "C:\\one-one.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 1, 2), std::nullopt);
    EXPECT_EQ(registry->typeLibraryPath(lib, 2, 0), std::nullopt);
    // An exact match wins over a higher minor.
    EXPECT_EQ(registry->typeLibraryPath(lib, 3, 0), "C:\\three-zero.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 3, 2), "C:\\three-four.tlb");
    // Version keys are hexadecimal to OLE Automation.
    EXPECT_EQ(registry->typeLibraryPath(lib, 10, 0), "C:\\ten.tlb");
    EXPECT_EQ(registry->typeLibraryPath("{00000001-0000-0000-0000-000000000001}", 0xFFFF, 0xFFFF),
              std::nullopt);  // highest major a with the highest minor 4: no key a.4
    EXPECT_EQ(registry->typeLibraryPath("not a guid", 1, 0), std::nullopt);
}

TEST(WineRegistryTypeLibraries, PlatformAndLocaleFallbacks) {
    TestPrefix prefix;
    prefix.writeSystem(typeLibEntry("1.0", "0", "win32", "C:\\thirty-two.tlb") +
                       typeLibEntry("2.0", "0", "win32", "C:\\thirty-two.tlb") +
                       typeLibEntry("2.0", "0", "win64", "C:\\sixty-four.tlb") +
                       typeLibEntry("3.0", "409", "win64", "C:\\english.tlb") +
                       typeLibEntry("3.0", "0", "win64", "C:\\neutral.tlb") +
                       typeLibEntry("4.0", "1", "win64", "C:\\sub-language.tlb") +
                       typeLibEntry("5.0", "407", "win64", "C:\\german.tlb") +
                       "[Software\\\\Classes\\\\Typelib\\\\{00000001-0000-0000-0000-000000000001}\\\\6.0\\\\0\\\\win64] 1\n");
    prefix.writeUser("[Control Panel\\\\International] 1\n\"Locale\"=\"00000409\"\n");
    auto registry = openClassRegistry(prefix.path());
    const std::string lib = "{00000001-0000-0000-0000-000000000001}";

    EXPECT_EQ(registry->typeLibraryPath(lib, 1, 0), "C:\\thirty-two.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 2, 0), "C:\\sixty-four.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 3, 0), "C:\\english.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 4, 0), "C:\\sub-language.tlb");
    EXPECT_EQ(registry->typeLibraryPath(lib, 5, 0), std::nullopt);
    // RegQueryValue gives an empty text for a key without a default value.
    EXPECT_EQ(registry->typeLibraryPath(lib, 6, 0), "");
}

TEST(WineRegistryPaths, WindowsPathsMapThroughDosDevices) {
    TestPrefix prefix;
    std::filesystem::path dll = prefix.writeDriveFile("windows/system32/Sample.dll", "x");
    auto registry = openClassRegistry(prefix.path());
    const std::string real = std::filesystem::canonical(dll).string();

    EXPECT_EQ(registry->localPath("C:\\windows\\system32\\Sample.dll"), real);
    EXPECT_EQ(registry->localPath("c:\\WINDOWS\\System32\\SAMPLE.DLL"), real);
    EXPECT_EQ(registry->localPath("C:/windows/system32/sample.dll"), real);
    EXPECT_EQ(registry->localPath("\\??\\C:\\windows\\system32\\sample.dll"), real);
    // A trailing resource number stays in the form the reader takes.
    EXPECT_EQ(registry->localPath("C:\\windows\\system32\\sample.dll\\2"), real + "\\2");
    EXPECT_EQ(registry->localPath("Z:\\"), "/");
    EXPECT_EQ(registry->localPath("Z:\\usr\\BIN"), "/usr/bin");
    // What does not exist keeps its remaining parts as given.
    EXPECT_EQ(registry->localPath("C:\\windows\\Missing\\x.dll"),
              (std::filesystem::canonical(prefix.root() / "drive_c" / "windows") / "Missing" / "x.dll").string());
    // Not a drive path, or a drive without a link: unchanged.
    EXPECT_EQ(registry->localPath("\"C:\\Program Files\\x.exe\" /automation"), "\"C:\\Program Files\\x.exe\" /automation");
    EXPECT_EQ(registry->localPath("Q:\\x.dll"), "Q:\\x.dll");
    EXPECT_EQ(registry->localPath("relative.dll"), "relative.dll");
    EXPECT_EQ(registry->localPath("/already/linux"), "/already/linux");
}

class RealPrefix : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::filesystem::path(MIVRA_WINEPREFIX) / "system.reg"))
            GTEST_SKIP() << "no Wine prefix in this build";
        registry = openClassRegistry(MIVRA_WINEPREFIX);
    }
    std::unique_ptr<mivra::ClassRegistry> registry;
};

TEST_F(RealPrefix, WebBrowserProgIdsMapToTheirClassesAndBack) {
    const std::pair<const char*, const char*> classes[] = {
        {"Shell.Explorer.2", "{8856F961-340A-11D0-A96B-00C04FD705A2}"},
        {"Shell.Explorer.1", "{EAB22AC3-30C1-11CF-A7EB-0000C05BAE0B}"},
        {"InternetExplorer.Application.1", "{0002DF01-0000-0000-C000-000000000046}"},
        {"Shell.UIHelper.1", "{64AB4BB7-111E-11D1-8F79-00C04FC2FBE1}"},
    };
    for (const auto& [progId, clsid] : classes) {
        EXPECT_EQ(registry->clsidFromProgId(progId), clsid) << progId;
        EXPECT_EQ(registry->progIdFromClsid(clsid), progId) << clsid;
    }
    EXPECT_EQ(registry->clsidFromProgId("InternetExplorer.Application"), "{0002DF01-0000-0000-C000-000000000046}");
}

TEST_F(RealPrefix, WebBrowserLibraryResolvesAsWineDoes) {
    auto path = registry->typeLibraryPath(webBrowserLib, 1, 0);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, "C:\\windows\\system32\\ieframe.dll");
    EXPECT_EQ(registry->typeLibraryPath(webBrowserLib, 1, 1), path);
    EXPECT_EQ(registry->typeLibraryPath(webBrowserLib, 1, 2), std::nullopt);
    EXPECT_EQ(registry->typeLibraryPath(webBrowserLib, 2, 0), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_regular_file(registry->localPath(*path)));
}

}  // namespace
