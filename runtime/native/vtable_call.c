// Calls through an interface's vtable, for interfaces that derive from
// IDispatch without being dual: servers may implement their functions but not
// IDispatch::Invoke. DispCallFunc (OLE Automation's own generic caller) makes
// the call, so that no calling convention is written here.
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <oaidl.h>
#include <string.h>

#include "mivra_runtime_NativeComLayer.h"
#include "mivra_jni.h"

// Calls vtable slot `slot` (stdcall, HRESULT) with n arguments in declaration
// order, each of the DispCallFunc type in types. The call's own HRESULT goes
// to *result; the return value is DispCallFunc's.
HRESULT mivraCallSlot(IUnknown *object, UINT slot, UINT n, VARTYPE *types, VARIANTARG **args, HRESULT *result)
{
	VARIANT returned;
	VariantInit(&returned);
	HRESULT hr = DispCallFunc(object, (ULONG_PTR) slot * sizeof(void *), CC_STDCALL, VT_ERROR, n, types, args,
	                          &returned);
	*result = SUCCEEDED(hr) ? V_ERROR(&returned) : hr;
	return hr;
}

// The [out,retval] pointer for a result of VARTYPE vt, pointing into *store.
void mivraResultArgument(VARTYPE vt, VARIANT *store, VARIANTARG *arg)
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

// The result after a successful call: *store holds a VARIANT of the result's type.
void mivraResultReceived(VARTYPE vt, VARIANT *store)
{
	if (vt == VT_DECIMAL)
		V_VT(store) = VT_DECIMAL;
}

