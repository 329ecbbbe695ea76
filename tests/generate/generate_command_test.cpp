#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "TestFiles.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built mivra program with the given arguments (already quoted).
CommandResult runMivra(const std::string& arguments, const test::TempFolder& folder) {
    std::string command = std::string(MIVRA_BINARY_DIR) + "/bin/mivra " + arguments + " >" + folder.file("out.txt") +
                          " 2>" + folder.file("err.txt");
    int raw = std::system(command.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = test::readFile(folder.file("out.txt"));
    result.err = test::readFile(folder.file("err.txt"));
    return result;
}

std::string q(const std::string& text) { return "'" + text + "'"; }

const std::string goldenTlb = std::string(MIVRA_TEST_TLB_DIR) + "/golden.tlb";

TEST(GenerateCommand, InputChecksAreUsageErrors) {
    test::TempFolder folder;
    auto r = runMivra("generate -o " + q(folder.file("o")) + " -p a.b", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mivra generate: Please specify a COM source\n");
    r = runMivra("generate -i x.tlb -p a.b", folder);
    EXPECT_EQ(r.err, "mivra generate: Please specify an output folder\n");
    r = runMivra("generate -i x.tlb -o o", folder);
    EXPECT_EQ(r.err, "mivra generate: Please specify a package name for generated Java classes\n");
    r = runMivra("generate -i x.tlb -o o -p a -l ''", folder);
    EXPECT_EQ(r.err, "mivra generate: Please specify a name for the JNI library file\n");
    r = runMivra("generate -i /a/Foo.dll -o o -p a -l foo.DLL", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mivra generate: The JNI library must not have the same name as the COM DLL\n");
    r = runMivra("generate -i x.tlb -o o -p a -q", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: mivra generate"), std::string::npos);
    EXPECT_FALSE(fs::exists("o"));
}

TEST(GenerateCommand, MissingSourceFailsAfterCreatingTheFolder) {
    test::TempFolder folder;
    std::string out = folder.file("deep/er/out");
    auto r = runMivra("generate -i missing.tlb -o " + q(out) + " -p a.b", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "missing.tlb: File does not exist\n");
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(GenerateCommand, OutputThatIsAFileIsRefused) {
    test::TempFolder folder;
    test::writeFile(folder.file("file"), "x");
    auto r = runMivra("generate -i missing.tlb -o " + q(folder.file("file")) + " -p a.b", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, folder.file("file") + ": is not a directory!\n");
}

TEST(GenerateCommand, WritesTheBindingsAndSaysWhat) {
    test::TempFolder folder;
    std::string out = folder.file("out");
    auto r = runMivra("generate -i " + q(goldenTlb) + " -o " + q(out) + " -p mvx.golden", folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Wrote 6 Java files and " + out + "/Jgolden.c (" + std::to_string(30) + " JNI functions) to " +
                         out + "\n");
    EXPECT_TRUE(fs::exists(out + "/Shape.java"));
}

TEST(GenerateCommand, LibraryWithoutCreatableClassFails) {
    test::TempFolder folder;
    std::string tlb = std::string(MIVRA_TEST_TLB_DIR) + "/noclass.tlb";
    auto r = runMivra("generate -i " + q(tlb) + " -o " + q(folder.file("out")) + " -p a", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, tlb + ": No creatable types in library\n");
}

// The full mode: Java only, a library without a creatable class is taken,
// the summary says how much is bound, and the handle choice is refused.
TEST(GenerateCommand, FullMappingWritesJavaOnly) {
    test::TempFolder folder;
    std::string out = folder.file("out");
    std::string tlb = std::string(MIVRA_TEST_TLB_DIR) + "/noclass.tlb";
    auto r = runMivra("generate --mapping full -i " + q(tlb) + " -o " + q(out) + " -p a", folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Wrote 1 Java files to " + out + "; 1 of 1 functions bound\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DOnly.java", "overview.html", "readme.html"}));

    r = runMivra("generate --mapping full --handles long -i " + q(tlb) + " -o " + q(out) + " -p a", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--handles has no meaning with --mapping full"), std::string::npos) << r.err;
    r = runMivra("generate --mapping fancy -i " + q(tlb) + " -o " + q(out) + " -p a", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("[--mapping basic|full]"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace mivra
