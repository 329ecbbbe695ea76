// The core's operations: joining COM, creating and finding objects,
// QueryInterface, names, Invoke, enumeration, the message pump; failures
// turned into what MivraException carries.
#include "core_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define TEXT_SIZE 1024

void coreFreeExcepInfo(EXCEPINFO *info)
{
	// Nearly always empty: a call into oleaut32 per field would cost a
	// successful call more than its own conversions.
	if (info->bstrSource == NULL && info->bstrDescription == NULL && info->bstrHelpFile == NULL)
		return;
	SysFreeString(info->bstrSource);
	SysFreeString(info->bstrDescription);
	SysFreeString(info->bstrHelpFile);
	info->bstrSource = info->bstrDescription = info->bstrHelpFile = NULL;
}

static MvString *optionalString(BSTR text)
{
	return text != NULL && SysStringLen(text) > 0 ? coreString(text, SysStringLen(text)) : NULL;
}

// What swprintf wrote, 0 when it failed: a subject longer than the buffer
// (a name from the caller, say) makes it return -1, never a length.
static size_t written(int n, size_t room)
{
	return n > 0 && (size_t) n < room ? (size_t) n : 0;
}

HRESULT coreFail(MvFailure *failure, HRESULT hr, EXCEPINFO *info, int argIndex, const WCHAR *subject)
{
	int code = 0;
	BSTR source = NULL, description = NULL, helpFile = NULL;
	DWORD context = 0;
	if (info != NULL) {
		if (info->pfnDeferredFillIn != NULL)
			info->pfnDeferredFillIn(info);
		code = info->scode != 0 ? (int) info->scode : (int) info->wCode;
		source = info->bstrSource;
		description = info->bstrDescription;
		helpFile = info->bstrHelpFile;
		context = info->dwHelpContext;
		info->bstrSource = info->bstrDescription = info->bstrHelpFile = NULL;
	}
	if (failure != NULL) {
		WCHAR text[TEXT_SIZE];
		text[0] = 0;
		size_t used = 0;
		if (subject != NULL)
			used = written(swprintf(text, TEXT_SIZE, L"%.900ls: ", subject), TEXT_SIZE);
		if (description != NULL && SysStringLen(description) > 0) {
			size_t room = TEXT_SIZE - used;
			size_t n = SysStringLen(description) < room - 1 ? SysStringLen(description) : room - 1;
			memcpy(text + used, description, n * sizeof(WCHAR));
			text[used + n] = 0;
		} else {
			HRESULT textCode = info != NULL && info->scode != 0 ? info->scode : hr;
			DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, (DWORD) textCode,
			                         0, text + used, (DWORD) (TEXT_SIZE - used), NULL);
			while (n > 0 && (text[used + n - 1] == L'\n' || text[used + n - 1] == L'\r'))
				text[used + --n] = 0;
			if (n == 0)
				swprintf(text + used, TEXT_SIZE - used, L"0x%08lX", (unsigned long) textCode);
		}
		mvFailureClear(failure);
		failure->hr = hr;
		failure->code = code;
		failure->helpContext = (int32_t) context;
		failure->argIndex = argIndex;
		failure->message = coreString(text, (UINT) wcslen(text));
		failure->source = optionalString(source);
		failure->description = optionalString(description);
		failure->helpFile = optionalString(helpFile);
	}
	SysFreeString(source);
	SysFreeString(description);
	SysFreeString(helpFile);
	return hr;
}

int32_t mvInitThread(int multithreaded, int *inMultithreaded, MvFailure *failure)
{
	HRESULT hr = multithreaded ? CoInitializeEx(NULL, COINIT_MULTITHREADED) : OleInitialize(NULL);
	if (hr == RPC_E_CHANGED_MODE) {
		*inMultithreaded = !multithreaded;
		return S_OK;
	}
	*inMultithreaded = multithreaded && SUCCEEDED(hr);
	return FAILED(hr) ? coreFail(failure, hr, NULL, -1, L"Joining COM") : S_OK;
}

