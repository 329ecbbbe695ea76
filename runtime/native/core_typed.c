// The interface an object's own type information names, so that the Java
// half can give an object result its most derived generated class; and the
// VARIANT conversions of MivraVariant's accessors.
#include "core_internal.h"

#include <stdlib.h>
#include <string.h>

// The IIDs of the type informations seen, by ITypeInfo: objects of one
// interface hand out the same one, so that its TYPEATTR is read once. Each
// entry keeps a reference, so that no other type information takes its
// address; the table is small and only grows.
#define IID_CACHE 128
static struct {
	ITypeInfo *info;
	WCHAR text[39];
} iidCache[IID_CACHE];
static volatile LONG iidCached;
static SRWLOCK iidCacheLock = SRWLOCK_INIT;

static int cachedIid(ITypeInfo *info, WCHAR *text)
{
	LONG n = iidCached;
	MemoryBarrier();
	for (LONG k = 0; k < n; ++k)
		if (iidCache[k].info == info) {
			memcpy(text, iidCache[k].text, sizeof iidCache[k].text);
			return 1;
		}
	return 0;
}

static void cacheIid(ITypeInfo *info, const WCHAR *text)
{
	AcquireSRWLockExclusive(&iidCacheLock);
	LONG n = iidCached;
	if (n < IID_CACHE && !cachedIid(info, (WCHAR[39]) {0})) {
		ITypeInfo_AddRef(info);
		iidCache[n].info = info;
		memcpy(iidCache[n].text, text, sizeof iidCache[n].text);
		MemoryBarrier();
		iidCached = n + 1;
	}
	ReleaseSRWLockExclusive(&iidCacheLock);
}

// The braced IID of the object's type information into text (39 characters
// with the terminator); 0 when it gives none.
static int typeInfoIid(IDispatch *dispatch, WCHAR *text)
{
	UINT count = 0;
	if (FAILED(IDispatch_GetTypeInfoCount(dispatch, &count)) || count == 0)
		return 0;
	ITypeInfo *info = NULL;
	if (FAILED(IDispatch_GetTypeInfo(dispatch, 0, LOCALE_USER_DEFAULT, &info)) || info == NULL)
		return 0;
	int found = cachedIid(info, text);
	if (!found) {
		TYPEATTR *attr = NULL;
		if (SUCCEEDED(ITypeInfo_GetTypeAttr(info, &attr)) && attr != NULL) {
			found = StringFromGUID2(&attr->guid, text, 39) == 39;
			ITypeInfo_ReleaseTypeAttr(info, attr);
			if (found)
				cacheIid(info, text);
		}
	}
	ITypeInfo_Release(info);
	return found;
}

// The braced IID, or the empty string when the object gives none.
static MvString *iidText(IDispatch *dispatch)
{
	WCHAR text[39];
	return coreString(text, typeInfoIid(dispatch, text) ? 38 : 0);
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

void coreElementIid(MvFrame *frame, uint32_t k)
{
	if (frame->vts[k] != VT_DISPATCH || frame->bits[k] == 0)
		return;
	MvString *text = iidText((IDispatch *) PTR(frame->bits[k]));
	if (text == NULL)
		return;
	mvRefFree(frame->vts[k], frame->refs[k]);
	frame->refs[k] = text;
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
