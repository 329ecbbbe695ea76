// The Java side of the generated classes, played in C: loads a generated JNI
// library and calls its natives the way the generated Java code does.
#ifndef MIVRA_HARNESS_H
#define MIVRA_HARNESS_H

#include <windows.h>
#include <oleauto.h>

#include "fake_jni.h"

// Loads the library, sets up the VM for its package and runs the support
// classes' static initialisers (MivraVariant first, then MivraObject).
void harnessLoad(const wchar_t *dllPath, const char *package);
JNIEnv *harnessEnv(void);
// Bytes in use on every heap of the process, for the leak checks.
SIZE_T heapBytes(void);

// The exported native of a generated class. The signature is written in
// short form, one letter per parameter: I S F D Z as in JNI, T a String,
// O a MivraObject, V a MivraVariant; NULL for a native without "__" part.
void *harnessNative(const char *className, const char *method, const char *signature);
#define NATIVE(result, params, cls, method, sig) ((result (JNICALL *) params) harnessNative(cls, method, sig))

// `new <Object>()`: creates the interface objects, the COM object, then
// loads every interface. Returns NULL with the exception pending on failure.
jobject javaNewObject(const char *className, int interfaceCount, const char *const *interfaces, jobject *loaded);
// `new <Interface>( obj )`; NULL with ClassCastException pending on failure.
jobject javaNewInterface(const char *className, jobject from);
// `new <Interface>()`: an unconnected interface object.
jobject javaEmptyInterface(const char *className);
void javaRelease(jobject obj);           // obj.__release()

// MivraVariant constructors and natives.
jobject javaVariant(void);
jobject javaVariantInt(jint value);
jobject javaVariantFloat(jfloat value);
jobject javaVariantDouble(jdouble value);
jobject javaVariantString(const char *utf8);
jobject javaVariantStringUtf16(const jchar *chars, jsize length);
jobject javaVariantObject(jobject obj);
jobject javaVariantShort(jshort value);
jobject javaVariantTagged(jint tag, jint value);   // setInt, then setType
jint javaVariantType(jobject variant);
jint javaVariantGetInt(jobject variant);
jshort javaVariantGetShort(jobject variant);
jfloat javaVariantGetFloat(jobject variant);
jdouble javaVariantGetDouble(jobject variant);
jstring javaVariantGetString(jobject variant);
jobject javaVariantGetObject(jobject variant);
void javaVariantRelease(jobject variant);
VARIANT *harnessVariantData(jobject variant);

// Checks. Every failure is printed and counted; the exit code is the count.
int check(int ok, const char *what, ...);
int expectNoException(const char *what);
int expectException(const char *what, const char *className, const char *messagePrefix);
int expectStringEquals(const char *what, jstring actual, const char *utf8);
int harnessFailures(void);

// The package-qualified class name with "/" ("rt/scripting/MivraException").
const char *harnessClassPath(const char *simpleName);

#endif
