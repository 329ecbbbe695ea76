#include "fake_jni.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "jni_function_names.h"

#include <windows.h>

#define FIELD_NONE 0

typedef struct FakeMethodEntry {
	FakeClass *owner;
	char name[64];
	char signature[160];
	FakeMethod method;
	struct FakeMethodEntry *next;
} FakeMethodEntry;

struct FakeClass {
	char name[128];
	FakeClass *super;
	const char *fieldName;      // the one field the natives reach, or NULL
	FakeConstructor ctor;
	FakeFinalizer finalizer;
	struct FakeObject *classObject;
	FakeMethodEntry *methods;
	FakeClass *next;
};

typedef struct FakeObject {
	FakeClass *cls;             // the object's class; NULL for a class object
	FakeClass *described;       // for a class object: the class it stands for
	int64_t handle;             // comId or variantData
	jchar *chars;               // java/lang/String
	jsize length;
	int global;                 // global references held on it
	int finalized;
	char arrayKind;             // an array's element signature letter ('L' objects), else 0
	void *elements;
	jsize arrayLength;
	FakeClass *elementClass;    // an object array's element class
	FakeExceptionInfo *thrown;  // a MivraException made by its full constructor
	struct FakeObject *next;    // every object, newest first
} FakeObject;

typedef struct {
	FakeClass *owner;
	char signature[2];
} FakeField;

static struct JNINativeInterface_ functions;
static JNIEnv environment = &functions;
static FakeClass *classes;
static FakeObject *objects;
static long liveObjects;
static long stringBuffers;
static char package[128];
static int longHandles;
static FakeField fieldIds[8];
static int fieldIdCount;
static int constructorId;        // "<init>" "()V"
static int exceptionConstructorId;  // MivraException's "<init>" with every detail
static const char *const exceptionSignature =
	"(Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;II)V";
static long globalRefs;

// What a VM keeps per thread: whether it is attached, its environment, its
// pending exception and its local references.
#define MAX_LOCAL_FRAMES 32
typedef struct {
	int attached, daemon;
	JNIEnv env;
	struct {
		int pending;
		char className[128];
		char message[512];
	} pendingException;
	FakeExceptionInfo thrownInfo;
	long locals, peak;
	long frames[MAX_LOCAL_FRAMES];
	int frameDepth;
} ThreadState;

static DWORD threadSlot = TLS_OUT_OF_INDEXES;
// Held for a few instructions at a time, by the natives' thread and the
// threads events arrive on; a critical section would cost each string the
// VM makes more than the runtime's own work on it.
static volatile LONG vmLock;

static void lockVm(void)
{
	while (InterlockedExchange(&vmLock, 1) != 0)
		SwitchToThread();
}

static void unlockVm(void)
{
	// A plain store releases on x86; an interlocked one costs as much as the lock.
	_ReadWriteBarrier();
	vmLock = 0;
}
static long attachCount, daemonAttachCount, describedExceptions;

static ThreadState *threadState(void)
{
	ThreadState *state = TlsGetValue(threadSlot);
	if (state == NULL) {
		state = calloc(1, sizeof *state);
		state->env = &functions;
		TlsSetValue(threadSlot, state);
	}
	return state;
}
#define exception (threadState()->pendingException)
#define thrownInfo (threadState()->thrownInfo)
#define localRefs (threadState()->locals)
#define localPeak (threadState()->peak)

