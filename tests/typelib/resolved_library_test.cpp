#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "FileTypeLibraryReader.h"
#include "ResolvedLibrary.h"
#include "TestLibraries.h"

namespace mivra {
namespace {

using test::libraryPath;

// resolved.idl, in index order.
enum : int32_t { colour, count, tally, score, hue, shade, point, node, element, props, nodeEvents, nodeClass };

ResolvedLibrary resolvedFile(const std::string& name) {
    auto reader = makeFileTypeLibraryReader();
    auto loaded = reader->load(libraryPath(name));
    EXPECT_TRUE(loaded) << name;
    auto library = resolve(*reader);
    EXPECT_TRUE(library) << name;
    // The model stands alone: nothing in it needs the reader any more.
    reader->release();
    return library ? std::move(*library) : ResolvedLibrary{};
}

const ResolvedFunction* functionNamed(const ResolvedType& type, const std::string& name, uint32_t invokeKind = 1) {
    for (const ResolvedFunction& f : type.functions)
        if (f.available && f.name == name && f.invokeKind == invokeKind) return &f;
    return nullptr;
}

void collectReferences(const TypeRef& ref, std::vector<int32_t>& users) {
    if (ref.vt == VT_USERDEFINED) users.push_back(ref.user);
    if (ref.element) collectReferences(*ref.element, users);
}

TEST(ResolvedLibrary, OwnTypesFirstThenEveryReachedTypeOnce) {
    ResolvedLibrary library = resolvedFile("resolved.tlb");
    ASSERT_EQ(library.ownTypeCount, 12u);
    EXPECT_EQ(library.name, "Resolved");
    for (uint32_t i = 0; i < library.ownTypeCount; ++i) {
        EXPECT_EQ(library.types[i].index, i);
        EXPECT_FALSE(library.types[i].imported);
    }
    std::vector<int32_t> users;
    for (const ResolvedType& t : library.types) {
        for (const ResolvedFunction& f : t.functions) {
            collectReferences(f.result, users);
            for (const ResolvedParameter& p : f.params) collectReferences(p.type, users);
        }
        for (const ResolvedVariable& v : t.variables) collectReferences(v.type, users);
        if (t.alias) collectReferences(*t.alias, users);
    }
    ASSERT_GT(users.size(), 40u);
    for (int32_t user : users) {
        ASSERT_GE(user, 0);
        ASSERT_LT(size_t(user), library.types.size());
    }
    // Beyond the own types: each reached type once, either of another
    // library or the interface view of an own dual.
    std::set<std::tuple<std::string, uint32_t, bool>> seen;
    for (size_t i = library.ownTypeCount; i < library.types.size(); ++i) {
        const ResolvedType& t = library.types[i];
        EXPECT_TRUE(t.imported != t.interfaceHalf) << i;
        EXPECT_TRUE(seen.emplace(t.library, t.index, t.interfaceHalf).second) << t.library << " " << t.index;
    }
    // The interface views of INode and IElement; of the standard library
    // GUID, DISPPARAMS and EXCEPINFO (inherited members), IDispatch, IFont
    // and IEnumVARIANT.
    EXPECT_EQ(library.types.size(), library.ownTypeCount + 2u + 6u);
}

TEST(ResolvedLibrary, AliasChainsEndInTheirTypes) {
    ResolvedLibrary library = resolvedFile("resolved.tlb");
    auto aliasOf = [&](int32_t entry) -> const TypeRef& { return *library.types[size_t(entry)].alias; };
    EXPECT_EQ(aliasOf(score).user, tally);
    EXPECT_EQ(aliasOf(tally).user, count);
    EXPECT_EQ(aliasOf(count).vt, VT_I4);
    EXPECT_EQ(aliasOf(shade).user, hue);
    EXPECT_EQ(aliasOf(hue).user, colour);
    const ResolvedType& enumeration = library.types[colour];
    ASSERT_EQ(enumeration.variables.size(), 6u);
    std::vector<std::pair<std::string, int64_t>> constants;
    for (const ResolvedVariable& v : enumeration.variables) {
        ASSERT_TRUE(v.available && v.value);
        EXPECT_EQ(v.varKind, VAR_CONST);
        constants.emplace_back(*v.name, v.value->integer);
    }
    EXPECT_EQ(constants, (std::vector<std::pair<std::string, int64_t>>{
                             {"Red", 0}, {"Green", 1}, {"Blue", -1}, {"Widest", 0x7FFFFFFF}, {"Packed", 0x3FFFFFF},
                             {"Unpacked", 0x4000000}}));
}

TEST(ResolvedLibrary, DualBasesThroughTheInterfaceViews) {
    ResolvedLibrary library = resolvedFile("resolved.tlb");
    const ResolvedType& derived = library.types[element];
    ASSERT_EQ(derived.dualBase, ResolvedType::DualBase::Found);
    const ResolvedType& base = library.types[size_t(derived.dualBaseType)];
    EXPECT_EQ(base.kind, TKIND_INTERFACE);
    EXPECT_TRUE(base.interfaceHalf);
    EXPECT_EQ(base.index, uint32_t(node));
    EXPECT_EQ(base.name, "INode");
    EXPECT_EQ(library.types[node].interfaceView, derived.dualBaseType);
    // INode's own base is IDispatch, of the standard library.
    ASSERT_EQ(library.types[node].dualBase, ResolvedType::DualBase::Found);
    const ResolvedType& dispatch = library.types[size_t(library.types[node].dualBaseType)];
    EXPECT_TRUE(dispatch.imported);
    EXPECT_EQ(dispatch.library, "stdole");
    EXPECT_EQ(dispatch.name, "IDispatch");
    EXPECT_EQ(library.types[props].dualBase, ResolvedType::DualBase::NotDual);
}

TEST(ResolvedLibrary, ClassInterfacesMembersAndFlags) {
    ResolvedLibrary library = resolvedFile("resolved.tlb");
    const ResolvedType& coclass = library.types[nodeClass];
    ASSERT_EQ(coclass.implemented.size(), 4u);
    std::vector<std::pair<int32_t, int32_t>> interfaces;
    for (const ResolvedImplementedType& impl : coclass.implemented) {
        ASSERT_TRUE(impl.available && impl.attributesRead);
        interfaces.emplace_back(impl.type, impl.implFlags);
    }
    EXPECT_EQ(interfaces, (std::vector<std::pair<int32_t, int32_t>>{
                              {element, IMPLTYPEFLAG_FDEFAULT},
                              {node, 0},
                              {nodeEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
                              {props, IMPLTYPEFLAG_FSOURCE}}));

    const ResolvedType& dispinterface = library.types[props];
    ASSERT_EQ(dispinterface.variables.size(), 4u);
    EXPECT_EQ(dispinterface.variables[1].varKind, VAR_DISPATCH);
    EXPECT_EQ(dispinterface.variables[1].flags & VARFLAG_FREADONLY, VARFLAG_FREADONLY);
    EXPECT_EQ(dispinterface.variables[0].flags & VARFLAG_FREADONLY, 0);
    const TypeRef& nodeProperty = dispinterface.variables[2].type;
    ASSERT_TRUE(nodeProperty.vt == VT_PTR && nodeProperty.element);
    EXPECT_EQ(nodeProperty.element->user, node);

    const ResolvedType& nodeType = library.types[node];
    const ResolvedFunction* secret = functionNamed(nodeType, "Secret");
    ASSERT_TRUE(secret);
    EXPECT_EQ(secret->flags, FUNCFLAG_FRESTRICTED | FUNCFLAG_FHIDDEN);
    EXPECT_EQ(secret->funcKind, 4u);  // FUNC_DISPATCH in the dispatch view
    const ResolvedFunction* putRef = functionNamed(nodeType, "Child", 8);
    ASSERT_TRUE(putRef);
    EXPECT_EQ(putRef->params.size(), 1u);
    const ResolvedFunction* defaults = functionNamed(nodeType, "Defaults");
    ASSERT_TRUE(defaults);
    ASSERT_EQ(defaults->params.size(), 12u);
    const ConstantValue* text = defaults->params[2].defaultValue ? &*defaults->params[2].defaultValue : nullptr;
    ASSERT_TRUE(text);
    EXPECT_EQ(text->vt, VT_BSTR);
    EXPECT_EQ(text->text, "text");
    EXPECT_EQ(defaults->params[8].type.user, colour);
    EXPECT_EQ(defaults->params[8].defaultValue->integer, -1);
}

// A reader that offers none of the resolved view's reads still gives the
// model of what it does offer, with every reference unresolved.
TEST(ResolvedLibrary, ReaderWithoutTheNewReadsGivesUnresolvedReferences) {
    class Plain : public TypeLibraryReader {
    public:
        explicit Plain(std::unique_ptr<FileTypeLibraryReader> inner) : inner_(std::move(inner)) {}
        Result<bool> load(const std::string& path) override { return inner_->load(path); }
        uint32_t typeInfoCount() const override { return inner_->typeInfoCount(); }
        Result<TypeAttributes> typeAttributes(uint32_t i) const override { return inner_->typeAttributes(i); }
        Result<ImplementedType> implementedType(uint32_t i, uint32_t j) const override { return inner_->implementedType(i, j); }
        Result<Documentation> documentation(int32_t i) const override { return inner_->documentation(i); }
        Result<FunctionDescription> function(uint32_t i, uint32_t k) const override { return inner_->function(i, k); }
        Result<std::vector<std::string>> names(uint32_t i, int32_t id, uint32_t n) const override {
            return inner_->names(i, id, n);
        }
        std::optional<std::string> memberDocString(uint32_t i, int32_t id) const override {
            return inner_->memberDocString(i, id);
        }
        void release() override { inner_->release(); }

    private:
        std::unique_ptr<FileTypeLibraryReader> inner_;
    };
    Plain reader(makeFileTypeLibraryReader());
    ASSERT_TRUE(reader.load(libraryPath("resolved.tlb")));
    auto library = resolve(reader);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->types.size(), 12u);
    const ResolvedFunction* parent = functionNamed(library->types[node], "Parent", 2);
    ASSERT_TRUE(parent && parent->result.element);
    EXPECT_EQ(parent->result.element->user, -1);
    EXPECT_FALSE(library->types[props].variables[0].available);
    EXPECT_EQ(library->types[element].dualBase, ResolvedType::DualBase::Unavailable);

    Plain empty(makeFileTypeLibraryReader());
    EXPECT_FALSE(resolve(empty));
}

// Members OLE Automation lists once per type that lists them are held once:
// a member block several records point at, and the functions a dual's view
// inherits from another own dual's view. Each type still reports exactly
// what the reader does, down to names taken by a derived type's own member.
TEST(ResolvedLibrary, SharedMembersAreHeldOnceAndReportedPerType) {
    enum : uint32_t { colours, shades, tints, base, middle, top, shadow };
    auto reader = makeFileTypeLibraryReader();
    ASSERT_TRUE(reader->load(libraryPath("sharedmembers.tlb")));
    auto library = resolve(*reader);
    ASSERT_TRUE(library);
    const auto& types = library->types;
    for (uint32_t i = colours; i <= shadow; ++i) {
        const ResolvedType& type = types[i];
        ASSERT_EQ(type.functions.size(), type.funcCount) << i;
        uint32_t k = 0;
        for (const ResolvedFunction& f : type.functions) {
            auto expected = reader->function(i, k);
            ASSERT_EQ(f.available, bool(expected)) << i << " " << k;
            if (expected) {
                auto names = reader->names(i, expected->memberId, uint32_t(expected->params.size()) + 1);
                ASSERT_TRUE(names);
                EXPECT_EQ(f.memberId, expected->memberId) << i << " " << k;
                EXPECT_EQ(f.name, names->empty() ? std::nullopt : std::optional((*names)[0])) << i << " " << k;
                EXPECT_EQ(f.params.size(), expected->params.size()) << i << " " << k;
                EXPECT_EQ(f.docString, reader->memberDocString(i, expected->memberId)) << i << " " << k;
            }
            ++k;
        }
        ASSERT_EQ(type.variables.size(), type.varCount) << i;
        for (uint32_t v = 0; v < type.varCount; ++v) {
            auto expected = reader->variable(i, v);
            ASSERT_TRUE(expected);
            auto names = reader->names(i, expected->memberId, 1);
            ASSERT_TRUE(names && !names->empty());
            EXPECT_EQ(type.variables[v].name, (*names)[0]);
            EXPECT_EQ(type.variables[v].value->integer, expected->value->integer);
        }
    }
    EXPECT_EQ(types[shades].variables.size(), 3u);
    EXPECT_TRUE(types[shades].variables.sharedWith(types[colours].variables));
    EXPECT_TRUE(types[tints].variables.sharedWith(types[colours].variables));
    EXPECT_EQ(types[middle].inheritedView, int32_t(base));
    EXPECT_EQ(types[top].inheritedView, int32_t(middle));
    EXPECT_EQ(types[top].functions.own().size(), 1u);
    // IBase's Open, seen through IShadow, goes by IShadow's member of its DISPID.
    EXPECT_EQ(types[shadow].inheritedView, -1);
    EXPECT_EQ(types[shadow].functions[7].name, "Reopen");
    EXPECT_EQ(types[shadow].functions[7].docString, "Opens it again");
}

}  // namespace
}  // namespace mivra
