#include <cstddef>
#include <cstdint>

#include "TypeLibraryFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mivra::exerciseTypeLibrary(data, size);
    return 0;
}