static void fail(const char *what, const char *detail)
{
	fprintf(stderr, "JNI misuse: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
	fflush(stderr);
	abort();
}

static void enter(const char *function)
{
	ThreadState *state = threadState();
	if (!state->attached)
		fail(function, "called on a thread that is not attached to the VM");
	if (state->pendingException.pending) {
		char detail[700];
		snprintf(detail, sizeof detail, "called with %s pending (\"%s\")", state->pendingException.className,
		         state->pendingException.message);
		fail(function, detail);
	}
}

static FakeObject *object(jobject ref, const char *function)
{
	FakeObject *obj = (FakeObject *) ref;
	if (obj == NULL)
		fail(function, "null object");
	if (obj->finalized)
		fail(function, "object already collected");
	return obj;
}

static FakeClass *classOf(jclass ref, const char *function)
{
	FakeObject *obj = object(ref, function);
	if (obj->described == NULL)
		fail(function, "not a class");
	return obj->described;
}

static FakeClass *findClass(const char *name);

static FakeClass *objectClass;

static int isSubclass(FakeClass *cls, FakeClass *of)
{
	if (of != NULL && of == objectClass)
		return 1;
	for (; cls != NULL; cls = cls->super)
		if (cls == of)
			return 1;
	return 0;
}

static FakeClass *findClass(const char *name)
{
	for (FakeClass *c = classes; c != NULL; c = c->next)
		if (strcmp(c->name, name) == 0)
			return c;
	return NULL;
}

static void *vmAlloc(size_t size);
static void *vmAllocLocked(size_t size);

// Threads the events arrive on make objects as well: the object list and the
// VM's memory are shared under one lock.
static FakeObject *allocateWith(FakeClass *cls, size_t extra)
{
	lockVm();
	FakeObject *obj = vmAllocLocked(sizeof *obj + extra);
	obj->cls = cls;
	obj->next = objects;
	objects = obj;
	++liveObjects;
	unlockVm();
	return obj;
}

static FakeObject *allocate(FakeClass *cls)
{
	return allocateWith(cls, 0);
}

// The VM's own memory: small blocks are recycled, as a VM's heap recycles
// its objects; Wine's heap takes near a microsecond a block, which would
// swamp what the benchmark measures. Each block keeps its size class in front.
#define POOL_CLASSES 32
static void *pools[POOL_CLASSES];

static void *vmAlloc(size_t size)
{
	lockVm();
	void *p = vmAllocLocked(size);
	unlockVm();
	return p;
}

static void *vmAllocLocked(size_t size)
{
	size_t cls = (size + 15) / 16;
	if (cls >= POOL_CLASSES) {
		size_t *big = calloc(1, size + 16);
		big[0] = POOL_CLASSES;
		return big + 2;
	}
	size_t *block = pools[cls];
	if (block != NULL) {
		pools[cls] = *(void **) (block + 2);
		memset(block + 2, 0, cls * 16);
	} else {
		block = calloc(1, cls * 16 + 16);
	}
	block[0] = cls;
	return block + 2;
}

static void vmFreeLocked(void *p)
{
	if (p == NULL)
		return;
	size_t *block = (size_t *) p - 2;
	if (block[0] >= POOL_CLASSES) {
		free(block);
	} else {
		*(void **) p = pools[block[0]];
		pools[block[0]] = block;
	}
}

// A reference a JNI function hands out: a local one, counted while a native runs.
static jobject local(void *obj)
{
	if (obj != NULL) {
		ThreadState *state = threadState();
		if (++state->locals > state->peak)
			state->peak = state->locals;
	}
	return (jobject) obj;
}

static FakeClass *defineClass(const char *name, FakeClass *super, const char *field)
{
	FakeClass *cls = calloc(1, sizeof *cls);
	snprintf(cls->name, sizeof cls->name, "%s", name);
	cls->super = super;
	cls->fieldName = field;
	cls->next = classes;
	classes = cls;
	cls->classObject = allocate(NULL);
	cls->classObject->described = cls;
	cls->classObject->global = 1;
	return cls;
}

// The stubs of every JNI function the generated code has no business calling.
static void missing(int index)
{
	fail(index < (int) (sizeof jniFunctionNames / sizeof *jniFunctionNames) ? jniFunctionNames[index] : "?",
	     "not implemented by the test VM");
}
#define STUB(n) static void stub##n(void) { missing(n); }
#define STUB10(n) STUB(n##0) STUB(n##1) STUB(n##2) STUB(n##3) STUB(n##4) STUB(n##5) STUB(n##6) STUB(n##7) STUB(n##8) STUB(n##9)
#define REF10(n) stub##n##0, stub##n##1, stub##n##2, stub##n##3, stub##n##4, stub##n##5, stub##n##6, stub##n##7, stub##n##8, stub##n##9
STUB(0) STUB(1) STUB(2) STUB(3) STUB(4) STUB(5) STUB(6) STUB(7) STUB(8) STUB(9)
STUB10(1) STUB10(2) STUB10(3) STUB10(4) STUB10(5) STUB10(6) STUB10(7) STUB10(8) STUB10(9) STUB10(10)
STUB10(11) STUB10(12) STUB10(13) STUB10(14) STUB10(15) STUB10(16) STUB10(17) STUB10(18) STUB10(19)
STUB10(20) STUB10(21) STUB10(22) STUB10(23) STUB10(24)
static void (*const stubs[])(void) = {
	stub0, stub1, stub2, stub3, stub4, stub5, stub6, stub7, stub8, stub9,
	REF10(1), REF10(2), REF10(3), REF10(4), REF10(5), REF10(6), REF10(7), REF10(8), REF10(9), REF10(10),
	REF10(11), REF10(12), REF10(13), REF10(14), REF10(15), REF10(16), REF10(17), REF10(18), REF10(19),
	REF10(20), REF10(21), REF10(22), REF10(23), REF10(24),
};

// Classes, fields and methods.

static jclass JNICALL FindClass(JNIEnv *env, const char *name)
{
	(void) env;
	enter("FindClass");
	FakeClass *cls = findClass(name);
	if (cls == NULL)
		fail("FindClass", name);
	return (jclass) local(cls->classObject);
}

static jclass JNICALL GetObjectClass(JNIEnv *env, jobject obj)
{
	(void) env;
	enter("GetObjectClass");
	return (jclass) local(object(obj, "GetObjectClass")->cls->classObject);
}

static jboolean JNICALL IsInstanceOf(JNIEnv *env, jobject obj, jclass cls)
{
	(void) env;
	enter("IsInstanceOf");
	if (obj == NULL)
		return JNI_TRUE;
	return isSubclass(object(obj, "IsInstanceOf")->cls, classOf(cls, "IsInstanceOf")) ? JNI_TRUE : JNI_FALSE;
}

static jboolean JNICALL IsSameObject(JNIEnv *env, jobject a, jobject b)
{
	(void) env;
	return a == b ? JNI_TRUE : JNI_FALSE;
}

static jfieldID JNICALL GetFieldID(JNIEnv *env, jclass clazz, const char *name, const char *sig)
{
	(void) env;
	enter("GetFieldID");
	FakeClass *cls = classOf(clazz, "GetFieldID");
	for (FakeClass *c = cls; c != NULL; c = c->super) {
		if (c->fieldName == NULL || strcmp(c->fieldName, name) != 0)
			continue;
		const char *declared = longHandles ? "J" : "I";
		if (strcmp(sig, declared) != 0) {
			char detail[200];
			snprintf(detail, sizeof detail, "%s.%s is declared \"%s\", asked as \"%s\"", c->name, name, declared, sig);
			fail("GetFieldID", detail);
		}
		for (int i = 0; i < fieldIdCount; ++i)
			if (fieldIds[i].owner == c)
				return (jfieldID) &fieldIds[i];
		fieldIds[fieldIdCount].owner = c;
		strcpy(fieldIds[fieldIdCount].signature, declared);
		return (jfieldID) &fieldIds[fieldIdCount++];
	}
	fail("GetFieldID", name);
	return NULL;
}

static jmethodID JNICALL GetMethodID(JNIEnv *env, jclass clazz, const char *name, const char *sig)
{
	(void) env;
	enter("GetMethodID");
	FakeClass *cls = classOf(clazz, "GetMethodID");
	if (strcmp(name, "<init>") != 0) {
		for (FakeClass *c = cls; c != NULL; c = c->super)
			for (FakeMethodEntry *m = c->methods; m != NULL; m = m->next)
				if (strcmp(m->name, name) == 0 && strcmp(m->signature, sig) == 0)
					return (jmethodID) m;
		char detail[300];
		snprintf(detail, sizeof detail, "%s has no method %s%s", cls->name, name, sig);
		fail("GetMethodID", detail);
	}
	if (strcmp(sig, "()V") == 0)
		return (jmethodID) &constructorId;
	if (strcmp(sig, exceptionSignature) == 0 && strstr(cls->name, "MivraException") != NULL)
		return (jmethodID) &exceptionConstructorId;
	char detail[300];
	snprintf(detail, sizeof detail, "%s has no constructor %s", cls->name, sig);
	fail("GetMethodID", detail);
	return NULL;
}

static FakeField *field(jobject obj, jfieldID id, const char *kind, const char *function)
{
	FakeObject *o = object(obj, function);
	FakeField *f = (FakeField *) id;
	if (f < fieldIds || f >= fieldIds + fieldIdCount)
		fail(function, "not a field id");
	if (strcmp(f->signature, kind) != 0)
		fail(function, "field type differs from the accessor");
	if (o->cls == NULL || !isSubclass(o->cls, f->owner))
		fail(function, "object lacks the field");
	return f;
}

static jint JNICALL GetIntField(JNIEnv *env, jobject obj, jfieldID id)
{
	(void) env;
	enter("GetIntField");
	field(obj, id, "I", "GetIntField");
	return (jint) ((FakeObject *) obj)->handle;
}

static void JNICALL SetIntField(JNIEnv *env, jobject obj, jfieldID id, jint value)
{
	(void) env;
	enter("SetIntField");
	field(obj, id, "I", "SetIntField");
	((FakeObject *) obj)->handle = value;
}

static jlong JNICALL GetLongField(JNIEnv *env, jobject obj, jfieldID id)
{
	(void) env;
	enter("GetLongField");
	field(obj, id, "J", "GetLongField");
	return ((FakeObject *) obj)->handle;
}

static void JNICALL SetLongField(JNIEnv *env, jobject obj, jfieldID id, jlong value)
{
	(void) env;
	enter("SetLongField");
	field(obj, id, "J", "SetLongField");
	((FakeObject *) obj)->handle = value;
}

static jobject construct(FakeClass *cls)
{
	FakeObject *obj = allocate(cls);
	for (FakeClass *c = cls; c != NULL; c = c->super)
		if (c->ctor) {
			c->ctor(&environment, (jobject) obj);
			break;
		}
	return (jobject) obj;
}

static jobject JNICALL NewObject(JNIEnv *env, jclass clazz, jmethodID ctor, ...)
{
	(void) env;
	enter("NewObject");
	FakeClass *cls = classOf(clazz, "NewObject");
	if (ctor == (jmethodID) &exceptionConstructorId) {
		FakeObject *obj = allocate(cls);
		FakeExceptionInfo *info = calloc(1, sizeof *info);
		va_list args;
		va_start(args, ctor);
		jstring message = va_arg(args, jstring);
		info->hresult = va_arg(args, jint);
		info->code = va_arg(args, jint);
		jstring source = va_arg(args, jstring), description = va_arg(args, jstring), help = va_arg(args, jstring);
		info->helpContext = va_arg(args, jint);
		info->argumentIndex = va_arg(args, jint);
		va_end(args);
		if (message == NULL)
			fail("NewObject", "MivraException without a message");
		fakeStringUtf8(message, info->message, sizeof info->message);
		info->hasSource = source != NULL;
		info->hasDescription = description != NULL;
		info->hasHelpFile = help != NULL;
		fakeStringUtf8(source, info->source, sizeof info->source);
		fakeStringUtf8(description, info->description, sizeof info->description);
		fakeStringUtf8(help, info->helpFile, sizeof info->helpFile);
		obj->thrown = info;
		return local(obj);
	}
	if (ctor != (jmethodID) &constructorId)
		fail("NewObject", "not a constructor id");
	return local(construct(cls));
}

static jobject JNICALL NewGlobalRef(JNIEnv *env, jobject ref)
{
	(void) env;
	enter("NewGlobalRef");
	if (ref != NULL) {
		FakeObject *obj = object(ref, "NewGlobalRef");
		lockVm();
		++obj->global;
		++globalRefs;
		unlockVm();
	}
	return ref;
}

static void JNICALL DeleteGlobalRef(JNIEnv *env, jobject ref)
{
	(void) env;
	if (ref == NULL)
		return;
	FakeObject *obj = object(ref, "DeleteGlobalRef");
	if (obj->global <= 0)
		fail("DeleteGlobalRef", "not a global reference (deleted twice?)");
	lockVm();
	--obj->global;
	--globalRefs;
	unlockVm();
}

// Calls of Java methods, which the harness plays in C.

static jobject JNICALL CallObjectMethodV(JNIEnv *env, jobject obj, jmethodID id, va_list list)
{
	enter("CallObjectMethod");
	FakeObject *o = object(obj, "CallObjectMethod");
	FakeMethodEntry *m = (FakeMethodEntry *) id;
	if (m == NULL || m->method == NULL)
		fail("CallObjectMethod", "not a method id");
	if (o->cls == NULL || !isSubclass(o->cls, m->owner))
		fail("CallObjectMethod", "the object is not of the method's class");
	jvalue args[16];
	int n = 0;
	const char *p = m->signature + 1;
	while (*p != ')') {
		if (n == 16)
			fail("CallObjectMethod", "too many parameters");
		char kind = *p;
		while (*p == '[')
			++p;
		if (*p == 'L')
			p = strchr(p, ';');
		++p;
		if (kind == '[' || kind == 'L')
			args[n].l = va_arg(list, jobject);
		else if (kind == 'J')
			args[n].j = va_arg(list, jlong);
		else if (kind == 'F' || kind == 'D')
			args[n].d = va_arg(list, double);
		else
			args[n].i = va_arg(list, jint);
		++n;
	}
	if (p[1] != 'L' && p[1] != '[')
		fail("CallObjectMethod", "the method does not return an object");
	jvalue result = m->method(env, obj, args);
	return exception.pending ? NULL : local(result.l);
}

static jobject JNICALL CallObjectMethod(JNIEnv *env, jobject obj, jmethodID id, ...)
{
	va_list list;
	va_start(list, id);
	jobject result = CallObjectMethodV(env, obj, id, list);
	va_end(list);
	return result;
}

static jint JNICALL PushLocalFrame(JNIEnv *env, jint capacity)
{
	(void) env;
	ThreadState *state = threadState();
	if (!state->attached)
		fail("PushLocalFrame", "called on a thread that is not attached to the VM");
	if (capacity < 0 || state->frameDepth == MAX_LOCAL_FRAMES)
		fail("PushLocalFrame", "bad capacity or frames nested too deep");
	state->frames[state->frameDepth++] = state->locals;
	return 0;
}

static jobject JNICALL PopLocalFrame(JNIEnv *env, jobject result)
{
	(void) env;
	ThreadState *state = threadState();
	if (state->frameDepth == 0)
		fail("PopLocalFrame", "no frame pushed");
	state->locals = state->frames[--state->frameDepth];
	return result != NULL ? local(result) : NULL;
}

static jobject JNICALL NewLocalRef(JNIEnv *env, jobject ref)
{
	(void) env;
	enter("NewLocalRef");
	return ref != NULL ? local(object(ref, "NewLocalRef")) : NULL;
}

static void JNICALL ExceptionDescribe(JNIEnv *env)
{
	(void) env;
	if (exception.pending) {
		fprintf(stderr, "Exception in the VM: %s: %s\n", exception.className, exception.message);
		exception.pending = 0;
		++describedExceptions;
	}
}

// The invocation interface: threads attach once and stay.

static struct JNIInvokeInterface_ invokeFunctions;
static JavaVM javaVm = &invokeFunctions;

static jint JNICALL GetJavaVM(JNIEnv *env, JavaVM **vm)
{
	(void) env;
	enter("GetJavaVM");
	*vm = &javaVm;
	return JNI_OK;
}

static jint JNICALL VmGetEnv(JavaVM *vm, void **penv, jint version)
{
	if (vm != &javaVm)
		fail("GetEnv", "not the VM");
	if (version < JNI_VERSION_1_1 || version > JNI_VERSION_10)
		return JNI_EVERSION;
	ThreadState *state = threadState();
	*penv = state->attached ? &state->env : NULL;
	return state->attached ? JNI_OK : JNI_EDETACHED;
}

static jint attachThread(JavaVM *vm, void **penv, int daemon)
{
	if (vm != &javaVm)
		fail("AttachCurrentThread", "not the VM");
	ThreadState *state = threadState();
	if (!state->attached) {
		state->attached = 1;
		state->daemon = daemon;
		InterlockedIncrement(daemon ? &daemonAttachCount : &attachCount);
	}
	*penv = &state->env;
	return JNI_OK;
}

static jint JNICALL VmAttachCurrentThread(JavaVM *vm, void **penv, void *args)
{
	(void) args;
	return attachThread(vm, penv, 0);
}

static jint JNICALL VmAttachCurrentThreadAsDaemon(JavaVM *vm, void **penv, void *args)
{
	(void) args;
	return attachThread(vm, penv, 1);
}

static jint JNICALL VmDetachCurrentThread(JavaVM *vm)
{
	(void) vm;
	ThreadState *state = threadState();
	if (!state->attached)
		return JNI_EDETACHED;
	if (state->frameDepth > 0)
		fail("DetachCurrentThread", "local frames still pushed");
	state->attached = 0;
	return JNI_OK;
}

static jint JNICALL VmDestroyJavaVM(JavaVM *vm)
{
	(void) vm;
	fail("DestroyJavaVM", "not implemented by the test VM");
	return JNI_ERR;
}

static void JNICALL DeleteLocalRef(JNIEnv *env, jobject ref)
{
	(void) env;
	if (ref != NULL)
		--localRefs;
}

// Exceptions.

static jint JNICALL ThrowNew(JNIEnv *env, jclass clazz, const char *message)
{
	(void) env;
	enter("ThrowNew");
	FakeClass *cls = classOf(clazz, "ThrowNew");
	exception.pending = 1;
	snprintf(exception.className, sizeof exception.className, "%s", cls->name);
	snprintf(exception.message, sizeof exception.message, "%s", message ? message : "");
	memset(&thrownInfo, 0, sizeof thrownInfo);
	return 0;
}

static jint JNICALL Throw(JNIEnv *env, jthrowable obj)
{
	(void) env;
	enter("Throw");
	FakeObject *o = object(obj, "Throw");
	if (o->cls == NULL || !isSubclass(o->cls, findClass("java/lang/Throwable")))
		fail("Throw", "not a throwable");
	exception.pending = 1;
	snprintf(exception.className, sizeof exception.className, "%s", o->cls->name);
	snprintf(exception.message, sizeof exception.message, "%s", o->thrown ? o->thrown->message : "");
	if (o->thrown)
		thrownInfo = *o->thrown;
	else
		memset(&thrownInfo, 0, sizeof thrownInfo);
	return 0;
}

static jboolean JNICALL ExceptionCheck(JNIEnv *env)
{
	(void) env;
	return exception.pending ? JNI_TRUE : JNI_FALSE;
}

static jthrowable JNICALL ExceptionOccurred(JNIEnv *env)
{
	(void) env;
	return exception.pending ? (jthrowable) findClass("java/lang/Throwable")->classObject : NULL;
}

static void JNICALL ExceptionClear(JNIEnv *env)
{
	(void) env;
	exception.pending = 0;
}

// Strings: kept as UTF-16; the UTF-8 forms are the VM's modified UTF-8.

static FakeObject *string(jstring str, const char *function)
{
	FakeObject *obj = object(str, function);
	if (obj->cls != findClass("java/lang/String"))
		fail(function, "not a string");
	return obj;
}

jstring fakeStringUtf16(const jchar *chars, jsize length)
{
	static FakeClass *stringClass;
	if (stringClass == NULL)
		stringClass = findClass("java/lang/String");
	// The characters follow the object in its block, as a VM keeps a short
	// string's content beside it: one allocation a string.
	FakeObject *obj = allocateWith(stringClass, sizeof(jchar) * ((size_t) length + 1));
	obj->chars = (jchar *) (obj + 1);
	for (jsize k = 0; k < length; ++k)  // Wine's memcpy is slow for a few bytes
		obj->chars[k] = chars[k];
	obj->chars[length] = 0;
	obj->length = length;
	return (jstring) obj;
}

static jstring JNICALL NewString(JNIEnv *env, const jchar *chars, jsize length)
{
	(void) env;
	enter("NewString");
	if (length < 0 || (length > 0 && chars == NULL))
		fail("NewString", "bad arguments");
	return (jstring) local(fakeStringUtf16(chars, length));
}

static jstring JNICALL NewStringUTF(JNIEnv *env, const char *utf)
{
	(void) env;
	enter("NewStringUTF");
	if (utf == NULL)
		fail("NewStringUTF", "null text");
	size_t n = strlen(utf);
	jchar *units = malloc(sizeof(jchar) * (n + 1));
	jsize length = 0;
	const unsigned char *p = (const unsigned char *) utf;
	while (*p) {
		unsigned c = *p++;
		if (c >= 0xF0 && p[0] && p[1] && p[2]) {
			// Standard UTF-8 beyond the BMP, which the harness's own texts use:
			// kept as a surrogate pair, as Java keeps it.
			c = ((c & 0x07) << 18) | ((p[0] & 0x3F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
			p += 3;
			c -= 0x10000;
			units[length++] = (jchar) (0xD800 | (c >> 10));
			units[length++] = (jchar) (0xDC00 | (c & 0x3FF));
			continue;
		}
		if (c >= 0xE0 && p[0] && p[1]) {
			c = ((c & 0x0F) << 12) | ((p[0] & 0x3F) << 6) | (p[1] & 0x3F);
			p += 2;
		} else if (c >= 0xC0 && p[0]) {
			c = ((c & 0x1F) << 6) | (p[0] & 0x3F);
			p += 1;
		}
		units[length++] = (jchar) c;
	}
	jstring result = fakeStringUtf16(units, length);
	free(units);
	return (jstring) local(result);
}

static jsize JNICALL GetStringLength(JNIEnv *env, jstring str)
{
	(void) env;
	enter("GetStringLength");
	return string(str, "GetStringLength")->length;
}

static const jchar *JNICALL GetStringChars(JNIEnv *env, jstring str, jboolean *isCopy)
{
	(void) env;
	enter("GetStringChars");
	FakeObject *obj = string(str, "GetStringChars");
	// A copy without a terminator, as a VM may hand out: readers must use the length.
	jchar *copy = malloc(sizeof(jchar) * (obj->length + 1));
	memcpy(copy, obj->chars, sizeof(jchar) * obj->length);
	copy[obj->length] = 0xDEAD;
	if (isCopy)
		*isCopy = JNI_TRUE;
	++stringBuffers;
	return copy;
}

static void JNICALL ReleaseStringChars(JNIEnv *env, jstring str, const jchar *chars)
{
	(void) env;
	string(str, "ReleaseStringChars");
	if (chars == NULL)
		fail("ReleaseStringChars", "null buffer");
	free((void *) chars);
	--stringBuffers;
}

static size_t utf8Length(const FakeObject *obj)
{
	size_t n = 0;
	for (jsize i = 0; i < obj->length; ++i) {
		jchar c = obj->chars[i];
		n += (c != 0 && c < 0x80) ? 1 : (c < 0x800 ? 2 : 3);
	}
	return n;
}

static jsize JNICALL GetStringUTFLength(JNIEnv *env, jstring str)
{
	(void) env;
	enter("GetStringUTFLength");
	return (jsize) utf8Length(string(str, "GetStringUTFLength"));
}

static const char *JNICALL GetStringUTFChars(JNIEnv *env, jstring str, jboolean *isCopy)
{
	(void) env;
	enter("GetStringUTFChars");
	FakeObject *obj = string(str, "GetStringUTFChars");
	unsigned char *out = malloc(utf8Length(obj) + 1), *p = out;
	for (jsize i = 0; i < obj->length; ++i) {
		jchar c = obj->chars[i];
		if (c != 0 && c < 0x80) {
			*p++ = (unsigned char) c;
		} else if (c < 0x800) {
			*p++ = (unsigned char) (0xC0 | (c >> 6));
			*p++ = (unsigned char) (0x80 | (c & 0x3F));
		} else {
			*p++ = (unsigned char) (0xE0 | (c >> 12));
			*p++ = (unsigned char) (0x80 | ((c >> 6) & 0x3F));
			*p++ = (unsigned char) (0x80 | (c & 0x3F));
		}
	}
	*p = 0;
	if (isCopy)
		*isCopy = JNI_TRUE;
	++stringBuffers;
	return (const char *) out;
}

static void JNICALL ReleaseStringUTFChars(JNIEnv *env, jstring str, const char *chars)
{
	(void) env;
	string(str, "ReleaseStringUTFChars");
	if (chars == NULL)
		fail("ReleaseStringUTFChars", "null buffer");
	free((void *) chars);
	--stringBuffers;
}

static void JNICALL GetStringRegion(JNIEnv *env, jstring str, jsize start, jsize len, jchar *buf)
{
	(void) env;
	enter("GetStringRegion");
	FakeObject *obj = string(str, "GetStringRegion");
	if (start < 0 || len < 0 || start > obj->length || len > obj->length - start)
		fail("GetStringRegion", "out of bounds");
	memcpy(buf, obj->chars + start, sizeof(jchar) * len);
}

// Arrays: each knows its element letter, and every access is checked
// against it and the bounds, as a real VM would throw for either.

static size_t elementSize(char kind)
{
	switch (kind) {
	case 'Z': case 'B': return 1;
	case 'C': case 'S': return 2;
	case 'I': case 'F': return 4;
	case 'J': case 'D': return 8;
	default: return sizeof(FakeObject *);
	}
}

static FakeClass *arrayClass(const char *name)
{
	FakeClass *cls = findClass(name);
	return cls ? cls : defineClass(name, NULL, NULL);
}

jobject fakeNewArray(char kind, jsize length, FakeClass *elementClass)
{
	if (length < 0)
		fail("New<Type>Array", "negative length");
	// Classes looked up without snprintf, which costs microseconds under Wine
	// and would swamp what the benchmark measures.
	static FakeClass *primitive[128];
	FakeClass *cls;
	if (kind == 'L') {
		char name[160] = "[L";
		strncat(name, elementClass->name, sizeof name - 4);
		strcat(name, ";");
		cls = arrayClass(name);
	} else {
		char name[3] = {'[', kind, 0};
		if (primitive[(unsigned char) kind & 127] == NULL)
			primitive[(unsigned char) kind & 127] = arrayClass(name);
		cls = primitive[(unsigned char) kind & 127];
	}
	FakeObject *obj = allocate(cls);
	obj->arrayKind = kind;
	obj->arrayLength = length;
	obj->elementClass = elementClass;
	obj->elements = vmAlloc((length > 0 ? (size_t) length : 1) * elementSize(kind));
	return (jobject) obj;
}

static FakeObject *array(jarray ref, char kind, const char *function)
{
	FakeObject *obj = object(ref, function);
	if (obj->arrayKind == 0)
		fail(function, "not an array");
	if (kind != 0 && obj->arrayKind != kind) {
		char detail[100];
		snprintf(detail, sizeof detail, "a [%c array accessed as [%c", obj->arrayKind, kind);
		fail(function, detail);
	}
	return obj;
}

static void region(FakeObject *obj, jsize start, jsize len, const char *function)
{
	if (start < 0 || len < 0 || start > obj->arrayLength || len > obj->arrayLength - start)
		fail(function, "index out of bounds");
}

static jsize JNICALL GetArrayLength(JNIEnv *env, jarray arr)
{
	(void) env;
	enter("GetArrayLength");
	return array(arr, 0, "GetArrayLength")->arrayLength;
}

#define ARRAY_FUNCTIONS(Type, jtype, letter) \
	static jtype##Array JNICALL New##Type##Array(JNIEnv *env, jsize length) \
	{ \
		(void) env; \
		enter("New" #Type "Array"); \
		return (jtype##Array) local(fakeNewArray(letter, length, NULL)); \
	} \
	static void JNICALL Get##Type##ArrayRegion(JNIEnv *env, jtype##Array arr, jsize start, jsize len, jtype *buf) \
	{ \
		(void) env; \
		enter("Get" #Type "ArrayRegion"); \
		FakeObject *obj = array(arr, letter, "Get" #Type "ArrayRegion"); \
		region(obj, start, len, "Get" #Type "ArrayRegion"); \
		const jtype *from = (const jtype *) obj->elements + start; \
		for (jsize k = 0; k < len; ++k) /* Wine's memcpy is slow for a few bytes */ \
			buf[k] = from[k]; \
	} \
	static void JNICALL Set##Type##ArrayRegion(JNIEnv *env, jtype##Array arr, jsize start, jsize len, const jtype *buf) \
	{ \
		(void) env; \
		enter("Set" #Type "ArrayRegion"); \
		FakeObject *obj = array(arr, letter, "Set" #Type "ArrayRegion"); \
		region(obj, start, len, "Set" #Type "ArrayRegion"); \
		jtype *to = (jtype *) obj->elements + start; \
		for (jsize k = 0; k < len; ++k) \
			to[k] = buf[k]; \
	}
ARRAY_FUNCTIONS(Byte, jbyte, 'B')
ARRAY_FUNCTIONS(Short, jshort, 'S')
ARRAY_FUNCTIONS(Char, jchar, 'C')
ARRAY_FUNCTIONS(Int, jint, 'I')
ARRAY_FUNCTIONS(Long, jlong, 'J')
ARRAY_FUNCTIONS(Float, jfloat, 'F')
ARRAY_FUNCTIONS(Double, jdouble, 'D')

static jobjectArray JNICALL NewObjectArray(JNIEnv *env, jsize length, jclass elementClass, jobject initial)
{
	(void) env;
	enter("NewObjectArray");
	FakeObject *obj = (FakeObject *) fakeNewArray('L', length, classOf(elementClass, "NewObjectArray"));
	if (initial != NULL)
		for (jsize i = 0; i < length; ++i)
			((FakeObject **) obj->elements)[i] = object(initial, "NewObjectArray");
	return (jobjectArray) local(obj);
}

static jobject JNICALL GetObjectArrayElement(JNIEnv *env, jobjectArray arr, jsize index)
{
	(void) env;
	enter("GetObjectArrayElement");
	FakeObject *obj = array(arr, 'L', "GetObjectArrayElement");
	region(obj, index, 1, "GetObjectArrayElement");
	return local(((FakeObject **) obj->elements)[index]);
}

static void JNICALL SetObjectArrayElement(JNIEnv *env, jobjectArray arr, jsize index, jobject value)
{
	(void) env;
	enter("SetObjectArrayElement");
	FakeObject *obj = array(arr, 'L', "SetObjectArrayElement");
	region(obj, index, 1, "SetObjectArrayElement");
	if (value != NULL) {
		FakeObject *v = object(value, "SetObjectArrayElement");
		if (v->cls == NULL || !isSubclass(v->cls, obj->elementClass))
			fail("SetObjectArrayElement", "the element's class does not fit the array (ArrayStoreException)");
	}
	((FakeObject **) obj->elements)[index] = (FakeObject *) value;
}

jsize fakeArrayLength(jobject arr)
{
	return array(arr, 0, "fakeArrayLength")->arrayLength;
}

void *fakeArrayElements(jobject arr, char kind)
{
	return array(arr, kind, "fakeArrayElements")->elements;
}

// The harness side.

void fakeVmInit(const char *packageName, int useLongHandles)
{
	threadSlot = TlsAlloc();
	threadState()->attached = 1;
	snprintf(package, sizeof package, "%s", packageName);
	for (char *p = package; *p; ++p)
		if (*p == '.')
			*p = '/';
	longHandles = useLongHandles;
	void **slots = (void **) &functions;
	size_t count = sizeof functions / sizeof(void *);
	if (count > sizeof stubs / sizeof *stubs)
		fail("fakeVmInit", "more JNI functions than stubs");
	for (size_t i = 0; i < count; ++i)
		slots[i] = (void *) stubs[i];

	functions.FindClass = FindClass;
	functions.GetObjectClass = GetObjectClass;
	functions.IsInstanceOf = IsInstanceOf;
	functions.IsSameObject = IsSameObject;
	functions.GetFieldID = GetFieldID;
	functions.GetMethodID = GetMethodID;
	functions.GetIntField = GetIntField;
	functions.SetIntField = SetIntField;
	functions.GetLongField = GetLongField;
	functions.SetLongField = SetLongField;
	functions.NewObject = NewObject;
	functions.NewGlobalRef = NewGlobalRef;
	functions.DeleteGlobalRef = DeleteGlobalRef;
	functions.DeleteLocalRef = DeleteLocalRef;
	functions.ThrowNew = ThrowNew;
	functions.ExceptionCheck = ExceptionCheck;
	functions.ExceptionOccurred = ExceptionOccurred;
	functions.ExceptionClear = ExceptionClear;
	functions.NewString = NewString;
	functions.NewStringUTF = NewStringUTF;
	functions.GetStringLength = GetStringLength;
	functions.GetStringChars = GetStringChars;
	functions.ReleaseStringChars = ReleaseStringChars;
	functions.GetStringUTFLength = GetStringUTFLength;
	functions.GetStringUTFChars = GetStringUTFChars;
	functions.ReleaseStringUTFChars = ReleaseStringUTFChars;
	functions.GetStringRegion = GetStringRegion;
	functions.Throw = Throw;
	functions.GetArrayLength = GetArrayLength;
	functions.NewObjectArray = NewObjectArray;
	functions.GetObjectArrayElement = GetObjectArrayElement;
	functions.SetObjectArrayElement = SetObjectArrayElement;
	functions.GetJavaVM = GetJavaVM;
	functions.CallObjectMethod = CallObjectMethod;
	functions.CallObjectMethodV = CallObjectMethodV;
	functions.PushLocalFrame = PushLocalFrame;
	functions.PopLocalFrame = PopLocalFrame;
	functions.NewLocalRef = NewLocalRef;
	functions.ExceptionDescribe = ExceptionDescribe;
	invokeFunctions.DestroyJavaVM = VmDestroyJavaVM;
	invokeFunctions.AttachCurrentThread = VmAttachCurrentThread;
	invokeFunctions.DetachCurrentThread = VmDetachCurrentThread;
	invokeFunctions.GetEnv = VmGetEnv;
	invokeFunctions.AttachCurrentThreadAsDaemon = VmAttachCurrentThreadAsDaemon;
#define INSTALL(Type) \
	functions.New##Type##Array = New##Type##Array; \
	functions.Get##Type##ArrayRegion = Get##Type##ArrayRegion; \
	functions.Set##Type##ArrayRegion = Set##Type##ArrayRegion;
	INSTALL(Byte) INSTALL(Short) INSTALL(Char) INSTALL(Int) INSTALL(Long) INSTALL(Float) INSTALL(Double)
#undef INSTALL

	if (findClass("java/lang/Object") != NULL)
		fail("fakeVmInit", "called twice");
	objectClass = defineClass("java/lang/Object", NULL, NULL);
	FakeClass *throwable = defineClass("java/lang/Throwable", NULL, NULL);
	defineClass("java/lang/OutOfMemoryError", throwable, NULL);
	defineClass("java/lang/String", NULL, NULL);
	defineClass("java/lang/NullPointerException", throwable, NULL);
	defineClass("java/lang/ClassCastException", throwable, NULL);
	char name[256];
	snprintf(name, sizeof name, "%s%sMivraException", package, *package ? "/" : "");
	defineClass(name, throwable, NULL);
	snprintf(name, sizeof name, "%s%sMivraObject", package, *package ? "/" : "");
	defineClass(name, NULL, "comId");
	snprintf(name, sizeof name, "%s%sMivraVariant", package, *package ? "/" : "");
	defineClass(name, NULL, "variantData");
}

JNIEnv *fakeEnv(void)
{
	return &threadState()->env;
}

void fakeAttachThread(void)
{
	JNIEnv *env;
	attachThread(&javaVm, (void **) &env, 0);
}

long fakeAttachCount(int daemon)
{
	return daemon ? daemonAttachCount : attachCount;
}

long fakeDescribedExceptions(void)
{
	return describedExceptions;
}

long fakeThreadLocalRefs(void)
{
	return threadState()->locals;
}

int fakeIsGlobal(jobject obj)
{
	return obj != NULL && ((FakeObject *) obj)->global > 0;
}

void fakeDefineMethod(FakeClass *cls, const char *name, const char *signature, FakeMethod method)
{
	FakeMethodEntry *m = calloc(1, sizeof *m);
	m->owner = cls;
	snprintf(m->name, sizeof m->name, "%s", name);
	snprintf(m->signature, sizeof m->signature, "%s", signature);
	m->method = method;
	m->next = cls->methods;
	cls->methods = m;
}

FakeClass *fakePackageClass(const char *simpleName)
{
	char name[256];
	snprintf(name, sizeof name, "%s%s%s", package, *package ? "/" : "", simpleName);
	FakeClass *cls = findClass(name);
	if (cls == NULL)
		cls = defineClass(name, fakePackageClass("MivraObject"), NULL);
	return cls;
}

jclass fakeClassObject(FakeClass *cls)
{
	return (jclass) cls->classObject;
}

const char *fakeClassName(FakeClass *cls)
{
	return cls->name;
}

void fakeSetConstructor(FakeClass *cls, FakeConstructor ctor)
{
	cls->ctor = ctor;
}

void fakeSetFinalizer(FakeClass *cls, FakeFinalizer finalizer)
{
	cls->finalizer = finalizer;
}

jobject fakeNew(FakeClass *cls)
{
	return construct(cls);
}

jobject fakeAllocate(FakeClass *cls)
{
	return (jobject) allocate(cls);
}

static FakeClass *handleOwner(FakeObject *obj)
{
	for (FakeClass *c = obj->cls; c != NULL; c = c->super)
		if (c->fieldName)
			return c;
	fail("fakeHandle", "object has no handle field");
	return NULL;
}

int64_t fakeHandle(jobject ref)
{
	FakeObject *obj = object(ref, "fakeHandle");
	handleOwner(obj);
	return longHandles ? obj->handle : (int64_t) (int32_t) obj->handle;
}

void fakeSetHandle(jobject ref, int64_t value)
{
	FakeObject *obj = object(ref, "fakeSetHandle");
	handleOwner(obj);
	obj->handle = longHandles ? value : (int64_t) (int32_t) value;
}

jstring fakeString(const char *utf8)
{
	int saved = exception.pending;
	exception.pending = 0;
	jstring s = NewStringUTF(&environment, utf8);
	exception.pending = saved;
	return s;
}

const jchar *fakeStringChars(jstring str, jsize *length)
{
	FakeObject *obj = string(str, "fakeStringChars");
	*length = obj->length;
	return obj->chars;
}

const char *fakeStringUtf8(jstring str, char *buffer, size_t size)
{
	if (str == NULL) {
		snprintf(buffer, size, "(null)");
		return buffer;
	}
	FakeObject *obj = string(str, "fakeStringUtf8");
	size_t n = 0;
	for (jsize i = 0; i < obj->length && n + 5 < size; ++i) {
		jchar c = obj->chars[i];
		if (c >= 0xD800 && c < 0xDC00 && i + 1 < obj->length && obj->chars[i + 1] >= 0xDC00 &&
		    obj->chars[i + 1] < 0xE000) {
			unsigned u = 0x10000 + (((unsigned) c - 0xD800) << 10) + (obj->chars[++i] - 0xDC00);
			buffer[n++] = (char) (0xF0 | (u >> 18));
			buffer[n++] = (char) (0x80 | ((u >> 12) & 0x3F));
			buffer[n++] = (char) (0x80 | ((u >> 6) & 0x3F));
			buffer[n++] = (char) (0x80 | (u & 0x3F));
		} else if (c < 0x80) {
			buffer[n++] = (char) c;
		} else if (c < 0x800) {
			buffer[n++] = (char) (0xC0 | (c >> 6));
			buffer[n++] = (char) (0x80 | (c & 0x3F));
		} else {
			buffer[n++] = (char) (0xE0 | (c >> 12));
			buffer[n++] = (char) (0x80 | ((c >> 6) & 0x3F));
			buffer[n++] = (char) (0x80 | (c & 0x3F));
		}
	}
	buffer[n] = 0;
	return buffer;
}

int fakeStringEquals(jstring str, const char *utf8)
{
	if (str == NULL)
		return utf8 == NULL;
	if (utf8 == NULL)
		return 0;
	jstring expected = fakeString(utf8);
	FakeObject *a = string(str, "fakeStringEquals"), *b = (FakeObject *) expected;
	return a->length == b->length && memcmp(a->chars, b->chars, sizeof(jchar) * a->length) == 0;
}

int fakeIsInstance(jobject obj, FakeClass *cls)
{
	return obj != NULL && isSubclass(((FakeObject *) obj)->cls, cls);
}

int fakeExceptionPending(void)
{
	return exception.pending;
}

const char *fakeExceptionClass(void)
{
	return exception.pending ? exception.className : "";
}

const char *fakeExceptionMessage(void)
{
	return exception.pending ? exception.message : "";
}

void fakeExceptionClear(void)
{
	exception.pending = 0;
}

FakeMark fakeMark(void)
{
	return objects;
}

static FakeFinalizer finalizerOf(FakeClass *cls)
{
	for (; cls != NULL; cls = cls->super)
		if (cls->finalizer)
			return cls->finalizer;
	return NULL;
}

void fakeCollectSince(FakeMark mark)
{
	// Finalize first (a finalizer may still read other objects), then free.
	for (FakeObject *o = objects; o != NULL && o != mark; o = o->next) {
		if (o->global || o->cls == NULL)
			continue;
		FakeFinalizer finalizer = finalizerOf(o->cls);
		if (finalizer) {
			finalizer(&environment, (jobject) o);
			if (exception.pending)
				fail("finalize", "a release native threw");
		}
	}
	lockVm();
	FakeObject **link = &objects;
	while (*link != NULL && *link != mark) {
		FakeObject *o = *link;
		if (o->global || o->cls == NULL) {
			link = &o->next;
			continue;
		}
		*link = o->next;
		if (o->chars != (jchar *) (o + 1))
			vmFreeLocked(o->chars);
		vmFreeLocked(o->elements);
		if (o->thrown)
			free(o->thrown);
		vmFreeLocked(o);
		--liveObjects;
	}
	unlockVm();
}

long fakeOutstandingStringBuffers(void)
{
	return stringBuffers;
}

long fakeLiveObjects(void)
{
	return liveObjects;
}

const FakeExceptionInfo *fakeExceptionInfo(void)
{
	return exception.pending ? &thrownInfo : NULL;
}

void fakeNativeEnter(void)
{
	localRefs = 0;
	localPeak = 0;
}

long fakeLocalRefPeak(void)
{
	return localPeak;
}

long fakeGlobalRefs(void)
{
	return globalRefs;
}

FakeClass *fakeClass(const char *name)
{
	FakeClass *cls = findClass(name);
	if (cls == NULL)
		fail("fakeClass", name);
	return cls;
}
