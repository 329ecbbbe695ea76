#include "rt.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "harness.h"

#define ENV fakeEnv()

static HMODULE library;
static jobject self;
static long peak;

static void *native(const char *method)
{
	char name[200];
	snprintf(name, sizeof name, "Java_mivra_runtime_NativeComLayer_%s", method);
	void *fn = (void *) GetProcAddress(library, name);
	if (fn == NULL) {
		fprintf(stderr, "FATAL: the runtime exports no %s\n", name);
		exit(100);
	}
	return fn;
}

static void enter(void)
{
	fakeNativeEnter();
}

static void leave(void)
{
	long used = fakeLocalRefPeak();
	if (used > peak)
		peak = used;
}

long rtLocalPeak(void)
{
	return peak;
}

// EventSink's methods, as the Java class has them; each object carries its
// RtListener in the stand-in's handle field.
static jvalue sinkTypes(JNIEnv *env, jobject self, const jvalue *args)
{
	(void) env;
	RtListener *listener = (RtListener *) (intptr_t) fakeHandle(self);
	jvalue result;
	result.l = listener->types(listener, args[0].i, args[1].i);
	return result;
}

static jvalue sinkInvoke(JNIEnv *env, jobject self, const jvalue *args)
{
	(void) env;
	RtListener *listener = (RtListener *) (intptr_t) fakeHandle(self);
	jvalue result;
	result.l = listener->event(listener, args[0].i, (jintArray) args[1].l, (jlongArray) args[2].l,
	                           (jobjectArray) args[3].l);
	return result;
}

static FakeClass *eventSinkClass;

static void defineEventSink(void)
{
	eventSinkClass = fakePackageClass("EventSink");
	fakeDefineMethod(eventSinkClass, "types", "(II)[I", sinkTypes);
	fakeDefineMethod(eventSinkClass, "invoke", "(I[I[J[Ljava/lang/Object;)Ljava/lang/String;", sinkInvoke);
}

jobject rtEventSink(RtListener *listener)
{
	jobject sink = fakeAllocate(eventSinkClass);
	fakeSetHandle(sink, (int64_t) (intptr_t) listener);
	return sink;
}

jlong rtAdvise(jlong unknown, const char *iid, jobject sink)
{
	enter();
	jlong r = ((jlong (JNICALL *)(JNIEnv *, jobject, jlong, jstring, jobject)) native("advise"))(
		ENV, self, unknown, fakeString(iid), sink);
	leave();
	return r;
}

void rtUnadvise(jlong connection)
{
	enter();
	((void (JNICALL *)(JNIEnv *, jobject, jlong)) native("unadvise"))(ENV, self, connection);
	leave();
}

void rtLoad(const wchar_t *dllPath)
{
	library = LoadLibraryW(dllPath);
	if (library == NULL) {
		fprintf(stderr, "FATAL: cannot load %ls (error %lu)\n", dllPath, GetLastError());
		exit(100);
	}
	fakeVmInit("mivra.runtime", 1);
	defineEventSink();
	FakeClass *layer = fakePackageClass("NativeComLayer");
	self = fakeAllocate(layer);
	enter();
	((void (JNICALL *)(JNIEnv *, jclass)) native("initialize"))(ENV, fakeClassObject(layer));
	leave();
	expectNoException("NativeComLayer.initialize");
}

jboolean rtInitThread(int multithreaded)
{
	enter();
	jboolean r = ((jboolean (JNICALL *)(JNIEnv *, jobject, jboolean)) native("initThread"))(
		ENV, self, multithreaded ? JNI_TRUE : JNI_FALSE);
	leave();
	return r;
}

jlong rtCreate(const char *classId, int find)
{
	enter();
	jlong r = ((jlong (JNICALL *)(JNIEnv *, jobject, jstring, jboolean)) native("create"))(
		ENV, self, fakeString(classId), find ? JNI_TRUE : JNI_FALSE);
	leave();
	return r;
}

jlong rtQueryInterface(jlong unknown, const char *iid)
{
	enter();
	jlong r = ((jlong (JNICALL *)(JNIEnv *, jobject, jlong, jstring)) native("queryInterface"))(
		ENV, self, unknown, fakeString(iid));
	leave();
	return r;
}

void rtRelease(jlong unknown)
{
	enter();
	((void (JNICALL *)(JNIEnv *, jobject, jlong)) native("release"))(ENV, self, unknown);
	leave();
}

jint rtDispId(jlong dispatch, const char *name)
{
	enter();
	jint r = ((jint (JNICALL *)(JNIEnv *, jobject, jlong, jstring)) native("dispIdOf"))(
		ENV, self, dispatch, fakeString(name));
	leave();
	return r;
}

jlong rtNewEnum(jlong dispatch)
{
	enter();
	jlong r = ((jlong (JNICALL *)(JNIEnv *, jobject, jlong)) native("newEnum"))(ENV, self, dispatch);
	leave();
	return r;
}

void rtPump(int millis)
{
	enter();
	((void (JNICALL *)(JNIEnv *, jobject, jint)) native("pump"))(ENV, self, millis);
	leave();
}

