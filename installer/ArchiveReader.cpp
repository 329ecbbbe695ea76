#include "ArchiveReader.h"

#include <algorithm>
#include <cstring>

namespace mivra::installer {

bool MemoryArchiveSource::read(std::uint64_t offset, std::span<std::byte> out) {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

FileArchiveSource::FileArchiveSource(const std::filesystem::path& path)
    : stream_(path, std::ios::binary) {
    if (!stream_) return;
    stream_.seekg(0, std::ios::end);
    const auto end = stream_.tellg();
    if (end < 0) return;
    size_ = static_cast<std::uint64_t>(end);
    ok_ = true;
}

bool FileArchiveSource::read(std::uint64_t offset, std::span<std::byte> out) {
    if (!ok_ || offset > size_ || out.size() > size_ - offset) return false;
    if (out.empty()) return true;
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset));
    stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<std::size_t>(stream_.gcount()) == out.size();
}

namespace {

std::uint32_t decodeU32(const std::byte* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Walks the directory front to back; it may not run into the trailer.
class DirectoryCursor {
public:
    DirectoryCursor(ArchiveSource& source, std::uint64_t position, std::uint64_t end)
        : source_(source), position_(position), end_(end) {}

    bool u32(std::uint32_t& value) {
        std::byte bytes[4];
        if (!fits(4) || !source_.read(position_, bytes)) return false;
        position_ += 4;
        value = decodeU32(bytes);
        return true;
    }

    bool u8(std::uint8_t& value) {
        std::byte byte[1];
        if (!fits(1) || !source_.read(position_, byte)) return false;
        position_ += 1;
        value = static_cast<std::uint8_t>(byte[0]);
        return true;
    }

    Result<std::string> string(const char* what) {
        std::uint32_t length = 0;
        if (!u32(length)) return fail(std::string(what) + ": length runs past the end of the directory");
        if (length > maxArchiveStringLength)
            return fail(std::string(what) + ": string of " + std::to_string(length) +
                        " bytes is longer than 519");
        std::string text(length, '\0');
        if (!fits(length) || !source_.read(position_, std::as_writable_bytes(std::span(text))))
            return fail(std::string(what) + ": string runs past the end of the directory");
        position_ += length;
        return text;
    }

private:
    bool fits(std::uint64_t length) const {
        return position_ <= end_ && length <= end_ - position_;
    }

    ArchiveSource& source_;
    std::uint64_t position_;
    std::uint64_t end_;
};

// Smallest stored size of one record, so a count can be checked against
// the bytes left before anything is reserved for it.
constexpr std::uint64_t minFileEntrySize = 4 + 4 + 1 + 4;
constexpr std::uint64_t minGroupItemSize = 4 + 4;
constexpr std::uint64_t minFolderSize = 4;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string_view withoutLeadingSeparator(std::string_view name) {
    if (!name.empty() && name.front() == '\\') name.remove_prefix(1);
    return name;
}

bool isSafeEntryName(std::string_view name) {
    name = withoutLeadingSeparator(name);
    if (name.empty() || isSeparator(name.front())) return false;
    if (name.find(':') != std::string_view::npos) return false;
    if (name.find('\0') != std::string_view::npos) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

Result<ArchiveDirectory> readArchiveDirectory(ArchiveSource& source) {
    const std::uint64_t fileSize = source.size();
    if (fileSize < trailerSize) return fail("trailer: the file is shorter than 20 bytes");
    const std::uint64_t trailerStart = fileSize - trailerSize;

    std::byte trailer[trailerSize];
    if (!source.read(trailerStart, trailer)) return fail("trailer: cannot be read");
    ArchiveDirectory directory;
    directory.directoryOffset = decodeU32(trailer);
    const std::uint32_t fileCount = decodeU32(trailer + 4);
    directory.totalBytes = decodeU32(trailer + 8);
    const std::uint32_t groupItemCount = decodeU32(trailer + 12);
    const std::uint32_t folderCount = decodeU32(trailer + 16);

    if (directory.directoryOffset > trailerStart)
        return fail("trailer: directory offset " + std::to_string(directory.directoryOffset) +
                    " lies beyond the directory's room");
    const std::uint64_t room = trailerStart - directory.directoryOffset;
    const std::uint64_t needed = fileCount * minFileEntrySize + groupItemCount * minGroupItemSize +
                                 folderCount * minFolderSize;
    if (needed > room) return fail("trailer: counts need more bytes than the directory holds");

    DirectoryCursor cursor(source, directory.directoryOffset, trailerStart);
    std::uint64_t sizeSum = 0;
    directory.files.reserve(fileCount);
    for (std::uint32_t i = 0; i < fileCount; ++i) {
        FileEntry entry;
        std::uint8_t flag = 0;
        if (!cursor.u32(entry.dataOffset) || !cursor.u32(entry.dataSize) || !cursor.u8(flag))
            return fail("file entry " + std::to_string(i) + ": runs past the end of the directory");
        entry.substitute = flag != 0;
        auto name = cursor.string("file entry name");
        if (!name) return name.failure();
        entry.name = std::move(*name);
        if (entry.dataOffset > fileSize || entry.dataSize > fileSize - entry.dataOffset)
            return fail("file entry \"" + entry.name + "\": data lies outside the file");
        if (!isSafeEntryName(entry.name))
            return fail("file entry \"" + entry.name + "\": name leaves the installation folder");
        sizeSum += entry.dataSize;
        directory.files.push_back(std::move(entry));
    }
    if (sizeSum > directory.totalBytes)
        return fail("trailer: total bytes " + std::to_string(directory.totalBytes) +
                    " is less than the entries' sizes");

    directory.groupItems.reserve(groupItemCount);
    for (std::uint32_t i = 0; i < groupItemCount; ++i) {
        auto title = cursor.string("group item title");
        if (!title) return title.failure();
        auto target = cursor.string("group item target");
        if (!target) return target.failure();
        if (!isSafeEntryName(*target))
            return fail("group item \"" + *title + "\": target leaves the installation folder");
        directory.groupItems.push_back({std::move(*title), std::move(*target)});
    }

    directory.folders.reserve(folderCount);
    for (std::uint32_t i = 0; i < folderCount; ++i) {
        auto folder = cursor.string("folder entry");
        if (!folder) return folder.failure();
        if (!isSafeEntryName(*folder))
            return fail("folder entry \"" + *folder + "\": name leaves the installation folder");
        directory.folders.push_back(std::move(*folder));
    }
    return directory;
}

Result<ArchiveDirectory> readArchiveDirectory(std::span<const std::byte> bytes) {
    MemoryArchiveSource source(bytes);
    return readArchiveDirectory(source);
}

Result<ArchiveDirectory> readArchiveDirectory(const std::filesystem::path& path) {
    FileArchiveSource source(path);
    if (!source.ok()) return fail(path.string() + ": cannot be opened");
    return readArchiveDirectory(source);
}

}  // namespace mivra::installer
