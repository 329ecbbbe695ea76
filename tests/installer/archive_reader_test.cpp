#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveReader.h"
#include "InstallNames.h"
#include "TestArchives.h"

namespace mivra::installer {
namespace {

using test::bytesOf;
using test::shippedLayout;

const std::vector<std::byte> image = bytesOf("MZ-this-stands-for-the-program-image");

std::vector<std::byte> packed(const ArchiveContent& content) {
    auto archive = buildInstallerArchive(image, content);
    EXPECT_TRUE(archive.ok()) << (archive ? "" : archive.failure().message);
    return archive ? *archive : std::vector<std::byte>{};
}

TEST(ArchiveReading, ShippedLayoutReadsBackInDirectoryOrder) {
    const auto content = shippedLayout();
    const auto archive = packed(content);
    auto directory = readArchiveDirectory(archive);
    ASSERT_TRUE(directory.ok()) << directory.failure().message;

    ASSERT_EQ(directory->files.size(), content.files.size());
    std::uint64_t offset = image.size();
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < content.files.size(); ++i) {
        const auto& entry = directory->files[i];
        EXPECT_EQ(entry.name, content.files[i].name);
        EXPECT_EQ(entry.substitute, content.files[i].substitute);
        EXPECT_EQ(entry.dataOffset, offset);
        EXPECT_EQ(entry.dataSize, content.files[i].bytes.size());
        EXPECT_EQ(0, std::memcmp(archive.data() + entry.dataOffset, content.files[i].bytes.data(), entry.dataSize));
        offset += entry.dataSize;
        total += entry.dataSize;
    }
    EXPECT_EQ(directory->files[0].name, "Readme.txt");
    EXPECT_TRUE(directory->files[0].substitute);
    EXPECT_EQ(directory->totalBytes, total);
    EXPECT_EQ(directory->directoryOffset, offset);
    ASSERT_EQ(directory->groupItems.size(), 2u);
    EXPECT_EQ(directory->groupItems[1].title, "Mivra Documentation");
    EXPECT_EQ(directory->groupItems[1].target, "help\\Index.html");
    EXPECT_TRUE(directory->folders.empty());
}

TEST(ArchiveReading, UninstallListNamesEveryFileButTheUninstaller) {
    const auto content = shippedLayout();
    auto list = buildUninstallList(image, content);
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(list->size(), image.size() + encodeDirectory({}).size() + 0 + [&] {
        std::size_t size = 0;
        for (std::size_t i = 0; i + 1 < content.files.size(); ++i) size += 13 + content.files[i].name.size();
        for (const auto& item : content.groupItems) size += 8 + item.title.size() + item.target.size();
        return size;
    }());
    auto directory = readArchiveDirectory(*list);
    ASSERT_TRUE(directory.ok()) << directory.failure().message;
    EXPECT_EQ(directory->directoryOffset, image.size());
    EXPECT_EQ(directory->totalBytes, 0u);
    ASSERT_EQ(directory->files.size(), content.files.size() - 1);
    for (std::size_t i = 0; i < directory->files.size(); ++i) {
        EXPECT_EQ(directory->files[i].name, content.files[i].name);
        EXPECT_EQ(directory->files[i].substitute, content.files[i].substitute);
        EXPECT_EQ(directory->files[i].dataOffset, 0u);
        EXPECT_EQ(directory->files[i].dataSize, 0u);
    }
    EXPECT_EQ(directory->groupItems.size(), 2u);
    EXPECT_TRUE(directory->folders.empty());
}

TEST(ArchiveReading, EmptyDuplicateLeadingSeparatorAndZeroSizeEntries) {
    auto empty = readArchiveDirectory(packed({}));
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->files.empty() && empty->groupItems.empty() && empty->folders.empty());
    EXPECT_EQ(empty->totalBytes, 0u);

    ArchiveContent content;
    content.files = {{"a.txt", bytesOf("first"), false},
                     {"\\a.txt", bytesOf("second"), false},
                     {"empty.txt", {}, false}};
    content.folders = {"logs", "\\data\\cache"};
    auto directory = readArchiveDirectory(packed(content));
    ASSERT_TRUE(directory.ok()) << directory.failure().message;
    ASSERT_EQ(directory->files.size(), 3u);
    EXPECT_EQ(directory->files[1].name, "\\a.txt");
    EXPECT_EQ(withoutLeadingSeparator(directory->files[1].name), "a.txt");
    EXPECT_EQ(directory->files[2].dataSize, 0u);
    EXPECT_EQ(directory->folders, (std::vector<std::string>{"logs", "\\data\\cache"}));

    // An archive of nothing but empty files may have a total of 0.
    ArchiveContent onlyEmpty;
    onlyEmpty.files = {{"empty.txt", {}, false}};
    EXPECT_TRUE(readArchiveDirectory(packed(onlyEmpty)).ok());
}

