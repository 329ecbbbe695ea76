#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <filesystem>

#include "CompileCheck.h"
#include "Generator.h"
#include "TestFiles.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;

class QuietGenerator : public Generator {
public:
    std::vector<std::pair<std::string, std::string>> reports;
    void reportError(const std::string& subject, const std::string& message) override {
        reports.emplace_back(subject, message);
    }
};

// The whole output of golden.idl against the expected files under
// tests/generate/golden. They were checked line by line against the
// templates; after a deliberate change of the output, regenerate them with
//   MIVRA_UPDATE_GOLDEN=1 build/bin/generate_tests --gtest_filter='Golden*'
// and review the difference before committing it.
TEST(GoldenIdl, ShapeLibraryFilesMatch) {
    test::TempFolder folder;
    QuietGenerator generator;
    generator.setClock([] { return std::string("Mon Dec 07 12:00:00 2026\n"); });
    generator.inputs = {std::string(MIVRA_TEST_TLB_DIR) + "/golden.tlb", folder.path(), "mvx.golden", "JShape.dll"};
    ASSERT_TRUE(generator.run());
    generator.finish();
    EXPECT_TRUE(generator.reports.empty());
    const std::string goldenDir = std::string(MIVRA_GENERATE_TEST_DIR) + "/golden/shape/";
    const bool update = std::getenv("MIVRA_UPDATE_GOLDEN") != nullptr;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    if (!update) {
        std::vector<std::string> expected;
        for (const auto& entry : fs::directory_iterator(goldenDir)) expected.push_back(entry.path().filename().string());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
    }
    for (const auto& name : names) {
        std::string text = test::readFile(folder.file(name));
        for (size_t at; (at = text.find(folder.path())) != std::string::npos;)
            text.replace(at, folder.path().size(), "@OUT@");
        if (update) {
            fs::create_directories(goldenDir);
            test::writeFile(goldenDir + name, text);
            continue;
        }
        EXPECT_EQ(text, test::readFile(goldenDir + name))
            << name << " differs from tests/generate/golden/shape/" << name
            << "; after a deliberate change regenerate with\n"
               "  MIVRA_UPDATE_GOLDEN=1 build/bin/generate_tests --gtest_filter='Golden*'";
    }
}

// The whole output of full.idl in the full mode against the files under
// tests/generate/golden/full, reviewed line by line; regenerate as above.
TEST(GoldenIdl, FullBindingsFilesMatch) {
    test::TempFolder folder;
    QuietGenerator generator;
    generator.setClock([] { return std::string("Mon Dec 07 12:00:00 2026\n"); });
    generator.mapping = MappingMode::Full;
    generator.inputs = {std::string(MIVRA_TEST_TLB_DIR) + "/full.tlb", folder.path(), "mvx.full", "JFull.dll"};
    ASSERT_TRUE(generator.run());
    generator.finish();
    EXPECT_TRUE(generator.reports.empty());
    const std::string goldenDir = std::string(MIVRA_GENERATE_TEST_DIR) + "/golden/full/";
    const bool update = std::getenv("MIVRA_UPDATE_GOLDEN") != nullptr;
    std::vector<std::string> names, expected;
    for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    if (update) fs::create_directories(goldenDir);
    for (const auto& entry : fs::directory_iterator(goldenDir)) expected.push_back(entry.path().filename().string());
    std::sort(expected.begin(), expected.end());
    if (!update) {
        EXPECT_EQ(names, expected);
    }
    for (const auto& name : names) {
        std::string text = test::readFile(folder.file(name));
        for (size_t at; (at = text.find(folder.path())) != std::string::npos;)
            text.replace(at, folder.path().size(), "@OUT@");
        if (update) {
            test::writeFile(goldenDir + name, text);
            continue;
        }
        EXPECT_EQ(text, test::readFile(goldenDir + name))
            << name << " differs from tests/generate/golden/full/" << name
            << "; after a deliberate change regenerate with\n"
               "  MIVRA_UPDATE_GOLDEN=1 build/bin/generate_tests --gtest_filter='Golden*'";
    }
}

