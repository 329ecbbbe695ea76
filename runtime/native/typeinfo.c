// The interface an object's own type information names, so that the Java
// half can give an object result its most derived generated class; and
// VARIANT conversions for MivraVariant's accessors.
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "mivra_runtime_NativeComLayer.h"
#include "mivra_jni.h"

// S_OK with the IID of the object's type information; S_FALSE when it gives none.
HRESULT mivraTypeInfoIid(IDispatch *dispatch, IID *iid)
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

// The conversion of MivraVariant's accessors: fixed locale and flags, so that
// a program reads the same values on every machine.
HRESULT mivraChangeType(VARIANT *v, VARTYPE to)
{
	VARIANT out;
	VariantInit(&out);
	HRESULT hr = VariantChangeTypeEx(&out, v, LOCALE_INVARIANT, VARIANT_ALPHABOOL, to);
	if (SUCCEEDED(hr)) {
		VariantClear(v);
		*v = out;
	}
	return hr;
}

// Asked inside the call that returned the object, so that finding its class costs no call of its own.
HRESULT typeInfoSlot(JNIEnv *env, IDispatch *dispatch, jobject *ref)
{
	IID iid;
	WCHAR text[40];
	int length = mivraTypeInfoIid(dispatch, &iid) == S_OK ? StringFromGUID2(&iid, text, 40) - 1 : 0;
	*ref = (*env)->NewString(env, (const jchar *) text, length > 0 ? length : 0);
	return *ref != NULL ? S_OK : JAVA_PENDING;
}

JNIEXPORT jstring JNICALL Java_mivra_runtime_NativeComLayer_typeInfoIid(JNIEnv *env, jobject self, jlong dispatch)
{
	(void) self;
	IID iid;
	WCHAR text[40];
	if (dispatch == 0 || mivraTypeInfoIid((IDispatch *) PTR(dispatch), &iid) != S_OK)
		return NULL;
	int length = StringFromGUID2(&iid, text, 40);
	return length > 1 ? (*env)->NewString(env, (const jchar *) text, length - 1) : NULL;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_changeType(JNIEnv *env, jobject self, jint vt,
                                                                    jintArray vtArray, jlongArray bitsArray,
                                                                    jobjectArray refArray)
{
	(void) self;
	jint slotVt = 0;
	jlong bits = 0;
	(*env)->GetIntArrayRegion(env, vtArray, 0, 1, &slotVt);
	(*env)->GetLongArrayRegion(env, bitsArray, 0, 1, &bits);
	jobject ref = !(*env)->ExceptionCheck(env) && needsRef(slotVt) ? (*env)->GetObjectArrayElement(env, refArray, 0)
	                                                               : NULL;
	if ((*env)->ExceptionCheck(env))
		return;
	VARIANT v;
	VariantInit(&v);
	HRESULT hr = fromWire(env, &v, slotVt, bits, ref);
	(*env)->DeleteLocalRef(env, ref);
	ref = NULL;
	if (SUCCEEDED(hr))
		hr = mivraChangeType(&v, (VARTYPE) vt);
	if (SUCCEEDED(hr))
		hr = toWire(env, &v, &slotVt, &bits, &ref);
	if (SUCCEEDED(hr)) {
		(*env)->SetIntArrayRegion(env, vtArray, 0, 1, &slotVt);
		(*env)->SetLongArrayRegion(env, bitsArray, 0, 1, &bits);
		(*env)->SetObjectArrayElement(env, refArray, 0, ref);
		(*env)->DeleteLocalRef(env, ref);
	}
	VariantClear(&v);
	if (FAILED(hr))
		throwFailure(env, hr, NULL, -1, NULL);
}
