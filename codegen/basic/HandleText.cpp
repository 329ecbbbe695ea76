#include <array>
#include <utility>

#include "GenerationContext.h"

namespace mivra {

// Every template writes handle accesses in the int form; the long form
// differs only in these pieces, so one rewrite of the C text gives it. The
// only Java fields the generated code reads or writes are the two handles,
// so every Get/SetIntField is a handle access.
std::string longHandleText(std::string_view text) {
    static const std::array<std::pair<std::string_view, std::string_view>, 7> pieces = {{
        {"(*env)->GetIntField( env, ", "(INT_PTR) (*env)->GetLongField( env, "},
        {"(*env)->SetIntField( env, ", "(*env)->SetLongField( env, "},
        {"(jint) pDisp", "(jlong) (INT_PTR) pDisp"},
        {"(jint) pUnk", "(jlong) (INT_PTR) pUnk"},
        {"(jint) var", "(jlong) (INT_PTR) var"},
        {"\"comId\", \"I\")", "\"comId\", \"J\")"},
        {"\"variantData\", \"I\")", "\"variantData\", \"J\")"},
    }};
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (const auto& [from, to] : pieces) {
            if (text.compare(i, from.size(), from) == 0) {
                result += to;
                i += from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) result += text[i++];
    }
    return result;
}

}  // namespace mivra
