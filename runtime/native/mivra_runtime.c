// The native half of the Mivra runtime: IDispatch calls for mivra.runtime.
// The Java half has turned every value into a frame slot (see ComLayer.java):
// a VARTYPE, a 64-bit number and, for strings, decimals and arrays, an object.
// Here slots become VARIANTs and back; nothing else of Java is known.
//
// Ownership: every VARIANT built here owns its content (strings copied,
// interface pointers AddRef'd) and is cleared after the call; interface
// pointers that go to Java are owned by Java from then on.
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "mivra_runtime_NativeComLayer.h"
#include "mivra_jni.h"

#define MAX_DIMS 8
#define MAX_BATCH 64

static jclass exceptionClass, stringClass, objectClass;
static jmethodID exceptionInit, sinkTypesMethod, sinkInvokeMethod;
static JavaVM *javaVm;

static jclass globalClass(JNIEnv *env, const char *name)
{
	jclass local = (*env)->FindClass(env, name);
	if (local == NULL)
		return NULL;
	jclass global = (*env)->NewGlobalRef(env, local);
	(*env)->DeleteLocalRef(env, local);
	return global;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_initialize(JNIEnv *env, jclass cls)
{
	(void) cls;
	if ((exceptionClass = globalClass(env, "mivra/runtime/MivraException")) == NULL ||
	    (stringClass = globalClass(env, "java/lang/String")) == NULL ||
	    (objectClass = globalClass(env, "java/lang/Object")) == NULL)
		return;
	exceptionInit = (*env)->GetMethodID(env, exceptionClass, "<init>",
	                                    "(Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;II)V");
	jclass sinkClass = exceptionInit ? (*env)->FindClass(env, "mivra/runtime/EventSink") : NULL;
	if (sinkClass == NULL)
		return;
	sinkTypesMethod = (*env)->GetMethodID(env, sinkClass, "types", "(II)[I");
	sinkInvokeMethod = sinkTypesMethod ? (*env)->GetMethodID(env, sinkClass, "invoke", "(I[I[J[Ljava/lang/Object;)Ljava/lang/String;")
	                       : NULL;
	(*env)->DeleteLocalRef(env, sinkClass);
	if (sinkInvokeMethod != NULL)
		(*env)->GetJavaVM(env, &javaVm);
}

// Strings.

static jstring javaString(JNIEnv *env, const WCHAR *text, UINT length)
{
	return (*env)->NewString(env, (const jchar *) (text ? text : L""), text ? (jsize) length : 0);
}

HRESULT bstrOf(JNIEnv *env, jstring str, BSTR *out)
{
	*out = NULL;
	if (str == NULL)
		return S_OK;
	jsize length = (*env)->GetStringLength(env, str);
	BSTR b = SysAllocStringLen(NULL, (UINT) length);
	if (b == NULL)
		return E_OUTOFMEMORY;
	(*env)->GetStringRegion(env, str, 0, length, (jchar *) b);
	*out = b;
	return S_OK;
}

// Failures become MivraException.

static jstring optionalString(JNIEnv *env, BSTR text)
{
	return text != NULL && SysStringLen(text) > 0 ? javaString(env, text, SysStringLen(text)) : NULL;
}

void throwFailure(JNIEnv *env, HRESULT hr, EXCEPINFO *info, int argIndex, const WCHAR *subject)
{
	if (hr == JAVA_PENDING || (*env)->ExceptionCheck(env))
		return;
	if (hr == E_OUTOFMEMORY) {
		jclass oom = (*env)->FindClass(env, "java/lang/OutOfMemoryError");
		if (oom != NULL)
			(*env)->ThrowNew(env, oom, "COM memory exhausted");
		return;
	}
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
	WCHAR text[1024];
	size_t used = 0;
	text[0] = 0;
	if (subject != NULL) {
		int written = swprintf(text, 1024, L"%.500ls: ", subject);
		used = written > 0 ? (size_t) written : 0;
		text[used] = 0;
	}
	if (description != NULL && SysStringLen(description) > 0) {
		UINT length = SysStringLen(description);
		swprintf(text + used, 1024 - used, L"%.*ls", (int) (length < 1023 - used ? length : 1023 - used), description);
	} else {
		HRESULT textCode = info != NULL && info->scode != 0 ? info->scode : hr;
		DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, (DWORD) textCode, 0,
		                         text + used, (DWORD) (1024 - used), NULL);
		while (n > 0 && (text[used + n - 1] == L'\n' || text[used + n - 1] == L'\r'))
			text[used + --n] = 0;
		if (n == 0)
			swprintf(text + used, 1024 - used, L"0x%08lX", (unsigned long) textCode);
	}
	jstring message = javaString(env, text, (UINT) wcslen(text));
	jstring jsource = message ? optionalString(env, source) : NULL;
	jstring jdescription = message ? optionalString(env, description) : NULL;
	jstring jhelp = message ? optionalString(env, helpFile) : NULL;
	SysFreeString(source);
	SysFreeString(description);
	SysFreeString(helpFile);
	if ((*env)->ExceptionCheck(env))
		return;
	jthrowable exception = (jthrowable) (*env)->NewObject(env, exceptionClass, exceptionInit, message, (jint) hr,
	                                                      (jint) code, jsource, jdescription, jhelp, (jint) context,
	                                                      (jint) argIndex);
	if (exception != NULL)
		(*env)->Throw(env, exception);
	(*env)->DeleteLocalRef(env, exception);
	(*env)->DeleteLocalRef(env, message);
	(*env)->DeleteLocalRef(env, jsource);
	(*env)->DeleteLocalRef(env, jdescription);
	(*env)->DeleteLocalRef(env, jhelp);
}

void freeExcepInfo(EXCEPINFO *info)
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

// VariantClear, without the call for the values that own nothing.
void clearVariant(VARIANT *v)
{
	switch (V_VT(v)) {
	case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
	case VT_INT: case VT_UINT: case VT_ERROR: case VT_I8: case VT_UI8: case VT_BOOL: case VT_R4: case VT_R8:
	case VT_DATE: case VT_CY: case VT_DECIMAL:
		V_VT(v) = VT_EMPTY;
		break;
	default:
		VariantClear(v);
	}
}

// SAFEARRAY elements, addressed by one running index with the first
// dimension varying fastest (the order of the wire's payloads).

typedef struct {
	SAFEARRAY *array;
	UINT dims;
	LONG lower[MAX_DIMS];
	LONG count[MAX_DIMS];
	LONG total;
	char *data;                 // accessed data
	UINT size;
} Elements;

static HRESULT openElements(SAFEARRAY *array, Elements *e)
{
	memset(e, 0, sizeof *e);
	e->array = array;
	e->dims = SafeArrayGetDim(array);
	if (e->dims == 0 || e->dims > MAX_DIMS)
		return DISP_E_BADVARTYPE;
	ULONGLONG total = 1;
	for (UINT d = 0; d < e->dims; ++d) {
		LONG lower, upper;
		HRESULT hr = SafeArrayGetLBound(array, d + 1, &lower);
		if (SUCCEEDED(hr))
			hr = SafeArrayGetUBound(array, d + 1, &upper);
		if (FAILED(hr))
			return hr;
		LONGLONG count = upper >= lower ? (LONGLONG) upper - lower + 1 : 0;
		if (count > INT32_MAX)
			return DISP_E_OVERFLOW;
		e->lower[d] = lower;
		e->count[d] = (LONG) count;
		// Saturated: a later empty dimension still makes it 0.
		total = (total > INT32_MAX ? (ULONGLONG) INT32_MAX + 1 : total) * (ULONGLONG) count;
	}
	e->size = SafeArrayGetElemsize(array);
	// oleaut32 sizes an array's data in 32 bits: (2^29 + 1) elements of 8 bytes get 8 bytes.
	if (total > INT32_MAX || total * e->size > 0xFFFFFFFFULL)
		return DISP_E_OVERFLOW;
	e->total = (LONG) total;
	void *data;
	HRESULT hr = SafeArrayAccessData(array, &data);
	e->data = data;
	return hr;
}

