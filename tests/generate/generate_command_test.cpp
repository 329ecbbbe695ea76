#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "CompileCheck.h"
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
    EXPECT_EQ(r.err, "mivra: Please specify a COM source\n");
    r = runMivra("generate -i x.tlb -p a.b", folder);
    EXPECT_EQ(r.err, "mivra: Please specify an output folder\n");
    r = runMivra("generate -i x.tlb -o o", folder);
    EXPECT_EQ(r.err, "mivra: Please specify a package name for generated Java classes\n");
    r = runMivra("generate -i x.tlb -o o -p a -l ''", folder);
    EXPECT_EQ(r.err, "mivra: Please specify a name for the JNI library file\n");
    r = runMivra("generate -i /a/Foo.dll -o o -p a -l foo.DLL", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mivra: The JNI library must not have the same name as the COM DLL\n");
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
    EXPECT_EQ(r.err, "mivra: missing.tlb: File does not exist\nmivra: 1 failure was reported; the run stopped\n");
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(GenerateCommand, OutputThatIsAFileIsRefused) {
    test::TempFolder folder;
    test::writeFile(folder.file("file"), "x");
    auto r = runMivra("generate -i missing.tlb -o " + q(folder.file("file")) + " -p a.b", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "mivra: " + folder.file("file") + ": is not a directory!\n");
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
    EXPECT_EQ(r.err, "mivra: " + tlb + ": No creatable types in library\nmivra: 1 failure was reported; the run stopped\n");
}

// Each usage error names what was wrong before the usage text.
TEST(CommandLine, UsageErrorsSayWhatIsWrong) {
    test::TempFolder folder;
    struct Case {
        const char* arguments;
        const char* firstLine;
    } cases[] = {
        {"generate -i x.tlb -o o -p a -q", "mivra: generate: unknown option \"-q\""},
        {"generate -i x.tlb -o o -p", "mivra: generate: -p needs a value"},
        {"generate -i x.tlb -o o -p a --handles short", "mivra: generate: --handles takes int or long, not \"short\""},
        {"generate -i x.tlb -o o -p a --reader com", "mivra: generate: --reader takes file or ole, not \"com\""},
        {"generate stray", "mivra: generate: unexpected argument \"stray\""},
        {"dump --fast x.tlb", "mivra: dump: unknown option \"--fast\""},
        {"dump", "mivra: dump: no SOURCE given"},
        {"list --registry", "mivra: list: --registry needs a value"},
        {"locate", "mivra: locate: one PROGID is needed"},
        {"check", "mivra: check: one FILE is needed"},
        {"frobnicate", "mivra: unknown command \"frobnicate\""},
    };
    for (const Case& c : cases) {
        auto r = runMivra(c.arguments, folder);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.firstLine) << c.arguments;
        EXPECT_NE(r.err.find("usage: mivra"), std::string::npos) << c.arguments;
    }
    auto version = runMivra("--version", folder);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Mivra Version 1.0\n");
    auto help = runMivra("--help", folder);
    EXPECT_NE(help.out.find("Exit status: 0"), std::string::npos);
}

// Names Java cannot compile, or whose JNI symbols no VM looks up, are
// refused before the output folder is even made.
TEST(GenerateCommand, PackagesThatAreNotJavaPackageNamesAreRefused) {
    test::TempFolder folder;
    const std::string out = folder.file("out");
    struct Case {
        std::string package, reason;
    } cases[] = {
        {"my-pkg", "\"-\" cannot be part of a name"},
        {"1abc", "\"1abc\" starts with a digit"},
        {"class.foo", "\"class\" is a Java keyword"},
        {"a..b", "it has an empty part (names are separated by single dots)"},
        {"com.x.", "it has an empty part (names are separated by single dots)"},
        {" ", "\" \" cannot be part of a name"},
        {"caf\xC3\xA9", "only ASCII letters, digits, \"_\" and \"$\" can name a package"},
    };
    for (const Case& c : cases) {
        auto r = runMivra("generate -i " + q(goldenTlb) + " -o " + q(out) + " -p " + q(c.package), folder);
        EXPECT_EQ(r.status, 2) << c.package;
        EXPECT_EQ(r.err, "mivra: " + c.package + ": not a Java package name: " + c.reason + "\n");
        EXPECT_FALSE(fs::exists(out)) << c.package;
    }
    auto r = runMivra("generate -i " + q(goldenTlb) + " -o " + q(out) + " -p " + q("my_pkg.$x.y2"), folder);
    EXPECT_EQ(r.status, 0) << r.err;
}

