#pragma once

#include <string>
#include <string_view>

#include "TypeLibraryReader.h"

namespace mivra {

// Text from a type library made safe for where it is written.
std::string lineCommentText(std::string_view text);  // a Java // comment
std::string cLineCommentText(std::string_view text); // a C // comment
std::string docCommentText(std::string_view text);   // a /** */ comment
std::string htmlText(std::string_view text);         // page text or attribute
std::string javaStringText(std::string_view text);   // inside a Java "..." literal
// A module's constant as Java declares it: the type its value has and the
// literal; false when Java has no type for the value.
bool javaConstant(const ConstantValue& value, std::string& type, std::string& literal);

}  // namespace mivra
