#include <gtest/gtest.h>

#include "CompileCheck.h"
#include "DemoLibrary.h"

namespace mivra {
namespace {

// The demo output compiles: both halves, with every sound-behaviour change
// of the generated code in it.
TEST(GeneratedCode, DemoOutputCompiles) {
    if (!test::toolAvailable("javac") || !test::toolAvailable("i686-w64-mingw32-gcc") ||
        test::jdkIncludeFolder().empty())
        GTEST_SKIP() << "javac, i686-w64-mingw32-gcc or jni.h missing";
    test::TempFolder folder;
    test::writeFile(folder.file("demo.tlb"), "");
    test::RecordingGenerator generator;
    generator.inputs = {folder.file("demo.tlb"), folder.file("out"), "mvx.tutorial", "JDemo.dll"};
    std::filesystem::create_directories(folder.file("out"));
    ASSERT_TRUE(generator.runWith(test::demoLibrary()));
    generator.finish();
    std::string md = test::writeWin32JniMd(folder.file("md"));
    EXPECT_TRUE(test::compileC(folder.file("out/JDemo.c"), md, folder.file("gcc.log")))
        << test::readFile(folder.file("gcc.log"));
    EXPECT_TRUE(test::compileJava({folder.file("out")}, folder.file("classes"), folder.file("javac.log")))
        << test::readFile(folder.file("javac.log"));
}

}  // namespace
}  // namespace mivra
