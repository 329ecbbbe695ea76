// Reads arbitrary bytes as a message body sent to mivra-bridge.exe. A message
// the decoder accepts must encode again to the same bytes: every field it
// took was read in full and nothing was left over or invented.
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
#include "bridge_wire.h"
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MvMessage message;
    const char* why = nullptr;
    if (mvMessageDecode(data, size, &message, &why) != 0) {
        if (why == nullptr) std::abort();
        return 0;
    }
    MvWriter writer = {};
    if (mvMessageEncode(&writer, &message) != 0 || writer.used != size + 4 ||
        std::memcmp(writer.data + 4, data, size) != 0)
        std::abort();
    mvWriterFree(&writer);
    mvMessageFree(&message);
    return 0;
}
