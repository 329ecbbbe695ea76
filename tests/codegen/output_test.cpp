#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "Output.h"
#include "TextFile.h"

using namespace mivra;
namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SameGeneratedText, OnlyTheGenerationTimeMayDiffer) {
    struct Case {
        const char *old, *now;
        bool same;
    } cases[] = {
        {"a\nb\n", "a\nb\n", true},
        {"// File: x\n// Generated: Mon\nbody\n", "// File: x\n// Generated: Tue\nbody\n", true},
        {"// File: x\n// Generated: Mon\nbody\n", "// File: x\n// Generated: Mon\nbody!\n", false},
        {"// File: x\n// Generated: Mon\nbody\n", "// File: x\nbody\n", false},
        {"a\nb\nc\nd\ne\n// Generated: Mon\n", "a\nb\nc\nd\ne\n// Generated: Tue\n", false},
        {"", "x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(sameGeneratedText(c.old, c.now), c.same) << c.old << "|" << c.now;
}

// Writing what a file already holds leaves it alone, its time included;
// anything else is written whole, for both writers of generated files.
TEST(GeneratedFiles, AreRewrittenOnlyWhenTheirTextChanged) {
    const fs::path folder = fs::temp_directory_path() / "mivra-output-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    auto viaOutput = [&](const std::string& text) {
        DiskOutput output(folder.string());
        auto sink = output.open("A.java");
        ASSERT_TRUE(sink);
        sink->write(text);
        EXPECT_TRUE(sink->close());
    };
    auto viaTextFile = [&](const std::string& text) {
        auto file = TextFile::create((folder / "A.java").string());
        ASSERT_TRUE(file);
        file->write(text);
        EXPECT_TRUE(file->close());
    };
    for (const auto& write : {std::function<void(const std::string&)>(viaOutput), std::function<void(const std::string&)>(viaTextFile)}) {
        fs::remove(folder / "A.java");
        write("// File: A.java\n// Generated: Mon\nclass A {}\n");
        EXPECT_EQ(contentOf(folder / "A.java"), "// File: A.java\n// Generated: Mon\nclass A {}\n");
        fs::last_write_time(folder / "A.java", longAgo);
        write("// File: A.java\n// Generated: Tue\nclass A {}\n");
        EXPECT_EQ(contentOf(folder / "A.java"), "// File: A.java\n// Generated: Mon\nclass A {}\n");
        EXPECT_EQ(fs::last_write_time(folder / "A.java"), longAgo);
        write("// File: A.java\n// Generated: Wed\nclass A { int x; }\n");
        EXPECT_EQ(contentOf(folder / "A.java"), "// File: A.java\n// Generated: Wed\nclass A { int x; }\n");
        write("short\n");
        EXPECT_EQ(contentOf(folder / "A.java"), "short\n");
    }
    fs::remove_all(folder);
}

}  // namespace
