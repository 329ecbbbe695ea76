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

// The text arrives in pieces and the old file is compared block by block:
// whatever the pieces and wherever the first difference lies (in the head,
// past a block of the old file, at either end), the file ends up holding
// exactly the new text, and is left untouched when only the time differs.
TEST(GeneratedFiles, ComparedWhileTheTextStreamsIn) {
    const fs::path folder = fs::temp_directory_path() / "mivra-stream-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "big.c";
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    std::string body;
    for (int i = 0; body.size() < 200000; ++i) body += "line " + std::to_string(i) + "\n";
    const std::string head = "// File: big.c\n// Generated: Mon\n\n";
    const std::string text = head + body;
    std::string late = text;
    late[150000] = '#';
    struct Case {
        const char* label;
        std::string old, now;
        bool rewritten;
    } cases[] = {
        {"same", text, text, false},
        {"only the time", text, "// File: big.c\n// Generated: Tue\n\n" + body, false},
        {"the time and the body", text, "// File: big.c\n// Generated: Tue\n\n" + body + "x\n", true},
        {"late in the body", text, late, true},
        {"old one longer", text + "more\n", text, true},
        {"old one shorter", text.substr(0, 100000), text, true},
        {"fewer lines than the head", "a\nb\n", "a\nc\n", true},
        {"short and the same", "a\nb\n", "a\nb\n", false},
        {"different head", "x" + text, text, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (size_t pieceSize : {size_t(1) << 20, size_t(7), size_t(65536)}) {
            { std::ofstream(file, std::ios::binary) << c.old; }
            fs::last_write_time(file, longAgo);
            auto out = GeneratedFile::open(file.string(), false);
            ASSERT_TRUE(out);
            for (size_t at = 0; at < c.now.size(); at += pieceSize) out->write(std::string_view(c.now).substr(at, pieceSize));
            EXPECT_TRUE(out->close());
            EXPECT_EQ(contentOf(file), c.rewritten ? c.now : c.old);
            EXPECT_EQ(fs::last_write_time(file) != longAgo, c.rewritten);
        }
    }
    fs::remove_all(folder);
}

}  // namespace
