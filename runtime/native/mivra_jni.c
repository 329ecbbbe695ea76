// The JNI library of the runtime (mivra_runtime32.dll, mivra_runtime64.dll):
// NativeComLayer's natives over the core (mivra_core.h). Here Java frames
// become C frames and back, failures become MivraException; the COM work is
// the core's, shared with mivra-bridge.exe.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mivra_core.h"
#include "mivra_runtime_NativeComLayer.h"

// A Java exception is already pending: the caller only cleans up.
#define JAVA_PENDING ((int32_t) 0xA0EE0001L)
#define E_OUTOFMEMORY_HR ((int32_t) 0x8007000EL)
#define E_INVALIDARG_HR ((int32_t) 0x80070057L)
#define DISP_E_BADVARTYPE_HR ((int32_t) 0x80020008L)
#define LOCAL_SLOTS 17
// Bytes of string arguments a call keeps on the stack.
#define LOCAL_TEXT 512
// Local references a native may hold without asking the JVM for room.
#define KEPT_LOCALS 8

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

static jstring javaString(JNIEnv *env, const MvString *s)
{
	return (*env)->NewString(env, (const jchar *) (s != NULL ? s->text : NULL), s != NULL ? (jsize) s->length : 0);
}

static int32_t stringOf(JNIEnv *env, jstring str, MvString **out)
{
	*out = NULL;
	if (str == NULL)
		return 0;
	jsize length = (*env)->GetStringLength(env, str);
	MvString *s = mvStringNew(NULL, (uint32_t) length);
	if (s == NULL)
		return E_OUTOFMEMORY_HR;
	(*env)->GetStringRegion(env, str, 0, length, (jchar *) s->text);
	*out = s;
	return 0;
}

// Failures become MivraException.

static void throwFailure(JNIEnv *env, int32_t hr, MvFailure *failure)
{
	if (hr == JAVA_PENDING || (*env)->ExceptionCheck(env))
		return;
	if (hr == E_OUTOFMEMORY_HR) {
		jclass oom = (*env)->FindClass(env, "java/lang/OutOfMemoryError");
		if (oom != NULL)
			(*env)->ThrowNew(env, oom, "COM memory exhausted");
		return;
	}
	MvFailure none = {0};
	if (failure == NULL || failure->message == NULL) {
		failure = &none;
		none.hr = hr;
		none.argIndex = -1;
		none.message = mvStringAscii("COM call failed");
	}
	jstring message = javaString(env, failure->message);
	jstring source = message && failure->source ? javaString(env, failure->source) : NULL;
	jstring description = message && failure->description ? javaString(env, failure->description) : NULL;
	jstring help = message && failure->helpFile ? javaString(env, failure->helpFile) : NULL;
	mvFailureClear(&none);
	if ((*env)->ExceptionCheck(env))
		return;
	jthrowable exception = (jthrowable) (*env)->NewObject(env, exceptionClass, exceptionInit, message, (jint) hr,
	                                                      (jint) failure->code, source, description, help,
	                                                      (jint) failure->helpContext, (jint) failure->argIndex);
	if (exception != NULL)
		(*env)->Throw(env, exception);
	(*env)->DeleteLocalRef(env, exception);
	(*env)->DeleteLocalRef(env, message);
	(*env)->DeleteLocalRef(env, source);
	(*env)->DeleteLocalRef(env, description);
	(*env)->DeleteLocalRef(env, help);
}

static void fail(JNIEnv *env, int32_t hr, MvFailure *failure)
{
	throwFailure(env, hr, failure);
	mvFailureClear(failure);
}

// Java frames to C frames.

static int32_t frameFromJava(JNIEnv *env, jobjectArray frame, MvFrame **out);

static int32_t arrayFromJava(JNIEnv *env, int32_t elementVt, jobjectArray wire, MvArray **out)
{
	*out = NULL;
	jintArray counts = (jintArray) (*env)->GetObjectArrayElement(env, wire, 0);
	jobject payload = counts ? (*env)->GetObjectArrayElement(env, wire, 1) : NULL;
	if (payload == NULL) {
		(*env)->DeleteLocalRef(env, counts);
		return (*env)->ExceptionCheck(env) ? JAVA_PENDING : E_INVALIDARG_HR;
	}
	jint dims = (*env)->GetArrayLength(env, counts);
	jint shape[MV_MAX_DIMS];
	int32_t hr = dims >= 1 && dims <= MV_MAX_DIMS ? 0 : E_INVALIDARG_HR;
	MvArray *array = NULL;
	if (hr == 0) {
		(*env)->GetIntArrayRegion(env, counts, 0, dims, shape);
		array = mvArrayNew(elementVt, (uint32_t) dims, (const int32_t *) shape);
		if (array == NULL)
			hr = mvArrayElementTypeValid(elementVt) ? E_OUTOFMEMORY_HR : DISP_E_BADVARTYPE_HR;
	}
	if (hr == 0 && elementVt == MV_VT_VARIANT) {
		MvFrame *elements = NULL;
		hr = frameFromJava(env, (jobjectArray) payload, &elements);
		if (hr == 0 && elements->count != array->total)
			hr = E_INVALIDARG_HR;
		if (hr == 0) {
			mvFrameFree(array->payload);
			array->payload = elements;
		} else {
			mvFrameFree(elements);
		}
	} else if (hr == 0 && elementVt == MV_VT_BSTR) {
		if ((uint32_t) (*env)->GetArrayLength(env, (jarray) payload) < array->total)
			hr = E_INVALIDARG_HR;
		for (uint32_t k = 0; k < array->total && hr == 0; ++k) {
			jstring str = (jstring) (*env)->GetObjectArrayElement(env, (jobjectArray) payload, (jsize) k);
			hr = (*env)->ExceptionCheck(env) ? JAVA_PENDING : stringOf(env, str, &((MvString **) array->payload)[k]);
			(*env)->DeleteLocalRef(env, str);
		}
	} else if (hr == 0) {
		uint32_t size = mvElementSize(elementVt);
		jsize n = (jsize) (elementVt == MV_VT_DECIMAL ? 2 * array->total : array->total);
		if ((*env)->GetArrayLength(env, (jarray) payload) < n)
			hr = E_INVALIDARG_HR;
		else if (size == 1)
			(*env)->GetByteArrayRegion(env, (jbyteArray) payload, 0, n, array->payload);
		else if (size == 2)
			(*env)->GetShortArrayRegion(env, (jshortArray) payload, 0, n, array->payload);
		else if (elementVt == MV_VT_R4)
			(*env)->GetFloatArrayRegion(env, (jfloatArray) payload, 0, n, array->payload);
		else if (size == 4)
			(*env)->GetIntArrayRegion(env, (jintArray) payload, 0, n, array->payload);
		else if (elementVt == MV_VT_R8 || elementVt == MV_VT_DATE)
			(*env)->GetDoubleArrayRegion(env, (jdoubleArray) payload, 0, n, array->payload);
		else
			(*env)->GetLongArrayRegion(env, (jlongArray) payload, 0, n, array->payload);
		if (hr == 0 && (*env)->ExceptionCheck(env))
			hr = JAVA_PENDING;
	}
	(*env)->DeleteLocalRef(env, counts);
	(*env)->DeleteLocalRef(env, payload);
	if (hr != 0)
		mvRefFree(MV_VT_ARRAY | elementVt, array);
	else
		*out = array;
	return hr;
}

