#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "FileTypeLibraryReader.h"
#include "RawDump.h"
#include "SourceLoading.h"
#include "../lookups/TestPrefix.h"

namespace mivra {
namespace {

std::string libraryPath(const std::string& name) { return std::string(MIVRA_TEST_LIBRARIES) + "/" + name; }

struct Reports {
    std::vector<std::string> lines;
    std::function<void(const std::string&, const std::string&)> sink() {
        return [this](const std::string& subject, const std::string& message) { lines.push_back(subject + ": " + message); };
    }
};

TEST(LoadSource, RefusalsCarryTheirMessagesAndTheSourceAsEntered) {
    std::string text = std::string(MIVRA_BINARY_DIR) + "/not-a-library.txt";
    std::ofstream(text) << "plain text";
    struct Case {
        std::string source;
        std::string expected;
    } cases[] = {
        {libraryPath("missing.tlb"), libraryPath("missing.tlb") + ": File does not exist"},
        {text, text + ": File does not contain type information"},
        {libraryPath("notypes.tlb"), libraryPath("notypes.tlb") + ": This library has no types!"},
        {libraryPath("dispatchonly.tlb"), libraryPath("dispatchonly.tlb") + ": No creatable types in library"},
    };
    for (const Case& c : cases) {
        TypeModel model;
        Reports reports;
        EXPECT_FALSE(loadSource(c.source, model, nullptr, reports.sink())) << c.source;
        EXPECT_EQ(reports.lines, std::vector<std::string>{c.expected});
        EXPECT_EQ(model.library, nullptr);
    }
}

TEST(LoadSource, DispatchOnlyLibraryKeepsItsInterfaceRecords) {
    TypeModel model;
    Reports reports;
    EXPECT_FALSE(loadSource(libraryPath("dispatchonly.tlb"), model, nullptr, reports.sink()));
    EXPECT_EQ(model.interfaces.size(), 1u);
    EXPECT_TRUE(model.coclasses.empty());
}

TEST(LoadSource, RelativePathFromTheCurrentDirectoryReportedAsEntered) {
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(chdir(MIVRA_TEST_LIBRARIES), 0);
    TypeModel model;
    Reports reports;
    bool loaded = loadSource("testlib.tlb", model, nullptr, reports.sink());
    bool missing = loadSource("nowhere/testlib.tlb", model, nullptr, reports.sink());
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_TRUE(loaded);
    EXPECT_FALSE(missing);
    EXPECT_EQ(reports.lines, std::vector<std::string>{"nowhere/testlib.tlb: File does not exist"});
}

TEST(LoadSource, LibraryBuildsItsModelAndStaysLoaded) {
    TypeModel model;
    Reports reports;
    ASSERT_TRUE(loadSource(libraryPath("testlib.tlb"), model, nullptr, reports.sink()));
    EXPECT_TRUE(reports.lines.empty());
    ASSERT_NE(model.library, nullptr);
    EXPECT_EQ(model.libraryName, "TestLib");
    EXPECT_EQ(model.libraryDoc, "Test library");
    ASSERT_EQ(model.coclasses.size(), 1u);
    const CoclassRecord& thing = model.coclasses[0];
    EXPECT_EQ(thing.name, "Thing");
    EXPECT_EQ(thing.typeIndex, 3u);
    ASSERT_EQ(thing.interfaces.size(), 1u);  // the event interface is not linked
    EXPECT_EQ(thing.interfaces[0]->name, "IDerived");
    EXPECT_EQ(model.interfaces.size(), 3u);
    // Each dispatch interface names only IDispatch, so no base is recorded.
    for (const InterfaceRecord* record : model.interfaces.inOrder()) EXPECT_TRUE(record->baseIids.empty());
    EXPECT_EQ(model.lookupInterface(thing.interfaces[0]->iid)->docString, "");
    EXPECT_EQ(model.library->function(1, 12)->paramCount, 1);
}

TEST(LoadSource, EventOnlyClassAndClassWithoutInterfaces) {
    TypeModel model;
    Reports reports;
    ASSERT_TRUE(loadSource(libraryPath("classes.tlb"), model, nullptr, reports.sink()));
    std::vector<std::string> classes;
    for (const CoclassRecord& c : model.coclasses) classes.push_back(c.name);
    // "Nothing" implements nothing and gets no record.
    EXPECT_EQ(classes, (std::vector<std::string>{"Both", "EventSource"}));
    ASSERT_EQ(model.coclasses[0].interfaces.size(), 2u);
    EXPECT_EQ(model.coclasses[0].interfaces[0]->name, "ISecond");
    EXPECT_EQ(model.coclasses[0].interfaces[1]->name, "IFirst");
    EXPECT_TRUE(model.coclasses[1].interfaces.empty());
    ASSERT_NE(model.lookupInterface(parseGuid("{11111111-2222-3333-4444-200000000003}").value()), nullptr);
}

TEST(LoadSource, AnotherReaderFactoryIsUsed) {
    int made = 0;
    ReaderFactory factory = [&made] {
        ++made;
        return std::unique_ptr<TypeLibraryReader>(makeFileTypeLibraryReader());
    };
    TypeModel model;
    Reports reports;
    EXPECT_TRUE(loadSource(libraryPath("testlib.tlb"), model, factory, reports.sink()));
    EXPECT_EQ(made, 1);
}

TEST(CheckTypeLibraryFile, ReportsFilesWithoutALibrary) {
    std::vector<std::string> messages;
    auto sink = [&](const std::string& message) { messages.push_back(message); };
    EXPECT_TRUE(checkTypeLibraryFile(libraryPath("notypes.tlb"), nullptr, sink));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(checkTypeLibraryFile(libraryPath("missing.tlb"), nullptr, sink));
    EXPECT_EQ(messages, std::vector<std::string>{"File does not contain a COM interface definition."});
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The expected files are what OLE Automation under wine64 printed for the
// same libraries (the tlbdump tool); a difference means the reader is wrong.
TEST(RawDump, MatchesOleAutomationForTheTestLibraries) {
    for (const char* name : {"testlib", "classes"}) {
        auto reader = makeFileTypeLibraryReader();
        ASSERT_TRUE(reader->load(libraryPath(std::string(name) + ".tlb")));
        std::string out;
        writeRawDump(*reader, out);
        std::string golden = std::string(MIVRA_TEST_GOLDEN) + "/" + name + ".raw.txt";
        EXPECT_EQ(out, readText(golden)) << "differs from " << golden
                                         << "; regenerate it with tlbdump.exe under wine64 (tools README), never from mivra";
    }
}

struct CommandRun {
    int status;
    std::string output;
};

CommandRun runMivra(const std::string& arguments) {
    std::string command = std::string(MIVRA_PROGRAM) + " " + arguments + " 2>&1";
    CommandRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(DumpCommand, ExitStatusesAndMessages) {
    CommandRun ok = runMivra("dump " + libraryPath("testlib.tlb"));
    EXPECT_EQ(ok.status, 0);
    EXPECT_NE(ok.output.find("dispinterface IBase {11111111-2222-3333-4444-000000000001}"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("[id(0x2), method] double Add([in] long a, [in, optional] VARIANT b"), std::string::npos) << ok.output;
    CommandRun raw = runMivra("dump --raw --reader file " + libraryPath("testlib.tlb"));
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.output, readText(std::string(MIVRA_TEST_GOLDEN) + "/testlib.raw.txt"));
    // What OLE Automation reports for the library, as tests/windows checks.
    CommandRun resolved = runMivra("dump --raw --resolved " + libraryPath("resolved.tlb"));
    EXPECT_EQ(resolved.status, 0);
    EXPECT_EQ(resolved.output, readText(std::string(MIVRA_TEST_GOLDEN) + "/resolved.resolved.txt"));
    EXPECT_EQ(runMivra("dump --resolved " + libraryPath("resolved.tlb")).status, 2);
    CommandRun missing = runMivra("dump " + libraryPath("missing.tlb"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "mivra: " + libraryPath("missing.tlb") + ": File does not exist\n");
    EXPECT_EQ(runMivra("dump").status, 2);
    EXPECT_EQ(runMivra("dump --reader other x.tlb").status, 2);
    EXPECT_EQ(runMivra("dump a.tlb b.tlb").status, 1);
    CommandRun check = runMivra("check " + libraryPath("classes.tlb"));
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.output, "");
    CommandRun notLibrary = runMivra("check " + std::string(MIVRA_PROGRAM));
    EXPECT_EQ(notLibrary.status, 1);
    EXPECT_EQ(notLibrary.output,
              "mivra: " + std::string(MIVRA_PROGRAM) + ": File does not contain a COM interface definition.\n");
}

// Where the registry has an imported library registered, its path as the
// registry gives it is translated to a local path; a "\N" resource number
// stays out of the translation.
TEST(MakeReaderFor, FindsImportsWhereTheRegistryHasThem) {
    class Registry final : public ClassRegistry {
    public:
        std::optional<std::string> registered;
        std::optional<std::vector<std::string>> subkeys(const std::string&) const override { return std::nullopt; }
        std::optional<std::string> defaultValue(const std::string&) const override { return std::nullopt; }
        std::optional<std::string> clsidFromProgId(const std::string&) const override { return std::nullopt; }
        std::optional<std::string> progIdFromClsid(const std::string&) const override { return std::nullopt; }
        std::optional<std::string> typeLibraryPath(const std::string& libid, uint16_t major, uint16_t minor) const override {
            if (libid != "{11111111-2222-3333-4444-777777777777}" || major != 1 || minor != 0) return std::nullopt;
            return registered;
        }
        std::string localPath(const std::string& path) const override {
            const std::string drive = "C:\\libs\\";
            if (path.rfind(drive, 0) != 0 || path.find('\\', drive.size()) != std::string::npos) return "/nowhere";
            return std::string(MIVRA_TYPELIB_TEST_DIR) + "/libs/" + path.substr(drive.size());
        }
    };
    const std::string importer = std::string(MIVRA_TYPELIB_TEST_DIR) + "/shapes/importer.tlb";
    for (const char* registered : {"C:\\libs\\classes.tlb", "C:\\libs\\resources64.dll\\2", "", "C:\\other\\classes.tlb"}) {
        Registry registry;
        if (*registered) registry.registered = registered;
        auto reader = makeReaderFor(importer, nullptr, &registry);
        ASSERT_TRUE(reader->load(importer));
        // Slot 7 of the dispatch view is One, of the imported base interface.
        auto one = reader->function(0, 7);
        bool found = std::string(registered).starts_with("C:\\libs\\");
        EXPECT_EQ(one.ok(), found) << registered;
    }
}

// dump looks for an import where the registry of the chosen prefix has it
// registered, as generate does: importer.tlb's base interface lives in
// classes.tlb, which is not beside it.
TEST(Commands, DumpResolvesImportsThroughTheRegistry) {
    TestPrefix registered, empty;
    std::ifstream in(libraryPath("classes.tlb"), std::ios::binary);
    registered.writeDriveFile("libs/classes.tlb", std::string(std::istreambuf_iterator<char>(in), {}));
    registered.writeSystem(
        "[Software\\\\Classes\\\\TypeLib\\\\{11111111-2222-3333-4444-777777777777}\\\\1.0\\\\0\\\\win32] 1\n"
        "@=\"C:\\\\libs\\\\classes.tlb\"\n");
    const std::string importer = std::string(MIVRA_TYPELIB_TEST_DIR) + "/shapes/importer.tlb";
    CommandRun found = runMivra("dump --raw --resolved --registry " + registered.path() + " " + importer);
    EXPECT_EQ(found.status, 0) << found.output;
    EXPECT_NE(found.output.find(" name=One "), std::string::npos) << found.output;
    CommandRun missing = runMivra("dump --raw --resolved --registry " + empty.path() + " " + importer);
    EXPECT_EQ(missing.output.find(" name=One "), std::string::npos) << missing.output;
    EXPECT_EQ(runMivra("dump --registry").status, 2);
}

// A library in the older SLTG format is named as such by every command,
// never taken for a file without type information.
TEST(Commands, NameTheSltgFormatOfALibraryTheyCannotRead) {
    std::string sltg = std::string(MIVRA_BINARY_DIR) + "/old-format.tlb";
    {
        std::ofstream out(sltg, std::ios::binary);
        out << "SLTG" << std::string(0x1FC, '\0');
    }
    std::string message = std::string(sltgFormatFailure);
    std::string out = std::string(MIVRA_BINARY_DIR) + "/old-format-out";
    struct Case {
        std::string arguments;
        std::string expected;
    } cases[] = {
        {"check " + sltg, "mivra: " + sltg + ": " + message + ": "},
        {"dump " + sltg, "mivra: " + sltg + ": " + message + ": "},
        {"dump --raw --resolved " + sltg, "mivra: " + sltg + ": " + message + ": "},
        {"generate -i " + sltg + " -o " + out + " -p old.format", "mivra: " + sltg + ": " + message + ": "},
        {"generate --mapping full -i " + sltg + " -o " + out + " -p old.format", "mivra: " + sltg + ": " + message + ": "},
    };
    for (const Case& c : cases) {
        CommandRun run = runMivra(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.find("does not contain"), std::string::npos) << c.arguments;
    }
    std::vector<std::string> messages;
    EXPECT_FALSE(checkTypeLibraryFile(sltg, nullptr, [&](const std::string& m) { messages.push_back(m); }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with(message + ": ")) << messages[0];
}

// Types listing one shared block of constants: the dump lists them per type
// until the library's cap, then states per type what it leaves out.
TEST(ResolvedDump, SharedMembersPastTheCapAreCutAndSaidSo) {
    ResolvedLibrary library;
    std::vector<ResolvedVariable> constants(1000);
    for (size_t k = 0; k < constants.size(); ++k) {
        constants[k].available = true;
        constants[k].varKind = VAR_CONST;
        constants[k].name = "c" + std::to_string(k);
        constants[k].value = ConstantValue{VT_I4, int64_t(k), 0, std::nullopt};
    }
    MemberList<ResolvedVariable> block(constants);
    library.heldMembers = constants.size();
    library.ownTypeCount = 200;
    library.types.resize(200);
    for (ResolvedType& type : library.types) {
        type.state = ResolvedType::State::Available;
        type.varCount = 1000;
        type.variables = block;
    }
    std::string out;
    writeResolvedDump(library, out);
    const uint64_t cap = library.reportedMemberCap();
    size_t listed = 0, cuts = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        listed += line.rfind("  var ", 0) == 0;
        cuts += line.rfind("  cut: ", 0) == 0;
    }
    EXPECT_EQ(listed, cap);
    EXPECT_EQ(cuts, 200 - cap / 1000);
    EXPECT_NE(out.find("  var 535 memid=0 varkind=2 type=0 name=c535 value=3:535 doc=<none>\n  cut: 0 functions and 464 "
                       "variables not listed: the dump lists at most 65536 members and parameters of a library\n"),
              std::string::npos);
}

}  // namespace
}  // namespace mivra
