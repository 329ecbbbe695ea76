// The --handles option of mivra generate: "int" is the default and changes
// nothing; "long" changes exactly the lines that carry a handle, and its C
// file builds for 64-bit Windows without a pointer-size warning.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path work = fs::path(MIVRA_BINARY_DIR) / "tests" / "runtime" / "handles";
const std::string source = std::string(MIVRA_WINEPREFIX) + "/drive_c/windows/system32/scrrun.dll";

std::vector<std::string> lines(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
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
std::vector<std::pair<std::string, std::string>> differences(const std::string& a, const std::string& b)
{
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& entry : fs::directory_iterator(work / a)) {
        auto left = lines(entry.path());
        auto right = lines(work / b / entry.path().filename());
        EXPECT_EQ(left.size(), right.size()) << entry.path().filename();
        for (size_t i = 0; i < left.size() && i < right.size(); ++i)
            if (left[i] != right[i] && left[i].rfind("// Generated: ", 0) != 0 &&
                left[i].find("File: ") == std::string::npos && left[i].find("<I>") == std::string::npos &&
                left[i].find("HREF=file:") == std::string::npos)
                found.emplace_back(left[i], right[i]);
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
    auto changed = differences("default", "long");
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

TEST_F(HandlesOption, UnknownHandleTypeIsRefused)
{
    EXPECT_NE(generate("bad", "--handles short"), 0);
}

}  // namespace
