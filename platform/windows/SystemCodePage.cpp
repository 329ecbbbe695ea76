#include "SystemCodePage.h"

#include "WideText.h"

namespace mivra {

std::string systemCodePageText(const std::string& utf8) {
    std::wstring wide = wideText(utf8);
    return narrowText(wide.data(), wide.size(), CP_ACP);
}

}  // namespace mivra
