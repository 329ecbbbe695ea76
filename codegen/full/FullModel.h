#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FullMapping.h"
#include "Guid.h"
#include "Output.h"
#include "ResolvedLibrary.h"

namespace mivra {

// The full bindings of one library, decided completely before any file is
// opened: every class with its name, its members, their overloads and the
// members that cannot be bound, with the reason.

struct FullParameter {
    std::string name;  // the Java name
    JavaType type;
    // For the javadoc: the library's name, the default value of an
    // optional parameter, the constants class of an enumeration.
    std::string libraryName;
    std::string defaultText;
    std::string enumClass;
    bool optional = false;
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
    std::string renaming;  // not empty: why javaName is not the natural name
    bool overridesDeprecated = false;  // overrides one of MivraObject's deprecated late-bound helpers
    int32_t dispId = 0;
    uint32_t invokeKind = 1;
    int slot = -1;  // called through the vtable: the function's slot
    std::optional<JavaType> result;  // none: void
    std::string resultEnumClass;
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

    std::string libraryName;  // as the library names the type; differs from name when renamed

    // Interface and listener classes; object classes extend the class of
    // their default interface.
    std::string baseClass = "MivraObject";
    std::string iid;                // braced
    std::string iterableElement;    // not empty: the class is Iterable of it
    bool vtable = false;            // an interface that is not dual: called through its vtable
    bool creatableBase = false;     // a creatable object class extends it (directly or not)
    std::vector<FullMember> members;

    // Object classes.
    bool creatable = false;
    std::string defaultIid;               // the default interface's IID when baseClass is its class
    std::string classId;                  // ProgID or braced CLSID
    std::vector<std::string> interfaces;  // offered by get<I>()
    std::vector<std::string> getterNames;
    std::vector<std::string> sourceInterfaces;  // listener classes, connected by add<E>Listener

    // Constant classes.
    std::vector<FullConstant> constants;

    bool usesHolder = false;
    bool usesVariant = false;
};

// One interface's or dispinterface's count for the summary.
struct FullCoverage {
    std::string typeName;
    int functions = 0;  // its dispatch view without the IUnknown and IDispatch members
    int bound = 0;
    bool callable = true;  // through IDispatch or the vtable of an IDispatch-derived interface
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
    // Every member and type not bound or renamed, with the reason: the
    // lines of the file unboundFileName.
    std::vector<std::string> unbound;

    int functionCount() const;
    int boundCount() const;
    int callableFunctionCount() const;  // of the interfaces called through IDispatch or a vtable
    int callableBoundCount() const;
    int listenerCount() const;
    int eventCount() const;  // the events the listeners have a method for
};

struct FullModelInputs {
    // The ProgID of a class when the registry has one, else the braced GUID.
    std::function<std::string(const Guid&)> identifierText;
    // Longer class names are refused: their files could not be written.
    size_t maxClassNameLength = classNameRoom("");
};

// Everything the writers need, from the resolved library alone; the model
// points into the library, which must outlive it.
FullModel buildFullModel(const ResolvedLibrary& library, const FullModelInputs& inputs);

inline constexpr const char* unboundFileName = "unbound.txt";

// Names a generated class must not take (a type of that name gets a
// trailing "_"): java.lang's types, which `import package.*;` would make
// ambiguous, and the names the generated code uses unqualified.
bool isReservedFullClassName(std::string_view name);

}  // namespace mivra
