// Events through the runtime's sink, against the test server of
// tests/runtime/events (Mivra.Bell): the listener is played here as the Java
// EventSink and the generated DBellEvents adapter would behave.
#define COBJMACROS
#include <stdio.h>
#include <string.h>

#include "harness.h"
#include "rt_scenarios.h"
#include "../events/bell_ids.h"

#include <psapi.h>

#define GET DISPATCH_PROPERTYGET
#define METHOD DISPATCH_METHOD

enum { RING = 1, ASK = 2, DONE = 3, STAMP = 4 };
enum { FIRED = 5, FAILURES = 6, SINKS = 7, LAST_CANCEL = 8, LAST_NOTE = 9, LAST_ERROR = 10, RING_THREAD = 11, REFS = 14 };
enum { RING_NOW = 1, ASK_NOW = 2, POST_RING = 3, RING_FROM_THREAD = 4, STAMP_NOW = 12, RING_BADLY = 13 };

typedef struct {
	RtListener base;
	volatile LONG rings, asks, dones, stamps, badCalls;
	LONG lastCount;
	char lastText[64];
	DWORD thread;               // the thread of the last event
	int throwAt;                // the ring whose listener throws (as Java would: the text comes back)
	int failVmAt;               // the ring at which the VM itself fails (an exception left pending)
	int callBack;               // a ring calls the server back through its source argument
	jlong closeOnDone;          // a connection the Done listener closes
	jlong connection;
	LONG localsAtFirst;         // local references held on the delivering thread at the first event
	LONG localsGrew;
	int handled;                // exceptions the program's handler got
} Listener;

static jintArray intArray(int n, const jint *values)
{
	jintArray a = (jintArray) fakeNewArray('I', n, NULL);
	memcpy(fakeArrayElements(a, 'I'), values, sizeof(jint) * n);
	return a;
}

// The adapter's declared types (what the generator writes for DBellEvents).
static jintArray bellTypes(RtListener *base, jint dispId, jint count)
{
	(void) base;
	static const jint ring[] = {VT_I4, VT_BSTR, VT_DISPATCH};
	static const jint ask[] = {VT_BSTR, VT_BYREF | VT_I4, VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT};
	static const jint done[] = {VT_I4};
	static const jint stamp[] = {VT_DATE, VT_VARIANT, VT_ARRAY | VT_I4};
	const jint *types = dispId == RING ? ring : dispId == ASK ? ask : dispId == DONE ? done : dispId == STAMP ? stamp : NULL;
	int n = dispId == RING ? 3 : dispId == ASK ? 4 : dispId == DONE ? 1 : dispId == STAMP ? 3 : 0;
	return types != NULL && n == count ? intArray(n, types) : NULL;
}

static jint slotVt(jintArray vts, int i)
{
	return ((jint *) fakeArrayElements(vts, 'I'))[i];
}

static jlong slotBits(jlongArray bits, int i)
{
	return ((jlong *) fakeArrayElements(bits, 'J'))[i];
}

static jobject slotRef(jobjectArray refs, int i)
{
	return ((jobject *) fakeArrayElements(refs, 'L'))[i];
}