// Names that java.lang, Object, Iterable, AutoCloseable or MivraObject
// would take badly (names.idl): the output compiles without a warning, and
// every rename and refusal is in unbound.txt with its reason.
TEST(NamesIdl, HostileNamesCompileAndAreListed) {
    test::TempFolder folder;
    QuietGenerator generator;
    generator.mapping = MappingMode::Full;
    std::string out = folder.file("out");
    fs::create_directories(out);
    generator.inputs = {std::string(MIVRA_TEST_TLB_DIR) + "/names.tlb", out, "mvx.names", "JNames.dll"};
    ASSERT_TRUE(generator.run());
    generator.finish();
    EXPECT_TRUE(generator.reports.empty());
    const std::string unbound = test::readFile(out + "/unbound.txt");
    for (const char* line : {
             "Error: renamed class Error_: named like a type of java.lang or the runtime\n",
             "Object: renamed class Object_: named like a type of java.lang or the runtime\n",
             "ListenerHandle: renamed class ListenerHandle_: named like a type of java.lang or the runtime\n",
             "__WIDL_names_generated_name_00000000: renamed class ExecStatus: an enumeration without a tag, named by "
             "its typedef\n",
             "IRaw: not bound (1 functions): derives from IUnknown only, not from IDispatch\n",
             "_Collection: not Iterable: Fields, which extends it, iterates Error_\n",
             "INamedList: not Iterable: a base interface has a member iterator() or spliterator()\n",
             "AutoCloseable.close: renamed close_: would clash with AutoCloseable.close()\n",
             "INamedBase.Class: renamed getClass_: would clash with Object.getClass()\n",
             "INamedBase.equals: renamed equals_: would clash with Object.equals(Object)\n",
             "INamedBase.mivraEnumerate: renamed mivraEnumerate_: would clash with MivraObject.mivraEnumerate()\n",
             "INamedBase.Many: Too many optional parameters\n",
             "IItems.spliterator: renamed spliterator_: would clash with Iterable.spliterator()\n",
         })
        EXPECT_NE(unbound.find(line), std::string::npos) << line << "\nin\n" << unbound;
    EXPECT_EQ(std::count(unbound.begin(), unbound.end(), '\n'), generator.unboundCount());
    // Kept: an override of the deprecated late-bound setProperty, overloads.
    const std::string base = test::readFile(out + "/INamedBase.java");
    for (const char* kept : {"\tpublic void setProperty(String name, Object value) {",
                             "\tpublic MivraVariant getProperty(String name) {", "\tpublic int invoke(String name) {",
                             "\tpublic void close(int how) {", "\tpublic String iterator() {"})
        EXPECT_NE(base.find(kept), std::string::npos) << kept;
    EXPECT_NE(test::readFile(out + "/Fields.java").find("extends _Collection implements Iterable<Error_>"),
              std::string::npos);
    EXPECT_NE(test::readFile(out + "/IDailyTask.java").find("mivraVtblCall(IID, 12, VT_I2,"), std::string::npos)
        << "ITask's 5 functions after IDispatch's 7";

    if (!test::toolAvailable("javac")) GTEST_SKIP() << "no JDK";
    std::string log = folder.file("javac.log");
    EXPECT_TRUE(test::runCommand("javac -Xlint:all -Werror -encoding UTF-8 -cp " + test::quoted(MIVRA_RUNTIME_JAR) +
                                     " -d " + test::quoted(folder.file("classes")) + " " + test::quoted(out) +
                                     "/*.java",
                                 log))
        << test::readFile(log);
}

std::string packageFor(const std::string& fileName) {
    std::string package = "wine.";
    for (char c : fileName) package += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return package;
}

// Every type library that Wine installs: generation succeeds, the Java
// classes compile with javac and the C file with the 32-bit mingw compiler.
TEST(WineLibraries, EveryLibraryGeneratesAndCompiles) {
    if (!test::toolAvailable("javac") || !test::toolAvailable("i686-w64-mingw32-gcc") ||
        test::jdkIncludeFolder().empty())
        GTEST_SKIP() << "javac, i686-w64-mingw32-gcc or jni.h missing";
    test::TempFolder folder;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(MIVRA_WINE_DLLS))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::string md = test::writeWin32JniMd(folder.file("md"));
    std::vector<std::string> outputs;
    int noClass = 0;
    for (const auto& file : files) {
        QuietGenerator generator;
        std::string out = folder.file("out/" + file.filename().string());
        fs::create_directories(out);
        generator.inputs = {file.string(), out, packageFor(file.filename().string()), "JWine.dll"};
        bool ok = generator.run();
        generator.finish();
        if (!ok) {
            ASSERT_FALSE(generator.reports.empty());
            const std::string& message = generator.reports.back().second;
            // Files without a library, or with one that cannot make classes.
            EXPECT_TRUE(message == "File does not contain type information" ||
                        message == "No creatable types in library" || message == "This library has no types!")
                << file << ": " << message;
            noClass += message != "File does not contain type information";
            fs::remove_all(out);
            continue;
        }
        for (const auto& [subject, message] : generator.reports)
            ADD_FAILURE() << file << ": " << subject << ": " << message;
        outputs.push_back(out);
        EXPECT_TRUE(test::compileC(out + "/JWine.c", md, folder.file("gcc.log")))
            << file << "\n" << test::readFile(folder.file("gcc.log")).substr(0, 4000);
    }
    std::cout << outputs.size() << " libraries generated, " << noClass << " without creatable classes\n";
    EXPECT_GE(outputs.size(), 20u);
    // javac in batches: one JVM start per batch, bounded memory.
    for (size_t i = 0; i < outputs.size(); i += 12) {
        std::vector<std::string> batch(outputs.begin() + i, outputs.begin() + std::min(outputs.size(), i + 12));
        EXPECT_TRUE(test::compileJava(batch, folder.file("classes"), folder.file("javac.log")))
            << batch.front() << " ...\n" << test::readFile(folder.file("javac.log")).substr(0, 4000);
    }
}

