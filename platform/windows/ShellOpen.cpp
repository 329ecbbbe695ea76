#include "ShellOpen.h"

#include <windows.h>
#include <shellapi.h>

#include "WideText.h"

namespace mivra {

bool openWithShell(const std::string& document) {
    HINSTANCE result = ShellExecuteW(nullptr, L"open", wideText(document).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // ShellExecute reports success as a value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace mivra