// A name or IID as a terminated string.
static HRESULT terminated(const MvString *s, WCHAR **out)
{
	*out = NULL;
	if (s == NULL)
		return E_INVALIDARG;
	WCHAR *text = malloc(((size_t) s->length + 1) * sizeof(WCHAR));
	if (text == NULL)
		return E_OUTOFMEMORY;
	memcpy(text, s->text, (size_t) s->length * sizeof(WCHAR));
	text[s->length] = 0;
	*out = text;
	return S_OK;
}

int32_t mvCreate(const MvString *classId, int find, uint64_t *dispatch, MvFailure *failure)
{
	CLSID clsid;
	WCHAR *name = NULL;
	IDispatch *disp = NULL;
	HRESULT hr = terminated(classId, &name);
	if (SUCCEEDED(hr))
		hr = name[0] == L'{' ? CLSIDFromString(name, &clsid) : CLSIDFromProgID(name, &clsid);
	if (SUCCEEDED(hr)) {
		if (find) {
			IUnknown *unknown = NULL;
			hr = GetActiveObject(&clsid, NULL, &unknown);
			if (SUCCEEDED(hr)) {
				hr = IUnknown_QueryInterface(unknown, &IID_IDispatch, (void **) &disp);
				IUnknown_Release(unknown);
			}
		} else {
			hr = CoCreateInstance(&clsid, NULL, CLSCTX_SERVER, &IID_IDispatch, (void **) &disp);
		}
	}
	if (FAILED(hr)) {
		WCHAR subject[300];
		swprintf(subject, 300, L"%ls \"%.250ls\"", find ? L"No running object" : L"Cannot create", name ? name : L"");
		coreFail(failure, hr, NULL, -1, subject);
		disp = NULL;
	}
	free(name);
	*dispatch = UPTR(disp);
	return hr;
}

int32_t mvQueryInterface(uint64_t unknown, const MvString *iid, uint64_t *found, MvFailure *failure)
{
	WCHAR *text = NULL;
	IID id;
	void *result = NULL;
	HRESULT hr = terminated(iid, &text);
	if (SUCCEEDED(hr))
		hr = IIDFromString(text, &id);
	if (SUCCEEDED(hr))
		hr = IUnknown_QueryInterface((IUnknown *) PTR(unknown), &id, &result);
	if (hr == E_NOINTERFACE) {
		result = NULL;
		hr = S_OK;
	} else if (FAILED(hr)) {
		coreFail(failure, hr, NULL, -1, text ? text : L"QueryInterface");
	}
	free(text);
	*found = UPTR(result);
	return hr;
}

void mvRelease(uint64_t unknown)
{
	if (unknown != 0)
		IUnknown_Release((IUnknown *) PTR(unknown));
}

void mvAddRef(uint64_t unknown)
{
	if (unknown != 0)
		IUnknown_AddRef((IUnknown *) PTR(unknown));
}

int32_t mvDispIdOf(uint64_t dispatch, const MvString *name, int32_t *dispId, MvFailure *failure)
{
	WCHAR *text = NULL;
	DISPID id = DISPID_UNKNOWN;
	HRESULT hr = terminated(name, &text);
	if (SUCCEEDED(hr))
		hr = IDispatch_GetIDsOfNames((IDispatch *) PTR(dispatch), &IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &id);
	if (FAILED(hr))
		coreFail(failure, hr, NULL, -1, text ? text : L"GetIDsOfNames");
	free(text);
	*dispId = id;
	return hr;
}

void clearArgument(int32_t vt, VARIANTARG *arg, ByRefStore *store)
{
	if (vt & VT_BYREF) {
		if ((vt & ~VT_BYREF) != VT_DECIMAL)
			VariantClear(&store->variant);
		V_VT(arg) = VT_EMPTY;
	} else {
		coreClearVariant(arg);
	}
}