static int needsRef(int32_t vt)
{
	int32_t base = vt & ~MV_VT_BYREF;
	return (base & MV_VT_ARRAY) || base == MV_VT_BSTR || base == MV_VT_DECIMAL || base == MV_VT_VARIANT;
}

// The reference of a slot of VARTYPE vt.
static int32_t refFromJava(JNIEnv *env, int32_t vt, jobject ref, void **out)
{
	*out = NULL;
	if (ref == NULL)
		return 0;
	int32_t base = vt & ~MV_VT_BYREF;
	if (base & MV_VT_ARRAY)
		return arrayFromJava(env, base & MV_VT_TYPEMASK, (jobjectArray) ref, (MvArray **) out);
	if (base == MV_VT_BSTR)
		return stringOf(env, (jstring) ref, (MvString **) out);
	if (base == MV_VT_DECIMAL) {
		MvDecimal *d = calloc(1, sizeof *d);
		if (d == NULL)
			return E_OUTOFMEMORY_HR;
		(*env)->GetLongArrayRegion(env, (jlongArray) ref, 0, 2, (jlong *) d->halves);
		*out = d;
		return (*env)->ExceptionCheck(env) ? JAVA_PENDING : 0;
	}
	if (vt == (MV_VT_BYREF | MV_VT_VARIANT)) {
		MvFrame *inner = NULL;
		int32_t hr = frameFromJava(env, (jobjectArray) ref, &inner);
		if (hr == 0 && inner->count < 1)
			hr = E_INVALIDARG_HR;
		if (hr == 0)
			*out = inner;
		else
			mvFrameFree(inner);
		return hr;
	}
	return 0;
}

// Slot i of the Java arrays into slot i of frame (freeing what it held).
static int32_t slotFromJava(JNIEnv *env, jintArray vts, jlongArray bits, jobjectArray refs, jsize i, MvFrame *frame)
{
	jint vt;
	jlong value;
	(*env)->GetIntArrayRegion(env, vts, i, 1, &vt);
	(*env)->GetLongArrayRegion(env, bits, i, 1, &value);
	jobject ref = needsRef(vt) ? (*env)->GetObjectArrayElement(env, refs, i) : NULL;
	if ((*env)->ExceptionCheck(env))
		return JAVA_PENDING;
	void *converted;
	int32_t hr = refFromJava(env, vt, ref, &converted);
	(*env)->DeleteLocalRef(env, ref);
	if (hr != 0)
		return hr;
	mvSlotClear(frame, (uint32_t) i);
	frame->vts[i] = vt;
	frame->bits[i] = value;
	frame->refs[i] = converted;
	return 0;
}

// A nested frame Object[]{int[], long[], Object[]}.
static int32_t frameFromJava(JNIEnv *env, jobjectArray frame, MvFrame **out)
{
	*out = NULL;
	if (frame == NULL)
		return E_INVALIDARG_HR;
	jintArray vts = (jintArray) (*env)->GetObjectArrayElement(env, frame, 0);
	jlongArray bits = vts ? (jlongArray) (*env)->GetObjectArrayElement(env, frame, 1) : NULL;
	jobjectArray refs = bits ? (jobjectArray) (*env)->GetObjectArrayElement(env, frame, 2) : NULL;
	int32_t hr = refs != NULL ? 0 : (*env)->ExceptionCheck(env) ? JAVA_PENDING : E_INVALIDARG_HR;
	MvFrame *result = NULL;
	if (hr == 0) {
		jsize n = (*env)->GetArrayLength(env, vts);
		if ((*env)->GetArrayLength(env, bits) != n || (*env)->GetArrayLength(env, refs) != n)
			hr = E_INVALIDARG_HR;
		else if ((result = mvFrameNew((uint32_t) n)) == NULL)
			hr = E_OUTOFMEMORY_HR;
		for (jsize i = 0; i < n && hr == 0; ++i)
			hr = slotFromJava(env, vts, bits, refs, i, result);
	}
	(*env)->DeleteLocalRef(env, vts);
	(*env)->DeleteLocalRef(env, bits);
	(*env)->DeleteLocalRef(env, refs);
	if (hr != 0)
		mvFrameFree(result);
	else
		*out = result;
	return hr;
}

