#include "TypeLibraryFuzzing.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FileTypeLibraryReader.h"
#include "LibraryDump.h"
#include "RawDump.h"
#include "ReaderInvariants.h"
#include "TypeModel.h"

namespace mivra {

namespace {

// A broken promise is a finding: the fuzzer keeps the input that made it.
void require(bool held, const std::string& what) {
    if (held) return;
    std::fprintf(stderr, "type-library reader: %s\n", what.c_str());
    std::abort();
}

}  // namespace

void exerciseTypeLibrary(const uint8_t* data, size_t size) {
    std::vector<std::byte> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = std::byte(data[i]);
    for (uint32_t resource : {1u, 2u}) {
        auto reader = makeFileTypeLibraryReader();
        auto loaded = reader->loadBytes(bytes, resource);
        if (!loaded) {
            require(!loaded.failure().message.empty(), "a refusal without a message");
            continue;
        }
        std::string out, again;
        writeRawDump(*reader, out);
        writeRawDump(*reader, again);
        require(out == again, "the raw dump differs when written again");
        writeLibraryDump(*reader, out);
        std::string broken = brokenReaderPromise(*reader, size);
        require(broken.empty(), broken);
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
