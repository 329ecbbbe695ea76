#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "TypeLibraryFuzzing.h"

// Runs every file of the corpus folders given through the fuzz entry; a
// crash or a sanitizer report fails the test, as it would the fuzzer.
int main(int argc, char** argv) {
    size_t files = 0;
    for (int a = 1; a < argc; ++a) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[a])) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            mivra::exerciseTypeLibrary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++files;
        }
    }
    std::printf("replayed %zu corpus files\n", files);
    return files > 0 ? 0 : 1;
}
