// The events test server (bell.idl): an in-process COM object, threading
// model Both, whose connection point for DBellEvents fires during a call,
// from a posted message, and from a worker thread of its own. It counts what
// its listeners did, keeps what they wrote back, and its own references, so
// that the tests can see each from the server's side.
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>
#include <string.h>

#include "bell_ids.h"

#define MAX_SINKS 8
#define WM_RING (WM_APP + 1)

typedef struct {
	IDispatch *direct;          // in the object's apartment
	DWORD git;                  // for the worker thread
	DWORD cookie;
} SinkSlot;

typedef struct Bell {
	IDispatch dispatch;
	IConnectionPointContainer container;
	IConnectionPoint point;
	LONG refs;
	CRITICAL_SECTION lock;
	SinkSlot sinks[MAX_SINKS];
	DWORD nextCookie;
	LONG fired, failures;
	VARIANT_BOOL lastCancel;
	VARIANT lastNote;
	BSTR lastError;
	DWORD ringThread;
	HWND window;
	HANDLE worker, request, done;
	LONG requested;             // rings asked of the worker; -1 to end it
} Bell;

static LONG objects, locks;
static HINSTANCE module;
static IGlobalInterfaceTable *git;

#define BELL_OF(iface, member) ((Bell *) ((char *) (iface) - offsetof(Bell, member)))

// Firing: every connected sink gets the event; a failure is counted, its
// EXCEPINFO kept, and the next sink and the next event go on as usual.

typedef struct {
	IDispatch *sinks[MAX_SINKS];
	int count;
} Snapshot;

static void snapshot(Bell *bell, Snapshot *s, int viaGit)
{
	s->count = 0;
	EnterCriticalSection(&bell->lock);
	for (int i = 0; i < MAX_SINKS; ++i) {
		if (bell->sinks[i].direct == NULL)
			continue;
		IDispatch *sink = NULL;
		if (viaGit)
			IGlobalInterfaceTable_GetInterfaceFromGlobal(git, bell->sinks[i].git, &IID_IDispatch, (void **) &sink);
		else {
			sink = bell->sinks[i].direct;
			IDispatch_AddRef(sink);
		}
		if (sink != NULL)
			s->sinks[s->count++] = sink;
	}
	LeaveCriticalSection(&bell->lock);
}

static void fire(Bell *bell, Snapshot *s, DISPID id, VARIANTARG *args, UINT count)
{
	for (int i = 0; i < s->count; ++i) {
		DISPPARAMS params = {args, NULL, count, 0};
		EXCEPINFO info;
		memset(&info, 0, sizeof info);
		UINT argError = 0;
		HRESULT hr = IDispatch_Invoke(s->sinks[i], id, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, NULL,
		                              &info, &argError);
		if (SUCCEEDED(hr)) {
			InterlockedIncrement(&bell->fired);
		} else {
			InterlockedIncrement(&bell->failures);
			EnterCriticalSection(&bell->lock);
			SysFreeString(bell->lastError);
			bell->lastError = info.bstrDescription;
			info.bstrDescription = NULL;
			LeaveCriticalSection(&bell->lock);
		}
		SysFreeString(info.bstrDescription);
		SysFreeString(info.bstrSource);
		SysFreeString(info.bstrHelpFile);
	}
}

static void release(Snapshot *s)
{
	for (int i = 0; i < s->count; ++i)
		IDispatch_Release(s->sinks[i]);
}

// Ring(count, text, source) args last first.
static void ring(Bell *bell, Snapshot *s, LONG times)
{
	for (LONG k = 1; k <= times; ++k) {
		VARIANTARG args[3];
		V_VT(&args[0]) = VT_DISPATCH;
		V_DISPATCH(&args[0]) = &bell->dispatch;
		V_VT(&args[1]) = VT_BSTR;
		V_BSTR(&args[1]) = SysAllocString(L"ring \x00e9\x6771");
		V_VT(&args[2]) = VT_I4;
		V_I4(&args[2]) = k;
		fire(bell, s, 1, args, 3);
		SysFreeString(V_BSTR(&args[1]));
	}
	VARIANTARG total;
	V_VT(&total) = VT_I4;
	V_I4(&total) = times;
	fire(bell, s, 3, &total, 1);
}

