#pragma once

#include <map>
#include <string>
#include <vector>

namespace mivra::wintest {

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program could not run
    std::string out;
    std::string err;
};

// Runs a program with both outputs captured; workingFolder empty = ours.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& workingFolder = {});

// Runs the cross-built mivra.exe under wine64 in the build's Wine prefix.
ProcessResult runWindowsMivra(const std::vector<std::string>& args, const std::string& workingFolder = {});
ProcessResult runLinuxMivra(const std::vector<std::string>& args, const std::string& workingFolder = {});

// Why the Windows checks cannot run here (no mivra.exe, no wine64, no
// prefix), or empty when they can.
std::string missingPrerequisite();
bool runningInCi();

// A Linux path as Wine names it through drive Z:.
std::string wineZPath(const std::string& linuxPath);

// Text with every CR of a CR LF pair removed.
std::string withoutCarriageReturns(const std::string& text);

// Splits the output of a dump of several sources into each source's part,
// keyed by the source's file name.
std::map<std::string, std::string> splitDumpBySource(const std::string& output);

// The file names in a folder, sorted.
std::vector<std::string> fileNamesIn(const std::string& folder);

// The first line where two texts differ, shown with its number, for
// failure messages.
std::string firstDifference(const std::string& expected, const std::string& actual);

}  // namespace mivra::wintest

// Skips a check where the Windows build or Wine is missing; in CI that is a
// failure, since the set-up script provides both.
#define MIVRA_REQUIRE_WINDOWS_BUILD()                                        \
    do {                                                                    \
        std::string missing_ = ::mivra::wintest::missingPrerequisite();    \
        if (!missing_.empty()) {                                           \
            if (::mivra::wintest::runningInCi()) FAIL() << missing_;        \
            GTEST_SKIP() << missing_;                                       \
        }                                                                   \
    } while (0)