static jstring bellEvent(RtListener *base, jint dispId, jintArray vts, jlongArray bits, jobjectArray refs)
{
	Listener *l = (Listener *) base;
	l->thread = GetCurrentThreadId();
	LONG locals = fakeThreadLocalRefs();
	if (l->rings + l->asks + l->dones == 0)
		l->localsAtFirst = locals;
	else if (locals > l->localsAtFirst)
		l->localsGrew = 1;
	switch (dispId) {
	case RING: {
		InterlockedIncrement(&l->rings);
		if (slotVt(vts, 0) != VT_I4 || slotVt(vts, 1) != VT_BSTR || slotVt(vts, 2) != VT_DISPATCH) {
			InterlockedIncrement(&l->badCalls);
			return NULL;
		}
		l->lastCount = (LONG) slotBits(bits, 0);
		fakeStringUtf8(slotRef(refs, 1), l->lastText, sizeof l->lastText);
		jlong source = slotBits(bits, 2);
		// The object argument is the listener's (a MivraObject): called, then closed.
		if (l->callBack && l->lastCount == 2) {
			jlong fired = rtGetNumber(source, FIRED, VT_I4);
			check(fired >= 1, "a listener calls the server back during its event (Fired %lld)", (long long) fired);
		}
		rtRelease(source);
		if (l->failVmAt == l->lastCount) {
			JNIEnv *env = fakeEnv();
			(*env)->ThrowNew(env, fakeClassObject(fakeClass("java/lang/OutOfMemoryError")), "Java heap space");
			return NULL;
		}
		if (l->throwAt == l->lastCount) {
			++l->handled;
			return fakeString("listener failed at 2");
		}
		return NULL;
	}
	case ASK: {
		InterlockedIncrement(&l->asks);
		jint *types = fakeArrayElements(vts, 'I');
		jlong *values = fakeArrayElements(bits, 'J');
		jobject *objects = fakeArrayElements(refs, 'L');
		if (types[1] != (VT_BYREF | VT_I4) || types[2] != (VT_BYREF | VT_BOOL) || types[3] != (VT_BYREF | VT_VARIANT)) {
			InterlockedIncrement(&l->badCalls);
			return NULL;
		}
		// The holders written back as EventSink.writeBack does.
		values[1] = values[1] * 2 + 1;
		check(values[2] == 0, "Cancel comes in false");
		values[2] = 1;
		Frame note = rtFrameOf(objects[3]);
		char text[32];
		fakeStringUtf8(rtRef(&note, 0), text, sizeof text);
		check(rtVt(&note, 0) == VT_BSTR && strcmp(text, "note") == 0, "the VARIANT* comes in as its BSTR (\"%s\")", text);
		rtSetString(&note, 0, "changed \xC3\xBC");
		return NULL;
	}
	case DONE:
		InterlockedIncrement(&l->dones);
		if (l->closeOnDone != 0) {
			rtUnadvise(l->closeOnDone);
			l->closeOnDone = 0;
		}
		return NULL;
	case STAMP: {
		InterlockedIncrement(&l->stamps);
		double when;
		jlong raw = slotBits(bits, 0);
		memcpy(&when, &raw, sizeof when);
		check(slotVt(vts, 0) == VT_DATE && when == 45000.5, "a DATE argument (%g)", when);
		check(slotVt(vts, 1) == VT_I2 && slotBits(bits, 1) == 7, "a VARIANT argument keeps its own type (VT_I2 7)");
		jobject wire = slotRef(refs, 2);
		if (check(slotVt(vts, 2) == (VT_ARRAY | VT_I4) && wire != NULL, "a SAFEARRAY(long) argument")) {
			jint *numbers = fakeArrayElements(rtArrayPayload(wire), 'I');
			check(rtArrayCount(wire, 0) == 3 && numbers[0] == 10 && numbers[2] == 30, "its elements 10, 20, 30");
		}
		return NULL;
	}
	default:
		InterlockedIncrement(&l->badCalls);
		return NULL;
	}
}

static void initListener(Listener *l)
{
	memset(l, 0, sizeof *l);
	l->base.types = bellTypes;
	l->base.event = bellEvent;
}

static void step(const char *what)
{
	printf("events: %s\n", what);
	fflush(stdout);
}

static jlong call1(jlong bell, jint dispId, jint arg, jint resultVt)
{
	Frame f = rtFrame(1);
	rtSetNumber(&f, 0, VT_I4, arg);
	if (!rtInvoke(bell, dispId, METHOD, resultVt, &f)) {
		expectNoException("a call of the bell");
		return 0;
	}
	return rtBits(&f, 1);
}

static jlong connectBell(jlong bell, Listener *l)
{
	jlong connection = rtAdvise(bell, BELL_EVENTS_IID_TEXT, rtEventSink(&l->base));
	expectNoException("advise");
	check(connection != 0, "a connection handle");
	l->connection = connection;
	return connection;
}

static int pumpUntil(volatile LONG *counter, LONG wanted)
{
	for (int i = 0; i < 1000 && *counter < wanted; ++i)
		rtPump(10);
	return *counter >= wanted;
}

static jlong createBell(void)
{
	jlong bell = rtCreate("Mivra.Bell", 0);
	if (!expectNoException("create Mivra.Bell (registered by regsvr32)"))
		return 0;
	return bell;
}

