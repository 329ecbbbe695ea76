#include "Format.h"

namespace mivra {

bool appendFormat(std::string& out, std::string_view templ, std::initializer_list<FormatArg> args) {
    auto next = args.begin();
    bool ok = true;
    size_t start = 0;
    for (size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] != '%') continue;
        out.append(templ.substr(start, i - start));
        char conversion = i + 1 < templ.size() ? templ[i + 1] : '\0';
        if (conversion == '%') {
            out += '%';
        } else if ((conversion == 's' || conversion == 'd') && next != args.end() &&
                   next->isNumber == (conversion == 'd')) {
            if (next->isNumber)
                out += std::to_string(next->number);
            else
                out.append(next->text);
            ++next;
        } else {
            out.append(formatFault);
            ok = false;
        }
        ++i;
        start = i + 1;
    }
    if (start < templ.size()) out.append(templ.substr(start));
    if (next != args.end()) {
        out.append(formatFault);
        ok = false;
    }
    return ok;
}

std::string format(std::string_view templ, std::initializer_list<FormatArg> args) {
    std::string out;
    appendFormat(out, templ, args);
    return out;
}

}  // namespace mivra