HRESULT prepareArgument(int32_t vt, int64_t bits, void *ref, VARIANTARG *arg, ByRefStore *store)
{
	V_VT(arg) = VT_EMPTY;
	V_VT(&store->variant) = VT_EMPTY;
	if (!(vt & VT_BYREF))
		return coreFromSlot(arg, vt, bits, ref);
	int32_t base = vt & ~VT_BYREF;
	HRESULT hr;
	if (base == VT_VARIANT) {
		hr = coreFromNestedFrame(ref, &store->variant);
		if (FAILED(hr))
			return hr;
		V_VT(arg) = VT_BYREF | VT_VARIANT;
		V_VARIANTREF(arg) = &store->variant;
		return S_OK;
	}
	if (base & VT_BYREF)
		return DISP_E_BADVARTYPE;
	hr = coreFromSlot(&store->variant, base, bits, ref);
	if (FAILED(hr))
		return hr;
	V_VT(arg) = (VARTYPE) vt;
	if (base == VT_DECIMAL) {
		DECIMAL d = V_DECIMAL(&store->variant);
		store->decimal = d;
		V_DECIMALREF(arg) = &store->decimal;
	} else {
		V_BYREF(arg) = &V_UI1(&store->variant);
	}
	return S_OK;
}

// The new value of by-reference slot i: a VARIANT one stays VT_BYREF with its
// nested frame updated; others lose VT_BYREF.
HRESULT returnArgument(MvFrame *frame, uint32_t i, int32_t vt, ByRefStore *store)
{
	int32_t base = vt & ~VT_BYREF;
	if (base == VT_VARIANT)
		return corePutSlot(frame->refs[i], 0, &store->variant);
	if (base == VT_DECIMAL) {
		DECIMAL d = store->decimal;
		V_DECIMAL(&store->variant) = d;
	}
	V_VT(&store->variant) = (VARTYPE) base;
	return corePutSlot(frame, i, &store->variant);
}

int32_t mvInvoke(uint64_t dispatch, int32_t dispId, int32_t flags, int32_t resultVt, MvFrame *frame,
                 MvFailure *failure)
{
	if (frame == NULL || frame->count < 1)
		return coreFail(failure, E_INVALIDARG, NULL, -1, L"invoke");
	uint32_t n = frame->count - 1;
	int32_t localKinds[LOCAL_ARGS];
	VARIANTARG localArgs[LOCAL_ARGS];
	ByRefStore localStores[LOCAL_ARGS];
	int32_t *kinds = localKinds;
	VARIANTARG *args = localArgs;
	ByRefStore *stores = localStores;
	if (n > LOCAL_ARGS) {
		kinds = malloc(sizeof *kinds * n);
		args = malloc(sizeof *args * n);
		stores = malloc(sizeof *stores * n);
		if (!kinds || !args || !stores) {
			free(kinds);
			free(args);
			free(stores);
			return coreFail(failure, E_OUTOFMEMORY, NULL, -1, NULL);
		}
	}
	// rgvarg holds the arguments last first; the argument kinds are kept for
	// the clean-up, the slots get the new values.
	HRESULT hr = S_OK;
	uint32_t prepared = 0;
	for (; prepared < n; ++prepared) {
		uint32_t i = prepared;
		kinds[i] = frame->vts[i];
		hr = prepareArgument(frame->vts[i], frame->bits[i], frame->refs[i], &args[n - 1 - i], &stores[i]);
		if (FAILED(hr))
			break;
	}
	VARIANT result;
	V_VT(&result) = VT_EMPTY;
	EXCEPINFO info;
	memset(&info, 0, sizeof info);
	UINT argError = (UINT) -1;
	int argIndex = -1;
	if (SUCCEEDED(hr) && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && n == 0)
		hr = DISP_E_PARAMNOTFOUND;
	if (SUCCEEDED(hr)) {
		DISPID named = DISPID_PROPERTYPUT;
		DISPPARAMS params = {args, NULL, (UINT) n, 0};
		if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
			params.rgdispidNamedArgs = &named;
			params.cNamedArgs = 1;
		}
		hr = IDispatch_Invoke((IDispatch *) PTR(dispatch), dispId, &IID_NULL, LOCALE_USER_DEFAULT, (WORD) flags,
		                      &params, &result, &info, &argError);
		if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argError < (UINT) n)
			argIndex = (int) (n - 1 - argError);
		if (SUCCEEDED(hr))
			coreFreeExcepInfo(&info);
	}
	if (SUCCEEDED(hr)) {
		for (uint32_t i = 0; i < n && SUCCEEDED(hr); ++i)
			if (kinds[i] & VT_BYREF)
				hr = returnArgument(frame, i, kinds[i], &stores[i]);
		if (SUCCEEDED(hr)) {
			if (resultVt == VT_EMPTY) {
				coreClearVariant(&result);
				mvSlotClear(frame, n);
			} else {
				hr = coreCoerce(&result, (VARTYPE) resultVt);
				if (SUCCEEDED(hr))
					hr = corePutSlot(frame, n, &result);
				if (SUCCEEDED(hr))
					hr = coreResultIid(frame, n, resultVt);
			}
		}
	}
	for (uint32_t i = 0; i < prepared; ++i)
		clearArgument(kinds[i], &args[n - 1 - i], &stores[i]);
	coreClearVariant(&result);
	if (FAILED(hr))
		coreFail(failure, hr, &info, argIndex, NULL);
	coreFreeExcepInfo(&info);
	if (kinds != localKinds) {
		free(kinds);
		free(args);
		free(stores);
	}
	return hr;
}

