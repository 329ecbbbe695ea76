// Reads arbitrary bytes as an installer archive. An accepted directory must
// only name data that lies inside the input and names that stay inside the
// installation folder; each entry is then copied out chunk by chunk.
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "ArchiveReader.h"
#include "Installation.h"

namespace {

class SilentEvents final : public mivra::installer::InstallationEvents {
public:
    void setStatus(const std::string&) override {}
    void setProgress(int position) override {
        if (position < 0 || position > 95) std::abort();
    }
    void showMessage(const std::string&, const std::string&) override {}
    bool stopRequested() override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mivra::installer;
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    MemoryArchiveSource source(bytes);
    auto directory = readArchiveDirectory(source);
    if (!directory) return 0;
    if (directory->directoryOffset > size) std::abort();
    SilentEvents events;
    std::uint64_t written = 0;
    for (const auto& entry : directory->files) {
        if (!isSafeEntryName(entry.name) || entry.name.size() > maxArchiveStringLength) std::abort();
        std::ostringstream out;
        if (copyEntry(source, entry, out, entry.name, written, directory->totalBytes, events) != CopyResult::copied)
            std::abort();
        if (out.str().size() != entry.dataSize) std::abort();
    }
    for (const auto& folder : directory->folders)
        if (!isSafeEntryName(folder)) std::abort();
    return 0;
}
