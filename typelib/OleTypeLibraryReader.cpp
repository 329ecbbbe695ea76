#include "OleTypeLibraryReader.h"

#ifdef _WIN32

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <map>
#include <tuple>
#include <vector>

#include "windows/WideText.h"

namespace mivra {

namespace {

// A string handed out by OLE Automation as UTF-8; a null BSTR is absent.
// The BSTR is freed here.
std::optional<std::string> takeText(BSTR text) {
    if (!text) return std::nullopt;
    std::string utf8 = narrowText(text, SysStringLen(text));
    SysFreeString(text);
    return utf8;
}

Failure comFailure(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (0x%08lx)", what, static_cast<unsigned long>(hr));
    return Failure{text};
}

Guid guidOf(const GUID& g) {
    Guid guid;
    guid.data1 = g.Data1;
    guid.data2 = g.Data2;
    guid.data3 = g.Data3;
    for (int i = 0; i < 8; ++i) guid.data4[i] = g.Data4[i];
    return guid;
}

// Holds one interface pointer and releases it.
template <class T>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() {
        if (pointer_) pointer_->Release();
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    T** out() { return &pointer_; }
    T* operator->() const { return pointer_; }
    T* get() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

// Type attributes borrowed from a type information, handed back when done.
class BorrowedAttributes {
public:
    explicit BorrowedAttributes(ITypeInfo* info) : info_(info) {
        hr_ = info_->GetTypeAttr(&attributes_);
        if (FAILED(hr_)) attributes_ = nullptr;
    }
    ~BorrowedAttributes() {
        if (attributes_) info_->ReleaseTypeAttr(attributes_);
    }
    BorrowedAttributes(const BorrowedAttributes&) = delete;
    BorrowedAttributes& operator=(const BorrowedAttributes&) = delete;

    HRESULT result() const { return hr_; }
    const TYPEATTR* get() const { return attributes_; }

private:
    ITypeInfo* info_;
    TYPEATTR* attributes_ = nullptr;
    HRESULT hr_;
};

TypeAttributes attributesFrom(const TYPEATTR& a) {
    TypeAttributes attributes;
    attributes.guid = guidOf(a.guid);
    attributes.kind = static_cast<uint32_t>(a.typekind);
    attributes.flags = a.wTypeFlags;
    attributes.implTypeCount = a.cImplTypes;
    attributes.funcCount = a.cFuncs;
    attributes.varCount = a.cVars;
    return attributes;
}

// VT_PTR and VT_SAFEARRAY name the type they refer to, VT_CARRAY its
// element type; a malformed library could chain them without end, so the
// depth is capped like the file reader's.
TypeDescription descriptionOf(const TYPEDESC& t, int depth = 0) {
    TypeDescription description;
    description.vt = t.vt;
    if ((t.vt == VT_PTR || t.vt == VT_SAFEARRAY) && t.lptdesc && depth < 64)
        description.pointee = std::make_shared<const TypeDescription>(descriptionOf(*t.lptdesc, depth + 1));
    else if (t.vt == VT_CARRAY && t.lpadesc && depth < 64)
        description.pointee = std::make_shared<const TypeDescription>(descriptionOf(t.lpadesc->tdescElem, depth + 1));
    else if (t.vt == VT_USERDEFINED)
        description.reference = static_cast<int32_t>(t.hreftype);
    return description;
}

ConstantValue constantOf(const VARIANT& v) {
    ConstantValue value;
    value.vt = V_VT(&v);
    switch (V_VT(&v)) {
    case VT_I1: value.integer = static_cast<signed char>(V_I1(&v)); break;
    case VT_UI1: value.integer = V_UI1(&v); break;
    case VT_I2: value.integer = V_I2(&v); break;
    case VT_UI2: value.integer = V_UI2(&v); break;
    case VT_I4: value.integer = V_I4(&v); break;
    case VT_UI4: value.integer = V_UI4(&v); break;
    case VT_INT: value.integer = V_INT(&v); break;
    case VT_UINT: value.integer = V_UINT(&v); break;
    case VT_ERROR: value.integer = V_ERROR(&v); break;
    case VT_BOOL: value.integer = V_BOOL(&v); break;
    case VT_I8: value.integer = V_I8(&v); break;
    case VT_UI8: value.integer = static_cast<int64_t>(V_UI8(&v)); break;
    case VT_CY: value.integer = V_CY(&v).int64; break;
    case VT_R4: value.real = V_R4(&v); break;
    case VT_R8: value.real = V_R8(&v); break;
    case VT_DATE: value.real = V_DATE(&v); break;
    case VT_BSTR:
        if (V_BSTR(&v)) value.text = narrowText(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
        break;
    default: break;
    }
    return value;
}

class OleTypeLibraryReader final : public TypeLibraryReader {
public:
    // LoadTypeLib itself needs no COM initialisation, but the type
    // information it hands out may ask COM for more; the pairing keeps the
    // reader usable from any thread of a program that never started COM.
    OleTypeLibraryReader() : comStarted_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~OleTypeLibraryReader() override {
        release();
        if (comStarted_) CoUninitialize();
    }

    Result<bool> load(const std::string& fullPath) override {
        release();
        HRESULT hr = LoadTypeLib(wideText(fullPath).c_str(), &library_);
        if (FAILED(hr) || !library_) {
            library_ = nullptr;
            return comFailure("LoadTypeLib", hr);
        }
        return true;
    }

    uint32_t typeInfoCount() const override { return library_ ? library_->GetTypeInfoCount() : 0; }

    Result<TypeAttributes> typeAttributes(uint32_t index) const override {
        ComPointer<ITypeInfo> info;
        if (auto failure = typeInfo(index, info)) return *failure;
        BorrowedAttributes attributes(info.get());
        if (!attributes.get()) return comFailure("ITypeInfo::GetTypeAttr", attributes.result());
        return attributesFrom(*attributes.get());
    }

    Result<ImplementedType> implementedType(uint32_t index, uint32_t j) const override {
        ComPointer<ITypeInfo> info;
        if (auto failure = typeInfo(index, info)) return *failure;
        ImplementedType implemented;
        INT implFlags = 0;
        if (SUCCEEDED(info->GetImplTypeFlags(j, &implFlags))) implemented.implFlags = implFlags;
        HREFTYPE reference = 0;
        HRESULT hr = info->GetRefTypeOfImplType(j, &reference);
        if (FAILED(hr)) return comFailure("ITypeInfo::GetRefTypeOfImplType", hr);
        ComPointer<ITypeInfo> referenced;
        hr = info->GetRefTypeInfo(reference, referenced.out());
        if (FAILED(hr) || !referenced.get()) return comFailure("ITypeInfo::GetRefTypeInfo", hr);
        BorrowedAttributes attributes(referenced.get());
        if (!attributes.get()) return comFailure("ITypeInfo::GetTypeAttr", attributes.result());
        implemented.attributes = attributesFrom(*attributes.get());
        BSTR name = nullptr;
        if (SUCCEEDED(referenced->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)))
            implemented.name = takeText(name);
        else
            SysFreeString(name);
        return implemented;
    }

    Result<Documentation> documentation(int32_t index) const override {
        if (!library_) return fail("no library loaded");
        BSTR name = nullptr, docString = nullptr;
        HRESULT hr = library_->GetDocumentation(index, &name, &docString, nullptr, nullptr);
        if (FAILED(hr)) {
            SysFreeString(name);
            SysFreeString(docString);
            return comFailure("ITypeLib::GetDocumentation", hr);
        }
        Documentation documentation;
        documentation.name = takeText(name);
        documentation.docString = takeText(docString);
        return documentation;
    }

    Result<FunctionDescription> function(uint32_t index, uint32_t k) const override {
        ComPointer<ITypeInfo> info;
        if (auto failure = typeInfo(index, info)) return *failure;
        // Wine's GetFuncDesc on a dispatch view can fail after the fact and
        // still adjust the description it would have returned through the
        // pointer given to it; an empty one keeps that from touching memory
        // that is not there.
        FUNCDESC unused{};
        FUNCDESC* described = &unused;
        HRESULT hr = info->GetFuncDesc(k, &described);
        if (FAILED(hr) || !described || described == &unused) {
            // A slot past every function described, which a declared vtable
            // larger than its interfaces leaves.
            Failure failure = comFailure("ITypeInfo::GetFuncDesc", hr);
            if (hr == TYPE_E_ELEMENTNOTFOUND) failure.step = Failure::Step::EmptySlot;
            return failure;
        }
        FunctionDescription function;
        function.memberId = described->memid;
        function.invokeKind = static_cast<uint32_t>(described->invkind);
        function.paramCount = described->cParams;
        function.optionalParamCount = described->cParamsOpt;
        function.result = descriptionOf(described->elemdescFunc.tdesc);
        function.funcKind = static_cast<uint32_t>(described->funckind);
        function.flags = described->wFuncFlags;
        if (described->funckind != FUNC_DISPATCH) function.vtableSlot = described->oVft / SHORT(sizeof(void*));
        for (SHORT p = 0; p < described->cParams && described->lprgelemdescParam; ++p) {
            const ELEMDESC& element = described->lprgelemdescParam[p];
            ParameterDescription parameter;
            parameter.type = descriptionOf(element.tdesc);
            parameter.flags = element.paramdesc.wParamFlags;
            if ((parameter.flags & PARAMFLAG_FHASDEFAULT) && element.paramdesc.pparamdescex)
                parameter.defaultValue = constantOf(element.paramdesc.pparamdescex->varDefaultValue);
            function.params.push_back(std::move(parameter));
        }
        info->ReleaseFuncDesc(described);
        return function;
    }

    Result<std::vector<std::string>> names(uint32_t index, int32_t memberId, uint32_t maxNames) const override {
        ComPointer<ITypeInfo> info;
        if (auto failure = typeInfo(index, info)) return *failure;
        std::vector<BSTR> received(maxNames, nullptr);
        UINT count = 0;
        HRESULT hr = info->GetNames(memberId, received.data(), maxNames, &count);
        if (FAILED(hr)) return comFailure("ITypeInfo::GetNames", hr);
        std::vector<std::string> names;
        for (UINT n = 0; n < count && n < maxNames; ++n) names.push_back(takeText(received[n]).value_or(""));
        return names;
    }

    std::optional<std::string> memberDocString(uint32_t index, int32_t memberId) const override {
        ComPointer<ITypeInfo> info;
        if (typeInfo(index, info)) return std::nullopt;
        BSTR docString = nullptr;
        if (FAILED(info->GetDocumentation(memberId, nullptr, &docString, nullptr, nullptr))) {
            SysFreeString(docString);
            return std::nullopt;
        }
        return takeText(docString);
    }

    void release() override {
        for (ITypeInfo* info : handles_) info->Release();
        handles_.clear();
        handleOfType_.clear();
        if (library_) library_->Release();
        library_ = nullptr;
    }

    Result<VariableDescription> variable(uint32_t index, uint32_t k) const override {
        ComPointer<ITypeInfo> info;
        if (auto failure = typeInfo(index, info)) return *failure;
        VARDESC* described = nullptr;
        HRESULT hr = info->GetVarDesc(k, &described);
        if (FAILED(hr) || !described) return comFailure("ITypeInfo::GetVarDesc", hr);
        VariableDescription variable;
        variable.memberId = described->memid;
        variable.varKind = static_cast<uint32_t>(described->varkind);
        variable.flags = described->wVarFlags;
        variable.type = descriptionOf(described->elemdescVar.tdesc);
        if (described->varkind == VAR_CONST && described->lpvarValue) variable.value = constantOf(*described->lpvarValue);
        info->ReleaseVarDesc(described);
        return variable;
    }

    Result<TypeHandle> typeHandle(uint32_t index) const override {
        if (!library_) return fail("no library loaded", Failure::Step::TypeInfo);
        ITypeInfo* info = nullptr;
        HRESULT hr = library_->GetTypeInfo(index, &info);
        if (FAILED(hr) || !info) return Failure{comFailure("ITypeLib::GetTypeInfo", hr).message, Failure::Step::TypeInfo};
        return handleOf(info);
    }

    Result<TypeHandle> referencedType(TypeHandle from, int32_t reference) const override {
        ITypeInfo* info = infoOf(from);
        if (!info) return fail("no type information object " + std::to_string(from.id));
        ITypeInfo* target = nullptr;
        HRESULT hr = info->GetRefTypeInfo(static_cast<HREFTYPE>(reference), &target);
        if (FAILED(hr) || !target) return comFailure("ITypeInfo::GetRefTypeInfo", hr);
        return handleOf(target);
    }

    Result<ImplementedTypeHandle> implementedTypeOf(TypeHandle of, int32_t j) const override {
        ITypeInfo* info = infoOf(of);
        if (!info) return fail("no type information object " + std::to_string(of.id));
        INT implFlags = 0;
        if (j >= 0 && FAILED(info->GetImplTypeFlags(static_cast<UINT>(j), &implFlags))) implFlags = 0;
        HREFTYPE reference = 0;
        HRESULT hr = info->GetRefTypeOfImplType(static_cast<UINT>(j), &reference);
        if (FAILED(hr)) return comFailure("ITypeInfo::GetRefTypeOfImplType", hr);
        ITypeInfo* target = nullptr;
        hr = info->GetRefTypeInfo(reference, &target);
        if (FAILED(hr) || !target) return comFailure("ITypeInfo::GetRefTypeInfo", hr);
        return ImplementedTypeHandle{handleOf(target), implFlags};
    }

    Result<TypeAttributes> attributesOf(TypeHandle type) const override {
        ITypeInfo* info = infoOf(type);
        if (!info) return fail("no type information object " + std::to_string(type.id), Failure::Step::Attributes);
        BorrowedAttributes attributes(info);
        if (!attributes.get())
            return Failure{comFailure("ITypeInfo::GetTypeAttr", attributes.result()).message, Failure::Step::Attributes};
        return attributesFrom(*attributes.get());
    }

    Result<Documentation> documentationOf(TypeHandle type) const override {
        ITypeInfo* info = infoOf(type);
        if (!info) return fail("no type information object " + std::to_string(type.id));
        BSTR name = nullptr, docString = nullptr;
        HRESULT hr = info->GetDocumentation(MEMBERID_NIL, &name, &docString, nullptr, nullptr);
        if (FAILED(hr)) {
            SysFreeString(name);
            SysFreeString(docString);
            return comFailure("ITypeInfo::GetDocumentation", hr);
        }
        Documentation documentation;
        documentation.name = takeText(name);
        documentation.docString = takeText(docString);
        return documentation;
    }

    Result<TypeOrigin> originOf(TypeHandle type) const override {
        ITypeInfo* info = infoOf(type);
        if (!info || !library_) return fail("no type information object " + std::to_string(type.id));
        ComPointer<ITypeLib> containing;
        UINT index = 0;
        HRESULT hr = info->GetContainingTypeLib(containing.out(), &index);
        if (FAILED(hr) || !containing.get()) return comFailure("ITypeInfo::GetContainingTypeLib", hr);
        TypeOrigin origin;
        origin.index = index;
        auto guid = libraryGuidOf(containing.get()), ownGuid = libraryGuidOf(library_);
        origin.own = guid && ownGuid && *guid == *ownGuid;
        BSTR name = nullptr;
        if (SUCCEEDED(containing->GetDocumentation(-1, &name, nullptr, nullptr, nullptr)))
            origin.library = takeText(name);
        else
            SysFreeString(name);
        return origin;
    }

    Result<TypeDescription> aliasOf(TypeHandle type) const override {
        ITypeInfo* info = infoOf(type);
        if (!info) return fail("no type information object " + std::to_string(type.id));
        BorrowedAttributes attributes(info);
        if (!attributes.get()) return comFailure("ITypeInfo::GetTypeAttr", attributes.result());
        return descriptionOf(attributes.get()->tdescAlias);
    }

private:
    static std::optional<Guid> libraryGuidOf(ITypeLib* library) {
        TLIBATTR* attributes = nullptr;
        if (FAILED(library->GetLibAttr(&attributes)) || !attributes) return std::nullopt;
        Guid guid = guidOf(attributes->guid);
        library->ReleaseTLibAttr(attributes);
        return guid;
    }

    ITypeInfo* infoOf(TypeHandle handle) const { return handle.id < handles_.size() ? handles_[handle.id] : nullptr; }

    // One handle per type information object: the same view of the same type
    // of the same library. Takes over the reference given.
    TypeHandle handleOf(ITypeInfo* info) const {
        std::string library;
        UINT index = 0;
        ComPointer<ITypeLib> containing;
        if (SUCCEEDED(info->GetContainingTypeLib(containing.out(), &index)) && containing.get()) {
            if (auto guid = libraryGuidOf(containing.get())) library = guidText(*guid);
        }
        uint32_t kind = UINT32_MAX;
        {
            BorrowedAttributes attributes(info);
            if (attributes.get()) kind = static_cast<uint32_t>(attributes.get()->typekind);
        }
        // Without a containing library the object itself is its identity.
        if (library.empty()) library = "@" + std::to_string(reinterpret_cast<uintptr_t>(info));
        auto key = std::make_tuple(library, static_cast<uint32_t>(index), kind);
        auto found = handleOfType_.find(key);
        if (found != handleOfType_.end()) {
            info->Release();
            return TypeHandle{found->second};
        }
        auto id = static_cast<uint32_t>(handles_.size());
        handles_.push_back(info);
        handleOfType_.emplace(key, id);
        return TypeHandle{id};
    }

    std::optional<Failure> typeInfo(uint32_t index, ComPointer<ITypeInfo>& info) const {
        if (!library_) return fail("no library loaded");
        HRESULT hr = library_->GetTypeInfo(index, info.out());
        if (FAILED(hr) || !info.get()) return comFailure("ITypeLib::GetTypeInfo", hr);
        return std::nullopt;
    }

    bool comStarted_;
    ITypeLib* library_ = nullptr;
    mutable std::vector<ITypeInfo*> handles_;
    mutable std::map<std::tuple<std::string, uint32_t, uint32_t>, uint32_t> handleOfType_;
};

}  // namespace

std::unique_ptr<TypeLibraryReader> makeOleTypeLibraryReader() { return std::make_unique<OleTypeLibraryReader>(); }

}  // namespace mivra

#else

namespace mivra {

std::unique_ptr<TypeLibraryReader> makeOleTypeLibraryReader() { return nullptr; }

}  // namespace mivra

#endif
