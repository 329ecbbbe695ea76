#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "WineRun.h"

namespace mivra::wintest {
namespace {

namespace fs = std::filesystem;

// What OLE Automation (Wine's LoadTypeLib, ITypeLib, ITypeInfo) reports for
// a library in the resolved form, through the tool built from tlbdump.c.
std::string oleAutomationView(const std::string& linuxPath) {
    auto run = runProcess({"env", std::string("WINEPREFIX=") + MIVRA_WINEPREFIX, "WINEDEBUG=-all",
                           "WINEDLLOVERRIDES=winemenubuilder.exe=d", MIVRA_WINE64, MIVRA_TLBDUMP_EXE,
                           wineZPath(linuxPath), "fr"});
    std::string out = withoutCarriageReturns(run.out);
    // A library that does not load is refused by the dump too: nothing.
    return out.starts_with("load failed") ? std::string() : out;
}

bool carriesTypeLibrary(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.find("MSFT") != std::string::npos || bytes.find("SLTG") != std::string::npos;
}

size_t lineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

struct Comparison {
    int libraries = 0;
    size_t lines = 0;
    int differing = 0;
};

// `dump --raw --resolved` of each source by the Linux build and, where the
// Windows build is there, by mivra.exe with its file reader and with OLE
// Automation, each against OLE Automation's own view.
Comparison compareResolvedViews(const std::vector<std::string>& sources) {
    Comparison result;
    std::vector<std::string> args = {"dump", "--raw", "--resolved"};
    args.insert(args.end(), sources.begin(), sources.end());
    auto linuxDumps = splitDumpBySource(runLinuxMivra(args).out);
    std::map<std::string, std::string> fileDumps, oleDumps;
    bool windows = missingPrerequisite().empty();
    if (windows) {
        std::vector<std::string> windowsArgs = {"dump", "--raw", "--resolved"};
        for (const auto& source : sources) windowsArgs.push_back(wineZPath(source));
        fileDumps = splitDumpBySource(runWindowsMivra(windowsArgs).out);
        windowsArgs.insert(windowsArgs.begin() + 1, {"--reader", "ole"});
        oleDumps = splitDumpBySource(runWindowsMivra(windowsArgs).out);
    }
    for (const auto& source : sources) {
        std::string name = fs::path(source).filename().string();
        std::string expected = oleAutomationView(source);
        if (!expected.empty()) ++result.libraries;
        result.lines += lineCount(expected);
        auto check = [&](const std::string& actual, const char* how) {
            if (actual == expected) return;
            ++result.differing;
            ADD_FAILURE() << name << " (" << how << "), first " << firstDifference(expected, actual);
        };
        check(linuxDumps[name], "Linux build");
        if (windows) {
            check(fileDumps[name], "mivra.exe, file reader");
            check(oleDumps[name], "mivra.exe, OLE Automation reader");
        }
    }
    return result;
}

TEST(ResolvedView, EveryWineLibraryAsOleAutomationSeesIt) {
    if (!fs::exists(MIVRA_TLBDUMP_EXE) || !fs::exists(fs::path(MIVRA_WINEPREFIX) / "system.reg")) {
        if (runningInCi()) FAIL() << "no tlbdump.exe or Wine prefix";
        GTEST_SKIP() << "no tlbdump.exe or Wine prefix";
    }
    std::vector<std::string> sources;
    for (const auto& name : fileNamesIn(MIVRA_WINE_DLLS)) {
        fs::path path = fs::path(MIVRA_WINE_DLLS) / name;
        if (carriesTypeLibrary(path)) sources.push_back(path.string());
    }
    Comparison result = compareResolvedViews(sources);
    // Wine 8 installs some 48 files with a type library.
    EXPECT_GE(result.libraries, 40);
    EXPECT_GT(result.lines, 40000u);
    RecordProperty("libraries", result.libraries);
    std::printf("resolved view: %d libraries, %zu lines, %d dumps differing\n", result.libraries, result.lines,
                result.differing);
}

TEST(ResolvedView, TestLibrariesAsOleAutomationSeesThem) {
    if (!fs::exists(MIVRA_TLBDUMP_EXE) || !fs::exists(fs::path(MIVRA_WINEPREFIX) / "system.reg")) {
        if (runningInCi()) FAIL() << "no tlbdump.exe or Wine prefix";
        GTEST_SKIP() << "no tlbdump.exe or Wine prefix";
    }
    std::vector<std::string> sources;
    for (const auto& name : fileNamesIn(MIVRA_TEST_LIBRARIES))
        if (name.ends_with(".tlb") || name.ends_with(".dll")) sources.push_back(std::string(MIVRA_TEST_LIBRARIES) + "/" + name);
    ASSERT_GE(sources.size(), 5u);
    Comparison result = compareResolvedViews(sources);
    EXPECT_GE(result.libraries, 5);
    std::printf("resolved view of the test libraries: %d libraries, %zu lines, %d dumps differing\n", result.libraries,
                result.lines, result.differing);
}

}  // namespace
}  // namespace mivra::wintest