// The type library widl made and the server's identifiers agree.
static void checkTypeLibrary(const char *tlb)
{
	if (tlb == NULL)
		return;
	char windowsPath[MAX_PATH];
	snprintf(windowsPath, sizeof windowsPath, "%s%s", tlb[0] == '/' ? "Z:" : "", tlb);
	for (char *p = windowsPath; *p; ++p)
		if (*p == '/')
			*p = '\\';
	wchar_t path[MAX_PATH];
	MultiByteToWideChar(CP_UTF8, 0, windowsPath, -1, path, MAX_PATH);
	ITypeLib *lib = NULL;
	HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
	if (!check(SUCCEEDED(hr), "bell.tlb loads (0x%08lX)", (unsigned long) hr))
		return;
	ITypeInfo *info = NULL;
	check(SUCCEEDED(ITypeLib_GetTypeInfoOfGuid(lib, &DIID_DBellEvents, &info)), "bell.tlb has DBellEvents");
	if (info)
		ITypeInfo_Release(info);
	info = NULL;
	check(SUCCEEDED(ITypeLib_GetTypeInfoOfGuid(lib, &CLSID_Bell, &info)), "bell.tlb has the coclass Bell");
	if (info)
		ITypeInfo_Release(info);
	ITypeLib_Release(lib);
}

