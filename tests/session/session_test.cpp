#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "BuildSession.h"
#include "PickerSession.h"

using namespace mivra;
namespace fs = std::filesystem;

namespace {

// A front-end with fields, recording what the session asks of it.
class RecordingFrontEnd final : public FrontEnd {
public:
    std::map<BuildField, std::string> shownFields;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = true;
    std::optional<std::string> source;
    std::string folder;
    std::vector<std::pair<bool, bool>> enabled;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askOkCancel(const std::string& question) override {
        questions.push_back(question);
        return answer;
    }
    std::string chooseFolder(const std::string&) override { return folder; }
    std::optional<std::string> chooseSource() override { return source; }
    bool openDocument(const std::string&) override { return true; }
    std::optional<std::string> fieldText(BuildField field) override { return shownFields[field]; }
    void showFieldText(BuildField field, const std::string& text) override { shownFields[field] = text; }
    void enableChoices(bool library, bool handles) override { enabled.emplace_back(library, handles); }
};

// A session whose generation is counted instead of run.
class CountingSession final : public BuildSession {
public:
    using BuildSession::BuildSession;
    int runs = 0;

protected:
    bool runGeneration() override {
        ++runs;
        return true;
    }
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("mivra-session-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    void type(const std::string& in, const std::string& out, const std::string& package, const std::string& library) {
        frontEnd.shownFields = {{BuildField::Input, in},
                                {BuildField::Output, out},
                                {BuildField::Package, package},
                                {BuildField::Library, library}};
    }