// C frames to Java frames.

static int32_t refToJava(JNIEnv *env, int32_t vt, void *ref, jobject *out);

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

// The slots of frame from..count-1 into the Java arrays.
static int32_t slotsToJava(JNIEnv *env, MvFrame *frame, uint32_t from, jintArray vts, jlongArray bits,
                           jobjectArray refs)
{
	uint32_t n = frame->count - from;
	(*env)->SetIntArrayRegion(env, vts, (jsize) from, (jsize) n, (const jint *) frame->vts + from);
	(*env)->SetLongArrayRegion(env, bits, (jsize) from, (jsize) n, (const jlong *) frame->bits + from);
	for (uint32_t k = from; k < frame->count; ++k) {
		if (frame->refs[k] == NULL)
			continue;
		jobject ref;
		int32_t hr = refToJava(env, frame->vts[k], frame->refs[k], &ref);
		if (hr != 0)
			return hr;
		(*env)->SetObjectArrayElement(env, refs, (jsize) k, ref);
		(*env)->DeleteLocalRef(env, ref);
	}
	return (*env)->ExceptionCheck(env) ? JAVA_PENDING : 0;
}

static jobject frameToJava(JNIEnv *env, MvFrame *frame)
{
	jintArray vts;
	jlongArray bits;
	jobjectArray refs;
	jobjectArray result = newFrame(env, (jsize) frame->count, &vts, &bits, &refs);
	if (result != NULL && slotsToJava(env, frame, 0, vts, bits, refs) != 0) {
		(*env)->DeleteLocalRef(env, result);
		result = NULL;
	}
	(*env)->DeleteLocalRef(env, vts);
	(*env)->DeleteLocalRef(env, bits);
	(*env)->DeleteLocalRef(env, refs);
	return result;
}

static jobject arrayToJava(JNIEnv *env, MvArray *array)
{
	jintArray counts = (*env)->NewIntArray(env, (jsize) array->dims);
	if (counts == NULL)
		return NULL;
	(*env)->SetIntArrayRegion(env, counts, 0, (jsize) array->dims, (const jint *) array->counts);
	jsize n = (jsize) array->total;
	jobject payload = NULL;
	switch (array->elementVt) {
	case MV_VT_VARIANT:
		payload = frameToJava(env, array->payload);
		break;
	case MV_VT_BSTR:
		payload = (*env)->NewObjectArray(env, n, stringClass, NULL);
		for (jsize k = 0; payload != NULL && k < n; ++k) {
			MvString *s = ((MvString **) array->payload)[k];
			jstring str = s != NULL ? javaString(env, s) : NULL;
			if (str != NULL)
				(*env)->SetObjectArrayElement(env, (jobjectArray) payload, k, str);
			(*env)->DeleteLocalRef(env, str);
		}
		break;
	case MV_VT_I1: case MV_VT_UI1:
		if ((payload = (*env)->NewByteArray(env, n)) != NULL)
			(*env)->SetByteArrayRegion(env, payload, 0, n, array->payload);
		break;
	case MV_VT_I2: case MV_VT_UI2: case MV_VT_BOOL:
		if ((payload = (*env)->NewShortArray(env, n)) != NULL)
			(*env)->SetShortArrayRegion(env, payload, 0, n, array->payload);
		break;
	case MV_VT_R4:
		if ((payload = (*env)->NewFloatArray(env, n)) != NULL)
			(*env)->SetFloatArrayRegion(env, payload, 0, n, array->payload);
		break;
	case MV_VT_R8: case MV_VT_DATE:
		if ((payload = (*env)->NewDoubleArray(env, n)) != NULL)
			(*env)->SetDoubleArrayRegion(env, payload, 0, n, array->payload);
		break;
	case MV_VT_I4: case MV_VT_UI4: case MV_VT_INT: case MV_VT_UINT: case MV_VT_ERROR:
		if ((payload = (*env)->NewIntArray(env, n)) != NULL)
			(*env)->SetIntArrayRegion(env, payload, 0, n, array->payload);
		break;
	default: {
		jsize longs = array->elementVt == MV_VT_DECIMAL ? 2 * n : n;
		if ((payload = (*env)->NewLongArray(env, longs)) != NULL)
			(*env)->SetLongArrayRegion(env, payload, 0, longs, array->payload);
		break;
	}
	}
	jobjectArray wire = payload != NULL && !(*env)->ExceptionCheck(env) ? (*env)->NewObjectArray(env, 2, objectClass, NULL)
	                                                                    : NULL;
	if (wire != NULL) {
		(*env)->SetObjectArrayElement(env, wire, 0, counts);
		(*env)->SetObjectArrayElement(env, wire, 1, payload);
	}
	(*env)->DeleteLocalRef(env, counts);
	(*env)->DeleteLocalRef(env, payload);
	return wire;
}

static int32_t refToJava(JNIEnv *env, int32_t vt, void *ref, jobject *out)
{
	int32_t base = vt & ~MV_VT_BYREF;
	*out = NULL;
	if (ref == NULL)
		return 0;
	if (base & MV_VT_ARRAY)
		*out = arrayToJava(env, ref);
	else if (base == MV_VT_BSTR)
		*out = javaString(env, ref);
	else if (base == MV_VT_DECIMAL) {
		jlongArray halves = (*env)->NewLongArray(env, 2);
		if (halves != NULL)
			(*env)->SetLongArrayRegion(env, halves, 0, 2, (const jlong *) ((MvDecimal *) ref)->halves);
		*out = halves;
	} else if (vt == (MV_VT_BYREF | MV_VT_VARIANT))
		*out = frameToJava(env, ref);
	else if (vt == MV_VT_DISPATCH)
		*out = javaString(env, ref);
	else
		return 0;
	return *out != NULL ? 0 : JAVA_PENDING;
}

