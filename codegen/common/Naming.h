#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace mivra {

// The text with A-Z lowered: Java class names that differ only so would be
// one file on the file systems the output goes to.
std::string lowered(std::string_view text);

// An ASCII Java identifier that is not a reserved word: only such names may
// become class names, file names and JNI symbols (the JNI escape has no form
// for other characters).
bool isJavaIdentifier(std::string_view name);
bool isJavaReservedWord(std::string_view name);
// A method name usable in a generated class: a reserved word, or a method
// every generated class inherits (toString, getClass, __release, ...), gets
// a trailing underscore.
std::string javaSafeMethodName(std::string_view name);

// The IUnknown and IDispatch members that dual interfaces list.
bool isBaseInterfaceMethod(std::string_view name);

// Functions with more optional parameters than this get no variants.
inline constexpr int maxOptionalParameters = 32;

// The names declared so far in one method (lowered), and per name the
// suffix to try next, so that many parameters of one name cost no more
// than as many different names.
struct ParameterNameTable {
    std::unordered_set<std::string> names;
    std::unordered_map<std::string, int> nextSuffix;
    size_t probes = 0;  // names tried, to keep the work bounded
};
std::string uniqueParameterName(std::string_view candidate, ParameterNameTable& table);

}  // namespace mivra
