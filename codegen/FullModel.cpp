#include "FullModel.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "Format.h"
#include "GenerationContext.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {

namespace {

constexpr uint16_t PARAMFLAG_FRETVAL = 0x8;

// Types the generated code names unqualified: a generated class of such a
// name would take their place inside the package (Adapter: inside a
// listener interface, whose nested class it is).
constexpr std::array<std::string_view, 19> reservedClassNames = {
    "MivraObject", "MivraVariant", "MivraException", "Holder", "Ref", "Object", "String", "Byte", "Short",
    "Integer", "Long", "Float", "Double", "Boolean", "Iterable", "Override", "java", "EventAdapter", "Adapter",
};

// Methods every generated class inherits from MivraObject and
// java.lang.Object; a COM member of that name gets a trailing "_".
constexpr std::array<std::string_view, 18> reservedMethodNames = {
    "close", "invoke", "getProperty", "setProperty", "mivraCall", "mivraAdopt", "mivraEnumerate", "addListener",
    "setEventExceptionHandler", "clone", "equals", "finalize", "getClass", "hashCode", "notify", "notifyAll",
    "toString", "wait",
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string capitalised(std::string name) {
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
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
    std::string claimRefusal(std::string_view name);
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
    void buildConstants(FullClass& cls, const ResolvedType& enumeration);
    void buildModuleConstants(FullClass& cls, const ResolvedType& module);
    void listEntryPoints();
    std::string parameterName(const std::optional<std::string>& name, ParameterNameTable& table) const;
    std::string methodName(std::string name, bool iterable) const;

    const ResolvedLibrary& library_;
    const FullModelInputs& inputs_;
    MappingTables tables_;
    FullModel model_;
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, int> nextSuffix_;  // by lowered name: the next "_N" to try
    std::map<int32_t, ClassState> dispatch_;  // by type index
    std::map<int32_t, int> listeners_;  // type index -> class index, -1 when the type has no class
    std::map<int32_t, FullCoverage> coverage_;  // by type index
};

constexpr const char* entryPointRefusal = "A DLL entry point, which cannot be called through IDispatch";
constexpr const char* nameTakenRefusal = "Name already used by another class; no class written for this type";

std::string ModelBuilder::claimRefusal(std::string_view name) {
    if (!isJavaIdentifier(name)) return "Not a Java identifier; no class written for this type";
    if (isReservedFullClassName(name) || !taken_.insert(lowered(name)).second)
        return nameTakenRefusal;
    return {};
}

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

// Object classes first, then interface classes, then constant classes, each
// in library order: an earlier class keeps a name two types share.
void ModelBuilder::planClasses() {
    const uint32_t own = std::min<uint32_t>(library_.ownTypeCount, uint32_t(library_.types.size()));
    for (uint32_t pass = 0; pass < 3; ++pass) {
        for (uint32_t i = 0; i < own; ++i) {
            const ResolvedType& type = library_.types[i];
            if (type.state != ResolvedType::State::Available) continue;
            FullClass::Kind kind;
            if (pass == 0 && type.kind == TKIND_COCLASS && (type.flags & TYPEFLAG_FCANCREATE) &&
                !type.implemented.empty())
                kind = FullClass::Kind::Object;
            else if (pass == 1 && type.kind == TKIND_DISPATCH)
                kind = listeners_.count(int32_t(i)) ? FullClass::Kind::Listener : FullClass::Kind::Interface;
            else if (pass == 2 && type.kind == TKIND_ENUM)
                kind = FullClass::Kind::Constants;
            else if (pass == 2 && type.kind == TKIND_MODULE && !type.variables.empty())
                kind = FullClass::Kind::Constants;
            else
                continue;
            std::string name = textOf(type.name);
            if (kind == FullClass::Kind::Interface) dispatch_[int32_t(i)].typeIndex = int32_t(i);
            std::string refusal = claimRefusal(name);
            if (refusal == nameTakenRefusal && !isReservedFullClassName(name)) {
                // A later type of a name an earlier class took: the name with
                // the first free "_N", the same on every run.
                int& suffix = nextSuffix_.try_emplace(lowered(name), 2).first->second;
                std::string renamed;
                do renamed = name + "_" + std::to_string(suffix++);
                while (!(refusal = claimRefusal(renamed)).empty() && refusal == nameTakenRefusal);
                if (refusal.empty()) {
                    model_.renames.emplace_back(name, "class " + renamed + ": another type of the library has this name");
                    name = renamed;
                }
            }
            if (!refusal.empty()) {
                model_.refusals.emplace_back(name.empty() ? guidText(type.guid) : name, refusal);
                continue;
            }
            FullClass& cls = model_.classes.emplace_back();
            cls.kind = kind;
            cls.module = type.kind == TKIND_MODULE;
            cls.name = name;
            cls.typeIndex = int32_t(i);
            if (type.docString && !type.docString->empty()) cls.docString = type.docString;
            cls.iid = guidText(type.guid);
            if (kind == FullClass::Kind::Interface)
                dispatch_[int32_t(i)].classIndex = int(model_.classes.size() - 1);
            if (kind == FullClass::Kind::Listener) listeners_[int32_t(i)] = int(model_.classes.size() - 1);
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
        if (base < 0 || base == index) continue;
        auto found = dispatch_.find(base);
        if (found == dispatch_.end() || found->second.classIndex < 0) continue;
        state.base = base;
    }
    for (auto& [index, state] : dispatch_) {
        std::vector<int32_t> path{index};
        for (int32_t at = state.base; at >= 0; at = dispatch_[at].base) {
            if (std::find(path.begin(), path.end(), at) != path.end()) {
                dispatch_[path.back()].base = -1;
                break;
            }
            path.push_back(at);
        }
    }
}

std::string ModelBuilder::parameterName(const std::optional<std::string>& name, ParameterNameTable& table) const {
    std::string candidate = name && isIdentifierShaped(*name) ? *name : std::string("arg");
    // The method bodies use MISSING and locals named mivra...
    if (isJavaReservedWord(candidate) || candidate == "MISSING" || candidate.rfind("mivra", 0) == 0) candidate += '_';
    return uniqueParameterName(candidate, table);
}

std::string ModelBuilder::methodName(std::string name, bool iterable) const {
    if (isJavaReservedWord(name) || isReservedFullMethodName(name, iterable)) name += '_';
    return name;
}

std::string signatureOf(const FullMember& member) {
    std::string signature = member.javaName + "(";
    for (size_t k = 0; k < member.parameters.size(); ++k)
        signature.append(k ? "," : "").append(erasureOf(member.parameters[k].type));
    return signature + ")";
}

// Adds a method, or the comment of a duplicate; false for the duplicate.
bool ModelBuilder::declare(ClassState& state, FullClass& cls, FullMember member) {
    std::string signature = signatureOf(member);
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
    FullMember base;
    base.memberName = *function.name;
    if (function.docString && !function.docString->empty()) base.docString = &*function.docString;
    base.dispId = function.memberId;
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
    base.javaName = methodName(name, state.iterable);

    Mapping mappedResult = mapResult(tables_, result);
    if (!mappedResult.type) return refuse(mappedResult.refusal);
    if (!mappedResult.type->name.empty()) base.result = mappedResult.type;

    const bool varargs = function.optionalParamCount < 0;
    const bool put = function.invokeKind == 4 || function.invokeKind == 8;
    const size_t count = params.size();
    std::vector<Mapping> mapped;
    for (size_t k = 0; k < count; ++k) mapped.push_back(mapParameter(tables_, *params[k], varargs && k + 1 == count));

    // The value of a put is the last argument, whatever is optional before
    // it; optional and defaultvalue parameters before it may be left out,
    // from the last one back.
    const size_t valueIndex = put && count > 0 ? count - 1 : count;
    const size_t leading = valueIndex;
    const int declaredOptional = std::max<int>(function.optionalParamCount, 0);
    auto omissible = [&](size_t k) {
        return !varargs && ((params[k]->flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) ||
                            int(k) >= int(function.params.size()) - declaredOptional);
    };
    size_t firstOptional = leading;
    while (firstOptional > 0 && omissible(firstOptional - 1)) --firstOptional;
    for (size_t k = 0; k < count; ++k)
        if ((k < firstOptional || k == valueIndex) && !mapped[k].type) return refuse(mapped[k].refusal);
    size_t longest = firstOptional;
    while (longest < leading && mapped[longest].type) ++longest;

    for (size_t included = firstOptional; included <= longest; ++included) {
        FullMember member = included == longest ? std::move(base) : base;
        ParameterNameTable names;
        auto addParameter = [&](size_t k) {
            member.arguments.push_back({int16_t(member.parameters.size()), mapped[k].type->vt});
            member.parameters.push_back({parameterName(params[k]->name, names), *mapped[k].type});
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
    FullMember base;
    base.memberName = *variable.name;
    if (variable.docString && !variable.docString->empty()) base.docString = &*variable.docString;
    base.dispId = variable.memberId;
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
    getter.javaName = methodName("get" + capitalised(base.memberName), state.iterable);
    getter.result = type.type;
    bool declared = declare(state, cls, std::move(getter));
    if (!declared || (variable.flags & VARFLAG_FREADONLY)) return;
    FullMember setter = base;
    setter.invokeKind = 4;
    setter.javaName = methodName("set" + capitalised(base.memberName), state.iterable);
    ParameterNameTable names;
    setter.parameters.push_back({uniqueParameterName("value", names), *type.type});
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
    FullClass* cls = state.classIndex >= 0 ? &model_.classes[size_t(state.classIndex)] : nullptr;
    if (cls) cls->members.reserve(type.functions.size() * 3 / 2 + 2 * type.variables.size());
    if (cls && baseState) cls->baseClass = model_.classes[size_t(baseState->classIndex)].name;

    // Iterable through DISPID_NEWENUM unless an ancestor already is.
    std::unordered_set<int32_t> puts;
    bool newEnum = false;
    const ResolvedFunction* item = nullptr;
    for (const ResolvedFunction& function : type.functions) {
        if (!function.available) continue;
        if (function.invokeKind == 4) puts.insert(function.memberId);
        newEnum = newEnum || function.memberId == DISPID_NEWENUM;
        if (function.memberId == DISPID_VALUE && function.name && (*function.name == "Item" || *function.name == "item") &&
            function.params.size() == 1 && (function.invokeKind == 1 || function.invokeKind == 2) && !item)
            item = &function;
    }
    for (const ResolvedVariable& variable : type.variables)
        newEnum = newEnum || (variable.available && variable.memberId == DISPID_NEWENUM);
    if (cls && newEnum && !state.iterable) {
        state.iterable = true;
        cls->iterableElement = "MivraVariant";
        if (item) {
            Mapping element = mapResult(tables_, item->result);
            if (element.type && element.type->object) cls->iterableElement = element.type->name;
        }
        if (cls->iterableElement == "MivraVariant") cls->usesVariant = true;
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
    for (const ResolvedFunction& function : type.functions) {
        if (function.available && function.name && isBaseInterfaceMethod(*function.name)) continue;
        if (function.emptySlot) continue;
        ++coverage.functions;
        if (!function.available || !function.name) continue;
        MemberKey key{function.memberId, function.invokeKind, *function.name};
        if (auto inherited = state.member(key)) {
            coverage.bound += *inherited;
            continue;
        }
        bool bound = false;
        if (cls) buildFunction(state, *cls, function, puts, bound);
        state.members[key] = bound;
        coverage.bound += bound;
    }
}

// The interfaces offered as get<I>(), in the order the default output lists
// them: each non-source dispatch interface of the class put in front, then
// the dispatch interfaces it names in front of it; the first mention stays.
void ModelBuilder::buildObject(FullClass& cls, const ResolvedType& coclass) {
    cls.classId = inputs_.identifierText ? inputs_.identifierText(coclass.guid) : guidText(coclass.guid);
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
        cls.getterNames.push_back(methodName("get" + name, false));
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
        if (!function.available || !function.name || !cls) continue;
        FullMember member;
        member.memberName = *function.name;
        if (function.docString && !function.docString->empty()) member.docString = &*function.docString;
        member.dispId = function.memberId;
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
        member.javaName = methodName(member.memberName, false);
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
            member.parameters.push_back({parameterName(function.params[k].name, names), *mapped.type});
        }
        if (!refusal.empty()) {
            refuse(refusal);
            continue;
        }
        if (signatures.count(signatureOf(member))) {
            refuse("Duplicate method");
            continue;
        }
        if (dispIds.count(member.dispId)) {
            refuse("Another event has this DISPID");
            continue;
        }
        signatures.insert(signatureOf(member));
        dispIds.insert(member.dispId);
        for (const FullParameter& parameter : member.parameters) {
            cls->usesHolder = cls->usesHolder || parameter.type.usesHolder;
            cls->usesVariant = cls->usesVariant || parameter.type.usesVariant;
        }
        cls->members.push_back(std::move(member));
        ++coverage.bound;
    }
}

void ModelBuilder::buildConstants(FullClass& cls, const ResolvedType& enumeration) {
    std::unordered_set<std::string> names;
    for (const ResolvedVariable& variable : enumeration.variables) {
        if (!variable.available || !variable.name) continue;
        FullConstant& constant = cls.constants.emplace_back();
        constant.memberName = *variable.name;
        if (variable.docString && !variable.docString->empty()) constant.docString = variable.docString;
        if (variable.varKind != VAR_CONST || !variable.value) {
            constant.refusal = "Not a constant";
            continue;
        }
        const ConstantValue& value = *variable.value;
        if (value.vt == VT_BSTR || value.vt == VT_R4 || value.vt == VT_R8 || value.vt == VT_DATE ||
            value.vt == VT_EMPTY || value.vt == VT_NULL) {
            constant.refusal = "Not an integer";
            continue;
        }
        if (!isIdentifierShaped(*variable.name)) {
            constant.refusal = "Name is not a Java identifier";
            continue;
        }
        std::string name = *variable.name;
        if (isJavaReservedWord(name)) name += '_';
        if (!names.insert(name).second) {
            constant.refusal = "Duplicate constant";
            continue;
        }
        constant.name = name;
        constant.value = static_cast<int32_t>(static_cast<uint32_t>(value.integer));
        constant.literal = std::to_string(constant.value);
    }
}

// A module: its constants, typed; its functions are entry points of a DLL,
// which nothing here can call, listed with the reason.
void ModelBuilder::buildModuleConstants(FullClass& cls, const ResolvedType& module) {
    std::unordered_set<std::string> names;
    for (const ResolvedVariable& variable : module.variables) {
        if (!variable.available || !variable.name) continue;
        FullConstant& constant = cls.constants.emplace_back();
        constant.memberName = *variable.name;
        if (variable.docString && !variable.docString->empty()) constant.docString = variable.docString;
        if (variable.varKind != VAR_CONST || !variable.value) {
            constant.refusal = "Not a constant";
            continue;
        }
        if (!isIdentifierShaped(*variable.name)) {
            constant.refusal = "Name is not a Java identifier";
            continue;
        }
        std::string name = *variable.name;
        if (isJavaReservedWord(name)) name += '_';
        if (!names.insert(name).second) {
            constant.refusal = "Duplicate constant";
            continue;
        }
        if (!javaConstant(*variable.value, constant.javaType, constant.literal)) {
            constant.refusal = "Type of the value not available in Java";
            continue;
        }
        constant.name = name;
    }
    for (const ResolvedFunction& function : module.functions) {
        if (!function.available || !function.name) continue;
        FullConstant& entry = cls.constants.emplace_back();
        entry.memberName = *function.name;
        entry.entryPoint = true;
        entry.refusal = entryPointRefusal;
    }
}

FullModel ModelBuilder::build() {
    model_.libraryName = textOf(library_.name);
    model_.libraryDoc = textOf(library_.docString);
    findListeners();
    planClasses();
    fillObjectTargets();
    findBases();
    for (auto& [index, state] : dispatch_) buildInterface(index);
    for (auto& [index, classIndex] : listeners_)
        buildListener(index, classIndex >= 0 ? &model_.classes[size_t(classIndex)] : nullptr);
    for (auto& [index, entry] : coverage_) model_.coverage.push_back(std::move(entry));
    for (FullClass& cls : model_.classes) {
        const ResolvedType& type = library_.types[size_t(cls.typeIndex)];
        if (cls.kind == FullClass::Kind::Object) buildObject(cls, type);
        if (cls.kind == FullClass::Kind::Constants && cls.module)
            buildModuleConstants(cls, type);
        else if (cls.kind == FullClass::Kind::Constants)
            buildConstants(cls, type);
    }
    listEntryPoints();
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
    return std::find(reservedClassNames.begin(), reservedClassNames.end(), name) != reservedClassNames.end();
}

bool isReservedFullMethodName(std::string_view name, bool iterable) {
    if (iterable && name == "iterator") return true;
    return std::find(reservedMethodNames.begin(), reservedMethodNames.end(), name) != reservedMethodNames.end();
}

FullModel buildFullModel(const ResolvedLibrary& library, const FullModelInputs& inputs) {
    return ModelBuilder(library, inputs).build();
}

}  // namespace mivra