static void closeElements(Elements *e)
{
	if (e->data != NULL)
		SafeArrayUnaccessData(e->array);
	e->data = NULL;
}

static void *elementAt(Elements *e, LONG k)
{
	if (e->dims == 1)
		return e->data + (size_t) k * e->size;
	// SafeArrayPtrOfIndex takes the indices in the order of SafeArrayGetUBound's dimensions.
	LONG indices[MAX_DIMS];
	for (UINT d = 0; d < e->dims; ++d) {
		indices[d] = e->lower[d] + k % e->count[d];
		k /= e->count[d];
	}
	void *at = NULL;
	SafeArrayPtrOfIndex(e->array, indices, &at);
	return at;
}

// An array VARIANT's element type from the SAFEARRAY itself (its features or
// stored VARTYPE; the VARIANT's own word only when the array has neither),
// accepted only with the element size that type has.
static HRESULT trueArrayType(VARIANT *v)
{
	if (V_ARRAY(v) == NULL)
		return S_OK;
	VARTYPE vt;
	if (FAILED(SafeArrayGetVartype(V_ARRAY(v), &vt)))
		vt = V_VT(v) & VT_TYPEMASK;
	UINT size;
	switch (vt) {
	case VT_I1: case VT_UI1: size = 1; break;
	case VT_I2: case VT_UI2: case VT_BOOL: size = 2; break;
	case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: size = 4; break;
	case VT_I8: case VT_UI8: case VT_CY: case VT_R8: case VT_DATE: size = 8; break;
	case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: size = sizeof(void *); break;
	case VT_DECIMAL: size = sizeof(DECIMAL); break;
	case VT_VARIANT: size = sizeof(VARIANT); break;
	default: return DISP_E_BADVARTYPE;
	}
	if (SafeArrayGetElemsize(V_ARRAY(v)) != size)
		return DISP_E_BADVARTYPE;
	V_VT(v) = VT_ARRAY | vt;
	return S_OK;
}

// Slots to VARIANTs.


static HRESULT arrayFromWire(JNIEnv *env, VARTYPE elemVt, jobjectArray wire, SAFEARRAY **out)
{
	*out = NULL;
	jintArray counts = (jintArray) (*env)->GetObjectArrayElement(env, wire, 0);
	jobject payload = counts ? (*env)->GetObjectArrayElement(env, wire, 1) : NULL;
	if (payload == NULL) {
		(*env)->DeleteLocalRef(env, counts);
		return JAVA_PENDING;
	}
	jint dims = (*env)->GetArrayLength(env, counts);
	jint shape[MAX_DIMS];
	SAFEARRAYBOUND bounds[MAX_DIMS];
	HRESULT hr = dims >= 1 && dims <= MAX_DIMS ? S_OK : E_INVALIDARG;
	if (SUCCEEDED(hr)) {
		(*env)->GetIntArrayRegion(env, counts, 0, dims, shape);
		for (jint d = 0; d < dims; ++d) {
			bounds[d].cElements = (ULONG) shape[d];
			bounds[d].lLbound = 0;
		}
		*out = SafeArrayCreate(elemVt, (UINT) dims, bounds);
		if (*out == NULL)
			hr = E_OUTOFMEMORY;
	}
	Elements e;
	if (SUCCEEDED(hr))
		hr = openElements(*out, &e);
	if (SUCCEEDED(hr)) {
		LONG total = e.total;
		switch (elemVt) {
		case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL: case VT_I4: case VT_UI4: case VT_INT:
		case VT_UINT: case VT_ERROR: case VT_R4: case VT_I8: case VT_UI8: case VT_CY: case VT_R8: case VT_DATE:
		case VT_DECIMAL: {
			// Primitive payloads: one element (two longs for DECIMAL) after another.
			UINT size = e.size;
			char buffer[16];
			for (LONG k = 0; k < total; ++k) {
				void *at = elementAt(&e, k);
				switch (size) {
				case 1: (*env)->GetByteArrayRegion(env, (jbyteArray) payload, k, 1, (jbyte *) buffer); break;
				case 2: (*env)->GetShortArrayRegion(env, (jshortArray) payload, k, 1, (jshort *) buffer); break;
				case 4:
					if (elemVt == VT_R4)
						(*env)->GetFloatArrayRegion(env, (jfloatArray) payload, k, 1, (jfloat *) buffer);
					else
						(*env)->GetIntArrayRegion(env, (jintArray) payload, k, 1, (jint *) buffer);
					break;
				case 8:
					if (elemVt == VT_R8 || elemVt == VT_DATE)
						(*env)->GetDoubleArrayRegion(env, (jdoubleArray) payload, k, 1, (jdouble *) buffer);
					else
						(*env)->GetLongArrayRegion(env, (jlongArray) payload, k, 1, (jlong *) buffer);
					break;
				default: (*env)->GetLongArrayRegion(env, (jlongArray) payload, 2 * k, 2, (jlong *) buffer); break;
				}
				if ((*env)->ExceptionCheck(env)) {
					hr = JAVA_PENDING;
					break;
				}
				if (at != NULL)
					memcpy(at, buffer, size);
			}
			break;
		}
		case VT_BSTR:
			for (LONG k = 0; k < total && SUCCEEDED(hr); ++k) {
				jstring str = (jstring) (*env)->GetObjectArrayElement(env, (jobjectArray) payload, k);
				if ((*env)->ExceptionCheck(env)) {
					hr = JAVA_PENDING;
					break;
				}
				hr = bstrOf(env, str, (BSTR *) elementAt(&e, k));
				(*env)->DeleteLocalRef(env, str);
			}
			break;
		case VT_DISPATCH: case VT_UNKNOWN:
			for (LONG k = 0; k < total; ++k) {
				jlong pointer;
				(*env)->GetLongArrayRegion(env, (jlongArray) payload, k, 1, &pointer);
				if ((*env)->ExceptionCheck(env)) {
					hr = JAVA_PENDING;
					break;
				}
				IUnknown *unknown = PTR(pointer);
				if (unknown != NULL)
					IUnknown_AddRef(unknown);
				*(IUnknown **) elementAt(&e, k) = unknown;
			}
			break;
		case VT_VARIANT: {
			jintArray vts = (jintArray) (*env)->GetObjectArrayElement(env, (jobjectArray) payload, 0);
			jlongArray bits = vts ? (jlongArray) (*env)->GetObjectArrayElement(env, (jobjectArray) payload, 1) : NULL;
			jobjectArray refs = bits ? (jobjectArray) (*env)->GetObjectArrayElement(env, (jobjectArray) payload, 2) : NULL;
			if (refs == NULL)
				hr = JAVA_PENDING;
			for (LONG k = 0; k < total && SUCCEEDED(hr); ++k) {
				jint vt;
				jlong value;
				(*env)->GetIntArrayRegion(env, vts, k, 1, &vt);
				(*env)->GetLongArrayRegion(env, bits, k, 1, &value);
				jobject ref = (*env)->GetObjectArrayElement(env, refs, k);
				if ((*env)->ExceptionCheck(env)) {
					hr = JAVA_PENDING;
					break;
				}
				hr = fromWire(env, (VARIANT *) elementAt(&e, k), vt, value, ref);
				(*env)->DeleteLocalRef(env, ref);
			}
			(*env)->DeleteLocalRef(env, vts);
			(*env)->DeleteLocalRef(env, bits);
			(*env)->DeleteLocalRef(env, refs);
			break;
		}
		default:
			hr = DISP_E_BADVARTYPE;
			break;
		}
		closeElements(&e);
	}
	if (FAILED(hr) && *out != NULL) {
		SafeArrayDestroy(*out);
		*out = NULL;
	}
	(*env)->DeleteLocalRef(env, counts);
	(*env)->DeleteLocalRef(env, payload);
	return hr;
}

