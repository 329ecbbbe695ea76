#include "ResolvedLibrary.h"

#include <algorithm>
#include <deque>
#include <map>
#include <unordered_map>

namespace mivra {

namespace {

// GetNames is asked for the member's name and at most this many less one
// parameter names, as the raw dump asks.
constexpr uint32_t maxNamesAsked = 64;
// Types reached beyond the library's own: the interface views of its duals
// and what references lead to. Far more than a real library reaches, few
// enough that a file built to reach without end stays small in memory.
constexpr size_t maxReachedTypes = size_t{1} << 18;
constexpr int maxTypeDepth = 64;

class Resolver {
public:
    Resolver(const TypeLibraryReader& reader, ResolvedLibrary& library) : reader_(reader), library_(library) {}

    void run() {
        uint32_t count = reader_.typeInfoCount();
        library_.ownTypeCount = count;
        library_.types.resize(count);
        std::vector<std::optional<TypeHandle>> handles(count);
        // The own types' handles first, so that references to them find them.
        for (uint32_t i = 0; i < count; ++i) {
            library_.types[i].index = i;
            if (auto handle = reader_.typeHandle(i)) {
                handles[i] = *handle;
                entryOfHandle_.emplace(handle->id, static_cast<int32_t>(i));
            }
        }
        for (uint32_t i = 0; i < count; ++i) {
            readOwn(i, handles[i]);
            drain();
        }
        readInheritingViews(handles);
        for (uint32_t i = 0; i < count; ++i) settleDualBase(library_.types[i]);
        for (ResolvedType& t : library_.types)
            for (ResolvedImplementedType& r : t.implemented)
                r.attributesRead = r.available && type(r.type).state == ResolvedType::State::Available;
    }

private:
    ResolvedType& type(int32_t entry) { return library_.types[size_t(entry)]; }

    // The entry for a type a reference reached: found again by its handle,
    // or appended and queued to be read.
    int32_t entryFor(TypeHandle handle) {
        auto found = entryOfHandle_.find(handle.id);
        if (found != entryOfHandle_.end()) return found->second;
        if (library_.types.size() - library_.ownTypeCount >= maxReachedTypes) return -1;
        auto entry = static_cast<int32_t>(library_.types.size());
        library_.types.emplace_back();
        entryOfHandle_.emplace(handle.id, entry);
        pending_.emplace_back(entry, handle);
        return entry;
    }

    // Reached types are read from a queue rather than by recursion, so that
    // a long alias chain cannot exhaust the stack.
    void drain() {
        while (!pending_.empty()) {
            auto [entry, handle] = pending_.front();
            pending_.pop_front();
            readReached(entry, handle);
        }
    }

    TypeRef typeRef(const TypeDescription& description, const std::optional<TypeHandle>& from, int depth = 0) {
        TypeRef ref;
        ref.vt = description.vt;
        if ((ref.vt == VT_PTR || ref.vt == VT_SAFEARRAY || ref.vt == VT_CARRAY) && description.pointee &&
            depth < maxTypeDepth)
            ref.element = std::make_shared<const TypeRef>(typeRef(*description.pointee, from, depth + 1));
        if (ref.vt == VT_USERDEFINED && from) {
            if (auto target = reader_.referencedType(*from, description.reference)) ref.user = entryFor(*target);
        }
        return ref;
    }

    static void copyAttributes(ResolvedType& t, const TypeAttributes& a) {
        t.state = ResolvedType::State::Available;
        t.guid = a.guid;
        t.kind = a.kind;
        t.flags = a.flags;
        t.implTypeCount = a.implTypeCount;
        t.funcCount = a.funcCount;
        t.varCount = a.varCount;
    }

    void readImplemented(int32_t entry, TypeHandle handle) {
        uint16_t count = type(entry).implTypeCount;
        std::vector<ResolvedImplementedType> implemented(count);
        for (uint16_t j = 0; j < count; ++j) {
            auto target = reader_.implementedTypeOf(handle, j);
            if (!target) continue;
            ResolvedImplementedType& r = implemented[j];
            r.implFlags = target->implFlags;
            r.type = entryFor(target->type);
            r.available = r.type >= 0;
        }
        type(entry).implemented = std::move(implemented);
    }

