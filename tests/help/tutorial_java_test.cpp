// The tutorial's programs must compile against the classes that `mivra
// generate` writes for the web-browser library, with the package and library
// names the tutorial uses: a renamed getter or a changed parameter type in the
// generated classes shows up here as a javac error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string unescapeHtml(const std::string& text) {
    static const std::pair<const char*, char> entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : entities) {
            if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                out += c;
                i += std::char_traits<char>::length(entity);
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

struct JavaExample {
    std::string fileName;
    std::string source;
};

// The complete programs of pages: <pre class="java" data-file="X.java"><code>...</code></pre>.
std::vector<JavaExample> programsOf(std::initializer_list<const char*> pages) {
    std::vector<JavaExample> examples;
    for (const char* page : pages) {
        std::string html = readFile(fs::path(MIVRA_SOURCE_DIR) / "help" / page);
        const std::string marker = "<pre class=\"java\" data-file=\"";
        for (size_t at = html.find(marker); at != std::string::npos; at = html.find(marker, at + 1)) {
            size_t nameStart = at + marker.size();
            size_t nameEnd = html.find('"', nameStart);
            size_t codeStart = html.find("<code>", nameEnd) + 6;
            size_t codeEnd = html.find("</code></pre>", codeStart);
            examples.push_back({html.substr(nameStart, nameEnd - nameStart),
                                unescapeHtml(html.substr(codeStart, codeEnd - codeStart))});
        }
    }
    return examples;
}

std::vector<JavaExample> tutorialPrograms() { return programsOf({"Tut3.html", "Tut4.html", "Tut5.html"}); }

int runQuiet(const std::string& command, const fs::path& log) {
    int status = std::system((command + " >" + log.string() + " 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Tutorial, EveryPageWithCodeHasItsProgram) {
    auto examples = tutorialPrograms();
    ASSERT_EQ(examples.size(), 3u);
    EXPECT_EQ(examples[0].fileName, "Browse.java");
    for (const auto& e : examples) {
        std::string className = e.fileName.substr(0, e.fileName.size() - 5);
        EXPECT_NE(e.source.find("public class " + className + " "), std::string::npos) << e.fileName;
        EXPECT_NE(e.source.find("import mvx.tutorial.*;"), std::string::npos) << e.fileName;
    }
}

TEST(Tutorial, ProgramsCompileAgainstGeneratedWebBrowserClasses) {
    fs::path mivra = fs::path(MIVRA_BINARY_DIR) / "bin" / "mivra";
    ASSERT_TRUE(fs::exists(mivra));
    if (std::system("javac -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no javac";

    fs::path work = fs::path(MIVRA_BINARY_DIR) / "tests" / "help" / "tutorial";
    fs::remove_all(work);
    fs::create_directories(work / "classes");
    fs::path log = work / "log.txt";

    // Wine's copy of the web-browser library; the generated ProgIDs do not
    // matter for compiling, so no registry is named.
    fs::path dlls = MIVRA_WINE_DLLS;
    int status = -1;
    std::string output;
    for (const char* library : {"ieframe.dll", "shdocvw.dll"}) {
        fs::remove_all(work / "generated");
        status = runQuiet(mivra.string() + " generate -i " + (dlls / library).string() + " -o " +
                              (work / "generated").string() + " -p mvx.tutorial -l jbrowse.dll",
                          log);
        output = readFile(log);
        if (status == 0 && fs::exists(work / "generated" / "IWebBrowserApp.java")) break;
    }
    if (output.find("not available in this build") != std::string::npos)
        GTEST_SKIP() << "this build has no generate command yet";
    ASSERT_EQ(status, 0) << output;

    std::string sources;
    for (const auto& entry : fs::directory_iterator(work / "generated"))
        if (entry.path().extension() == ".java") sources += " " + entry.path().string();
    for (const auto& example : tutorialPrograms()) {
        std::ofstream(work / example.fileName, std::ios::binary) << example.source;
        sources += " " + (work / example.fileName).string();
    }
    // Generated files are 8-bit text; Latin-1 accepts every byte of doc strings.
    status = runQuiet("javac -encoding ISO-8859-1 -nowarn -d " + (work / "classes").string() + sources, log);
    EXPECT_EQ(status, 0) << readFile(log);
}

// The programs on the full bindings (the events step and the runtime page's
// example) compile against `--mapping full` output of the same library and
// the runtime jar, each in the package its page names.
TEST(Tutorial, EventProgramsCompileAgainstFullBindings) {
    fs::path mivra = fs::path(MIVRA_BINARY_DIR) / "bin" / "mivra";
    ASSERT_TRUE(fs::exists(mivra));
    if (std::system("javac -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no javac";
    const fs::path jar = MIVRA_RUNTIME_JAR;
    if (!fs::exists(jar)) GTEST_SKIP() << "no runtime jar in this build";
    fs::path work = fs::path(MIVRA_BINARY_DIR) / "tests" / "help" / "events";
    fs::remove_all(work);
    fs::path log = work / "log.txt";
    struct Case {
        const char* page;
        const char* package;
        const char* file;
    } cases[] = {{"Tut6.html", "mvx.events", "WaitForPage.java"}, {"Runtime.html", "mvx.browser", "BrowserEvents.java"}};
    for (const Case& c : cases) {
        auto programs = programsOf({c.page});
        ASSERT_EQ(programs.size(), 1u) << c.page;
        EXPECT_EQ(programs[0].fileName, c.file);
        fs::path folder = work / c.package;
        fs::create_directories(folder / "classes");
        int status = -1;
        for (const char* library : {"ieframe.dll", "shdocvw.dll"}) {
            status = runQuiet(mivra.string() + " generate -i " + (fs::path(MIVRA_WINE_DLLS) / library).string() +
                                  " -o " + (folder / "generated").string() + " -p " + c.package + " --mapping full",
                              log);
            if (status == 0 && fs::exists(folder / "generated" / "DWebBrowserEvents2.java")) break;
        }
        ASSERT_EQ(status, 0) << readFile(log);
        std::string sources;
        for (const auto& entry : fs::directory_iterator(folder / "generated"))
            if (entry.path().extension() == ".java") sources += " " + entry.path().string();
        std::ofstream(folder / programs[0].fileName, std::ios::binary) << programs[0].source;
        sources += " " + (folder / programs[0].fileName).string();
        status = runQuiet("javac -encoding UTF-8 -nowarn -cp " + jar.string() + " -d " + (folder / "classes").string() +
                              sources,
                          log);
        EXPECT_EQ(status, 0) << c.page << "\n" << readFile(log);
    }
}

}  // namespace
