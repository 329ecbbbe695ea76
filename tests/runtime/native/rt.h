// The Java half of the Mivra runtime, played in C: loads mivra_runtime64.dll
// into the stand-in VM and calls its natives with frames built the way
// mivra.runtime.Wire builds them (see runtime/java/mivra/runtime/ComLayer.java).
#ifndef MIVRA_RT_H
#define MIVRA_RT_H

#include <windows.h>
#include <oleauto.h>

#include "fake_jni.h"

#define PTR_OF(j) ((IUnknown *) (intptr_t) (j))

void rtLoad(const wchar_t *dllPath);

// The natives, each run as a native call of the VM: the local references it
// held at most are recorded (rtLocalPeak) and checked against the 16 a VM grants.
jboolean rtInitThread(int multithreaded);
jlong rtCreate(const char *classId, int find);
jlong rtQueryInterface(jlong unknown, const char *iid);
void rtRelease(jlong unknown);
jint rtDispId(jlong dispatch, const char *name);
jlong rtNewEnum(jlong dispatch);
void rtPump(int millis);
long rtLocalPeak(void);
// Events: the EventSink is an object of the VM's class mivra/runtime/EventSink
// (rtEventSink), whose two methods the harness plays through a handler.
typedef struct RtListener RtListener;
typedef jintArray (*RtTypes)(RtListener *listener, jint dispId, jint count);
typedef jstring (*RtEvent)(RtListener *listener, jint dispId, jintArray vts, jlongArray bits, jobjectArray refs);
struct RtListener {
	RtTypes types;
	RtEvent event;
	void *context;
};
jobject rtEventSink(RtListener *listener);
jlong rtAdvise(jlong unknown, const char *iid, jobject sink);
void rtUnadvise(jlong connection);

// A frame: slots 0..n-1 the arguments in declaration order, slot n the result.
typedef struct {
	jintArray vts;
	jlongArray bits;
	jobjectArray refs;
	jsize slots;
} Frame;

Frame rtFrame(jsize args);
void rtSetNumber(Frame *f, int slot, jint vt, jlong bits);
void rtSetDouble(Frame *f, int slot, jint vt, double value);
void rtSetString(Frame *f, int slot, const char *utf8);
void rtSetRef(Frame *f, int slot, jint vt, jobject ref);
void rtSetMissing(Frame *f, int slot);
jint rtVt(Frame *f, int slot);
jlong rtBits(Frame *f, int slot);
double rtDouble(Frame *f, int slot);
jobject rtRef(Frame *f, int slot);
// A SAFEARRAY on the wire: Object[]{int[] counts, payload}.
jobject rtWireArray(jsize count, jobject payload);
jobject rtArrayPayload(jobject wire);
jsize rtArrayCount(jobject wire, int dim);
jsize rtArrayDims(jobject wire);
// A nested frame of n slots (VARIANT array payloads, VT_BYREF|VT_VARIANT).
jobject rtNestedFrame(jsize n, Frame *view);
Frame rtFrameOf(jobject nested);

// IDispatch::Invoke through the runtime: 1 on success, 0 with the exception pending.
int rtInvoke(jlong dispatch, jint dispId, jint flags, jint resultVt, Frame *f);
jint rtNext(jlong enumerator, jint elementVt, Frame *batch);
// A vtable call (declared: the n arguments' declared VARTYPEs), the IID of an
// object's type information (0 when it gives none), a VARIANT conversion of
// slot 0; each 1 on success, 0 with the exception pending.
int rtVtblCall(jlong unknown, jint slot, const char *iid, jint resultVt, const jint *declared, Frame *f);
int rtTypeInfoIid(jlong dispatch, char *out, size_t size);
int rtChangeType(jint vt, Frame *f);

// The packed calls: the n arguments' bits and then their VARTYPEs in slots
// (a long[]), a string's bits its length; a string result of at most
// RT_TEXT_ROOM - 2 characters, or an object result's IID, comes back in text
// (a char[]: its length, two chars, then its text). Each as the Java half
// makes it: the exception, if any, left pending.
#define RT_TEXT_ROOM 66
jlong rtCallBits(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs);
jobject rtCallRef(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs,
                  jobject text);
jlong rtCallObject(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs,
                   jobject text);
jobject rtCallVariant(jlong dispatch, jint dispId, jint flags, jint resultVt, jint n, jobject slots, jobject refs,
                      jobject result, jobject text);

// Shorthands for the scenarios; each checks that no exception came.
jlong rtGetObject(jlong dispatch, jint dispId, jint flags);           // no arguments, VT_DISPATCH result
jlong rtGetObjectString(jlong dispatch, jint dispId, jint flags, const char *arg);
jlong rtGetNumber(jlong dispatch, jint dispId, jint resultVt);        // property get, no arguments
int rtGetString(jlong dispatch, jint dispId, jint flags, char *out, size_t size);  // BSTR result
int rtCallString(jlong dispatch, jint dispId, jint flags, const char *arg, jint resultVt, Frame *f);

#endif
