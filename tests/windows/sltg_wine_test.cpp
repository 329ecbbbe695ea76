#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "WineRun.h"

namespace mivra::wintest {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// What Wine's LoadTypeLib reports of the SLTG library written by the test
// writer must agree with the resolved dump of our reader, line by line, where
// Wine reads the format at all. Wine 8 leaves out what it does not read:
// a union's fields, references in record fields, the dispatch view of a
// dual interface past its own function count and a dispatch interface's
// IDispatch; those lines are compared without what Wine lacks. So writer
// and reader cannot share one misreading of the format.
TEST(SltgLibrary, WineReadsWhatOurReaderReads) {
    fs::path tlbdump = MIVRA_TLBDUMP_EXE;
    if (!fs::exists(tlbdump) || !fs::exists(fs::path(MIVRA_WINEPREFIX) / "system.reg")) {
        if (runningInCi()) FAIL() << "no tlbdump.exe or Wine prefix";
        GTEST_SKIP() << "no tlbdump.exe or Wine prefix";
    }
    std::string library = std::string(MIVRA_TEST_SLTG) + "/everykind-sltg.tlb";
    auto wine = runProcess({"env", std::string("WINEPREFIX=") + MIVRA_WINEPREFIX, "WINEDEBUG=-all",
                            "WINEDLLOVERRIDES=winemenubuilder.exe=d", MIVRA_WINE64, MIVRA_TLBDUMP_EXE,
                            wineZPath(library), "fr"});
    auto ours = runLinuxMivra({"dump", "--raw", "--resolved", library});
    std::vector<std::string> expected = lines(withoutCarriageReturns(wine.out));
    std::vector<std::string> actual = lines(ours.out);
    ASSERT_FALSE(expected.empty());
    ASSERT_FALSE(expected[0].starts_with("load failed")) << expected[0];
    EXPECT_EQ(expected[0], actual.at(0));

    // Lines grouped by the type they belong to.
    auto byType = [](const std::vector<std::string>& all) {
        std::map<std::string, std::vector<std::string>> types;
        std::string current;
        for (const std::string& line : all) {
            if (line.starts_with("type ")) current = line.substr(0, line.find(' ', 5));
            if (!current.empty()) types[current].push_back(line);
        }
        return types;
    };
    auto wineTypes = byType(expected);
    auto ourTypes = byType(actual);
    EXPECT_EQ(wineTypes.size(), 12u);
    const std::regex counts(" (impl|funcs|vars)=[0-9]+");
    const std::regex reference("user\\([^()]*\\)");
    size_t compared = 0;
    for (const auto& [type, wineLines] : wineTypes) {
        const auto& ourLines = ourTypes[type];
        ASSERT_FALSE(ourLines.empty()) << type;
        bool gaps = wineLines[0].find(" kind=4 ") != std::string::npos || wineLines[0].find(" kind=7 ") != std::string::npos;
        if (gaps)
            EXPECT_EQ(std::regex_replace(wineLines[0], counts, ""), std::regex_replace(ourLines[0], counts, ""));
        else
            EXPECT_EQ(wineLines[0], ourLines[0]);
        for (size_t i = 1; i < wineLines.size(); ++i) {
            const std::string& line = wineLines[i];
            bool found = false;
            for (const std::string& our : ourLines) {
                std::string comparable = line.find("user(?)") != std::string::npos
                                             ? std::regex_replace(our, reference, "user(?)")
                                             : our;
                found = found || comparable == line;
            }
            EXPECT_TRUE(found) << type << ": Wine reports\n" << line << "\nwhich our reader does not";
            ++compared;
        }
    }
    EXPECT_GE(compared, 35u);
}

}  // namespace
}  // namespace mivra::wintest
