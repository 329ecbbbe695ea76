#include "GenerationContext.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "Format.h"
#include "VarType.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace mivra {

namespace {

#ifdef _WIN32
constexpr char separator = '\\';
#else
constexpr char separator = '/';
#endif

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

#ifdef _WIN32
std::string utf8FromWide(const wchar_t* text, UINT size) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), utf8.data(), length, nullptr, nullptr);
    return utf8;
}
#endif

}  // namespace

std::string GenerationContext::fullPath(const std::string& path) const {
    std::error_code error;
    auto full = std::filesystem::absolute(path, error);
    return error ? path : full.string();
}

#ifdef _WIN32
// The folders as this Windows names them (260 characters at most), as UTF-8
// like every other text of the run.
std::string GenerationContext::windowsDirectory() const {
    wchar_t folder[MAX_PATH];
    UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? utf8FromWide(folder, length) : "C:\\WINDOWS";
}

std::string GenerationContext::systemDirectory() const {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? utf8FromWide(folder, length) : windowsDirectory() + "\\system32";
}
#else
std::string GenerationContext::windowsDirectory() const { return "C:\\windows"; }

std::string GenerationContext::systemDirectory() const { return windowsDirectory() + "\\system32"; }
#endif

std::string GenerationContext::timeText() const {
    if (clock) return clock();
    return ctimeText(std::time(nullptr));
}

std::string outputPath(std::string_view folder, std::string_view fileName) {
    std::string path(folder);
    if (path.empty() || path.back() != separator) path += separator;
    path.append(fileName);
    return path;
}

std::string ctimeText(std::time_t when) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", days[local.tm_wday % 7],
                  months[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
    return text;
}

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

std::unique_ptr<TextFile> createOutputFile(GenerationContext& context, const std::string& path) {
    auto file = TextFile::create(path);
    if (!file) {
        int error = errno;
        context.reportError(path, "Cannot write file");
        errno = error;
        return nullptr;
    }
    file->whenIncomplete([&context, path] { context.reportError(path, "Cannot write file"); });
    return file;
}

}  // namespace mivra
