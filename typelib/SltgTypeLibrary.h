#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "ByteReader.h"
#include "MsftTypeLibrary.h"

namespace mivra {

// A type library in the older SLTG format, read on demand from its bytes,
// answering as the MSFT reader does. Every offset the file gives is checked
// before it is followed; counts are capped by the bytes that would hold them.
class SltgTypeLibrary final : public TypeSource {
public:
    // bytes must stay alive (owner keeps them) as long as this object.
    static Result<std::unique_ptr<SltgTypeLibrary>> open(std::span<const std::byte> blob,
                                                         ImportResolver resolveImport);

    uint32_t count() const override { return static_cast<uint32_t>(types_.size()); }
    uint32_t pointerSize() const override { return pointerSize_; }
    // Reference 0 stands for IDispatch of the standard library.
    int32_t dispatchReference() const override { return 0; }
    Result<Documentation> documentation(int32_t index) const override;
    Result<StoredType> type(uint32_t index) const override;
    Result<StoredFunction> function(uint32_t index, uint32_t k) const override;
    Result<StoredVariable> variable(uint32_t index, uint32_t k) const override;
    Result<TypeDescription> aliasType(uint32_t index) const override;
    Result<std::optional<uint32_t>> findMember(uint32_t index, int32_t memberId) const override;
    Result<std::pair<int32_t, int32_t>> classInterface(uint32_t index, uint32_t j) const override;
    Result<TypeLocation> resolve(int32_t reference) const override;
    Guid libraryGuid() const override { return libraryGuid_; }

private:
    // One entry of a type's reference table: a type of this library
    // (library -1) or of the library named at that name-table offset.
    struct Reference {
        int32_t library = -1;
        uint32_t type = 0;
        bool valid = false;
    };
    struct TypeBlock {
        ByteReader block;        // the type's whole block
        uint64_t items = 0;      // start of the member items, where item offsets count from
        uint64_t itemsLength = 0;
        uint64_t tail = 0;
        uint16_t nameOffset = 0;
        Guid guid;
        uint32_t kind = 0;
        uint16_t flags = 0;
        uint32_t firstReference = 0;  // its first entry in references_
        uint32_t referenceCount = 0;
    };
    // Where a type's functions and variables start, in chain order; made on
    // first use, so that reading every member costs one walk per type.
    struct MemberChains {
        std::vector<uint64_t> functions;
        std::vector<uint64_t> variables;
        std::vector<uint64_t> implemented;
        std::vector<std::pair<int32_t, uint32_t>> byId;  // (member id, position), sorted
    };

    SltgTypeLibrary(std::span<const std::byte> blob, ImportResolver resolveImport);
    Result<bool> read();
    Result<bool> readTypeBlock(TypeBlock& type, uint64_t offset, uint64_t length, uint32_t index);
    Result<bool> readReferences(TypeBlock& type, uint64_t table);
    Result<std::optional<std::string>> name(uint32_t offset) const;
    uint16_t tailWord(const TypeBlock& t, uint32_t field) const { return t.block.u16At(t.tail + field); }
    // Decodes the type words at `at` (an offset in the type's block); `end`
    // receives where they stop. `flags` receives the parameter flags the
    // first word carries.
    Result<TypeDescription> typeAt(const TypeBlock& t, uint64_t at, uint64_t* end, uint16_t* flags) const;
    Result<const MemberChains*> chains(uint32_t index) const;
    Result<TypeLocation> resolveImport(int32_t library, uint32_t typeNumber) const;

    ByteReader blob_;
    ImportResolver resolveImport_;
    uint32_t pointerSize_ = 4;
    uint64_t nameBase_ = 0;
    uint16_t libraryName_ = 0;
    std::optional<std::string> libraryDoc_;
    Guid libraryGuid_;
    std::vector<TypeBlock> types_;
    std::vector<Reference> references_;
    mutable std::vector<std::unique_ptr<MemberChains>> chains_;
    mutable std::unordered_map<int32_t, Result<const TypeSource*>> imports_;
};

}  // namespace mivra