static LONG ask(Bell *bell, Snapshot *s, LONG start)
{
	LONG answer = start;
	VARIANT_BOOL cancel = VARIANT_FALSE;
	VARIANT note;
	V_VT(&note) = VT_BSTR;
	V_BSTR(&note) = SysAllocString(L"note");
	VARIANTARG args[4];
	V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
	V_VARIANTREF(&args[0]) = &note;
	V_VT(&args[1]) = VT_BYREF | VT_BOOL;
	V_BOOLREF(&args[1]) = &cancel;
	V_VT(&args[2]) = VT_BYREF | VT_I4;
	V_I4REF(&args[2]) = &answer;
	V_VT(&args[3]) = VT_BSTR;
	V_BSTR(&args[3]) = SysAllocString(L"Cancel?");
	fire(bell, s, 2, args, 4);
	SysFreeString(V_BSTR(&args[3]));
	EnterCriticalSection(&bell->lock);
	bell->lastCancel = cancel;
	VariantClear(&bell->lastNote);
	bell->lastNote = note;
	LeaveCriticalSection(&bell->lock);
	return answer;
}

static void stamp(Bell *bell, Snapshot *s)
{
	SAFEARRAYBOUND bound = {3, 0};
	SAFEARRAY *numbers = SafeArrayCreate(VT_I4, 1, &bound);
	for (LONG k = 0; k < 3; ++k) {
		LONG value = (k + 1) * 10;
		SafeArrayPutElement(numbers, &k, &value);
	}
	VARIANTARG args[3];
	V_VT(&args[0]) = VT_ARRAY | VT_I4;
	V_ARRAY(&args[0]) = numbers;
	V_VT(&args[1]) = VT_I2;
	V_I2(&args[1]) = 7;
	V_VT(&args[2]) = VT_DATE;
	V_DATE(&args[2]) = 45000.5;   // 2023-03-15 12:00
	fire(bell, s, 4, args, 3);
	SafeArrayDestroy(numbers);
}

// Ring with a count no listener can take as a number.
static void ringBadly(Bell *bell, Snapshot *s)
{
	VARIANTARG args[3];
	V_VT(&args[0]) = VT_DISPATCH;
	V_DISPATCH(&args[0]) = &bell->dispatch;
	V_VT(&args[1]) = VT_BSTR;
	V_BSTR(&args[1]) = SysAllocString(L"bad");
	V_VT(&args[2]) = VT_BSTR;
	V_BSTR(&args[2]) = SysAllocString(L"not a number");
	fire(bell, s, 1, args, 3);
	SysFreeString(V_BSTR(&args[1]));
	SysFreeString(V_BSTR(&args[2]));
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
	if (message == WM_RING) {
		Bell *bell = (Bell *) lparam;
		Snapshot s;
		snapshot(bell, &s, 0);
		ring(bell, &s, (LONG) wparam);
		release(&s);
		IDispatch_Release(&bell->dispatch);
		return 0;
	}
	return DefWindowProcW(window, message, wparam, lparam);
}

// The worker: a thread of the multithreaded apartment that stays for the
// object's life, so that every ring from it comes from the same thread.
static DWORD WINAPI workerBody(void *arg)
{
	Bell *bell = arg;
	CoInitializeEx(NULL, COINIT_MULTITHREADED);
	for (;;) {
		WaitForSingleObject(bell->request, INFINITE);
		LONG times = bell->requested;
		if (times < 0)
			break;
		bell->ringThread = GetCurrentThreadId();
		Snapshot s;
		snapshot(bell, &s, 1);
		ring(bell, &s, times);
		ask(bell, &s, times);
		release(&s);
		SetEvent(bell->done);
	}
	CoUninitialize();
	return 0;
}

