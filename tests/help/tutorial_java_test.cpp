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

// The complete programs of a tutorial page: <pre class="java" data-file="X.java"><code>...</code></pre>.
std::vector<JavaExample> programsOf(const char* page) {
    std::vector<JavaExample> examples;
    {
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

std::vector<JavaExample> tutorialPrograms() {
    std::vector<JavaExample> examples;
    for (const char* page : {"Tut3.html", "Tut4.html", "Tut5.html"})
        for (auto& example : programsOf(page)) examples.push_back(std::move(example));
    return examples;
}

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

// The command lines of a page's code blocks (<pre><code>) or, for the
// generated readme, of its <TT> pieces, unescaped.
std::vector<std::string> pageCommands(const std::string& html, const std::string& open, const std::string& close) {
    std::vector<std::string> commands;
    for (size_t at = html.find(open); at != std::string::npos; at = html.find(open, at + 1)) {
        size_t start = at + open.size(), end = html.find(close, start);
        std::istringstream block(unescapeHtml(html.substr(start, end - start)));
        for (std::string line; std::getline(block, line);) commands.push_back(line);
    }
    return commands;
}

std::vector<std::string> readmeCommands(const std::string& html) {
    auto commands = pageCommands(html, "<TT>", "</TT>");
    for (const auto& more : pageCommands(html, "<tt>", "</tt>")) commands.push_back(more);
    return commands;
}

// The error lines of a javac or javadoc log and the two lines after each,
// without the warnings that javadoc writes for every member.
std::string errorLines(const std::string& log) {
    std::istringstream in(log);
    std::string out;
    int after = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find("error") != std::string::npos) after = 3;
        if (after > 0) {
            out += line + "\n";
            --after;
        }
    }
    return out;
}

// Runs what a user types from a page, as it stands, in the output folder:
// javac, javadoc and mkdir lines, `cd` into the output folder or below it,
// and `mivra generate` with the built program and Wine's copy of the library.
// Lines for the Windows shell (copy, cl) and the programs' runs need Windows.
void runPageCommands(const std::string& page, const std::vector<std::string>& commands, const fs::path& outputFolder,
                     const std::string& mivraGenerateInput) {
    fs::path folder = outputFolder;
    fs::path log = outputFolder.parent_path() / "page-log.txt";
    size_t run = 0;
    for (const auto& command : commands) {
        std::string word = command.substr(0, command.find(' '));
        if (word == "cd") {
            std::string target = command.substr(3);
            folder = target.find(':') != std::string::npos ? outputFolder : folder / target;
        } else if (word == "mivra") {
            std::string line = command;
            size_t input = line.find(" -i ");
            size_t end = line.find(' ', input + 4);
            line.replace(input + 4, end - input - 4, mivraGenerateInput);
            line.replace(0, 5, (fs::path(MIVRA_BINARY_DIR) / "bin" / "mivra").string());
            EXPECT_EQ(runQuiet("cd '" + folder.string() + "' && " + line, log), 0) << page << ": " << command;
        } else if (word == "javac" || word == "javadoc" || word == "mkdir") {
            ++run;
            EXPECT_EQ(runQuiet("cd '" + folder.string() + "' && " + command, log), 0)
                << page << ": " << command << "\n"
                << errorLines(readFile(log));
        }
    }
    EXPECT_GE(run, 1u) << page << " shows no javac, javadoc or mkdir command";
}

// The commands the generated readme and the pages show work on this machine's
// JDK exactly as written: compiling the classes, the javadoc pages over the
// generated overview, and the tutorial's programs beside the generated sources.
TEST(Tutorial, CommandsOfTheReadmeAndThePagesWorkAsShown) {
    fs::path mivra = fs::path(MIVRA_BINARY_DIR) / "bin" / "mivra";
    if (std::system("javac -version >/dev/null 2>&1") != 0 || std::system("javadoc --help >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no javac or javadoc";
    fs::path work = fs::path(MIVRA_BINARY_DIR) / "tests" / "help" / "commands";
    fs::remove_all(work);
    fs::create_directories(work);
    fs::path generated = work / "generated";
    std::string input;
    for (const char* library : {"ieframe.dll", "shdocvw.dll"}) {
        input = (fs::path(MIVRA_WINE_DLLS) / library).string();
        fs::remove_all(generated);
        if (runQuiet(mivra.string() + " generate -i " + input + " -o " + generated.string() +
                         " -p mvx.tutorial -l jbrowse.dll",
                     work / "log.txt") == 0 &&
            fs::exists(generated / "IWebBrowserApp.java"))
            break;
    }
    ASSERT_TRUE(fs::exists(generated / "IWebBrowserApp.java")) << readFile(work / "log.txt");

    auto freshCopy = [&](const std::string& name) {
        fs::path folder = work / name;
        fs::copy(generated, folder, fs::copy_options::recursive);
        return folder;
    };
    fs::path readme = freshCopy("readme");
    runPageCommands("readme.html", readmeCommands(readFile(readme / "readme.html")), readme, input);
    EXPECT_TRUE(fs::exists(readme / "doc" / "index.html"));

    fs::path building = freshCopy("building");
    runPageCommands("Buildsteps.html",
                    pageCommands(readFile(fs::path(MIVRA_SOURCE_DIR) / "help" / "Buildsteps.html"), "<pre><code>",
                                 "</code></pre>"),
                    building, input);

    // Each step's program is saved in the output folder when the step comes.
    fs::path tutorial = freshCopy("tutorial");
    for (const char* page : {"Tut2.html", "Tut3.html", "Tut4.html", "Tut5.html"}) {
        for (const auto& example : programsOf(page))
            std::ofstream(tutorial / example.fileName, std::ios::binary) << example.source;
        runPageCommands(page,
                        pageCommands(readFile(fs::path(MIVRA_SOURCE_DIR) / "help" / page), "<pre><code>",
                                     "</code></pre>"),
                        tutorial, input);
    }
    for (const char* program : {"Browse.class", "Browse2.class", "ListWindows.class"})
        EXPECT_TRUE(fs::exists(tutorial / program)) << program;
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
        auto programs = programsOf(c.page);
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
