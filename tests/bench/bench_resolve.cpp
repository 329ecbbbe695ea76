// Reads a library completely into the resolved model and prints the time,
// for Wine's mshtml.tlb and for libraries made to punish work that grows
// faster than the library: one interface of N functions compiled with widl,
// then rewritten so that all but the first are unnamed (each shares the
// name before it), or so that all share one function record. The time per
// function must stay flat as N grows.
//
//   build/bin/mivra_bench_resolve [TYPELIB] [RUNS]

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FileTypeLibraryReader.h"
#include "ResolvedLibrary.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Timing {
    double milliseconds = 0;
    size_t types = 0, functions = 0;
};

// Best of `runs`: load from bytes, resolve.
Timing timeResolve(const std::vector<std::byte>& bytes, const std::string& folder, int runs) {
    Timing best{1e300, 0, 0};
    for (int i = 0; i < runs; ++i) {
        auto reader = mivra::makeFileTypeLibraryReader({folder});
        auto start = Clock::now();
        if (!reader->loadBytes(bytes)) return {-1, 0, 0};
        auto library = mivra::resolve(*reader);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!library) return {-1, 0, 0};
        size_t functions = 0;
        for (const auto& t : library->types) functions += t.functions.size();
        if (ms < best.milliseconds) best = {ms, library->types.size(), functions};
    }
    return best;
}

std::vector<std::byte> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    std::transform(chars.begin(), chars.end(), bytes.begin(), [](char c) { return std::byte(static_cast<unsigned char>(c)); });
    return bytes;
}

uint32_t get32(const std::vector<std::byte>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void put32(std::vector<std::byte>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::byte(v >> (8 * i) & 0xFF);
}

// One interface of n functions, compiled by widl; empty when widl fails.
std::vector<std::byte> manyFunctions(const fs::path& folder, uint32_t n) {
    fs::path idl = folder / "many.idl", tlb = folder / "many.tlb";
    {
        std::ofstream out(idl);
        out << "[uuid(11111111-2222-3333-4444-999999999999), version(1.0)] library Many {\n"
               "[object, uuid(11111111-2222-3333-4444-999999999998)] interface IMany {\n";
        for (uint32_t i = 0; i < n; ++i) out << "  long f" << i << "([in] long a, [in] long b);\n";
        out << "}; }\n";
    }
    std::string command = "x86_64-w64-mingw32-widl -t -o '" + tlb.string() + "' '" + idl.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    return fileBytes(tlb);
}

// The arrays of type 0's member block: ids, names, record offsets.
size_t memberArrays(const std::vector<std::byte>& b, uint32_t& members) {
    size_t directory = 0x54 + 4 * size_t(get32(b, 0x20)) + ((get32(b, 0x14) & 0x100) ? 4 : 0);
    size_t type = get32(b, directory);
    uint32_t block = get32(b, type + 4);
    uint32_t elements = get32(b, type + 0x18);
    members = (elements & 0xFFFF) + (elements >> 16);
    return block + 4 + get32(b, block);
}

}  // namespace

int main(int argc, char** argv) {
    std::string typelib = argc > 1 ? argv[1] : std::string(MIVRA_WINE_DLLS) + "/mshtml.tlb";
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string folder = fs::path(typelib).parent_path().string();
    Timing real = timeResolve(fileBytes(typelib), folder, runs);
    std::printf("source                 %s\n", typelib.c_str());
    if (real.milliseconds < 0) {
        std::fprintf(stderr, "%s does not load\n", typelib.c_str());
        return 1;
    }
    std::printf("resolve                %.1f ms (best of %d), %zu types, %zu functions\n", real.milliseconds, runs,
                real.types, real.functions);

    fs::path work = fs::temp_directory_path() / ("mivra-bench-resolve-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::printf("%-22s %8s %12s %14s\n", "library", "functions", "resolve ms", "us per function");
    for (uint32_t n : {4096u, 16384u, 65535u}) {
        auto bytes = manyFunctions(work, n);
        if (bytes.empty()) {
            std::printf("widl not available: no libraries of many functions\n");
            break;
        }
        uint32_t members = 0;
        size_t arrays = memberArrays(bytes, members);
        auto unnamed = bytes;
        for (uint32_t k = 1; k < members; ++k) put32(unnamed, arrays + 4 * (size_t(members) + k), 0xFFFFFFFFu);
        auto shared = bytes;
        for (uint32_t k = 1; k < members; ++k)
            put32(shared, arrays + 4 * (2 * size_t(members) + k), get32(bytes, arrays + 4 * 2 * size_t(members)));
        struct Variant {
            const char* name;
            const std::vector<std::byte>* bytes;
        };
        for (const Variant& v : {Variant{"named", &bytes}, Variant{"unnamed", &unnamed}, Variant{"one shared record", &shared}}) {
            Timing t = timeResolve(*v.bytes, work.string(), std::min(runs, 3));
            std::printf("%-22s %8u %12.1f %14.3f\n", v.name, n, t.milliseconds, 1000.0 * t.milliseconds / n);
        }
    }
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS               %.1f MB\n", usage.ru_maxrss / 1024.0);
    fs::remove_all(work);
    return 0;
}
