// The interface an object's own type information names, so that the Java
// half can give an object result its most derived generated class; and the
// VARIANT conversions of MivraVariant's accessors.
#include "core_internal.h"

#include <stdlib.h>
#include <string.h>

// S_OK with the IID of the object's type information; S_FALSE when it gives none.
static HRESULT typeInfoIid(IDispatch *dispatch, IID *iid)
{
	UINT count = 0;
	if (FAILED(IDispatch_GetTypeInfoCount(dispatch, &count)) || count == 0)
		return S_FALSE;
	ITypeInfo *info = NULL;
	if (FAILED(IDispatch_GetTypeInfo(dispatch, 0, LOCALE_USER_DEFAULT, &info)) || info == NULL)
		return S_FALSE;
	TYPEATTR *attr = NULL;
	HRESULT hr = ITypeInfo_GetTypeAttr(info, &attr);
	if (SUCCEEDED(hr) && attr != NULL) {
		*iid = attr->guid;
		ITypeInfo_ReleaseTypeAttr(info, attr);
		hr = S_OK;
	} else {
		hr = S_FALSE;
	}
	ITypeInfo_Release(info);
	return hr;
}

// The braced IID, or the empty string when the object gives none.
static MvString *iidText(IDispatch *dispatch)
{
	IID iid;
	WCHAR text[40];
	int length = typeInfoIid(dispatch, &iid) == S_OK ? StringFromGUID2(&iid, text, 40) - 1 : 0;
	return coreString(text, length > 0 ? (UINT) length : 0);
}

int32_t mvTypeInfoIid(uint64_t dispatch, MvString **iid, MvFailure *failure)
{
	*iid = NULL;
	if (dispatch == 0)
		return S_OK;
	MvString *text = iidText((IDispatch *) PTR(dispatch));
	if (text == NULL)
		return coreFail(failure, E_OUTOFMEMORY, NULL, -1, NULL);
	if (text->length == 0)
		free(text);
	else
		*iid = text;
	return S_OK;
}

// Asked inside the call that returned the object, so that finding its class
// costs no call of its own.
HRESULT coreResultIid(MvFrame *frame, uint32_t k, int32_t resultVt)
{
	if (frame->vts[k] != VT_DISPATCH || frame->bits[k] == 0 || resultVt == VT_VARIANT)
		return S_OK;
	MvString *text = iidText((IDispatch *) PTR(frame->bits[k]));
	if (text == NULL) {
		IUnknown_Release((IUnknown *) PTR(frame->bits[k]));
		mvSlotClear(frame, k);
		return E_OUTOFMEMORY;
	}
	mvRefFree(frame->vts[k], frame->refs[k]);
	frame->refs[k] = text;
	return S_OK;
}

// Fixed locale and flags, so that a program reads the same values on every machine.
int32_t mvChangeType(int32_t vt, MvFrame *frame, MvFailure *failure)
{
	if (frame == NULL || frame->count < 1 || (frame->vts[0] & VT_BYREF))
		return coreFail(failure, E_INVALIDARG, NULL, -1, L"changeType");
	VARIANT v, out;
	VariantInit(&out);
	HRESULT hr = coreFromSlot(&v, frame->vts[0], frame->bits[0], frame->refs[0]);
	if (SUCCEEDED(hr))
		hr = VariantChangeTypeEx(&out, &v, LOCALE_INVARIANT, VARIANT_ALPHABOOL, (VARTYPE) vt);
	VariantClear(&v);
	if (SUCCEEDED(hr))
		hr = corePutSlot(frame, 0, &out);
	VariantClear(&out);
	return FAILED(hr) ? coreFail(failure, hr, NULL, -1, NULL) : S_OK;
}