// Every type library that Wine installs in the full mode: javac compiles the
// classes against the runtime jar, javadoc documents them, and nearly every
// function callable through IDispatch or an IDispatch-derived vtable is bound. Prints the figures per library and in total.
TEST(WineLibraries, FullBindingsCompileDocumentAndBind) {
    if (!test::toolAvailable("javac") || !test::toolAvailable("javadoc")) GTEST_SKIP() << "no JDK";
    const std::string jar = MIVRA_RUNTIME_JAR;
    test::TempFolder folder;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(MIVRA_WINE_DLLS))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    long functions = 0, bound = 0, unbound = 0;
    int libraries = 0, listeners = 0, events = 0, librariesWithEvents = 0;
    for (const auto& file : files) {
        QuietGenerator generator;
        generator.mapping = MappingMode::Full;
        std::string out = folder.file("out");
        fs::remove_all(out);
        fs::create_directories(out);
        generator.inputs = {file.string(), out, packageFor(file.filename().string()), "JWine.dll"};
        bool ok = generator.run();
        generator.finish();
        if (!ok) {
            ASSERT_FALSE(generator.reports.empty());
            const std::string& message = generator.reports.back().second;
            EXPECT_TRUE(message == "File does not contain type information" || message == "This library has no types!")
                << file << ": " << message;
            continue;
        }
        ++libraries;
        for (const auto& [subject, message] : generator.reports)
            std::cout << file.filename().string() << ": " << subject << ": " << message << "\n";
        functions += generator.callableFunctionCount();
        bound += generator.callableBoundCount();
        unbound += generator.unboundCount();
        listeners += generator.listenerCount();
        events += generator.eventCount();
        librariesWithEvents += generator.listenerCount() > 0;
        std::printf("%-24s %6d of %6d callable functions bound (%.1f%%), %6d of %6d in all, %5d lines unbound\n",
                    file.filename().string().c_str(), generator.callableBoundCount(), generator.callableFunctionCount(),
                    generator.callableFunctionCount()
                        ? 100.0 * generator.callableBoundCount() / generator.callableFunctionCount()
                        : 100.0,
                    generator.boundFunctionCount(), generator.dispatchFunctionCount(), generator.unboundCount());
        std::fflush(stdout);
        // A library of records and plain interfaces only gets its pages.
        if (generator.javaFileCount() == 0) continue;
        std::string log = folder.file("tool.log");
        EXPECT_TRUE(test::runCommand("javac -nowarn -encoding UTF-8 -cp " + test::quoted(jar) + " -d " +
                                         test::quoted(folder.file("classes")) + " " + test::quoted(out) + "/*.java",
                                     log))
            << file << "\n" << test::readFile(log).substr(0, 4000);
        EXPECT_TRUE(test::runCommand("javadoc -quiet -Xmaxwarns 1 -encoding UTF-8 -cp " + test::quoted(jar) +
                                         " -overview " + test::quoted(out + "/overview.html") + " -d " +
                                         test::quoted(folder.file("doc")) + " " + test::quoted(out) + "/*.java",
                                     log) &&
                    test::readFile(log).find("error:") == std::string::npos)
            << file << "\n" << test::readFile(log).substr(0, 4000);
        fs::remove_all(folder.file("classes"));
        fs::remove_all(folder.file("doc"));
    }
    std::printf("%d libraries: %ld of %ld callable functions bound (%.2f%%), %ld lines unbound\n", libraries, bound,
                functions, functions ? 100.0 * double(bound) / double(functions) : 0.0, unbound);
    std::printf("%d listener interfaces with %d events in %d libraries\n", listeners, events, librariesWithEvents);
    EXPECT_GE(libraries, 40);
    EXPECT_GE(bound * 1000, functions * 995);
}

}  // namespace
}  // namespace mivra