TEST(ArchiveReading, EntryNamesMustStayInsideTheFolder) {
    for (const char* name : {"a.txt", "\\a.txt", "help\\Index.html", "a..b", "..a\\b", "x\\...\\y"})
        EXPECT_TRUE(isSafeEntryName(name)) << name;
    for (const char* name : {"", "\\", "\\\\server\\share", "..", "..\\x", "help\\..\\..\\x", "help/../x", "x\\..",
                             "/etc/passwd", "\\/etc", "C:\\x", "C:x", "c:", "a\\b:c"})
        EXPECT_FALSE(isSafeEntryName(name)) << name;
    EXPECT_FALSE(isSafeEntryName(std::string("a\0b", 3)));
}

// One field of a valid archive changed at a time: each must be refused.
struct Corruption {
    const char* what;
    std::function<void(std::vector<std::byte>&, const ArchiveDirectory&)> apply;
};

void putU32(std::vector<std::byte>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

TEST(ArchiveReading, CorruptInputIsRefused) {
    ArchiveContent content;
    content.files = {{"one.txt", bytesOf("0123456789"), false}, {"two.txt", bytesOf("abcdef"), true}};
    content.groupItems = {{"Title", "one.txt"}};
    content.folders = {"extra"};
    const auto valid = packed(content);
    const auto directory = *readArchiveDirectory(valid);
    const std::size_t trailer = valid.size() - 20;
    const std::size_t firstEntry = directory.directoryOffset;
    const std::size_t firstName = firstEntry + 9;
    const std::size_t secondEntry = firstName + 4 + 7;
    const std::size_t groupTitle = secondEntry + 9 + 4 + 7;
    const std::size_t groupTarget = groupTitle + 4 + 5;
    const std::size_t folder = groupTarget + 4 + 7;

    const Corruption corruptions[] = {
        {"shorter than a trailer", [](auto& b, auto&) { b.resize(19); }},
        {"nothing at all", [](auto& b, auto&) { b.clear(); }},
        {"directory offset past the file", [&](auto& b, auto&) { putU32(b, trailer, 0xFFFFFFF0u); }},
        {"directory offset inside the trailer", [&](auto& b, auto&) { putU32(b, trailer, trailer + 4); }},
        {"directory offset at the trailer", [&](auto& b, auto&) { putU32(b, trailer, trailer); }},
        {"file count too large", [&](auto& b, auto&) { putU32(b, trailer + 4, 3); }},
        {"file count huge", [&](auto& b, auto&) { putU32(b, trailer + 4, 0xFFFFFFFFu); }},
        {"group count too large", [&](auto& b, auto&) { putU32(b, trailer + 12, 2); }},
        {"folder count too large", [&](auto& b, auto&) { putU32(b, trailer + 16, 2); }},
        {"folder count huge", [&](auto& b, auto&) { putU32(b, trailer + 16, 0x40000000u); }},
        {"total of 0 with data", [&](auto& b, auto&) { putU32(b, trailer + 8, 0); }},
        {"total below the sizes", [&](auto& b, auto&) { putU32(b, trailer + 8, 15); }},
        {"data offset past the file", [&](auto& b, auto&) { putU32(b, firstEntry, static_cast<std::uint32_t>(b.size())); }},
        {"data size past the file", [&](auto& b, auto&) { putU32(b, firstEntry + 4, static_cast<std::uint32_t>(b.size())); }},
        {"offset plus size wraps", [&](auto& b, auto&) {
             putU32(b, firstEntry, 0xFFFFFFF0u);
             putU32(b, firstEntry + 4, 0x20);
         }},
        {"name longer than 519", [&](auto& b, auto&) { putU32(b, firstName, 520); }},
        {"name length past the directory", [&](auto& b, auto&) { putU32(b, firstName, 0x7FFFFFFFu); }},
        {"name running into the trailer", [&](auto& b, auto&) { putU32(b, folder, 5 + 10); }},
        {"group title too long", [&](auto& b, auto&) { putU32(b, groupTitle, 0xFFFFFFFFu); }},
        {"group target past the directory", [&](auto& b, auto&) { putU32(b, groupTarget, 400); }},
        {"name with ..", [&](auto& b, auto&) { std::memcpy(&b[firstName + 4], "..\\.txt", 7); }},
        {"absolute name", [&](auto& b, auto&) { std::memcpy(&b[firstName + 4], "\\\\o.txt", 7); }},
        {"name with a drive", [&](auto& b, auto&) { std::memcpy(&b[firstName + 4], "C:e.txt", 7); }},
        {"group target with ..", [&](auto& b, auto&) { std::memcpy(&b[groupTarget + 4], "..\\.txt", 7); }},
        {"folder with ..", [&](auto& b, auto&) { std::memcpy(&b[folder + 4], "..\\xt", 5); }},
    };
    for (const auto& corruption : corruptions) {
        auto bytes = valid;
        corruption.apply(bytes, directory);
        auto result = readArchiveDirectory(bytes);
        EXPECT_FALSE(result.ok()) << corruption.what;
    }

    // Every cut of the file, and the same bytes read from a file on disk.
    for (std::size_t size = 0; size < valid.size(); ++size) {
        std::vector<std::byte> cut(valid.begin(), valid.begin() + size);
        (void)readArchiveDirectory(cut);
    }
    test::TempFolder folderOnDisk;
    test::writeBytes(folderOnDisk.path() / "setup", valid);
    EXPECT_TRUE(readArchiveDirectory(folderOnDisk.path() / "setup").ok());
    EXPECT_FALSE(readArchiveDirectory(folderOnDisk.path() / "missing").ok());
}

TEST(ArchivePacking, RefusesWhatNoReaderWouldAccept) {
    ArchiveContent unsafe;
    unsafe.files = {{"..\\outside.txt", bytesOf("x"), false}};
    EXPECT_FALSE(buildInstallerArchive(image, unsafe).ok());
    ArchiveContent longName;
    longName.files = {{std::string(520, 'a'), bytesOf("x"), false}};
    EXPECT_FALSE(buildInstallerArchive(image, longName).ok());
    longName.files[0].name.resize(519);
    EXPECT_TRUE(buildInstallerArchive(image, longName).ok());

    auto manifest = parsePackManifest("# comment\nfile\ta.txt\t/x/a\nsubstitute\tReadme.txt\t/x/r\n"
                                      "group\tMivra\tMivra\nfolder\tlogs\n\n");
    ASSERT_TRUE(manifest.ok()) << manifest.failure().message;
    EXPECT_EQ(manifest->files.size(), 2u);
    EXPECT_TRUE(manifest->files[1].substitute);
    EXPECT_EQ(manifest->groupItems[0].target, "Mivra");
    EXPECT_EQ(manifest->folders[0], "logs");
    EXPECT_FALSE(parsePackManifest("file\tonly-a-name\n").ok());
    EXPECT_FALSE(parsePackManifest("copy\ta\tb\n").ok());
}

// The Linux build packs the Windows package too: the list left behind the
// uninstaller never names the uninstaller, in any case, whatever the host.
TEST(ArchivePacking, UninstallListLeavesOutTheUninstallerByTheNameItIsWrittenTo) {
    test::TempFolder folder;
    test::writeBytes(folder.path() / "program", image);
    PackManifest manifest;
    for (const char* name : {"Readme.txt", "UNINSTALLER.exe", "Uninstaller", "sub\\Uninstaller.exe", "Uninstaller.exe.txt"})
        manifest.files.push_back({name, folder.path() / "program", false});
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"Uninstaller.exe", {"Readme.txt", "Uninstaller", "sub\\Uninstaller.exe", "Uninstaller.exe.txt"}},
        {"Uninstaller", {"Readme.txt", "UNINSTALLER.exe", "sub\\Uninstaller.exe", "Uninstaller.exe.txt"}}};
    for (const auto& [output, names] : cases) {
        ASSERT_TRUE(packFiles(PackKind::uninstallList, folder.path() / "program", manifest, folder.path() / output).ok());
        auto list = readArchiveDirectory(folder.path() / output);
        ASSERT_TRUE(list.ok());
        std::vector<std::string> listed;
        for (const auto& file : list->files) listed.push_back(file.name);
        EXPECT_EQ(listed, names) << output;
    }
}

