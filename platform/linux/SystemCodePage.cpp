#include "SystemCodePage.h"

namespace mivra {

std::string systemCodePageText(const std::string& utf8) { return utf8; }

}  // namespace mivra
