#include "harness.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HMODULE library;
static char package[128];
static char jniPackage[256];
static int failures;

typedef void (JNICALL *VoidNative)(JNIEnv *, jobject);
typedef void (JNICALL *StaticNative)(JNIEnv *, jclass);

static void escapeInto(char *out, size_t size, const char *name)
{
	size_t n = strlen(out);
	for (; *name && n + 3 < size; ++name) {
		if (*name == '_') {
			out[n++] = '_';
			out[n++] = '1';
		} else if (*name == ';') {
			out[n++] = '_';
			out[n++] = '2';
		} else {
			out[n++] = *name;
		}
	}
	out[n] = 0;
}

void *harnessNative(const char *className, const char *method, const char *signature)
{
	char name[1024];
	snprintf(name, sizeof name, "Java_%s_", jniPackage);
	escapeInto(name, sizeof name, className);
	strcat(name, "_");
	escapeInto(name, sizeof name, method);
	if (signature != NULL) {
		strcat(name, "__");
		for (const char *s = signature; *s; ++s) {
			char piece[300];
			switch (*s) {
			case 'T': snprintf(piece, sizeof piece, "Ljava_lang_String_2"); break;
			case 'O': snprintf(piece, sizeof piece, "L%s_MivraObject_2", jniPackage); break;
			case 'V': snprintf(piece, sizeof piece, "L%s_MivraVariant_2", jniPackage); break;
			default: snprintf(piece, sizeof piece, "%c", *s); break;
			}
			strcat(name, piece);
		}
	}
	void *fn = (void *) GetProcAddress(library, name);
	if (fn == NULL) {
		fprintf(stderr, "FATAL: the library exports no %s\n", name);
		exit(100);
	}
	return fn;
}

const char *harnessClassPath(const char *simpleName)
{
	static char buffers[4][256];
	static int next;
	char *out = buffers[next++ % 4];
	snprintf(out, 256, "%s", package);
	for (char *p = out; *p; ++p)
		if (*p == '.')
			*p = '/';
	if (*out)
		strcat(out, "/");
	strcat(out, simpleName);
	return out;
}

JNIEnv *harnessEnv(void)
{
	return fakeEnv();
}

static void variantConstructor(JNIEnv *env, jobject obj)
{
	// public MivraVariant() { setType( VARIANT_EMPTY ); }
	NATIVE(void, (JNIEnv *, jobject, jint), "MivraVariant", "setType", NULL)(env, obj, VT_EMPTY);
}

static void variantFinalizer(JNIEnv *env, jobject obj)
{
	NATIVE(void, (JNIEnv *, jobject), "MivraVariant", "freeMemory", NULL)(env, obj);
}

static void objectFinalizer(JNIEnv *env, jobject obj)
{
	NATIVE(void, (JNIEnv *, jobject), "MivraObject", "__release", NULL)(env, obj);
}

void harnessLoad(const wchar_t *dllPath, const char *packageName)
{
	snprintf(package, sizeof package, "%s", packageName);
	jniPackage[0] = 0;
	escapeInto(jniPackage, sizeof jniPackage, packageName);
	for (char *p = jniPackage; *p; ++p)
		if (*p == '.')
			*p = '_';
	library = LoadLibraryW(dllPath);
	if (library == NULL) {
		fprintf(stderr, "FATAL: cannot load %ls (error %lu)\n", dllPath, GetLastError());
		exit(100);
	}
	fakeVmInit(packageName, 1);
	JNIEnv *env = fakeEnv();
	FakeClass *variant = fakePackageClass("MivraVariant");
	FakeClass *object = fakePackageClass("MivraObject");
	fakeSetConstructor(variant, variantConstructor);
	fakeSetFinalizer(variant, variantFinalizer);
	fakeSetFinalizer(object, objectFinalizer);

	// MivraObject's static initialiser: new MivraVariant() (whose class
	// initialiser loads the library and calls initialize()), then
	// System.loadLibrary and __initialize().
	NATIVE(void, (JNIEnv *, jclass), "MivraVariant", "initialize", NULL)(env, fakeClassObject(variant));
	expectNoException("MivraVariant.initialize");
	fakeNew(variant);
	expectNoException("new MivraVariant()");
	NATIVE(void, (JNIEnv *, jclass), "MivraObject", "__initialize", NULL)(env, fakeClassObject(object));
	expectNoException("MivraObject.__initialize");
}

