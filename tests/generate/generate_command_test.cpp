#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "JarPacking.h"
#include "TestFiles.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built mivra program with the given arguments (already quoted),
// after an `env` word list when environment is given.
CommandResult runMivra(const std::string& arguments, const test::TempFolder& folder,
                       const std::string& environment = "") {
    std::string command = (environment.empty() ? "" : "env " + environment + " ") + std::string(MIVRA_BINARY_DIR) +
                          "/bin/mivra " + arguments + " >" + folder.file("out.txt") + " 2>" + folder.file("err.txt");
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

// A shell command's standard output.
std::string outputOf(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

TEST(GenerateCommand, JarOfAWineLibraryHoldsItsClassesAndSources) {
    test::TempFolder folder;
    const std::string source = std::string(MIVRA_WINE_DLLS) + "/shdocvw.dll";
    const std::string jar = folder.file("lib/shdocvw.jar");
    auto r = runMivra("generate -i " + q(source) + " -o " + q(folder.file("out")) + " -p mvx.shdocvw --jar " + q(jar),
                      folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Packed the classes into " + jar + " and the sources into " + folder.file("lib/shdocvw-sources.jar")),
              std::string::npos)
        << r.out;
    const std::string javap = outputOf(std::string(MIVRA_JAVAP) + " -cp " + q(jar) +
                                       " mvx.shdocvw.InternetExplorer mvx.shdocvw.IWebBrowser2 2>&1");
    EXPECT_NE(javap.find("public class mvx.shdocvw.InternetExplorer extends mvx.shdocvw.MivraObject"), std::string::npos)
        << javap;
    EXPECT_NE(javap.find("public native void Navigate("), std::string::npos) << javap;
    const std::string sources = outputOf(std::string(MIVRA_JAR) + " tf " + q(folder.file("lib/shdocvw-sources.jar")));
    EXPECT_NE(sources.find("mvx/shdocvw/InternetExplorer.java\n"), std::string::npos) << sources;
    EXPECT_EQ(sources.find(".class"), std::string::npos) << sources;
    EXPECT_FALSE(fs::exists(folder.file("lib/.shdocvw.jar.build")));
}

TEST(GenerateCommand, JarWithoutAWorkingJdkFails) {
    test::TempFolder folder;
    fs::create_directories(folder.file("nojdk"));
    // A JDK whose compiler fails: its failure must fail the run.
    fs::create_directories(folder.file("badjdk/bin"));
    for (const char* tool : {"javac", "jar"}) {
        test::writeFile(folder.file(std::string("badjdk/bin/") + tool), "#!/bin/sh\nexit 3\n");
        fs::permissions(folder.file(std::string("badjdk/bin/") + tool), fs::perms::owner_all);
    }
    struct Case {
        std::string environment;
        std::string more;
        int status;
        std::string error;
        bool writes;
    };
    const std::vector<Case> cases = {
        {"JAVA_HOME=" + q(folder.file("nojdk")), "", 1,
         "mivra generate: JAVA_HOME (" + folder.file("nojdk") + ") holds no JDK: bin/javac or bin/jar is missing\n", false},
        {"-u JAVA_HOME PATH=" + q(folder.file("nojdk")), "", 1,
         "mivra generate: no Java compiler: install a JDK, and set JAVA_HOME or put its javac on the PATH\n", false},
        {"JAVA_HOME=" + q(folder.file("badjdk")), "", 1,
         "mivra generate: " + folder.file("badjdk/bin/javac") + " failed with exit status 3\n", true},
        {"", " --runtime-jar " + q(folder.file("none.jar")), 2, folder.file("none.jar") + ": File does not exist\n",
         false},
    };
    for (const auto& c : cases) {
        fs::remove_all(folder.file("out"));
        auto r = runMivra("generate -i " + q(goldenTlb) + " -o " + q(folder.file("out")) + " -p mvx.golden --jar " +
                              q(folder.file("golden.jar")) + c.more,
                          folder, c.environment);
        EXPECT_EQ(r.status, c.status) << c.environment;
        EXPECT_EQ(r.err, c.error) << c.environment;
        EXPECT_EQ(fs::exists(folder.file("out/Shape.java")), c.writes) << c.environment;
        EXPECT_FALSE(fs::exists(folder.file("golden.jar"))) << c.environment;
    }
}

TEST(GenerateCommand, SourcesJarIsNamedAfterTheJar) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"x.jar", "x-sources.jar"}, {"out/lib.v2.jar", "out/lib.v2-sources.jar"}, {"bindings", "bindings-sources.jar"},
        {".jar", ".jar-sources.jar"}};
    for (const auto& [jar, sources] : cases) EXPECT_EQ(sourcesJarPath(jar), sources) << jar;
}

}  // namespace
}  // namespace mivra