int32_t mvNewEnum(uint64_t dispatch, uint64_t *out, MvFailure *failure)
{
	VARIANT result;
	VariantInit(&result);
	EXCEPINFO info;
	memset(&info, 0, sizeof info);
	DISPPARAMS none = {NULL, NULL, 0, 0};
	IEnumVARIANT *enumerator = NULL;
	HRESULT hr = IDispatch_Invoke((IDispatch *) PTR(dispatch), DISPID_NEWENUM, &IID_NULL, LOCALE_USER_DEFAULT,
	                              DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, &info, NULL);
	if (SUCCEEDED(hr))
		hr = VariantCopyInd(&result, &result);
	if (SUCCEEDED(hr)) {
		if ((V_VT(&result) == VT_UNKNOWN || V_VT(&result) == VT_DISPATCH) && V_UNKNOWN(&result) != NULL)
			hr = IUnknown_QueryInterface(V_UNKNOWN(&result), &IID_IEnumVARIANT, (void **) &enumerator);
		else
			hr = DISP_E_TYPEMISMATCH;
	}
	VariantClear(&result);
	if (FAILED(hr))
		coreFail(failure, hr, &info, -1, NULL);
	coreFreeExcepInfo(&info);
	*out = UPTR(enumerator);
	return hr;
}

int32_t mvNext(uint64_t enumerator, int32_t elementVt, MvFrame *frame, uint32_t *out, MvFailure *failure)
{
	uint32_t wanted = frame->count < MV_MAX_BATCH ? frame->count : MV_MAX_BATCH;
	VARIANT batch[MV_MAX_BATCH];
	for (uint32_t k = 0; k < wanted; ++k)
		VariantInit(&batch[k]);
	ULONG fetched = 0;
	*out = 0;
	HRESULT hr = IEnumVARIANT_Next((IEnumVARIANT *) PTR(enumerator), (ULONG) wanted, batch, &fetched);
	if (SUCCEEDED(hr)) {
		hr = S_OK;
		if (fetched > wanted)
			fetched = wanted;
	} else {
		fetched = 0;
	}
	// Every element converts before any goes to the frame, so that a failure
	// leaves no pointer the caller would not know of.
	for (ULONG k = 0; k < fetched && SUCCEEDED(hr); ++k)
		if (elementVt != VT_VARIANT)
			hr = coreCoerce(&batch[k], (VARTYPE) elementVt);
	for (ULONG k = 0; k < fetched && SUCCEEDED(hr); ++k)
		hr = corePutSlot(frame, k, &batch[k]);
	if (FAILED(hr)) {
		for (ULONG k = 0; k < fetched; ++k)
			VariantClear(&batch[k]);
		return coreFail(failure, hr, NULL, -1, NULL);
	}
	if (elementVt == VT_DISPATCH)
		for (ULONG k = 0; k < fetched; ++k)
			coreElementIid(frame, k);
	*out = fetched;
	return S_OK;
}

void mvPump(int32_t millis)
{
	MSG msg;
	int dispatched = 0;
	while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
		TranslateMessage(&msg);
		DispatchMessageW(&msg);
		dispatched = 1;
	}
	if (dispatched || millis <= 0)
		return;
	MsgWaitForMultipleObjectsEx(0, NULL, (DWORD) millis, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
	while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
		TranslateMessage(&msg);
		DispatchMessageW(&msg);
	}
}
