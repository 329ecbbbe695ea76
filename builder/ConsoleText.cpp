#include "ConsoleText.h"

#include <cstdio>

namespace mivra {

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F in UTF-8: the C1 controls, CSI among them.
            auto next = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += digits[next >> 4];
            out += digits[next & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void printFailure(const std::string& text) {
    std::fprintf(stderr, "mivra: %s\n", printableText(text).c_str());
}

int usageError(const std::string& what, const char* usage) {
    printFailure(what);
    std::fputs(usage, stderr);
    return exitUsage;
}

}  // namespace mivra
