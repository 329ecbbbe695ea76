#pragma once

#include <string>

#include "TypeLibraryReader.h"

namespace mivra {

// What a loaded library promises whatever its bytes: every question is
// answered with a value or with a failure that says why, the answers agree
// with the counts the library gives, and asking again gives the same answer.
// Walks the whole library; returns the first promise broken, empty if none.
inline std::string brokenReaderPromise(const TypeLibraryReader& reader, size_t fileSize) {
    auto place = [](uint32_t i, const char* what) { return "type " + std::to_string(i) + ": " + what; };
    auto silent = [](const Failure& f) { return f.message.empty(); };
    // Each type takes a 100-byte record of the file.
    if (uint64_t{reader.typeInfoCount()} * 100 > fileSize) return "more types than the file can hold";
    auto library = reader.documentation(-1);
    if (!library && silent(library.failure())) return "library documentation failed without a message";
    for (uint32_t i = 0; i < reader.typeInfoCount(); ++i) {
        auto attributes = reader.typeAttributes(i);
        if (!attributes) {
            if (silent(attributes.failure())) return place(i, "attributes failed without a message");
            continue;
        }
        auto again = reader.typeAttributes(i);
        if (!again || !(again->guid == attributes->guid) || again->funcCount != attributes->funcCount)
            return place(i, "attributes differ when asked again");
        auto doc = reader.documentation(static_cast<int32_t>(i));
        if (!doc && silent(doc.failure())) return place(i, "documentation failed without a message");
        for (uint32_t j = 0; j <= attributes->implTypeCount; ++j) {
            auto implemented = reader.implementedType(i, j);
            if (!implemented && silent(implemented.failure())) return place(i, "implemented type failed without a message");
        }
        for (uint32_t k = 0; k < attributes->funcCount; ++k) {
            auto f = reader.function(i, k);
            if (!f) {
                if (silent(f.failure())) return place(i, "function failed without a message");
                continue;
            }
            if (f->paramCount < 0 || static_cast<size_t>(f->paramCount) != f->params.size())
                return place(i, "parameter count differs from the parameters");
            uint32_t room = static_cast<uint32_t>(f->params.size()) + 1;
            auto names = reader.names(i, f->memberId, room);
            if (!names) {
                if (silent(names.failure())) return place(i, "names failed without a message");
            } else if (names->size() > room) {
                return place(i, "more names than asked for");
            }
            auto second = reader.function(i, k);
            if (!second || second->memberId != f->memberId || second->params.size() != f->params.size())
                return place(i, "function differs when asked again");
        }
        if (reader.function(i, attributes->funcCount)) return place(i, "a function past the function count");
        for (int32_t id : {-1, 0, 0x7FFFFFFF}) {
            auto names = reader.names(i, id, 4);
            if (!names && silent(names.failure())) return place(i, "names of an id failed without a message");
            (void)reader.memberDocString(i, id);
        }
    }
    return {};
}

}  // namespace mivra
