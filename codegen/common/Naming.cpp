#include "Naming.h"

#include <algorithm>
#include <array>

#include "Format.h"

namespace mivra {

namespace {

constexpr std::array<std::string_view, 53> reservedWords = {
    "_", "abstract", "assert", "boolean", "break", "byte", "case", "catch", "char", "class", "const",
    "continue", "default", "do", "double", "else", "enum", "extends", "false", "final", "finally",
    "float", "for", "goto", "if", "implements", "import", "instanceof", "int", "interface", "long",
    "native", "new", "null", "package", "private", "protected", "public", "return", "short", "static",
    "strictfp", "super", "switch", "synchronized", "this", "throw", "throws", "transient", "true", "try",
    "void", "volatile",
};
static_assert(std::is_sorted(reservedWords.begin(), reservedWords.end()));

// Methods of java.lang.Object without parameters and the natives of the
// generated base classes: a generated native of that name would override or
// clash with them.
constexpr std::array<std::string_view, 12> inheritedMethods = {
    "clone", "finalize", "getClass", "hashCode", "notify", "notifyAll", "toString", "wait",
    "__release", "__initialize", "__MivraLoad", "__MivraCreateObject",
};

}  // namespace

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isBaseInterfaceMethod(std::string_view name) {
    return name == "QueryInterface" || name == "AddRef" || name == "Release" || name == "GetTypeInfoCount" ||
           name == "GetTypeInfo" || name == "GetIDsOfNames" || name == "Invoke";
}

bool isJavaReservedWord(std::string_view name) {
    // Every word but "_" starts with a small letter; most library names do not.
    if (name.empty() || ((name[0] < 'a' || name[0] > 'z') && name != "_")) return false;
    return std::binary_search(reservedWords.begin(), reservedWords.end(), name);
}

bool isJavaIdentifier(std::string_view name) {
    if (name.empty() || isJavaReservedWord(name)) return false;
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!letter(name[0])) return false;
    return std::all_of(name.begin(), name.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

std::string javaSafeMethodName(std::string_view name) {
    std::string safe(name);
    if (isJavaReservedWord(name) ||
        std::find(inheritedMethods.begin(), inheritedMethods.end(), name) != inheritedMethods.end())
        safe += '_';
    return safe;
}

std::string uniqueParameterName(std::string_view candidate, ParameterNameTable& table) {
    std::string key = lowered(candidate);
    ++table.probes;
    if (table.names.insert(key).second) return std::string(candidate);
    // The table only grows, so the first free suffix of a key never moves
    // back: the search goes on from where the last one for the key ended.
    int& next = table.nextSuffix.try_emplace(key, 2).first->second;
    for (;; ++next) {
        ++table.probes;
        std::string numbered = format("%s_%d", {key, next});
        if (table.names.insert(numbered).second) return format("%s_%d", {candidate, next++});
    }
}

}  // namespace mivra
