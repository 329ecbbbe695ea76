// Build tool: appends an installer archive or an uninstall list to a program.
//   mivra_pack installer PROGRAM MANIFEST OUTPUT
//   mivra_pack uninstall-list PROGRAM MANIFEST OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "ArchivePacker.h"

int main(int argc, char** argv) {
    using namespace mivra::installer;
    const std::string kind = argc == 5 ? argv[1] : "";
    if (kind != "installer" && kind != "uninstall-list") {
        std::cerr << "usage: mivra_pack installer|uninstall-list PROGRAM MANIFEST OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[3], std::ios::binary);
    if (!in) {
        std::cerr << argv[3] << ": cannot be opened\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto manifest = parsePackManifest(text.str());
    if (!manifest) {
        std::cerr << argv[3] << ": " << manifest.failure().message << "\n";
        return 1;
    }
    auto packed = packFiles(kind == "installer" ? PackKind::installer : PackKind::uninstallList, argv[2],
                            *manifest, argv[4]);
    if (!packed) {
        std::cerr << "mivra_pack: " << packed.failure().message << "\n";
        return 1;
    }
    return 0;
}
