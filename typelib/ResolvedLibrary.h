#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Guid.h"
#include "Result.h"
#include "TypeLibraryReader.h"
#include "VarType.h"

namespace mivra {

// PARAMFLAG bits.
inline constexpr uint16_t PARAMFLAG_FIN = 0x1;
inline constexpr uint16_t PARAMFLAG_FOUT = 0x2;
inline constexpr uint16_t PARAMFLAG_FOPT = 0x10;
inline constexpr uint16_t PARAMFLAG_FHASDEFAULT = 0x20;

// IMPLTYPEFLAGS bits.
inline constexpr int32_t IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr int32_t IMPLTYPEFLAG_FSOURCE = 0x2;
inline constexpr int32_t IMPLTYPEFLAG_FRESTRICTED = 0x4;

// VARKIND values and the VARFLAGS bit the bindings look at.
inline constexpr uint32_t VAR_PERINSTANCE = 0;
inline constexpr uint32_t VAR_STATIC = 1;
inline constexpr uint32_t VAR_CONST = 2;
inline constexpr uint32_t VAR_DISPATCH = 3;
inline constexpr uint16_t VARFLAG_FREADONLY = 0x1;

// FUNCFLAGS bits.
inline constexpr uint16_t FUNCFLAG_FRESTRICTED = 0x1;
inline constexpr uint16_t FUNCFLAG_FHIDDEN = 0x40;

inline constexpr int32_t DISPID_VALUE = 0;
inline constexpr int32_t DISPID_NEWENUM = -4;

// A type after its references are resolved. VT_PTR, VT_SAFEARRAY and
// VT_CARRAY carry the type they refer to; VT_USERDEFINED names an entry of
// ResolvedLibrary::types, or -1 when the reference does not resolve.
struct TypeRef {
    uint16_t vt = VT_EMPTY;
    std::shared_ptr<const TypeRef> element;
    int32_t user = -1;
};

// ConstantValue (a constant or a default value) comes with TypeLibraryReader.h.

struct ResolvedParameter {
    std::optional<std::string> name;  // absent when GetNames does not return it
    TypeRef type;
    uint16_t flags = 0;                       // PARAMFLAG bits
    std::optional<ConstantValue> defaultValue;  // with PARAMFLAG_FHASDEFAULT
};

// One function of a type; for a dispatch type, of its dispatch view
// (inherited functions first, the [retval] parameter as the result).
struct ResolvedFunction {
    bool available = false;  // false: GetFuncDesc failed, nothing else is set
    // Not available because the slot is one the declared vtable counts past
    // every function described: no function is missing there.
    bool emptySlot = false;
    int32_t memberId = 0;
    uint32_t invokeKind = 0;  // 1 method, 2 get, 4 put, 8 put by reference
    uint32_t funcKind = 0;
    uint16_t flags = 0;              // FUNCFLAG bits
    int16_t optionalParamCount = 0;  // -1: variable argument list
    int32_t vtableSlot = -1;         // -1: the library does not say
    TypeRef result;
    std::vector<ResolvedParameter> params;
    std::optional<std::string> name;
    uint32_t namesReturned = 0;  // how many names GetNames gave for paramCount + 1
    std::optional<std::string> docString;
};

struct ResolvedVariable {
    bool available = false;  // false: GetVarDesc failed, nothing else is set
    int32_t memberId = 0;
    uint32_t varKind = 0;  // VAR_ values
    uint16_t flags = 0;    // VARFLAG bits
    TypeRef type;
    std::optional<std::string> name;
    std::optional<ConstantValue> value;  // VAR_CONST
    std::optional<std::string> docString;
};

struct ResolvedImplementedType {
    // The implemented type could be had (GetRefTypeOfImplType and
    // GetRefTypeInfo); `type` is then its entry in ResolvedLibrary::types,
    // and attributesRead says whether that entry's attributes could be read.
    bool available = false;
    bool attributesRead = false;
    int32_t type = -1;
    int32_t implFlags = 0;  // IMPLTYPEFLAG bits
};

// The members a type lists, shared where types list the same ones: a block
// of members that several types' records point at, or the functions a
// dispatch view inherits from another type's view, which stay where that
// view holds them. Read only, but for emplace_back, which first gives the
// list its own copy.
template <typename T>
class MemberList {
    struct Node {
        std::shared_ptr<const Node> inherited;  // the members listed before `own`
        size_t total = 0;                       // inherited ones included
        std::vector<T> own;
    };

public:
    // Walks the inherited lists root first, then the own members.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        Iterator() = default;
        const T& operator*() const { return segments_[segment_]->own[position_]; }
        const T* operator->() const { return &**this; }
        Iterator& operator++() {
            ++position_;
            --remaining_;
            skipEmpty();
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator& other) const { return remaining_ == other.remaining_; }

    private:
        friend class MemberList;
        void skipEmpty() {
            while (remaining_ > 0 && position_ >= segments_[segment_]->own.size()) {
                ++segment_;
                position_ = 0;
            }
        }
        std::vector<const Node*> segments_;
        size_t segment_ = 0;
        size_t position_ = 0;
        size_t remaining_ = 0;
    };

