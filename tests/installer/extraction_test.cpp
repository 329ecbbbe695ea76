#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "InstallNames.h"
#include "InstallPaths.h"
#include "InstallerTexts.h"
#include "ProgramGroup.h"
#include "TestArchives.h"
#include "VariableSubstitution.h"

namespace mivra::installer {
namespace {

namespace fs = std::filesystem;
const std::string nl(substitutedLineEnd);
using test::bytesOf;
using test::readText;
using test::RecordingEvents;
using test::TempFolder;

const std::vector<std::byte> image = bytesOf("program image");

// Services that record instead of touching the desktop and the registry.
struct RecordingServices {
    std::vector<std::string> registrations;
    std::vector<std::string> opened;
    std::vector<std::string> commands;
    bool connects = true;
    InstallationServices services;

    class Manager : public ProgramManager {
    public:
        explicit Manager(std::vector<std::string>& commands) : commands_(commands) {}
        bool execute(const std::string& command) override {
            commands_.push_back(command);
            return true;
        }

    private:
        std::vector<std::string>& commands_;
    };

    RecordingServices() {
        services.connectProgramManager = [this]() -> std::unique_ptr<ProgramManager> {
            if (!connects) return nullptr;
            return std::make_unique<Manager>(commands);
        };
        services.writeRegistration = [this](const std::string& product, const UninstallRegistration& values) {
            registrations.push_back(product + "|" + values.displayName + "|" + values.uninstallString);
            return true;
        };
        services.shortPathName = [](const std::string& path) { return path; };
        services.driveOf = [](const std::string&) { return std::string("C:"); };
        services.shellOpen = [this](const std::string& document, const std::string& folder) {
            opened.push_back(document + "|" + folder);
            return true;
        };
        services.markExecutable = [](const std::string&) {};
    }
};

std::string writeArchive(const TempFolder& folder, const ArchiveContent& content) {
    auto archive = buildInstallerArchive(image, content);
    EXPECT_TRUE(archive.ok());
    test::writeBytes(folder.path() / "setup", *archive);
    return folder / "setup";
}

std::vector<std::string> filesUnder(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        out.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Extraction, ShippedLayoutInstallsRegistersAndCreatesTheGroup) {
    TempFolder work;
    const auto content = test::shippedLayout();
    const std::string target = work / "Mivra";
    fs::create_directory(target);
    RecordingServices recorder;
    RecordingEvents events;
    const auto report = runInstallation({writeArchive(work, content), target}, recorder.services, events);

    ASSERT_EQ(report.outcome, InstallationOutcome::completed) << ::testing::PrintToString(events.messages);
    for (const auto& file : content.files) {
        std::string local(file.name);
        std::replace(local.begin(), local.end(), '\\', '/');
        if (file.substitute) continue;
        EXPECT_EQ(readText(fs::path(target) / local), std::string(reinterpret_cast<const char*>(file.bytes.data()),
                                                                   file.bytes.size()))
            << local;
    }
    EXPECT_EQ(readText(fs::path(target) / "Readme.txt"),
              "Mivra" + nl + "Installed in " + target + "/help on drive C:." + nl);
    EXPECT_EQ(events.positions.back(), 95);
    EXPECT_TRUE(std::is_sorted(events.positions.begin(), events.positions.end()));
    EXPECT_EQ(events.statuses.front(), "Extracting files");
    EXPECT_EQ(events.statuses[1], "Extracting " + target + "/Readme.txt");
    EXPECT_EQ(events.messages, std::vector<std::string>{"Finished: Mivra installation is complete."});

    const std::string uninstaller = target + "/" + std::string(uninstallerFileName);
    EXPECT_EQ(report.uninstallerPath, uninstaller);
    EXPECT_EQ(recorder.registrations, std::vector<std::string>{"Mivra|Mivra|" + uninstaller});
    const std::string prefix = target + "/";
    EXPECT_EQ(recorder.commands,
              (std::vector<std::string>{
                  "[DeleteGroup(\"Mivra\")]", "[CreateGroup(\"Mivra\")]", "[ShowGroup(\"Mivra\",1)]",
                  "[AddItem(\"" + prefix + "Mivra\",\"Mivra\",\"" + prefix + "icon/mivra.png\")]",
                  "[AddItem(\"" + prefix + "help/Index.html\",\"Mivra Documentation\",\"" + prefix + "icon/mivra.png\")]",
                  "[AddItem(\"" + prefix + "Uninstaller\",\"Uninstall Mivra\",\"" + prefix + "icon/uninst.png\")]"}));
    EXPECT_EQ(recorder.opened, std::vector<std::string>{prefix + "Readme.txt|" + target});
}

TEST(Extraction, WithoutAnUninstallerNothingIsRegistered) {
    TempFolder work;
    const std::string target = work / "dest";
    fs::create_directory(target);
    RecordingServices recorder;
    RecordingEvents events;
    const auto report =
        runInstallation({writeArchive(work, test::shippedLayout(false)), target}, recorder.services, events);
    ASSERT_EQ(report.outcome, InstallationOutcome::completed);
    EXPECT_TRUE(report.uninstallerPath.empty());
    EXPECT_TRUE(recorder.registrations.empty());
    ASSERT_EQ(recorder.commands.size(), 5u);
    EXPECT_EQ(recorder.commands.back().find("Uninstall"), std::string::npos);

    // Without a program manager the installation still completes.
    RecordingServices unconnected;
    unconnected.connects = false;
    RecordingEvents again;
    EXPECT_EQ(runInstallation({work / "setup", target}, unconnected.services, again).outcome,
              InstallationOutcome::completed);
    EXPECT_TRUE(unconnected.commands.empty());
}

TEST(Extraction, EmptyArchiveStillRecreatesTheGroupAndCompletes) {
    TempFolder work;
    const std::string target = work / "dest";
    fs::create_directory(target);
    RecordingServices recorder;
    RecordingEvents events;
    const auto report = runInstallation({writeArchive(work, {}), target}, recorder.services, events);
    EXPECT_EQ(report.outcome, InstallationOutcome::completed);
    EXPECT_TRUE(filesUnder(target).empty());
    EXPECT_EQ(recorder.commands.size(), 3u);
    EXPECT_TRUE(recorder.registrations.empty());
    EXPECT_TRUE(events.positions.empty());
}

TEST(Extraction, ProgressKeptFilesDuplicatesAndFolders) {
    TempFolder work;
    ArchiveContent content;
    content.files = {{"big.bin", test::patternBytes(5000, 7), false},
                     {"\\conf\\settings.INI", bytesOf("new settings"), false},
                     {"state.dat", bytesOf("new state"), false},
                     {"empty.txt", {}, false},
                     {"same.txt", bytesOf("first"), false},
                     {"\\same.txt", bytesOf("second"), false},
                     {"notes.ini", bytesOf("fresh"), false}};
    content.folders = {"logs\\deep", "\\cache"};
    const std::string target = work / "dest";
    fs::create_directories(fs::path(target) / "conf");
    std::ofstream(fs::path(target) / "conf" / "settings.INI") << "user settings";
    std::ofstream(fs::path(target) / "state.dat") << "user state";

    RecordingServices recorder;
    RecordingEvents events;
    const auto report = runInstallation({writeArchive(work, content), target}, recorder.services, events);
    ASSERT_EQ(report.outcome, InstallationOutcome::completed);

    // total = 5000 + 12 + 9 + 0 + 5 + 6 + 5 = 5037; kept files count for nothing.
    EXPECT_EQ(events.positions, (std::vector<int>{4096 * 95 / 5037, 5000 * 95 / 5037, 5005 * 95 / 5037,
                                                  5011 * 95 / 5037, 5016 * 95 / 5037}));
    EXPECT_EQ(readText(fs::path(target) / "conf" / "settings.INI"), "user settings");
    EXPECT_EQ(readText(fs::path(target) / "state.dat"), "user state");
    EXPECT_EQ(readText(fs::path(target) / "notes.ini"), "fresh");
    EXPECT_EQ(readText(fs::path(target) / "same.txt"), "second");
    EXPECT_TRUE(fs::is_regular_file(fs::path(target) / "empty.txt"));
    EXPECT_EQ(fs::file_size(fs::path(target) / "empty.txt"), 0u);
    EXPECT_TRUE(fs::is_directory(fs::path(target) / "logs" / "deep"));
    EXPECT_TRUE(fs::is_directory(fs::path(target) / "cache"));
    EXPECT_EQ(report.installedPaths.size(), 7u);
    EXPECT_EQ(report.installedPaths[5], target + "/same.txt");
}

TEST(Extraction, StopRequestEndsAfterTheCurrentChunk) {
    TempFolder work;
    ArchiveContent content;
    content.files = {{"big.bin", test::patternBytes(3 * 4096, 3), false},
                     {"Uninstaller", bytesOf("u"), false},
                     {"later.txt", bytesOf("later"), false}};
    const std::string target = work / "dest";
    fs::create_directory(target);
    RecordingServices recorder;
    RecordingEvents events;
    events.stopAfterChunks = 1;
    const auto report = runInstallation({writeArchive(work, content), target}, recorder.services, events);
    EXPECT_EQ(report.outcome, InstallationOutcome::stopped);
    EXPECT_EQ(events.positions.size(), 1u);
    EXPECT_EQ(fs::file_size(fs::path(target) / "big.bin"), 4096u);
    EXPECT_FALSE(fs::exists(fs::path(target) / "later.txt"));
    EXPECT_TRUE(events.messages.empty());
    EXPECT_TRUE(recorder.registrations.empty());
    EXPECT_TRUE(recorder.commands.empty());
    EXPECT_TRUE(recorder.opened.empty());
}

// Archives no packer of ours writes: the directory is put together by hand.
std::vector<std::byte> handMadeArchive(const std::vector<std::string>& names, const std::vector<std::string>& folders) {
    std::vector<std::byte> bytes = image;
    ArchiveDirectory directory;
    for (const auto& name : names) {
        directory.files.push_back({static_cast<std::uint32_t>(bytes.size()), 4, false, name});
        for (char c : std::string("data")) bytes.push_back(static_cast<std::byte>(c));
        directory.totalBytes += 4;
    }
    directory.folders = folders;
    directory.directoryOffset = static_cast<std::uint32_t>(bytes.size());
    auto encoded = encodeDirectory(directory);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    return bytes;
}

TEST(Extraction, UnsafeOrOverLongNamesWriteNothing) {
    TempFolder work;
    const std::string target = work / "dest";
    fs::create_directory(target);
    const std::string tooLong(260 - target.size(), 'n');
    const std::string fits(259 - target.size() - 1, 'f');
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> folders;
        std::string message;
    };
    const std::string extraction = std::string("Extraction Failed: ") + extractionFailedMessage;
    const Case cases[] = {
        {{"fine.txt", "..\\escape.txt"}, {}, extraction},
        {{"fine.txt", "sub\\..\\..\\escape.txt"}, {}, extraction},
        {{"fine.txt", "\\\\absolute.txt"}, {}, extraction},
        {{"fine.txt", "/tmp/absolute.txt"}, {}, extraction},
        {{"fine.txt", "C:\\drive.txt"}, {}, extraction},
        {{"fine.txt"}, {"..\\up"}, extraction},
        {{"fine.txt", tooLong}, {}, "Path Too Long: " + target + "/" + tooLong + ": The path is longer than 259 characters"},
        {{"fine.txt"}, {tooLong}, "Path Too Long: " + target + "/" + tooLong + ": The path is longer than 259 characters"},
    };
    for (const auto& c : cases) {
        test::writeBytes(work.path() / "setup", handMadeArchive(c.names, c.folders));
        RecordingServices recorder;
        RecordingEvents events;
        const auto report = runInstallation({work / "setup", target}, recorder.services, events);
        EXPECT_EQ(report.outcome, InstallationOutcome::failed);
        EXPECT_EQ(events.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(filesUnder(target).empty()) << c.names.back();
        EXPECT_FALSE(fs::exists(work.path() / "escape.txt"));
        EXPECT_TRUE(recorder.commands.empty());
    }

    test::writeBytes(work.path() / "setup", handMadeArchive({fits}, {}));
    RecordingServices recorder;
    RecordingEvents events;
    EXPECT_EQ(runInstallation({work / "setup", target}, recorder.services, events).outcome,
              InstallationOutcome::completed);
    EXPECT_EQ((target + "/" + fits).size(), 259u);

    RecordingEvents missing;
    EXPECT_EQ(runInstallation({work / "no-such-setup", target}, recorder.services, missing).outcome,
              InstallationOutcome::failed);
    EXPECT_EQ(missing.messages, std::vector<std::string>{extraction});
}

TEST(Extraction, FileThatCannotBeWrittenEndsTheRun) {
    TempFolder work;
    ArchiveContent content;
    content.files = {{"blocked\\file.txt", bytesOf("x"), false}};
    const std::string target = work / "dest";
    fs::create_directories(fs::path(target) / "blocked" / "file.txt" / "inside");
    RecordingServices recorder;
    RecordingEvents events;
    const auto report = runInstallation({writeArchive(work, content), target}, recorder.services, events);
    EXPECT_EQ(report.outcome, InstallationOutcome::failed);
    EXPECT_EQ(events.messages, std::vector<std::string>{"I/O Error: Could not write file " + target +
                                                        "/blocked/file.txt"});
}

TEST(Substitution, EveryVariableInAnyCase) {
    SubstitutionValues values;
    values.targetFolder = "C:\\PROGRA~1\\Mivra";
    values.targetDrive = "C:";
    values.separator = "\\";
    EXPECT_EQ(substituteVariables("$TGTDIR|$tgtdrive|$Host|$url|$LocalHost|$sep|$WEBPORT$webadmin$EjbPort$EJBADMIN"
                                  "$WebPwd$ejbpwd|$TGTDIRx|$$HOST|$unknown|$",
                                  values),
              "C:\\PROGRA~1\\Mivra|C:|localhost|localhost:|localhost:|\\||C:\\PROGRA~1\\Miv"
              "rax|$localhost|$unknown|$");
    values.webPort = "80";
    EXPECT_EQ(substituteVariables("$URL $LOCALHOST", values), "localhost localhost");
    values.webPort = "8080";
    values.host = "server";
    EXPECT_EQ(substituteVariables("$URL $LOCALHOST $HOST $WEBPORT", values),
              "server:8080 localhost:8080 server 8080");
    values.webPort = "80x";
    EXPECT_EQ(substituteVariables("$URL", values), "server");
}

TEST(Substitution, FileIsRewrittenInPiecesOf399) {
    TempFolder work;
    const auto file = work.path() / "Readme.txt";
    const std::string cut = std::string(396, 'x') + "$HOST";   // name crosses position 399
    const std::string whole = std::string(394, 'y') + "$HOST";  // name ends at 399
    std::ofstream(file, std::ios::binary) << "at $tgtdir\r\n" << cut << "\r\n" << whole << "\r\nlast $Sep";
    std::ofstream(work.path() / "Readme.tmp", std::ios::binary) << "stale";
    SubstitutionValues values;
    values.targetFolder = "/opt/Mivra";
    values.separator = "/";
    ASSERT_TRUE(substituteFile(file, values));
    EXPECT_EQ(readText(file), "at /opt/Mivra" + nl + cut + nl + std::string(394, 'y') + "localhost" + nl + "last /");
    EXPECT_EQ(readText(work.path() / "Readme.tmp"), "stale") << "a user's file of the old temporary name stays";

    std::ofstream(work.path() / "NOTES", std::ios::binary) << "$HOST\n";
    ASSERT_TRUE(substituteFile(work.path() / "NOTES", values));
    EXPECT_EQ(readText(work.path() / "NOTES"), "localhost" + nl);
    EXPECT_FALSE(substituteFile(work.path() / "missing.txt", values));
    EXPECT_EQ(filesUnder(work.path()), (std::vector<std::string>{"NOTES", "Readme.tmp", "Readme.txt"}));
}

TEST(Substitution, TemporaryCopyCollidesWithNoEntryAndNoUserFile) {
    TempFolder work;
    ArchiveContent content;
    content.files = {{"x.txt", bytesOf("at $TGTDIR\r\n"), true},
                     {"x.tmp", bytesOf("an entry of its own"), false},
                     {"keep.txt", bytesOf("$HOST\r\n"), true},
                     {"x.txt.0.tmp", bytesOf("named like a temporary copy"), false}};
    const std::string target = work / "dest";
    fs::create_directory(target);
    std::ofstream(fs::path(target) / "keep.tmp", std::ios::binary) << "the user's";
    RecordingServices recorder;
    RecordingEvents events;
    ASSERT_EQ(runInstallation({writeArchive(work, content), target}, recorder.services, events).outcome,
              InstallationOutcome::completed);
    EXPECT_EQ(readText(fs::path(target) / "x.txt"), "at " + target + nl);
    EXPECT_EQ(readText(fs::path(target) / "x.tmp"), "an entry of its own");
    EXPECT_EQ(readText(fs::path(target) / "x.txt.0.tmp"), "named like a temporary copy");
    EXPECT_EQ(readText(fs::path(target) / "keep.txt"), "localhost" + nl);
    EXPECT_EQ(readText(fs::path(target) / "keep.tmp"), "the user's");
    EXPECT_EQ(filesUnder(target).size(), 5u);
}

// A child process whose address space leaves 24 MiB beyond what it already
// uses substitutes a 32 MiB file: only a streaming substitution fits.
TEST(Substitution, LargeFileIsSubstitutedAsAStream) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
    TempFolder work;
    const auto file = work.path() / "big.txt";
    {
        std::ofstream out(file, std::ios::binary);
        const std::string line = std::string(60, 'a') + "$HOST\r\n";
        for (std::size_t written = 0; written < (32u << 20); written += line.size()) out << line;
    }
    const auto size = fs::file_size(file);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ifstream status("/proc/self/statm");
        std::size_t pages = 0;
        status >> pages;
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (24u << 20);
        const rlimit bounds{limit, limit};
        setrlimit(RLIMIT_AS, &bounds);
        try {
            SubstitutionValues values;
            _exit(substituteFile(file, values) ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    // Each 67-byte line: "localhost" for "$HOST", and the platform's line end.
    EXPECT_EQ(fs::file_size(file), size + (size / 67) * (2 + nl.size()));
#endif
}

TEST(Extraction, LinksPlantedInTheTargetAreNeverWrittenThrough) {
    struct Case {
        const char* link;      // planted in the target folder
        const char* pointsTo;  // below the outside folder
        bool refused;
    };
    const Case cases[] = {
        {"help", "pages", true},                // a folder of entries
        {"Readme.txt", "victim.txt", true},     // a file entry, marked for substitution
        {"Mivra", "created-by-link", true},     // a dangling link at a file entry
        {"logs", "logfolder", true},            // a folder entry
        {"Readme.tmp", "victim.txt", false},    // the old temporary name: not used any more
        {"Readme.txt.0.tmp", "victim.txt", false},
    };
    for (const auto& c : cases) {
        TempFolder work;
        const fs::path outside = work.path() / "outside";
        fs::create_directories(outside / "pages");
        fs::create_directories(outside / "logfolder");
        std::ofstream(outside / "victim.txt", std::ios::binary) << "precious";
        ArchiveContent content;
        content.files = {{"Readme.txt", bytesOf("in $TGTDIR\r\n"), true},
                         {"Mivra", bytesOf("program"), false},
                         {"help\\Index.html", bytesOf("page"), false}};
        content.folders = {"logs\\deep"};
        const std::string target = work / "dest";
        fs::create_directory(target);
        fs::create_symlink(outside / c.pointsTo, fs::path(target) / c.link);
        const auto before = filesUnder(outside);

        RecordingServices recorder;
        RecordingEvents events;
        const auto report = runInstallation({writeArchive(work, content), target}, recorder.services, events);
        EXPECT_EQ(filesUnder(outside), before) << c.link;
        EXPECT_EQ(readText(outside / "victim.txt"), "precious") << c.link;
        if (c.refused) {
            EXPECT_EQ(report.outcome, InstallationOutcome::failed) << c.link;
            EXPECT_EQ(events.messages,
                      std::vector<std::string>{"Unsafe Target: " + target + "/" + c.link +
                                               " is a link that this installation did not create.\nThe installer "
                                               "does not write through links; remove it or choose another folder."});
            EXPECT_TRUE(recorder.registrations.empty());
        } else {
            EXPECT_EQ(report.outcome, InstallationOutcome::completed) << c.link;
            EXPECT_EQ(readText(fs::path(target) / "Readme.txt"), "in " + target + nl);
        }
    }
}

TEST(FolderCheck, DefaultIsCreatedSilentlyOthersAskFilesAreRefused) {
    TempFolder work;
    std::vector<std::string> shown;
    std::vector<std::string> asked;
    bool answer = false;
    const ShowMessage show = [&](const std::string& text, const std::string& title) { shown.push_back(title + ": " + text); };
    const AskQuestion ask = [&](const std::string& text, const std::string& title) {
        asked.push_back(title + ": " + text);
        return answer;
    };

    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("HOME", work.path().c_str(), 1);
    EXPECT_EQ(defaultInstallFolder(), work / "Mivra");
    EXPECT_TRUE(checkTargetFolder(defaultInstallFolder(), show, ask));
    EXPECT_TRUE(fs::is_directory(work.path() / "Mivra"));
    EXPECT_TRUE(asked.empty());
    setenv("HOME", savedHome.c_str(), 1);

    EXPECT_FALSE(checkTargetFolder(work / "a/b/c", show, ask));
    EXPECT_EQ(asked, std::vector<std::string>{"Create directory: Target folder does not exist, create? "});
    EXPECT_FALSE(fs::exists(work.path() / "a"));
    answer = true;
    EXPECT_TRUE(checkTargetFolder(work / "a/b/c", show, ask));
    EXPECT_TRUE(fs::is_directory(work.path() / "a" / "b" / "c"));
    EXPECT_TRUE(checkTargetFolder(work / "a/b/c", show, ask));
    EXPECT_EQ(asked.size(), 2u);

    std::ofstream(work.path() / "plain") << "x";
    EXPECT_FALSE(checkTargetFolder(work / "plain", show, ask));
    EXPECT_FALSE(checkTargetFolder(work / "plain/below", show, ask));
    EXPECT_EQ(shown, (std::vector<std::string>{"Not a directory: Specified target is not a directory",
                                               "Directory Creation Error: " + work / "plain/below" +
                                                   ": Could not create directory"}));
}

}  // namespace
}  // namespace mivra::installer
