// runtime_harness SCENARIO LIBRARY PACKAGE: loads the generated JNI library
// and runs one scenario; the exit code is the number of failed checks.
#include <stdio.h>
#include <string.h>

#include "counting_dispatch.h"
#include "scenarios.h"

#include <psapi.h>

// "Grüße, 東京 𝄞" (the last a character outside the BMP: a surrogate pair).
const char *const nonAsciiUtf8 = "Gr\xC3\xBC\xC3\x9F" "e, \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9D\x84\x9E";
const wchar_t *const nonAsciiUtf16 = L"Gr\x00FC\x00DF" L"e, \x6771\x4EAC \xD834\xDD1E";

void checkReferenceCounts(const char *scenario, int expectAllReleased)
{
	countingReport(stdout);
	check(countingOverReleases() == 0, "%s: %ld releases of pointers no longer referenced", scenario,
	      countingOverReleases());
	check(countingDeadCalls() == 0, "%s: %ld calls through released pointers", scenario, countingDeadCalls());
	if (expectAllReleased)
		check(countingLiveWrappers() == 0, "%s: %ld pointers still referenced after every object was released",
		      scenario, countingLiveWrappers());
	check(fakeOutstandingStringBuffers() == 0, "%s: %ld string buffers not given back to the VM", scenario,
	      fakeOutstandingStringBuffers());
}

static SIZE_T committedBytes(void)
{
	PROCESS_MEMORY_COUNTERS counters;
	counters.cb = sizeof counters;
	GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
	return counters.PagefileUsage;
}

// One round of the calls that move strings and variants both ways.
static void leakRound(jobject dict, jobject fso, jobject other, int i)
{
	JNIEnv *env = fakeEnv();
	FakeMark mark = fakeMark();
	jobject key = javaVariantInt(i % 16);
	NATIVE(void, (JNIEnv *, jobject, jobject, jobject), "IDictionary", "setItem", "VV")(
		env, dict, key, javaVariantString(nonAsciiUtf8));
	jobject got = NATIVE(jobject, (JNIEnv *, jobject, jobject), "IDictionary", "getItem", "V")(env, dict, key);
	javaVariantGetString(got);
	jobject objectKey = javaVariantString("object");
	NATIVE(void, (JNIEnv *, jobject, jobject, jobject), "IDictionary", "setItem", "VV")(
		env, dict, objectKey, javaVariantObject(other));
	jobject item = NATIVE(jobject, (JNIEnv *, jobject, jobject), "IDictionary", "getItem", "V")(env, dict, objectKey);
	javaRelease(javaVariantGetObject(item));
	NATIVE(jstring, (JNIEnv *, jobject, jstring, jstring), "IFileSystem3", "BuildPath", "TT")(
		env, fso, fakeString("C:\\temp"), fakeString(nonAsciiUtf8));
	NATIVE(jboolean, (JNIEnv *, jobject, jstring), "IFileSystem3", "FileExists", "T")(
		env, fso, fakeString("C:\\no\\such\\file"));
	NATIVE(void, (JNIEnv *, jobject, jstring, jboolean), "IFileSystem3", "DeleteFile", "TZ")(
		env, fso, fakeString("C:\\no\\such\\file"), JNI_FALSE);
	fakeExceptionClear();
	fakeCollectSince(mark);
}

void scenarioLeaks(int iterations)
{
	static const char *const dictInterfaces[] = {"IDictionary"};
	static const char *const fsoInterfaces[] = {"IFileSystem3"};
	jobject dict, other, fso;
	javaNewObject("Dictionary", 1, dictInterfaces, &dict);
	javaNewObject("Dictionary", 1, dictInterfaces, &other);
	javaNewObject("FileSystemObject", 1, fsoInterfaces, &fso);
	if (!expectNoException("creating the objects"))
		return;
	for (int i = 0; i < 1000; ++i)
		leakRound(dict, fso, other, i);
	SIZE_T heapBefore = heapBytes(), committedBefore = committedBytes();
	long objectsBefore = fakeLiveObjects();
	for (int i = 0; i < iterations; ++i)
		leakRound(dict, fso, other, i);
	SIZE_T heapAfter = heapBytes(), committedAfter = committedBytes();
	double perCall = ((double) heapAfter - (double) heapBefore) / iterations;
	printf("memory over %d rounds of eleven native calls: heap %lu -> %lu bytes (%.2f bytes a round), committed %lu -> %lu bytes\n",
	       iterations, (unsigned long) heapBefore, (unsigned long) heapAfter, perCall, (unsigned long) committedBefore,
	       (unsigned long) committedAfter);
	check(fakeLiveObjects() == objectsBefore, "the VM's objects are all collected");
	check(fakeOutstandingStringBuffers() == 0, "every string buffer went back to the VM");
	// A leaked BSTR or VARIANT block costs at least 16 bytes a round; allow a
	// small constant growth (heap bookkeeping) but not one per round.
	check(perCall < 2.0, "the heap grew by %.2f bytes a round", perCall);
}

static void toWindowsPath(const char *path, wchar_t *out, size_t size)
{
	char buffer[1024];
	if (path[0] == '/')
		snprintf(buffer, sizeof buffer, "Z:%s", path);
	else
		snprintf(buffer, sizeof buffer, "%s", path);
	for (char *p = buffer; *p; ++p)
		if (*p == '/')
			*p = '\\';
	MultiByteToWideChar(CP_UTF8, 0, buffer, -1, out, (int) size);
}

int main(int argc, char **argv)
{
	if (argc < 4) {
		fprintf(stderr, "usage: runtime_harness SCENARIO LIBRARY PACKAGE [ITERATIONS]\n");
		return 100;
	}
	CoInitialize(NULL);
	wchar_t library[1024];
	toWindowsPath(argv[2], library, 1024);
	harnessLoad(library, argv[3]);
	const char *scenario = argv[1];
	if (strcmp(scenario, "dictionary") == 0)
		scenarioDictionary();
	else if (strcmp(scenario, "filesystem") == 0)
		scenarioFileSystem();
	else if (strcmp(scenario, "regexp") == 0)
		scenarioRegExp();
	else if (strcmp(scenario, "xml") == 0)
		scenarioXmlDocument();
	else if (strcmp(scenario, "accessible") == 0)
		scenarioAccessible();
	else if (strcmp(scenario, "leaks") == 0)
		scenarioLeaks(argc > 4 ? atoi(argv[4]) : 100000);
	else {
		fprintf(stderr, "unknown scenario %s\n", scenario);
		return 100;
	}
	printf("%s: %d failed checks\n", scenario, harnessFailures());
	fflush(stdout);
	return harnessFailures() > 99 ? 99 : harnessFailures();
}