    MemberList() = default;
    MemberList(std::vector<T> own) : node_(std::make_shared<Node>(Node{nullptr, own.size(), std::move(own)})) {}
    // The members of `inherited`, then `own`.
    static MemberList after(const MemberList& inherited, std::vector<T> own) {
        MemberList list;
        size_t total = inherited.size() + own.size();
        list.node_ = std::make_shared<Node>(Node{inherited.node_, total, std::move(own)});
        return list;
    }

    size_t size() const { return node_ ? node_->total : 0; }
    bool empty() const { return size() == 0; }
    // How many come from another list before the own ones.
    size_t inheritedCount() const { return node_ ? node_->total - node_->own.size() : 0; }
    const std::vector<T>& own() const { return node_ ? node_->own : noMembers(); }
    // Whether the two lists hold their members in the same place.
    bool sharedWith(const MemberList& other) const { return node_ && node_ == other.node_; }

    const T& operator[](size_t k) const {
        const Node* node = node_.get();
        while (k < node->total - node->own.size()) node = node->inherited.get();
        return node->own[k - (node->total - node->own.size())];
    }
    Iterator begin() const {
        Iterator it;
        for (const Node* node = node_.get(); node; node = node->inherited.get()) it.segments_.push_back(node);
        std::reverse(it.segments_.begin(), it.segments_.end());
        it.remaining_ = size();
        it.skipEmpty();
        return it;
    }
    Iterator end() const { return Iterator(); }

    T& emplace_back() {
        // Every node is made mutable and only ever shared as const: one that
        // no other list holds can grow in place.
        if (!node_ || node_.use_count() > 1) node_ = std::make_shared<Node>(node_ ? Node(*node_) : Node());
        Node& node = const_cast<Node&>(*node_);
        ++node.total;
        return node.own.emplace_back();
    }

private:
    static const std::vector<T>& noMembers() {
        static const std::vector<T> none;
        return none;
    }
    std::shared_ptr<const Node> node_;
};

// One type description. The library's own types come first, in index order;
// after them the types that references reach elsewhere: in imported
// libraries (`library` names them), and the interface halves of the
// library's own dual interfaces (`library` empty, `interfaceHalf` set, and
// `index` the dual interface's own index).
struct ResolvedType {
    enum class State { Available, NoTypeInfo, NoAttributes };
    State state = State::NoTypeInfo;

    std::string library;  // GetDocumentation(-1) name of the other library; empty for the library's own
    bool imported = false;  // in another library (its GUID is not the loaded library's)
    uint32_t index = 0;   // index in its own library
    bool interfaceHalf = false;

    Guid guid;
    uint32_t kind = 0;    // TYPEKIND
    uint16_t flags = 0;   // TYPEFLAGS
    uint16_t implTypeCount = 0;
    uint16_t funcCount = 0;
    uint16_t varCount = 0;
    std::optional<std::string> name;
    std::optional<std::string> docString;

    std::vector<ResolvedImplementedType> implemented;
    MemberList<ResolvedFunction> functions;
    MemberList<ResolvedVariable> variables;
    // A dispatch view that begins with the whole view of another of the
    // library's own types: that type's entry, whose functions it shares.
    int32_t inheritedView = -1;
    std::optional<TypeRef> alias;  // TKIND_ALIAS: the aliased type

    // A dual dispatch type: the base of its interface view.
    enum class DualBase { NotDual, None, Unavailable, Found };
    DualBase dualBase = DualBase::NotDual;
    int32_t dualBaseType = -1;  // with Found: the entry in `types`
    // A dual dispatch type whose interface view could be had: that view's entry.
    int32_t interfaceView = -1;
};

// Everything a loaded library says, read once: references resolved, base
// chains, aliases, variables, parameter flags and default values. Writers
// work from this alone and never ask the reader while they write. Only the
// library's own types carry members; the others carry attributes, names and
// aliases.
struct ResolvedLibrary {
    std::optional<std::string> name;
    std::optional<std::string> docString;
    uint32_t ownTypeCount = 0;  // types[0 .. ownTypeCount - 1] are the library's own
    std::vector<ResolvedType> types;
    // Members and parameters the library holds once each, shared lists
    // counted once: what the writers' caps are measured against.
    uint64_t heldMembers = 0;

    // How many members and parameters a writer reports in all before it
    // states a cut: shared and inherited members are reported once per type
    // that lists them, which can grow with the square of the library.
    uint64_t reportedMemberCap() const { return std::max<uint64_t>(uint64_t{1} << 16, 4 * heldMembers); }

    const ResolvedType* typeOf(const TypeRef& ref) const {
        return ref.vt == VT_USERDEFINED && ref.user >= 0 && size_t(ref.user) < types.size() ? &types[size_t(ref.user)]
                                                                                            : nullptr;
    }
};

// Reads the whole library through the reader, in time and memory linear in
// what the library holds. A type, member or reference that cannot be read is
// recorded as unavailable; only a reader without a loaded library fails.
Result<ResolvedLibrary> resolve(const TypeLibraryReader& reader);

}  // namespace mivra
