#include "LicenceLayout.h"

namespace mivra::installer {

std::string licenceParagraphs(std::string_view text, std::string_view lineEnd) {
    std::string out;
    bool inParagraph = false, blankBefore = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) {
            inParagraph = false;
            blankBefore = !out.empty();
            continue;
        }
        if (inParagraph && line.front() != ' ' && line.front() != '\t') {
            out += ' ';
        } else {
            if (!out.empty()) out += lineEnd;
            if (blankBefore) out += lineEnd;
        }
        out += line;
        inParagraph = true;
        blankBefore = false;
    }
    if (!out.empty()) out += lineEnd;
    return out;
}

}  // namespace mivra::installer
