#include "ArchivePacker.h"

#include <fstream>
#include <limits>
#include <sstream>

#include "InstallNames.h"

namespace mivra::installer {

namespace {

void putU32(std::vector<std::byte>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::byte>((value >> shift) & 0xFF));
}

void putString(std::vector<std::byte>& out, const std::string& text) {
    putU32(out, static_cast<std::uint32_t>(text.size()));
    for (char c : text) out.push_back(static_cast<std::byte>(c));
}

Result<bool> checkContent(const ArchiveContent& content) {
    auto checkString = [](const std::string& text, const char* what) -> Result<bool> {
        if (text.size() > maxArchiveStringLength)
            return fail(std::string(what) + " \"" + text + "\" is longer than 519 bytes");
        return true;
    };
    for (const auto& file : content.files) {
        if (!isSafeEntryName(file.name))
            return fail("file name \"" + file.name + "\" leaves the installation folder");
        if (auto ok = checkString(file.name, "file name"); !ok) return ok;
    }
    for (const auto& item : content.groupItems) {
        if (!isSafeEntryName(item.target))
            return fail("group target \"" + item.target + "\" leaves the installation folder");
        if (auto ok = checkString(item.title, "group title"); !ok) return ok;
        if (auto ok = checkString(item.target, "group target"); !ok) return ok;
    }
    for (const auto& folder : content.folders) {
        if (!isSafeEntryName(folder)) return fail("folder \"" + folder + "\" leaves the installation folder");
        if (auto ok = checkString(folder, "folder"); !ok) return ok;
    }
    return true;
}

constexpr std::uint64_t maxOffset = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::vector<std::byte> encodeDirectory(const ArchiveDirectory& directory) {
    std::vector<std::byte> out;
    for (const auto& file : directory.files) {
        putU32(out, file.dataOffset);
        putU32(out, file.dataSize);
        out.push_back(static_cast<std::byte>(file.substitute ? 1 : 0));
        putString(out, file.name);
    }
    for (const auto& item : directory.groupItems) {
        putString(out, item.title);
        putString(out, item.target);
    }
    for (const auto& folder : directory.folders) putString(out, folder);
    putU32(out, directory.directoryOffset);
    putU32(out, static_cast<std::uint32_t>(directory.files.size()));
    putU32(out, directory.totalBytes);
    putU32(out, static_cast<std::uint32_t>(directory.groupItems.size()));
    putU32(out, static_cast<std::uint32_t>(directory.folders.size()));
    return out;
}

Result<std::vector<std::byte>> buildInstallerArchive(std::span<const std::byte> image,
                                                     const ArchiveContent& content) {
    if (auto ok = checkContent(content); !ok) return ok.failure();
    std::vector<std::byte> out(image.begin(), image.end());
    ArchiveDirectory directory;
    std::uint64_t total = 0;
    for (const auto& file : content.files) {
        if (out.size() > maxOffset || file.bytes.size() > maxOffset - out.size())
            return fail("archive grows beyond 4 GB at \"" + file.name + "\"");
        directory.files.push_back({static_cast<std::uint32_t>(out.size()),
                                   static_cast<std::uint32_t>(file.bytes.size()), file.substitute,
                                   file.name});
        out.insert(out.end(), file.bytes.begin(), file.bytes.end());
        total += file.bytes.size();
    }
    if (out.size() > maxOffset) return fail("archive grows beyond 4 GB");
    directory.directoryOffset = static_cast<std::uint32_t>(out.size());
    directory.totalBytes = static_cast<std::uint32_t>(total);
    directory.groupItems = content.groupItems;
    directory.folders = content.folders;
    auto encoded = encodeDirectory(directory);
    out.insert(out.end(), encoded.begin(), encoded.end());
    return out;
}

Result<std::vector<std::byte>> buildUninstallList(std::span<const std::byte> image, const ArchiveContent& content,
                                                  std::string_view uninstallerName) {
    if (auto ok = checkContent(content); !ok) return ok.failure();
    if (image.size() > maxOffset) return fail("uninstaller image is larger than 4 GB");
    std::vector<std::byte> out(image.begin(), image.end());
    ArchiveDirectory directory;
    directory.directoryOffset = static_cast<std::uint32_t>(image.size());
    for (const auto& file : content.files) {
        if (equalsIgnoringCase(file.name, uninstallerName)) continue;
        directory.files.push_back({0, 0, file.substitute, file.name});
    }
    directory.groupItems = content.groupItems;
    directory.folders = content.folders;
    auto encoded = encodeDirectory(directory);
    out.insert(out.end(), encoded.begin(), encoded.end());
    return out;
}

Result<PackManifest> parsePackManifest(const std::string& text) {
    PackManifest manifest;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            const auto tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        const auto& kind = fields[0];
        if ((kind == "file" || kind == "substitute") && fields.size() == 3)
            manifest.files.push_back({fields[1], fields[2], kind == "substitute"});
        else if (kind == "group" && fields.size() == 3)
            manifest.groupItems.push_back({fields[1], fields[2]});
        else if (kind == "folder" && fields.size() == 2)
            manifest.folders.push_back(fields[1]);
        else
            return fail("manifest line " + std::to_string(number) + ": not understood: " + line);
    }
    return manifest;
}

namespace {

Result<std::vector<std::byte>> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(path.string() + ": cannot be opened");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = std::move(buffer).str();
    const auto* begin = reinterpret_cast<const std::byte*>(text.data());
    return std::vector<std::byte>(begin, begin + text.size());
}

}  // namespace

Result<bool> packFiles(PackKind kind, const std::filesystem::path& program,
                       const PackManifest& manifest, const std::filesystem::path& output) {
    auto image = readWholeFile(program);
    if (!image) return image.failure();
    ArchiveContent content;
    content.groupItems = manifest.groupItems;
    content.folders = manifest.folders;
    for (const auto& file : manifest.files) {
        ArchiveContent::File packed{file.name, {}, file.substitute};
        if (kind == PackKind::installer) {
            auto bytes = readWholeFile(file.source);
            if (!bytes) return bytes.failure();
            packed.bytes = std::move(*bytes);
        }
        content.files.push_back(std::move(packed));
    }
    auto archive = kind == PackKind::installer ? buildInstallerArchive(*image, content)
                                               : buildUninstallList(*image, content, output.filename().string());
    if (!archive) return archive.failure();

    std::error_code error;
    std::filesystem::remove(output, error);
    {
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        if (!out) return fail(output.string() + ": cannot be created");
        out.write(reinterpret_cast<const char*>(archive->data()), static_cast<std::streamsize>(archive->size()));
        if (!out) return fail(output.string() + ": cannot be written");
    }
    const auto permissions = std::filesystem::status(program, error).permissions();
    if (!error) std::filesystem::permissions(output, permissions, error);
    return true;
}

}  // namespace mivra::installer
