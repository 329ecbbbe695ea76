#include <stdio.h>

#include "counting_dispatch.h"

typedef struct Wrapper {
	IDispatch iface;
	LONG refs;
	IDispatch *inner;           // one reference, held while refs > 0
	int dead;
	struct Wrapper *next;
} Wrapper;

static const IDispatchVtbl wrapperVtbl;
static Wrapper *wrappers;
static long overReleases, deadCalls, made;
static DWORD lastReleaseThread;

static Wrapper *impl(IDispatch *iface)
{
	return (Wrapper *) iface;
}

int countingIsWrapper(IUnknown *unknown)
{
	return unknown != NULL && unknown->lpVtbl == (void *) &wrapperVtbl;
}

// The wrapper of an inner pointer the caller owns one reference of.
static IDispatch *adopt(IDispatch *inner)
{
	if (inner == NULL || countingIsWrapper((IUnknown *) inner))
		return inner;
	for (Wrapper *w = wrappers; w != NULL; w = w->next)
		if (!w->dead && w->inner == inner) {
			++w->refs;
			inner->lpVtbl->Release(inner);
			return &w->iface;
		}
	Wrapper *w = calloc(1, sizeof *w);
	w->iface.lpVtbl = (IDispatchVtbl *) &wrapperVtbl;
	w->refs = 1;
	w->inner = inner;
	w->next = wrappers;
	wrappers = w;
	++made;
	return &w->iface;
}

IDispatch *countingWrap(IDispatch *inner)
{
	return adopt(inner);
}

LONG countingReferences(IDispatch *wrapper)
{
	return countingIsWrapper((IUnknown *) wrapper) ? impl(wrapper)->refs : -1;
}

static HRESULT STDMETHODCALLTYPE QueryInterface(IDispatch *iface, REFIID riid, void **out)
{
	Wrapper *w = impl(iface);
	*out = NULL;
	if (w->dead) {
		++deadCalls;
		return E_UNEXPECTED;
	}
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch)) {
		++w->refs;
		*out = iface;
		return S_OK;
	}
	IUnknown *found = NULL;
	HRESULT hr = w->inner->lpVtbl->QueryInterface(w->inner, riid, (void **) &found);
	if (FAILED(hr))
		return hr;
	// Only dispatch interfaces are wrapped: the generated code calls nothing else.
	IDispatch *disp = NULL;
	if (FAILED(found->lpVtbl->QueryInterface(found, &IID_IDispatch, (void **) &disp))) {
		found->lpVtbl->Release(found);
		return E_NOINTERFACE;
	}
	disp->lpVtbl->Release(disp);
	*out = adopt((IDispatch *) found);
	return S_OK;
}

static ULONG STDMETHODCALLTYPE AddRef(IDispatch *iface)
{
	Wrapper *w = impl(iface);
	if (w->dead) {
		++deadCalls;
		return 0;
	}
	return (ULONG) ++w->refs;
}

static ULONG STDMETHODCALLTYPE Release(IDispatch *iface)
{
	Wrapper *w = impl(iface);
	if (w->dead) {
		++overReleases;
		return 0;
	}
	if (--w->refs == 0) {
		w->dead = 1;
		lastReleaseThread = GetCurrentThreadId();
		w->inner->lpVtbl->Release(w->inner);
		w->inner = NULL;
	}
	return (ULONG) w->refs;
}

static HRESULT STDMETHODCALLTYPE GetTypeInfoCount(IDispatch *iface, UINT *count)
{
	Wrapper *w = impl(iface);
	if (w->dead) {
		++deadCalls;
		return E_UNEXPECTED;
	}
	return w->inner->lpVtbl->GetTypeInfoCount(w->inner, count);
}

static HRESULT STDMETHODCALLTYPE GetTypeInfo(IDispatch *iface, UINT index, LCID lcid, ITypeInfo **info)
{
	Wrapper *w = impl(iface);
	if (w->dead) {
		++deadCalls;
		return E_UNEXPECTED;
	}
	return w->inner->lpVtbl->GetTypeInfo(w->inner, index, lcid, info);
}

static HRESULT STDMETHODCALLTYPE GetIDsOfNames(IDispatch *iface, REFIID riid, LPOLESTR *names, UINT count,
                                               LCID lcid, DISPID *ids)
{
	Wrapper *w = impl(iface);
	if (w->dead) {
		++deadCalls;
		return E_UNEXPECTED;
	}
	return w->inner->lpVtbl->GetIDsOfNames(w->inner, riid, names, count, lcid, ids);
}

static IDispatch *innerOf(IDispatch *disp)
{
	if (!countingIsWrapper((IUnknown *) disp))
		return disp;
	Wrapper *w = impl(disp);
	if (w->dead) {
		++deadCalls;
		return NULL;
	}
	return w->inner;
}