    void readOwn(uint32_t index, const std::optional<TypeHandle>& handle) {
        auto attributes = reader_.typeAttributes(index);
        if (!attributes) {
            library_.types[index].state = attributes.failure().step == Failure::Step::Attributes
                                              ? ResolvedType::State::NoAttributes
                                              : ResolvedType::State::NoTypeInfo;
            return;
        }
        auto entry = static_cast<int32_t>(index);
        copyAttributes(type(entry), *attributes);
        if (auto doc = reader_.documentation(entry)) {
            type(entry).name = doc->name;
            type(entry).docString = doc->docString;
        }
        if (handle) readImplemented(entry, *handle);
        const uint32_t kind = type(entry).kind;
        const bool dual = (type(entry).flags & TYPEFLAG_FDUAL) != 0;
        // Types whose records point at one member block share its lists.
        int32_t sharing = -1;
        if (!dual) {
            if (auto key = reader_.memberBlockOf(index)) {
                auto [found, added] = blockOwners_.emplace(std::make_pair(*key, kind), entry);
                if (!added) sharing = found->second;
            }
        }
        if (sharing >= 0 && kind != TKIND_DISPATCH) {
            type(entry).functions = type(sharing).functions;
        } else if (kind == TKIND_DISPATCH && dual && reader_.inheritedViewOf(index)) {
            inheriting_.push_back(index);
        } else {
            readFunctions(index, handle);
        }
        if (sharing >= 0)
            type(entry).variables = type(sharing).variables;
        else
            readVariables(index, handle);
        if (type(entry).kind == TKIND_ALIAS && handle) {
            if (auto alias = reader_.aliasOf(*handle)) {
                TypeRef ref = typeRef(*alias, handle);
                type(entry).alias = std::move(ref);
            }
        }
        if (type(entry).kind == TKIND_DISPATCH && (type(entry).flags & TYPEFLAG_FDUAL)) {
            type(entry).dualBase = ResolvedType::DualBase::Unavailable;
            if (handle) {
                if (auto view = reader_.implementedTypeOf(*handle, -1)) {
                    int32_t viewEntry = entryFor(view->type);
                    type(entry).interfaceView = viewEntry;
                }
            }
        }
    }

    // The dispatch views that begin with another own type's view, each read
    // after that view and sharing it: a chain of interfaces, each deriving
    // from the one before, holds each function once.
    void readInheritingViews(const std::vector<std::optional<TypeHandle>>& handles) {
        enum class Step : uint8_t { Read, Waiting, Walked };
        std::vector<Step> steps(library_.ownTypeCount, Step::Read);
        std::vector<uint32_t> baseOf(library_.ownTypeCount);
        for (uint32_t index : inheriting_) {
            steps[index] = Step::Waiting;
            baseOf[index] = reader_.inheritedViewOf(index).value_or(index);
        }
        for (uint32_t first : inheriting_) {
            // Bases first; a base met again on the walk closes a cycle, and
            // the view that would share it reads its own.
            std::vector<uint32_t> walk;
            for (uint32_t at = first; at < steps.size() && steps[at] == Step::Waiting; at = baseOf[at]) {
                steps[at] = Step::Walked;
                walk.push_back(at);
            }
            for (auto at = walk.rbegin(); at != walk.rend(); ++at) {
                uint32_t base = baseOf[*at];
                bool shares = base < steps.size() && steps[base] == Step::Read && base != *at;
                if (shares) {
                    const ResolvedType& b = library_.types[base];
                    shares = b.state == ResolvedType::State::Available && b.kind == TKIND_DISPATCH &&
                             b.functions.size() == b.funcCount && b.funcCount <= library_.types[*at].funcCount;
                }
                readFunctions(*at, handles[*at], shares ? std::optional<uint32_t>(base) : std::nullopt);
                steps[*at] = Step::Read;
                drain();
            }
        }
    }

    void readFunctions(uint32_t index, const std::optional<TypeHandle>& handle,
                       std::optional<uint32_t> inherited = std::nullopt) {
        auto entry = static_cast<int32_t>(index);
        uint16_t count = type(entry).funcCount;
        const uint16_t first = inherited ? type(int32_t(*inherited)).funcCount : 0;
        std::vector<ResolvedFunction> functions(count - first);
        for (uint16_t k = first; k < count; ++k) {
            auto f = reader_.function(index, k);
            if (!f) {
                functions[k - first].emptySlot = f.failure().step == Failure::Step::EmptySlot;
                ++library_.heldMembers;
                continue;
            }
            ResolvedFunction& r = functions[k - first];
            r.available = true;
            r.memberId = f->memberId;
            r.invokeKind = f->invokeKind;
            r.funcKind = f->funcKind;
            r.flags = f->flags;
            r.optionalParamCount = f->optionalParamCount;
            r.vtableSlot = f->vtableSlot;
            r.result = typeRef(f->result, handle);
            uint32_t asked = std::min<uint32_t>(static_cast<uint32_t>(std::max<int>(f->paramCount, 0)) + 1, maxNamesAsked);
            auto names = reader_.names(index, f->memberId, asked);
            std::vector<std::string> got = names ? std::move(*names) : std::vector<std::string>();
            if (got.size() > asked) got.resize(asked);
            r.namesReturned = static_cast<uint32_t>(got.size());
            if (!got.empty()) r.name = got[0];
            r.params.resize(f->params.size());
            for (size_t p = 0; p < f->params.size(); ++p) {
                ResolvedParameter& param = r.params[p];
                param.type = typeRef(f->params[p].type, handle);
                param.flags = f->params[p].flags;
                if (param.flags & PARAMFLAG_FHASDEFAULT) param.defaultValue = f->params[p].defaultValue;
                if (p + 1 < got.size()) param.name = std::move(got[p + 1]);
            }
            r.docString = reader_.memberDocString(index, f->memberId);
            library_.heldMembers += 1 + r.params.size();
        }
        if (inherited) {
            type(entry).functions = MemberList<ResolvedFunction>::after(type(int32_t(*inherited)).functions,
                                                                        std::move(functions));
            type(entry).inheritedView = int32_t(*inherited);
        } else {
            type(entry).functions = std::move(functions);
        }
    }