// A file that cannot take what is written (here: a full device) is a
// failure of the run that the exit status and a count show.
TEST(GenerateCommand, FilesThatCannotBeWrittenFailTheCommand) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    test::TempFolder folder;
    const std::string out = folder.file("out");
    fs::create_directories(out);
    fs::create_symlink("/dev/full", out + "/Shape.java");
    fs::create_symlink("/dev/full", out + "/Jgolden.c");
    auto r = runMivra("generate -i " + q(goldenTlb) + " -o " + q(out) + " -p mvx.golden", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("mivra: " + out + "/Shape.java: Cannot write file\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("mivra: " + out + "/Jgolden.c: Cannot write file\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("mivra: 2 failures were reported; the output is incomplete\n"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(out + "/MivraObject.java"));
}

// Library text never reaches the terminal raw: an escape sequence and a
// line break in a doc string show as escapes, in the dump and in error lines.
TEST(CommandLine, ControlCharactersOfLibrariesArePrintedEscaped) {
    test::TempFolder folder;
    std::string library = test::readFile(goldenTlb);
    size_t at = library.find("Golden <test> library");
    ASSERT_NE(at, std::string::npos);
    library.replace(at + 7, 6, "\x1b[2J\nx");
    test::writeFile(folder.file("hostile.tlb"), library);
    auto r = runMivra("dump " + q(folder.file("hostile.tlb")), folder);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Golden \\x1b[2J\\x0ax library"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);

    auto missing = runMivra("generate -i \"$(printf 'ghost\\033]0;owned\\007.tlb')\" -o " + q(folder.file("o")) + " -p a", folder);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("mivra: ghost\\x1b]0;owned\\x07.tlb: File does not exist\n"), std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.err.find('\x1b'), std::string::npos);
}

// Without a display the window says so and points to the command line;
// it takes --registry like the commands.
TEST(CommandLine, NoDisplayIsExplainedNotAnAbort) {
    test::TempFolder folder;
    for (const std::string args : {"", " --registry /nonexistent"}) {
        std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(MIVRA_BINARY_DIR) +
                              "/bin/mivra" + args + " >" + folder.file("out.txt") + " 2>" + folder.file("err.txt");
        int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << "mivra" << args << " was killed by a signal";
        EXPECT_EQ(WEXITSTATUS(raw), 1) << args;
        EXPECT_NE(test::readFile(folder.file("err.txt")).find("mivra generate"), std::string::npos) << args;
    }
}

// Without any Wine prefix, list and locate say so and how to name one.
TEST(CommandLine, MissingWinePrefixIsNamedWithTheWayToGiveOne) {
    test::TempFolder folder;
    fs::create_directories(folder.file("home"));
    const std::string env = "env -u WINEPREFIX HOME=" + q(folder.file("home")) + " " + MIVRA_BINARY_DIR + "/bin/mivra ";
    for (const std::string command : {"list", "locate Some.App"}) {
        int raw = std::system((env + command + " 2>" + folder.file("err.txt")).c_str());
        EXPECT_EQ(WEXITSTATUS(raw), 1) << command;
        EXPECT_EQ(test::readFile(folder.file("err.txt")),
                  "mivra: No Wine prefix was found (no WINEPREFIX, no ~/.wine); name one with --registry PREFIX or "
                  "the WINEPREFIX variable\n")
            << command;
    }
    int raw = std::system((env + "list --registry " + q(folder.file("nowhere")) + " 2>" + folder.file("err.txt")).c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(test::readFile(folder.file("err.txt")),
              "mivra: " + folder.file("nowhere") +
                  ": no Wine prefix is there; name one with --registry PREFIX or the WINEPREFIX variable\n");
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
    EXPECT_EQ(r.out, "Wrote 2 Java files to " + out +
                         "; 1 of 1 functions bound; 0 members and types left out or renamed, listed in unbound.txt\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DOnly.java", "MivraClasses.java", "overview.html", "readme.html",
                                               "unbound.txt"}));

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

// --package-folders: the Java files in the folders of their package, the
// pages, lists and C file in the output folder, in either mapping; the jar
// of such a run holds each source once, at its package path.
TEST(GenerateCommand, PackageFoldersHoldTheJavaFiles) {
    if (!test::toolAvailable("javac")) GTEST_SKIP() << "no javac";
    struct Case {
        const char* mapping;
        std::vector<std::string> top;
    } cases[] = {
        {"basic", {"Jgolden.c", "mvx", "overview.html", "readme.html"}},
        {"full", {"mvx", "overview.html", "readme.html", "unbound.txt"}},
    };
    for (const Case& c : cases) {
        test::TempFolder folder;
        const std::string out = folder.file("out"), jar = folder.file("golden.jar");
        auto r = runMivra(std::string("generate --package-folders --mapping ") + c.mapping + " -i " + q(goldenTlb) +
                              " -o " + q(out) + " -p mvx.golden --jar " + q(jar) + " --runtime-jar " +
                              q(MIVRA_RUNTIME_JAR),
                          folder);
        ASSERT_EQ(r.status, 0) << c.mapping << r.err;
        std::vector<std::string> top;
        for (const auto& entry : fs::directory_iterator(out)) top.push_back(entry.path().filename().string());
        std::sort(top.begin(), top.end());
        EXPECT_EQ(top, c.top) << c.mapping;
        const std::string shape = out + "/mvx/golden/Shape.java";
        EXPECT_NE(test::readFile(shape).find("// File: " + shape + "\n"), std::string::npos) << c.mapping;
        const std::string sources = outputOf(std::string(MIVRA_JAR) + " tf " + q(folder.file("golden-sources.jar")));
        EXPECT_NE(sources.find("\nmvx/golden/Shape.java\n"), std::string::npos) << c.mapping << sources;
        EXPECT_EQ(sources.find("mvx/golden/mvx"), std::string::npos) << c.mapping << sources;
    }
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
         "mivra: generate: JAVA_HOME (" + folder.file("nojdk") + ") holds no JDK: bin/javac or bin/jar is missing\n", false},
        {"-u JAVA_HOME PATH=" + q(folder.file("nojdk")), "", 1,
         "mivra: generate: no Java compiler: install a JDK, and set JAVA_HOME or put its javac on the PATH\n", false},
        {"JAVA_HOME=" + q(folder.file("badjdk")), "", 1,
         "mivra: generate: " + folder.file("badjdk/bin/javac") + " failed with exit status 3\n", true},
        {"", " --runtime-jar " + q(folder.file("none.jar")), 2, "mivra: " + folder.file("none.jar") + ": File does not exist\n",
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

// javac must take nothing from the folder the user runs in or from
// $CLASSPATH: a processor found there would run the folder's code.
TEST(GenerateCommand, JarRunsNoCodeOfTheCurrentFolderOrClassPath) {
    test::TempFolder folder;
    const std::string evil = folder.file("downloaded");
    fs::create_directories(evil + "/META-INF/services");
    test::writeFile(evil + "/Evil.java",
                    "import java.util.Set;\nimport javax.annotation.processing.*;\nimport javax.lang.model.element.TypeElement;\n"
                    "@SupportedAnnotationTypes(\"*\")\npublic class Evil extends AbstractProcessor {\n"
                    "    static { try { new java.io.File(\"" + folder.file("ran") + "\").createNewFile(); } catch (Exception e) {} }\n"
                    "    public boolean process(Set<? extends TypeElement> a, RoundEnvironment r) { return false; }\n}\n");
    test::writeFile(evil + "/META-INF/services/javax.annotation.processing.Processor", "Evil\n");
    ASSERT_EQ(std::system(("cd " + q(evil) + " && " + MIVRA_JAVAC + " -proc:none Evil.java").c_str()), 0);
    for (const std::string mapping : {"basic", "full"}) {
        fs::remove_all(folder.file("out"));
        const std::string command = "cd " + q(evil) + " && env CLASSPATH=" + q(evil) + " MIVRA_RUNTIME_JAR=" +
                                    q(MIVRA_RUNTIME_JAR) + " " + MIVRA_BINARY_DIR + "/bin/mivra generate -i " +
                                    q(goldenTlb) + " -o " + q(folder.file("out")) + " -p mvx.golden --mapping " + mapping +
                                    " --jar " + q(folder.file("golden.jar")) + " >/dev/null 2>" + q(folder.file("err.txt"));
        EXPECT_EQ(std::system(command.c_str()), 0) << mapping << test::readFile(folder.file("err.txt"));
        EXPECT_TRUE(fs::exists(folder.file("golden.jar"))) << mapping;
        EXPECT_FALSE(fs::exists(folder.file("ran"))) << mapping;
    }
}

// Another local user made the scratch folder's old name beforehand in a
// shared sticky folder, with a link to the victim's file as the argument
// file and a class of his own; the run (as a user who is not root, so the
// planted files cannot be removed) must neither write through the link nor
// pack the class, and leaves nothing of its own behind.
TEST(GenerateCommand, JarIgnoresWhatAnotherUserPlantedBesideIt) {
    if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "needs root and setpriv to act as two other users";
    test::TempFolder folder;
    const std::string shared = folder.file("shared");
    const uid_t victim = 65534, attacker = 4242;
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    test::writeFile(shared + "/precious.txt", "mine\n");
    ASSERT_EQ(::chown((shared + "/precious.txt").c_str(), victim, victim), 0);
    const std::string planted = shared + "/.golden.jar.build";
    fs::create_directories(planted + "/classes/mvx/golden");
    test::writeFile(planted + "/classes/mvx/golden/Planted.class", "x");
    fs::create_symlink(shared + "/precious.txt", planted + "/sources.txt");
    for (const auto& entry : fs::recursive_directory_iterator(planted)) {
        if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::all | fs::perms::sticky_bit);
        ASSERT_EQ(::lchown(entry.path().c_str(), attacker, attacker), 0);
    }
    fs::permissions(planted, fs::perms::all | fs::perms::sticky_bit);
    ASSERT_EQ(::chown(planted.c_str(), attacker, attacker), 0);

    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + q(shared) + " " +
                                MIVRA_BINARY_DIR + "/bin/mivra generate -i " + q(goldenTlb) + " -o " +
                                q(shared + "/out") + " -p mvx.golden --jar " + q(shared + "/golden.jar") + " >" +
                                q(folder.file("out.txt")) + " 2>" + q(folder.file("err.txt"));
    EXPECT_EQ(std::system(command.c_str()), 0) << test::readFile(folder.file("err.txt"));
    EXPECT_EQ(test::readFile(shared + "/precious.txt"), "mine\n");
    const std::string listing = outputOf(std::string(MIVRA_JAR) + " tf " + q(shared + "/golden.jar"));
    EXPECT_NE(listing.find("mvx/golden/Shape.class"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("Planted"), std::string::npos) << listing;
    EXPECT_TRUE(fs::is_symlink(planted + "/sources.txt"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(shared))
        if (entry.path().filename().string().rfind(".golden.jar", 0) == 0) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{".golden.jar.build"});
}

TEST(GenerateCommand, SourcesJarIsNamedAfterTheJar) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"x.jar", "x-sources.jar"}, {"out/lib.v2.jar", "out/lib.v2-sources.jar"}, {"bindings", "bindings-sources.jar"},
        {".jar", ".jar-sources.jar"}};
    for (const auto& [jar, sources] : cases) EXPECT_EQ(sourcesJarPath(jar), sources) << jar;
}

