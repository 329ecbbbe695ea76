#pragma once

#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TypeLibraryReader.h"

namespace mivra::test {

inline std::string libraryPath(const std::string& name) { return std::string(MIVRA_TEST_LIBRARIES) + "/" + name; }

inline std::vector<std::byte> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    for (size_t i = 0; i < chars.size(); ++i) bytes[i] = std::byte(static_cast<unsigned char>(chars[i]));
    return bytes;
}

// Asks the reader for everything it can tell, as the generator and the dump
// do; returns how many functions could be read.
inline size_t walkEverything(const TypeLibraryReader& reader) {
    size_t functions = 0;
    (void)reader.documentation(-1);
    for (uint32_t i = 0; i < reader.typeInfoCount(); ++i) {
        auto attributes = reader.typeAttributes(i);
        (void)reader.documentation(static_cast<int32_t>(i));
        if (!attributes) continue;
        for (uint32_t j = 0; j < attributes->implTypeCount + 1u; ++j) (void)reader.implementedType(i, j);
        for (uint32_t k = 0; k < attributes->funcCount + 1u; ++k) {
            auto f = reader.function(i, k);
            if (!f) continue;
            ++functions;
            (void)reader.names(i, f->memberId, static_cast<uint32_t>(f->params.size()) + 1);
            (void)reader.memberDocString(i, f->memberId);
        }
        (void)reader.names(i, 0x7FFFFFFF, 4);
        (void)reader.memberDocString(i, -1);
    }
    return functions;
}

}  // namespace mivra::test