// During a call, from a posted message, from another thread into the STA,
// by reference, throwing, a mismatch, Unadvise, closing inside an event.
void rtScenarioEvents(const char *tlb)
{
	checkTypeLibrary(tlb);
	jlong bell = createBell();
	if (bell == 0)
		return;
	DWORD me = GetCurrentThreadId();
	long globals = fakeGlobalRefs();
	jlong baseRefs = rtGetNumber(bell, REFS, VT_I4);
	Listener l;
	initListener(&l);
	l.callBack = 1;
	connectBell(bell, &l);
	jlong connectedRefs = rtGetNumber(bell, REFS, VT_I4);
	check(rtGetNumber(bell, SINKS, VT_I4) == 1, "the server has one sink");
	check(fakeGlobalRefs() == globals + 1, "the listener is held by one global reference while connected");

	// 1. During a call: the events come before the call returns, on this thread.
	step("1. During a call");
	call1(bell, RING_NOW, 3, VT_EMPTY);
	check(l.rings == 3 && l.dones == 1, "RingNow(3) delivered 3 rings and Done during the call (%ld, %ld)", l.rings,
	      l.dones);
	check(l.thread == me, "on the calling thread");
	check(l.lastCount == 3 && strcmp(l.lastText, "ring \xC3\xA9\xE6\x9D\xB1") == 0, "by value: count 3, text \"%s\"",
	      l.lastText);
	check(rtGetNumber(bell, FIRED, VT_I4) == 4, "the server saw 4 events succeed");
	check(rtGetNumber(bell, REFS, VT_I4) == connectedRefs, "the object arguments were released (refs %lld, before %lld)",
	      (long long) rtGetNumber(bell, REFS, VT_I4), (long long) connectedRefs);

	// 2. By reference: what the listener sets reaches the server.
	step("2. By reference");
	jlong answer = call1(bell, ASK_NOW, 20, VT_I4);
	check(l.asks == 1 && answer == 41, "the [in,out] long came back as 41 (got %lld)", (long long) answer);
	check(rtGetNumber(bell, LAST_CANCEL, VT_BOOL) == 1, "the [in,out] VARIANT_BOOL came back true");
	char note[64];
	rtGetString(bell, LAST_NOTE, GET, note, sizeof note);
	check(strcmp(note, "changed \xC3\xBC") == 0, "the [in,out] VARIANT came back as \"%s\"", note);

	// 3. Other argument types.
	step("3. Other argument types");
	Frame none = rtFrame(0);
	rtInvoke(bell, STAMP_NOW, METHOD, VT_EMPTY, &none);
	check(l.stamps == 1, "Stamp delivered");

	// 4. A posted message: nothing until the thread pumps, then on this thread.
	step("4. A posted message");
	LONG before = l.rings;
	l.thread = 0;
	call1(bell, POST_RING, 4, VT_EMPTY);
	check(l.rings == before, "PostRing returns before any event");
	check(pumpUntil(&l.dones, 2), "pumping delivers the posted rings");
	check(l.rings == before + 4 && l.thread == me, "4 rings, on this thread (%ld)", l.rings - before);

	// 5. From the server's worker thread: through the marshalled sink, delivered
	step("5. From the server's worker thread");
	// on this STA thread while it pumps.
	before = l.rings;
	LONG asks = l.asks;
	long attached = fakeAttachCount(1);
	call1(bell, RING_FROM_THREAD, 5, VT_EMPTY);
	check(pumpUntil(&l.asks, asks + 1), "pumping delivers the worker's events");
	check(l.rings == before + 5 && l.thread == me, "5 rings from the worker, delivered on this thread (%ld)",
	      l.rings - before);
	jlong worker = rtGetNumber(bell, RING_THREAD, VT_I4);
	check(worker != 0 && (DWORD) worker != me, "the server fired from a thread of its own");
	check(rtGetNumber(bell, LAST_CANCEL, VT_BOOL) == 1, "by reference through the marshalled sink as well");
	check(fakeAttachCount(1) == attached, "no thread attached for events of a single-threaded apartment");

	// 6. A throwing listener: DISP_E_EXCEPTION with its text; the server goes on.
	step("6. A throwing listener");
	l.throwAt = 2;
	before = l.rings;
	jlong failures = rtGetNumber(bell, FAILURES, VT_I4);
	call1(bell, RING_NOW, 3, VT_EMPTY);
	expectNoException("a call whose listener threw");
	check(l.rings == before + 3, "the rings after the failed one still come (%ld)", l.rings - before);
	check(rtGetNumber(bell, FAILURES, VT_I4) == failures + 1, "the server saw one failure");
	char error[64];
	rtGetString(bell, LAST_ERROR, GET, error, sizeof error);
	check(strcmp(error, "listener failed at 2") == 0, "the server got the exception's text (\"%s\")", error);
	l.throwAt = 0;
	// The VM itself failing (an exception the EventSink could not catch) is reported, not left pending.
	l.failVmAt = 1;
	long described = fakeDescribedExceptions();
	call1(bell, RING_NOW, 1, VT_EMPTY);
	expectNoException("a call whose event left the VM an exception");
	check(fakeDescribedExceptions() == described + 1, "the VM's exception was described and cleared");
	check(rtGetNumber(bell, FAILURES, VT_I4) == failures + 2, "and the server saw DISP_E_EXCEPTION");
	l.failVmAt = 0;

	// 7. An argument the declared type cannot take: a type mismatch, the listener not called.
	step("7. An argument the declared type cannot take");
	before = l.rings;
	rtInvoke(bell, RING_BADLY, METHOD, VT_EMPTY, &none);
	check(l.rings == before, "a mismatched event does not reach the listener");
	check(rtGetNumber(bell, FAILURES, VT_I4) == failures + 3, "the server saw the mismatch fail");
	check(rtGetNumber(bell, REFS, VT_I4) == connectedRefs, "and no reference is left behind (refs %lld)",
	      (long long) rtGetNumber(bell, REFS, VT_I4));

	// 8. Unadvise: no more events, the global reference gone.
	step("8. Unadvise");
	rtUnadvise(l.connection);
	check(rtGetNumber(bell, SINKS, VT_I4) == 0, "Unadvise leaves the server no sink");
	check(fakeGlobalRefs() == globals, "the listener's global reference is deleted");
	before = l.rings;
	call1(bell, RING_NOW, 2, VT_EMPTY);
	check(l.rings == before, "no event after Unadvise");

	// 9. A listener closing its own connection inside an event.
	step("9. A listener closing its own connection inside an event");
	Listener self;
	initListener(&self);
	self.closeOnDone = connectBell(bell, &self);
	call1(bell, RING_NOW, 1, VT_EMPTY);
	check(self.dones == 1 && self.closeOnDone == 0, "the Done listener closed its connection");
	check(rtGetNumber(bell, SINKS, VT_I4) == 0 && fakeGlobalRefs() == globals,
	      "the connection closed inside its event is gone, its global reference deleted after the event");
	call1(bell, RING_NOW, 1, VT_EMPTY);
	check(self.rings == 1, "and it gets no more events");

	check(!l.badCalls && !self.badCalls, "every event came with the declared types");
	check(!l.localsGrew, "the delivering thread keeps no local references between events");
	check(rtGetNumber(bell, REFS, VT_I4) == baseRefs, "the server's references are back to where they were (%lld, %lld)",
	      (long long) rtGetNumber(bell, REFS, VT_I4), (long long) baseRefs);
	rtRelease(bell);
	check(fakeGlobalRefs() == globals, "no global reference is left");
}

// An object of the multithreaded apartment: its events come on the server's
// thread, which attaches to the VM once, as a daemon, and stays.

typedef struct {
	Listener l;
	DWORD me;
	jlong worker;
	long attachedBefore, attachedAfter;
} MtaRun;