typedef void (JNICALL *InvokeNative)(JNIEnv *, jobject, jlong, jint, jint, jint, jintArray, jlongArray, jobjectArray);
typedef jint (JNICALL *NextNative)(JNIEnv *, jobject, jlong, jint, jintArray, jlongArray, jobjectArray);

int rtInvoke(jlong dispatch, jint dispId, jint flags, jint resultVt, Frame *f)
{
	static InvokeNative invoke;
	if (invoke == NULL)
		invoke = (InvokeNative) native("invoke");
	enter();
	invoke(ENV, self, dispatch, dispId, flags, resultVt, f->vts, f->bits, f->refs);
	leave();
	return !fakeExceptionPending();
}

jint rtNext(jlong enumerator, jint elementVt, Frame *batch)
{
	static NextNative next;
	if (next == NULL)
		next = (NextNative) native("next");
	enter();
	jint n = next(ENV, self, enumerator, elementVt, batch->vts, batch->bits, batch->refs);
	leave();
	return n;
}

typedef jlong (JNICALL *CallBitsNative)(JNIEnv *, jobject, jlong, jint, jint, jint, jint, jlongArray, jobjectArray);
typedef jobject (JNICALL *CallRefNative)(JNIEnv *, jobject, jlong, jint, jint, jint, jint, jlongArray, jobjectArray,
                                         jcharArray);
typedef jlong (JNICALL *CallObjectNative)(JNIEnv *, jobject, jlong, jint, jint, jint, jint, jlongArray, jobjectArray,
                                          jcharArray);
typedef jobject (JNICALL *CallVariantNative)(JNIEnv *, jobject, jlong, jint, jint, jint, jint, jlongArray,
                                             jobjectArray, jlongArray, jcharArray);

jlong rtCallBits(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs)
{
	enter();
	jlong r = ((CallBitsNative) native("callBits"))(ENV, self, dispatch, dispId, flags, resultVt, n, slots, refs);
	leave();
	return r;
}

jobject rtCallRef(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs,
                  jobject text)
{
	enter();
	jobject r = ((CallRefNative) native("callRef"))(ENV, self, dispatch, dispId, flags, resultVt, n, slots, refs, text);
	leave();
	return r;
}

jlong rtCallObject(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs,
                   jobject text)
{
	enter();
	jlong r = ((CallObjectNative) native("callObject"))(ENV, self, dispatch, dispId, flags, resultVt, n, slots, refs,
	                                                   text);
	leave();
	return r;
}

jobject rtCallVariant(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs,
                      jobject result, jobject text)
{
	enter();
	jobject r = ((CallVariantNative) native("callVariant"))(ENV, self, dispatch, dispId, flags, resultVt, n, slots,
	                                                        refs, result, text);
	leave();
	return r;
}

// Frames.

Frame rtFrame(jsize args)
{
	Frame f;
	f.slots = args + 1;
	f.vts = (jintArray) fakeNewArray('I', f.slots, NULL);
	f.bits = (jlongArray) fakeNewArray('J', f.slots, NULL);
	f.refs = (jobjectArray) fakeNewArray('L', f.slots, fakeClass("java/lang/Object"));
	return f;
}

void rtSetNumber(Frame *f, int slot, jint vt, jlong bits)
{
	((jint *) fakeArrayElements(f->vts, 'I'))[slot] = vt;
	((jlong *) fakeArrayElements(f->bits, 'J'))[slot] = bits;
}

void rtSetDouble(Frame *f, int slot, jint vt, double value)
{
	jlong bits;
	memcpy(&bits, &value, sizeof bits);
	rtSetNumber(f, slot, vt, bits);
}

void rtSetRef(Frame *f, int slot, jint vt, jobject ref)
{
	((jint *) fakeArrayElements(f->vts, 'I'))[slot] = vt;
	((jobject *) fakeArrayElements(f->refs, 'L'))[slot] = ref;
}

void rtSetString(Frame *f, int slot, const char *utf8)
{
	rtSetRef(f, slot, VT_BSTR, utf8 ? fakeString(utf8) : NULL);
}

void rtSetMissing(Frame *f, int slot)
{
	rtSetNumber(f, slot, VT_ERROR, (jint) DISP_E_PARAMNOTFOUND);
}

jint rtVt(Frame *f, int slot)
{
	return ((jint *) fakeArrayElements(f->vts, 'I'))[slot];
}

jlong rtBits(Frame *f, int slot)
{
	return ((jlong *) fakeArrayElements(f->bits, 'J'))[slot];
}

double rtDouble(Frame *f, int slot)
{
	jlong bits = rtBits(f, slot);
	double value;
	memcpy(&value, &bits, sizeof value);
	return value;
}

jobject rtRef(Frame *f, int slot)
{
	return ((jobject *) fakeArrayElements(f->refs, 'L'))[slot];
}

jobject rtWireArray(jsize count, jobject payload)
{
	jobject counts = fakeNewArray('I', 1, NULL);
	((jint *) fakeArrayElements(counts, 'I'))[0] = count;
	jobject wire = fakeNewArray('L', 2, fakeClass("java/lang/Object"));
	((jobject *) fakeArrayElements(wire, 'L'))[0] = counts;
	((jobject *) fakeArrayElements(wire, 'L'))[1] = payload;
	return wire;
}