// IDispatch: the DBell members by DISPID.

static HRESULT argI4(DISPPARAMS *params, UINT index, LONG *out)
{
	if (params->cArgs <= index)
		return DISP_E_BADPARAMCOUNT;
	VARIANT v;
	VariantInit(&v);
	HRESULT hr = VariantChangeType(&v, &params->rgvarg[params->cArgs - 1 - index], 0, VT_I4);
	if (SUCCEEDED(hr))
		*out = V_I4(&v);
	return hr;
}

static HRESULT STDMETHODCALLTYPE bellQueryInterface(IDispatch *iface, REFIID riid, void **out)
{
	Bell *bell = BELL_OF(iface, dispatch);
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, &DIID_DBell))
		*out = &bell->dispatch;
	else if (IsEqualIID(riid, &IID_IConnectionPointContainer))
		*out = &bell->container;
	else {
		*out = NULL;
		return E_NOINTERFACE;
	}
	InterlockedIncrement(&bell->refs);
	return S_OK;
}

static ULONG STDMETHODCALLTYPE bellAddRef(IDispatch *iface)
{
	return (ULONG) InterlockedIncrement(&BELL_OF(iface, dispatch)->refs);
}

static ULONG STDMETHODCALLTYPE bellRelease(IDispatch *iface)
{
	Bell *bell = BELL_OF(iface, dispatch);
	LONG left = InterlockedDecrement(&bell->refs);
	if (left != 0)
		return (ULONG) left;
	if (bell->worker != NULL) {
		bell->requested = -1;
		SetEvent(bell->request);
		// The worker's CoUninitialize may need this apartment: wait pumping.
		DWORD index;
		CoWaitForMultipleHandles(0, INFINITE, 1, &bell->worker, &index);
		CloseHandle(bell->worker);
	}
	if (bell->request)
		CloseHandle(bell->request);
	if (bell->done)
		CloseHandle(bell->done);
	for (int i = 0; i < MAX_SINKS; ++i)
		if (bell->sinks[i].direct != NULL) {
			IGlobalInterfaceTable_RevokeInterfaceFromGlobal(git, bell->sinks[i].git);
			IDispatch_Release(bell->sinks[i].direct);
		}
	if (bell->window)
		DestroyWindow(bell->window);
	VariantClear(&bell->lastNote);
	SysFreeString(bell->lastError);
	DeleteCriticalSection(&bell->lock);
	HeapFree(GetProcessHeap(), 0, bell);
	InterlockedDecrement(&objects);
	return 0;
}

