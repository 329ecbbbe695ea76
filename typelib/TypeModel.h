#pragma once

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
    std::vector<Guid> baseIids;  // the last one found first
};

// One creatable class of the library.
struct CoclassRecord {
    uint32_t typeIndex = 0;
    Guid clsid;
    std::string name;
    std::string docString;
    std::vector<const InterfaceRecord*> interfaces;  // most recently linked first
};

// What a generation knows of the loaded library: its creatable classes and
// its dispatch interfaces. The functions are read from the library itself
// while the writers run, so it stays loaded until the run is finished.
struct TypeModel {
    std::unique_ptr<TypeLibraryReader> library;
    std::string libraryName;
    std::string libraryDoc;
    std::vector<CoclassRecord> coclasses;
    std::unordered_map<std::string, InterfaceRecord> interfaces;  // by guidText of the IID

    void build(const TypeLibraryReader& reader);
    const InterfaceRecord* lookupInterface(const Guid& guid) const;
};

}  // namespace mivra
