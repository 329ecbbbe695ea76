// Converts an MSFT type library that imports only the standard library into
// the SLTG format: test material for readers of that format.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "MsftTypeLibrary.h"
#include "SltgWriter.h"
#include "StandardOleLibrary.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: typelib_to_sltg msft.tlb sltg.tlb\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(chars.data()), chars.size());
    auto library = mivra::MsftTypeLibrary::open(bytes, [](const mivra::ImportedLibrary& wanted) {
        return wanted.guid == mivra::standardOleLibraryGuid
                   ? mivra::Result<const mivra::TypeSource*>(&mivra::standardOleLibrary())
                   : mivra::Result<const mivra::TypeSource*>(mivra::fail("only the standard library is imported"));
    });
    if (!library) {
        std::fprintf(stderr, "%s: %s\n", argv[1], library.failure().message.c_str());
        return 1;
    }
    auto sltg = mivra::test::writeSltg(**library);
    if (!sltg) {
        std::fprintf(stderr, "%s: %s\n", argv[1], sltg.failure().message.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(sltg->data()), static_cast<std::streamsize>(sltg->size()));
    return out ? 0 : 1;
}
