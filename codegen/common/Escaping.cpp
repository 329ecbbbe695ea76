#include "Escaping.h"

#include <cmath>
#include <cstdio>

#include "VarType.h"

namespace mivra {

namespace {

// Java turns \uXXXX into its character before it sees comments, so a
// backslash that could start such an escape is doubled.
std::string withoutUnicodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t run = 0;
    for (char c : text) {
        if (c == 'u' && run % 2 == 1) out += '\\';
        run = c == '\\' ? run + 1 : 0;
        out += c;
    }
    return out;
}

}  // namespace

std::string lineCommentText(std::string_view text) {
    std::string out = withoutUnicodeEscapes(text);
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string docCommentText(std::string_view text) {
    std::string escaped = withoutUnicodeEscapes(text);
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '*' && i + 1 < escaped.size() && escaped[i + 1] == '/') {
            out += "*&#47;";
            ++i;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

std::string cLineCommentText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string htmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string javaStringText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') { out += "\\n"; continue; }
        if (c == '\r') { out += "\\r"; continue; }
        out += c;
    }
    return out;
}

bool javaConstant(const ConstantValue& value, std::string& type, std::string& literal) {
    auto real = [&](const char* name, double number, bool single) {
        type = name;
        std::string boxed = single ? "Float" : "Double";
        if (std::isnan(number)) {
            literal = boxed + ".NaN";
        } else if (std::isinf(number)) {
            literal = boxed + (number > 0 ? ".POSITIVE_INFINITY" : ".NEGATIVE_INFINITY");
        } else {
            char text[40];
            std::snprintf(text, sizeof text, single ? "%.9g" : "%.17g", number);
            literal = text;
            if (literal.find_first_of(".e") == std::string::npos) literal += ".0";
            if (single) literal += 'f';
        }
        return true;
    };
    auto integral = [&](const char* name, std::string text) {
        type = name;
        literal = std::move(text);
        return true;
    };
    switch (value.vt) {
    case VT_I1: return integral("byte", std::to_string(value.integer));
    case VT_I2: case VT_UI1: return integral("short", std::to_string(value.integer));
    case VT_I4: case VT_INT: case VT_UI2: case VT_ERROR: return integral("int", std::to_string(value.integer));
    case VT_UI4: case VT_UINT: case VT_I8: case VT_UI8: return integral("long", std::to_string(value.integer) + "L");
    case VT_BOOL: return integral("boolean", value.integer ? "true" : "false");
    case VT_R4: return real("float", value.real, true);
    case VT_R8: case VT_DATE: return real("double", value.real, false);
    case VT_BSTR: return integral("String", value.text ? "\"" + javaStringText(*value.text) + "\"" : "null");
    default: return false;
    }
}

}  // namespace mivra
