#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ByteReader.h"
#include "TypeSource.h"

namespace mivra {

// What an import record names: the library a referenced type lives in.
struct ImportedLibrary {
    Guid guid;
    uint16_t major = 0;
    uint16_t minor = 0;
    int32_t lcid = 0;
    std::string fileName;
};

using ImportResolver = std::function<Result<const TypeSource*>(const ImportedLibrary&)>;

// A type library in the MSFT format, read on demand from its bytes. Every
// offset the file gives is checked before it is followed.
class MsftTypeLibrary final : public TypeSource {
public:
    // bytes must stay alive (owner keeps them) as long as this object.
    static Result<std::unique_ptr<MsftTypeLibrary>> open(std::span<const std::byte> blob,
                                                         ImportResolver resolveImport);

    uint32_t count() const override { return typeCount_; }
    uint32_t pointerSize() const override { return pointerSize_; }
    int32_t dispatchReference() const override { return dispatchReference_; }
    Result<Documentation> documentation(int32_t index) const override;
    Result<StoredType> type(uint32_t index) const override;
    Result<StoredFunction> function(uint32_t index, uint32_t k) const override;
    Result<StoredVariable> variable(uint32_t index, uint32_t k) const override;
    Result<TypeDescription> aliasType(uint32_t index) const override;
    Result<std::optional<uint32_t>> findMember(uint32_t index, int32_t memberId) const override;
    std::optional<uint64_t> memberBlockKey(uint32_t index) const override;
    Result<std::pair<int32_t, int32_t>> classInterface(uint32_t index, uint32_t j) const override;
    Result<TypeLocation> resolve(int32_t reference) const override;
    std::optional<uint32_t> typeWithGuid(const Guid& guid) const override;

    Guid libraryGuid() const override { return libraryGuid_; }

private:
    struct Segment {
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    struct MemberBlock {
        uint64_t records = 0;  // start of the records (memoffset + 4)
        uint64_t infoLength = 0;
        uint64_t arrays = 0;  // memid, name and offset arrays
        uint32_t count = 0;   // functions + variables
        uint32_t funcCount = 0;
    };

    MsftTypeLibrary(std::span<const std::byte> blob, ImportResolver resolveImport);
    Result<bool> readHeader();

    uint64_t typeRecord(uint32_t index) const { return segments_[0].offset + uint64_t{index} * 100; }
    Result<MemberBlock> memberBlock(uint32_t index) const;
    Result<std::optional<std::string>> name(int32_t offset) const;
    Result<std::optional<std::string>> string(int32_t offset) const;
    Result<Guid> guid(int32_t offset, const char* what) const;
    Result<TypeDescription> typeDescription(int32_t encoded, int depth) const;
    // A constant or default value as OLE Automation copies it; nothing when
    // VariantCopy would refuse it or it lies outside the library.
    std::optional<ConstantValue> value(int32_t encoded) const;
    Result<TypeLocation> resolveImport(int32_t reference) const;
    Result<TypeLocation> followImport(int32_t reference) const;

    ByteReader blob_;
    ImportResolver resolveImport_;
    std::array<Segment, 15> segments_{};
    uint32_t typeCount_ = 0;
    uint32_t pointerSize_ = 4;
    int32_t dispatchReference_ = -1;
    int32_t nameOffset_ = -1;
    int32_t docOffset_ = -1;
    Guid libraryGuid_;
    // OLE Automation finds a local type by the owner recorded in the name
    // table entry of its name, the first type claiming a given owner wins.
    std::unordered_map<int32_t, uint32_t> typeByNameOwner_;
    // Per type, its members' (id, position) sorted by id then position; made
    // on first use, since names and doc strings are looked up by id.
    mutable std::vector<std::vector<std::pair<int32_t, uint32_t>>> memberIndex_;
    mutable std::vector<bool> memberIndexMade_;
    // Type records read and checked, asked for again with every member.
    mutable std::vector<std::optional<StoredType>> types_;
    Result<StoredType> readType(uint32_t index) const;
    // Per class, the offsets of its implemented-interface records in chain
    // order; a negative entry marks where the chain broke off.
    mutable std::unordered_map<uint32_t, std::vector<int32_t>> classChains_;
    mutable std::unordered_map<int32_t, Result<TypeLocation>> importCache_;
    // Per type, for each function the name offset of the nearest named
    // function before it (-1 none); made when an unnamed function is read.
    mutable std::unordered_map<uint32_t, std::vector<int32_t>> inheritedNames_;
    // The function record read last, by its offset in the blob.
    mutable std::optional<StoredFunction> lastRecord_;
    mutable uint64_t lastRecordOffset_ = 0;
    // The first readable type of each GUID, by guidText; made on first use,
    // since every reference to a type imported by GUID asks for it.
    mutable std::unordered_map<std::string, uint32_t> typesByGuid_;
    mutable bool typesByGuidMade_ = false;
};

}  // namespace mivra