// The object's IErrorInfo, when it says it gives one for the interface, into info.
void mivraErrorInfo(IUnknown *object, REFIID iid, EXCEPINFO *info)
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

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_vtblCall(JNIEnv *env, jobject self, jlong unknown, jint slot,
                                                                  jstring iidText, jint resultVt, jintArray declaredArray,
                                                                  jintArray vtArray, jlongArray bitsArray,
                                                                  jobjectArray refArray)
{
	(void) self;
	jsize slots = (*env)->GetArrayLength(env, vtArray);
	jsize n = slots - 1;
	if (slots < 1 || slot < 3 || (*env)->GetArrayLength(env, bitsArray) != slots ||
	    (*env)->GetArrayLength(env, refArray) != slots || (*env)->GetArrayLength(env, declaredArray) != n) {
		throwFailure(env, E_INVALIDARG, NULL, -1, L"vtable call");
		return;
	}
	jsize count = n + 1;   // the arguments and the [out,retval] pointer
	jint *vts = CoTaskMemAlloc(sizeof *vts * slots);
	jint *kinds = CoTaskMemAlloc(sizeof *kinds * slots);
	jint *declared = CoTaskMemAlloc(sizeof *declared * count);
	jlong *bits = CoTaskMemAlloc(sizeof *bits * slots);
	VARIANTARG *args = CoTaskMemAlloc(sizeof *args * count);
	VARIANTARG **pointers = CoTaskMemAlloc(sizeof *pointers * count);
	VARTYPE *types = CoTaskMemAlloc(sizeof *types * count);
	ByRefStore *stores = CoTaskMemAlloc(sizeof *stores * count);
	HRESULT hr = vts && kinds && declared && bits && args && pointers && types && stores ? S_OK : E_OUTOFMEMORY;
	IID iid = IID_NULL;
	BSTR text = NULL;
	if (SUCCEEDED(hr))
		hr = bstrOf(env, iidText, &text);
	if (SUCCEEDED(hr) && text != NULL)
		hr = IIDFromString(text, &iid);
	SysFreeString(text);
	if (SUCCEEDED(hr)) {
		(*env)->GetIntArrayRegion(env, vtArray, 0, slots, vts);
		(*env)->GetLongArrayRegion(env, bitsArray, 0, slots, bits);
		(*env)->GetIntArrayRegion(env, declaredArray, 0, n, declared);
		if ((*env)->ExceptionCheck(env))
			hr = JAVA_PENDING;
		for (jsize i = 0; i < slots && SUCCEEDED(hr); ++i)
			kinds[i] = vts[i];
	}
	jsize prepared = 0;
	for (; prepared < n && SUCCEEDED(hr); ++prepared) {
		jsize i = prepared;
		jobject ref = NULL;
		if (needsRef(vts[i])) {
			ref = (*env)->GetObjectArrayElement(env, refArray, i);
			if ((*env)->ExceptionCheck(env)) {
				hr = JAVA_PENDING;
				break;
			}
		}
		hr = prepareArgument(env, vts[i], bits[i], ref, &args[i], &stores[i]);
		(*env)->DeleteLocalRef(env, ref);
		if (FAILED(hr))
			break;
		// A VARIANT parameter takes the VARIANT; any other the value its VARTYPE says.
		types[i] = declared[i] == VT_VARIANT ? VT_VARIANT : V_VT(&args[i]);
		pointers[i] = &args[i];
	}
	VARIANT result;
	VariantInit(&result);
	EXCEPINFO info = {0};
	UINT total = (UINT) n;
	if (SUCCEEDED(hr) && resultVt != VT_EMPTY) {
		mivraResultArgument((VARTYPE) resultVt, &result, &args[n]);
		types[n] = V_VT(&args[n]);
		pointers[n] = &args[n];
		++total;
	}
	if (SUCCEEDED(hr)) {
		HRESULT called = S_OK;
		hr = mivraCallSlot((IUnknown *) PTR(unknown), (UINT) slot, total, types, pointers, &called);
		if (SUCCEEDED(hr) && FAILED(called)) {
			// What a failing function left in its out pointer is not to be trusted.
			VariantInit(&result);
			mivraErrorInfo((IUnknown *) PTR(unknown), &iid, &info);
			hr = called;
		}
	}
	if (SUCCEEDED(hr)) {
		for (jsize i = 0; i < n && SUCCEEDED(hr); ++i) {
			if (!(vts[i] & VT_BYREF))
				continue;
			jobject ref = NULL;
			jobject frame = (vts[i] & ~VT_BYREF) == VT_VARIANT ? (*env)->GetObjectArrayElement(env, refArray, i) : NULL;
			hr = returnArgument(env, vts[i], &stores[i], &vts[i], &bits[i], &ref, frame);
			(*env)->DeleteLocalRef(env, frame);
			if (ref != NULL) {
				(*env)->SetObjectArrayElement(env, refArray, i, ref);
				(*env)->DeleteLocalRef(env, ref);
			} else if (SUCCEEDED(hr) && (vts[i] & ~VT_BYREF) != VT_VARIANT) {
				(*env)->SetObjectArrayElement(env, refArray, i, NULL);
			}
		}
		if (SUCCEEDED(hr)) {
			jobject ref = NULL;
			vts[n] = VT_EMPTY;
			bits[n] = 0;
			if (resultVt != VT_EMPTY) {
				mivraResultReceived((VARTYPE) resultVt, &result);
				hr = coerce(&result, (VARTYPE) resultVt);
				if (SUCCEEDED(hr))
					hr = toWire(env, &result, &vts[n], &bits[n], &ref);
				if (SUCCEEDED(hr) && vts[n] == VT_DISPATCH && bits[n] != 0 &&
				    FAILED(hr = typeInfoSlot(env, (IDispatch *) PTR(bits[n]), &ref)))
					IUnknown_Release((IUnknown *) PTR(bits[n]));
			}
			if (ref != NULL) {
				(*env)->SetObjectArrayElement(env, refArray, n, ref);
				(*env)->DeleteLocalRef(env, ref);
			}
		}
		if (SUCCEEDED(hr) && !(*env)->ExceptionCheck(env)) {
			(*env)->SetIntArrayRegion(env, vtArray, 0, slots, vts);
			(*env)->SetLongArrayRegion(env, bitsArray, 0, slots, bits);
		}
	}
	for (jsize i = 0; i < prepared; ++i)
		clearArgument(kinds[i], &args[i], &stores[i]);
	VariantClear(&result);
	if (FAILED(hr))
		throwFailure(env, hr, &info, -1, NULL);
	freeExcepInfo(&info);
	CoTaskMemFree(vts);
	CoTaskMemFree(kinds);
	CoTaskMemFree(declared);
	CoTaskMemFree(bits);
	CoTaskMemFree(args);
	CoTaskMemFree(pointers);
	CoTaskMemFree(types);
	CoTaskMemFree(stores);
}
