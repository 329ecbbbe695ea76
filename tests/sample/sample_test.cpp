// Checks the sample library built from scratch by the fixture
// sample_build_from_scratch: its JNI functions per class, the class
// identifiers of its creation functions, its export table and its jar.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::filesystem::path folder = MIVRA_SAMPLE_FOLDER;

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string runCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

struct JniFunction {
    std::string name;
    std::string className;  // as escaped in the name
    int argumentBytes;      // on 32-bit Windows: 4 a parameter, 8 a double or long
};

std::vector<JniFunction> jniFunctions(const std::string& source)
{
    std::vector<JniFunction> functions;
    static const std::regex head(R"(JNIEXPORT [a-z]+ JNICALL (Java_mvx_tutorial_([A-Za-z0-9_]+))\n\t\(([^)]*)\))");
    for (std::sregex_iterator it(source.begin(), source.end(), head), end; it != end; ++it) {
        JniFunction f;
        f.name = (*it)[1];
        // The class ends at the first "_" not followed by a digit: a digit
        // after "_" is an escape, as no Java name starts with a digit.
        std::string rest = (*it)[2];
        size_t i = 0;
        while (i < rest.size() && !(rest[i] == '_' && (i + 1 >= rest.size() || !isdigit((unsigned char) rest[i + 1]))))
            i += rest[i] == '_' ? 2 : 1;
        f.className = rest.substr(0, i);
        std::string params = (*it)[3];
        int count = 1, wide = 0;
        for (char c : params)
            count += c == ',';
        for (size_t p = params.find("jdouble"); p != std::string::npos; p = params.find("jdouble", p + 1))
            ++wide;
        f.argumentBytes = count * 4 + wide * 4;
        functions.push_back(f);
    }
    return functions;
}

class Sample : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        source = readFile(folder / "out" / "jbrowse.c");
        functions = jniFunctions(source);
    }
    static std::string source;
    static std::vector<JniFunction> functions;
};
std::string Sample::source;
std::vector<JniFunction> Sample::functions;

TEST_F(Sample, EveryClassHasTheJniFunctionsOfTheShippedLibrary)
{
    ASSERT_FALSE(source.empty()) << "no jbrowse.c in " << folder;
    std::map<std::string, int> counts;
    for (const JniFunction& f : functions)
        ++counts[f.className];

    // The shipped library's table. Wine's shdocvw.dll is a later version of
    // that library, so three entries differ (checked separately below):
    // CScriptErrorList is not creatable there and gets no class, and
    // DWebBrowserEvents2 has more events than the table's 27.
    std::map<std::string, int> expected = {
        {"WebBrowser_1V1", 1}, {"WebBrowser", 1}, {"InternetExplorer", 1}, {"ShellBrowserWindow", 1},
        {"ShellWindows", 1}, {"ShellUIHelper", 1}, {"ShellNameSpace", 1}, {"SearchAssistantOC", 1},
        {"IShellFavoritesNameSpace", 14}, {"DShellWindowsEvents", 3}, {"ISearchAssistantOC2", 28},
        {"DWebBrowserEvents", 18}, {"_1SearchAssistantEvents", 3}, {"ISearchAssistantOC", 27},
        {"IWebBrowser", 31}, {"IWebBrowser2", 73}, {"IShellNameSpace", 35}, {"IWebBrowserApp", 51},
        {"DShellNameSpaceEvents", 5}, {"IShellUIHelper", 22}, {"IShellWindows", 11}, {"IScriptErrorList", 15},
        {"ISearches", 3}, {"ISearch", 4}, {"MivraObject", 2}, {"MivraVariant", 16},
    };
    for (const auto& [cls, count] : expected)
        EXPECT_EQ(counts[cls], count) << "JNI functions of " << cls;
    EXPECT_EQ(counts.count("CScriptErrorList"), 0u) << "CScriptErrorList is not creatable in Wine's library";
    EXPECT_GE(counts["DWebBrowserEvents2"], 28) << "DWebBrowserEvents2 has at least the table's 27 events";

    // Only Wine's newer library adds these classes: two interfaces and the
    // two classes that expose them.
    const std::set<std::string> added = {"ISearchAssistantOC3", "IShellUIHelper2", "ShellSearchAssistantOC",
                                         "ShellShellNameSpace"};
    for (const std::string& cls : added)
        EXPECT_GT(counts[cls], 0) << cls;
    for (const auto& [cls, count] : counts)
        EXPECT_TRUE(expected.count(cls) || added.count(cls) || cls == "DWebBrowserEvents2")
            << "unexpected class " << cls << " with " << count << " JNI functions";
}

