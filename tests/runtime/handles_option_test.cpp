// The --handles option of mivra generate: "int" is the default and changes
// nothing; "long" changes exactly the lines that carry a handle, and its C
// file builds for 64-bit Windows without a pointer-size warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// CTest runs each test of the suite in its own process, possibly at the same
// time: each process generates into a folder of its own.
const fs::path work = fs::path(MIVRA_BINARY_DIR) / "tests" / "runtime" / ("handles-" + std::to_string(getpid()));
const std::string source = std::string(MIVRA_WINEPREFIX) + "/drive_c/windows/system32/scrrun.dll";

std::vector<std::string> lines(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// The int form's refusal of 64-bit builds, which the long form has no need of.
std::vector<std::string> withoutIntGuard(std::vector<std::string> text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i].rfind("#if defined(_WIN64)", 0) == 0) {
            size_t end = i;
            while (end < text.size() && text[end].rfind("#endif", 0) != 0)
                ++end;
            // The block and the empty line after it.
            text.erase(text.begin() + i, text.begin() + std::min(end + 2, text.size()));
            break;
        }
    return text;
}

std::string commandOutput(const std::string& command, int& status)
{
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    status = pipe ? pclose(pipe) : -1;
    return output;
}

int generate(const std::string& folder, const std::string& extra)
{
    fs::remove_all(work / folder);
    std::string command = std::string("'") + MIVRA_PROGRAM + "' generate -i '" + source + "' -o '" +
                          (work / folder).string() + "' -p rt.scripting -l jscrrun.dll --registry '" +
                          MIVRA_WINEPREFIX + "' " + extra + " > /dev/null";
    return std::system(command.c_str());
}

// Pairs of lines that differ between two outputs, the time line excepted.
std::vector<std::pair<std::string, std::string>> differences(const std::string& a, const std::string& b,
                                                             bool withReadme = true)
{
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& entry : fs::directory_iterator(work / a)) {
        if (!withReadme && entry.path().filename() == "readme.html") continue;
        auto left = withoutIntGuard(lines(entry.path()));
        auto right = withoutIntGuard(lines(work / b / entry.path().filename()));
        EXPECT_EQ(left.size(), right.size()) << entry.path().filename();
        // The output folder's own path and the time differ by nature.
        auto unplaced = [](std::string line, const std::string& folder) {
            std::string path = (work / folder).string();
            for (size_t at; (at = line.find(path)) != std::string::npos;)
                line.replace(at, path.size(), "FOLDER");
            return line;
        };
        for (size_t i = 0; i < left.size() && i < right.size(); ++i) {
            std::string l = unplaced(left[i], a), r = unplaced(right[i], b);
            if (l != r && l.rfind("// Generated: ", 0) != 0)
                found.emplace_back(l, r);
        }
    }
    return found;
}

class HandlesOption : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        defaultRun = generate("default", "");
        intRun = generate("int", "--handles int");
        longRun = generate("long", "--handles long");
    }
    static void TearDownTestSuite() { fs::remove_all(work); }
    static int defaultRun, intRun, longRun;
};
int HandlesOption::defaultRun, HandlesOption::intRun, HandlesOption::longRun;

TEST_F(HandlesOption, IntIsTheDefaultAndChangesNothing)
{
    ASSERT_EQ(defaultRun, 0);
    ASSERT_EQ(intRun, 0);
    EXPECT_TRUE(differences("default", "int").empty());
}

TEST_F(HandlesOption, LongChangesOnlyTheHandleLines)
{
    ASSERT_EQ(defaultRun, 0);
    ASSERT_EQ(longRun, 0);
    // The readme's build steps differ on purpose; see the readme test below.
    auto changed = differences("default", "long", false);
    ASSERT_FALSE(changed.empty());
    static const std::regex handleLine(R"re(IntField|\(jint\) (pDisp|pUnk|var)|"(comId|variantData)", "I"|int (comId|variantData) = 0;)re");
    for (const auto& [before, after] : changed) {
        EXPECT_TRUE(std::regex_search(before, handleLine)) << "changed: " << before << "\n     to: " << after;
        EXPECT_EQ(after.find("IntField"), std::string::npos) << after;
        EXPECT_EQ(after.find("(jint)"), std::string::npos) << after;
    }
    std::string java;
    for (const auto& line : lines(work / "long" / "MivraObject.java"))
        java += line + "\n";
    EXPECT_NE(java.find("\tlong comId = 0;\n"), std::string::npos);
    std::string variant;
    for (const auto& line : lines(work / "long" / "MivraVariant.java"))
        variant += line + "\n";
    EXPECT_NE(variant.find("\tlong variantData = 0;\n"), std::string::npos);
}

TEST_F(HandlesOption, LongReadmeGivesThe64BitBuildCommands)
{
    ASSERT_EQ(longRun, 0);
    std::string readme;
    for (const auto& line : lines(work / "long" / "readme.html"))
        readme += line + "\n";
    EXPECT_NE(readme.find("x86_64-w64-mingw32-gcc"), std::string::npos) << readme;
    EXPECT_NE(readme.find("x64"), std::string::npos) << readme;
    std::string intReadme;
    for (const auto& line : lines(work / "default" / "readme.html"))
        intReadme += line + "\n";
    EXPECT_EQ(intReadme.find("x86_64-w64-mingw32-gcc"), std::string::npos);
}

TEST_F(HandlesOption, LongBuildsFor64BitWithoutPointerSizeWarnings)
{
    ASSERT_EQ(longRun, 0);
    std::string command = std::string(MIVRA_MINGW64_CC) + " -c -Wall -Werror=int-to-pointer-cast -Werror=pointer-to-int-cast -I'" +
                          MIVRA_WIN64_INCLUDE + "' -I'" + MIVRA_JNI_INCLUDE_DIR + "' -o '" +
                          (work / "long" / "jscrrun.o").string() + "' '" + (work / "long" / "jscrrun.c").string() +
                          "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// Pointers kept in int fields would be cut above 4 GB: a 64-bit build of the
// int form stops at once and names the option that fits.
TEST_F(HandlesOption, IntRefusesA64BitBuild)
{
    ASSERT_EQ(defaultRun, 0);
    int status = 0;
    std::string output = commandOutput(std::string(MIVRA_MINGW64_CC) + " -c -I'" + MIVRA_WIN64_INCLUDE + "' -I'" +
                                           MIVRA_JNI_INCLUDE_DIR + "' -o '" + (work / "default" / "jscrrun.o").string() +
                                           "' '" + (work / "default" / "jscrrun.c").string() + "'",
                                       status);
    EXPECT_NE(status, 0) << output;
    EXPECT_NE(output.find("#error"), std::string::npos) << output;
    EXPECT_NE(output.find("--handles long"), std::string::npos) << output;
}

TEST_F(HandlesOption, UnknownHandleTypeIsRefused)
{
    EXPECT_NE(generate("bad", "--handles short"), 0);
}

}  // namespace
