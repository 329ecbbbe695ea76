// What the runtime's JNI adapters share with mivra_runtime.c: frame slots to
// VARIANTs and back, by-reference storage, and failures as MivraException.
#ifndef MIVRA_JNI_H
#define MIVRA_JNI_H

#include <windows.h>
#include <oleauto.h>
#include <jni.h>

#define PTR(j) ((void *) (intptr_t) (j))
#define JPTR(p) ((jlong) (intptr_t) (p))
// A Java exception is already pending: the caller only cleans up.
#define JAVA_PENDING ((HRESULT) 0xA0EE0001L)
#define LOCAL_ARGS 16

// The storage a by-reference argument points at.
typedef union {
	VARIANT variant;
	DECIMAL decimal;
} ByRefStore;

HRESULT bstrOf(JNIEnv *env, jstring str, BSTR *out);
void throwFailure(JNIEnv *env, HRESULT hr, EXCEPINFO *info, int argIndex, const WCHAR *subject);
void freeExcepInfo(EXCEPINFO *info);
void clearVariant(VARIANT *v);
HRESULT fromWire(JNIEnv *env, VARIANT *out, jint vt, jlong bits, jobject ref);
HRESULT toWire(JNIEnv *env, VARIANT *v, jint *vt, jlong *bits, jobject *ref);
int needsRef(jint vt);
HRESULT coerce(VARIANT *v, VARTYPE to);
HRESULT prepareArgument(JNIEnv *env, jint vt, jlong bits, jobject ref, VARIANTARG *arg, ByRefStore *store);
HRESULT returnArgument(JNIEnv *env, jint vt, ByRefStore *store, jint *slotVt, jlong *slotBits, jobject *slotRef,
                       jobject frame);
void clearArgument(jint vt, VARIANTARG *arg, ByRefStore *store);
// The ref of an object result's slot: the IID its type information names, "" for none.
HRESULT typeInfoSlot(JNIEnv *env, IDispatch *dispatch, jobject *ref);

#endif
