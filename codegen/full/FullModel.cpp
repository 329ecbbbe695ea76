#include "FullModel.h"

#include <algorithm>
#include <cstdio>
#include <array>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "Format.h"
#include "Escaping.h"
#include "Naming.h"
#include "Output.h"

namespace mivra {

namespace {

constexpr uint16_t PARAMFLAG_FRETVAL = 0x8;

// Types the generated code names unqualified, and java.lang's public
// types: a user's `import package.*;` makes a package class of such a
// name ambiguous (Adapter: inside a listener interface, whose nested class
// it is; java: the packages the code names).
constexpr std::string_view reservedClassNames[] = {
    "MivraObject", "MivraVariant", "MivraException", "Holder", "Ref", "EventAdapter", "Adapter", "ListenerHandle",
    "ClassTable", classTableClassName, "java",
    "AbstractMethodError", "Appendable", "ArithmeticException", "ArrayIndexOutOfBoundsException",
    "ArrayStoreException", "AssertionError", "AutoCloseable", "Boolean", "BootstrapMethodError", "Byte",
    "CharSequence", "Character", "Class", "ClassCastException", "ClassCircularityError", "ClassFormatError",
    "ClassLoader", "ClassNotFoundException", "ClassValue", "CloneNotSupportedException", "Cloneable", "Comparable",
    "Compiler", "Deprecated", "Double", "Enum", "EnumConstantNotPresentException", "Error", "Exception",
    "ExceptionInInitializerError", "Float", "FunctionalInterface", "IllegalAccessError", "IllegalAccessException",
    "IllegalArgumentException", "IllegalCallerException", "IllegalMonitorStateException", "IllegalStateException",
    "IllegalThreadStateException", "IncompatibleClassChangeError", "IndexOutOfBoundsException",
    "InheritableThreadLocal", "InstantiationError", "InstantiationException", "Integer", "InternalError",
    "InterruptedException", "Iterable", "LayerInstantiationException", "LinkageError", "Long", "MatchException",
    "Math", "Module", "ModuleLayer", "NegativeArraySizeException", "NoClassDefFoundError", "NoSuchFieldError",
    "NoSuchFieldException", "NoSuchMethodError", "NoSuchMethodException", "NullPointerException", "Number",
    "NumberFormatException", "Object", "OutOfMemoryError", "Override", "Package", "Process", "ProcessBuilder",
    "ProcessHandle", "Readable", "Record", "ReflectiveOperationException", "Runnable", "Runtime",
    "RuntimeException", "RuntimePermission", "SafeVarargs", "ScopedValue", "SecurityException", "SecurityManager",
    "Short", "StackOverflowError", "StackTraceElement", "StackWalker", "StrictMath", "String", "StringBuffer",
    "StringBuilder", "StringIndexOutOfBoundsException", "StringTemplate", "SuppressWarnings", "System", "Thread",
    "ThreadDeath", "ThreadGroup", "ThreadLocal", "Throwable", "TypeNotPresentException", "UnknownError",
    "UnsatisfiedLinkError", "UnsupportedClassVersionError", "UnsupportedOperationException", "VerifyError",
    "VirtualMachineError", "Void", "WrongThreadException",
};

// What a generated method must not declare with the same parameters: the
// methods every generated class inherits. `overridable` marks MivraObject's
// deprecated late-bound helpers, which a library member of the same
// signature and a fitting result overrides.
struct InheritedMethod {
    std::string_view owner;
    std::string_view name;
    std::string_view parameters;  // erasures, comma-separated
    std::string_view result;      // "void", "Object" (any reference type fits), or "" (never overridden)
};

constexpr InheritedMethod inheritedMethods[] = {
    {"Object", "getClass", "", ""}, {"Object", "hashCode", "", ""}, {"Object", "equals", "Object", ""},
    {"Object", "toString", "", ""}, {"Object", "notify", "", ""}, {"Object", "notifyAll", "", ""},
    {"Object", "wait", "", ""}, {"Object", "wait", "long", ""}, {"Object", "wait", "long,int", ""},
    {"Object", "clone", "", ""}, {"Object", "finalize", "", ""}, {"AutoCloseable", "close", "", ""},
    {"MivraObject", "mivraEnumerate", "", ""}, {"MivraObject", "invoke", "String,Object[]", "Object"},
    {"MivraObject", "getProperty", "String,Object[]", "Object"}, {"MivraObject", "setProperty", "String,Object", "void"},
    {"MivraObject", "invoke$", "String,Object[]", ""}, {"MivraObject", "getProperty$", "String,Object[]", ""},
    {"MivraObject", "setProperty$", "String,Object", ""}, {"Iterable", "iterator", "", ""},
    {"Iterable", "spliterator", "", ""},
};

bool isPrimitive(std::string_view name) {
    return name == "byte" || name == "short" || name == "int" || name == "long" || name == "float" ||
           name == "double" || name == "boolean" || name == "char";
}

// Why a method of this signature cannot keep its name in a generated class
// (empty: it can); sets `overrides` when it overrides a deprecated helper.
std::string inheritedClash(std::string_view name, const std::string& parameters, const std::optional<JavaType>& result,
                           bool iterable, bool& overrides) {
    overrides = false;
    for (const InheritedMethod& method : inheritedMethods) {
        if (method.name != name || method.parameters != parameters || (method.owner == "Iterable" && !iterable))
            continue;
        const bool fits = method.result == "void" ? !result
                          : method.result == "Object" ? result && !isPrimitive(result->name)
                                                      : false;
        if (fits) {
            overrides = true;
            return {};
        }
        return "would clash with " + std::string(method.owner) + "." + std::string(name) + "(" +
               std::string(method.parameters) + ")";
    }
    return {};
}

std::string capitalised(std::string name) {
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

constexpr std::string_view iidIUnknown = "{00000000-0000-0000-C000-000000000046}";
constexpr std::string_view iidIDispatch = "{00020400-0000-0000-C000-000000000046}";

// IUnknown and IDispatch, which a library compiled from IDL may carry.
bool isBaseInterface(const ResolvedType& type) {
    std::string iid = guidText(type.guid);
    return iid == iidIUnknown || iid == iidIDispatch;
}

bool isIdentifierShaped(std::string_view name) { return isJavaIdentifier(name) || isJavaReservedWord(name); }

std::string textOf(const std::optional<std::string>& text) { return text ? *text : std::string(); }

bool isOwnDispatch(const ResolvedLibrary& library, int32_t index) {
    return index >= 0 && uint32_t(index) < library.ownTypeCount && size_t(index) < library.types.size() &&
           library.types[size_t(index)].state == ResolvedType::State::Available &&
           library.types[size_t(index)].kind == TKIND_DISPATCH;
}

// The library's own dispatch type that an entry stands for: itself, the
// dispatch type of an interface half, or of a dual interface met as such.
int32_t ownDispatchOf(const ResolvedLibrary& library, int32_t index) {
    if (index < 0 || size_t(index) >= library.types.size()) return -1;
    const ResolvedType& type = library.types[size_t(index)];
    if (type.state != ResolvedType::State::Available) return -1;
    if (isOwnDispatch(library, index)) return index;
    if (type.interfaceHalf && type.library.empty())
        return isOwnDispatch(library, int32_t(type.index)) ? int32_t(type.index) : -1;
    if (type.library.empty() && type.kind == TKIND_INTERFACE && (type.flags & TYPEFLAG_FDUAL))
        for (uint32_t i = 0; i < library.ownTypeCount && i < library.types.size(); ++i)
            if (isOwnDispatch(library, int32_t(i)) && library.types[i].guid == type.guid) return int32_t(i);
    return -1;
}

// The name points into the resolved library, which outlives the builder.
using MemberKey = std::tuple<int32_t, uint32_t, std::string_view>;

// What a class declares itself; what it inherits is found along its bases,
// so that a deep hierarchy does not copy every ancestor's members.
struct ClassState {
    int32_t typeIndex = -1;
    int classIndex = -1;  // in FullModel::classes, -1 when the type has no class
    int32_t base = -1;    // the type index of the base class
    const ClassState* baseState = nullptr;  // set when the class is built
    bool iterable = false;  // itself or an ancestor
    int slotBase = 0;       // called through the vtable: the slots before its own functions
    bool storedSlots = false;  // the library's stored slots of its own functions are used
    std::string element;    // a collection: what it iterates
    bool elementRefused = false;
    std::map<MemberKey, bool> members;  // the members of its view that no ancestor has: bound or not
    std::unordered_set<std::string> signatures;  // the Java signatures it declares
    bool done = false;

    // Whether the member is in its view or an ancestor's, and if so whether it was bound.
    std::optional<bool> member(const MemberKey& key) const {
        for (const ClassState* s = this; s; s = s->baseState)
            if (auto found = s->members.find(key); found != s->members.end()) return found->second;
        return std::nullopt;
    }
    bool declares(const std::string& signature) const {
        for (const ClassState* s = this; s; s = s->baseState)
            if (s->signatures.count(signature)) return true;
        return false;
    }
};

class ModelBuilder {
public:
    ModelBuilder(const ResolvedLibrary& library, const FullModelInputs& inputs) : library_(library), inputs_(inputs) {
        tables_.library = &library;
    }

    FullModel build();

private:
    void findListeners();
    void planClasses();
    void fillObjectTargets();
    void findBases();
    void buildInterface(int32_t typeIndex);
    void buildFunction(ClassState& state, FullClass& cls, const ResolvedFunction& function,
                       const std::unordered_set<int32_t>& puts, bool& bound);
    void buildVariable(ClassState& state, FullClass& cls, const ResolvedVariable& variable);
    bool declare(ClassState& state, FullClass& cls, FullMember member);
    void buildObject(FullClass& cls, const ResolvedType& coclass);
    void buildListener(int32_t typeIndex, FullClass* cls);
    bool constantsCut(const ResolvedType& type, size_t listed);
    void buildConstants(FullClass& cls, const ResolvedType& type);
    void listEntryPoints();
    std::string parameterName(const std::optional<std::string>& name, ParameterNameTable& table) const;
    struct Claim {
        std::string name;
        std::string refusal;
        std::string renaming;
    };
    Claim claimClassName(std::string_view name);
    std::string classNameOf(int32_t typeIndex) const;
    std::string enumClassOf(const JavaType& type) const;
    int32_t defaultInterfaceOf(const ResolvedType& coclass) const;
    int vtableBaseSlots(int32_t typeIndex, std::string& refusal) const;
    const ResolvedFunction* collectionItem(const ClassState& state) const;
    void planIterables();
    void listUnbound();

    const ResolvedLibrary& library_;
    const FullModelInputs& inputs_;
    MappingTables tables_;
    FullModel model_;
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, int> nextSuffix_;  // by lowered name: the next "_N" to try
    std::map<int32_t, ClassState> dispatch_;  // by type index
    std::map<int32_t, int> listeners_;  // type index -> class index, -1 when the type has no class
    std::map<int32_t, FullCoverage> coverage_;  // by type index
    std::map<int32_t, std::string> typeClasses_;  // type index -> its class's name
    std::vector<std::pair<std::string, std::string>> renamedTypes_;  // library name, why renamed
    std::vector<std::pair<std::string, std::string>> iterableRefusals_;  // class, why not Iterable
    // Type name and what could not be read: how many functions.
    std::map<std::pair<std::string, std::string>, int> unreadable_;
    // By type index: its view's functions that cannot be read, without a name.
    std::unordered_map<int32_t, std::pair<int, int>> unreadableOf_;
    uint64_t constantsLeft_ = library_.reportedMemberCap();
    std::map<int32_t, std::string> uncalled_;  // interfaces without a class: type index -> why
};

constexpr const char* entryPointRefusal = "A DLL entry point, which cannot be called through IDispatch";
constexpr const char* nameTakenRefusal = "Name already used by another class; no class written for this type";

ModelBuilder::Claim ModelBuilder::claimClassName(std::string_view name) {
    Claim claim{std::string(name), {}, {}};
    if (!isJavaIdentifier(name)) return {{}, "Not a Java identifier; no class written for this type", {}};
    if (isReservedFullClassName(name)) {
        claim.name += '_';
        claim.renaming = "named like a type of java.lang or the runtime";
    }
    if (claim.name.size() > inputs_.maxClassNameLength) return {{}, "Name too long for a file name; no class written for this type", {}};
    if (!taken_.insert(lowered(claim.name)).second)
        return {{}, nameTakenRefusal, {}};
    return claim;
}

std::string ModelBuilder::classNameOf(int32_t typeIndex) const {
    auto found = typeClasses_.find(typeIndex);
    return found == typeClasses_.end() ? std::string() : found->second;
}

std::string ModelBuilder::enumClassOf(const JavaType& type) const { return classNameOf(type.enumType); }

// A dispinterface that a coclass names as [source] is a listener interface,
// unless a coclass also offers it for calls (it stays an interface class) or
// it is dual: a server may call a dual one through its vtable, which the
// runtime's sink does not have.
void ModelBuilder::findListeners() {
    const uint32_t own = std::min<uint32_t>(library_.ownTypeCount, uint32_t(library_.types.size()));
    std::set<int32_t> sources, called;
    for (uint32_t i = 0; i < own; ++i) {
        const ResolvedType& type = library_.types[i];
        if (type.state != ResolvedType::State::Available || type.kind != TKIND_COCLASS) continue;
        for (const ResolvedImplementedType& implemented : type.implemented) {
            if (!implemented.available) continue;
            int32_t dispatch = ownDispatchOf(library_, implemented.type);
            if (dispatch < 0) continue;
            if (!(implemented.implFlags & IMPLTYPEFLAG_FSOURCE))
                called.insert(dispatch);
            else if (!(library_.types[size_t(dispatch)].flags & TYPEFLAG_FDUAL) &&
                     !(library_.types[size_t(implemented.type)].flags & TYPEFLAG_FDUAL))
                sources.insert(dispatch);
        }
    }
    for (int32_t index : sources)
        if (!called.count(index)) listeners_[index] = -1;
}

// The interface of a coclass that its class extends: its default one,
// else its first that is not a source.
int32_t ModelBuilder::defaultInterfaceOf(const ResolvedType& coclass) const {
    const ResolvedImplementedType* chosen = nullptr;
    for (const ResolvedImplementedType& implemented : coclass.implemented) {
        if (!implemented.available || (implemented.implFlags & IMPLTYPEFLAG_FSOURCE)) continue;
        if (!chosen || (implemented.implFlags & IMPLTYPEFLAG_FDEFAULT)) chosen = &implemented;
        if (implemented.implFlags & IMPLTYPEFLAG_FDEFAULT) break;
    }
    if (!chosen || chosen->type < 0 || size_t(chosen->type) >= library_.types.size()) return -1;
    int32_t dispatch = ownDispatchOf(library_, chosen->type);
    return dispatch >= 0 ? dispatch : chosen->type;
}

// The slots before an interface's own functions: IUnknown's 3, IDispatch's
// 4, and each own base's functions (in declaration order, as compilers
// give oVft). -1 when the chain leaves the library elsewhere.
int ModelBuilder::vtableBaseSlots(int32_t typeIndex, std::string& refusal) const {
    int slots = 0;
    int32_t at = typeIndex;
    for (int depth = 0; depth < 64; ++depth) {
        const ResolvedType& type = library_.types[size_t(at)];
        if (type.implemented.empty() || !type.implemented[0].available) {
            refusal = "its base interface cannot be read";
            return -1;
        }
        int32_t base = type.implemented[0].type;
        if (base < 0 || size_t(base) >= library_.types.size() ||
            library_.types[size_t(base)].state != ResolvedType::State::Available) {
            refusal = "its base interface cannot be read";
            return -1;
        }
        const ResolvedType& baseType = library_.types[size_t(base)];
        std::string baseName = textOf(baseType.name);
        if (guidText(baseType.guid) == iidIDispatch) return slots + 7;
        if (guidText(baseType.guid) == iidIUnknown) {
            refusal = "derives from IUnknown only, not from IDispatch";
            return -1;
        }
        if (uint32_t(base) >= library_.ownTypeCount || baseType.kind != TKIND_INTERFACE ||
            (baseType.flags & TYPEFLAG_FDUAL)) {
            refusal = "its base interface " + baseName + " is dual or of another library: its vtable is not known";
            return -1;
        }
        slots += int(baseType.functions.size());
        at = base;
    }
    refusal = "its chain of base interfaces is too long or returns to itself";
    return -1;
}

// Object classes first, then interface classes, then constant classes, each
// in library order: an earlier class keeps a name two types share. Classes
// of coclasses that cannot be created come last, as they came later.
void ModelBuilder::planClasses() {
    const uint32_t own = std::min<uint32_t>(library_.ownTypeCount, uint32_t(library_.types.size()));
    std::vector<std::string> vtableRefusals(own);
    for (uint32_t i = 0; i < own; ++i) {
        const ResolvedType& type = library_.types[i];
        if (type.state != ResolvedType::State::Available || type.kind != TKIND_INTERFACE ||
            (type.flags & TYPEFLAG_FDUAL) || type.interfaceHalf || isBaseInterface(type))
            continue;
        std::string refusal;
        if (vtableBaseSlots(int32_t(i), refusal) < 0) uncalled_[int32_t(i)] = refusal;
    }
    for (uint32_t pass = 0; pass < 4; ++pass) {
        for (uint32_t i = 0; i < own; ++i) {
            const ResolvedType& type = library_.types[i];
            if (type.state != ResolvedType::State::Available) continue;
            FullClass::Kind kind;
            bool creatable = (type.flags & TYPEFLAG_FCANCREATE) != 0;
            bool vtable = false;
            if (pass == 0 && type.kind == TKIND_COCLASS && creatable && !type.implemented.empty()) {
                kind = FullClass::Kind::Object;
            } else if (pass == 1 && type.kind == TKIND_DISPATCH) {
                kind = listeners_.count(int32_t(i)) ? FullClass::Kind::Listener : FullClass::Kind::Interface;
            } else if (pass == 1 && type.kind == TKIND_INTERFACE && !(type.flags & TYPEFLAG_FDUAL) &&
                       !type.interfaceHalf && !isBaseInterface(type) && !uncalled_.count(int32_t(i))) {
                kind = FullClass::Kind::Interface;
                vtable = true;
            } else if (pass == 2 && type.kind == TKIND_ENUM) {
                kind = FullClass::Kind::Constants;
            } else if (pass == 2 && type.kind == TKIND_MODULE && !type.variables.empty()) {
                kind = FullClass::Kind::Constants;
            } else if (pass == 3 && type.kind == TKIND_COCLASS && !creatable &&
                       !classNameOf(defaultInterfaceOf(type)).empty()) {
                kind = FullClass::Kind::Object;
            } else {
                continue;
            }
            std::string libraryName = textOf(type.name);
            std::string wanted = libraryName;
            std::string renaming;
            // widl names an enumeration without a tag __WIDL_..., MIDL by its typedef.
            if (kind == FullClass::Kind::Constants && wanted.rfind("__", 0) == 0) {
                for (uint32_t j = 0; j < own; ++j) {
                    const ResolvedType& alias = library_.types[j];
                    if (alias.state == ResolvedType::State::Available && alias.kind == TKIND_ALIAS && alias.alias &&
                        alias.alias->vt == VT_USERDEFINED && alias.alias->user == int32_t(i) && alias.name) {
                        wanted = *alias.name;
                        renaming = "an enumeration without a tag, named by its typedef";
                        break;
                    }
                }
            }
            if (kind == FullClass::Kind::Interface) dispatch_[int32_t(i)].typeIndex = int32_t(i);
            Claim claim = claimClassName(wanted);
            if (claim.refusal == nameTakenRefusal) {
                // A later type of a name an earlier class took: the name with
                // the first free "_N", the same on every run.
                int& suffix = nextSuffix_.try_emplace(lowered(claim.name.empty() ? wanted : claim.name), 2).first->second;
                Claim renamed;
                do renamed = claimClassName(wanted + "_" + std::to_string(suffix++));
                while (renamed.refusal == nameTakenRefusal);
                if (renamed.refusal.empty()) {
                    model_.renames.emplace_back(libraryName, "class " + renamed.name + ": another type of the library has this name");
                    claim = renamed;
                }
            }
            if (!claim.refusal.empty()) {
                model_.refusals.emplace_back(libraryName.empty() ? guidText(type.guid) : libraryName, claim.refusal);
                continue;
            }
            if (!claim.renaming.empty()) renaming = claim.renaming;
            if (!renaming.empty()) renamedTypes_.emplace_back(libraryName, "class " + claim.name + ": " + renaming);
            FullClass& cls = model_.classes.emplace_back();
            cls.kind = kind;
            cls.module = type.kind == TKIND_MODULE;
            cls.name = claim.name;
            cls.libraryName = libraryName;
            cls.typeIndex = int32_t(i);
            cls.vtable = vtable;
            cls.creatable = kind == FullClass::Kind::Object && creatable;
            if (type.docString && !type.docString->empty()) cls.docString = type.docString;
            cls.iid = guidText(type.guid);
            typeClasses_[int32_t(i)] = cls.name;
            if (kind == FullClass::Kind::Interface)
                dispatch_[int32_t(i)].classIndex = int(model_.classes.size() - 1);
            if (vtable) {
                std::string unused;
                ClassState& state = dispatch_[int32_t(i)];
                state.slotBase = vtableBaseSlots(int32_t(i), unused);
                // A library built against a base library of the other pointer
                // size stores slots inside its base's vtable: then the slots
                // are counted in declaration order instead.
                state.storedSlots = !type.functions.empty();
                for (const ResolvedFunction& function : type.functions.own())
                    if (function.available && function.vtableSlot < state.slotBase) state.storedSlots = false;
            }
            if (kind == FullClass::Kind::Listener) {
                listeners_[int32_t(i)] = int(model_.classes.size() - 1);
                typeClasses_.erase(int32_t(i));
            }
        }
    }
}

void ModelBuilder::fillObjectTargets() {
    tables_.objects.assign(library_.types.size(), ObjectTarget{});
    auto classOf = [&](int32_t dispatchIndex) -> std::string {
        auto found = dispatch_.find(dispatchIndex);
        if (found == dispatch_.end() || found->second.classIndex < 0) return {};
        return model_.classes[size_t(found->second.classIndex)].name;
    };
    for (size_t i = 0; i < library_.types.size(); ++i) {
        const ResolvedType& type = library_.types[i];
        if (type.state != ResolvedType::State::Available) continue;
        ObjectTarget& target = tables_.objects[i];
        int32_t dispatch = ownDispatchOf(library_, int32_t(i));
        if (dispatch >= 0) {
            target = {true, classOf(dispatch), true};
        } else if (dispatch_.count(int32_t(i))) {
            target = {true, classOf(int32_t(i)), true};  // derived from IDispatch, called through its vtable
        } else if (type.kind == TKIND_INTERFACE || type.kind == TKIND_DISPATCH) {
            target = {true, {}, type.kind == TKIND_DISPATCH || (type.flags & TYPEFLAG_FDUAL)};
        } else if (type.kind == TKIND_COCLASS) {
            // A coclass stands for its default interface.
            target = {true, {}, false};
            const ResolvedImplementedType* chosen = nullptr;
            for (const ResolvedImplementedType& implemented : type.implemented) {
                if (!implemented.available || (implemented.implFlags & IMPLTYPEFLAG_FSOURCE)) continue;
                if (!chosen || (implemented.implFlags & IMPLTYPEFLAG_FDEFAULT)) chosen = &implemented;
                if (implemented.implFlags & IMPLTYPEFLAG_FDEFAULT) break;
            }
            if (chosen) {
                int32_t chosenDispatch = ownDispatchOf(library_, chosen->type);
                if (chosenDispatch < 0 && dispatch_.count(chosen->type)) chosenDispatch = chosen->type;
                if (chosenDispatch >= 0) target = {true, classOf(chosenDispatch), true};
                else if (chosen->type >= 0 && size_t(chosen->type) < library_.types.size()) {
                    const ResolvedType& interface = library_.types[size_t(chosen->type)];
                    target.dispatch = interface.kind == TKIND_DISPATCH || (interface.flags & TYPEFLAG_FDUAL);
                }
            }
        }
    }
}

// A dispatch type whose base is another dispatch type of the library that
// has a class extends that class. A chain that returns to itself is cut.
void ModelBuilder::findBases() {
    for (auto& [index, state] : dispatch_) {
        if (state.classIndex < 0) continue;
        const ResolvedType& type = library_.types[size_t(index)];
        int32_t candidate = -1;
        if (type.dualBase == ResolvedType::DualBase::Found)
            candidate = type.dualBaseType;
        else if (type.dualBase == ResolvedType::DualBase::NotDual && !type.implemented.empty() &&
                 type.implemented[0].available)
            candidate = type.implemented[0].type;
        int32_t base = ownDispatchOf(library_, candidate);
        if (base < 0 && dispatch_.count(candidate)) base = candidate;
        if (base < 0 || base == index) continue;
        auto found = dispatch_.find(base);
        if (found == dispatch_.end() || found->second.classIndex < 0) continue;
        state.base = base;
    }
    // Each class is walked once: a walk ends where an earlier one passed,
    // since what lies beyond is known to end.
    std::unordered_set<int32_t> settled;
    for (auto& [index, state] : dispatch_) {
        if (settled.count(index)) continue;
        std::vector<int32_t> path{index};
        std::unordered_set<int32_t> onPath{index};
        for (int32_t at = state.base; at >= 0 && !settled.count(at); at = dispatch_.at(at).base) {
            if (!onPath.insert(at).second) {
                dispatch_.at(path.back()).base = -1;
                break;
            }
            path.push_back(at);
        }
        settled.insert(path.begin(), path.end());
    }
}

// Names the method bodies use, which a parameter of that name would hide.
bool isBodyName(std::string_view name) {
    return name == "MISSING" || name == "IID" || name == "java" || name == classTableClassName ||
           name == "METHOD" || name == "PROPERTYGET" || name == "PROPERTYPUT" || name == "PROPERTYPUTREF" ||
           name.rfind("mivra", 0) == 0 || name.rfind("VT_", 0) == 0;
}

std::string ModelBuilder::parameterName(const std::optional<std::string>& name, ParameterNameTable& table) const {
    std::string candidate = name && isIdentifierShaped(*name) ? *name : std::string("arg");
    if (isJavaReservedWord(candidate) || isBodyName(candidate)) candidate += '_';
    return uniqueParameterName(candidate, table);
}

// A member with the name, doc string and id its function or variable has.
template <typename Resolved>
FullMember memberOf(const Resolved& resolved) {
    FullMember member;
    member.memberName = *resolved.name;
    if (resolved.docString && !resolved.docString->empty()) member.docString = &*resolved.docString;
    member.dispId = resolved.memberId;
    return member;
}

// The erasures of the parameters, comma-separated.
std::string parametersOf(const FullMember& member) {
    std::string parameters;
    for (size_t k = 0; k < member.parameters.size(); ++k)
        parameters.append(k ? "," : "").append(erasureOf(member.parameters[k].type));
    return parameters;
}

std::string signatureOf(const std::string& name, const std::string& parameters) {
    std::string signature;
    signature.reserve(name.size() + parameters.size() + 2);
    return signature.append(name).append(1, '(').append(parameters).append(1, ')');
}

std::string defaultText(const ConstantValue& value) {
    switch (value.vt) {
    case VT_BSTR: return value.text ? "\"" + *value.text + "\"" : "null";
    case VT_R4: case VT_R8: case VT_DATE: {
        char text[32];
        std::snprintf(text, sizeof text, "%g", value.real);
        return text;
    }
    case VT_BOOL: return value.integer ? "true" : "false";
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    default: return std::to_string(value.integer);
    }
}

// Adds a method, or the comment of a duplicate; false for the duplicate.
// A name Java forbids or one that would clash with an inherited method
// gets a trailing "_".
bool ModelBuilder::declare(ClassState& state, FullClass& cls, FullMember member) {
    const std::string parameters = parametersOf(member);
    if (isJavaReservedWord(member.javaName)) {
        member.javaName += '_';
        member.renaming = "a Java keyword";
    } else if (std::string clash = inheritedClash(member.javaName, parameters, member.result, state.iterable,
                                                  member.overridesDeprecated);
               !clash.empty()) {
        member.javaName += '_';
        member.renaming = clash;
    }
    std::string signature = signatureOf(member.javaName, parameters);
    if (state.declares(signature)) {
        member.refusal = "Duplicate method";
        cls.members.push_back(std::move(member));
        return false;
    }
    for (const FullParameter& parameter : member.parameters) {
        cls.usesHolder = cls.usesHolder || parameter.type.usesHolder;
        cls.usesVariant = cls.usesVariant || parameter.type.usesVariant;
    }
    if (member.result) cls.usesVariant = cls.usesVariant || member.result->usesVariant;
    state.signatures.insert(std::move(signature));
    cls.members.push_back(std::move(member));
    return true;
}

void ModelBuilder::buildFunction(ClassState& state, FullClass& cls, const ResolvedFunction& function,
                                 const std::unordered_set<int32_t>& puts, bool& bound) {
    FullMember base = memberOf(function);
    base.invokeKind = function.invokeKind;
    auto refuse = [&](std::string reason) {
        base.refusal = std::move(reason);
        cls.members.push_back(std::move(base));
    };

    std::vector<const ResolvedParameter*> params;
    for (const ResolvedParameter& parameter : function.params) params.push_back(&parameter);
    TypeRef result = function.result;
    // A dispinterface method declared with an HRESULT and a [retval]
    // parameter: the parameter's value is what comes back.
    if (!params.empty() && (params.back()->flags & PARAMFLAG_FRETVAL)) {
        const TypeRef& declared = withoutAliases(library_, result);
        const TypeRef& last = withoutAliases(library_, params.back()->type);
        if ((declared.vt == VT_HRESULT || declared.vt == VT_VOID) && last.vt == VT_PTR && last.element) {
            result = *last.element;
            params.pop_back();
        }
    }
    if (cls.vtable) {
        // The runtime checks the HRESULT: a function returning anything else
        // cannot be called so.
        if (withoutAliases(library_, function.result).vt != VT_HRESULT)
            return refuse("returns " + vtCodeText(withoutAliases(library_, function.result).vt) + ", not an HRESULT");
        if (function.optionalParamCount < 0) return refuse("variable argument list through the vtable");
        if (result.vt == VT_HRESULT) result = TypeRef{};
    }

    std::string name = base.memberName;
    switch (function.invokeKind) {
    case 1: break;
    case 2: name = "get" + capitalised(name); break;
    case 4: name = "set" + capitalised(name); break;
    case 8: name = (puts.count(function.memberId) ? "setRef" : "set") + capitalised(name); break;
    default: return refuse("Invoke kind " + std::to_string(function.invokeKind) + " not available in Java");
    }
    if (!isIdentifierShaped(base.memberName) || !isIdentifierShaped(name))
        return refuse("Name is not a Java identifier");
    base.javaName = name;

    Mapping mappedResult = mapResult(tables_, result);
    if (!mappedResult.type) return refuse(mappedResult.refusal);
    if (!mappedResult.type->name.empty()) {
        base.result = mappedResult.type;
        base.resultEnumClass = enumClassOf(*mappedResult.type);
    }

    const bool varargs = function.optionalParamCount < 0;
    const bool put = function.invokeKind == 4 || function.invokeKind == 8;
    const size_t count = params.size();
    if (count > 254) return refuse("Too many parameters for a Java method");
    const ParameterUse use = cls.vtable ? ParameterUse::Vtable : ParameterUse::Call;
    std::vector<Mapping> mapped;
    for (size_t k = 0; k < count; ++k)
        mapped.push_back(mapParameter(tables_, *params[k], varargs && k + 1 == count, use));

    // The value of a put is the last argument, whatever is optional before
    // it; optional and defaultvalue parameters before it may be left out,
    // from the last one back. Through the vtable only a VARIANT can be
    // left out (as MISSING): the others have no stand-in.
    const size_t valueIndex = put && count > 0 ? count - 1 : count;
    const size_t leading = valueIndex;
    const int declaredOptional = std::max<int>(function.optionalParamCount, 0);
    auto omissible = [&](size_t k) {
        if (cls.vtable && !(mapped[k].type && mapped[k].type->vt == VT_VARIANT)) return false;
        return !varargs && ((params[k]->flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) ||
                            int(k) >= int(function.params.size()) - declaredOptional);
    };
    size_t firstOptional = leading;
    while (firstOptional > 0 && omissible(firstOptional - 1)) --firstOptional;
    for (size_t k = 0; k < count; ++k)
        if ((k < firstOptional || k == valueIndex) && !mapped[k].type) return refuse(mapped[k].refusal);
    size_t longest = firstOptional;
    while (longest < leading && mapped[longest].type) ++longest;
    // Each optional parameter adds a method as long as the one before: past
    // this many the output would grow with the square of the parameters.
    if (longest - firstOptional > size_t(maxOptionalParameters)) return refuse("Too many optional parameters");
    // The slot the library stores, unless it stores none that fit.
    if (cls.vtable)
        base.slot = state.storedSlots
                        ? function.vtableSlot
                        : state.slotBase + int(&function - library_.types[size_t(state.typeIndex)].functions.own().data());

    for (size_t included = firstOptional; included <= longest; ++included) {
        FullMember member = included == longest ? std::move(base) : base;
        ParameterNameTable names;
        auto addParameter = [&](size_t k) {
            member.arguments.push_back({int16_t(member.parameters.size()), mapped[k].type->vt});
            FullParameter& parameter = member.parameters.emplace_back();
            parameter.name = parameterName(params[k]->name, names);
            parameter.type = *mapped[k].type;
            parameter.libraryName = params[k]->name ? *params[k]->name : std::string();
            parameter.optional = k < leading && k >= firstOptional;
            if (params[k]->defaultValue) parameter.defaultText = defaultText(*params[k]->defaultValue);
            parameter.enumClass = enumClassOf(*mapped[k].type);
        };
        for (size_t k = 0; k < included; ++k) addParameter(k);
        for (size_t k = included; k < leading; ++k) {
            member.arguments.push_back({-1, mapped[k].type ? mapped[k].type->vt : uint16_t(VT_ERROR)});
        }
        if (valueIndex < count) addParameter(valueIndex);
        if (!declare(state, cls, std::move(member))) break;
        bound = true;
    }
}

void ModelBuilder::buildVariable(ClassState& state, FullClass& cls, const ResolvedVariable& variable) {
    FullMember base = memberOf(variable);
    if (!isIdentifierShaped(base.memberName)) {
        base.refusal = "Name is not a Java identifier";
        cls.members.push_back(std::move(base));
        return;
    }
    Mapping type = mapResult(tables_, variable.type);
    if (!type.type || type.type->name.empty()) {
        base.refusal = type.type ? "type VT_VOID" : type.refusal;
        cls.members.push_back(std::move(base));
        return;
    }
    FullMember getter = base;
    getter.invokeKind = 2;
    getter.javaName = "get" + capitalised(base.memberName);
    getter.result = type.type;
    getter.resultEnumClass = enumClassOf(*type.type);
    bool declared = declare(state, cls, std::move(getter));
    if (!declared || (variable.flags & VARFLAG_FREADONLY)) return;
    FullMember setter = base;
    setter.invokeKind = 4;
    setter.javaName = "set" + capitalised(base.memberName);
    ParameterNameTable names;
    FullParameter& value = setter.parameters.emplace_back();
    value.name = uniqueParameterName("value", names);
    value.type = *type.type;
    value.enumClass = enumClassOf(*type.type);
    setter.arguments.push_back({0, type.type->vt});
    declare(state, cls, std::move(setter));
}

void ModelBuilder::buildInterface(int32_t typeIndex) {
    ClassState& state = dispatch_[typeIndex];
    if (state.done) return;
    state.done = true;
    const ResolvedType& type = library_.types[size_t(typeIndex)];
    ClassState* baseState = nullptr;
    if (state.base >= 0) {
        buildInterface(state.base);
        baseState = &dispatch_[state.base];
        state.baseState = baseState;
        state.iterable = baseState->iterable;
    }
    // A view that continues its base class's view: the functions they share
    // were counted and bound there.
    const bool continuesBase = baseState && type.inheritedView == state.base;
    const std::vector<ResolvedFunction>& own = type.functions.own();
    FullClass* cls = state.classIndex >= 0 ? &model_.classes[size_t(state.classIndex)] : nullptr;
    if (cls)
        cls->members.reserve((continuesBase ? own.size() : type.functions.size()) * 3 / 2 + 2 * type.variables.size());
    if (cls && baseState) cls->baseClass = model_.classes[size_t(baseState->classIndex)].name;

    std::unordered_set<int32_t> puts;
    bool putRefs = !continuesBase ||
                   std::any_of(own.begin(), own.end(), [](const ResolvedFunction& f) { return f.invokeKind == 8; });
    if (putRefs)
        for (const ResolvedFunction& function : type.functions)
            if (function.available && function.invokeKind == 4) puts.insert(function.memberId);
    // Iterable unless an ancestor already is; not when an ancestor's own
    // member took the name of Iterable's methods.
    if (cls && !state.element.empty() && !state.iterable) {
        if (baseState && (baseState->declares("iterator()") || baseState->declares("spliterator()")))
            iterableRefusals_.emplace_back(cls->name, "not Iterable: a base interface has a member iterator() or spliterator()");
        else {
            state.iterable = true;
            cls->iterableElement = state.element;
            if (cls->iterableElement == "MivraVariant") cls->usesVariant = true;
        }
    }

    for (const ResolvedVariable& variable : type.variables) {
        if (!variable.available || variable.varKind != VAR_DISPATCH || !variable.name) continue;
        MemberKey key{variable.memberId, 2, *variable.name};
        if (state.member(key)) continue;
        state.members[key] = true;
        if (cls) buildVariable(state, *cls, variable);
    }
    FullCoverage& coverage = coverage_[typeIndex];
    coverage.typeName = textOf(type.name);
    auto& [unnamed, unread] = unreadableOf_[typeIndex];
    if (continuesBase) {
        const FullCoverage& inherited = coverage_.at(state.base);
        coverage.functions += inherited.functions;
        coverage.bound += inherited.bound;
        std::tie(unnamed, unread) = unreadableOf_.at(state.base);
    }
    auto add = [&](const ResolvedFunction& function) {
        if (function.available && function.name && isBaseInterfaceMethod(*function.name)) return;
        if (function.emptySlot) return;
        ++coverage.functions;
        if (!function.available || !function.name) {
            ++(function.available ? unnamed : unread);
            return;
        }
        MemberKey key{function.memberId, function.invokeKind, *function.name};
        if (auto inherited = state.member(key)) {
            coverage.bound += *inherited;
            return;
        }
        bool bound = false;
        if (cls) buildFunction(state, *cls, function, puts, bound);
        state.members[key] = bound;
        coverage.bound += bound;
    };
    if (continuesBase)
        std::for_each(own.begin(), own.end(), add);
    else
        std::for_each(type.functions.begin(), type.functions.end(), add);
    if (unnamed) unreadable_[{coverage.typeName, "a function without a name"}] += unnamed;
    if (unread) unreadable_[{coverage.typeName, "a function that cannot be read"}] += unread;
}

// The Item of a collection (by name: not every library gives it
// DISPID_VALUE), a method or property get taking its index first and
// nothing but optional parameters after it.
const ResolvedFunction* ModelBuilder::collectionItem(const ClassState& state) const {
    for (const ClassState* at = &state; at; at = at->base >= 0 ? &dispatch_.at(at->base) : nullptr) {
        for (const ResolvedFunction& function : library_.types[size_t(at->typeIndex)].functions) {
            if (!function.available || !function.name || lowered(*function.name) != "item" ||
                (function.invokeKind != 1 && function.invokeKind != 2))
                continue;
            size_t count = function.params.size();
            if (count > 0 && (function.params.back().flags & PARAMFLAG_FRETVAL)) --count;
            if (count == 0) continue;
            const int optional = std::max<int>(function.optionalParamCount, 0);
            bool rest = true;
            for (size_t k = 1; k < count; ++k)
                rest = rest && ((function.params[k].flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) ||
                                int(k) >= int(function.params.size()) - optional);
            if (rest) return &function;
        }
        if (at->base == at->typeIndex) break;
    }
    return nullptr;
}

// What each collection iterates: the class of its Item's objects, else
// MivraVariant. A class iterating something other than what a subclass
// iterates is not Iterable itself, since Java lets a class be Iterable of
// one type only; its subclasses are.
void ModelBuilder::planIterables() {
    // Whether a view has _NewEnum, each function looked at once where views
    // share what they inherit.
    std::unordered_map<int32_t, bool> viewNewEnum;
    auto viewHasNewEnum = [&](int32_t index) {
        std::vector<int32_t> unknown;
        for (int32_t at = index; at >= 0 && !viewNewEnum.count(at); at = library_.types[size_t(at)].inheritedView)
            unknown.push_back(at);
        for (auto at = unknown.rbegin(); at != unknown.rend(); ++at) {
            const ResolvedType& type = library_.types[size_t(*at)];
            bool found = type.inheritedView >= 0 && viewNewEnum.at(type.inheritedView);
            for (const ResolvedFunction& function : type.functions.own())
                found = found || (function.available && function.memberId == DISPID_NEWENUM);
            for (const ResolvedVariable& variable : type.variables)
                found = found || (variable.available && variable.memberId == DISPID_NEWENUM);
            viewNewEnum[*at] = found;
        }
        return viewNewEnum.at(index);
    };
    // Whether a class or an ancestor has it, each class looked at once.
    std::unordered_map<int32_t, bool> newEnumOf;
    auto hasNewEnum = [&](int32_t index) {
        std::vector<int32_t> unknown;
        for (int32_t at = index; at >= 0 && !newEnumOf.count(at); at = dispatch_.at(at).base) unknown.push_back(at);
        for (auto at = unknown.rbegin(); at != unknown.rend(); ++at) {
            int32_t base = dispatch_.at(*at).base;
            newEnumOf[*at] = viewHasNewEnum(*at) || (base >= 0 && newEnumOf.at(base));
        }
        return newEnumOf.at(index);
    };
    for (auto& [index, state] : dispatch_) {
        if (state.classIndex < 0) continue;
        if (!hasNewEnum(index)) continue;
        if (model_.classes[size_t(state.classIndex)].vtable) {
            // The runtime enumerates through IDispatch, which such a server may not answer.
            iterableRefusals_.emplace_back(model_.classes[size_t(state.classIndex)].name,
                                           "not Iterable: called through its vtable, and iteration goes through IDispatch");
            continue;
        }
        state.element = "MivraVariant";
        if (const ResolvedFunction* item = collectionItem(state)) {
            TypeRef result = item->result;
            if (!item->params.empty() && (item->params.back().flags & PARAMFLAG_FRETVAL) &&
                withoutAliases(library_, item->params.back().type).vt == VT_PTR &&
                withoutAliases(library_, item->params.back().type).element)
                result = *withoutAliases(library_, item->params.back().type).element;
            Mapping element = mapResult(tables_, result);
            if (element.type && element.type->object) state.element = element.type->name;
        }
    }
    for (auto& [index, state] : dispatch_) {
        if (state.element.empty()) continue;
        std::vector<int32_t> path{index};
        for (int32_t at = state.base; at >= 0 && path.size() < 4096; at = dispatch_.at(at).base) {
            ClassState& ancestor = dispatch_.at(at);
            if (!ancestor.element.empty() && ancestor.element != state.element) {
                iterableRefusals_.emplace_back(model_.classes[size_t(ancestor.classIndex)].name,
                                               "not Iterable: " + model_.classes[size_t(state.classIndex)].name +
                                                   ", which extends it, iterates " + state.element);
                ancestor.element.clear();
                ancestor.elementRefused = true;
            }
            if (std::find(path.begin(), path.end(), at) != path.end()) break;
            path.push_back(at);
        }
    }
}

// The interfaces offered as get<I>(), in the order the default output lists
// them: each non-source dispatch interface of the class put in front, then
// the dispatch interfaces it names in front of it; the first mention stays.
void ModelBuilder::buildObject(FullClass& cls, const ResolvedType& coclass) {
    cls.classId = inputs_.identifierText ? inputs_.identifierText(coclass.guid) : guidText(coclass.guid);
    // The class extends its default interface's class, so that its members
    // are called on the object itself.
    const ClassState* baseState = nullptr;
    if (auto found = dispatch_.find(defaultInterfaceOf(coclass));
        found != dispatch_.end() && found->second.classIndex >= 0) {
        baseState = &found->second;
        FullClass& base = model_.classes[size_t(found->second.classIndex)];
        cls.baseClass = base.name;
        cls.defaultIid = base.iid;
        if (cls.creatable)
            for (const ClassState* at = baseState; at && !model_.classes[size_t(at->classIndex)].creatableBase;
                 at = at->baseState)
                model_.classes[size_t(at->classIndex)].creatableBase = true;
    }
    std::vector<int32_t> listed;
    std::vector<int32_t> path;
    std::function<void(int32_t)> link = [&](int32_t dispatch) {
        if (dispatch < 0 || listed.size() >= 4096) return;
        if (std::find(path.begin(), path.end(), dispatch) != path.end()) return;
        listed.insert(listed.begin(), dispatch);
        path.push_back(dispatch);
        const ResolvedType& type = library_.types[size_t(dispatch)];
        std::vector<int32_t> bases;
        for (const ResolvedImplementedType& implemented : type.implemented)
            if (implemented.available) bases.insert(bases.begin(), ownDispatchOf(library_, implemented.type));
        for (int32_t base : bases) link(base);
        path.pop_back();
    };
    for (const ResolvedImplementedType& implemented : coclass.implemented) {
        if (!implemented.available || (implemented.implFlags & IMPLTYPEFLAG_FSOURCE)) continue;
        link(ownDispatchOf(library_, implemented.type));
    }
    std::unordered_set<int32_t> seen;
    for (int32_t dispatch : listed) {
        if (!seen.insert(dispatch).second) continue;
        auto found = dispatch_.find(dispatch);
        if (found == dispatch_.end() || found->second.classIndex < 0) continue;
        const std::string& name = model_.classes[size_t(found->second.classIndex)].name;
        cls.interfaces.push_back(name);
        std::string getter = "get" + name;
        if (isJavaReservedWord(getter) || (baseState && baseState->declares(getter + "()"))) getter += '_';
        cls.getterNames.push_back(getter);
    }
    for (const ResolvedImplementedType& implemented : coclass.implemented) {
        if (!implemented.available || !(implemented.implFlags & IMPLTYPEFLAG_FSOURCE)) continue;
        auto found = listeners_.find(ownDispatchOf(library_, implemented.type));
        if (found == listeners_.end() || found->second < 0) continue;
        const std::string& name = model_.classes[size_t(found->second)].name;
        if (std::find(cls.sourceInterfaces.begin(), cls.sourceInterfaces.end(), name) == cls.sourceInterfaces.end())
            cls.sourceInterfaces.push_back(name);
    }
}

// One default method per event, each with its own DISPID, since the adapter
// dispatches on it. Events return nothing to the server: a [retval] is left
// out, as the server does not pass it among the arguments.
void ModelBuilder::buildListener(int32_t typeIndex, FullClass* cls) {
    const ResolvedType& type = library_.types[size_t(typeIndex)];
    FullCoverage& coverage = coverage_[typeIndex];
    coverage.typeName = textOf(type.name);
    if (cls) {
        for (const ResolvedVariable& variable : type.variables) {
            if (!variable.available || variable.varKind != VAR_DISPATCH || !variable.name) continue;
            FullMember& member = cls->members.emplace_back();
            member.memberName = *variable.name;
            member.refusal = "A property, not an event";
        }
    }
    std::unordered_set<std::string> signatures;
    std::unordered_set<int32_t> dispIds;
    for (const ResolvedFunction& function : type.functions) {
        if (function.available && function.name && isBaseInterfaceMethod(*function.name)) continue;
        if (function.emptySlot) continue;
        ++coverage.functions;
        if (!function.available || !function.name) {
            ++unreadable_[{coverage.typeName, function.available ? "an event without a name" : "an event that cannot be read"}];
            continue;
        }
        if (!cls) continue;
        FullMember member = memberOf(function);
        member.invokeKind = function.invokeKind;
        auto refuse = [&](std::string reason) {
            member.refusal = std::move(reason);
            cls->members.push_back(std::move(member));
        };
        if (function.invokeKind != 1) {
            refuse("A property, not an event");
            continue;
        }
        if (!isIdentifierShaped(member.memberName)) {
            refuse("Name is not a Java identifier");
            continue;
        }
        member.javaName = member.memberName;
        size_t count = function.params.size();
        if (count > 0 && (function.params.back().flags & PARAMFLAG_FRETVAL)) --count;
        ParameterNameTable names;
        std::string refusal;
        for (size_t k = 0; k < count; ++k) {
            Mapping mapped = mapEventParameter(tables_, function.params[k]);
            if (!mapped.type) {
                refusal = mapped.refusal;
                break;
            }
            member.arguments.push_back({int16_t(k), mapped.type->vt});
            FullParameter& parameter = member.parameters.emplace_back();
            parameter.name = parameterName(function.params[k].name, names);
            parameter.type = *mapped.type;
            parameter.libraryName = function.params[k].name ? *function.params[k].name : std::string();
            parameter.enumClass = enumClassOf(*mapped.type);
        }
        if (!refusal.empty()) {
            refuse(refusal);
            continue;
        }
        // A default method cannot override one of Object's.
        const std::string parameters = parametersOf(member);
        bool overrides = false;
        if (isJavaReservedWord(member.javaName)) {
            member.javaName += '_';
            member.renaming = "a Java keyword";
        } else if (std::string clash = inheritedClash(member.javaName, parameters, std::nullopt, false, overrides);
                   !clash.empty() || overrides) {
            member.javaName += '_';
            member.renaming = clash.empty() ? "would override a method of MivraObject" : clash;
        }
        std::string signature = signatureOf(member.javaName, parameters);
        if (signatures.count(signature)) {
            refuse("Duplicate method");
            continue;
        }
        if (dispIds.count(member.dispId)) {
            refuse("Another event has this DISPID");
            continue;
        }
        signatures.insert(std::move(signature));
        dispIds.insert(member.dispId);
        for (const FullParameter& parameter : member.parameters) {
            cls->usesHolder = cls->usesHolder || parameter.type.usesHolder;
            cls->usesVariant = cls->usesVariant || parameter.type.usesVariant;
        }
        cls->members.push_back(std::move(member));
        ++coverage.bound;
    }
}

// The Java name of a constant, or its refusal: false when refused.
static bool claimConstantName(const std::string& libraryName, FullConstant& constant,
                              std::unordered_set<std::string>& names) {
    if (!isIdentifierShaped(libraryName)) {
        constant.refusal = "Name is not a Java identifier";
        return false;
    }
    std::string name = libraryName;
    if (isJavaReservedWord(name)) name += '_';
    if (!names.insert(name).second) {
        constant.refusal = "Duplicate constant";
        return false;
    }
    constant.name = std::move(name);
    return true;
}

// Types sharing one block of constants list them each: past the library's
// cap the rest are cut, and the cut is stated.
bool ModelBuilder::constantsCut(const ResolvedType& type, size_t listed) {
    if (constantsLeft_ > 0) {
        --constantsLeft_;
        return false;
    }
    model_.notBound.emplace_back(textOf(type.name), std::to_string(type.variables.size() - listed) +
                                                        " constants cut: the bindings list at most " +
                                                        std::to_string(library_.reportedMemberCap()) +
                                                        " members and parameters of a library");
    return true;
}

// The constants of an enumeration (integers) or of a module (typed by
// their values); a module's functions are entry points of a DLL, which
// nothing here can call, listed with the reason.
void ModelBuilder::buildConstants(FullClass& cls, const ResolvedType& type) {
    const bool module = type.kind == TKIND_MODULE;
    std::unordered_set<std::string> names;
    size_t listed = 0;
    for (const ResolvedVariable& variable : type.variables) {
        if (constantsCut(type, listed++)) break;
        if (!variable.available || !variable.name) continue;
        FullConstant& constant = cls.constants.emplace_back();
        constant.memberName = *variable.name;
        if (variable.docString && !variable.docString->empty()) constant.docString = variable.docString;
        if (variable.varKind != VAR_CONST || !variable.value) {
            constant.refusal = "Not a constant";
            continue;
        }
        const ConstantValue& value = *variable.value;
        if (module) {
            if (!claimConstantName(*variable.name, constant, names)) continue;
            if (!javaConstant(value, constant.javaType, constant.literal)) {
                constant.refusal = "Type of the value not available in Java";
                constant.name.clear();
            }
            continue;
        }
        if (value.vt == VT_BSTR || value.vt == VT_R4 || value.vt == VT_R8 || value.vt == VT_DATE ||
            value.vt == VT_EMPTY || value.vt == VT_NULL) {
            constant.refusal = "Not an integer";
            continue;
        }
        if (!claimConstantName(*variable.name, constant, names)) continue;
        constant.value = static_cast<int32_t>(static_cast<uint32_t>(value.integer));
        constant.literal = std::to_string(constant.value);
    }
    if (!module) return;
    for (const ResolvedFunction& function : type.functions) {
        if (!function.available || !function.name) continue;
        FullConstant& entry = cls.constants.emplace_back();
        entry.memberName = *function.name;
        entry.entryPoint = true;
        entry.refusal = entryPointRefusal;
    }
}

// One line per member or type left out or renamed, for the file the
// summary names.
void ModelBuilder::listUnbound() {
    std::vector<std::string>& lines = model_.unbound;
    std::unordered_set<std::string> seen;
    auto add = [&](std::string line) {
        if (seen.insert(line).second) lines.push_back(std::move(line));
    };
    for (const auto& [subject, reason] : model_.refusals) add(subject + ": " + reason);
    for (const auto& [subject, reason] : renamedTypes_) add(subject + ": renamed " + reason);
    for (const auto& [subject, reason] : model_.renames) add(subject + ": renamed " + reason);
    for (const auto& [subject, reason] : model_.notBound) add(subject + ": " + reason);
    for (const auto& [index, reason] : uncalled_)
        add(textOf(library_.types[size_t(index)].name) + ": not bound (" +
            std::to_string(library_.types[size_t(index)].functions.size()) + " functions): " + reason);
    for (const auto& [subject, reason] : iterableRefusals_) add(subject + ": " + reason);
    for (const auto& [entry, count] : unreadable_)
        add(entry.first + ": not bound: " + (count > 1 ? std::to_string(count) + " times " : std::string()) +
            entry.second);
    for (const FullClass& cls : model_.classes) {
        const std::string& owner = cls.libraryName.empty() ? cls.name : cls.libraryName;
        for (const FullMember& member : cls.members) {
            if (!member.refusal.empty())
                add(owner + "." + member.memberName + ": " + member.refusal);
            else if (!member.renaming.empty())
                add(owner + "." + member.memberName + ": renamed " + member.javaName + ": " + member.renaming);
        }
        for (const FullConstant& constant : cls.constants)
            if (!constant.refusal.empty()) add(owner + "." + constant.memberName + ": " + constant.refusal);
    }
}

FullModel ModelBuilder::build() {
    model_.libraryName = textOf(library_.name);
    model_.libraryDoc = textOf(library_.docString);
    findListeners();
    planClasses();
    fillObjectTargets();
    findBases();
    planIterables();
    for (auto& [index, state] : dispatch_) buildInterface(index);
    for (const auto& [index, reason] : uncalled_) {
        const ResolvedType& type = library_.types[size_t(index)];
        FullCoverage& coverage = coverage_[index];
        coverage.typeName = textOf(type.name);
        coverage.functions = int(type.functions.size());
        coverage.callable = reason.rfind("derives from IUnknown", 0) != 0;
    }
    for (auto& [index, classIndex] : listeners_)
        buildListener(index, classIndex >= 0 ? &model_.classes[size_t(classIndex)] : nullptr);
    for (auto& [index, entry] : coverage_) model_.coverage.push_back(std::move(entry));
    for (FullClass& cls : model_.classes) {
        const ResolvedType& type = library_.types[size_t(cls.typeIndex)];
        if (cls.kind == FullClass::Kind::Object) buildObject(cls, type);
        if (cls.kind == FullClass::Kind::Constants) buildConstants(cls, type);
    }
    listEntryPoints();
    listUnbound();
    return std::move(model_);
}

// The entry points of modules that got no class of constants.
void ModelBuilder::listEntryPoints() {
    const uint32_t own = std::min<uint32_t>(library_.ownTypeCount, uint32_t(library_.types.size()));
    for (uint32_t i = 0; i < own; ++i) {
        const ResolvedType& type = library_.types[i];
        if (type.state != ResolvedType::State::Available || type.kind != TKIND_MODULE || !type.variables.empty())
            continue;
        for (const ResolvedFunction& function : type.functions)
            if (function.available && function.name)
                model_.notBound.emplace_back(textOf(type.name) + "." + *function.name, entryPointRefusal);
    }
}

}  // namespace

int FullModel::functionCount() const {
    int total = 0;
    for (const FullCoverage& entry : coverage) total += entry.functions;
    return total;
}

int FullModel::boundCount() const {
    int total = 0;
    for (const FullCoverage& entry : coverage) total += entry.bound;
    return total;
}

int FullModel::callableFunctionCount() const {
    int total = 0;
    for (const FullCoverage& entry : coverage) total += entry.callable ? entry.functions : 0;
    return total;
}

int FullModel::callableBoundCount() const {
    int total = 0;
    for (const FullCoverage& entry : coverage) total += entry.callable ? entry.bound : 0;
    return total;
}

int FullModel::listenerCount() const {
    return int(std::count_if(classes.begin(), classes.end(),
                             [](const FullClass& cls) { return cls.kind == FullClass::Kind::Listener; }));
}

int FullModel::eventCount() const {
    int total = 0;
    for (const FullClass& cls : classes)
        if (cls.kind == FullClass::Kind::Listener)
            total += int(std::count_if(cls.members.begin(), cls.members.end(),
                                       [](const FullMember& member) { return member.refusal.empty(); }));
    return total;
}

bool isReservedFullClassName(std::string_view name) {
    return std::find(std::begin(reservedClassNames), std::end(reservedClassNames), name) != std::end(reservedClassNames);
}

FullModel buildFullModel(const ResolvedLibrary& library, const FullModelInputs& inputs) {
    return ModelBuilder(library, inputs).build();
}

}  // namespace mivra
