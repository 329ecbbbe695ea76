#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "DemoLibrary.h"
#include "TestFiles.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;
using test::guid;
using test::pointerTo;
using test::type;

// A run of the demo library into a fresh folder.
struct DemoRun {
    test::TempFolder folder;
    test::RecordingGenerator generator;
    test::FakeTypeLibrary library = test::demoLibrary();

    DemoRun(std::string libraryFile = "JFoo.dll") {
        test::writeFile(folder.file("demo.tlb"), "");
        generator.inputs = {folder.file("demo.tlb"), folder.path() + "/out", "mvx.tutorial", libraryFile};
        fs::create_directories(folder.path() + "/out");
    }
    std::string out(const std::string& name) const { return folder.path() + "/out/" + name; }
    bool exists(const std::string& name) const { return fs::exists(out(name)); }
    // A directory where a file should go: it cannot be opened for writing,
    // whoever runs the test.
    void block(const std::string& name) const { fs::create_directories(out(name)); }
    bool run() {
        bool ok = generator.runWith(library);
        generator.finish();
        return ok;
    }
};

const std::vector<std::string> demoFiles = {"JFoo.c",         "Foo.java",         "Plain.java",
                                            "IFoo.java",      "IBar.java",        "DEvents.java",
                                            "MivraObject.java", "MivraException.java", "MivraVariant.java",
                                            "overview.html",  "readme.html"};

TEST(GenerationRun, WritesEveryFileOfTheDemoLibrary) {
    DemoRun run;
    ASSERT_TRUE(run.run());
    EXPECT_TRUE(run.generator.reports.empty());
    for (const auto& name : demoFiles) EXPECT_TRUE(run.exists(name)) << name;
    EXPECT_EQ(run.generator.javaFileCount(), 8);
    // 2 creation, 3 load, 18 support, and the wrappers: Navigate x2,
    // getVisible, setVisible, getDocument, toString_, Count, Item, Flag, Done.
    EXPECT_EQ(run.generator.jniFunctionCount(), 2 + 3 + 18 + 10);
    EXPECT_EQ(run.generator.libraryBaseName(), "JFoo");
    EXPECT_EQ(run.generator.jniPackage(), "mvx_tutorial");
    EXPECT_EQ(run.generator.classPathPackage(), "mvx/tutorial");
}

// Whole files against the expected ones under tests/codegen/golden. They
// were checked line by line against the templates; after a deliberate
// change of the output, regenerate them with
//   MIVRA_UPDATE_GOLDEN=1 build/bin/codegen_tests --gtest_filter='Golden*'
// and review the difference before committing it.
TEST(Golden, DemoLibraryFilesMatch) {
    DemoRun run;
    ASSERT_TRUE(run.run());
    const std::string goldenDir = std::string(MIVRA_CODEGEN_TEST_DIR) + "/golden/demo/";
    const bool update = std::getenv("MIVRA_UPDATE_GOLDEN") != nullptr;
    const std::string outFolder = run.folder.path() + "/out";
    for (const auto& name : demoFiles) {
        std::string text = test::readFile(run.out(name));
        for (size_t at; (at = text.find(outFolder)) != std::string::npos;) text.replace(at, outFolder.size(), "@OUT@");
        if (update) {
            fs::create_directories(goldenDir);
            test::writeFile(goldenDir + name, text);
            continue;
        }
        std::string expected = test::readFile(goldenDir + name);
        EXPECT_EQ(text, expected) << name << " differs from tests/codegen/golden/demo/" << name
                                  << "; after a deliberate change regenerate with\n"
                                     "  MIVRA_UPDATE_GOLDEN=1 build/bin/codegen_tests --gtest_filter='Golden*'";
    }
}

TEST(GenerationRun, MissingSourceWritesNothing) {
    DemoRun run;
    run.generator.inputs.sourcePath = run.folder.file("missing.tlb");
    EXPECT_FALSE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 1u);
    EXPECT_EQ(run.generator.reports[0].first, run.folder.file("missing.tlb"));
    EXPECT_EQ(run.generator.reports[0].second, "File does not exist");
    EXPECT_TRUE(fs::is_empty(run.folder.path() + "/out"));
}

TEST(GenerationRun, LibrariesThatCannotProduceOutputAreRefused) {
    {
        DemoRun run;
        run.library.loads = false;
        EXPECT_FALSE(run.run());
        EXPECT_EQ(run.generator.reports.at(0).second, "File does not contain type information");
    }
    {
        DemoRun run;
        run.library.types.clear();
        EXPECT_FALSE(run.run());
        EXPECT_EQ(run.generator.reports.at(0).second, "This library has no types!");
    }
    {
        DemoRun run;
        run.library.types.resize(3);  // the interfaces only
        EXPECT_FALSE(run.run());
        EXPECT_EQ(run.generator.reports.at(0).second, "No creatable types in library");
        EXPECT_TRUE(fs::is_empty(run.folder.path() + "/out"));
    }
}

