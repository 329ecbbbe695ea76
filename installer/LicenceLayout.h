#pragma once

#include <string>
#include <string_view>

namespace mivra::installer {

// The licence for a text control that wraps lines to its own width: the
// lines of each paragraph joined by spaces (an indented line stays a line of
// its own), paragraphs parted by an empty line, every line ended by lineEnd.
std::string licenceParagraphs(std::string_view text, std::string_view lineEnd);

}  // namespace mivra::installer