TEST_F(Sample, OptionalParametersGiveTheVariantsOfTheShippedLibrary)
{
    auto countPrefix = [](const std::string& prefix) {
        int n = 0;
        for (const JniFunction& f : functions)
            n += f.name.rfind(prefix, 0) == 0;
        return n;
    };
    EXPECT_EQ(countPrefix("Java_mvx_tutorial_IWebBrowser2_Navigate__"), 5);
    EXPECT_EQ(countPrefix("Java_mvx_tutorial_IWebBrowser2_Navigate2__"), 5);
    EXPECT_EQ(countPrefix("Java_mvx_tutorial_IWebBrowser2_ShowBrowserBar__"), 3);
    // Refresh2 without arguments has the short name; with one, the long one.
    EXPECT_NE(source.find("JNICALL Java_mvx_tutorial_IWebBrowser2_Refresh2\n"), std::string::npos);
    EXPECT_NE(source.find("JNICALL Java_mvx_tutorial_IWebBrowser2_Refresh2__Lmvx_tutorial_MivraVariant_2\n"),
              std::string::npos);
    EXPECT_NE(source.find("JNICALL Java_mvx_tutorial_WebBrowser_1V1__1_1MivraCreateObject\n"), std::string::npos);
    EXPECT_EQ(countPrefix("Java_mvx_tutorial__1SearchAssistantEvents_"), 3);
}

TEST_F(Sample, CreationFunctionsNameTheirClassesAsTheShippedLibrary)
{
    const std::map<std::string, std::string> identifiers = {
        {"WebBrowser_1V1", "CLSIDFromProgID( L\"Shell.Explorer.1\""},
        {"WebBrowser", "CLSIDFromProgID( L\"Shell.Explorer.2\""},
        {"InternetExplorer", "CLSIDFromProgID( L\"InternetExplorer.Application.1\""},
        {"ShellBrowserWindow", "CLSIDFromString( L\"{C08AFD90-F2A1-11D1-8455-00A0C91F3880}\""},
        {"ShellWindows", "CLSIDFromString( L\"{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\""},
        {"ShellUIHelper", "CLSIDFromProgID( L\"Shell.UIHelper.1\""},
        {"ShellNameSpace", "CLSIDFromProgID( L\"ShellNameSpace.ShellNameSpace.1\""},
        {"SearchAssistantOC", "CLSIDFromProgID( L\"SearchAssistantOC.SearchAssistantOC.1\""},
    };
    for (const auto& [cls, call] : identifiers) {
        std::string head = "JNICALL Java_mvx_tutorial_" + cls + "__1_1MivraCreateObject\n";
        size_t at = source.find(head);
        ASSERT_NE(at, std::string::npos) << "no creation function for " << cls;
        size_t bodyEnd = source.find("\n}\n", at);
        std::string body = source.substr(at, bodyEnd - at);
        EXPECT_NE(body.find("\tret = " + call + ", &clsid );\n"), std::string::npos) << cls << ":\n" << body;
    }
}

TEST_F(Sample, TheLibraryExportsEveryJniFunctionUnderBothNames)
{
    ASSERT_TRUE(std::filesystem::exists(folder / "jbrowse.dll"));
    std::string dump = runCommand(std::string(MIVRA_OBJDUMP) + " -p '" + (folder / "jbrowse.dll").string() + "'");
    EXPECT_NE(dump.find("file format pei-i386"), std::string::npos) << "jbrowse.dll is a 32-bit DLL";
    std::set<std::string> exported;
    size_t table = dump.find("[Ordinal/Name Pointer] Table");
    ASSERT_NE(table, std::string::npos);
    std::istringstream lines(dump.substr(table));
    std::string line;
    std::getline(lines, line);
    static const std::regex entry(R"(^\s*\[\s*\d+\] (\S+)$)");
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, entry))
            break;
        exported.insert(m[1]);
    }
    EXPECT_GE(functions.size(), 398u);
    int undecorated = 0;
    for (const JniFunction& f : functions) {
        EXPECT_TRUE(exported.count(f.name)) << f.name;
        std::string decorated = "_" + f.name + "@" + std::to_string(f.argumentBytes);
        EXPECT_TRUE(exported.count(decorated)) << decorated;
    }
    for (const std::string& name : exported)
        undecorated += name.rfind("Java_", 0) == 0 && name.find('@') == std::string::npos;
    EXPECT_EQ(undecorated, (int) functions.size()) << "the exports are exactly the C file's JNI functions";
}

TEST_F(Sample, JavacCompiledEveryClassIntoTheJar)
{
    std::string listing = runCommand(std::string(MIVRA_JAR) + " tf '" + (folder / "jbrowse.jar").string() + "'");
    int sources = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "out")) {
        if (entry.path().extension() != ".java")
            continue;
        ++sources;
        std::string cls = "mvx/tutorial/" + entry.path().stem().string() + ".class";
        EXPECT_NE(listing.find(cls + "\n"), std::string::npos) << cls << " missing from jbrowse.jar";
    }
    EXPECT_GT(sources, 30);
    EXPECT_TRUE(std::filesystem::exists(folder / "out" / "readme.html"));
    EXPECT_TRUE(std::filesystem::exists(folder / "out" / "overview.html"));
}

}  // namespace