TEST(GenerationRun, CFileThatCannotBeCreatedStopsTheRun) {
    DemoRun run;
    run.block("JFoo.c");
    EXPECT_FALSE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 1u);
    EXPECT_EQ(run.generator.reports[0].first, run.out("JFoo.c"));
    EXPECT_EQ(run.generator.reports[0].second, "Cannot write file");
    EXPECT_FALSE(run.exists("Foo.java"));
    EXPECT_FALSE(run.exists("readme.html"));
    // After the cause is gone, the next run writes each class once.
    fs::remove(run.out("JFoo.c"));
    run.generator.reports.clear();
    ASSERT_TRUE(run.run());
    std::string c = test::readFile(run.out("JFoo.c"));
    EXPECT_EQ(c.find("Java_mvx_tutorial_Foo__1_1MivraCreateObject"),
              c.rfind("Java_mvx_tutorial_Foo__1_1MivraCreateObject"));
}

TEST(GenerationRun, CoclassFileFailureSkipsTheRemainingCoclassesOnly) {
    DemoRun run;
    run.block("Foo.java");
    EXPECT_TRUE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 1u);
    EXPECT_EQ(run.generator.reports[0], std::make_pair(run.out("Foo.java"), std::string("Cannot write file")));
    EXPECT_FALSE(run.exists("Plain.java"));
    for (const char* name : {"IFoo.java", "IBar.java", "DEvents.java", "MivraVariant.java", "overview.html",
                             "readme.html"})
        EXPECT_TRUE(run.exists(name)) << name;
    EXPECT_EQ(test::readFile(run.out("JFoo.c")).find("MivraCreateObject"), std::string::npos);
}

TEST(GenerationRun, InterfaceFileFailureSkipsTheRemainingInterfaces) {
    DemoRun run;
    run.block("IBar.java");
    EXPECT_TRUE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 1u);
    EXPECT_EQ(run.generator.reports[0].first, run.out("IBar.java"));
    std::string c = test::readFile(run.out("JFoo.c"));
    EXPECT_EQ(c.find("Java_mvx_tutorial_IBar_"), std::string::npos);
    for (const char* name : {"Foo.java", "MivraObject.java", "MivraVariant.java", "overview.html", "readme.html"})
        EXPECT_TRUE(run.exists(name)) << name;
    EXPECT_NE(c.find("Java_mvx_tutorial_MivraVariant_freeMemory"), std::string::npos);
}

TEST(GenerationRun, SupportClassFailureSkipsTheRestOfTheSupport) {
    DemoRun run;
    run.block("MivraException.java");
    EXPECT_TRUE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 1u);
    EXPECT_EQ(run.generator.reports[0].first, run.out("MivraException.java"));
    EXPECT_TRUE(run.exists("MivraObject.java"));
    EXPECT_FALSE(run.exists("MivraVariant.java"));
    EXPECT_EQ(test::readFile(run.out("JFoo.c")).find("_1_1initialize"), std::string::npos);
    EXPECT_TRUE(run.exists("readme.html"));
}

TEST(GenerationRun, PageFailureIsReportedAndTheRunGoesOn) {
    DemoRun run;
    run.block("overview.html");
    EXPECT_TRUE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 1u);
    EXPECT_EQ(run.generator.reports[0], std::make_pair(run.out("overview.html"), std::string("Cannot write file")));
    EXPECT_TRUE(run.exists("readme.html"));
}

TEST(GenerationRun, UnreadableInterfaceIsSkippedSilently) {
    DemoRun run;
    run.library.types[2].readable = false;  // DEvents: no record, no class
    run.library.types[2].attributes.kind = TKIND_DISPATCH;
    EXPECT_TRUE(run.run());
    EXPECT_TRUE(run.generator.reports.empty());
    EXPECT_FALSE(run.exists("DEvents.java"));
    EXPECT_EQ(test::readFile(run.out("JFoo.c")).find("DEvents"), std::string::npos);
}

TEST(GenerationRun, SampleRunGetsTheSampleNote) {
    DemoRun run("JBROWSE.DLL");
    ASSERT_TRUE(run.run());
    std::string readme = test::readFile(run.out("readme.html"));
    EXPECT_NE(readme.find("The jbrowse.dll file is available in the samples folder\n"), std::string::npos);
    EXPECT_EQ(readme.find("cl -I"), std::string::npos);
    EXPECT_TRUE(run.exists("JBROWSE.c"));
}

TEST(GenerationRun, FinishReleasesTheLibrary) {
    DemoRun run;
    bool released = false;
    run.library.released = &released;
    ASSERT_TRUE(run.generator.runWith(run.library));
    EXPECT_FALSE(released);
    run.generator.finish();
    EXPECT_TRUE(released);
}

