// Writes a copy of an MSFT type library with fields of its type records
// replaced, to build the shapes that other compilers write and widl does not:
//   PatchTypeLibrary IN OUT TYPE OFFSET SIZE VALUE [TYPE OFFSET SIZE VALUE]...
// SIZE is 2 or 4; VALUE is decimal and may be negative, or @N for the same
// field of type N. TYPE/K names the K-th function record of TYPE instead,
// OFFSET then counting from that record (VALUE a number).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t u32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7 || (argc - 3) % 4 != 0) {
        std::fprintf(stderr, "usage: PatchTypeLibrary IN OUT TYPE OFFSET SIZE VALUE...\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 0x54 || u32(bytes, 0) != 0x5446534Du) {
        std::fprintf(stderr, "%s: not an MSFT type library\n", argv[1]);
        return 1;
    }
    uint32_t types = u32(bytes, 0x20);
    size_t directory = 0x54 + size_t(types) * 4 + ((u32(bytes, 0x14) & 0x100) ? 4 : 0);
    size_t records = u32(bytes, directory);
    for (int a = 3; a + 3 < argc; a += 4) {
        std::string target = argv[a];
        unsigned long type = std::stoul(target);
        size_t at = records + type * 100 + std::stoul(argv[a + 1], nullptr, 0);
        if (size_t slash = target.find('/'); slash != std::string::npos && type < types) {
            // Records follow one another from memoffset + 4, each starting
            // with its length.
            size_t record = size_t(u32(bytes, records + type * 100 + 4)) + 4;
            for (unsigned long k = std::stoul(target.substr(slash + 1)); k > 0 && record + 4 <= bytes.size(); --k)
                record += u32(bytes, record) & 0xFFFF;
            at = record + std::stoul(argv[a + 1], nullptr, 0);
        }
        int size = std::stoi(argv[a + 2]);
        std::string text = argv[a + 3];
        size_t from = text[0] == '@' ? records + std::stoul(text.substr(1)) * 100 + (at - records) % 100 : 0;
        if (type >= types || (size != 2 && size != 4) || at + size > bytes.size() || from + size > bytes.size()) {
            std::fprintf(stderr, "field of type %lu outside the library\n", type);
            return 1;
        }
        long long value = text[0] == '@' ? (size == 2 ? bytes[from] | bytes[from + 1] << 8 : u32(bytes, from))
                                         : std::stoll(text);
        for (int b = 0; b < size; ++b) bytes[at + b] = static_cast<unsigned char>(uint64_t(value) >> (8 * b));
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
