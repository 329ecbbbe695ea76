#pragma once

#include <cstddef>
#include <vector>

namespace mivra {

// The program icon as the installer's icon tool draws it, one PNG image for
// every size, smallest first (the source is generated at build time).
struct ProgramIconImage {
    int size;
    const unsigned char* png;
    std::size_t length;
};
const std::vector<ProgramIconImage>& programIconImages();

}  // namespace mivra
