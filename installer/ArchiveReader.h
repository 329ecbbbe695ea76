#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Result.h"

namespace mivra::installer {

inline constexpr const char* extractionFailedMessage =
    "Could not extract data.\nThe self-extracting executable may have been corrupted.\nPlease download again.";
inline constexpr const char* extractionFailedTitle = "Extraction Failed";

// Size of the trailer that closes every archive and uninstall list.
inline constexpr std::uint32_t trailerSize = 20;
// Archive strings live in 520-byte buffers on the reading side.
inline constexpr std::uint32_t maxArchiveStringLength = 519;

struct FileEntry {
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    bool substitute = false;
    std::string name;  // as stored, backslash-separated, maybe with one leading "\"
};

struct GroupItem {
    std::string title;
    std::string target;
};

struct ArchiveDirectory {
    std::uint32_t directoryOffset = 0;
    std::uint32_t totalBytes = 0;
    std::vector<FileEntry> files;
    std::vector<GroupItem> groupItems;
    std::vector<std::string> folders;
};

// Random access to the bytes of an archive, whatever holds them. Every read
// is checked against size() before it happens.
class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly out.size() bytes at offset; false if the source cannot.
    virtual bool read(std::uint64_t offset, std::span<std::byte> out) = 0;
};

class MemoryArchiveSource final : public ArchiveSource {
public:
    explicit MemoryArchiveSource(std::span<const std::byte> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::byte> out) override;

private:
    std::span<const std::byte> bytes_;
};

class FileArchiveSource final : public ArchiveSource {
public:
    // Opens the file for binary reading; ok() tells whether that worked.
    explicit FileArchiveSource(const std::filesystem::path& path);
    bool ok() const { return ok_; }
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::byte> out) override;

private:
    std::ifstream stream_;
    std::uint64_t size_ = 0;
    bool ok_ = false;
};

// Reads trailer and directory. A trailer, count, offset, size or string that
// does not fit the source, a string over 519 bytes, data entries whose sizes
// exceed the total, or a name that would leave the installation folder are
// all refused: the failure's message says what was wrong, and front-ends show
// extractionFailedMessage for any of them.
Result<ArchiveDirectory> readArchiveDirectory(ArchiveSource& source);
Result<ArchiveDirectory> readArchiveDirectory(std::span<const std::byte> bytes);
Result<ArchiveDirectory> readArchiveDirectory(const std::filesystem::path& path);

// The entry name without one leading "\".
std::string_view withoutLeadingSeparator(std::string_view name);

// Whether a stored name stays inside the installation folder: after removing
// one leading "\" it must not be empty, absolute, carry a drive or a ".."
// component (either slash counts as a separator).
bool isSafeEntryName(std::string_view name);

}  // namespace mivra::installer
