/* Writes a type library with a module of constants and a DLL entry point,
 * and a creatable class with a dispatch interface,
 * through ICreateTypeLib2, which is how such libraries are made; widl drops
 * constants inside a module (and Wine 8 cannot name the entry point's DLL).
 * Usage: makemodule OUTPUT.tlb */
#define COBJMACROS
#include <windows.h>
#include <oleauto.h>
#include <stdio.h>

static const GUID libraryId = {0x5c0a7e10, 0x3b1d, 0x4c2e, {0x9a, 0x51, 0x7d, 0x2f, 0x00, 0x00, 0x03, 0x01}};
static const GUID moduleId = {0x5c0a7e10, 0x3b1d, 0x4c2e, {0x9a, 0x51, 0x7d, 0x2f, 0x00, 0x00, 0x03, 0x02}};
static const GUID thingIid = {0x5c0a7e10, 0x3b1d, 0x4c2e, {0x9a, 0x51, 0x7d, 0x2f, 0x00, 0x00, 0x03, 0x03}};
static const GUID thingClsid = {0x5c0a7e10, 0x3b1d, 0x4c2e, {0x9a, 0x51, 0x7d, 0x2f, 0x00, 0x00, 0x03, 0x04}};

/* A dispatch interface with one method, and a creatable class offering it. */
static HRESULT addClass(ICreateTypeLib2 *library) {
    ITypeLib *stdole = NULL;
    ITypeInfo *dispatch = NULL, *thingInfo = NULL;
    ICreateTypeInfo *thing = NULL, *coclass = NULL;
    HREFTYPE ref;
    FUNCDESC func;
    LPOLESTR name = L"Count";
    HRESULT hr = LoadTypeLib(L"stdole2.tlb", &stdole);
    if (SUCCEEDED(hr)) hr = ITypeLib_GetTypeInfoOfGuid(stdole, &IID_IDispatch, &dispatch);
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_CreateTypeInfo(library, L"DThing", TKIND_DISPATCH, &thing);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetGuid(thing, &thingIid);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_AddRefTypeInfo(thing, dispatch, &ref);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_AddImplType(thing, 0, ref);
    memset(&func, 0, sizeof func);
    func.memid = 1;
    func.funckind = FUNC_DISPATCH;
    func.invkind = INVOKE_FUNC;
    func.callconv = CC_STDCALL;
    func.elemdescFunc.tdesc.vt = VT_I4;
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_AddFuncDesc(thing, 0, &func);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetFuncAndParamNames(thing, 0, &name, 1);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_LayOut(thing);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_QueryInterface(thing, &IID_ITypeInfo, (void **)&thingInfo);
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_CreateTypeInfo(library, L"Thing", TKIND_COCLASS, &coclass);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetGuid(coclass, &thingClsid);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetTypeFlags(coclass, TYPEFLAG_FCANCREATE);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_AddRefTypeInfo(coclass, thingInfo, &ref);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_AddImplType(coclass, 0, ref);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetImplTypeFlags(coclass, 0, IMPLTYPEFLAG_FDEFAULT);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_LayOut(coclass);
    if (coclass) ICreateTypeInfo_Release(coclass);
    if (thingInfo) ITypeInfo_Release(thingInfo);
    if (thing) ICreateTypeInfo_Release(thing);
    if (dispatch) ITypeInfo_Release(dispatch);
    if (stdole) ITypeLib_Release(stdole);
    return hr;
}

static HRESULT addConstant(ICreateTypeInfo *info, UINT index, const WCHAR *name, VARIANT *value) {
    VARDESC desc;
    HRESULT hr;
    memset(&desc, 0, sizeof desc);
    desc.memid = 0x40000000 + index;
    desc.varkind = VAR_CONST;
    desc.elemdescVar.tdesc.vt = V_VT(value);
    desc.lpvarValue = value;
    hr = ICreateTypeInfo_AddVarDesc(info, index, &desc);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetVarName(info, index, (LPOLESTR)name);
    return hr;
}

int wmain(int argc, WCHAR **argv) {
    ICreateTypeLib2 *library = NULL;
    ICreateTypeInfo *module = NULL;
    VARIANT v;
    FUNCDESC func;
    ELEMDESC param;
    LPOLESTR names[] = {L"Scale", L"value"};
    HRESULT hr;
    if (argc != 2) return 2;
    hr = CreateTypeLib2(SYS_WIN64, argv[1], &library);
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_SetName(library, L"ModuleLib");
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_SetGuid(library, &libraryId);
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_SetVersion(library, 1, 0);
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_CreateTypeInfo(library, L"Formats", TKIND_MODULE, &module);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetGuid(module, &moduleId);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetDocString(module, L"Format identifiers");

    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}");
    if (SUCCEEDED(hr)) hr = addConstant(module, 0, L"FormatJPEG", &v);
    VariantClear(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = -123456;
    if (SUCCEEDED(hr)) hr = addConstant(module, 1, L"Count", &v);
    V_VT(&v) = VT_R8;
    V_R8(&v) = 2.5;
    if (SUCCEEDED(hr)) hr = addConstant(module, 2, L"Ratio", &v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_TRUE;
    if (SUCCEEDED(hr)) hr = addConstant(module, 3, L"Enabled", &v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = -3;
    if (SUCCEEDED(hr)) hr = addConstant(module, 4, L"Small", &v);
    V_VT(&v) = VT_UI1;
    V_UI1(&v) = 200;
    if (SUCCEEDED(hr)) hr = addConstant(module, 5, L"Byte", &v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"say \"hi\"\\");
    if (SUCCEEDED(hr)) hr = addConstant(module, 6, L"Quoted", &v);
    VariantClear(&v);

    memset(&func, 0, sizeof func);
    memset(&param, 0, sizeof param);
    param.tdesc.vt = VT_I4;
    func.memid = 0x60000000;
    func.funckind = FUNC_STATIC;
    func.invkind = INVOKE_FUNC;
    func.callconv = CC_STDCALL;
    func.cParams = 1;
    func.lprgelemdescParam = &param;
    func.elemdescFunc.tdesc.vt = VT_I4;
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_AddFuncDesc(module, 0, &func);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_SetFuncAndParamNames(module, 0, names, 2);
    if (SUCCEEDED(hr)) hr = ICreateTypeInfo_LayOut(module);
    if (SUCCEEDED(hr)) hr = addClass(library);
    if (SUCCEEDED(hr)) hr = ICreateTypeLib2_SaveAllChanges(library);
    if (module) ICreateTypeInfo_Release(module);
    if (library) ICreateTypeLib2_Release(library);
    if (FAILED(hr)) {
        fprintf(stderr, "makemodule: 0x%08lx\n", (unsigned long)hr);
        return 1;
    }
    return 0;
}