// Shapes other compilers write (tests/typelib/shapes): an interface whose
// declared vtable is far larger than what it describes binds every function
// it describes in both mappings; of two types with one name the second gets
// a class of its own in both mappings; a module's constants get a class
// in both; a library in the SLTG format generates as its MSFT original does.
// The Java compiles.
// A type the full mapping leaves out, here for a name too long for the
// folder, is listed with its reason in the list the summary names: the run
// succeeds.
TEST(GenerateCommand, LeftOutTypesListedWithTheirReasonAreNoFailure) {
    test::TempFolder folder;
    // Deep enough that class names of up to 30 characters still fit.
    std::string out = folder.file("out");
    const size_t wanted = 4095 - 1 - 5 - 30;
    while (out.size() + 201 < wanted) out += "/" + std::string(200, 'd');
    out += "/" + std::string(wanted - out.size() - 1, 'e');
    ASSERT_EQ(out.size(), wanted);
    fs::create_directories(out);
    const std::string source = q(std::string(MIVRA_TEST_TLB_DIR) + "/longname.tlb");
    auto r = runMivra("generate --mapping full -i " + source + " -o " + q(out) + " -p deep.names", folder);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("; 1 of 2 functions bound; 1 members and types left out or renamed"), std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::exists(out + "/IThing.java"));
    EXPECT_NE(test::readFile(out + "/unbound.txt").find("IAnInterfaceWhoseNameIsFarTooLongForTheFolder: Name too long"),
              std::string::npos);
}