int needsRef(jint vt)
{
	VARTYPE base = (VARTYPE) (vt & ~VT_BYREF);
	return (base & VT_ARRAY) || base == VT_BSTR || base == VT_DECIMAL || base == VT_VARIANT;
}

// Builds an owned VARIANT from a slot (vt without VT_BYREF).
HRESULT fromWire(JNIEnv *env, VARIANT *out, jint vt, jlong bits, jobject ref)
{
	V_VT(out) = VT_EMPTY;
	if (vt & VT_ARRAY) {
		SAFEARRAY *array = NULL;
		HRESULT hr = ref != NULL ? arrayFromWire(env, (VARTYPE) (vt & VT_TYPEMASK), (jobjectArray) ref, &array) : S_OK;
		if (FAILED(hr))
			return hr;
		V_VT(out) = (VARTYPE) vt;
		V_ARRAY(out) = array;
		return S_OK;
	}
	union {
		jlong bits;
		double real;
		jint word;
		float single;
	} value;
	value.bits = bits;
	switch (vt) {
	case VT_EMPTY: case VT_NULL: break;
	case VT_I1: V_I1(out) = (CHAR) bits; break;
	case VT_UI1: V_UI1(out) = (BYTE) bits; break;
	case VT_I2: V_I2(out) = (SHORT) bits; break;
	case VT_UI2: V_UI2(out) = (USHORT) bits; break;
	case VT_I4: V_I4(out) = (LONG) bits; break;
	case VT_UI4: V_UI4(out) = (ULONG) bits; break;
	case VT_INT: V_INT(out) = (INT) bits; break;
	case VT_UINT: V_UINT(out) = (UINT) bits; break;
	case VT_ERROR: V_ERROR(out) = (SCODE) bits; break;
	case VT_I8: V_I8(out) = bits; break;
	case VT_UI8: V_UI8(out) = (ULONGLONG) bits; break;
	case VT_BOOL: V_BOOL(out) = bits ? VARIANT_TRUE : VARIANT_FALSE; break;
	case VT_R4: value.word = (jint) bits; V_R4(out) = value.single; break;
	case VT_R8: V_R8(out) = value.real; break;
	case VT_DATE: V_DATE(out) = value.real; break;
	case VT_CY: V_CY(out).int64 = bits; break;
	case VT_BSTR: {
		BSTR b;
		HRESULT hr = bstrOf(env, (jstring) ref, &b);
		if (FAILED(hr))
			return hr;
		V_BSTR(out) = b;
		break;
	}
	case VT_DISPATCH: case VT_UNKNOWN:
		V_UNKNOWN(out) = PTR(bits);
		if (V_UNKNOWN(out) != NULL)
			IUnknown_AddRef(V_UNKNOWN(out));
		break;
	case VT_DECIMAL:
		memset(&V_DECIMAL(out), 0, sizeof(DECIMAL));
		if (ref != NULL)
			(*env)->GetLongArrayRegion(env, (jlongArray) ref, 0, 2, (jlong *) &V_DECIMAL(out));
		if ((*env)->ExceptionCheck(env))
			return JAVA_PENDING;
		break;
	default:
		return DISP_E_BADVARTYPE;
	}
	V_VT(out) = (VARTYPE) vt;
	return S_OK;
}

// VARIANTs to slots. Each takes the VARIANT's content over and leaves it empty.


static jobject newPayload(JNIEnv *env, VARTYPE elemVt, jsize n)
{
	switch (elemVt) {
	case VT_I1: case VT_UI1: return (*env)->NewByteArray(env, n);
	case VT_I2: case VT_UI2: case VT_BOOL: return (*env)->NewShortArray(env, n);
	case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: return (*env)->NewIntArray(env, n);
	case VT_R4: return (*env)->NewFloatArray(env, n);
	case VT_R8: case VT_DATE: return (*env)->NewDoubleArray(env, n);
	case VT_I8: case VT_UI8: case VT_CY: case VT_DISPATCH: case VT_UNKNOWN: return (*env)->NewLongArray(env, n);
	case VT_DECIMAL: return (*env)->NewLongArray(env, 2 * n);
	case VT_BSTR: return (*env)->NewObjectArray(env, n, stringClass, NULL);
	default: return NULL;
	}
}

// A nested frame of n slots: Object[]{int[], long[], Object[]}.
static jobjectArray newFrame(JNIEnv *env, jsize n, jintArray *vts, jlongArray *bits, jobjectArray *refs)
{
	jobjectArray frame = (*env)->NewObjectArray(env, 3, objectClass, NULL);
	*vts = frame ? (*env)->NewIntArray(env, n) : NULL;
	*bits = *vts ? (*env)->NewLongArray(env, n) : NULL;
	*refs = *bits ? (*env)->NewObjectArray(env, n, objectClass, NULL) : NULL;
	if (*refs == NULL) {
		(*env)->DeleteLocalRef(env, frame);
		(*env)->DeleteLocalRef(env, *vts);
		(*env)->DeleteLocalRef(env, *bits);
		return NULL;
	}
	(*env)->SetObjectArrayElement(env, frame, 0, *vts);
	(*env)->SetObjectArrayElement(env, frame, 1, *bits);
	(*env)->SetObjectArrayElement(env, frame, 2, *refs);
	return frame;
}

static HRESULT putSlot(JNIEnv *env, jintArray vts, jlongArray bits, jobjectArray refs, jsize k, VARIANT *v)
{
	jint vt;
	jlong value;
	jobject ref = NULL;
	HRESULT hr = toWire(env, v, &vt, &value, &ref);
	if (FAILED(hr))
		return hr;
	(*env)->SetIntArrayRegion(env, vts, k, 1, &vt);
	(*env)->SetLongArrayRegion(env, bits, k, 1, &value);
	if (ref != NULL) {
		(*env)->SetObjectArrayElement(env, refs, k, ref);
		(*env)->DeleteLocalRef(env, ref);
	}
	return (*env)->ExceptionCheck(env) ? JAVA_PENDING : S_OK;
}

