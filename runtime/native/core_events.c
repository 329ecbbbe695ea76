// Events. A sink is an IDispatch of our own that the server's connection
// point calls; it turns each Invoke into a frame for its MvEventTarget. The
// target is held from Advise to Unadvise only; an Unadvise during a delivery
// (a listener closing its own connection) lets the delivery finish and
// releases the target after it.
#include "core_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

typedef struct {
	IDispatch iface;
	LONG refs;
	IID iid;
	CRITICAL_SECTION lock;
	MvEventTarget target;
	int connected;
	int retired;                // closed while delivering: released by the last delivery
	int deliveries;
} Sink;

typedef struct {
	IConnectionPoint *point;
	DWORD cookie;
	Sink *sink;
} Connection;

static Sink *sinkOf(IDispatch *iface)
{
	return (Sink *) iface;
}

static HRESULT STDMETHODCALLTYPE sinkQueryInterface(IDispatch *iface, REFIID riid, void **out)
{
	if (out == NULL)
		return E_POINTER;
	Sink *sink = sinkOf(iface);
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, &sink->iid)) {
		InterlockedIncrement(&sink->refs);
		*out = iface;
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE sinkAddRef(IDispatch *iface)
{
	return (ULONG) InterlockedIncrement(&sinkOf(iface)->refs);
}

static ULONG STDMETHODCALLTYPE sinkRelease(IDispatch *iface)
{
	Sink *sink = sinkOf(iface);
	LONG left = InterlockedDecrement(&sink->refs);
	if (left == 0) {
		// Unadvise has let go of the target before the last reference goes.
		DeleteCriticalSection(&sink->lock);
		CoTaskMemFree(sink);
	}
	return (ULONG) left;
}

static HRESULT STDMETHODCALLTYPE sinkGetTypeInfoCount(IDispatch *iface, UINT *count)
{
	(void) iface;
	if (count == NULL)
		return E_POINTER;
	*count = 0;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE sinkGetTypeInfo(IDispatch *iface, UINT index, LCID lcid, ITypeInfo **info)
{
	(void) iface;
	(void) index;
	(void) lcid;
	if (info != NULL)
		*info = NULL;
	return DISP_E_BADINDEX;
}

static HRESULT STDMETHODCALLTYPE sinkGetIDsOfNames(IDispatch *iface, REFIID riid, LPOLESTR *names, UINT count,
                                                    LCID lcid, DISPID *ids)
{
	(void) iface;
	(void) riid;
	(void) names;
	(void) lcid;
	for (UINT i = 0; ids != NULL && i < count; ++i)
		ids[i] = DISPID_UNKNOWN;
	return DISP_E_UNKNOWNNAME;
}

// An argument of the server as an owned VARIANT of the declared type; by
// reference when both the server and the declaration say so (a VARIANT
// declaration takes what comes).
static HRESULT eventArgument(VARIANTARG *arg, int32_t declared, VARIANT *value, signed char *byRef)
{
	VARTYPE base = (VARTYPE) (declared & ~VT_BYREF);
	*byRef = (signed char) ((V_VT(arg) & VT_BYREF) && ((declared & VT_BYREF) || base == VT_VARIANT));
	VariantInit(value);
	HRESULT hr = VariantCopyInd(value, arg);
	if (SUCCEEDED(hr) && base != VT_VARIANT)
		hr = coreCoerce(value, base);
	if (FAILED(hr))
		VariantClear(value);
	return hr;
}

// The VARIANT into slot i, taking its content over; a by-reference slot keeps
// VT_BYREF (a VARIANT one is a nested frame of one slot, as invoke's are).
static HRESULT eventSlot(MvFrame *frame, uint32_t i, VARIANT *value, signed char byRef)
{
	HRESULT hr;
	if (byRef < 0) {
		MvFrame *inner = mvFrameNew(1);
		hr = inner != NULL ? corePutSlot(inner, 0, value) : E_OUTOFMEMORY;
		if (SUCCEEDED(hr)) {
			frame->vts[i] = VT_BYREF | VT_VARIANT;
			frame->refs[i] = inner;
		} else {
			mvFrameFree(inner);
		}
	} else {
		hr = corePutSlot(frame, i, value);
		if (SUCCEEDED(hr) && byRef)
			frame->vts[i] |= VT_BYREF;
	}
	VariantClear(value);
	return hr;
}

// The listener's new value into what the by-reference argument points at,
// converted to the type it points at.
static HRESULT storeByRef(VARIANTARG *arg, VARIANT *value)
{
	VARTYPE to = V_VT(arg) & ~VT_BYREF;
	if (to == VT_VARIANT)
		return VariantCopy(V_VARIANTREF(arg), value);
	if (to & VT_ARRAY) {
		HRESULT hr = V_VT(value) == VT_EMPTY ? S_OK : coreCoerce(value, to);
		if (FAILED(hr))
			return hr;
		if (*V_ARRAYREF(arg) != NULL)
			SafeArrayDestroy(*V_ARRAYREF(arg));
		*V_ARRAYREF(arg) = V_VT(value) == VT_EMPTY ? NULL : V_ARRAY(value);
		V_VT(value) = VT_EMPTY;
		return S_OK;
	}
	HRESULT hr = V_VT(value) == to ? S_OK : VariantChangeType(value, value, 0, to);
	if (FAILED(hr))
		return hr;
	switch (to) {
	case VT_BSTR:
		SysFreeString(*V_BSTRREF(arg));
		*V_BSTRREF(arg) = V_BSTR(value);
		break;
	case VT_DISPATCH: case VT_UNKNOWN:
		if (*V_UNKNOWNREF(arg) != NULL)
			IUnknown_Release(*V_UNKNOWNREF(arg));
		*V_UNKNOWNREF(arg) = V_UNKNOWN(value);
		break;
	case VT_DECIMAL:
		*V_DECIMALREF(arg) = V_DECIMAL(value);
		break;
	case VT_I1: case VT_UI1: *V_UI1REF(arg) = V_UI1(value); break;
	case VT_I2: case VT_UI2: case VT_BOOL: *V_UI2REF(arg) = V_UI2(value); break;
	case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: *V_UI4REF(arg) = V_UI4(value); break;
	case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: *V_UI8REF(arg) = V_UI8(value); break;
	default:
		VariantClear(value);
		return DISP_E_TYPEMISMATCH;
	}
	V_VT(value) = VT_EMPTY;
	return S_OK;
}

static HRESULT readBack(MvFrame *frame, uint32_t i, VARIANTARG *arg)
{
	int32_t vt = frame->vts[i];
	VARIANT value;
	VariantInit(&value);
	HRESULT hr = vt == (VT_BYREF | VT_VARIANT) ? coreFromNestedFrame(frame->refs[i], &value)
	                                           : coreFromSlot(&value, vt & ~VT_BYREF, frame->bits[i], frame->refs[i]);
	if (SUCCEEDED(hr))
		hr = storeByRef(arg, &value);
	VariantClear(&value);
	return hr;
}

static void listenerFailed(EXCEPINFO *info, const WCHAR *text, UINT length)
{
	if (info == NULL)
		return;
	memset(info, 0, sizeof *info);
	info->scode = DISP_E_EXCEPTION;
	info->bstrSource = SysAllocString(L"Java event listener");
	info->bstrDescription = SysAllocStringLen(text, length);
}

static HRESULT deliver(const MvEventTarget *target, DISPID id, DISPPARAMS *params, EXCEPINFO *info, UINT *argError)
{
	uint32_t n = params->cArgs;
	int32_t localDeclared[LOCAL_ARGS];
	signed char localByRef[LOCAL_ARGS];
	VARIANT localValues[LOCAL_ARGS];
	int big = n > LOCAL_ARGS;
	int32_t *declared = big ? malloc(sizeof *declared * n) : localDeclared;
	signed char *byRef = big ? malloc(n) : localByRef;
	VARIANT *values = big ? malloc(sizeof *values * n) : localValues;
	MvFrame *frame = mvFrameNew(n);
	HRESULT hr = declared == NULL || byRef == NULL || values == NULL || frame == NULL ? E_OUTOFMEMORY : S_OK;
	if (SUCCEEDED(hr)) {
		int known = target->types(target->context, id, n, declared);
		hr = known > 0 ? S_OK : known == 0 ? DISP_E_MEMBERNOTFOUND : DISP_E_EXCEPTION;
	}
	// Every argument converts before any goes to the frame, so that a
	// mismatch leaves no reference in a frame the listener never reads.
	uint32_t converted = 0;
	for (; converted < n && SUCCEEDED(hr); ++converted) {
		hr = eventArgument(&params->rgvarg[n - 1 - converted], declared[converted], &values[converted],
		                   &byRef[converted]);
		if (FAILED(hr)) {
			if (argError != NULL)
				*argError = n - 1 - converted;
			break;
		}
		if (byRef[converted] && (declared[converted] & ~VT_BYREF) == VT_VARIANT)
			byRef[converted] = -1;
	}
	uint32_t slotted = 0;
	for (; slotted < n && SUCCEEDED(hr); ++slotted)
		hr = eventSlot(frame, slotted, &values[slotted], byRef[slotted]);
	for (uint32_t i = slotted; i < converted; ++i)
		VariantClear(&values[i]);
	if (SUCCEEDED(hr)) {
		MvString *failure = NULL;
		if (target->invoke(target->context, id, frame, &failure) != 0) {
			if (failure != NULL)
				listenerFailed(info, (const WCHAR *) failure->text, failure->length);
			else
				listenerFailed(info, L"The event did not reach its listener", 36);
			hr = DISP_E_EXCEPTION;
		}
		free(failure);
	}
	for (uint32_t i = 0; i < n && SUCCEEDED(hr); ++i)
		if (byRef[i])
			hr = readBack(frame, i, &params->rgvarg[n - 1 - i]);
	// Pointers handed to the listener are its own: only the frame's memory goes here.
	mvFrameFree(frame);
	if (big) {
		free(declared);
		free(byRef);
		free(values);
	}
	return hr;
}

static HRESULT STDMETHODCALLTYPE sinkInvoke(IDispatch *iface, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                            DISPPARAMS *params, VARIANT *result, EXCEPINFO *info, UINT *argError)
{
	(void) riid;
	(void) lcid;
	(void) flags;
	Sink *sink = sinkOf(iface);
	if (result != NULL)
		VariantInit(result);
	if (params == NULL || (params->cArgs > 0 && params->rgvarg == NULL))
		return E_INVALIDARG;
	if (params->cNamedArgs > 0)
		return DISP_E_NONAMEDARGS;
	EnterCriticalSection(&sink->lock);
	int connected = sink->connected;
	if (connected)
		++sink->deliveries;
	LeaveCriticalSection(&sink->lock);
	// After Unadvise an event still on its way is dropped.
	if (!connected)
		return S_OK;
	sinkAddRef(iface);
	HRESULT hr = deliver(&sink->target, id, params, info, argError);
	EnterCriticalSection(&sink->lock);
	int release = --sink->deliveries == 0 && sink->retired;
	if (release)
		sink->retired = 0;
	LeaveCriticalSection(&sink->lock);
	if (release)
		sink->target.release(sink->target.context);
	sinkRelease(iface);
	return hr;
}

static const IDispatchVtbl sinkVtbl = {
	sinkQueryInterface, sinkAddRef, sinkRelease, sinkGetTypeInfoCount, sinkGetTypeInfo, sinkGetIDsOfNames, sinkInvoke,
};

// Lets go of the target: now, or after the delivery under way.
static void sinkDisconnect(Sink *sink)
{
	EnterCriticalSection(&sink->lock);
	int release = sink->connected && sink->deliveries == 0;
	if (sink->connected && sink->deliveries > 0)
		sink->retired = 1;
	sink->connected = 0;
	LeaveCriticalSection(&sink->lock);
	if (release)
		sink->target.release(sink->target.context);
}

int32_t mvAdvise(uint64_t unknown, const MvString *iid, const MvEventTarget *target, uint64_t *out,
                 MvFailure *failure)
{
	WCHAR text[64] = L"";
	IID id;
	IConnectionPointContainer *container = NULL;
	Connection *connection = NULL;
	*out = 0;
	HRESULT hr = target != NULL && iid != NULL && iid->length < 64 ? S_OK : E_INVALIDARG;
	if (SUCCEEDED(hr)) {
		memcpy(text, iid->text, iid->length * sizeof(WCHAR));
		text[iid->length] = 0;
		hr = IIDFromString(text, &id);
	}
	if (SUCCEEDED(hr))
		hr = IUnknown_QueryInterface((IUnknown *) PTR(unknown), &IID_IConnectionPointContainer, (void **) &container);
	int noContainer = hr == E_NOINTERFACE;
	if (SUCCEEDED(hr)) {
		connection = CoTaskMemAlloc(sizeof *connection);
		Sink *sink = connection ? CoTaskMemAlloc(sizeof *sink) : NULL;
		if (sink == NULL) {
			CoTaskMemFree(connection);
			connection = NULL;
			hr = E_OUTOFMEMORY;
		} else {
			memset(connection, 0, sizeof *connection);
			memset(sink, 0, sizeof *sink);
			sink->iface.lpVtbl = (IDispatchVtbl *) &sinkVtbl;
			sink->refs = 1;
			sink->iid = id;
			sink->target = *target;
			sink->connected = 1;
			InitializeCriticalSection(&sink->lock);
			connection->sink = sink;
		}
	}
	if (SUCCEEDED(hr))
		hr = IConnectionPointContainer_FindConnectionPoint(container, &id, &connection->point);
	if (SUCCEEDED(hr))
		hr = IConnectionPoint_Advise(connection->point, (IUnknown *) &connection->sink->iface, &connection->cookie);
	if (container != NULL)
		IConnectionPointContainer_Release(container);
	if (FAILED(hr)) {
		if (connection != NULL) {
			if (connection->point != NULL)
				IConnectionPoint_Release(connection->point);
			// The caller keeps its target on failure.
			connection->sink->connected = 0;
			sinkRelease(&connection->sink->iface);
			CoTaskMemFree(connection);
		}
		WCHAR subject[160];
		swprintf(subject, 160, noContainer ? L"The object has no events (IConnectionPointContainer) for %ls"
		                                   : L"Connecting a listener of %ls", text);
		return coreFail(failure, hr, NULL, -1, subject);
	}
	*out = UPTR(connection);
	return S_OK;
}

void mvUnadvise(uint64_t handle)
{
	Connection *connection = PTR(handle);
	if (connection == NULL)
		return;
	// The target goes first, so that nothing reaches it once this returns,
	// whatever the server does with the sink.
	sinkDisconnect(connection->sink);
	IConnectionPoint_Unadvise(connection->point, connection->cookie);
	IConnectionPoint_Release(connection->point);
	sinkRelease(&connection->sink->iface);
	CoTaskMemFree(connection);
}
