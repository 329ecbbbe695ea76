// Calls through an interface's vtable, for interfaces that derive from
// IDispatch without being dual: servers may implement their functions but not
// IDispatch::Invoke. DispCallFunc (OLE Automation's own generic caller) makes
// the call, so that no calling convention is written here.
#include "core_internal.h"

#include <stdlib.h>
#include <string.h>

// The [out,retval] pointer for a result of VARTYPE vt, pointing into *store.
static void resultArgument(VARTYPE vt, VARIANT *store, VARIANTARG *arg)
{
	memset(store, 0, sizeof *store);
	if (vt == VT_VARIANT) {
		V_VT(arg) = VT_BYREF | VT_VARIANT;
		V_VARIANTREF(arg) = store;
	} else if (vt == VT_DECIMAL) {
		V_VT(arg) = VT_BYREF | VT_DECIMAL;
		V_DECIMALREF(arg) = &V_DECIMAL(store);
	} else {
		V_VT(store) = vt;
		V_VT(arg) = VT_BYREF | vt;
		V_BYREF(arg) = &V_UI1(store);
	}
}

// The object's IErrorInfo, when it says it gives one for the interface, into info.
static void errorInfo(IUnknown *object, REFIID iid, EXCEPINFO *info)
{
	ISupportErrorInfo *support = NULL;
	if (FAILED(IUnknown_QueryInterface(object, &IID_ISupportErrorInfo, (void **) &support)) || support == NULL)
		return;
	HRESULT supported = ISupportErrorInfo_InterfaceSupportsErrorInfo(support, iid);
	ISupportErrorInfo_Release(support);
	IErrorInfo *error = NULL;
	if (supported != S_OK || GetErrorInfo(0, &error) != S_OK || error == NULL)
		return;
	IErrorInfo_GetDescription(error, &info->bstrDescription);
	IErrorInfo_GetSource(error, &info->bstrSource);
	IErrorInfo_GetHelpFile(error, &info->bstrHelpFile);
	IErrorInfo_GetHelpContext(error, &info->dwHelpContext);
	IErrorInfo_Release(error);
}

int32_t mvVtblCall(uint64_t unknown, int32_t slot, const MvString *iidText, int32_t resultVt, const int32_t *declared,
                   MvFrame *frame, MvFailure *failure)
{
	if (frame == NULL || frame->count < 1 || slot < 3 || unknown == 0)
		return coreFail(failure, E_INVALIDARG, NULL, -1, L"vtable call");
	uint32_t n = frame->count - 1;
	uint32_t count = n + 1;   // the arguments and the [out,retval] pointer
	int32_t *kinds = malloc(sizeof *kinds * count);
	VARIANTARG *args = malloc(sizeof *args * count);
	VARIANTARG **pointers = malloc(sizeof *pointers * count);
	VARTYPE *types = malloc(sizeof *types * count);
	ByRefStore *stores = malloc(sizeof *stores * count);
	HRESULT hr = kinds && args && pointers && types && stores ? S_OK : E_OUTOFMEMORY;
	IID iid = IID_NULL;
	if (SUCCEEDED(hr) && iidText != NULL) {
		BSTR text = coreBstr(iidText, &hr);
		if (SUCCEEDED(hr))
			hr = IIDFromString(text, &iid);
		SysFreeString(text);
	}
	uint32_t prepared = 0;
	for (; prepared < n && SUCCEEDED(hr); ++prepared) {
		uint32_t i = prepared;
		kinds[i] = frame->vts[i];
		hr = prepareArgument(frame->vts[i], frame->bits[i], frame->refs[i], &args[i], &stores[i]);
		if (FAILED(hr))
			break;
		// A VARIANT parameter takes the VARIANT; any other the value its VARTYPE says.
		types[i] = declared[i] == VT_VARIANT ? VT_VARIANT : V_VT(&args[i]);
		pointers[i] = &args[i];
	}
	VARIANT result;
	VariantInit(&result);
	EXCEPINFO info;
	memset(&info, 0, sizeof info);
	UINT total = (UINT) n;
	if (SUCCEEDED(hr) && resultVt != VT_EMPTY) {
		resultArgument((VARTYPE) resultVt, &result, &args[n]);
		types[n] = V_VT(&args[n]);
		pointers[n] = &args[n];
		++total;
	}
	if (SUCCEEDED(hr)) {
		VARIANT returned;
		VariantInit(&returned);
		IUnknown *object = (IUnknown *) PTR(unknown);
		hr = DispCallFunc(object, (ULONG_PTR) slot * sizeof(void *), CC_STDCALL, VT_ERROR, total, types, pointers,
		                  &returned);
		if (SUCCEEDED(hr) && FAILED(V_ERROR(&returned))) {
			// What a failing function left in its out pointer is not to be trusted.
			VariantInit(&result);
			errorInfo(object, &iid, &info);
			hr = V_ERROR(&returned);
		}
	}
	for (uint32_t i = 0; i < n && SUCCEEDED(hr); ++i)
		if (kinds[i] & VT_BYREF)
			hr = returnArgument(frame, i, kinds[i], &stores[i]);
	if (SUCCEEDED(hr)) {
		if (resultVt == VT_EMPTY) {
			mvSlotClear(frame, n);
		} else {
			if (resultVt == VT_DECIMAL)
				V_VT(&result) = VT_DECIMAL;
			hr = coreCoerce(&result, (VARTYPE) resultVt);
			if (SUCCEEDED(hr))
				hr = corePutSlot(frame, n, &result);
			if (SUCCEEDED(hr))
				hr = coreResultIid(frame, n, resultVt);
		}
	}
	for (uint32_t i = 0; i < prepared; ++i)
		clearArgument(kinds[i], &args[i], &stores[i]);
	VariantClear(&result);
	if (FAILED(hr))
		coreFail(failure, hr, &info, -1, NULL);
	coreFreeExcepInfo(&info);
	free(kinds);
	free(args);
	free(pointers);
	free(types);
	free(stores);
	return hr;
}