static HRESULT arrayToWire(JNIEnv *env, SAFEARRAY *array, VARTYPE elemVt, jobject *out)
{
	Elements e;
	HRESULT hr = openElements(array, &e);
	jintArray counts = NULL;
	jobject payload = NULL;
	jobjectArray wire = NULL;
	if (SUCCEEDED(hr)) {
		counts = (*env)->NewIntArray(env, (jsize) e.dims);
		if (counts != NULL)
			(*env)->SetIntArrayRegion(env, counts, 0, (jsize) e.dims, (const jint *) e.count);
		jintArray vts = NULL;
		jlongArray bits = NULL;
		jobjectArray refs = NULL;
		if (counts == NULL)
			hr = JAVA_PENDING;
		else if (elemVt == VT_VARIANT)
			payload = newFrame(env, e.total, &vts, &bits, &refs);
		else if ((payload = newPayload(env, elemVt, e.total)) == NULL && !(*env)->ExceptionCheck(env))
			hr = DISP_E_BADVARTYPE;
		if (SUCCEEDED(hr) && payload == NULL)
			hr = JAVA_PENDING;
		for (LONG k = 0; k < e.total && SUCCEEDED(hr); ++k) {
			void *at = elementAt(&e, k);
			switch (elemVt) {
			case VT_VARIANT: {
				// The element is copied out: the array keeps its own content until destroyed.
				VARIANT copy;
				VariantInit(&copy);
				hr = VariantCopyInd(&copy, (VARIANT *) at);
				if (SUCCEEDED(hr))
					hr = putSlot(env, vts, bits, refs, k, &copy);
				VariantClear(&copy);
				break;
			}
			case VT_BSTR: {
				BSTR b = *(BSTR *) at;
				jstring str = b != NULL ? javaString(env, b, SysStringLen(b)) : NULL;
				if (str != NULL)
					(*env)->SetObjectArrayElement(env, (jobjectArray) payload, k, str);
				(*env)->DeleteLocalRef(env, str);
				break;
			}
			case VT_DISPATCH: case VT_UNKNOWN: {
				IUnknown *unknown = *(IUnknown **) at;
				jlong pointer = JPTR(unknown);
				if (unknown != NULL)
					IUnknown_AddRef(unknown);
				(*env)->SetLongArrayRegion(env, (jlongArray) payload, k, 1, &pointer);
				break;
			}
			case VT_DECIMAL: {
				DECIMAL d = *(DECIMAL *) at;
				d.wReserved = 0;
				(*env)->SetLongArrayRegion(env, (jlongArray) payload, 2 * k, 2, (const jlong *) &d);
				break;
			}
			case VT_I1: case VT_UI1: (*env)->SetByteArrayRegion(env, (jbyteArray) payload, k, 1, at); break;
			case VT_I2: case VT_UI2: case VT_BOOL:
				(*env)->SetShortArrayRegion(env, (jshortArray) payload, k, 1, at);
				break;
			case VT_R4: (*env)->SetFloatArrayRegion(env, (jfloatArray) payload, k, 1, at); break;
			case VT_R8: case VT_DATE: (*env)->SetDoubleArrayRegion(env, (jdoubleArray) payload, k, 1, at); break;
			case VT_I8: case VT_UI8: case VT_CY: (*env)->SetLongArrayRegion(env, (jlongArray) payload, k, 1, at); break;
			default: (*env)->SetIntArrayRegion(env, (jintArray) payload, k, 1, at); break;
			}
			if (SUCCEEDED(hr) && (*env)->ExceptionCheck(env))
				hr = JAVA_PENDING;
		}
		(*env)->DeleteLocalRef(env, vts);
		(*env)->DeleteLocalRef(env, bits);
		(*env)->DeleteLocalRef(env, refs);
		closeElements(&e);
	}
	if (SUCCEEDED(hr)) {
		wire = (*env)->NewObjectArray(env, 2, objectClass, NULL);
		if (wire != NULL) {
			(*env)->SetObjectArrayElement(env, wire, 0, counts);
			(*env)->SetObjectArrayElement(env, wire, 1, payload);
		} else {
			hr = JAVA_PENDING;
		}
	}
	(*env)->DeleteLocalRef(env, counts);
	(*env)->DeleteLocalRef(env, payload);
	*out = wire;
	return hr;
}

HRESULT toWire(JNIEnv *env, VARIANT *v, jint *vt, jlong *bits, jobject *ref)
{
	*ref = NULL;
	*bits = 0;
	HRESULT hr = S_OK;
	if (V_VT(v) & VT_BYREF) {
		hr = VariantCopyInd(v, v);
		if (FAILED(hr))
			return hr;
	}
	if (V_VT(v) & VT_ARRAY) {
		hr = trueArrayType(v);
		if (FAILED(hr)) {
			VariantClear(v);
			return hr;
		}
	}
	*vt = V_VT(v);
	union {
		jlong bits;
		double real;
		jint word;
		float single;
	} value;
	value.bits = 0;
	if (V_VT(v) & VT_ARRAY) {
		hr = V_ARRAY(v) != NULL ? arrayToWire(env, V_ARRAY(v), V_VT(v) & VT_TYPEMASK, ref) : S_OK;
		VariantClear(v);
		return hr;
	}
	switch (V_VT(v)) {
	case VT_EMPTY: case VT_NULL: break;
	case VT_I1: *bits = V_I1(v); break;
	case VT_UI1: *bits = V_UI1(v); break;
	case VT_I2: *bits = V_I2(v); break;
	case VT_UI2: *bits = V_UI2(v); break;
	case VT_I4: *bits = V_I4(v); break;
	case VT_UI4: *bits = V_UI4(v); break;
	case VT_INT: *bits = V_INT(v); break;
	case VT_UINT: *bits = V_UINT(v); break;
	case VT_ERROR: *bits = V_ERROR(v); break;
	case VT_I8: *bits = V_I8(v); break;
	case VT_UI8: *bits = (jlong) V_UI8(v); break;
	case VT_BOOL: *bits = V_BOOL(v) != VARIANT_FALSE; break;
	case VT_R4: value.single = V_R4(v); *bits = value.word; break;
	case VT_R8: value.real = V_R8(v); *bits = value.bits; break;
	case VT_DATE: value.real = V_DATE(v); *bits = value.bits; break;
	case VT_CY: *bits = V_CY(v).int64; break;
	case VT_BSTR:
		if (V_BSTR(v) != NULL && (*ref = javaString(env, V_BSTR(v), SysStringLen(V_BSTR(v)))) == NULL)
			hr = JAVA_PENDING;
		break;
	case VT_UNKNOWN:
		// Java calls through IDispatch, so an object that has one is handed out as that.
		if (V_UNKNOWN(v) != NULL) {
			IDispatch *disp = NULL;
			if (SUCCEEDED(IUnknown_QueryInterface(V_UNKNOWN(v), &IID_IDispatch, (void **) &disp))) {
				IUnknown_Release(V_UNKNOWN(v));
				V_VT(v) = VT_DISPATCH;
				V_DISPATCH(v) = disp;
				*vt = VT_DISPATCH;
			}
		}
		/* fall through */
	case VT_DISPATCH:
		*bits = JPTR(V_UNKNOWN(v));
		V_VT(v) = VT_EMPTY;
		return S_OK;
	case VT_DECIMAL: {
		DECIMAL d = V_DECIMAL(v);
		d.wReserved = 0;
		jlongArray halves = (*env)->NewLongArray(env, 2);
		if (halves != NULL)
			(*env)->SetLongArrayRegion(env, halves, 0, 2, (const jlong *) &d);
		*ref = halves;
		if (halves == NULL)
			hr = JAVA_PENDING;
		VariantInit(v);
		return hr;
	}
	default:
		// A type Java does not hold (a record, say): reported by its VARTYPE.
		break;
	}
	clearVariant(v);
	return hr;
}

// Result conversion to the declared type.

