#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <set>

#include "FileTypeLibraryReader.h"
#include "TypeModel.h"

namespace mivra {
namespace {

Guid guidNumber(uint32_t n) { return Guid{n, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

// A library made up in memory: types with attributes and implemented types,
// some of which can be made to fail.
class MemoryReader : public TypeLibraryReader {
public:
    struct Type {
        TypeAttributes attributes;
        std::string name;
        std::optional<std::string> doc;
        std::vector<int> implemented;  // indexes of other types
        bool broken = false;
    };
    std::vector<Type> types;
    std::set<std::pair<uint32_t, uint32_t>> brokenLinks;

    int addInterface(uint32_t number, bool dual, std::vector<int> implemented = {}) {
        Type t;
        t.attributes.guid = guidNumber(number);
        t.attributes.kind = TKIND_DISPATCH;
        t.attributes.flags = dual ? TYPEFLAG_FDUAL : 0;
        t.name = "I" + std::to_string(number);
        t.implemented = std::move(implemented);
        types.push_back(std::move(t));
        return static_cast<int>(types.size()) - 1;
    }
    int addClass(uint32_t number, std::vector<int> implemented, uint32_t kind = TKIND_COCLASS) {
        Type t;
        t.attributes.guid = guidNumber(number);
        t.attributes.kind = kind;
        t.attributes.flags = TYPEFLAG_FCANCREATE;
        t.name = "C" + std::to_string(number);
        t.implemented = std::move(implemented);
        types.push_back(std::move(t));
        return static_cast<int>(types.size()) - 1;
    }

    Result<bool> load(const std::string&) override { return true; }
    uint32_t typeInfoCount() const override { return static_cast<uint32_t>(types.size()); }
    Result<TypeAttributes> typeAttributes(uint32_t i) const override {
        if (i >= types.size() || types[i].broken) return fail("broken", Failure::Step::TypeInfo);
        TypeAttributes a = types[i].attributes;
        a.implTypeCount = static_cast<uint16_t>(types[i].implemented.size());
        return a;
    }
    Result<ImplementedType> implementedType(uint32_t i, uint32_t j) const override {
        if (brokenLinks.count({i, j})) return fail("broken link");
        auto target = typeAttributes(static_cast<uint32_t>(types.at(i).implemented.at(j)));
        if (!target) return target.failure();
        return ImplementedType{*target, 0, types[types[i].implemented[j]].name};
    }
    Result<Documentation> documentation(int32_t i) const override {
        if (i == -1) return Documentation{std::string("MemoryLibrary"), std::nullopt};
        return Documentation{types.at(i).name, types.at(i).doc};
    }
    Result<FunctionDescription> function(uint32_t, uint32_t) const override { return fail("none"); }
    Result<std::vector<std::string>> names(uint32_t, int32_t, uint32_t) const override { return fail("none"); }
    std::optional<std::string> memberDocString(uint32_t, int32_t) const override { return std::nullopt; }
    void release() override {}
};

std::vector<std::string> namesOf(const CoclassRecord& coclass) {
    std::vector<std::string> names;
    for (const InterfaceRecord* record : coclass.interfaces) names.push_back(record->name);
    return names;
}

TypeModel built(std::unique_ptr<MemoryReader> reader) {
    TypeModel model;
    model.library = std::move(reader);
    model.build();
    return model;
}

TEST(TypeModelBuild, ClassListsItsLinksInReverseWithNamedBasesAfterTheirInterface) {
    auto reader = std::make_unique<MemoryReader>();
    int ic = reader->addInterface(3, true);
    int ia = reader->addInterface(1, true, {ic});
    int ib = reader->addInterface(2, true);
    reader->addClass(10, {ia, ib});
    TypeModel model = built(std::move(reader));
    ASSERT_EQ(model.coclasses.size(), 1u);
    // Links are made IA, IC, IB.
    EXPECT_EQ(namesOf(model.coclasses[0]), (std::vector<std::string>{"I2", "I3", "I1"}));
    EXPECT_EQ(model.lookupInterface(guidNumber(1))->baseIids, std::vector<Guid>{guidNumber(3)});
    EXPECT_EQ(model.libraryName, "MemoryLibrary");
    EXPECT_EQ(model.libraryDoc, "");
}

TEST(TypeModelBuild, BaseReachedTwiceIsLinkedTwice) {
    auto reader = std::make_unique<MemoryReader>();
    int ic = reader->addInterface(3, false);
    int ia = reader->addInterface(1, true, {ic});
    int ib = reader->addInterface(2, true, {ic});
    reader->addClass(10, {ia, ib});
    TypeModel model = built(std::move(reader));
    // A base need not be dual to be linked through another interface.
    EXPECT_EQ(namesOf(model.coclasses[0]), (std::vector<std::string>{"I3", "I2", "I3", "I1"}));
}

TEST(TypeModelBuild, BasesFrontToBackWithTheLastFoundFirst) {
    auto reader = std::make_unique<MemoryReader>();
    int ic = reader->addInterface(3, false);
    int id = reader->addInterface(4, false);
    int ia = reader->addInterface(1, true, {ic, id});
    reader->addClass(10, {ia});
    TypeModel model = built(std::move(reader));
    EXPECT_EQ(model.lookupInterface(guidNumber(1))->baseIids, (std::vector<Guid>{guidNumber(4), guidNumber(3)}));
    // IA, then ID (front of baseIids), then IC.
    EXPECT_EQ(namesOf(model.coclasses[0]), (std::vector<std::string>{"I3", "I4", "I1"}));
}

TEST(TypeModelBuild, InterfacesNamingEachOtherInACycleEnd) {
    auto reader = std::make_unique<MemoryReader>();
    reader->addInterface(1, true, {1});  // IA names IB
    reader->addInterface(2, true, {0});  // IB names IA
    reader->addInterface(5, true, {2});  // IE names itself
    reader->addClass(10, {0});
    reader->addClass(11, {2});
    reader->addClass(12, {0, 1});
    TypeModel model = built(std::move(reader));
    ASSERT_EQ(model.coclasses.size(), 3u);
    EXPECT_EQ(namesOf(model.coclasses[0]), (std::vector<std::string>{"I2", "I1"}));
    EXPECT_EQ(namesOf(model.coclasses[1]), (std::vector<std::string>{"I5"}));
    EXPECT_EQ(namesOf(model.coclasses[2]), (std::vector<std::string>{"I1", "I2", "I2", "I1"}));
}

TEST(TypeModelBuild, WhatIsCreatableAndWhatIsLinked) {
    auto reader = std::make_unique<MemoryReader>();
    int events = reader->addInterface(1, false);
    int dual = reader->addInterface(2, true);
    reader->addClass(10, {events});            // only an event interface: a record, nothing linked
    reader->addClass(11, {});                  // no implemented types: no record
    reader->addClass(12, {dual}, TKIND_ALIAS);  // the kind is not examined
    int hidden = reader->addClass(13, {dual});
    reader->types[hidden].attributes.flags = 0;  // not creatable
    reader->types[0].doc = "Events";
    TypeModel model = built(std::move(reader));
    ASSERT_EQ(model.coclasses.size(), 2u);
    EXPECT_EQ(model.coclasses[0].name, "C10");
    EXPECT_TRUE(model.coclasses[0].interfaces.empty());
    EXPECT_EQ(model.coclasses[1].typeIndex, 4u);
    EXPECT_EQ(namesOf(model.coclasses[1]), std::vector<std::string>{"I2"});
    EXPECT_EQ(model.interfaces.size(), 2u);
    EXPECT_EQ(model.lookupInterface(guidNumber(1))->docString, "Events");
    EXPECT_EQ(model.lookupInterface(guidNumber(2))->docString, "");
}

TEST(TypeModelBuild, UnreadableTypesAndLinksArePassedOver) {
    auto reader = std::make_unique<MemoryReader>();
    int ia = reader->addInterface(1, true);
    int ib = reader->addInterface(2, true);
    int broken = reader->addInterface(3, true);
    reader->types[broken].broken = true;
    reader->addClass(10, {ia, broken, ib});
    reader->brokenLinks.insert({3, 2});
    TypeModel model = built(std::move(reader));
    EXPECT_EQ(model.interfaces.size(), 2u);
    EXPECT_EQ(namesOf(model.coclasses.at(0)), std::vector<std::string>{"I1"});
}

TEST(TypeModelBuild, WithoutClassesTheLibraryNameIsNotRead) {
    auto reader = std::make_unique<MemoryReader>();
    reader->addInterface(1, true);
    reader->addInterface(1, false);  // same IID: replaces the first record
    TypeModel model = built(std::move(reader));
    EXPECT_TRUE(model.coclasses.empty());
    EXPECT_EQ(model.libraryName, "");
    ASSERT_EQ(model.interfaces.size(), 1u);
    EXPECT_EQ(model.lookupInterface(guidNumber(1))->typeIndex, 1u);
}

// The interface table's iteration order, checked against the order in which
// the web-browser library's interfaces have always been generated.
TEST(InterfaceTable, IteratesInTheTraditionalOrder) {
    std::filesystem::path path = std::filesystem::path(MIVRA_WINE_DLLS) / "shdocvw.dll";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "shdocvw.dll not available";
    TypeModel model;
    model.library = makeFileTypeLibraryReader();
    ASSERT_TRUE(model.library->load(path.string()));
    model.build();
    const std::vector<std::string> expected = {
        "IShellFavoritesNameSpace", "DShellWindowsEvents", "DWebBrowserEvents2", "ISearchAssistantOC2",
        "DWebBrowserEvents", "_SearchAssistantEvents", "ISearchAssistantOC", "IWebBrowser", "IWebBrowser2",
        "IShellNameSpace", "IWebBrowserApp", "DShellNameSpaceEvents", "IShellUIHelper", "IShellWindows",
        "IScriptErrorList", "ISearches", "ISearch"};
    std::vector<std::string> order;
    for (const InterfaceRecord* record : model.interfaces.inOrder())
        if (std::find(expected.begin(), expected.end(), record->name) != expected.end()) order.push_back(record->name);
    EXPECT_EQ(order, expected);
    std::vector<std::string> classes;
    for (const CoclassRecord& c : model.coclasses) classes.push_back(c.name);
    EXPECT_EQ(classes.front(), "WebBrowser_V1");
    EXPECT_EQ(namesOf(model.coclasses.front()), (std::vector<std::string>{"IWebBrowser", "IWebBrowser2"}));
}

}  // namespace
}  // namespace mivra