// The servers see their own objects: wrapped arguments are passed unwrapped
// (borrowed, as the caller's wrapper keeps its reference meanwhile), and
// object results come back wrapped.
static HRESULT STDMETHODCALLTYPE Invoke(IDispatch *iface, DISPID member, REFIID riid, LCID lcid, WORD flags,
                                        DISPPARAMS *params, VARIANT *result, EXCEPINFO *excep, UINT *argErr)
{
	Wrapper *w = impl(iface);
	if (w->dead) {
		++deadCalls;
		return E_UNEXPECTED;
	}
	DISPPARAMS forwarded = *params;
	VARIANTARG args[32], byRef[32];
	IDispatch *byRefDisp[32];
	if (params->cArgs > 32)
		return E_INVALIDARG;
	for (UINT i = 0; i < params->cArgs; ++i) {
		args[i] = params->rgvarg[i];
		VARIANTARG *a = &args[i];
		if (V_VT(a) == VT_DISPATCH) {
			V_DISPATCH(a) = innerOf(V_DISPATCH(a));
		} else if (V_VT(a) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(a) != NULL &&
		           V_VT(V_VARIANTREF(a)) == VT_DISPATCH &&
		           countingIsWrapper((IUnknown *) V_DISPATCH(V_VARIANTREF(a)))) {
			byRef[i] = *V_VARIANTREF(a);
			V_DISPATCH(&byRef[i]) = innerOf(V_DISPATCH(&byRef[i]));
			V_VARIANTREF(a) = &byRef[i];
		} else if (V_VT(a) == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(a) != NULL &&
		           countingIsWrapper((IUnknown *) *V_DISPATCHREF(a))) {
			byRefDisp[i] = innerOf(*V_DISPATCHREF(a));
			V_DISPATCHREF(a) = &byRefDisp[i];
		}
	}
	forwarded.rgvarg = params->cArgs ? args : params->rgvarg;
	HRESULT hr = w->inner->lpVtbl->Invoke(w->inner, member, riid, lcid, flags, &forwarded, result, excep, argErr);
	if (SUCCEEDED(hr) && result != NULL && V_VT(result) == VT_DISPATCH)
		V_DISPATCH(result) = adopt(V_DISPATCH(result));
	return hr;
}

static const IDispatchVtbl wrapperVtbl = {
	QueryInterface, AddRef, Release, GetTypeInfoCount, GetTypeInfo, GetIDsOfNames, Invoke,
};

// The class factory that hands out wrapped objects.

typedef struct Factory {
	IClassFactory iface;
	IClassFactory *real;
	DWORD cookie;
	struct Factory *next;
} Factory;

static Factory *factories;

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory *iface, REFIID riid, void **out)
{
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IClassFactory)) {
		*out = iface;
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory *iface)
{
	(void) iface;
	return 2;
}

static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory *iface)
{
	(void) iface;
	return 1;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory *iface, IUnknown *outer, REFIID riid, void **out)
{
	Factory *f = (Factory *) iface;
	*out = NULL;
	if (outer != NULL)
		return CLASS_E_NOAGGREGATION;
	IDispatch *real = NULL;
	HRESULT hr = f->real->lpVtbl->CreateInstance(f->real, NULL, &IID_IDispatch, (void **) &real);
	if (FAILED(hr))
		return hr;
	IDispatch *wrapped = adopt(real);
	hr = wrapped->lpVtbl->QueryInterface(wrapped, riid, out);
	wrapped->lpVtbl->Release(wrapped);
	return hr;
}

static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory *iface, BOOL lock)
{
	(void) iface;
	(void) lock;
	return S_OK;
}

static const IClassFactoryVtbl factoryVtbl = {
	FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateInstance, FactoryLockServer,
};

HRESULT countingWatchClass(const wchar_t *progId, const wchar_t *serverDll)
{
	CLSID clsid;
	HRESULT hr = CLSIDFromProgID(progId, &clsid);
	if (FAILED(hr))
		return hr;
	HMODULE module = LoadLibraryW(serverDll);
	if (module == NULL)
		return HRESULT_FROM_WIN32(GetLastError());
	typedef HRESULT(WINAPI * GetClassObject)(REFCLSID, REFIID, void **);
	GetClassObject get = (GetClassObject) (void *) GetProcAddress(module, "DllGetClassObject");
	if (get == NULL)
		return E_FAIL;
	Factory *f = calloc(1, sizeof *f);
	f->iface.lpVtbl = (IClassFactoryVtbl *) &factoryVtbl;
	hr = get(&clsid, &IID_IClassFactory, (void **) &f->real);
	if (FAILED(hr)) {
		free(f);
		return hr;
	}
	hr = CoRegisterClassObject(&clsid, (IUnknown *) &f->iface, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &f->cookie);
	if (FAILED(hr)) {
		f->real->lpVtbl->Release(f->real);
		free(f);
		return hr;
	}
	f->next = factories;
	factories = f;
	return S_OK;
}

void countingUnwatchAll(void)
{
	while (factories != NULL) {
		Factory *f = factories;
		factories = f->next;
		CoRevokeClassObject(f->cookie);
		f->real->lpVtbl->Release(f->real);
		free(f);
	}
}

long countingOverReleases(void)
{
	return overReleases;
}

long countingDeadCalls(void)
{
	return deadCalls;
}

long countingLiveWrappers(void)
{
	long n = 0;
	for (Wrapper *w = wrappers; w != NULL; w = w->next)
		n += !w->dead;
	return n;
}

long countingWrappersMade(void)
{
	return made;
}

void countingReport(FILE *out)
{
	fprintf(out, "references: %ld wrappers made, %ld live, %ld releases too many, %ld calls through dead pointers\n",
	        made, countingLiveWrappers(), overReleases, deadCalls);
	for (Wrapper *w = wrappers; w != NULL; w = w->next)
		if (!w->dead)
			fprintf(out, "  live wrapper %p holds %ld references\n", (void *) w, (long) w->refs);
}

DWORD countingLastReleaseThread(void)
{
	return lastReleaseThread;
}