jobject rtArrayPayload(jobject wire)
{
	return ((jobject *) fakeArrayElements(wire, 'L'))[1];
}

jsize rtArrayDims(jobject wire)
{
	return fakeArrayLength(((jobject *) fakeArrayElements(wire, 'L'))[0]);
}

jsize rtArrayCount(jobject wire, int dim)
{
	return ((jint *) fakeArrayElements(((jobject *) fakeArrayElements(wire, 'L'))[0], 'I'))[dim];
}

jobject rtNestedFrame(jsize n, Frame *view)
{
	Frame f;
	f.slots = n;
	f.vts = (jintArray) fakeNewArray('I', n, NULL);
	f.bits = (jlongArray) fakeNewArray('J', n, NULL);
	f.refs = (jobjectArray) fakeNewArray('L', n, fakeClass("java/lang/Object"));
	jobject frame = fakeNewArray('L', 3, fakeClass("java/lang/Object"));
	((jobject *) fakeArrayElements(frame, 'L'))[0] = f.vts;
	((jobject *) fakeArrayElements(frame, 'L'))[1] = f.bits;
	((jobject *) fakeArrayElements(frame, 'L'))[2] = f.refs;
	if (view)
		*view = f;
	return frame;
}

Frame rtFrameOf(jobject nested)
{
	Frame f;
	jobject *parts = (jobject *) fakeArrayElements(nested, 'L');
	f.vts = parts[0];
	f.bits = parts[1];
	f.refs = parts[2];
	f.slots = fakeArrayLength(f.vts);
	return f;
}

// Shorthands.

jlong rtGetObject(jlong dispatch, jint dispId, jint flags)
{
	Frame f = rtFrame(0);
	if (!rtInvoke(dispatch, dispId, flags, VT_DISPATCH, &f)) {
		expectNoException("a call for an object");
		return 0;
	}
	check(rtVt(&f, 0) == VT_DISPATCH, "an object result has VT_DISPATCH, got %d", (int) rtVt(&f, 0));
	return rtBits(&f, 0);
}

jlong rtGetObjectString(jlong dispatch, jint dispId, jint flags, const char *arg)
{
	Frame f = rtFrame(1);
	rtSetString(&f, 0, arg);
	if (!rtInvoke(dispatch, dispId, flags, VT_DISPATCH, &f)) {
		expectNoException(arg);
		return 0;
	}
	return rtBits(&f, 1);
}

jlong rtGetNumber(jlong dispatch, jint dispId, jint resultVt)
{
	Frame f = rtFrame(0);
	if (!rtInvoke(dispatch, dispId, DISPATCH_PROPERTYGET, resultVt, &f)) {
		expectNoException("a property get");
		return 0;
	}
	check(rtVt(&f, 0) == resultVt, "a result of VARTYPE %d came as %d", (int) resultVt, (int) rtVt(&f, 0));
	return rtBits(&f, 0);
}

int rtGetString(jlong dispatch, jint dispId, jint flags, char *out, size_t size)
{
	Frame f = rtFrame(0);
	out[0] = 0;
	if (!rtInvoke(dispatch, dispId, flags, VT_BSTR, &f))
		return expectNoException("a string get");
	fakeStringUtf8(rtRef(&f, 0), out, size);
	return check(rtVt(&f, 0) == VT_BSTR, "a string result has VT_BSTR");
}

int rtCallString(jlong dispatch, jint dispId, jint flags, const char *arg, jint resultVt, Frame *f)
{
	*f = rtFrame(1);
	rtSetString(f, 0, arg);
	return rtInvoke(dispatch, dispId, flags, resultVt, f);
}

int rtVtblCall(jlong unknown, jint slot, const char *iid, jint resultVt, const jint *declared, Frame *f)
{
	jsize n = f->slots - 1;
	jintArray types = (jintArray) fakeNewArray('I', n, NULL);
	if (n > 0)
		memcpy(fakeArrayElements(types, 'I'), declared, sizeof *declared * (size_t) n);
	enter();
	((void (JNICALL *)(JNIEnv *, jobject, jlong, jint, jstring, jint, jintArray, jintArray, jlongArray, jobjectArray))
	     native("vtblCall"))(ENV, self, unknown, slot, fakeString(iid), resultVt, types, f->vts, f->bits, f->refs);
	leave();
	return !fakeExceptionPending();
}

int rtTypeInfoIid(jlong dispatch, char *out, size_t size)
{
	enter();
	jstring iid = ((jstring (JNICALL *)(JNIEnv *, jobject, jlong)) native("typeInfoIid"))(ENV, self, dispatch);
	leave();
	if (iid == NULL)
		return 0;
	fakeStringUtf8(iid, out, size);
	return 1;
}

int rtChangeType(jint vt, Frame *f)
{
	enter();
	((void (JNICALL *)(JNIEnv *, jobject, jint, jintArray, jlongArray, jobjectArray)) native("changeType"))(
		ENV, self, vt, f->vts, f->bits, f->refs);
	leave();
	return !fakeExceptionPending();
}