TEST(GenerateCommand, FieldShapesGenerateAndCompile) {
    if (!test::toolAvailable("javac")) GTEST_SKIP() << "no javac";
    const std::string libs = MIVRA_TYPELIB_TEST_LIBRARIES;
    struct Case {
        std::string library;
        std::string mapping;
        int status;
        std::string summary;  // after the output folder
        std::vector<std::string> files;
    } cases[] = {
        {"vtableshape", "basic", 0, " (24 JNI functions) to ", {"IShapeControl.java", "ShapeControl.java"}},
        {"vtableshape", "full", 0, "; 4 of 4 functions bound; 0 members and types left out or renamed", {"IShapeControl.java", "ShapeControl.java"}},
        {"duplicatenames", "basic", 0, " (22 JNI functions) to ", {"IPicture2.java", "IPicture2_2.java", "Picture2.java"}},
        {"duplicatenames", "full", 0, "; 2 of 2 functions bound; 2 members and types left out or renamed",
         {"IPicture2.java", "IPicture2_2.java", "PictureSizes.java", "PictureSizes_2.java", "Picture2.java"}},
        {"modules", "basic", 0, " (21 JNI functions) to ", {"Formats.java", "Thing.java", "DThing.java"}},
        {"vtableorder", "full", 0, "; 3 of 3 functions bound; 0 members and types left out or renamed", {"IOrdered.java"}},
        {"modules", "full", 0, "; 1 of 1 functions bound; 1 members and types left out or renamed", {"Formats.java", "Thing.java", "DThing.java"}},
        // A library in the older SLTG format, of every type kind.
        {"../sltg/everykind-sltg", "basic", 0, " (32 JNI functions) to ", {"ISketch.java", "drawing.java", "DDrawingEvents.java"}},
        {"../sltg/everykind-sltg", "full", 0, "; 12 of 20 functions bound; 7 members and types left out or renamed",
         {"ISketch.java", "drawing.java", "Colour.java"}},
    };
    for (const Case& c : cases) {
        test::TempFolder folder;
        std::string out = folder.file("out");
        auto r = runMivra("generate --mapping " + c.mapping + " -i " + q(libs + "/" + c.library + ".tlb") + " -o " +
                              q(out) + " -p field.shapes",
                          folder);
        std::string what = c.library + " " + c.mapping;
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.err;
        EXPECT_EQ(r.err, "") << what;
        EXPECT_NE(r.out.find(c.summary), std::string::npos) << what << "\n" << r.out;
        for (const std::string& file : c.files) EXPECT_TRUE(fs::exists(out + "/" + file)) << what << ": " << file;
        std::string classPath = c.mapping == "full" ? " -cp " + q(MIVRA_RUNTIME_JAR) : "";
        EXPECT_TRUE(test::runCommand("javac -nowarn -encoding UTF-8" + classPath + " -d " + q(folder.file("classes")) +
                                         " " + q(out) + "/*.java",
                                     folder.file("javac.log")))
            << what << "\n" << test::readFile(folder.file("javac.log")).substr(0, 4000);
        if (c.library == "vtableorder") {
            // Called through the slots the library stores, not counted in
            // declaration order.
            std::string ordered = test::readFile(out + "/IOrdered.java");
            for (const char* call : {"First() {\n\t\treturn (int) mivraVtblCall(IID, 9,",
                                     "Second() {\n\t\treturn (int) mivraVtblCall(IID, 8,",
                                     "Third() {\n\t\treturn (int) mivraVtblCall(IID, 7,"})
                EXPECT_NE(ordered.find(call), std::string::npos) << call << "\n" << ordered;
        }
        if (c.library != "modules") continue;
        // Typed as their values (what OLE Automation reports of them; Wine's
        // writer stores no double), the entry point listed with its reason.
        std::string formats = test::readFile(out + "/Formats.java");
        for (const char* line :
             {"\tpublic static final String FormatJPEG = \"{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}\";\n",
              "\tpublic static final int Count = -123456;\n", "\tpublic static final boolean Enabled = true;\n",
              "\tpublic static final short Small = -3;\n", "\tpublic static final short Byte = 200;\n",
              "\tpublic static final String Quoted = \"say \\\"hi\\\"\\\\\";\n",
              "\t// Scale:\n\t\t// Function is not available: A DLL entry point, which cannot be called through IDispatch\n"})
            EXPECT_NE(formats.find(line), std::string::npos) << line << formats;
    }
}

}  // namespace
}  // namespace mivra