jobject javaNewObject(const char *className, int interfaceCount, const char *const *interfaces, jobject *loaded)
{
	JNIEnv *env = fakeEnv();
	for (int i = 0; i < interfaceCount; ++i)
		loaded[i] = fakeAllocate(fakePackageClass(interfaces[i]));
	jobject obj = fakeAllocate(fakePackageClass(className));
	jboolean created = NATIVE(jboolean, (JNIEnv *, jobject, jboolean), className, "__MivraCreateObject", NULL)(
		env, obj, JNI_FALSE);
	if (fakeExceptionPending())
		return NULL;
	if (!created) {
		(*env)->ThrowNew(env, (*env)->FindClass(env, harnessClassPath("MivraException")), "Object creation failed");
		return NULL;
	}
	for (int i = 0; i < interfaceCount; ++i) {
		jboolean ok = NATIVE(jboolean, (JNIEnv *, jobject, jobject), interfaces[i], "__MivraLoad", NULL)(
			env, loaded[i], obj);
		if (fakeExceptionPending())
			return NULL;
		if (!ok) {
			(*env)->ThrowNew(env, (*env)->FindClass(env, harnessClassPath("MivraException")),
			                 "COM Interface was not found");
			return NULL;
		}
	}
	return obj;
}

jobject javaNewInterface(const char *className, jobject from)
{
	JNIEnv *env = fakeEnv();
	jobject obj = fakeAllocate(fakePackageClass(className));
	jboolean ok = NATIVE(jboolean, (JNIEnv *, jobject, jobject), className, "__MivraLoad", NULL)(env, obj, from);
	if (fakeExceptionPending())
		return NULL;
	if (!ok) {
		(*env)->ThrowNew(env, (*env)->FindClass(env, "java/lang/ClassCastException"),
		                 "Object/interface passed does not support");
		return NULL;
	}
	return obj;
}

jobject javaEmptyInterface(const char *className)
{
	return fakeAllocate(fakePackageClass(className));
}

void javaRelease(jobject obj)
{
	NATIVE(void, (JNIEnv *, jobject), "MivraObject", "__release", NULL)(fakeEnv(), obj);
}

jobject javaVariant(void)
{
	return fakeNew(fakePackageClass("MivraVariant"));
}

static jobject bareVariant(void)
{
	return fakeAllocate(fakePackageClass("MivraVariant"));
}

static void setType(jobject v, jint tag)
{
	NATIVE(void, (JNIEnv *, jobject, jint), "MivraVariant", "setType", NULL)(fakeEnv(), v, tag);
}

jobject javaVariantInt(jint value)
{
	jobject v = bareVariant();
	NATIVE(void, (JNIEnv *, jobject, jint), "MivraVariant", "setInt", NULL)(fakeEnv(), v, value);
	setType(v, VT_I4);
	return v;
}

jobject javaVariantShort(jshort value)
{
	jobject v = javaVariant();
	NATIVE(void, (JNIEnv *, jobject, jshort), "MivraVariant", "setShort", NULL)(fakeEnv(), v, value);
	return v;
}

jobject javaVariantFloat(jfloat value)
{
	jobject v = bareVariant();
	NATIVE(void, (JNIEnv *, jobject, jfloat), "MivraVariant", "setFloat", NULL)(fakeEnv(), v, value);
	setType(v, VT_R4);
	return v;
}

jobject javaVariantDouble(jdouble value)
{
	jobject v = bareVariant();
	NATIVE(void, (JNIEnv *, jobject, jdouble), "MivraVariant", "setDouble", NULL)(fakeEnv(), v, value);
	setType(v, VT_R8);
	return v;
}

jobject javaVariantStringUtf16(const jchar *chars, jsize length)
{
	jobject v = bareVariant();
	NATIVE(void, (JNIEnv *, jobject, jstring), "MivraVariant", "setString", NULL)(
		fakeEnv(), v, fakeStringUtf16(chars, length));
	setType(v, VT_BSTR);
	return v;
}

jobject javaVariantString(const char *utf8)
{
	jobject v = bareVariant();
	NATIVE(void, (JNIEnv *, jobject, jstring), "MivraVariant", "setString", NULL)(fakeEnv(), v, fakeString(utf8));
	setType(v, VT_BSTR);
	return v;
}

