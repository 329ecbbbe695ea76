#pragma once

#include <map>
#include <string>
#include <vector>

#include "Generator.h"
#include "TypeLibraryReader.h"

namespace mivra::test {

inline TypeDescription type(uint16_t vt) { return TypeDescription{vt, nullptr}; }
inline TypeDescription pointerTo(uint16_t vt) {
    return TypeDescription{26, std::make_shared<const TypeDescription>(TypeDescription{vt, nullptr})};
}

struct FakeFunction {
    FunctionDescription description;
    std::vector<std::string> names;  // member name first
    std::optional<std::string> docString;
};

struct FakeType {
    TypeAttributes attributes;
    Documentation documentation;
    std::vector<uint32_t> implemented;  // indexes of other fake types
    std::vector<FakeFunction> functions;
    bool readable = true;
};

// A type library held in memory, answering like a loaded file would.
class FakeTypeLibrary : public TypeLibraryReader {
public:
    std::vector<FakeType> types;
    Documentation libraryDocumentation;
    bool loads = true;
    bool* released = nullptr;

    Result<bool> load(const std::string&) override {
        if (!loads) return fail("not a type library");
        return true;
    }
    uint32_t typeInfoCount() const override { return static_cast<uint32_t>(types.size()); }
    Result<TypeAttributes> typeAttributes(uint32_t index) const override {
        if (index >= types.size() || !types[index].readable) return fail("no such type");
        return types[index].attributes;
    }
    Result<ImplementedType> implementedType(uint32_t index, uint32_t j) const override {
        if (index >= types.size() || j >= types[index].implemented.size()) return fail("no such type");
        uint32_t target = types[index].implemented[j];
        if (target >= types.size()) return fail("no such type");
        return ImplementedType{types[target].attributes, 0, types[target].documentation.name};
    }
    Result<Documentation> documentation(int32_t index) const override {
        if (index == -1) return libraryDocumentation;
        if (index < 0 || static_cast<size_t>(index) >= types.size()) return fail("no such type");
        return types[index].documentation;
    }
    Result<FunctionDescription> function(uint32_t index, uint32_t k) const override {
        if (index >= types.size() || k >= types[index].functions.size()) return fail("no such function");
        return types[index].functions[k].description;
    }
    Result<std::vector<std::string>> names(uint32_t index, int32_t memberId, uint32_t maxNames) const override {
        for (const auto& f : types.at(index).functions)
            if (f.description.memberId == memberId) {
                auto names = f.names;
                if (names.size() > maxNames) names.resize(maxNames);
                return names;
            }
        return fail("no such member");
    }
    std::optional<std::string> memberDocString(uint32_t index, int32_t memberId) const override {
        for (const auto& f : types.at(index).functions)
            if (f.description.memberId == memberId) return f.docString;
        return std::nullopt;
    }
    void release() override {
        if (released) *released = true;
    }

    // Builders for test libraries.
    uint32_t addInterface(const std::string& name, const Guid& iid, bool dual = true,
                          std::optional<std::string> doc = std::nullopt) {
        FakeType t;
        t.attributes.guid = iid;
        t.attributes.kind = TKIND_DISPATCH;
        t.attributes.flags = dual ? TYPEFLAG_FDUAL : 0;
        t.documentation = {name, doc};
        types.push_back(t);
        return static_cast<uint32_t>(types.size() - 1);
    }
    uint32_t addCoclass(const std::string& name, const Guid& clsid, std::vector<uint32_t> implemented,
                        std::optional<std::string> doc = std::nullopt) {
        FakeType t;
        t.attributes.guid = clsid;
        t.attributes.kind = TKIND_COCLASS;
        t.attributes.flags = TYPEFLAG_FCANCREATE;
        t.attributes.implTypeCount = static_cast<uint16_t>(implemented.size());
        t.documentation = {name, doc};
        t.implemented = std::move(implemented);
        types.push_back(t);
        return static_cast<uint32_t>(types.size() - 1);
    }
    void addFunction(uint32_t typeIndex, int32_t memberId, uint32_t invokeKind, std::vector<std::string> names,
                     std::vector<TypeDescription> params, TypeDescription result, int16_t optional = 0,
                     std::optional<std::string> doc = std::nullopt) {
        FakeFunction f;
        f.description.memberId = memberId;
        f.description.invokeKind = invokeKind;
        f.description.paramCount = static_cast<int16_t>(params.size());
        f.description.optionalParamCount = optional;
        for (auto& p : params) f.description.params.push_back(ParameterDescription{p, 0});
        f.description.result = result;
        f.names = std::move(names);
        f.docString = std::move(doc);
        types[typeIndex].functions.push_back(std::move(f));
        types[typeIndex].attributes.funcCount = static_cast<uint16_t>(types[typeIndex].functions.size());
    }
};

inline Guid guid(uint32_t n) { return Guid{n, 0x1234, 0x5678, {0x9a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}}; }

// A generator that records its reports and writes a fixed time.
class RecordingGenerator : public Generator {
public:
    std::vector<std::pair<std::string, std::string>> reports;
    RecordingGenerator() { setClock([] { return std::string("Thu May 24 10:58:38 2001\n"); }); }
    void reportError(const std::string& subject, const std::string& message) override {
        reports.emplace_back(subject, message);
    }
    // Runs with a copy of the library as its source.
    bool runWith(const FakeTypeLibrary& library) {
        setReaderFactory([library] { return std::make_unique<FakeTypeLibrary>(library); });
        return run();
    }
};

}  // namespace mivra::test
