#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace mivra {

// One value for a template placeholder: a text for %s, a number for %d.
struct FormatArg {
    FormatArg(std::string_view text) : text(text), isNumber(false) {}
    FormatArg(const std::string& text) : text(text), isNumber(false) {}
    FormatArg(const char* text) : text(text), isNumber(false) {}
    FormatArg(int number) : number(number), isNumber(true) {}
    FormatArg(unsigned number) : number(number), isNumber(true) {}
    FormatArg(long number) : number(number), isNumber(true) {}
    FormatArg(unsigned long number) : number(static_cast<int64_t>(number)), isNumber(true) {}
    FormatArg(long long number) : number(number), isNumber(true) {}

    std::string_view text;
    int64_t number = 0;
    bool isNumber;
};

// Text that a template could not be filled with: it makes every comparison
// with an expected file fail instead of writing plausible wrong code.
inline constexpr std::string_view formatFault = "<<template fault>>";

// Appends the template to out with its placeholders filled in order. Only
// %s (a text), %d (a number) and %% (one percent sign) are understood; any
// other conversion, a placeholder of the wrong kind, or a count of values
// that does not match writes formatFault and yields false.
bool appendFormat(std::string& out, std::string_view templ, std::initializer_list<FormatArg> args = {});

std::string format(std::string_view templ, std::initializer_list<FormatArg> args = {});

}  // namespace mivra
