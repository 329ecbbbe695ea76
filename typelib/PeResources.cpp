#include "PeResources.h"

#include <algorithm>
#include <optional>
#include <vector>
#include <string>

#include "ByteReader.h"

namespace mivra {

namespace {

constexpr uint32_t maxSections = 96;
constexpr uint32_t subdirectoryBit = 0x80000000u;

struct Section {
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class PeImage {
public:
    explicit PeImage(std::span<const std::byte> file) : file_(file) {}

    Result<bool> readHeaders();
    // File range of [rva, rva + length), which must lie in one section's raw data.
    Result<uint64_t> fileOffset(uint32_t rva, uint32_t length, const char* what) const;
    // Resource type/id: the type "TYPELIB" by name when type is empty.
    Result<std::span<const std::byte>> resource(std::optional<uint32_t> type, uint32_t id) const;

private:
    Result<uint32_t> findEntry(uint64_t tableOffset, bool named, uint32_t id, bool wantSubdirectory,
                               const char* level) const;

    ByteReader file_;
    std::vector<Section> sections_;
    uint32_t resourceRva_ = 0;
    uint32_t resourceSize_ = 0;
    ByteReader resources_;  // the resource directory, clipped to its section
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
    uint32_t directoryCount = file_.u32At(optional + countField);
    if (directoryCount <= 2) return fail("PE: no resource directory");
    resourceRva_ = file_.u32At(optional + directories + 16);
    resourceSize_ = file_.u32At(optional + directories + 20);
    if (resourceRva_ == 0) return fail("PE: no resources");

    uint64_t table = optional + *optionalSize;
    if (!file_.contains(table, uint64_t{*sectionCount} * 40)) return fail("PE: section table outside the file");
    for (uint32_t i = 0; i < *sectionCount; ++i) {
        uint64_t at = table + uint64_t{i} * 40;
        sections_.push_back(
            {file_.u32At(at + 8), file_.u32At(at + 12), file_.u32At(at + 16), file_.u32At(at + 20)});
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
        auto dir = file_.sub(start, length, "PE: resource directory");
        if (!dir) return dir.failure();
        resources_ = *dir;
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
    auto entry = [&](uint64_t k) { return tableOffset + 16 + k * 8; };
    std::optional<uint64_t> chosen;
    if (named) {
        static const char typelib[] = "TYPELIB";
        for (uint64_t k = 0; k < *namedCount && !chosen; ++k) {
            uint32_t name = resources_.u32At(entry(k));
            if (!(name & subdirectoryBit)) continue;
            uint64_t at = name & ~subdirectoryBit;
            auto length = resources_.u16(at, "PE: resource name");
            if (!length) return length.failure();
            if (*length != 7 || !resources_.contains(at + 2, 14)) continue;
            bool same = true;
            for (int c = 0; c < 7 && same; ++c) {
                uint16_t ch = resources_.u16At(at + 2 + 2 * c);
                if (ch >= 'a' && ch <= 'z') ch = static_cast<uint16_t>(ch - 'a' + 'A');
                same = ch == static_cast<uint16_t>(typelib[c]);
            }
            if (same) chosen = k;
        }
    } else if (id != UINT32_MAX) {
        for (uint64_t k = *namedCount; k < total && !chosen; ++k)
            if ((resources_.u32At(entry(k)) & 0xFFFF) == id && !(resources_.u32At(entry(k)) & subdirectoryBit))
                chosen = k;
    } else {
        for (uint32_t language : {0u, 0x409u})
            for (uint64_t k = *namedCount; k < total && !chosen; ++k)
                if (resources_.u32At(entry(k)) == language) chosen = k;
        if (!chosen && total > 0) chosen = 0;
    }
    if (!chosen) return fail(std::string(level) + ": not found");
    uint32_t target = resources_.u32At(entry(*chosen) + 4);
    if (bool(target & subdirectoryBit) != wantSubdirectory)
        return fail(std::string(level) + ": entry of the wrong kind");
    return target & ~subdirectoryBit;
}

Result<std::span<const std::byte>> PeImage::resource(std::optional<uint32_t> type, uint32_t id) const {
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
    return file_.bytes().subspan(*offset, *size);
}

}  // namespace

bool looksLikeExecutable(std::span<const std::byte> file) {
    return file.size() >= 2 && file[0] == std::byte{'M'} && file[1] == std::byte{'Z'};
}

Result<std::span<const std::byte>> findTypeLibResource(std::span<const std::byte> file, uint32_t id) {
    PeImage image(file);
    auto headers = image.readHeaders();
    if (!headers) return headers.failure();
    return image.resource(std::nullopt, id);
}

Result<std::span<const std::byte>> findResource(std::span<const std::byte> file, uint32_t type, uint32_t id) {
    PeImage image(file);
    auto headers = image.readHeaders();
    if (!headers) return headers.failure();
    return image.resource(type, id);
}

}  // namespace mivra