static int waitFor(volatile LONG *counter, LONG wanted)
{
	for (int i = 0; i < 1000 && *counter < wanted; ++i)
		Sleep(10);
	return *counter >= wanted;
}

static DWORD WINAPI mtaBody(void *arg)
{
	MtaRun *run = arg;
	fakeAttachThread();
	run->me = GetCurrentThreadId();
	check(rtInitThread(1) == JNI_TRUE, "the thread joins the multithreaded apartment");
	jlong bell = createBell();
	if (bell == 0)
		return 0;
	initListener(&run->l);
	connectBell(bell, &run->l);
	run->attachedBefore = fakeAttachCount(1);
	call1(bell, RING_FROM_THREAD, 3, VT_EMPTY);
	// This thread touches no VM state while the server's thread delivers.
	check(waitFor(&run->l.asks, 1), "the worker's events arrive without pumping");
	call1(bell, RING_FROM_THREAD, 3, VT_EMPTY);
	check(waitFor(&run->l.asks, 2), "a second round arrives");
	run->attachedAfter = fakeAttachCount(1);
	run->worker = rtGetNumber(bell, RING_THREAD, VT_I4);
	check(rtGetNumber(bell, LAST_CANCEL, VT_BOOL) == 1, "by reference on the server's thread");
	rtUnadvise(run->l.connection);
	check(rtGetNumber(bell, SINKS, VT_I4) == 0, "Unadvise from the multithreaded apartment");
	rtRelease(bell);
	return 0;
}

void rtScenarioEventsMta(void)
{
	MtaRun run;
	memset(&run, 0, sizeof run);
	long globals = fakeGlobalRefs();
	HANDLE thread = CreateThread(NULL, 0, mtaBody, &run, 0, NULL);
	WaitForSingleObject(thread, INFINITE);
	CloseHandle(thread);
	expectNoException("the multithreaded apartment's calls");
	check(run.l.rings == 6 && run.l.dones == 2, "6 rings and 2 Done (%ld, %ld)", run.l.rings, run.l.dones);
	check(run.l.thread == (DWORD) run.worker && run.l.thread != run.me,
	      "delivered on the server's thread (%lu), not the caller's (%lu)", (unsigned long) run.l.thread,
	      (unsigned long) run.me);
	check(run.attachedAfter == run.attachedBefore + 1,
	      "the server's thread attached once, as a daemon, for both rounds (%ld attaches)",
	      run.attachedAfter - run.attachedBefore);
	check(!run.l.badCalls && !run.l.localsGrew, "declared types, no local references kept");
	check(fakeGlobalRefs() == globals, "no global reference is left");
}

// Memory: connect/disconnect rounds and events, the heap measured as the leak test does.

