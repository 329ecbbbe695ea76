// runtime_native_harness SCENARIO RUNTIME_DLL [CALLS]: loads the runtime DLL
// into the stand-in VM and runs one scenario; the exit code is the number of
// failed checks.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "harness.h"
#include "rt_scenarios.h"

#include <psapi.h>

#define METHOD DISPATCH_METHOD

typedef struct {
	jlong dict, fso;
	char missing[MAX_PATH * 3];
} LeakObjects;

static void ignoreElement(Frame *batch, int k, void *context)
{
	(void) batch;
	(void) k;
	++*(int *) context;
}

// One round: 17 native calls over strings, variants, arrays, coercion,
// enumeration, by-reference values, errors with EXCEPINFO, a name lookup,
// creation and QueryInterface.
enum { CALLS_A_ROUND = 17 };
static void leakRound(LeakObjects *o, int i)
{
	FakeMark mark = fakeMark();
	Frame put = rtFrame(2);
	rtSetNumber(&put, 0, VT_I4, i % 16);
	rtSetString(&put, 1, "Gr\xC3\xBC\xC3\x9F" "e, \xE6\x9D\xB1\xE4\xBA\xAC");
	rtInvoke(o->dict, 0, DISPATCH_PROPERTYPUT, VT_EMPTY, &put);                 // 1
	Frame get = rtFrame(1);
	rtSetNumber(&get, 0, VT_I4, i % 16);
	rtInvoke(o->dict, 0, DISPATCH_PROPERTYGET, VT_VARIANT, &get);               // 2
	rtInvoke(o->dict, 0, DISPATCH_PROPERTYGET, VT_BSTR, &get);                  // 3
	Frame keys = rtFrame(0);
	rtInvoke(o->dict, 6, METHOD, VT_VARIANT, &keys);                            // 4
	rtInvoke(o->dict, 4, METHOD, VT_ARRAY | VT_BSTR, &keys);                    // 5 Items() coerced
	int n = 0;
	rtEnumerate(o->dict, VT_VARIANT, ignoreElement, &n);                        // 6-9: newEnum, next x2, release
	Frame del = rtFrame(2);
	rtSetString(&del, 0, o->missing);
	rtSetMissing(&del, 1);
	rtInvoke(o->fso, 1200, METHOD, VT_EMPTY, &del);                             // 10
	fakeExceptionClear();
	rtDispId(o->dict, "Count");                                                 // 11
	jlong created = rtCreate("Scripting.Dictionary", 0);                        // 12
	jlong intf = rtQueryInterface(created, "{42C642C1-97E1-11CF-978F-00A02463E06F}"); // 13
	rtRelease(created);                                                         // 14
	rtRelease(intf);
	rtChangeByRef();                                                            // 15
	Frame none = rtFrame(0);
	rtInvoke(rtTestServer(), 3, METHOD, VT_EMPTY, &none);                       // 16: deferred EXCEPINFO
	fakeExceptionClear();
	fakeCollectSince(mark);
}

static void scenarioLeaks(int calls)
{
	LeakObjects o;
	o.dict = rtCreate("Scripting.Dictionary", 0);
	o.fso = rtCreate("Scripting.FileSystemObject", 0);
	snprintf(o.missing, sizeof o.missing, "C:\\no\\such\\folder\\file.txt");
	if (!expectNoException("creating the objects"))
		return;
	for (int i = 0; i < 500; ++i)
		leakRound(&o, i);
	int rounds = calls / CALLS_A_ROUND;
	long objectsBefore = fakeLiveObjects(), globalsBefore = fakeGlobalRefs();
	SIZE_T before = heapBytes();
	for (int i = 0; i < rounds; ++i)
		leakRound(&o, i);
	SIZE_T after = heapBytes();
	double perRound = ((double) after - (double) before) / rounds;
	printf("memory over %d native calls (%d rounds): heap %lu -> %lu bytes (%.3f bytes a round); "
	       "local references at most %ld; global references %ld\n",
	       rounds * CALLS_A_ROUND, rounds, (unsigned long) before, (unsigned long) after, perRound,
	       rtLocalPeak(), fakeGlobalRefs());
	check(fakeLiveObjects() == objectsBefore, "the VM's objects are all collected");
	check(fakeGlobalRefs() == globalsBefore, "no global reference is left behind");
	check(rtLocalPeak() <= 16, "the natives held %ld local references at once", rtLocalPeak());
	// A leaked BSTR, VARIANT or SAFEARRAY costs at least 16 bytes a round.
	check(perRound < 2.0, "the heap grew by %.3f bytes a round", perRound);
	rtRelease(o.dict);
	rtRelease(o.fso);
}

static void toWindowsPath(const char *path, wchar_t *out, size_t size)
{
	char buffer[1024];
	snprintf(buffer, sizeof buffer, "%s%s", path[0] == '/' ? "Z:" : "", path);
	for (char *p = buffer; *p; ++p)
		if (*p == '/')
			*p = '\\';
	MultiByteToWideChar(CP_UTF8, 0, buffer, -1, out, (int) size);
}

int main(int argc, char **argv)
{
	if (argc < 3) {
		fprintf(stderr, "usage: runtime_native_harness SCENARIO RUNTIME_DLL [CALLS|TLB] [EVENTS]\n");
		return 100;
	}
	wchar_t dll[1024];
	toWindowsPath(argv[2], dll, 1024);
	rtLoad(dll);
	// The Java half joins each thread on its first call; so does the harness.
	const char *scenario = argv[1];
	if (strcmp(scenario, "threads") != 0 && strcmp(scenario, "events_mta") != 0)
		rtInitThread(0);
	static const struct {
		const char *name;
		void (*run)(void);
	} scenarios[] = {
		{"xml", rtScenarioXml}, {"filesystem", rtScenarioFileSystem}, {"dictionary", rtScenarioDictionary},
		{"regexp", rtScenarioRegExp}, {"errors", rtScenarioErrors}, {"byref", rtScenarioByRef},
		{"threads", rtScenarioThreads}, {"release", rtScenarioRelease},
		{"script", rtScenarioScript}, {"wmi", rtScenarioWmi}, {"wine_events", rtScenarioWineEvents},
		{"typeinfo", rtScenarioTypeInfo}, {"taskschd", rtScenarioTaskScheduler}, {"coercion", rtScenarioCoercion},
		{"packed", rtScenarioPacked},
	};
	int found = 0;
	if (strcmp(scenario, "events") == 0) {
		rtScenarioEvents(argc > 3 ? argv[3] : NULL);
		found = 1;
	} else if (strcmp(scenario, "events_mta") == 0) {
		rtScenarioEventsMta();
		found = 1;
	} else if (strcmp(scenario, "event_leaks") == 0) {
		rtScenarioEventLeaks(argc > 3 ? atoi(argv[3]) : 10000, argc > 4 ? atoi(argv[4]) : 100000);
		found = 1;
	}
	if (strcmp(scenario, "leaks") == 0) {
		scenarioLeaks(argc > 3 ? atoi(argv[3]) : 100000);
		found = 1;
	}
	for (size_t i = 0; i < sizeof scenarios / sizeof *scenarios; ++i)
		if (strcmp(scenario, scenarios[i].name) == 0) {
			scenarios[i].run();
			found = 1;
		}
	if (!found) {
		fprintf(stderr, "unknown scenario %s\n", scenario);
		return 100;
	}
	check(!fakeExceptionPending(), "no exception is left pending");
	printf("%s: %d failed checks\n", scenario, harnessFailures());
	fflush(stdout);
	return harnessFailures() > 99 ? 99 : harnessFailures();
}