TEST(ArchivePacking, PacksFilesBehindTheProgramKeepingItsPermissions) {
    test::TempFolder folder;
    test::writeBytes(folder.path() / "program", image);
    std::filesystem::permissions(folder.path() / "program", std::filesystem::perms::owner_all);
    test::writeBytes(folder.path() / "in" / "readme", bytesOf("hello $HOST\r\n"));
    PackManifest manifest;
    manifest.files = {{"Readme.txt", folder.path() / "in" / "readme", true},
                      {std::string(uninstallerFileName), folder.path() / "program", false}};
    manifest.groupItems = {{"Mivra", "Readme.txt"}};
    ASSERT_TRUE(packFiles(PackKind::installer, folder.path() / "program", manifest, folder.path() / "setup").ok());
    ASSERT_TRUE(
        packFiles(PackKind::uninstallList, folder.path() / "program", manifest, folder.path() / "Uninstaller").ok());
    EXPECT_TRUE((std::filesystem::status(folder.path() / "setup").permissions() &
                 std::filesystem::perms::owner_exec) != std::filesystem::perms::none);

    auto setup = readArchiveDirectory(folder.path() / "setup");
    ASSERT_TRUE(setup.ok());
    EXPECT_EQ(setup->files.size(), 2u);
    EXPECT_EQ(setup->totalBytes, 13u + image.size());
    auto list = readArchiveDirectory(folder.path() / "Uninstaller");
    ASSERT_TRUE(list.ok());
    ASSERT_EQ(list->files.size(), 1u);
    EXPECT_EQ(list->files[0].name, "Readme.txt");
    EXPECT_FALSE(packFiles(PackKind::installer, folder.path() / "missing", manifest, folder.path() / "x").ok());
}

}  // namespace
}  // namespace mivra::installer
