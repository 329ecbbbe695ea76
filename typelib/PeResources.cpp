#include "PeResources.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>
#include <string>

#include "ByteReader.h"

namespace mivra {

namespace {

constexpr uint32_t maxSections = 96;
constexpr uint32_t subdirectoryBit = 0x80000000u;

// Bounds-checked little-endian reads of [start, start + length) of a
// source, each fetching only the bytes it decodes. Offsets start at 0;
// failures read like ByteReader's.
class SourceRange {
public:
    SourceRange() = default;
    // The range must lie inside the source.
    SourceRange(const ByteSource& source, uint64_t start, uint64_t length)
        : source_(&source), start_(start), length_(length) {}

    uint64_t size() const { return length_; }
    bool contains(uint64_t offset, uint64_t length) const { return offset <= length_ && length <= length_ - offset; }
    Result<uint16_t> u16(uint64_t offset, const char* what) const {
        auto bytes = fixed<2>(offset, what);
        if (!bytes) return bytes.failure();
        return ByteReader(*bytes).u16At(0);
    }
    Result<uint32_t> u32(uint64_t offset, const char* what) const {
        auto bytes = fixed<4>(offset, what);
        if (!bytes) return bytes.failure();
        return ByteReader(*bytes).u32At(0);
    }
    Result<std::vector<std::byte>> bytes(uint64_t offset, uint64_t length, const char* what) const {
        if (!contains(offset, length)) return outsideFailure(offset, length, length_, what);
        return source_->copy(start_ + offset, length);
    }

private:
    template <size_t N>
    Result<std::array<std::byte, N>> fixed(uint64_t offset, const char* what) const {
        if (!contains(offset, N)) return outsideFailure(offset, N, length_, what);
        std::array<std::byte, N> bytes;
        auto read = source_->read(start_ + offset, bytes);
        if (!read) return read.failure();
        return bytes;
    }

