// Per-call cost of the shared runtime: Dictionary.Item read 100,000 times
// through mivra_runtime64.dll's invoke native (driven by the stand-in VM of
// tests/runtime, frames as the Java half passes them), next to the same
// IDispatch::Invoke made directly in C. Runs under wine64:
//
//   wine64 build/tests/bench/bench_runtime_call.exe build/runtime/jar/mivra/runtime/native/mivra_runtime64.dll [CALLS] [RUNS]
#include <stdio.h>
#include <stdlib.h>

#include "bench_clock.h"
#include "harness.h"
#include "rt.h"

#define BLOCK 10000

static int compareDoubles(const void *a, const void *b)
{
	double x = *(const double *) a, y = *(const double *) b;
	return x < y ? -1 : x > y;
}

static double median(double *values, int n)
{
	qsort(values, (size_t) n, sizeof *values, compareDoubles);
	return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

static double direct(IDispatch *dict, int calls)
{
	double start = seconds();
	for (int i = 0; i < calls; ++i) {
		VARIANT key, result;
		V_VT(&key) = VT_I4;
		V_I4(&key) = i % 16;
		VariantInit(&result);
		DISPPARAMS params = {&key, NULL, 1, 0};
		EXCEPINFO info;
		UINT argError;
		HRESULT hr = dict->lpVtbl->Invoke(dict, 0, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, &result,
		                                  &info, &argError);
		if (FAILED(hr) || V_VT(&result) != VT_BSTR) {
			fprintf(stderr, "direct Invoke failed: 0x%08lx\n", (unsigned long) hr);
			exit(1);
		}
		VariantClear(&result);
	}
	return seconds() - start;
}

// The frame is made once: making it is the Java half's work, which a JVM
// does in tens of nanoseconds and the stand-in VM in a microsecond.
static double runtime(jlong dict, int calls)
{
	Frame f = rtFrame(1);
	double start = seconds();
	FakeMark mark = fakeMark();
	for (int i = 0; i < calls; ++i) {
		rtSetNumber(&f, 0, VT_I4, i % 16);
		if (!rtInvoke(dict, 0, DISPATCH_PROPERTYGET, VT_VARIANT, &f) || rtVt(&f, 1) != VT_BSTR) {
			fprintf(stderr, "runtime invoke failed: %s\n", fakeExceptionMessage());
			exit(1);
		}
		if (i % 1000 == 999) {
			fakeCollectSince(mark);
			mark = fakeMark();
		}
	}
	fakeCollectSince(mark);
	return seconds() - start;
}

int main(int argc, char **argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: bench_runtime_call RUNTIME_DLL [CALLS] [RUNS]\n");
		return 2;
	}
	int calls = argc > 2 ? atoi(argv[2]) : 100000, runs = argc > 3 ? atoi(argv[3]) : 10;
	wchar_t dll[1024];
	char path[1024];
	snprintf(path, sizeof path, "%s%s", argv[1][0] == '/' ? "Z:" : "", argv[1]);
	MultiByteToWideChar(CP_UTF8, 0, path, -1, dll, 1024);
	rtLoad(dll);
	rtInitThread(0);
	jlong dict = rtCreate("Scripting.Dictionary", 0);
	if (!expectNoException("create Scripting.Dictionary"))
		return 1;
	for (int k = 0; k < 16; ++k) {
		Frame add = rtFrame(2);
		rtSetNumber(&add, 0, VT_I4, k);
		rtSetString(&add, 1, "a value of some length");
		rtInvoke(dict, 1, DISPATCH_METHOD, VT_EMPTY, &add);
	}
	IDispatch *disp = (IDispatch *) (intptr_t) dict;
	direct(disp, BLOCK);
	runtime(dict, BLOCK);
	// Blocks of the two alternate, so that a neighbour's load or a change of
	// clock speed falls on both alike; the medians leave out the blocks it hit.
	int blocks = (calls + BLOCK - 1) / BLOCK * runs;
	double *directTimes = malloc(sizeof(double) * (size_t) blocks), *runtimeTimes = malloc(sizeof(double) * (size_t) blocks);
	for (int b = 0; b < blocks; ++b) {
		directTimes[b] = direct(disp, BLOCK);
		runtimeTimes[b] = runtime(dict, BLOCK);
	}
	double d = median(directTimes, blocks) * 1e9 / BLOCK, t = median(runtimeTimes, blocks) * 1e9 / BLOCK;
	printf("Dictionary.Item, %d blocks of %d calls, each way alternately (median of the blocks): IDispatch::Invoke in C "
	       "%.0f ns a call, through the runtime %.0f ns a call: %.2f times (target at most 1.5)\n",
	       blocks, BLOCK, d, t, t / d);
	free(directTimes);
	free(runtimeTimes);
	rtRelease(dict);
	return 0;
}