class FixedRegistry : public ClassRegistry {
public:
    std::map<std::string, std::string> progIds;
    std::optional<std::vector<std::string>> subkeys(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> defaultValue(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> clsidFromProgId(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> progIdFromClsid(const std::string& clsid) const override {
        auto found = progIds.find(clsid);
        if (found == progIds.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> typeLibraryPath(const std::string&, uint16_t, uint16_t) const override {
        return std::nullopt;
    }
    std::string localPath(const std::string& path) const override { return path; }
};

TEST(GenerationRun, RegisteredProgIdNamesTheClass) {
    DemoRun run;
    FixedRegistry registry;
    registry.progIds[guidText(guid(10))] = "Shell.Explorer.2";
    registry.progIds[guidText(guid(11))] = "Bad\"); evil(\"";
    run.generator.setClassRegistry(&registry);
    ASSERT_TRUE(run.run());
    std::string c = test::readFile(run.out("JFoo.c"));
    EXPECT_NE(c.find("\tret = CLSIDFromProgID( L\"Shell.Explorer.2\", &clsid );\n"), std::string::npos);
    EXPECT_NE(c.find("\tret = CLSIDFromString( L\"" + guidText(guid(11)) + "\", &clsid );\n"), std::string::npos);
    EXPECT_EQ(c.find("evil"), std::string::npos);
}

TEST(SoundBehaviour, ClassesWithUnusableNamesAreReportedAndSkipped) {
    DemoRun run;
    run.library.types[1].documentation.name = "int";                 // IBar
    run.library.types[2].documentation.name = std::string("../x");  // DEvents
    run.library.addCoclass("String", guid(12), {0});
    ASSERT_TRUE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 3u);
    std::set<std::string> subjects;
    for (const auto& [subject, message] : run.generator.reports) subjects.insert(subject);
    EXPECT_EQ(subjects, (std::set<std::string>{"int", "../x", "String"}));
    EXPECT_FALSE(run.exists("int.java"));
    EXPECT_FALSE(run.exists("String.java"));
    EXPECT_FALSE(fs::exists(run.folder.path() + "/x.java"));
    std::string foo = test::readFile(run.out("Foo.java"));
    EXPECT_EQ(foo.find("_intfint"), std::string::npos);
    EXPECT_NE(foo.find("\tIFoo _intfIFoo = new IFoo();\n"), std::string::npos);
}

TEST(SoundBehaviour, InterfaceReachedTwiceIsListedOnce) {
    DemoRun run;
    // Foo implements IBar (based on IFoo) and IFoo: IFoo is linked twice.
    ASSERT_TRUE(run.run());
    std::string foo = test::readFile(run.out("Foo.java"));
    size_t first = foo.find("\tpublic IFoo getIFoo()");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(foo.find("\tpublic IFoo getIFoo()", first + 1), std::string::npos);
}

TEST(SoundBehaviour, PagesEscapeLibraryText) {
    DemoRun run;
    run.generator.inputs.packageName = "mvx.a";
    run.library.types[1].documentation.name = "I x onmouseover=alert(1)";  // IBar
    ASSERT_TRUE(run.run());
    std::string overview = test::readFile(run.out("overview.html"));
    EXPECT_NE(overview.find("<H2>Demo &lt;library&gt; &amp; friends</H2>\n"), std::string::npos);
    // Every link in a quoted attribute; a type without a class gets none.
    EXPECT_NE(overview.find("<P><A HREF=\"mvx/a/Foo.html\">mvx.a.Foo</A>"), std::string::npos);
    EXPECT_NE(overview.find("<LI>mvx.a.I x onmouseover=alert(1)</LI>\n"), std::string::npos);
    EXPECT_EQ(overview.find("HREF=m"), std::string::npos);
}

// ext4 and NTFS hold names of up to 255 bytes: a longer class name is
// reported for its type and the run goes on with the next class.
TEST(SoundBehaviour, NameTooLongForAFileIsReportedAndSkipped) {
    DemoRun run;
    const std::string longName = "F" + std::string(260, 'o');
    run.library.types[3].documentation.name = longName;  // the coclass Foo, before Plain
    run.library.types[1].documentation.name = longName + "Bar";  // IBar
    ASSERT_TRUE(run.run());
    ASSERT_EQ(run.generator.reports.size(), 2u);
    for (const auto& [subject, message] : run.generator.reports) {
        EXPECT_EQ(subject.substr(0, longName.size()), longName);
        EXPECT_EQ(message, "Name too long for a file name; no class written for this type");
    }
    for (const char* name : {"Plain.java", "IFoo.java", "DEvents.java", "MivraVariant.java", "overview.html"})
        EXPECT_TRUE(run.exists(name)) << name;
    std::string overview = test::readFile(run.out("overview.html"));
    EXPECT_EQ(overview.find("/" + longName), std::string::npos);
}

}  // namespace
}  // namespace mivra