static HRESULT coerceArray(VARIANT *v, VARTYPE elemVt)
{
	HRESULT hr = trueArrayType(v);
	if (FAILED(hr))
		return hr;
	SAFEARRAY *source = V_ARRAY(v);
	VARTYPE from = V_VT(v) & VT_TYPEMASK;
	if (source == NULL) {
		V_VT(v) = VT_ARRAY | elemVt;
		return S_OK;
	}
	Elements in, out;
	hr = openElements(source, &in);
	if (FAILED(hr))
		return hr;
	SAFEARRAYBOUND bounds[MAX_DIMS];
	for (UINT d = 0; d < in.dims; ++d) {
		bounds[d].cElements = (ULONG) in.count[d];
		bounds[d].lLbound = in.lower[d];
	}
	SAFEARRAY *target = SafeArrayCreate(elemVt, in.dims, bounds);
	hr = target != NULL ? openElements(target, &out) : E_OUTOFMEMORY;
	for (LONG k = 0; k < in.total && SUCCEEDED(hr); ++k) {
		VARIANT element, converted;
		VariantInit(&element);
		VariantInit(&converted);
		void *at = elementAt(&in, k);
		if (from == VT_VARIANT) {
			hr = VariantCopyInd(&element, (VARIANT *) at);
		} else {
			VARIANT borrowed;
			VariantInit(&borrowed);
			V_VT(&borrowed) = VT_BYREF | from;
			V_BYREF(&borrowed) = at;
			hr = VariantCopyInd(&element, &borrowed);
		}
		if (SUCCEEDED(hr)) {
			void *to = elementAt(&out, k);
			if (elemVt == VT_VARIANT) {
				*(VARIANT *) to = element;
				VariantInit(&element);
			} else {
				hr = VariantChangeType(&converted, &element, 0, elemVt);
				if (SUCCEEDED(hr)) {
					if (elemVt == VT_DECIMAL)
						*(DECIMAL *) to = V_DECIMAL(&converted);
					else
						memcpy(to, &V_UI1(&converted), out.size);
					VariantInit(&converted);
				}
			}
		}
		VariantClear(&element);
		VariantClear(&converted);
	}
	closeElements(&in);
	if (target != NULL)
		closeElements(&out);
	if (FAILED(hr)) {
		if (target != NULL)
			SafeArrayDestroy(target);
		return hr;
	}
	VariantClear(v);
	V_VT(v) = VT_ARRAY | elemVt;
	V_ARRAY(v) = target;
	return S_OK;
}

HRESULT coerce(VARIANT *v, VARTYPE to)
{
	if (V_VT(v) & VT_BYREF) {
		HRESULT hr = VariantCopyInd(v, v);
		if (FAILED(hr))
			return hr;
	}
	if ((V_VT(v) & VT_ARRAY) && (to & VT_ARRAY)) {
		HRESULT hr = trueArrayType(v);
		if (FAILED(hr))
			return hr;
	}
	if (to == VT_LPWSTR || to == VT_LPSTR)
		to = VT_BSTR;
	else if (to == VT_HRESULT)
		to = VT_I4;
	if (to == VT_VARIANT || V_VT(v) == to)
		return S_OK;
	if ((to == VT_DISPATCH || to == VT_UNKNOWN || (to & VT_ARRAY)) && (V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL)) {
		V_VT(v) = to;
		V_BYREF(v) = NULL;
		return S_OK;
	}
	if (to & VT_ARRAY)
		return (V_VT(v) & VT_ARRAY) ? coerceArray(v, to & VT_TYPEMASK) : DISP_E_TYPEMISMATCH;
	if (to == VT_UNKNOWN && V_VT(v) == VT_DISPATCH)
		return S_OK;
	return VariantChangeType(v, v, 0, to);
}

// The natives.

JNIEXPORT jboolean JNICALL Java_mivra_runtime_NativeComLayer_initThread(JNIEnv *env, jobject self, jboolean mta)
{
	(void) self;
	HRESULT hr = mta ? CoInitializeEx(NULL, COINIT_MULTITHREADED) : OleInitialize(NULL);
	if (hr == RPC_E_CHANGED_MODE)
		return mta ? JNI_FALSE : JNI_TRUE;
	if (FAILED(hr)) {
		throwFailure(env, hr, NULL, -1, L"Joining COM");
		return JNI_FALSE;
	}
	return mta ? JNI_TRUE : JNI_FALSE;
}