    fs::path root;
    RecordingFrontEnd frontEnd;
    CountingSession session{frontEnd};
};

// Each refusal comes before anything is made; the package is checked with
// the other inputs, once, and the library only where one is built.
TEST_F(SessionTest, RefusalsComeBeforeTheFolderAndTheRun) {
    const std::string out = (root / "out").string();
    struct Case {
        MappingMode mapping;
        const char *in, *package, *library, *message;
    } cases[] = {
        {MappingMode::Basic, "", "p", "Jx.dll", "Please specify a COM source"},
        {MappingMode::Basic, "x.dll", "", "Jx.dll", "Please specify a package name for generated Java classes"},
        {MappingMode::Basic, "x.dll", "p", "", "Please specify a name for the JNI library file"},
        {MappingMode::Basic, "/a/X.dll", "p", "x.DLL", "The JNI library must not have the same name as the COM DLL"},
        {MappingMode::Basic, "x.dll", "a.class", "Jx.dll", "a.class: not a Java package name: \"class\" is a Java keyword"},
        {MappingMode::Full, "x.dll", "1a", "", "1a: not a Java package name: \"1a\" starts with a digit"},
    };
    for (const Case& c : cases) {
        frontEnd.messages.clear();
        session.options.mapping = c.mapping;
        type(c.in, out, c.package, c.library);
        EXPECT_EQ(session.build(), BuildSession::Outcome::Refused) << c.message;
        EXPECT_EQ(frontEnd.messages, std::vector<std::string>{c.message});
    }
    EXPECT_EQ(session.runs, 0);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(frontEnd.questions.empty());

    // Without a JNI library to build, its name is no concern.
    session.options.mapping = MappingMode::Full;
    type("/a/X.dll", out, "p", "x.dll");
    EXPECT_EQ(session.build(), BuildSession::Outcome::Succeeded);
    EXPECT_EQ(session.runs, 1);
}

// The options reach the run as the rules between them allow.
TEST_F(SessionTest, OptionsReachTheRunThroughTheirRules) {
    const std::string out = (root / "out").string();
    session.askBeforeCreatingFolder = false;
    struct Case {
        MappingMode mapping;
        HandleType chosen, run;
        bool readme;
    } cases[] = {
        {MappingMode::Basic, HandleType::Long, HandleType::Long, true},
        {MappingMode::Basic, HandleType::Int, HandleType::Int, false},
        {MappingMode::Full, HandleType::Long, HandleType::Int, true},
    };
    for (const Case& c : cases) {
        frontEnd.enabled.clear();
        session.setMapping(c.mapping);
        const bool basic = c.mapping == MappingMode::Basic;
        EXPECT_EQ(frontEnd.enabled, (std::vector<std::pair<bool, bool>>{{basic, basic}}));
        session.options.handles = c.chosen;
        session.options.openReadme = c.readme;
        type("x.dll", out + "/", "a.b", "Jx.dll");
        ASSERT_EQ(session.build(), BuildSession::Outcome::Succeeded);
        EXPECT_EQ(session.generator().mapping, c.mapping);
        EXPECT_EQ(session.generator().handles, c.run);
        EXPECT_EQ(session.generator().openReadmeWhenDone, c.readme);
        // The run gets the texts as typed; the front-end shows the folder as made.
        EXPECT_EQ(session.generator().inputs.outputFolder, out + "/");
        EXPECT_EQ(frontEnd.shownFields[BuildField::Output], out);
    }
    EXPECT_TRUE(fs::is_directory(out));
}

TEST_F(SessionTest, LibraryFollowsInputUntilEditedAndSelectAndBrowseFillFields) {
    type("/lib/Foo.ocx", "", "", "");
    session.inputEdited();
    EXPECT_EQ(frontEnd.shownFields[BuildField::Library], "JFoo.dll");
    frontEnd.source = "/lib/Bar.tlb";
    session.selectSource();
    EXPECT_EQ(frontEnd.shownFields[BuildField::Input], "/lib/Bar.tlb");
    EXPECT_EQ(frontEnd.shownFields[BuildField::Library], "JBar.dll");

    frontEnd.shownFields[BuildField::Library] = "Mine.dll";
    session.libraryEdited();
    frontEnd.source = std::nullopt;
    session.selectSource();
    frontEnd.shownFields[BuildField::Input] = "/lib/Other.dll";
    session.inputEdited();
    EXPECT_EQ(frontEnd.shownFields[BuildField::Input], "/lib/Other.dll");
    EXPECT_EQ(frontEnd.shownFields[BuildField::Library], "Mine.dll");

    frontEnd.folder = "";
    frontEnd.shownFields[BuildField::Output] = "kept";
    session.browseOutput();
    EXPECT_EQ(frontEnd.shownFields[BuildField::Output], "kept");
    frontEnd.folder = "/chosen";
    session.browseOutput();
    EXPECT_EQ(frontEnd.shownFields[BuildField::Output], "/chosen");
}

TEST_F(SessionTest, AFolderNotMadeStopsTheBuild) {
    const std::string out = (root / "missing").string();
    type("x.dll", out, "p", "Jx.dll");
    frontEnd.answer = false;
    EXPECT_EQ(session.build(), BuildSession::Outcome::Failed);
    EXPECT_EQ(frontEnd.questions, std::vector<std::string>{out + " does not exist, create? "});
    fs::path file = root / "file";
    { std::ofstream(file) << "x"; }
    type("x.dll", file.string(), "p", "Jx.dll");
    EXPECT_EQ(session.build(), BuildSession::Outcome::Failed);
    EXPECT_EQ(frontEnd.messages, std::vector<std::string>{file.string() + ": is not a directory!"});
    EXPECT_EQ(session.runs, 0);
}

// The picker: one order for every window, and the highlight follows File
// whichever way File was filled.
TEST(PickerSession, OneOrderAndTheHighlightFollowsFile) {
    RegisteredLibraryList list;
    list.displayTexts = {"zeta", "Alpha", "mid"};
    list.paths = {"/z.tlb", "/a.tlb", "/m.tlb"};
    list.filled = true;
    SourceServices services;
    services.libraries = &list;
    std::vector<std::string> reports;
    services.checkFile = [](const std::string& path, const LookupReport& report) {
        if (path.ends_with(".tlb")) return true;
        report(path + ": no type library");
        return false;
    };
    PickerSession picker(services, [&](const std::string& message) { reports.push_back(message); });
    EXPECT_FALSE(picker.needsLoading());
    EXPECT_EQ(picker.lines(), (std::vector<std::string>{"Alpha", "mid", "zeta"}));

    picker.chooseLine(2);
    EXPECT_EQ(picker.fileText(), "/z.tlb");
    EXPECT_EQ(picker.highlightedLine(), std::optional<size_t>(2));
    picker.browsed("/elsewhere/b.tlb");
    EXPECT_EQ(picker.fileText(), "/elsewhere/b.tlb");
    EXPECT_EQ(picker.highlightedLine(), std::nullopt);
    picker.browsed("/bad.dll");
    EXPECT_EQ(picker.fileText(), "/elsewhere/b.tlb");
    EXPECT_EQ(reports, std::vector<std::string>{"/bad.dll: no type library"});
    picker.fileEdited("/m.tlb");
    EXPECT_EQ(picker.highlightedLine(), std::optional<size_t>(1));
    picker.fileEdited("/m.tl");
    EXPECT_EQ(picker.highlightedLine(), std::nullopt);
    picker.chooseLine(7);
    EXPECT_EQ(picker.fileText(), "/m.tl");
}

}  // namespace