static HRESULT STDMETHODCALLTYPE bellGetTypeInfoCount(IDispatch *iface, UINT *count)
{
	(void) iface;
	*count = 0;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE bellGetTypeInfo(IDispatch *iface, UINT index, LCID lcid, ITypeInfo **info)
{
	(void) iface;
	(void) index;
	(void) lcid;
	*info = NULL;
	return DISP_E_BADINDEX;
}

static HRESULT STDMETHODCALLTYPE bellGetIDsOfNames(IDispatch *iface, REFIID riid, LPOLESTR *names, UINT count,
                                                   LCID lcid, DISPID *ids)
{
	(void) iface;
	(void) riid;
	(void) names;
	(void) lcid;
	for (UINT i = 0; i < count; ++i)
		ids[i] = DISPID_UNKNOWN;
	return DISP_E_UNKNOWNNAME;
}

// A chime: an ILoudChime that gives no type information, so that only
// QueryInterface tells what it is.

typedef struct ChimeVtbl {
	IDispatchVtbl base;
	HRESULT (STDMETHODCALLTYPE *getTone)(IDispatch *iface, LONG *tone);
	HRESULT (STDMETHODCALLTYPE *getVolume)(IDispatch *iface, LONG *volume);
} ChimeVtbl;

typedef struct {
	const ChimeVtbl *lpVtbl;
	LONG refs;
} Chime;

static HRESULT STDMETHODCALLTYPE chimeQueryInterface(IDispatch *iface, REFIID riid, void **out)
{
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, &IID_IChime) ||
	    IsEqualIID(riid, &IID_ILoudChime)) {
		*out = iface;
		InterlockedIncrement(&((Chime *) iface)->refs);
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE chimeAddRef(IDispatch *iface)
{
	return (ULONG) InterlockedIncrement(&((Chime *) iface)->refs);
}

static ULONG STDMETHODCALLTYPE chimeRelease(IDispatch *iface)
{
	LONG left = InterlockedDecrement(&((Chime *) iface)->refs);
	if (left == 0) {
		HeapFree(GetProcessHeap(), 0, iface);
		InterlockedDecrement(&objects);
	}
	return (ULONG) left;
}

static HRESULT STDMETHODCALLTYPE chimeGetTone(IDispatch *iface, LONG *tone)
{
	(void) iface;
	*tone = 440;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE chimeGetVolume(IDispatch *iface, LONG *volume)
{
	(void) iface;
	*volume = 11;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE chimeInvoke(IDispatch *iface, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                             DISPPARAMS *params, VARIANT *result, EXCEPINFO *info, UINT *argError)
{
	(void) riid;
	(void) lcid;
	(void) params;
	(void) info;
	(void) argError;
	if (!(flags & DISPATCH_PROPERTYGET) || (id != 1 && id != 2) || result == NULL)
		return DISP_E_MEMBERNOTFOUND;
	V_VT(result) = VT_I4;
	return id == 1 ? chimeGetTone(iface, &V_I4(result)) : chimeGetVolume(iface, &V_I4(result));
}

static const ChimeVtbl chimeVtbl = {
	{chimeQueryInterface, chimeAddRef, chimeRelease, bellGetTypeInfoCount, bellGetTypeInfo, bellGetIDsOfNames,
	 chimeInvoke},
	chimeGetTone, chimeGetVolume,
};

static IDispatch *newChime(void)
{
	Chime *chime = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *chime);
	if (chime == NULL)
		return NULL;
	chime->lpVtbl = &chimeVtbl;
	chime->refs = 1;
	InterlockedIncrement(&objects);
	return (IDispatch *) chime;
}

static HRESULT STDMETHODCALLTYPE bellInvoke(IDispatch *iface, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                            DISPPARAMS *params, VARIANT *result, EXCEPINFO *info, UINT *argError)
{
	(void) riid;
	(void) lcid;
	(void) info;
	(void) argError;
	Bell *bell = BELL_OF(iface, dispatch);
	VARIANT ignored;
	if (result == NULL)
		result = &ignored;
	VariantInit(result);
	LONG n = 0;
	HRESULT hr = S_OK;
	Snapshot s;
	if ((flags & DISPATCH_PROPERTYGET) && id >= 5 && id <= 14 && id != 12 && id != 13) {
		EnterCriticalSection(&bell->lock);
		V_VT(result) = VT_I4;
		switch (id) {
		case 5: V_I4(result) = bell->fired; break;
		case 6: V_I4(result) = bell->failures; break;
		case 7:
			for (int i = 0; i < MAX_SINKS; ++i)
				n += bell->sinks[i].direct != NULL;
			V_I4(result) = n;
			break;
		case 8: V_VT(result) = VT_BOOL; V_BOOL(result) = bell->lastCancel; break;
		case 9: hr = VariantCopy(result, &bell->lastNote); break;
		case 10: V_VT(result) = VT_BSTR; V_BSTR(result) = SysAllocString(bell->lastError ? bell->lastError : L""); break;
		case 11: V_I4(result) = (LONG) bell->ringThread; break;
		case 14: V_I4(result) = bell->refs; break;
		default: hr = DISP_E_MEMBERNOTFOUND; break;
		}
		LeaveCriticalSection(&bell->lock);
		return hr;
	}
	if (!(flags & DISPATCH_METHOD))
		return DISP_E_MEMBERNOTFOUND;
	switch (id) {
	case 1:
		if (FAILED(hr = argI4(params, 0, &n)))
			return hr;
		snapshot(bell, &s, 0);
		ring(bell, &s, n);
		release(&s);
		return S_OK;
	case 2:
		if (FAILED(hr = argI4(params, 0, &n)))
			return hr;
		snapshot(bell, &s, 0);
		V_VT(result) = VT_I4;
		V_I4(result) = ask(bell, &s, n);
		release(&s);
		return S_OK;
	case 3:
		if (FAILED(hr = argI4(params, 0, &n)))
			return hr;
		if (bell->window == NULL)
			return E_UNEXPECTED;
		IDispatch_AddRef(&bell->dispatch);
		PostMessageW(bell->window, WM_RING, (WPARAM) n, (LPARAM) bell);
		return S_OK;
	case 4:
		if (FAILED(hr = argI4(params, 0, &n)))
			return hr;
		if (bell->worker == NULL) {
			bell->request = CreateEventW(NULL, FALSE, FALSE, NULL);
			bell->done = CreateEventW(NULL, FALSE, FALSE, NULL);
			bell->worker = CreateThread(NULL, 0, workerBody, bell, 0, NULL);
		}
		bell->requested = n;
		SetEvent(bell->request);
		return S_OK;
	case 12:
		snapshot(bell, &s, 0);
		stamp(bell, &s);
		release(&s);
		return S_OK;
	case 13:
		snapshot(bell, &s, 0);
		ringBadly(bell, &s);
		release(&s);
		return S_OK;
	case 15:
		V_VT(result) = VT_DISPATCH;
		V_DISPATCH(result) = newChime();
		return V_DISPATCH(result) != NULL ? S_OK : E_OUTOFMEMORY;
	default:
		return DISP_E_MEMBERNOTFOUND;
	}
}

static const IDispatchVtbl bellVtbl = {
	bellQueryInterface, bellAddRef, bellRelease, bellGetTypeInfoCount, bellGetTypeInfo, bellGetIDsOfNames, bellInvoke,
};

// IConnectionPointContainer and the one IConnectionPoint.

static HRESULT STDMETHODCALLTYPE containerQueryInterface(IConnectionPointContainer *iface, REFIID riid, void **out)
{
	return bellQueryInterface(&BELL_OF(iface, container)->dispatch, riid, out);
}

static ULONG STDMETHODCALLTYPE containerAddRef(IConnectionPointContainer *iface)
{
	return bellAddRef(&BELL_OF(iface, container)->dispatch);
}

static ULONG STDMETHODCALLTYPE containerRelease(IConnectionPointContainer *iface)
{
	return bellRelease(&BELL_OF(iface, container)->dispatch);
}

static HRESULT STDMETHODCALLTYPE containerEnum(IConnectionPointContainer *iface, IEnumConnectionPoints **out)
{
	(void) iface;
	*out = NULL;
	return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE containerFind(IConnectionPointContainer *iface, REFIID riid, IConnectionPoint **out)
{
	Bell *bell = BELL_OF(iface, container);
	if (out == NULL)
		return E_POINTER;
	if (!IsEqualIID(riid, &DIID_DBellEvents)) {
		*out = NULL;
		return CONNECT_E_NOCONNECTION;
	}
	*out = &bell->point;
	bellAddRef(&bell->dispatch);
	return S_OK;
}

static const IConnectionPointContainerVtbl containerVtbl = {
	containerQueryInterface, containerAddRef, containerRelease, containerEnum, containerFind,
};

static HRESULT STDMETHODCALLTYPE pointQueryInterface(IConnectionPoint *iface, REFIID riid, void **out)
{
	Bell *bell = BELL_OF(iface, point);
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IConnectionPoint)) {
		*out = iface;
		bellAddRef(&bell->dispatch);
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE pointAddRef(IConnectionPoint *iface)
{
	return bellAddRef(&BELL_OF(iface, point)->dispatch);
}

static ULONG STDMETHODCALLTYPE pointRelease(IConnectionPoint *iface)
{
	return bellRelease(&BELL_OF(iface, point)->dispatch);
}

static HRESULT STDMETHODCALLTYPE pointGetInterface(IConnectionPoint *iface, IID *iid)
{
	(void) iface;
	*iid = DIID_DBellEvents;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE pointGetContainer(IConnectionPoint *iface, IConnectionPointContainer **out)
{
	Bell *bell = BELL_OF(iface, point);
	*out = &bell->container;
	bellAddRef(&bell->dispatch);
	return S_OK;
}

// As servers do: the sink must answer the source interface.
static HRESULT STDMETHODCALLTYPE pointAdvise(IConnectionPoint *iface, IUnknown *unknown, DWORD *cookie)
{
	Bell *bell = BELL_OF(iface, point);
	if (unknown == NULL || cookie == NULL)
		return E_POINTER;
	*cookie = 0;
	IDispatch *sink = NULL;
	if (FAILED(IUnknown_QueryInterface(unknown, &DIID_DBellEvents, (void **) &sink)))
		return CONNECT_E_CANNOTCONNECT;
	HRESULT hr = CONNECT_E_ADVISELIMIT;
	EnterCriticalSection(&bell->lock);
	for (int i = 0; i < MAX_SINKS; ++i) {
		if (bell->sinks[i].direct != NULL)
			continue;
		hr = IGlobalInterfaceTable_RegisterInterfaceInGlobal(git, (IUnknown *) sink, &IID_IDispatch, &bell->sinks[i].git);
		if (FAILED(hr))
			break;
		bell->sinks[i].direct = sink;
		bell->sinks[i].cookie = *cookie = ++bell->nextCookie;
		sink = NULL;
		break;
	}
	LeaveCriticalSection(&bell->lock);
	if (sink != NULL)
		IDispatch_Release(sink);
	return hr;
}

static HRESULT STDMETHODCALLTYPE pointUnadvise(IConnectionPoint *iface, DWORD cookie)
{
	Bell *bell = BELL_OF(iface, point);
	IDispatch *sink = NULL;
	DWORD entry = 0;
	EnterCriticalSection(&bell->lock);
	for (int i = 0; i < MAX_SINKS; ++i)
		if (bell->sinks[i].direct != NULL && bell->sinks[i].cookie == cookie) {
			sink = bell->sinks[i].direct;
			entry = bell->sinks[i].git;
			bell->sinks[i].direct = NULL;
		}
	LeaveCriticalSection(&bell->lock);
	if (sink == NULL)
		return CONNECT_E_NOCONNECTION;
	IGlobalInterfaceTable_RevokeInterfaceFromGlobal(git, entry);
	IDispatch_Release(sink);
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE pointEnum(IConnectionPoint *iface, IEnumConnections **out)
{
	(void) iface;
	*out = NULL;
	return E_NOTIMPL;
}

static const IConnectionPointVtbl pointVtbl = {
	pointQueryInterface, pointAddRef, pointRelease, pointGetInterface, pointGetContainer, pointAdvise, pointUnadvise,
	pointEnum,
};

// The class factory and the exports.

static HRESULT createBell(REFIID riid, void **out)
{
	if (git == NULL) {
		IGlobalInterfaceTable *table = NULL;
		HRESULT hr = CoCreateInstance(&CLSID_StdGlobalInterfaceTable, NULL, CLSCTX_INPROC_SERVER,
		                              &IID_IGlobalInterfaceTable, (void **) &table);
		if (FAILED(hr))
			return hr;
		if (InterlockedCompareExchangePointer((void **) &git, table, NULL) != NULL)
			IGlobalInterfaceTable_Release(table);
	}
	Bell *bell = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *bell);
	if (bell == NULL)
		return E_OUTOFMEMORY;
	bell->dispatch.lpVtbl = (IDispatchVtbl *) &bellVtbl;
	bell->container.lpVtbl = (IConnectionPointContainerVtbl *) &containerVtbl;
	bell->point.lpVtbl = (IConnectionPointVtbl *) &pointVtbl;
	bell->refs = 1;
	InitializeCriticalSection(&bell->lock);
	VariantInit(&bell->lastNote);
	APTTYPE type;
	APTTYPEQUALIFIER qualifier;
	// Posted rings need a window and a message loop: objects of a single-threaded apartment only.
	if (SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA))
		bell->window = CreateWindowExW(0, L"MivraBellWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, module, NULL);
	InterlockedIncrement(&objects);
	HRESULT hr = bellQueryInterface(&bell->dispatch, riid, out);
	bellRelease(&bell->dispatch);
	return hr;
}

static HRESULT STDMETHODCALLTYPE factoryQueryInterface(IClassFactory *iface, REFIID riid, void **out)
{
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IClassFactory)) {
		*out = iface;
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE factoryAddRef(IClassFactory *iface)
{
	(void) iface;
	return 2;
}

static ULONG STDMETHODCALLTYPE factoryRelease(IClassFactory *iface)
{
	(void) iface;
	return 1;
}

static HRESULT STDMETHODCALLTYPE factoryCreate(IClassFactory *iface, IUnknown *outer, REFIID riid, void **out)
{
	(void) iface;
	*out = NULL;
	return outer != NULL ? CLASS_E_NOAGGREGATION : createBell(riid, out);
}

static HRESULT STDMETHODCALLTYPE factoryLock(IClassFactory *iface, BOOL lock)
{
	(void) iface;
	if (lock)
		InterlockedIncrement(&locks);
	else
		InterlockedDecrement(&locks);
	return S_OK;
}

static const IClassFactoryVtbl factoryVtbl = {
	factoryQueryInterface, factoryAddRef, factoryRelease, factoryCreate, factoryLock,
};
static IClassFactory factory = {(IClassFactoryVtbl *) &factoryVtbl};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved)
{
	(void) reserved;
	if (reason == DLL_PROCESS_ATTACH) {
		module = instance;
		DisableThreadLibraryCalls(instance);
		WNDCLASSW wc;
		memset(&wc, 0, sizeof wc);
		wc.lpfnWndProc = windowProc;
		wc.hInstance = instance;
		wc.lpszClassName = L"MivraBellWindow";
		RegisterClassW(&wc);
	}
	return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void **out)
{
	if (!IsEqualCLSID(clsid, &CLSID_Bell)) {
		*out = NULL;
		return CLASS_E_CLASSNOTAVAILABLE;
	}
	return factoryQueryInterface(&factory, riid, out);
}

HRESULT WINAPI DllCanUnloadNow(void)
{
	return objects == 0 && locks == 0 ? S_OK : S_FALSE;
}

static LONG setKey(const WCHAR *path, const WCHAR *name, const WCHAR *value)
{
	HKEY key;
	LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
	if (rc != ERROR_SUCCESS)
		return rc;
	rc = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *) value, (DWORD) (sizeof(WCHAR) * (wcslen(value) + 1)));
	RegCloseKey(key);
	return rc;
}

#define CLSID_KEY L"CLSID\\" BELL_CLSID_TEXT

HRESULT WINAPI DllRegisterServer(void)
{
	WCHAR path[MAX_PATH];
	if (GetModuleFileNameW(module, path, MAX_PATH) == 0)
		return E_FAIL;
	if (setKey(CLSID_KEY, NULL, L"Mivra events test bell") || setKey(CLSID_KEY L"\\InprocServer32", NULL, path) ||
	    setKey(CLSID_KEY L"\\InprocServer32", L"ThreadingModel", L"Both") ||
	    setKey(CLSID_KEY L"\\ProgID", NULL, L"Mivra.Bell") || setKey(L"Mivra.Bell\\CLSID", NULL, BELL_CLSID_TEXT))
		return SELFREG_E_CLASS;
	return S_OK;
}

HRESULT WINAPI DllUnregisterServer(void)
{
	RegDeleteTreeW(HKEY_CLASSES_ROOT, CLSID_KEY);
	RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Mivra.Bell");
	return S_OK;
}