static HRESULT classIdOf(JNIEnv *env, jstring name, CLSID *clsid, BSTR *text)
{
	HRESULT hr = bstrOf(env, name, text);
	if (FAILED(hr))
		return hr;
	if (*text == NULL)
		return E_INVALIDARG;
	return (*text)[0] == L'{' ? CLSIDFromString(*text, clsid) : CLSIDFromProgID(*text, clsid);
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_create(JNIEnv *env, jobject self, jstring classId, jboolean find)
{
	(void) self;
	CLSID clsid;
	BSTR name = NULL;
	IDispatch *disp = NULL;
	HRESULT hr = classIdOf(env, classId, &clsid, &name);
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
		throwFailure(env, hr, NULL, -1, subject);
		disp = NULL;
	}
	SysFreeString(name);
	return JPTR(disp);
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_queryInterface(JNIEnv *env, jobject self, jlong unknown,
                                                                         jstring iid)
{
	(void) self;
	BSTR text = NULL;
	IID id;
	void *found = NULL;
	HRESULT hr = bstrOf(env, iid, &text);
	if (SUCCEEDED(hr))
		hr = text != NULL ? IIDFromString(text, &id) : E_INVALIDARG;
	if (SUCCEEDED(hr))
		hr = IUnknown_QueryInterface((IUnknown *) PTR(unknown), &id, &found);
	if (hr == E_NOINTERFACE)
		found = NULL;
	else if (FAILED(hr))
		throwFailure(env, hr, NULL, -1, text ? text : L"QueryInterface");
	SysFreeString(text);
	return JPTR(found);
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_release(JNIEnv *env, jobject self, jlong unknown)
{
	(void) env;
	(void) self;
	if (unknown != 0)
		IUnknown_Release((IUnknown *) PTR(unknown));
}

JNIEXPORT jint JNICALL Java_mivra_runtime_NativeComLayer_dispIdOf(JNIEnv *env, jobject self, jlong dispatch,
                                                                  jstring name)
{
	(void) self;
	BSTR text = NULL;
	DISPID id = DISPID_UNKNOWN;
	HRESULT hr = bstrOf(env, name, &text);
	if (SUCCEEDED(hr))
		hr = text != NULL ? IDispatch_GetIDsOfNames((IDispatch *) PTR(dispatch), &IID_NULL, &text, 1,
		                                            LOCALE_USER_DEFAULT, &id)
		                  : E_INVALIDARG;
	if (FAILED(hr))
		throwFailure(env, hr, NULL, -1, text ? text : L"GetIDsOfNames");
	SysFreeString(text);
	return id;
}

void clearArgument(jint vt, VARIANTARG *arg, ByRefStore *store)
{
	if (vt & VT_BYREF) {
		if ((vt & ~VT_BYREF) != VT_DECIMAL)
			VariantClear(&store->variant);
		V_VT(arg) = VT_EMPTY;
	} else {
		clearVariant(arg);
	}
}

// A nested frame of one slot (a VARIANT passed by reference): its content.
static HRESULT fromNestedFrame(JNIEnv *env, jobjectArray frame, VARIANT *out)
{
	jintArray vts = (jintArray) (*env)->GetObjectArrayElement(env, frame, 0);
	jlongArray values = vts ? (jlongArray) (*env)->GetObjectArrayElement(env, frame, 1) : NULL;
	jobjectArray refs = values ? (jobjectArray) (*env)->GetObjectArrayElement(env, frame, 2) : NULL;
	jint innerVt = 0;
	jlong innerBits = 0;
	jobject innerRef = NULL;
	if (refs != NULL) {
		(*env)->GetIntArrayRegion(env, vts, 0, 1, &innerVt);
		(*env)->GetLongArrayRegion(env, values, 0, 1, &innerBits);
		innerRef = (*env)->GetObjectArrayElement(env, refs, 0);
	}
	HRESULT hr = (*env)->ExceptionCheck(env) ? JAVA_PENDING : fromWire(env, out, innerVt, innerBits, innerRef);
	(*env)->DeleteLocalRef(env, vts);
	(*env)->DeleteLocalRef(env, values);
	(*env)->DeleteLocalRef(env, refs);
	(*env)->DeleteLocalRef(env, innerRef);
	return hr;
}

HRESULT prepareArgument(JNIEnv *env, jint vt, jlong bits, jobject ref, VARIANTARG *arg, ByRefStore *store)
{
	V_VT(arg) = VT_EMPTY;
	if (!(vt & VT_BYREF))
		return fromWire(env, arg, vt, bits, ref);
	jint base = vt & ~VT_BYREF;
	HRESULT hr;
	if (base == VT_VARIANT) {
		hr = fromNestedFrame(env, (jobjectArray) ref, &store->variant);
		if (FAILED(hr))
			return hr;
		V_VT(arg) = VT_BYREF | VT_VARIANT;
		V_VARIANTREF(arg) = &store->variant;
		return S_OK;
	}
	hr = fromWire(env, &store->variant, base, bits, ref);
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

// The new value of a by-reference argument, into its slot (or nested frame).
HRESULT returnArgument(JNIEnv *env, jint vt, ByRefStore *store, jint *slotVt, jlong *slotBits, jobject *slotRef,
                       jobject frame)
{
	jint base = vt & ~VT_BYREF;
	if (base == VT_VARIANT) {
		jintArray vts = (jintArray) (*env)->GetObjectArrayElement(env, (jobjectArray) frame, 0);
		jlongArray values = vts ? (jlongArray) (*env)->GetObjectArrayElement(env, (jobjectArray) frame, 1) : NULL;
		jobjectArray refs = values ? (jobjectArray) (*env)->GetObjectArrayElement(env, (jobjectArray) frame, 2) : NULL;
		HRESULT hr = refs != NULL ? putSlot(env, vts, values, refs, 0, &store->variant) : JAVA_PENDING;
		(*env)->DeleteLocalRef(env, vts);
		(*env)->DeleteLocalRef(env, values);
		(*env)->DeleteLocalRef(env, refs);
		*slotVt = vt;
		return hr;
	}
	if (base == VT_DECIMAL) {
		DECIMAL d = store->decimal;
		V_DECIMAL(&store->variant) = d;
	}
	V_VT(&store->variant) = (VARTYPE) base;
	return toWire(env, &store->variant, slotVt, slotBits, slotRef);
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_invoke(JNIEnv *env, jobject self, jlong dispatch, jint dispId,
                                                               jint flags, jint resultVt, jintArray vtArray,
                                                               jlongArray bitsArray, jobjectArray refArray)
{
	(void) self;
	jsize slots = (*env)->GetArrayLength(env, vtArray);
	if (slots < 1 || (*env)->GetArrayLength(env, bitsArray) != slots || (*env)->GetArrayLength(env, refArray) != slots) {
		throwFailure(env, E_INVALIDARG, NULL, -1, L"invoke");
		return;
	}
	jsize n = slots - 1;
	jint localVts[LOCAL_ARGS + 1], localKinds[LOCAL_ARGS + 1];
	jlong localBits[LOCAL_ARGS + 1];
	VARIANTARG localArgs[LOCAL_ARGS];
	ByRefStore localStores[LOCAL_ARGS];
	jint *vts = localVts, *kinds = localKinds;
	jlong *bits = localBits;
	VARIANTARG *args = localArgs;
	ByRefStore *stores = localStores;
	if (n > LOCAL_ARGS) {
		vts = CoTaskMemAlloc(sizeof *vts * slots);
		kinds = CoTaskMemAlloc(sizeof *kinds * slots);
		bits = CoTaskMemAlloc(sizeof *bits * slots);
		args = CoTaskMemAlloc(sizeof *args * n);
		stores = CoTaskMemAlloc(sizeof *stores * n);
		if (!vts || !kinds || !bits || !args || !stores) {
			CoTaskMemFree(vts);
			CoTaskMemFree(kinds);
			CoTaskMemFree(bits);
			CoTaskMemFree(args);
			CoTaskMemFree(stores);
			throwFailure(env, E_OUTOFMEMORY, NULL, -1, NULL);
			return;
		}
	}
	(*env)->GetIntArrayRegion(env, vtArray, 0, slots, vts);
	(*env)->GetLongArrayRegion(env, bitsArray, 0, slots, bits);
	// The slots get the new values; the argument kinds are kept for the clean-up.
	for (jsize i = 0; i < slots; ++i)
		kinds[i] = vts[i];

	// rgvarg holds the arguments last first.
	HRESULT hr = S_OK;
	jsize prepared = 0;
	for (; prepared < n; ++prepared) {
		jsize i = prepared;
		jobject ref = NULL;
		if (needsRef(vts[i])) {
			ref = (*env)->GetObjectArrayElement(env, refArray, i);
			if ((*env)->ExceptionCheck(env)) {
				hr = JAVA_PENDING;
				break;
			}
		}
		hr = prepareArgument(env, vts[i], bits[i], ref, &args[n - 1 - i], &stores[i]);
		if (ref != NULL)
			(*env)->DeleteLocalRef(env, ref);
		if (FAILED(hr))
			break;
	}
	VARIANT result;
	V_VT(&result) = VT_EMPTY;
	EXCEPINFO info = {0};
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
			argIndex = (int) (n - 1 - (jsize) argError);
		if (SUCCEEDED(hr))
			freeExcepInfo(&info);
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
			if (resultVt == VT_EMPTY) {
				clearVariant(&result);
				vts[n] = VT_EMPTY;
				bits[n] = 0;
			} else {
				hr = coerce(&result, (VARTYPE) resultVt);
				if (SUCCEEDED(hr))
					hr = toWire(env, &result, &vts[n], &bits[n], &ref);
				if (SUCCEEDED(hr) && vts[n] == VT_DISPATCH && bits[n] != 0 && resultVt != VT_VARIANT &&
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
		clearArgument(kinds[i], &args[n - 1 - i], &stores[i]);
	clearVariant(&result);
	if (FAILED(hr))
		throwFailure(env, hr, &info, argIndex, NULL);
	freeExcepInfo(&info);
	if (vts != localVts) {
		CoTaskMemFree(vts);
		CoTaskMemFree(kinds);
		CoTaskMemFree(bits);
		CoTaskMemFree(args);
		CoTaskMemFree(stores);
	}
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_newEnum(JNIEnv *env, jobject self, jlong dispatch)
{
	(void) self;
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
		throwFailure(env, hr, &info, -1, NULL);
	freeExcepInfo(&info);
	return JPTR(enumerator);
}

JNIEXPORT jint JNICALL Java_mivra_runtime_NativeComLayer_next(JNIEnv *env, jobject self, jlong enumerator,
                                                             jint elementVt, jintArray vtArray, jlongArray bitsArray,
                                                             jobjectArray refArray)
{
	(void) self;
	jsize wanted = (*env)->GetArrayLength(env, vtArray);
	if (wanted > MAX_BATCH)
		wanted = MAX_BATCH;
	VARIANT batch[MAX_BATCH];
	for (jsize k = 0; k < wanted; ++k)
		VariantInit(&batch[k]);
	ULONG fetched = 0;
	HRESULT hr = IEnumVARIANT_Next((IEnumVARIANT *) PTR(enumerator), (ULONG) wanted, batch, &fetched);
	if (SUCCEEDED(hr)) {
		hr = S_OK;
		if (fetched > (ULONG) wanted)
			fetched = (ULONG) wanted;
	} else {
		fetched = 0;
	}
	// Every element converts before any goes to Java, so that a failure leaves
	// no pointer in the frame that Java would not know of.
	for (ULONG k = 0; k < fetched && SUCCEEDED(hr); ++k)
		if (elementVt != VT_VARIANT)
			hr = coerce(&batch[k], (VARTYPE) elementVt);
	for (ULONG k = 0; k < fetched && SUCCEEDED(hr); ++k)
		hr = putSlot(env, vtArray, bitsArray, refArray, (jsize) k, &batch[k]);
	if (FAILED(hr)) {
		for (ULONG k = 0; k < fetched; ++k)
			VariantClear(&batch[k]);
		throwFailure(env, hr, NULL, -1, NULL);
		return 0;
	}
	return (jint) fetched;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_pump(JNIEnv *env, jobject self, jint millis)
{
	(void) env;
	(void) self;
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

// Events. A sink is an IDispatch of our own that the server's connection
// point calls; it turns each Invoke into a call of its EventSink in Java.
// The EventSink is held by a global reference from Advise to Unadvise only;
// an Unadvise during a delivery (a listener closing its own connection)
// lets the delivery finish and drops the reference after it.

typedef struct {
	IDispatch iface;
	LONG refs;
	IID iid;
	CRITICAL_SECTION lock;
	jobject target;             // the EventSink while connected
	jobject retired;            // the EventSink of a closed sink still delivering
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
		// Unadvise has let go of the Java side before the last reference goes.
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

// The thread of an event joins the VM once and stays, as a daemon: COM's and
// the server's threads come and go without the VM waiting for them.
static JNIEnv *eventEnv(void)
{
	JNIEnv *env = NULL;
	if (javaVm == NULL)
		return NULL;
	jint status = (*javaVm)->GetEnv(javaVm, (void **) &env, JNI_VERSION_1_6);
	if (status == JNI_EDETACHED &&
	    (*javaVm)->AttachCurrentThreadAsDaemon(javaVm, (void **) &env, NULL) != JNI_OK)
		return NULL;
	return status == JNI_OK || status == JNI_EDETACHED ? env : NULL;
}

// An argument of the server as an owned VARIANT of the declared type; by
// reference when both the server and the declaration say so (a VARIANT
// declaration takes what comes).
static HRESULT eventArgument(VARIANTARG *arg, jint declared, VARIANT *value, signed char *byRef)
{
	VARTYPE base = (VARTYPE) (declared & ~VT_BYREF);
	*byRef = (signed char) ((V_VT(arg) & VT_BYREF) && ((declared & VT_BYREF) || base == VT_VARIANT));
	VariantInit(value);
	HRESULT hr = VariantCopyInd(value, arg);
	if (SUCCEEDED(hr) && base != VT_VARIANT)
		hr = coerce(value, base);
	if (FAILED(hr))
		VariantClear(value);
	return hr;
}

// The VARIANT into slot i, taking its content over; a by-reference slot keeps
// VT_BYREF (a VARIANT one is a nested frame of one slot, as invoke's are).
static HRESULT eventSlot(JNIEnv *env, jintArray vts, jlongArray bits, jobjectArray refs, jsize i, VARIANT *value,
                         signed char byRef)
{
	jint vt;
	jlong number = 0;
	jobject ref = NULL;
	HRESULT hr;
	if (byRef < 0) {
		jintArray innerVts;
		jlongArray innerBits;
		jobjectArray innerRefs;
		ref = newFrame(env, 1, &innerVts, &innerBits, &innerRefs);
		hr = ref != NULL ? putSlot(env, innerVts, innerBits, innerRefs, 0, value) : JAVA_PENDING;
		(*env)->DeleteLocalRef(env, innerVts);
		(*env)->DeleteLocalRef(env, innerBits);
		(*env)->DeleteLocalRef(env, innerRefs);
		vt = VT_BYREF | VT_VARIANT;
	} else {
		hr = toWire(env, value, &vt, &number, &ref);
		if (byRef)
			vt |= VT_BYREF;
	}
	VariantClear(value);
	if (SUCCEEDED(hr)) {
		(*env)->SetIntArrayRegion(env, vts, i, 1, &vt);
		(*env)->SetLongArrayRegion(env, bits, i, 1, &number);
		if (ref != NULL)
			(*env)->SetObjectArrayElement(env, refs, i, ref);
		if ((*env)->ExceptionCheck(env))
			hr = JAVA_PENDING;
	}
	(*env)->DeleteLocalRef(env, ref);
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
		HRESULT hr = V_VT(value) == to || V_VT(value) == VT_EMPTY ? S_OK : coerceArray(value, to & VT_TYPEMASK);
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

static HRESULT readBack(JNIEnv *env, jintArray vtArray, jlongArray bitsArray, jobjectArray refArray, jsize i,
                        VARIANTARG *arg)
{
	jint vt;
	jlong bits;
	(*env)->GetIntArrayRegion(env, vtArray, i, 1, &vt);
	(*env)->GetLongArrayRegion(env, bitsArray, i, 1, &bits);
	jobject ref = (*env)->GetObjectArrayElement(env, refArray, i);
	if ((*env)->ExceptionCheck(env))
		return JAVA_PENDING;
	HRESULT hr;
	VARIANT value;
	VariantInit(&value);
	if ((vt & ~VT_BYREF) == VT_VARIANT) {
		hr = fromNestedFrame(env, (jobjectArray) ref, &value);
	} else {
		hr = fromWire(env, &value, vt & ~VT_BYREF, bits, ref);
	}
	(*env)->DeleteLocalRef(env, ref);
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

// A Java exception the EventSink did not catch (it catches what listeners
// throw; this is the VM failing): reported, never left for COM's caller.
static int javaFailed(JNIEnv *env)
{
	if (!(*env)->ExceptionCheck(env))
		return 0;
	(*env)->ExceptionDescribe(env);
	(*env)->ExceptionClear(env);
	return 1;
}

static HRESULT deliver(JNIEnv *env, jobject target, DISPID id, DISPPARAMS *params, EXCEPINFO *info, UINT *argError)
{
	jsize n = (jsize) params->cArgs;
	jintArray types = (jintArray) (*env)->CallObjectMethod(env, target, sinkTypesMethod, (jint) id, (jint) n);
	if (javaFailed(env))
		return DISP_E_EXCEPTION;
	if (types == NULL)
		return DISP_E_MEMBERNOTFOUND;
	if ((*env)->GetArrayLength(env, types) != n)
		return DISP_E_BADPARAMCOUNT;
	jint localDeclared[LOCAL_ARGS];
	signed char localByRef[LOCAL_ARGS];
	VARIANT localValues[LOCAL_ARGS];
	int big = n > LOCAL_ARGS;
	jint *declared = big ? CoTaskMemAlloc(sizeof *declared * n) : localDeclared;
	signed char *byRef = big ? CoTaskMemAlloc((size_t) n) : localByRef;
	VARIANT *values = big ? CoTaskMemAlloc(sizeof *values * n) : localValues;
	HRESULT hr = declared == NULL || byRef == NULL || values == NULL ? E_OUTOFMEMORY : S_OK;
	if (SUCCEEDED(hr))
		(*env)->GetIntArrayRegion(env, types, 0, n, declared);
	// Every argument converts before any goes to Java, so that a mismatch
	// leaves no reference in a frame Java would never read.
	jsize converted = 0;
	for (; converted < n && SUCCEEDED(hr); ++converted) {
		VARIANTARG *arg = &params->rgvarg[n - 1 - converted];
		hr = eventArgument(arg, declared[converted], &values[converted], &byRef[converted]);
		if (FAILED(hr)) {
			if (argError != NULL)
				*argError = (UINT) (n - 1 - converted);
			break;
		}
		if (byRef[converted] && (declared[converted] & ~VT_BYREF) == VT_VARIANT)
			byRef[converted] = -1;
	}
	jintArray vts = SUCCEEDED(hr) ? (*env)->NewIntArray(env, n) : NULL;
	jlongArray bits = vts ? (*env)->NewLongArray(env, n) : NULL;
	jobjectArray refs = bits ? (*env)->NewObjectArray(env, n, objectClass, NULL) : NULL;
	if (SUCCEEDED(hr) && refs == NULL)
		hr = JAVA_PENDING;
	jsize slotted = 0;
	for (; slotted < n && SUCCEEDED(hr); ++slotted)
		hr = eventSlot(env, vts, bits, refs, slotted, &values[slotted], byRef[slotted]);
	for (jsize i = slotted; i < converted; ++i)
		VariantClear(&values[i]);
	jstring failure = NULL;
	if (SUCCEEDED(hr)) {
		failure = (jstring) (*env)->CallObjectMethod(env, target, sinkInvokeMethod, (jint) id, vts, bits, refs);
		if (javaFailed(env)) {
			hr = DISP_E_EXCEPTION;
			listenerFailed(info, L"The Java VM failed to deliver the event", 39);
		}
	} else if (hr == JAVA_PENDING) {
		javaFailed(env);
		hr = DISP_E_EXCEPTION;
	}
	if (SUCCEEDED(hr) && failure != NULL) {
		jsize length = (*env)->GetStringLength(env, failure);
		WCHAR *text = CoTaskMemAlloc(sizeof(WCHAR) * (length + 1));
		if (text != NULL) {
			(*env)->GetStringRegion(env, failure, 0, length, (jchar *) text);
			listenerFailed(info, text, (UINT) length);
			CoTaskMemFree(text);
		}
		hr = DISP_E_EXCEPTION;
	}
	for (jsize i = 0; i < n && SUCCEEDED(hr); ++i)
		if (byRef[i]) {
			hr = readBack(env, vts, bits, refs, i, &params->rgvarg[n - 1 - i]);
			if (hr == JAVA_PENDING) {
				javaFailed(env);
				hr = DISP_E_EXCEPTION;
			}
		}
	(*env)->DeleteLocalRef(env, failure);
	(*env)->DeleteLocalRef(env, types);
	(*env)->DeleteLocalRef(env, vts);
	(*env)->DeleteLocalRef(env, bits);
	(*env)->DeleteLocalRef(env, refs);
	if (big) {
		CoTaskMemFree(declared);
		CoTaskMemFree(byRef);
		CoTaskMemFree(values);
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
	jobject target = sink->target;
	if (target != NULL)
		++sink->deliveries;
	LeaveCriticalSection(&sink->lock);
	// After Unadvise an event still on its way is dropped.
	if (target == NULL)
		return S_OK;
	sinkAddRef(iface);
	JNIEnv *env = eventEnv();
	HRESULT hr = E_UNEXPECTED;
	if (env != NULL && (*env)->PushLocalFrame(env, 16) == 0) {
		hr = deliver(env, target, id, params, info, argError);
		(*env)->PopLocalFrame(env, NULL);
	} else if (env != NULL) {
		javaFailed(env);
	}
	EnterCriticalSection(&sink->lock);
	jobject retired = --sink->deliveries == 0 ? sink->retired : NULL;
	if (retired != NULL)
		sink->retired = NULL;
	LeaveCriticalSection(&sink->lock);
	if (retired != NULL && env != NULL)
		(*env)->DeleteGlobalRef(env, retired);
	sinkRelease(iface);
	return hr;
}

static const IDispatchVtbl sinkVtbl = {
	sinkQueryInterface, sinkAddRef, sinkRelease, sinkGetTypeInfoCount, sinkGetTypeInfo, sinkGetIDsOfNames, sinkInvoke,
};

// Lets go of the Java side: now, or after the delivery under way.
static void sinkDisconnect(JNIEnv *env, Sink *sink)
{
	EnterCriticalSection(&sink->lock);
	jobject target = sink->target;
	sink->target = NULL;
	if (sink->deliveries > 0) {
		sink->retired = target;
		target = NULL;
	}
	LeaveCriticalSection(&sink->lock);
	if (target != NULL)
		(*env)->DeleteGlobalRef(env, target);
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_advise(JNIEnv *env, jobject self, jlong unknown, jstring iid,
                                                                jobject eventSink)
{
	(void) self;
	BSTR text = NULL;
	IID id;
	IConnectionPointContainer *container = NULL;
	Connection *connection = NULL;
	int noContainer = 0;
	HRESULT hr = javaVm != NULL && eventSink != NULL ? bstrOf(env, iid, &text) : E_INVALIDARG;
	if (SUCCEEDED(hr))
		hr = text != NULL ? IIDFromString(text, &id) : E_INVALIDARG;
	if (SUCCEEDED(hr))
		hr = IUnknown_QueryInterface((IUnknown *) PTR(unknown), &IID_IConnectionPointContainer, (void **) &container);
	noContainer = hr == E_NOINTERFACE;
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
			InitializeCriticalSection(&sink->lock);
			connection->sink = sink;
			sink->target = (*env)->NewGlobalRef(env, eventSink);
			hr = sink->target != NULL ? S_OK : JAVA_PENDING;
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
			sinkDisconnect(env, connection->sink);
			sinkRelease(&connection->sink->iface);
			CoTaskMemFree(connection);
			connection = NULL;
		}
		WCHAR subject[160];
		swprintf(subject, 160, noContainer ? L"The object has no events (IConnectionPointContainer) for %ls"
		                                   : L"Connecting a listener of %ls", text ? text : L"");
		throwFailure(env, hr, NULL, -1, subject);
	}
	SysFreeString(text);
	return JPTR(connection);
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_unadvise(JNIEnv *env, jobject self, jlong handle)
{
	(void) self;
	Connection *connection = PTR(handle);
	if (connection == NULL)
		return;
	// The Java side goes first, so that nothing reaches it once this returns,
	// whatever the server does with the sink.
	sinkDisconnect(env, connection->sink);
	IConnectionPoint_Unadvise(connection->point, connection->cookie);
	IConnectionPoint_Release(connection->point);
	sinkRelease(&connection->sink->iface);
	CoTaskMemFree(connection);
}
