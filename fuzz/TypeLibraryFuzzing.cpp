#include "TypeLibraryFuzzing.h"

#include <vector>

#include "FileTypeLibraryReader.h"
#include "LibraryDump.h"
#include "RawDump.h"
#include "ResolvedLibrary.h"
#include "TypeModel.h"

namespace mivra {

namespace {

// Follows every reference of the resolved model the way a writer would:
// each entry a type names must be in the model.
void walkType(const ResolvedLibrary& library, const TypeRef& type, std::string& out) {
    for (const TypeRef* t = &type; t; t = t->element.get())
        if (const ResolvedType* target = library.typeOf(*t)) out += target->name.value_or("");
}

void walkResolved(const ResolvedLibrary& library, std::string& out) {
    for (const ResolvedType& t : library.types) {
        for (const ResolvedFunction& f : t.functions) {
            walkType(library, f.result, out);
            for (const ResolvedParameter& p : f.params) walkType(library, p.type, out);
        }
        for (const ResolvedVariable& v : t.variables) walkType(library, v.type, out);
        if (t.alias) walkType(library, *t.alias, out);
        for (const ResolvedImplementedType& impl : t.implemented)
            if (impl.available) out += library.types.at(size_t(impl.type)).name.value_or("");
        if (t.dualBase == ResolvedType::DualBase::Found) out += library.types.at(size_t(t.dualBaseType)).name.value_or("");
        if (t.interfaceView >= 0) out += library.types.at(size_t(t.interfaceView)).name.value_or("");
    }
}

}  // namespace

void exerciseTypeLibrary(const uint8_t* data, size_t size) {
    std::vector<std::byte> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = std::byte(data[i]);
    for (uint32_t resource : {1u, 2u}) {
        auto reader = makeFileTypeLibraryReader();
        if (!reader->loadBytes(bytes, resource)) continue;
        std::string out;
        writeRawDump(*reader, out);
        writeLibraryDump(*reader, out);
        if (auto resolved = resolve(*reader)) {
            writeResolvedDump(*resolved, out);
            walkResolved(*resolved, out);
        }
        for (uint32_t i = 0; i < reader->typeInfoCount(); ++i) {
            auto attributes = reader->typeAttributes(i);
            if (!attributes) continue;
            for (uint32_t j = 0; j <= attributes->implTypeCount; ++j) (void)reader->implementedType(i, j);
            for (int32_t id : {-1, 0, 0x60000000, 0x7FFFFFFF}) {
                (void)reader->names(i, id, 100);
                (void)reader->memberDocString(i, id);
            }
        }
        TypeModel model;
        model.library = std::move(reader);
        model.build();
        for (const CoclassRecord& coclass : model.coclasses)
            for (const InterfaceRecord* record : coclass.interfaces) out += record->name;
        for (const InterfaceRecord* record : model.interfaces.inOrder()) out += record->docString;
        model.clear();
    }
}

}  // namespace mivra
