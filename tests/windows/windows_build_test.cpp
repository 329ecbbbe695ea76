#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "ClassRegistry.h"
#include "WineRun.h"

namespace mivra::wintest {
namespace {

namespace fs = std::filesystem;

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(withoutCarriageReturns(text));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// A path the Linux build printed, as Wine names the same file: the prefix's
// drive_c becomes C:, every other absolute path goes through Z:. Paths that
// are already Windows paths stay. Lower case, since Windows keeps the case of
// the registered text while the Linux build gives the file's actual name.
std::string asWindowsPath(const std::string& path) {
    std::error_code ec;
    std::string driveC = fs::weakly_canonical(fs::path(MIVRA_WINEPREFIX) / "drive_c", ec).string() + "/";
    std::string windows = path;
    if (path.starts_with(driveC))
        windows = "C:\\" + path.substr(driveC.size());
    else if (path.starts_with("/"))
        windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return lowerCase(windows);
}

// Every import of the executable is a system DLL that Wine (like Windows)
// supplies: no libstdc++, libgcc or winpthread beside it.
TEST(WindowsBuild, ExecutableNeedsOnlySystemLibraries) {
    MIVRA_REQUIRE_WINDOWS_BUILD();
    ASSERT_STRNE(MIVRA_MINGW_OBJDUMP, "") << "x86_64-w64-mingw32-objdump not found";
    auto headers = runProcess({MIVRA_MINGW_OBJDUMP, "-p", MIVRA_WINDOWS_EXE});
    ASSERT_EQ(headers.status, 0) << headers.err;
    std::set<std::string> systemLibraries;
    for (const auto& name : fileNamesIn(MIVRA_WINE_DLLS)) systemLibraries.insert(lowerCase(name));
    int imports = 0;
    for (const auto& line : linesOf(headers.out)) {
        auto at = line.find("DLL Name: ");
        if (at == std::string::npos) continue;
        std::string library = lowerCase(line.substr(at + 10));
        ++imports;
        EXPECT_FALSE(library.starts_with("lib")) << library;
        EXPECT_TRUE(systemLibraries.count(library)) << library << " is not a system library";
    }
    EXPECT_GT(imports, 0);
}

// Every type library Wine installs, dumped by the Linux build, by mivra.exe
// with its own file reader and by mivra.exe with OLE Automation (Wine's
// LoadTypeLib): the three must print the same lines, and the same files must
// carry a library for all three. One Wine process per reader: mivra.exe
// dumps all files at once, named relative to the folder to keep the command
// line short.
TEST(WindowsDump, FileReaderAndOleAutomationAgreeWithLinuxBuild) {
    MIVRA_REQUIRE_WINDOWS_BUILD();
    std::vector<std::string> names = fileNamesIn(MIVRA_WINE_DLLS);
    ASSERT_GT(names.size(), 100u);

    std::vector<std::string> linuxArgs = {"dump", "--raw"}, windowsArgs = {"dump", "--raw"};
    for (const auto& name : names) linuxArgs.push_back(std::string(MIVRA_WINE_DLLS) + "/" + name);
    windowsArgs.insert(windowsArgs.end(), names.begin(), names.end());
    std::vector<std::string> oleArgs = windowsArgs;
    oleArgs.insert(oleArgs.begin() + 1, {"--reader", "ole"});

    auto linuxRun = runLinuxMivra(linuxArgs);
    auto fileRun = runWindowsMivra(windowsArgs, MIVRA_WINE_DLLS);
    auto oleRun = runWindowsMivra(oleArgs, MIVRA_WINE_DLLS);
    auto linuxDumps = splitDumpBySource(linuxRun.out);
    auto fileDumps = splitDumpBySource(fileRun.out);
    auto oleDumps = splitDumpBySource(oleRun.out);
    ASSERT_EQ(linuxDumps.size(), names.size()) << linuxRun.err.substr(0, 2000);
    ASSERT_EQ(fileDumps.size(), names.size()) << fileRun.err.substr(0, 2000);
    ASSERT_EQ(oleDumps.size(), names.size()) << oleRun.err.substr(0, 2000);

    int libraries = 0;
    for (const auto& name : names) {
        const std::string& expected = linuxDumps[name];
        if (!expected.empty() || !oleDumps[name].empty() || !fileDumps[name].empty()) ++libraries;
        EXPECT_EQ(oleDumps[name], expected) << name << " (OLE Automation against the Linux build), first "
                                            << firstDifference(expected, oleDumps[name]);
        EXPECT_EQ(fileDumps[name], expected) << name << " (file reader on Windows against Linux), first "
                                             << firstDifference(expected, fileDumps[name]);
    }
    // Wine 8 installs some 48 files with a type library.
    EXPECT_GE(libraries, 30);
    RecordProperty("libraries", libraries);
    std::printf("compared %d type libraries among %zu files\n", libraries, names.size());
}

// The lines of a generated file that may differ between two runs of the same
// generation on two machines: the file's own path and the time of the run
// in every header, and the paths of the output folder in the readme.
std::vector<std::string> comparableLines(const std::string& fileName, const std::string& text,
                                         const std::string& outputFolder) {
    std::vector<std::string> kept;
    for (const auto& line : linesOf(text)) {
        if (line.starts_with("// File:") || line.starts_with("// Generated:")) continue;
        if (fileName == "readme.html" && line.find(outputFolder) != std::string::npos) continue;
        kept.push_back(line);
    }
    return kept;
}

// The web-browser library of the prefix, generated by mivra.exe (its own
// registry through Wine) and by the Linux build (the prefix's registry
// files): the same files with the same contents.
TEST(WindowsGenerate, WebBrowserLibraryGivesTheSameFilesAsTheLinuxBuild) {
    MIVRA_REQUIRE_WINDOWS_BUILD();
    fs::path work = fs::path(MIVRA_BINARY_DIR) / "windows-generate";
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::path linuxOut = work / "linux", windowsOut = work / "windows";
    fs::create_directories(work, ec);
    std::string source = std::string(MIVRA_WINEPREFIX) + "/drive_c/windows/system32/shdocvw.dll";

    auto linuxRun = runLinuxMivra({"generate", "-i", source, "-o", linuxOut.string(), "-p", "mvx.tutorial", "-l",
                                   "jbrowse.dll", "--registry", MIVRA_WINEPREFIX});
    ASSERT_EQ(linuxRun.status, 0) << linuxRun.err;
    std::string windowsFolder = wineZPath(windowsOut.string());
    auto windowsRun = runWindowsMivra({"generate", "-i", "C:\\windows\\system32\\shdocvw.dll", "-o", windowsFolder,
                                       "-p", "mvx.tutorial", "-l", "jbrowse.dll"});
    ASSERT_EQ(windowsRun.status, 0) << windowsRun.err;

    auto linuxFiles = fileNamesIn(linuxOut.string());
    EXPECT_EQ(fileNamesIn(windowsOut.string()), linuxFiles);
    EXPECT_GE(linuxFiles.size(), 30u);
    for (const auto& name : linuxFiles) {
        auto read = [](const fs::path& path) {
            std::ifstream in(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        };
        std::string windowsText = read(windowsOut / name);
        // Text mode on Windows: every line ends in CR LF.
        EXPECT_EQ(windowsText.find('\n'), windowsText.find("\r\n") + 1) << name;
        EXPECT_EQ(comparableLines(name, windowsText, windowsFolder),
                  comparableLines(name, read(linuxOut / name), linuxOut.string()))
            << name;
    }
}

// The registered libraries as Windows reads them (the real registry, through
// Wine) and as the Linux build reads the prefix's registry files.
TEST(WindowsRegistry, ListShowsTheSameLibrariesAsTheLinuxReading) {
    MIVRA_REQUIRE_WINDOWS_BUILD();
    auto windowsRun = runWindowsMivra({"list"});
    auto linuxRun = runLinuxMivra({"list", "--registry", MIVRA_WINEPREFIX});
    ASSERT_EQ(windowsRun.status, 0) << windowsRun.err;
    ASSERT_EQ(linuxRun.status, 0) << linuxRun.err;

    // Wine registers some libraries under the long-path form "\\?\C:\...",
    // which names the same file as "C:\...".
    auto normalised = [](const std::string& output) {
        std::vector<std::string> lines;
        for (const auto& line : linesOf(output)) {
            auto tab = line.rfind('\t');
            if (tab == std::string::npos) {
                lines.push_back(line);
                continue;
            }
            std::string path = line.substr(tab + 1);
            if (path.rfind("\\\\?\\", 0) == 0) path.erase(0, 4);
            lines.push_back(line.substr(0, tab + 1) + asWindowsPath(path));
        }
        return lines;
    };
    auto windowsLines = normalised(windowsRun.out);
    auto linuxLines = normalised(linuxRun.out);
    EXPECT_GE(windowsLines.size(), 20u);
    EXPECT_EQ(windowsLines, linuxLines);
}

// Every ProgID of the web-browser library's classes leads to the same server
// both ways.
TEST(WindowsRegistry, LocateAgreesForTheWebBrowserProgIds) {
    MIVRA_REQUIRE_WINDOWS_BUILD();
    std::string library = std::string(MIVRA_WINEPREFIX) + "/drive_c/windows/system32/shdocvw.dll";
    auto dump = runLinuxMivra({"dump", "--raw", library});
    ASSERT_EQ(dump.status, 0) << dump.err;
    auto registry = openClassRegistry(MIVRA_WINEPREFIX);
    std::set<std::string> progIds;
    for (const auto& line : linesOf(dump.out)) {
        if (!line.starts_with("type ") || line.find(" kind=5 ") == std::string::npos) continue;
        auto at = line.find(" guid=");
        ASSERT_NE(at, std::string::npos) << line;
        std::string clsid = line.substr(at + 6, 38);
        for (const char* key : {"ProgID", "VersionIndependentProgID"})
            if (auto progId = registry->defaultValue("CLSID\\" + clsid + "\\" + key)) progIds.insert(*progId);
    }
    ASSERT_GE(progIds.size(), 4u) << "the prefix registers Shell.Explorer and InternetExplorer.Application";
    EXPECT_TRUE(progIds.count("Shell.Explorer.2"));

    for (const auto& progId : progIds) {
        auto windowsRun = runWindowsMivra({"locate", progId});
        auto linuxRun = runLinuxMivra({"locate", progId, "--registry", MIVRA_WINEPREFIX});
        EXPECT_EQ(windowsRun.status, linuxRun.status) << progId << ": " << windowsRun.err << linuxRun.err;
        auto windowsLines = linesOf(windowsRun.out), linuxLines = linesOf(linuxRun.out);
        ASSERT_EQ(windowsLines.size(), 1u) << progId << ": " << windowsRun.err;
        ASSERT_EQ(linuxLines.size(), 1u) << progId << ": " << linuxRun.err;
        EXPECT_EQ(asWindowsPath(linuxLines[0]), lowerCase(windowsLines[0])) << progId;
    }
}

}  // namespace
}  // namespace mivra::wintest
