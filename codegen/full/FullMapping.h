#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ResolvedLibrary.h"

namespace mivra {

// What a reference to one entry of ResolvedLibrary::types stands for when it
// names an object: the generated interface class (empty: plain MivraObject)
// and whether the pointer travels as VT_DISPATCH rather than VT_UNKNOWN.
struct ObjectTarget {
    bool isObject = false;
    std::string javaClass;
    bool dispatch = false;
};

// The library and, per entry of its types, the object it stands for.
struct MappingTables {
    const ResolvedLibrary* library = nullptr;
    std::vector<ObjectTarget> objects;
};

// How one parameter or result travels between Java and mivraCall.
struct JavaType {
    std::string name;     // as declared in Java: "int", "Holder<Integer>", "IXMLDOMNode", "int[]", "Object..."
    uint16_t vt = VT_EMPTY;  // the argVt or resultVt
    // A result: cast to its type, or handed to its class (mivraAdopt).
    bool adopt = false;
    bool wrapInHolder = false;  // an [in] by-reference value, passed as new Holder<>(value)
    bool varargs = false;       // the trailing Object... of a vararg function
    bool object = false;  // an object: `name` is its generated class or MivraObject
    bool usesHolder = false;
    bool usesVariant = false;
    int32_t enumType = -1;  // an int typed by this enumeration (entry in ResolvedLibrary::types)
};

// How a parameter travels: in IDispatch::Invoke, through the vtable, or
// into an event listener.
enum class ParameterUse { Call, Vtable, Event };

// The package's class of the ClassTable that object results are adopted
// through; the naming rules keep library types from taking its name.
inline constexpr const char* classTableClassName = "MivraClasses";

// A type that maps, or the reason naming the type that does not.
struct Mapping {
    std::optional<JavaType> type;
    std::string refusal;
};

// varargTail: the last parameter of a function with a variable argument list.
// A VARIANT passed by value, or [in] by reference, is any Java Object in
// calls; events hand it over as a MivraVariant.
Mapping mapParameter(const MappingTables& tables, const ResolvedParameter& parameter, bool varargTail,
                     ParameterUse use = ParameterUse::Call);
// An event's parameter as the listener receives it: every by-reference
// value in a Holder, [in] ones too, since the runtime hands them over so.
Mapping mapEventParameter(const MappingTables& tables, const ResolvedParameter& parameter);
// Results map as [in] values (a pointer to a value as the value); VT_VOID,
// VT_EMPTY and VT_NULL give a type without name: a void method.
Mapping mapResult(const MappingTables& tables, const TypeRef& result);

// The Java expression of a result from the mivraCall(...) expression:
// "(int) mivraCall(...)",
// "mivraAdopt(mivraCall(...), IXMLDOMNode.class, MivraClasses.TABLE)".
void appendResultExpression(std::string& out, const JavaType& type, std::string_view call);

// The listener's argument from one of EventAdapter.dispatch's arguments:
// "(int) args[0]", "EventAdapter.<Boolean>holder(args[1])",
// "EventAdapter.<INode>adopt(args[2], INode::new)".
void appendEventArgument(std::string& out, const JavaType& type, std::string_view arg);

// The VARTYPE as the runtime's MivraVariant names it: "VT_BYREF | VT_I4".
std::string vtCodeText(uint16_t vt);

// What makes two signatures equal: the erased type ("Holder" for any holder).
std::string_view erasureOf(const JavaType& type);

// The type with its aliases followed (at most a fixed depth).
const TypeRef& withoutAliases(const ResolvedLibrary& library, const TypeRef& type);

}  // namespace mivra