    void readVariables(uint32_t index, const std::optional<TypeHandle>& handle) {
        auto entry = static_cast<int32_t>(index);
        uint16_t count = type(entry).varCount;
        std::vector<ResolvedVariable> variables(count);
        for (uint16_t k = 0; k < count; ++k) {
            auto v = reader_.variable(index, k);
            if (!v) continue;
            ResolvedVariable& r = variables[k];
            r.available = true;
            r.memberId = v->memberId;
            r.varKind = v->varKind;
            r.flags = v->flags;
            r.type = typeRef(v->type, handle);
            if (r.varKind == VAR_CONST) r.value = v->value;
            if (auto names = reader_.names(index, v->memberId, 1); names && !names->empty()) r.name = (*names)[0];
            r.docString = reader_.memberDocString(index, v->memberId);
        }
        library_.heldMembers += count;
        type(entry).variables = std::move(variables);
    }

    // A type of another library, or the interface view of an own dual:
    // attributes, names and alias; the interface view also its base.
    void readReached(int32_t entry, TypeHandle handle) {
        auto attributes = reader_.attributesOf(handle);
        if (auto origin = reader_.originOf(handle)) {
            type(entry).index = origin->index;
            type(entry).imported = !origin->own;
            if (!origin->own) type(entry).library = origin->library.value_or("");
        }
        if (!attributes) {
            type(entry).state = ResolvedType::State::NoAttributes;
            return;
        }
        copyAttributes(type(entry), *attributes);
        type(entry).interfaceHalf = attributes->kind == TKIND_INTERFACE && (attributes->flags & TYPEFLAG_FDUAL);
        if (auto doc = reader_.documentationOf(handle)) {
            type(entry).name = doc->name;
            type(entry).docString = doc->docString;
        }
        if (type(entry).kind == TKIND_ALIAS) {
            if (auto alias = reader_.aliasOf(handle)) {
                TypeRef ref = typeRef(*alias, handle);
                type(entry).alias = std::move(ref);
            }
        }
        if (type(entry).interfaceHalf && !type(entry).imported) readImplemented(entry, handle);
    }

    // The base of a dual's interface view is that view's implemented type 0.
    void settleDualBase(ResolvedType& t) {
        if (t.dualBase != ResolvedType::DualBase::Unavailable || t.interfaceView < 0) return;
        const ResolvedType& view = library_.types[size_t(t.interfaceView)];
        t.dualBase = ResolvedType::DualBase::None;
        if (view.state == ResolvedType::State::Available && !view.implemented.empty() && view.implemented[0].available) {
            t.dualBase = ResolvedType::DualBase::Found;
            t.dualBaseType = view.implemented[0].type;
        }
    }

    const TypeLibraryReader& reader_;
    ResolvedLibrary& library_;
    std::unordered_map<uint32_t, int32_t> entryOfHandle_;
    std::deque<std::pair<int32_t, TypeHandle>> pending_;
    // The first own type of each member block and kind, whose lists later
    // ones share.
    std::map<std::pair<uint64_t, uint32_t>, int32_t> blockOwners_;
    std::vector<uint32_t> inheriting_;
};

}  // namespace

Result<ResolvedLibrary> resolve(const TypeLibraryReader& reader) {
    ResolvedLibrary library;
    auto doc = reader.documentation(-1);
    if (!doc && reader.typeInfoCount() == 0) return fail("no library loaded: " + doc.failure().message);
    if (doc) {
        library.name = doc->name;
        library.docString = doc->docString;
    }
    Resolver(reader, library).run();
    return library;
}

}  // namespace mivra