void rtScenarioEventLeaks(int rounds, int events)
{
	jlong bell = createBell();
	if (bell == 0)
		return;
	jlong baseRefs = rtGetNumber(bell, REFS, VT_I4);
	long globals = fakeGlobalRefs();
	Listener l;
	initListener(&l);
	for (int i = 0; i < 200; ++i) {
		FakeMark mark = fakeMark();
		jlong c = rtAdvise(bell, BELL_EVENTS_IID_TEXT, rtEventSink(&l.base));
		rtUnadvise(c);
		fakeCollectSince(mark);
	}
	long objects = fakeLiveObjects();
	SIZE_T before = heapBytes();
	for (int i = 0; i < rounds; ++i) {
		FakeMark mark = fakeMark();
		jlong c = rtAdvise(bell, BELL_EVENTS_IID_TEXT, rtEventSink(&l.base));
		if (i % 1000 == 0)
			call1(bell, RING_NOW, 1, VT_EMPTY);
		rtUnadvise(c);
		fakeCollectSince(mark);
	}
	SIZE_T after = heapBytes();
	double perRound = ((double) after - (double) before) / rounds;
	printf("connect/disconnect: %d rounds, heap %lu -> %lu bytes (%.3f bytes a round), global references %ld\n", rounds,
	       (unsigned long) before, (unsigned long) after, perRound, fakeGlobalRefs() - globals);
	check(perRound < 1.0, "connecting and disconnecting grows the heap by %.3f bytes a round", perRound);
	check(fakeGlobalRefs() == globals && fakeLiveObjects() == objects, "no global reference or VM object is left");
	check(rtGetNumber(bell, SINKS, VT_I4) == 0, "the server has no sink left");

	// Events: each Ring brings a string and an object; Ask writes three values back.
	connectBell(bell, &l);
	enum { BATCH = 100 };
	for (int i = 0; i < 20; ++i) {
		FakeMark mark = fakeMark();
		call1(bell, RING_NOW, BATCH, VT_EMPTY);
		call1(bell, ASK_NOW, i, VT_I4);
		fakeCollectSince(mark);
	}
	LONG fired = (LONG) rtGetNumber(bell, FIRED, VT_I4);
	before = heapBytes();
	int batches = (events + BATCH + 1) / (BATCH + 2);
	for (int i = 0; i < batches; ++i) {
		FakeMark mark = fakeMark();
		call1(bell, RING_NOW, BATCH, VT_EMPTY);
		call1(bell, ASK_NOW, i, VT_I4);
		fakeCollectSince(mark);
	}
	after = heapBytes();
	LONG delivered = (LONG) rtGetNumber(bell, FIRED, VT_I4) - fired;
	double perEvent = ((double) after - (double) before) / delivered;
	printf("events: %ld delivered, heap %lu -> %lu bytes (%.4f bytes an event); local references at most %ld\n",
	       delivered, (unsigned long) before, (unsigned long) after, perEvent, rtLocalPeak());
	check(delivered == batches * (BATCH + 2), "every event was delivered (%ld)", delivered);
	check(perEvent < 0.1, "events grow the heap by %.4f bytes each", perEvent);
	check(!l.badCalls && !l.localsGrew, "declared types, no local references kept");
	rtUnadvise(l.connection);
	check(rtGetNumber(bell, REFS, VT_I4) == baseRefs, "the server's references are back to where they were");
	check(fakeGlobalRefs() == globals, "no global reference is left");
	rtRelease(bell);
}

// Wine's own servers. None of those that run without a display fires an
// event here (msxml6 while loading, the web browser control navigating, the
// media player given a URL: connected, silent); the script control's Advise
// is not implemented, ADO's recordset has no connection points and its
// connection takes vtable sinks only. What is checked: connecting to and
// disconnecting from their real connection points, and the reasons of the
// failures reaching the program; the events seen are printed.

typedef struct {
	RtListener base;
	volatile LONG count;
	jint ids[64];
	jint argc[64];
} AnyListener;

static jintArray anyTypes(RtListener *base, jint dispId, jint count)
{
	(void) base;
	(void) dispId;
	jint types[32];
	for (int i = 0; i < count && i < 32; ++i)
		types[i] = VT_VARIANT;
	return count <= 32 ? intArray(count, types) : NULL;
}

static jstring anyEvent(RtListener *base, jint dispId, jintArray vts, jlongArray bits, jobjectArray refs)
{
	AnyListener *l = (AnyListener *) base;
	LONG k = InterlockedIncrement(&l->count) - 1;
	if (k < 64) {
		l->ids[k] = dispId;
		l->argc[k] = fakeArrayLength(vts);
	}
	// Object arguments are the listener's: closed.
	for (jsize i = 0; i < fakeArrayLength(vts); ++i)
		if (slotVt(vts, i) == VT_DISPATCH || slotVt(vts, i) == VT_UNKNOWN)
			rtRelease(slotBits(bits, i));
	return NULL;
}

static void lateCall(jlong obj, const char *name, jint flags, Frame *f, jint resultVt)
{
	jint id = rtDispId(obj, name);
	if (fakeExceptionPending()) {
		printf("  %s: no such member (%s)\n", name, fakeExceptionMessage());
		fakeExceptionClear();
		return;
	}
	if (!rtInvoke(obj, id, flags, resultVt, f)) {
		printf("  %s: %s\n", name, fakeExceptionMessage());
		fakeExceptionClear();
	}
}

static char lastAdviseFailure[512];

static jlong tryAdvise(jlong obj, const char *iid, AnyListener *l, const char *what)
{
	lastAdviseFailure[0] = 0;
	memset(l, 0, sizeof *l);
	l->base.types = anyTypes;
	l->base.event = anyEvent;
	jlong c = rtAdvise(obj, iid, rtEventSink(&l->base));
	if (fakeExceptionPending()) {
		snprintf(lastAdviseFailure, sizeof lastAdviseFailure, "%s", fakeExceptionMessage());
		printf("%s: advise failed: %s\n", what, lastAdviseFailure);
		fakeExceptionClear();
		return 0;
	}
	return c;
}