// Interface pointers in a frame that never reaches Java go back.
static void releasePointers(MvFrame *frame, uint32_t from)
{
	for (uint32_t k = from; k < frame->count; ++k) {
		int32_t vt = frame->vts[k] & ~MV_VT_BYREF;
		if ((vt == MV_VT_DISPATCH || vt == MV_VT_UNKNOWN) && frame->bits[k] != 0)
			mvRelease((uint64_t) frame->bits[k]);
	}
}

// The natives.

JNIEXPORT jboolean JNICALL Java_mivra_runtime_NativeComLayer_initThread(JNIEnv *env, jobject self, jboolean mta)
{
	(void) self;
	MvFailure failure = {0};
	int inMultithreaded = 0;
	int32_t hr = mvInitThread(mta, &inMultithreaded, &failure);
	if (hr != 0)
		fail(env, hr, &failure);
	return inMultithreaded ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_create(JNIEnv *env, jobject self, jstring classId, jboolean find)
{
	(void) self;
	MvString *name = NULL;
	MvFailure failure = {0};
	uint64_t dispatch = 0;
	int32_t hr = classId != NULL ? stringOf(env, classId, &name) : E_INVALIDARG_HR;
	if (hr == 0)
		hr = mvCreate(name, find, &dispatch, &failure);
	if (hr != 0)
		fail(env, hr, &failure);
	free(name);
	return (jlong) dispatch;
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_queryInterface(JNIEnv *env, jobject self, jlong unknown,
                                                                         jstring iid)
{
	(void) self;
	MvString *text = NULL;
	MvFailure failure = {0};
	uint64_t found = 0;
	int32_t hr = iid != NULL ? stringOf(env, iid, &text) : E_INVALIDARG_HR;
	if (hr == 0)
		hr = mvQueryInterface((uint64_t) unknown, text, &found, &failure);
	if (hr != 0)
		fail(env, hr, &failure);
	free(text);
	return (jlong) found;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_release(JNIEnv *env, jobject self, jlong unknown)
{
	(void) env;
	(void) self;
	mvRelease((uint64_t) unknown);
}

JNIEXPORT jint JNICALL Java_mivra_runtime_NativeComLayer_dispIdOf(JNIEnv *env, jobject self, jlong dispatch,
                                                                  jstring name)
{
	(void) self;
	MvString *text = NULL;
	MvFailure failure = {0};
	int32_t id = -1;
	int32_t hr = name != NULL ? stringOf(env, name, &text) : E_INVALIDARG_HR;
	if (hr == 0)
		hr = mvDispIdOf((uint64_t) dispatch, text, &id, &failure);
	if (hr != 0)
		fail(env, hr, &failure);
	free(text);
	return id;
}

// A frame of n slots on the stack when it is small (most calls), with room
// for short string arguments, which the core only reads.
typedef struct {
	MvFrame frame;
	int32_t vts[LOCAL_SLOTS];
	int64_t bits[LOCAL_SLOTS];
	void *refs[LOCAL_SLOTS];
	uint32_t used;
	uint32_t text[LOCAL_TEXT / sizeof(uint32_t)];
} LocalFrame;

static int inLocalText(const LocalFrame *local, const void *ref)
{
	const char *at = ref, *text = (const char *) local->text;
	return at >= text && at < text + sizeof local->text;
}

// An argument string of length characters, on the stack when it fits.
static MvString *argumentString(LocalFrame *local, MvFrame *frame, uint32_t length)
{
	uint32_t bytes = (uint32_t) offsetof(MvString, text) + 2 * length;
	uint32_t words = (bytes + 3) / 4;
	if (frame != &local->frame || length > LOCAL_TEXT || words > LOCAL_TEXT / 4 - local->used)
		return mvStringNew(NULL, length);
	MvString *s = (MvString *) &local->text[local->used];
	local->used += words;
	s->length = length;
	return s;
}

static MvFrame *openFrame(LocalFrame *local, uint32_t n)
{
	if (n > LOCAL_SLOTS)
		return mvFrameNew(n);
	memset(local->vts, 0, sizeof *local->vts * n);
	memset(local->bits, 0, sizeof *local->bits * n);
	memset(local->refs, 0, sizeof *local->refs * n);
	local->used = 0;
	local->frame.count = n;
	local->frame.vts = local->vts;
	local->frame.bits = local->bits;
	local->frame.refs = local->refs;
	return &local->frame;
}

static void closeFrame(LocalFrame *local, MvFrame *frame)
{
	if (frame != &local->frame) {
		mvFrameFree(frame);
		return;
	}
	for (uint32_t i = 0; i < frame->count; ++i)
		if (!inLocalText(local, frame->refs[i]))
			mvRefFree(frame->vts[i], frame->refs[i]);
}

// A string argument whose length the Java half passed: one JNI call instead
// of two, and no allocation when it fits on the stack.
static int32_t stringOfLength(JNIEnv *env, jstring str, int64_t length, LocalFrame *local, MvFrame *frame,
                              MvString **out)
{
	*out = NULL;
	if (length < 0 || length > MV_MAX_STRING)
		return E_INVALIDARG_HR;
	MvString *s = argumentString(local, frame, (uint32_t) length);
	if (s == NULL)
		return E_OUTOFMEMORY_HR;
	(*env)->GetStringRegion(env, str, 0, (jsize) length, (jchar *) s->text);
	*out = s;
	return 0;
}

// A call over a frame: IDispatch::Invoke (declared NULL) or a vtable slot.
typedef struct {
	uint64_t object;
	int32_t member, flags, resultVt;
	const MvString *iid;
	const int32_t *declared;
} Call;

static int32_t runCall(const Call *call, MvFrame *frame, MvFailure *failure)
{
	if (call->declared == NULL)
		return mvInvoke(call->object, call->member, call->flags, call->resultVt, frame, failure);
	return mvVtblCall(call->object, call->member, call->iid, call->resultVt, call->declared, frame, failure);
}

// A by-reference slot's new value into slot i of the Java arrays (with
// vtArray NULL bitsArray holds the n VARTYPEs after the bits); a VARIANT by
// reference into the nested frame Java passed.
static int32_t byRefToJava(JNIEnv *env, MvFrame *frame, uint32_t i, uint32_t n, jintArray vtArray,
                           jlongArray bitsArray, jobjectArray refArray)
{
	if (frame->vts[i] == (MV_VT_BYREF | MV_VT_VARIANT)) {
		jobjectArray nested = (jobjectArray) (*env)->GetObjectArrayElement(env, refArray, (jsize) i);
		jintArray innerVts = nested ? (*env)->GetObjectArrayElement(env, nested, 0) : NULL;
		jlongArray innerBits = innerVts ? (*env)->GetObjectArrayElement(env, nested, 1) : NULL;
		jobjectArray innerRefs = innerBits ? (*env)->GetObjectArrayElement(env, nested, 2) : NULL;
		int32_t hr = innerRefs != NULL ? slotsToJava(env, frame->refs[i], 0, innerVts, innerBits, innerRefs) : JAVA_PENDING;
		(*env)->DeleteLocalRef(env, nested);
		(*env)->DeleteLocalRef(env, innerVts);
		(*env)->DeleteLocalRef(env, innerBits);
		(*env)->DeleteLocalRef(env, innerRefs);
		return hr;
	}
	if (vtArray != NULL) {
		(*env)->SetIntArrayRegion(env, vtArray, (jsize) i, 1, (const jint *) &frame->vts[i]);
	} else {
		jlong vt = frame->vts[i];
		(*env)->SetLongArrayRegion(env, bitsArray, (jsize) (n + i), 1, &vt);
	}
	(*env)->SetLongArrayRegion(env, bitsArray, (jsize) i, 1, (const jlong *) &frame->bits[i]);
	jobject ref = NULL;
	int32_t hr = refToJava(env, frame->vts[i], frame->refs[i], &ref);
	if (hr == 0)
		(*env)->SetObjectArrayElement(env, refArray, (jsize) i, ref);
	(*env)->DeleteLocalRef(env, ref);
	return hr;
}

// The bits and VARTYPEs of n slots from one array, bits first.
static int32_t packedFromJava(JNIEnv *env, jlongArray slots, MvFrame *frame, uint32_t n)
{
	int64_t localWords[2 * LOCAL_SLOTS];
	int64_t *words = n <= LOCAL_SLOTS ? localWords : malloc(2 * sizeof *words * n);
	if (words == NULL)
		return E_OUTOFMEMORY_HR;
	(*env)->GetLongArrayRegion(env, slots, 0, (jsize) (2 * n), (jlong *) words);
	memcpy(frame->bits, words, sizeof *words * n);
	for (uint32_t i = 0; i < n; ++i)
		frame->vts[i] = (int32_t) words[n + i];
	if (words != localWords)
		free(words);
	return 0;
}

// The call with its n arguments from the Java arrays and the result in the C
// frame's last slot, which is left to the caller (closeFrame); by-reference
// slots go back. Packed, bitsArray holds the n bits and then the n VARTYPEs
// (one read instead of two; vtArray is not used) and a string argument's
// bits its length, which saves asking the JVM for it. NULL, with the Java
// exception thrown, when it failed.
static MvFrame *callOverArrays(JNIEnv *env, const Call *call, jint count, jintArray vtArray, jlongArray bitsArray,
                               jobjectArray refArray, int packed, LocalFrame *local)
{
	if (count < 0 || (count > 0 && ((!packed && vtArray == NULL) || bitsArray == NULL || refArray == NULL))) {
		throwFailure(env, E_INVALIDARG_HR, NULL);
		return NULL;
	}
	uint32_t n = (uint32_t) count;
	MvFrame *frame = openFrame(local, n + 1);
	if (frame == NULL) {
		throwFailure(env, E_OUTOFMEMORY_HR, NULL);
		return NULL;
	}
	int32_t hr = 0;
	int byRef = 0;
	if (n > 0) {
		// None of these reads can fail: the arrays hold n slots and a
		// string's bits its length (callWithFrame asks the JVM, the Java half
		// of the packed calls checks), so the JVM is not asked after each
		// whether it did (every question is a JNI call).
		if (!packed) {
			(*env)->GetIntArrayRegion(env, vtArray, 0, (jsize) n, (jint *) frame->vts);
			(*env)->GetLongArrayRegion(env, bitsArray, 0, (jsize) n, (jlong *) frame->bits);
		} else {
			hr = packedFromJava(env, bitsArray, frame, n);
		}
		for (uint32_t i = 0; i < n && hr == 0; ++i) {
			byRef |= (frame->vts[i] & MV_VT_BYREF) != 0;
			if (!needsRef(frame->vts[i]))
				continue;
			jobject ref = (*env)->GetObjectArrayElement(env, refArray, (jsize) i);
			if (packed && frame->vts[i] == MV_VT_BSTR && ref != NULL)
				hr = stringOfLength(env, (jstring) ref, frame->bits[i], local, frame, (MvString **) &frame->refs[i]);
			else
				hr = refFromJava(env, frame->vts[i], ref, &frame->refs[i]);
			frame->bits[i] = frame->vts[i] == MV_VT_BSTR ? 0 : frame->bits[i];
			// A few stay until the return frees them: each deletion is a JNI call.
			if (n > KEPT_LOCALS)
				(*env)->DeleteLocalRef(env, ref);
		}
	}
	int32_t localKinds[LOCAL_SLOTS];
	int32_t *kinds = localKinds;
	if (hr == 0 && byRef && n > LOCAL_SLOTS && (kinds = malloc(sizeof *kinds * n)) == NULL)
		hr = E_OUTOFMEMORY_HR;
	if (hr == 0 && byRef)
		memcpy(kinds, frame->vts, sizeof *kinds * n);
	MvFailure failure = {0};
	if (hr == 0)
		hr = runCall(call, frame, &failure);
	for (uint32_t i = 0; i < n && hr == 0 && byRef; ++i)
		if (kinds[i] & MV_VT_BYREF)
			hr = byRefToJava(env, frame, i, n, packed ? NULL : vtArray, bitsArray, refArray);
	if (kinds != localKinds)
		free(kinds);
	if (hr != 0) {
		// An object result of a call whose by-reference slots failed to go back.
		releasePointers(frame, n);
		fail(env, hr, &failure);
		closeFrame(local, frame);
		return NULL;
	}
	return frame;
}

// The older form: the arrays hold a slot for the result too, which gets it.
static void callWithFrame(JNIEnv *env, const Call *call, jintArray vtArray, jlongArray bitsArray, jobjectArray refArray)
{
	jsize slots = vtArray != NULL && bitsArray != NULL && refArray != NULL ? (*env)->GetArrayLength(env, vtArray) : 0;
	if (slots < 1 || (*env)->GetArrayLength(env, bitsArray) != slots || (*env)->GetArrayLength(env, refArray) != slots) {
		throwFailure(env, E_INVALIDARG_HR, NULL);
		return;
	}
	LocalFrame local;
	MvFrame *frame = callOverArrays(env, call, slots - 1, vtArray, bitsArray, refArray, 0, &local);
	if (frame == NULL)
		return;
	uint32_t n = (uint32_t) slots - 1;
	(*env)->SetIntArrayRegion(env, vtArray, (jsize) n, 1, (const jint *) &frame->vts[n]);
	(*env)->SetLongArrayRegion(env, bitsArray, (jsize) n, 1, (const jlong *) &frame->bits[n]);
	jobject ref = NULL;
	int32_t hr = refToJava(env, frame->vts[n], frame->refs[n], &ref);
	if (hr == 0 && ref != NULL)
		(*env)->SetObjectArrayElement(env, refArray, (jsize) n, ref);
	(*env)->DeleteLocalRef(env, ref);
	if (hr != 0) {
		releasePointers(frame, n);
		throwFailure(env, hr, NULL);
	}
	closeFrame(&local, frame);
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_invoke(JNIEnv *env, jobject self, jlong dispatch, jint dispId,
                                                               jint flags, jint resultVt, jintArray vtArray,
                                                               jlongArray bitsArray, jobjectArray refArray)
{
	(void) self;
	Call call = {(uint64_t) dispatch, dispId, flags, resultVt, NULL, NULL};
	callWithFrame(env, &call, vtArray, bitsArray, refArray);
}

// An Invoke with packed arguments: its frame (its result in slot n), or NULL
// with a Java exception pending.
static MvFrame *packedCall(JNIEnv *env, jlong dispatch, jint dispId, jint flags, jint resultVt, jint n,
                           jlongArray slots, jobjectArray refArray, LocalFrame *local)
{
	Call call = {(uint64_t) dispatch, dispId, flags, resultVt, NULL, NULL};
	return callOverArrays(env, &call, n, NULL, slots, refArray, 1, local);
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_callBits(JNIEnv *env, jobject self, jlong dispatch,
                                                                  jint dispId, jint flags, jint resultVt, jint n,
                                                                  jlongArray slots, jobjectArray refArray)
{
	(void) self;
	LocalFrame local;
	MvFrame *frame = packedCall(env, dispatch, dispId, flags, resultVt, n, slots, refArray, &local);
	if (frame == NULL)
		return 0;
	jlong bits = (jlong) frame->bits[n];
	closeFrame(&local, frame);
	return bits;
}

// An MvString's memory is what the Java half reads from its room for a
// string result: the length's two halves, then the text.
_Static_assert(offsetof(MvString, text) == 2 * sizeof(jchar), "MvString is not laid out as the Java half reads it");

// Fills the Java half's room with a string it holds; false for one too long.
static int fillText(JNIEnv *env, jcharArray text, const MvString *s)
{
	if (text == NULL || s == NULL || s->length > mivra_runtime_NativeComLayer_TEXT_ROOM - 2)
		return 0;
	(*env)->SetCharArrayRegion(env, text, 0, (jsize) s->length + 2, (const jchar *) s);
	return 1;
}

// The reference of result slot n: a short string goes into text (returned
// itself), so the Java half makes the String; anything else is made here.
static int32_t resultRef(JNIEnv *env, const MvFrame *frame, jint n, jcharArray text, jobject *ref)
{
	if (frame->vts[n] == MV_VT_BSTR && fillText(env, text, frame->refs[n])) {
		*ref = text;
		return 0;
	}
	return refToJava(env, frame->vts[n], frame->refs[n], ref);
}

JNIEXPORT jobject JNICALL Java_mivra_runtime_NativeComLayer_callRef(JNIEnv *env, jobject self, jlong dispatch,
                                                                   jint dispId, jint flags, jint resultVt, jint n,
                                                                   jlongArray slots, jobjectArray refArray,
                                                                   jcharArray text)
{
	(void) self;
	LocalFrame local;
	MvFrame *frame = packedCall(env, dispatch, dispId, flags, resultVt, n, slots, refArray, &local);
	if (frame == NULL)
		return NULL;
	jobject ref = NULL;
	int32_t hr = resultRef(env, frame, n, text, &ref);
	closeFrame(&local, frame);
	if (hr != 0)
		throwFailure(env, hr, NULL);
	return ref;
}

// A VARIANT result: its VARTYPE and bits into result, its reference returned
// (a short string filled into text, as callRef does).
JNIEXPORT jobject JNICALL Java_mivra_runtime_NativeComLayer_callVariant(JNIEnv *env, jobject self, jlong dispatch,
                                                                       jint dispId, jint flags, jint resultVt, jint n,
                                                                       jlongArray slots, jobjectArray refArray,
                                                                       jlongArray result, jcharArray text)
{
	(void) self;
	LocalFrame local;
	MvFrame *frame = packedCall(env, dispatch, dispId, flags, resultVt, n, slots, refArray, &local);
	if (frame == NULL)
		return NULL;
	jobject ref = NULL;
	int32_t hr = resultRef(env, frame, n, text, &ref);
	if (hr == 0) {
		jlong value[2] = {frame->vts[n], frame->bits[n]};
		(*env)->SetLongArrayRegion(env, result, 0, 2, value);
	} else {
		releasePointers(frame, (uint32_t) n);
	}
	closeFrame(&local, frame);
	if (hr != 0)
		throwFailure(env, hr, NULL);
	return ref;
}

// An object result's pointer, the IID its type information names into text
// as callRef puts a string there.
JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_callObject(JNIEnv *env, jobject self, jlong dispatch,
                                                                    jint dispId, jint flags, jint resultVt, jint n,
                                                                    jlongArray slots, jobjectArray refArray,
                                                                    jcharArray text)
{
	(void) self;
	LocalFrame local;
	MvFrame *frame = packedCall(env, dispatch, dispId, flags, resultVt, n, slots, refArray, &local);
	if (frame == NULL)
		return 0;
	if (frame->vts[n] != MV_VT_DISPATCH) {
		releasePointers(frame, (uint32_t) n);
		closeFrame(&local, frame);
		throwFailure(env, DISP_E_BADVARTYPE_HR, NULL);
		return 0;
	}
	jlong pointer = (jlong) frame->bits[n];
	fillText(env, text, frame->refs[n]);
	closeFrame(&local, frame);
	return pointer;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_vtblCall(JNIEnv *env, jobject self, jlong unknown, jint slot,
                                                                 jstring iid, jint resultVt, jintArray declaredArray,
                                                                 jintArray vtArray, jlongArray bitsArray,
                                                                 jobjectArray refArray)
{
	(void) self;
	jsize n = (*env)->GetArrayLength(env, vtArray) - 1;
	if (n < 0 || declaredArray == NULL || (*env)->GetArrayLength(env, declaredArray) != n) {
		throwFailure(env, E_INVALIDARG_HR, NULL);
		return;
	}
	int32_t *declared = malloc(sizeof *declared * (size_t) (n > 0 ? n : 1));
	MvString *text = NULL;
	int32_t hr = declared != NULL ? stringOf(env, iid, &text) : E_OUTOFMEMORY_HR;
	if (hr == 0) {
		(*env)->GetIntArrayRegion(env, declaredArray, 0, n, (jint *) declared);
		if ((*env)->ExceptionCheck(env))
			hr = JAVA_PENDING;
	}
	if (hr == 0) {
		Call call = {(uint64_t) unknown, slot, 0, resultVt, text, declared};
		callWithFrame(env, &call, vtArray, bitsArray, refArray);
	} else {
		throwFailure(env, hr, NULL);
	}
	free(text);
	free(declared);
}

JNIEXPORT jstring JNICALL Java_mivra_runtime_NativeComLayer_typeInfoIid(JNIEnv *env, jobject self, jlong dispatch)
{
	(void) self;
	MvString *iid = NULL;
	MvFailure failure = {0};
	int32_t hr = mvTypeInfoIid((uint64_t) dispatch, &iid, &failure);
	jstring text = hr == 0 && iid != NULL ? javaString(env, iid) : NULL;
	if (hr != 0)
		fail(env, hr, &failure);
	free(iid);
	return text;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_changeType(JNIEnv *env, jobject self, jint vt,
                                                                   jintArray vtArray, jlongArray bitsArray,
                                                                   jobjectArray refArray)
{
	(void) self;
	MvFrame *frame = mvFrameNew(1);
	int32_t hr = frame != NULL ? slotFromJava(env, vtArray, bitsArray, refArray, 0, frame) : E_OUTOFMEMORY_HR;
	MvFailure failure = {0};
	if (hr == 0)
		hr = mvChangeType(vt, frame, &failure);
	if (hr == 0) {
		hr = slotsToJava(env, frame, 0, vtArray, bitsArray, refArray);
		if (hr == 0 && frame->refs[0] == NULL)
			(*env)->SetObjectArrayElement(env, refArray, 0, NULL);
		if (hr != 0)
			releasePointers(frame, 0);
	}
	if (hr != 0)
		fail(env, hr, &failure);
	mvFrameFree(frame);
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_newEnum(JNIEnv *env, jobject self, jlong dispatch)
{
	(void) self;
	MvFailure failure = {0};
	uint64_t enumerator = 0;
	int32_t hr = mvNewEnum((uint64_t) dispatch, &enumerator, &failure);
	if (hr != 0)
		fail(env, hr, &failure);
	return (jlong) enumerator;
}

JNIEXPORT jint JNICALL Java_mivra_runtime_NativeComLayer_next(JNIEnv *env, jobject self, jlong enumerator,
                                                             jint elementVt, jintArray vtArray, jlongArray bitsArray,
                                                             jobjectArray refArray)
{
	(void) self;
	jsize wanted = (*env)->GetArrayLength(env, vtArray);
	if (wanted > MV_MAX_BATCH)
		wanted = MV_MAX_BATCH;
	MvFrame *frame = mvFrameNew((uint32_t) (wanted > 0 ? wanted : 0));
	if (frame == NULL) {
		throwFailure(env, E_OUTOFMEMORY_HR, NULL);
		return 0;
	}
	MvFailure failure = {0};
	uint32_t fetched = 0;
	int32_t hr = mvNext((uint64_t) enumerator, elementVt, frame, &fetched, &failure);
	if (hr == 0) {
		frame->count = fetched;
		hr = slotsToJava(env, frame, 0, vtArray, bitsArray, refArray);
		if (hr != 0)
			releasePointers(frame, 0);
		frame->count = (uint32_t) wanted;
	}
	mvFrameFree(frame);
	if (hr != 0) {
		fail(env, hr, &failure);
		return 0;
	}
	return (jint) fetched;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_pump(JNIEnv *env, jobject self, jint millis)
{
	(void) env;
	(void) self;
	mvPump(millis);
}

// Events: an MvEventTarget over an EventSink.

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

static int sinkTypes(void *context, int32_t dispId, uint32_t count, int32_t *types)
{
	JNIEnv *env = eventEnv();
	if (env == NULL)
		return -1;
	jintArray declared = (jintArray) (*env)->CallObjectMethod(env, (jobject) context, sinkTypesMethod, (jint) dispId,
	                                                          (jint) count);
	if (javaFailed(env))
		return -1;
	int known = declared != NULL;
	if (known && (uint32_t) (*env)->GetArrayLength(env, declared) != count)
		known = -1;
	if (known > 0)
		(*env)->GetIntArrayRegion(env, declared, 0, (jsize) count, (jint *) types);
	(*env)->DeleteLocalRef(env, declared);
	return javaFailed(env) ? -1 : known;
}

static int sinkInvoke(void *context, int32_t dispId, MvFrame *frame, MvString **failure)
{
	JNIEnv *env = eventEnv();
	if (env == NULL || (*env)->PushLocalFrame(env, 16) != 0) {
		if (env != NULL)
			javaFailed(env);
		return -1;
	}
	jsize n = (jsize) frame->count;
	jintArray vts = (*env)->NewIntArray(env, n);
	jlongArray bits = vts ? (*env)->NewLongArray(env, n) : NULL;
	jobjectArray refs = bits ? (*env)->NewObjectArray(env, n, objectClass, NULL) : NULL;
	int32_t hr = refs != NULL ? slotsToJava(env, frame, 0, vts, bits, refs) : JAVA_PENDING;
	int result = 0;
	if (hr == 0) {
		jstring text = (jstring) (*env)->CallObjectMethod(env, (jobject) context, sinkInvokeMethod, (jint) dispId, vts,
		                                                  bits, refs);
		if (javaFailed(env)) {
			*failure = mvStringAscii("The Java VM failed to deliver the event");
			result = -1;
		} else if (text != NULL) {
			stringOf(env, text, failure);
			result = -1;
		}
	} else {
		javaFailed(env);
		result = -1;
	}
	// The listener's new values of by-reference slots, for the server.
	for (jsize i = 0; i < n && result == 0; ++i)
		if (frame->vts[i] & MV_VT_BYREF) {
			if (slotFromJava(env, vts, bits, refs, i, frame) != 0) {
				javaFailed(env);
				*failure = mvStringAscii("A by-reference value of the listener cannot go back");
				result = -1;
			}
		}
	(*env)->PopLocalFrame(env, NULL);
	return result;
}

static void sinkRelease(void *context)
{
	JNIEnv *env = eventEnv();
	if (env != NULL)
		(*env)->DeleteGlobalRef(env, (jobject) context);
}

JNIEXPORT jlong JNICALL Java_mivra_runtime_NativeComLayer_advise(JNIEnv *env, jobject self, jlong unknown, jstring iid,
                                                                jobject eventSink)
{
	(void) self;
	MvString *text = NULL;
	MvFailure failure = {0};
	uint64_t connection = 0;
	int32_t hr = javaVm != NULL && eventSink != NULL && iid != NULL ? stringOf(env, iid, &text) : E_INVALIDARG_HR;
	MvEventTarget target = {sinkTypes, sinkInvoke, sinkRelease, NULL};
	if (hr == 0) {
		target.context = (*env)->NewGlobalRef(env, eventSink);
		if (target.context == NULL)
			hr = JAVA_PENDING;
	}
	if (hr == 0) {
		hr = mvAdvise((uint64_t) unknown, text, &target, &connection, &failure);
		if (hr != 0)
			(*env)->DeleteGlobalRef(env, (jobject) target.context);
	}
	if (hr != 0)
		fail(env, hr, &failure);
	free(text);
	return (jlong) connection;
}

JNIEXPORT void JNICALL Java_mivra_runtime_NativeComLayer_unadvise(JNIEnv *env, jobject self, jlong handle)
{
	(void) env;
	(void) self;
	mvUnadvise((uint64_t) handle);
}
