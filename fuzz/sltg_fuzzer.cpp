#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "TypeLibraryFuzzing.h"

// Every input is taken as an SLTG library: mutations of the signature would
// otherwise send most inputs away from that format's reader.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    std::memcpy(bytes.data(), "SLTG", 4);
    mivra::exerciseTypeLibrary(bytes.data(), bytes.size());
    return 0;
}