static void report(const char *what, AnyListener *l)
{
	printf("%s: %ld events", what, l->count);
	for (LONG i = 0; i < l->count && i < 64; ++i)
		printf(" %d(%d)", (int) l->ids[i], (int) l->argc[i]);
	printf("\n");
}

void rtScenarioWineEvents(void)
{
	AnyListener l;
	long globals = fakeGlobalRefs();
	// msxml6: a document's events while it loads.
	jlong doc = rtCreate("Msxml2.DOMDocument.6.0", 0);
	if (expectNoException("create DOMDocument60")) {
		jlong c = tryAdvise(doc, "{3EFAA427-272F-11D2-836F-0000F87A7782}", &l, "msxml6 XMLDOMDocumentEvents");
		check(c != 0, "a listener connects to msxml6's document");
		if (c) {
			Frame f = rtFrame(1);
			rtSetNumber(&f, 0, VT_BOOL, 1);
			lateCall(doc, "async", DISPATCH_PROPERTYPUT, &f, VT_EMPTY);
			Frame x = rtFrame(1);
			rtSetString(&x, 0, "<a><b/></a>");
			lateCall(doc, "loadXML", METHOD, &x, VT_BOOL);
			char path[MAX_PATH];
			GetTempPathA(MAX_PATH, path);
			strcat(path, "mivra-events.xml");
			FILE *file = fopen(path, "w");
			if (file) {
				fputs("<?xml version=\"1.0\"?><root><item>1</item><item>2</item></root>", file);
				fclose(file);
			}
			Frame load = rtFrame(1);
			rtSetString(&load, 0, path);
			lateCall(doc, "load", METHOD, &load, VT_BOOL);
			for (int i = 0; i < 50; ++i)
				rtPump(10);
			report("msxml6 XMLDOMDocumentEvents", &l);
			rtUnadvise(c);
		}
		rtRelease(doc);
	}
	// The script control: Error when the script fails.
	jlong sc = rtCreate("MSScriptControl.ScriptControl", 0);
	if (expectNoException("create ScriptControl")) {
		jlong c = tryAdvise(sc, "{8B167D60-8605-11D0-ABCB-00A0C90FFFC0}", &l, "script control DScriptControlSource");
		check(c != 0 || strstr(lastAdviseFailure, "Connecting a listener of {8B167D60") == lastAdviseFailure,
		      "the script control connects, or says why not (\"%s\")", lastAdviseFailure);
		if (c) {
			Frame f = rtFrame(1);
			rtSetString(&f, 0, "VBScript");
			lateCall(sc, "Language", DISPATCH_PROPERTYPUT, &f, VT_EMPTY);
			Frame code = rtFrame(1);
			rtSetString(&code, 0, "x = 1 / 0");
			lateCall(sc, "ExecuteStatement", METHOD, &code, VT_EMPTY);
			Frame bad = rtFrame(1);
			rtSetString(&bad, 0, "this is not ( vbscript");
			lateCall(sc, "AddCode", METHOD, &bad, VT_EMPTY);
			for (int i = 0; i < 20; ++i)
				rtPump(10);
			report("script control DScriptControlSource", &l);
			rtUnadvise(c);
		}
		rtRelease(sc);
	}
	// ADO: a recordset in memory moved about.
	jlong rs = rtCreate("ADODB.Recordset", 0);
	if (expectNoException("create ADODB.Recordset")) {
		jlong c = tryAdvise(rs, "{00000266-0000-0010-8000-00AA006D2EA4}", &l, "ADO RecordsetEvents");
		check(c != 0 || strstr(lastAdviseFailure, "The object has no events (IConnectionPointContainer)") == lastAdviseFailure,
		      "a recordset connects, or says it has no connection points (\"%s\")", lastAdviseFailure);
		if (c) {
			jlong fields = 0;
			Frame g = rtFrame(0);
			lateCall(rs, "Fields", DISPATCH_PROPERTYGET, &g, VT_DISPATCH);
			fields = rtBits(&g, 0);
			if (fields) {
				Frame a = rtFrame(2);
				rtSetString(&a, 0, "n");
				rtSetNumber(&a, 1, VT_I4, 3);   // adInteger
				lateCall(fields, "Append", METHOD, &a, VT_EMPTY);
				rtRelease(fields);
			}
			Frame none = rtFrame(0);
			lateCall(rs, "Open", METHOD, &none, VT_EMPTY);
			for (int k = 0; k < 3; ++k) {
				Frame add = rtFrame(0);
				lateCall(rs, "AddNew", METHOD, &add, VT_EMPTY);
				Frame up = rtFrame(0);
				lateCall(rs, "Update", METHOD, &up, VT_EMPTY);
			}
			Frame first = rtFrame(0);
			lateCall(rs, "MoveFirst", METHOD, &first, VT_EMPTY);
			Frame next = rtFrame(0);
			lateCall(rs, "MoveNext", METHOD, &next, VT_EMPTY);
			for (int i = 0; i < 20; ++i)
				rtPump(10);
			report("ADO RecordsetEvents", &l);
			rtUnadvise(c);
		}
		rtRelease(rs);
	}
	// The web browser control, in process: events of a navigation.
	jlong web = rtCreate("{8856F961-340A-11D0-A96B-00C04FD705A2}", 0);
	if (fakeExceptionPending()) {
		printf("web browser: %s\n", fakeExceptionMessage());
		fakeExceptionClear();
	} else {
		jlong c = tryAdvise(web, "{34A715A0-6587-11D0-924A-0020AFC7AC4D}", &l, "web browser DWebBrowserEvents2");
		check(c != 0, "a listener connects to the web browser control");
		if (c) {
			Frame nav = rtFrame(1);
			rtSetString(&nav, 0, "about:blank");
			lateCall(web, "Navigate", METHOD, &nav, VT_EMPTY);
			for (int i = 0; i < 100; ++i)
				rtPump(10);
			report("web browser DWebBrowserEvents2", &l);
			rtUnadvise(c);
		}
		rtRelease(web);
	}
	// The media player control: state changes when given a URL.
	// It answers no IDispatch of its own: its dual IWMPPlayer4 serves.
	static const GUID clsidPlayer = {0x6bf52a52, 0x394a, 0x11d3, {0xb1, 0x53, 0x00, 0xc0, 0x4f, 0x79, 0xfa, 0xa6}};
	static const GUID iidPlayer4 = {0x6c497d62, 0x8919, 0x413c, {0x82, 0xdb, 0xe9, 0x35, 0xfb, 0x3e, 0xc5, 0x84}};
	IUnknown *player = NULL;
	HRESULT created = CoCreateInstance(&clsidPlayer, NULL, CLSCTX_INPROC_SERVER, &iidPlayer4, (void **) &player);
	jlong wmp = (jlong) (intptr_t) player;
	if (FAILED(created)) {
		printf("media player: 0x%08lX\n", (unsigned long) created);
	} else {
		jlong c = tryAdvise(wmp, "{6BF52A51-394A-11D3-B153-00C04F79FAA6}", &l, "media player _WMPOCXEvents");
		check(c != 0, "a listener connects to the media player control");
		if (c) {
			Frame url = rtFrame(1);
			rtSetString(&url, 0, "C:\\no\\such.wav");
			lateCall(wmp, "URL", DISPATCH_PROPERTYPUT, &url, VT_EMPTY);
			Frame none = rtFrame(0);
			jlong controls = 0;
			lateCall(wmp, "controls", DISPATCH_PROPERTYGET, &none, VT_DISPATCH);
			controls = rtBits(&none, 0);
			if (controls) {
				Frame play = rtFrame(0);
				lateCall(controls, "play", METHOD, &play, VT_EMPTY);
				Frame stop = rtFrame(0);
				lateCall(controls, "stop", METHOD, &stop, VT_EMPTY);
				rtRelease(controls);
			}
			for (int i = 0; i < 50; ++i)
				rtPump(10);
			report("media player _WMPOCXEvents", &l);
			rtUnadvise(c);
		}
		rtRelease(wmp);
	}
	jlong cn = rtCreate("ADODB.Connection", 0);
	if (expectNoException("create ADODB.Connection")) {
		jlong c = tryAdvise(cn, "{00000400-0000-0010-8000-00AA006D2EA4}", &l, "ADO ConnectionEvents");
		if (c) {
			Frame open = rtFrame(1);
			rtSetString(&open, 0, "Provider=NoSuch.Provider");
			lateCall(cn, "Open", METHOD, &open, VT_EMPTY);
			report("ADO ConnectionEvents", &l);
			rtUnadvise(c);
		}
		rtRelease(cn);
	}
	check(fakeGlobalRefs() == globals, "every listener let go once disconnected (failed connections too)");
}