    const ByteSource* source_ = nullptr;
    uint64_t start_ = 0;
    uint64_t length_ = 0;
};

// Where a resource's bytes lie in the file.
struct Placement {
    uint64_t offset;
    uint32_t size;
};

struct Section {
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class PeImage {
public:
    explicit PeImage(const ByteSource& file) : source_(file), file_(file, 0, file.size()) {}

    Result<bool> readHeaders();
    // File range of [rva, rva + length), which must lie in one section's raw data.
    Result<uint64_t> fileOffset(uint32_t rva, uint32_t length, const char* what) const;
    // Resource type/id: the type "TYPELIB" by name when type is empty.
    Result<Placement> resource(std::optional<uint32_t> type, uint32_t id) const;

private:
    Result<uint32_t> findEntry(uint64_t tableOffset, bool named, uint32_t id, bool wantSubdirectory,
                               const char* level) const;

    const ByteSource& source_;
    SourceRange file_;
    std::vector<Section> sections_;
    uint32_t resourceRva_ = 0;
    uint32_t resourceSize_ = 0;
    SourceRange resources_;  // the resource directory, clipped to its section
};

Result<bool> PeImage::readHeaders() {
    if (file_.size() < 0x40) return fail("PE: file shorter than a DOS header");
    auto lfanew = file_.u32(0x3C, "PE: e_lfanew");
    if (!lfanew) return lfanew.failure();
    uint64_t nt = *lfanew;
    auto signature = file_.u32(nt, "PE: signature");
    if (!signature) return signature.failure();
    if (*signature != 0x00004550u) return fail("PE: no PE signature at " + hexText(nt));
    auto sectionCount = file_.u16(nt + 6, "PE: NumberOfSections");
    auto optionalSize = file_.u16(nt + 20, "PE: SizeOfOptionalHeader");
    if (!sectionCount) return sectionCount.failure();
    if (!optionalSize) return optionalSize.failure();
    if (*sectionCount > maxSections) return fail("PE: " + std::to_string(*sectionCount) + " sections");
    uint64_t optional = nt + 24;
    if (!file_.contains(optional, *optionalSize)) return fail("PE: optional header outside the file");
    auto magic = file_.u16(optional, "PE: optional header magic");
    if (!magic) return magic.failure();
    uint64_t countField, directories;
    if (*magic == 0x10B) {
        countField = 92;
        directories = 96;
    } else if (*magic == 0x20B) {
        countField = 108;
        directories = 112;
    } else {
        return fail("PE: optional header magic " + hexText(*magic));
    }
    if (*optionalSize < directories + 3 * 8) return fail("PE: optional header has no resource directory");
    auto optionalBytes = file_.bytes(optional, directories + 3 * 8, "PE: optional header");
    if (!optionalBytes) return optionalBytes.failure();
    ByteReader header(*optionalBytes);
    uint32_t directoryCount = header.u32At(countField);
    if (directoryCount <= 2) return fail("PE: no resource directory");
    resourceRva_ = header.u32At(directories + 16);
    resourceSize_ = header.u32At(directories + 20);
    if (resourceRva_ == 0) return fail("PE: no resources");

    uint64_t table = optional + *optionalSize;
    if (!file_.contains(table, uint64_t{*sectionCount} * 40)) return fail("PE: section table outside the file");
    auto tableBytes = file_.bytes(table, uint64_t{*sectionCount} * 40, "PE: section table");
    if (!tableBytes) return tableBytes.failure();
    ByteReader sections(*tableBytes);
    for (uint32_t i = 0; i < *sectionCount; ++i) {
        uint64_t at = uint64_t{i} * 40;
        sections_.push_back(
            {sections.u32At(at + 8), sections.u32At(at + 12), sections.u32At(at + 16), sections.u32At(at + 20)});
    }

    // The directory's bytes: from its start to the end of its section's raw
    // data, and no further than the size the header gives.
    for (const Section& s : sections_) {
        uint64_t span = std::max(s.virtualSize, s.rawSize);
        if (resourceRva_ < s.virtualAddress || resourceRva_ - uint64_t{s.virtualAddress} >= span) continue;
        uint64_t delta = resourceRva_ - uint64_t{s.virtualAddress};
        if (delta >= s.rawSize) return fail("PE: resource directory not in the file");
        uint64_t length = std::min<uint64_t>(s.rawSize - delta, resourceSize_);
        uint64_t start = uint64_t{s.rawOffset} + delta;
        if (!file_.contains(start, 0)) return fail("PE: resource directory outside the file");
        length = std::min<uint64_t>(length, file_.size() - start);
        resources_ = SourceRange(source_, start, length);
        return true;
    }
    return fail("PE: resource directory RVA " + hexText(resourceRva_) + " in no section");
}

Result<uint64_t> PeImage::fileOffset(uint32_t rva, uint32_t length, const char* what) const {
    for (const Section& s : sections_) {
        uint64_t span = std::max(s.virtualSize, s.rawSize);
        if (rva < s.virtualAddress || rva - uint64_t{s.virtualAddress} >= span) continue;
        uint64_t delta = rva - uint64_t{s.virtualAddress};
        if (delta > s.rawSize || length > s.rawSize - delta)
            return fail(std::string(what) + ": RVA " + hexText(rva) + " not in the file's raw data");
        uint64_t offset = uint64_t{s.rawOffset} + delta;
        if (!file_.contains(offset, length))
            return fail(std::string(what) + ": RVA " + hexText(rva) + " outside the file");
        return offset;
    }
    return fail(std::string(what) + ": RVA " + hexText(rva) + " in no section");
}

// Looks up an entry of the directory table at tableOffset (relative to the
// resource root): the named entry "TYPELIB" or the id entry `id`; with
// named == false and id == UINT32_MAX, the language entry to take.
Result<uint32_t> PeImage::findEntry(uint64_t tableOffset, bool named, uint32_t id, bool wantSubdirectory,
                                    const char* level) const {
    auto namedCount = resources_.u16(tableOffset + 12, level);
    auto idCount = resources_.u16(tableOffset + 14, level);
    if (!namedCount) return namedCount.failure();
    if (!idCount) return idCount.failure();
    uint64_t total = uint64_t{*namedCount} + *idCount;
    if (!resources_.contains(tableOffset + 16, total * 8))
        return fail(std::string(level) + ": entries outside the resource directory");
    auto entryBytes = resources_.bytes(tableOffset + 16, total * 8, level);
    if (!entryBytes) return entryBytes.failure();
    ByteReader entries(*entryBytes);
    auto entry = [](uint64_t k) { return k * 8; };
    std::optional<uint64_t> chosen;
    if (named) {
        static const char typelib[] = "TYPELIB";
        for (uint64_t k = 0; k < *namedCount && !chosen; ++k) {
            uint32_t name = entries.u32At(entry(k));
            if (!(name & subdirectoryBit)) continue;
            uint64_t at = name & ~subdirectoryBit;
            auto length = resources_.u16(at, "PE: resource name");
            if (!length) return length.failure();
            if (*length != 7 || !resources_.contains(at + 2, 14)) continue;
            auto text = resources_.bytes(at + 2, 14, "PE: resource name");
            if (!text) return text.failure();
            bool same = true;
            for (int c = 0; c < 7 && same; ++c) {
                uint16_t ch = ByteReader(*text).u16At(2 * c);
                if (ch >= 'a' && ch <= 'z') ch = static_cast<uint16_t>(ch - 'a' + 'A');
                same = ch == static_cast<uint16_t>(typelib[c]);
            }
            if (same) chosen = k;
        }
    } else if (id != UINT32_MAX) {
        for (uint64_t k = *namedCount; k < total && !chosen; ++k)
            if ((entries.u32At(entry(k)) & 0xFFFF) == id && !(entries.u32At(entry(k)) & subdirectoryBit))
                chosen = k;
    } else {
        for (uint32_t language : {0u, 0x409u})
            for (uint64_t k = *namedCount; k < total && !chosen; ++k)
                if (entries.u32At(entry(k)) == language) chosen = k;
        if (!chosen && total > 0) chosen = 0;
    }
    if (!chosen) return fail(std::string(level) + ": not found");
    uint32_t target = entries.u32At(entry(*chosen) + 4);
    if (bool(target & subdirectoryBit) != wantSubdirectory)
        return fail(std::string(level) + ": entry of the wrong kind");
    return target & ~subdirectoryBit;
}

Result<Placement> PeImage::resource(std::optional<uint32_t> type, uint32_t id) const {
    auto types = findEntry(0, !type, type.value_or(0), true, "PE resources: TYPELIB type");
    if (!types) return types.failure();
    auto names = findEntry(*types, false, id, true, "PE resources: TYPELIB id");
    if (!names) return names.failure();
    auto data = findEntry(*names, false, UINT32_MAX, false, "PE resources: TYPELIB language");
    if (!data) return data.failure();
    auto rva = resources_.u32(*data, "PE resources: data entry");
    auto size = resources_.u32(uint64_t{*data} + 4, "PE resources: data entry size");
    if (!rva) return rva.failure();
    if (!size) return size.failure();
    if (*size < 4) return fail("PE resources: TYPELIB resource of " + std::to_string(*size) + " bytes");
    auto offset = fileOffset(*rva, *size, "PE resources: TYPELIB data");
    if (!offset) return offset.failure();
    return Placement{*offset, *size};
}

Result<Placement> placement(const ByteSource& file, std::optional<uint32_t> type, uint32_t id) {
    PeImage image(file);
    auto headers = image.readHeaders();
    if (!headers) return headers.failure();
    return image.resource(type, id);
}

Result<std::span<const std::byte>> resourceBytes(std::span<const std::byte> file, std::optional<uint32_t> type,
                                                 uint32_t id) {
    SpanByteSource source(file);
    auto found = placement(source, type, id);
    if (!found) return found.failure();
    return file.subspan(found->offset, found->size);
}

}  // namespace

bool looksLikeExecutable(std::span<const std::byte> file) {
    return file.size() >= 2 && file[0] == std::byte{'M'} && file[1] == std::byte{'Z'};
}

bool looksLikeExecutable(const ByteSource& file) {
    std::array<std::byte, 2> start;
    return file.size() >= 2 && file.read(0, start) && looksLikeExecutable(start);
}

Result<std::span<const std::byte>> findTypeLibResource(std::span<const std::byte> file, uint32_t id) {
    return resourceBytes(file, std::nullopt, id);
}

Result<std::vector<std::byte>> readTypeLibResource(const ByteSource& file, uint32_t id) {
    auto found = placement(file, std::nullopt, id);
    if (!found) return found.failure();
    return file.copy(found->offset, found->size);
}

Result<std::span<const std::byte>> findResource(std::span<const std::byte> file, uint32_t type, uint32_t id) {
    return resourceBytes(file, type, id);
}

}  // namespace mivra