jobject javaVariantObject(jobject obj)
{
	jobject v = javaVariant();
	NATIVE(void, (JNIEnv *, jobject, jobject), "MivraVariant", "setMivraObject", NULL)(fakeEnv(), v, obj);
	return v;
}

jobject javaVariantTagged(jint tag, jint value)
{
	jobject v = javaVariant();
	NATIVE(void, (JNIEnv *, jobject, jint), "MivraVariant", "setInt", NULL)(fakeEnv(), v, value);
	setType(v, tag);
	return v;
}

jint javaVariantType(jobject v)
{
	return NATIVE(jint, (JNIEnv *, jobject), "MivraVariant", "getType", NULL)(fakeEnv(), v);
}

jint javaVariantGetInt(jobject v)
{
	return NATIVE(jint, (JNIEnv *, jobject), "MivraVariant", "getInt", NULL)(fakeEnv(), v);
}

jshort javaVariantGetShort(jobject v)
{
	return NATIVE(jshort, (JNIEnv *, jobject), "MivraVariant", "getShort", NULL)(fakeEnv(), v);
}

jfloat javaVariantGetFloat(jobject v)
{
	return NATIVE(jfloat, (JNIEnv *, jobject), "MivraVariant", "getFloat", NULL)(fakeEnv(), v);
}

jdouble javaVariantGetDouble(jobject v)
{
	return NATIVE(jdouble, (JNIEnv *, jobject), "MivraVariant", "getDouble", NULL)(fakeEnv(), v);
}

jstring javaVariantGetString(jobject v)
{
	return NATIVE(jstring, (JNIEnv *, jobject), "MivraVariant", "getString", NULL)(fakeEnv(), v);
}

jobject javaVariantGetObject(jobject v)
{
	return NATIVE(jobject, (JNIEnv *, jobject), "MivraVariant", "getMivraObject", NULL)(fakeEnv(), v);
}

void javaVariantRelease(jobject v)
{
	NATIVE(void, (JNIEnv *, jobject), "MivraVariant", "freeMemory", NULL)(fakeEnv(), v);
}

VARIANT *harnessVariantData(jobject variant)
{
	return (VARIANT *) (intptr_t) fakeHandle(variant);
}

int check(int ok, const char *what, ...)
{
	if (!ok) {
		va_list args;
		va_start(args, what);
		fprintf(stdout, "FAIL: ");
		vfprintf(stdout, what, args);
		fprintf(stdout, "\n");
		va_end(args);
		fflush(stdout);
		++failures;
	}
	return ok;
}

int expectNoException(const char *what)
{
	int ok = check(!fakeExceptionPending(), "%s threw %s \"%s\"", what, fakeExceptionClass(), fakeExceptionMessage());
	fakeExceptionClear();
	return ok;
}

int expectException(const char *what, const char *className, const char *messagePrefix)
{
	int ok;
	if (!fakeExceptionPending())
		ok = check(0, "%s threw nothing, expected %s", what, className);
	else
		ok = check(strcmp(fakeExceptionClass(), className) == 0 &&
		                   strncmp(fakeExceptionMessage(), messagePrefix, strlen(messagePrefix)) == 0,
		           "%s threw %s \"%s\", expected %s \"%s...\"", what, fakeExceptionClass(), fakeExceptionMessage(),
		           className, messagePrefix);
	fakeExceptionClear();
	return ok;
}

int expectStringEquals(const char *what, jstring actual, const char *utf8)
{
	char buffer[512];
	return check(fakeStringEquals(actual, utf8), "%s gave \"%s\", expected \"%s\"", what,
	             fakeStringUtf8(actual, buffer, sizeof buffer), utf8 ? utf8 : "(null)");
}

int harnessFailures(void)
{
	return failures;
}

// Bytes in use on every heap of the process.
SIZE_T heapBytes(void)
{
	HANDLE heaps[64];
	DWORD count = GetProcessHeaps(64, heaps);
	SIZE_T busy = 0;
	for (DWORD i = 0; i < count && i < 64; ++i) {
		PROCESS_HEAP_ENTRY entry;
		entry.lpData = NULL;
		if (!HeapLock(heaps[i]))
			continue;
		while (HeapWalk(heaps[i], &entry))
			if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
				busy += entry.cbData;
		HeapUnlock(heaps[i]);
	}
	return busy;
}
