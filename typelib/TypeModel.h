#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Guid.h"
#include "TypeLibraryReader.h"

namespace mivra {

// One dispatch interface of the library.
struct InterfaceRecord {
    uint32_t typeIndex = 0;
    Guid iid;
    std::string name;
    std::string docString;
    // The dispatch interfaces among its own implemented types, the last one
    // found first.
    std::vector<Guid> baseIids;
};

// One creatable class.
struct CoclassRecord {
    uint32_t typeIndex = 0;
    Guid clsid;
    std::string name;
    std::string docString;
    // The dispatch interfaces the class exposes, most recently linked first.
    std::vector<const InterfaceRecord*> interfaces;
};

// Interface records keyed by guidText of the IID. Iteration runs bucket by
// bucket through 17 buckets of a string hash (h = h * 33 + character), the
// most recently inserted key of a bucket first: the order in which the
// generated files have always listed a library's interfaces. A second record
// with the same key replaces the first in place.
class InterfaceTable {
public:
    static constexpr size_t bucketCount = 17;

    void insert(InterfaceRecord record);
    const InterfaceRecord* find(const std::string& key) const;
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear();

    // Records in iteration order.
    std::vector<const InterfaceRecord*> inOrder() const;

private:
    static size_t bucketOf(const std::string& key);

    // Each bucket holds its records oldest first (iteration reads it from the
    // back), so that an insertion appends; index_ finds a record by key.
    std::array<std::vector<std::unique_ptr<InterfaceRecord>>, bucketCount> buckets_;
    std::unordered_map<std::string, InterfaceRecord*> index_;
    size_t size_ = 0;
};

// What the generator knows about the loaded library: its creatable classes,
// its dispatch interfaces and which class exposes which.
struct TypeModel {
    std::unique_ptr<TypeLibraryReader> library;
    std::string libraryName;
    std::string libraryDoc;
    std::vector<CoclassRecord> coclasses;  // ascending typeIndex
    InterfaceTable interfaces;

    // Fills the records from the loaded library (two passes over its types,
    // then the library's own documentation). Reports nothing; a type whose
    // description cannot be read is passed over.
    void build();
    const InterfaceRecord* lookupInterface(const Guid& iid) const;
    // Releases the library, keeping the records.
    void releaseLibrary();
    // Empties the records and releases the library.
    void clear();

private:
    void distinguishNames();
};

}  // namespace mivra
