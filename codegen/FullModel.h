#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FullMapping.h"
#include "Guid.h"
#include "ResolvedLibrary.h"

namespace mivra {

// The full bindings of one library, decided completely before any file is
// opened: every class with its name, its members, their overloads and the
// members that cannot be bound, with the reason.

struct FullParameter {
    std::string name;  // the Java name
    JavaType type;
};

// One argument of a call: the Java parameter that gives it, or -1 for
// MISSING, and its VARTYPE.
struct FullArgument {
    int16_t parameter = -1;
    uint16_t vt = VT_EMPTY;
};

// One Java method, or the comment of a member that has none. The doc
// string stays in the resolved library, which outlives the model.
struct FullMember {
    std::string memberName;  // as the library names it
    const std::string* docString = nullptr;
    std::string refusal;  // not empty: a comment saying why, nothing else

    std::string javaName;
    int32_t dispId = 0;
    uint32_t invokeKind = 1;
    std::optional<JavaType> result;  // none: void
    std::vector<FullParameter> parameters;  // the Java parameters, in order
    // The arguments of the call, in declaration order.
    std::vector<FullArgument> arguments;
};

struct FullConstant {
    std::string name;  // the Java name; empty when refused
    std::string memberName;
    std::optional<std::string> docString;
    int32_t value = 0;
    // The Java declaration: an enumeration's constants are int, a module's
    // typed by their value.
    std::string javaType = "int";
    std::string literal;
    std::string refusal;
    bool entryPoint = false;  // a module's function, listed with its refusal
};

struct FullClass {
    // A listener is the Java interface of a source dispinterface: one
    // default method per event (its members), called by its nested Adapter.
    enum class Kind { Interface, Object, Constants, Listener };
    Kind kind = Kind::Interface;
    int32_t typeIndex = -1;  // in ResolvedLibrary::types
    std::string name;
    std::optional<std::string> docString;
    bool module = false;  // Constants: of a module, not an enumeration

    // Interface and listener classes.
    std::string baseClass = "MivraObject";
    std::string iid;                // braced
    std::string iterableElement;    // not empty: the class is Iterable of it
    std::vector<FullMember> members;

    // Object classes.
    std::string classId;                  // ProgID or braced CLSID
    std::vector<std::string> interfaces;  // offered by get<I>()
    std::vector<std::string> getterNames;
    std::vector<std::string> sourceInterfaces;  // listener classes, connected by add<E>Listener

    // Constant classes.
    std::vector<FullConstant> constants;

    bool usesHolder = false;
    bool usesVariant = false;
};

// One dispatch type's count for the summary.
struct FullCoverage {
    std::string typeName;
    int functions = 0;  // its dispatch view without the IUnknown and IDispatch members
    int bound = 0;
};

struct FullModel {
    std::string libraryName;
    std::string libraryDoc;
    std::vector<FullClass> classes;
    // Library types that get no class: subject, message.
    std::vector<std::pair<std::string, std::string>> refusals;
    // Library types whose class has another name: library name, the class
    // and why.
    std::vector<std::pair<std::string, std::string>> renames;
    // Members left out where no class can list them: "Type.Member", why.
    std::vector<std::pair<std::string, std::string>> notBound;
    std::vector<FullCoverage> coverage;

    int functionCount() const;
    int boundCount() const;
    int listenerCount() const;
    int eventCount() const;  // the events the listeners have a method for
};

struct FullModelInputs {
    // The ProgID of a class when the registry has one, else the braced GUID.
    std::function<std::string(const Guid&)> identifierText;
};

// Everything the writers need, from the resolved library alone; the model
// points into the library, which must outlive it.
FullModel buildFullModel(const ResolvedLibrary& library, const FullModelInputs& inputs);

// Names a generated class must not take, and method names a generated
// method must not take (it gets a trailing "_" instead), in one place.
bool isReservedFullClassName(std::string_view name);
bool isReservedFullMethodName(std::string_view name, bool iterable);

}  // namespace mivra
