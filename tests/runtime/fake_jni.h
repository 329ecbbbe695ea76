// A minimal Java VM seen through JNI: just the functions the generated
// library calls, over simple in-memory objects. Every other JNI function
// aborts with its name, and misuse a real VM would punish (a field read on
// null, a long field read as int, a call with an exception pending) aborts
// as well, so the generated code is held to the rules a real VM enforces.
#ifndef MIVRA_FAKE_JNI_H
#define MIVRA_FAKE_JNI_H

#include <jni.h>
#include <stdint.h>

typedef struct FakeClass FakeClass;

// What a MivraException made through its full constructor carries.
typedef struct {
	char message[512];
	int hresult, code, helpContext, argumentIndex;
	int hasSource, hasDescription, hasHelpFile;
	char source[256], description[512], helpFile[256];
} FakeExceptionInfo;
typedef void (*FakeConstructor)(JNIEnv *env, jobject obj);
// A Java method played in C: the arguments as the signature lists them.
typedef jvalue (*FakeMethod)(JNIEnv *env, jobject self, const jvalue *args);

// The VM: one environment, its classes and every object it has made.
void fakeVmInit(const char *package, int longHandles);
JNIEnv *fakeEnv(void);

// Classes of the generated package are named without the package ("MivraObject").
FakeClass *fakePackageClass(const char *simpleName);
jclass fakeClassObject(FakeClass *cls);
const char *fakeClassName(FakeClass *cls);
void fakeSetConstructor(FakeClass *cls, FakeConstructor ctor);

// Objects and their fields, as the Java code of the generated classes sees them.
jobject fakeNew(FakeClass *cls);              // runs the class's no-argument constructor
jobject fakeAllocate(FakeClass *cls);         // a bare instance, fields at their initial values
int64_t fakeHandle(jobject obj);            // comId or variantData, whichever the class has
void fakeSetHandle(jobject obj, int64_t value);
jstring fakeString(const char *utf8);
jstring fakeStringUtf16(const jchar *chars, jsize length);
const jchar *fakeStringChars(jstring str, jsize *length);
int fakeStringEquals(jstring str, const char *utf8);
const char *fakeStringUtf8(jstring str, char *buffer, size_t size);
int fakeIsInstance(jobject obj, FakeClass *cls);

// The pending exception a native left, or none.
int fakeExceptionPending(void);
const char *fakeExceptionClass(void);
const char *fakeExceptionMessage(void);
void fakeExceptionClear(void);
// The details of a pending MivraException thrown with Throw, else NULL.
const FakeExceptionInfo *fakeExceptionInfo(void);

// Arrays as the natives see them: kind is the element letter of the
// signature ('I', 'J', 'L', ...); an object array has an element class.
FakeClass *fakeClass(const char *name);       // any class the VM knows ("java/lang/String")
jobject fakeNewArray(char kind, jsize length, FakeClass *elementClass);
jsize fakeArrayLength(jobject array);
void *fakeArrayElements(jobject array, char kind);   // jint *, jlong *, jobject * ...

// Local references the natives hold at once: counted from fakeNativeEnter
// (a real VM guarantees 16 and leaks nothing past a native's return, but a
// loop that does not delete its references runs out of them).
void fakeNativeEnter(void);
long fakeLocalRefPeak(void);
long fakeGlobalRefs(void);

// Collection: everything made after a mark is finalized (the release natives
// run as the generated classes' finalize methods would) and freed.
typedef struct FakeObject *FakeMark;
FakeMark fakeMark(void);
typedef void (*FakeFinalizer)(JNIEnv *env, jobject obj);
void fakeSetFinalizer(FakeClass *cls, FakeFinalizer finalizer);
void fakeCollectSince(FakeMark mark);

// Java methods the natives call (CallObjectMethod), played in C.
void fakeDefineMethod(FakeClass *cls, const char *name, const char *signature, FakeMethod method);

// Threads. The VM's state (pending exception, local references) is per
// thread, and a JNI function called on a thread not attached aborts. The
// thread of fakeVmInit is attached; a thread the harness starts to play a
// Java thread attaches itself; threads of COM attach through the JavaVM.
void fakeAttachThread(void);
long fakeAttachCount(int daemon);
long fakeDescribedExceptions(void);   // exceptions ExceptionDescribe printed
long fakeThreadLocalRefs(void);       // local references the calling thread holds
int fakeIsGlobal(jobject obj);

// Resources the VM handed out and has not got back yet.
long fakeOutstandingStringBuffers(void);
long fakeLiveObjects(void);

#endif
