// The core's share of a call under wine64: mvInvoke (arguments from a frame,
// the result into one, as both adapters call it) against the same
// IDispatch::Invoke made directly, on an object whose Invoke returns at once,
// so that the difference is the core's conversions. Prints one line per kind
// of call and a last line "core <string get ns> <three-argument ns>
// <direct string get ns>" that the Java benchmark reads.
//
//   wine64 build/tests/bench/bench_core_call.exe [CALLS]
#define COBJMACROS
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <oleauto.h>

#include "bench_clock.h"
#include "mivra_core.h"

#define BLOCK 20000
#define RUNS 25

static HRESULT STDMETHODCALLTYPE echoQueryInterface(IDispatch *iface, REFIID riid, void **out)
{
	*out = iface;
	(void) riid;
	return S_OK;
}

static ULONG STDMETHODCALLTYPE echoAddRef(IDispatch *iface)
{
	(void) iface;
	return 2;
}

static ULONG STDMETHODCALLTYPE echoRelease(IDispatch *iface)
{
	(void) iface;
	return 1;
}

static HRESULT STDMETHODCALLTYPE echoGetTypeInfoCount(IDispatch *iface, UINT *count)
{
	(void) iface;
	*count = 0;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE echoGetTypeInfo(IDispatch *iface, UINT index, LCID lcid, ITypeInfo **info)
{
	(void) iface, (void) index, (void) lcid;
	*info = NULL;
	return DISP_E_BADINDEX;
}

static HRESULT STDMETHODCALLTYPE echoGetIDsOfNames(IDispatch *iface, REFIID riid, LPOLESTR *names, UINT count,
                                                   LCID lcid, DISPID *ids)
{
	(void) iface, (void) riid, (void) names, (void) count, (void) lcid, (void) ids;
	return DISP_E_UNKNOWNNAME;
}

// 1: a string property (ten characters); 3: a method of three arguments giving an int.
static HRESULT STDMETHODCALLTYPE echoInvoke(IDispatch *iface, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                            DISPPARAMS *params, VARIANT *result, EXCEPINFO *info, UINT *argError)
{
	(void) iface, (void) riid, (void) lcid, (void) flags, (void) info, (void) argError;
	if (id == 1) {
		V_VT(result) = VT_BSTR;
		V_BSTR(result) = SysAllocStringLen(L"abcdefghij", 10);
		return S_OK;
	}
	if (params->cArgs != 3)
		return DISP_E_BADPARAMCOUNT;
	V_VT(result) = VT_I4;
	V_I4(result) = V_I4(&params->rgvarg[0]) + V_I4(&params->rgvarg[1]);
	return S_OK;
}

static const IDispatchVtbl echoVtbl = {
	echoQueryInterface, echoAddRef, echoRelease, echoGetTypeInfoCount, echoGetTypeInfo, echoGetIDsOfNames, echoInvoke,
};
static IDispatch echo = {(IDispatchVtbl *) &echoVtbl};

static void failed(const char *what)
{
	fprintf(stderr, "%s failed\n", what);
	exit(1);
}

static double directGet(int calls)
{
	double start = seconds();
	for (int i = 0; i < calls; ++i) {
		VARIANT result;
		VariantInit(&result);
		DISPPARAMS params = {NULL, NULL, 0, 0};
		EXCEPINFO info;
		UINT argError;
		if (FAILED(IDispatch_Invoke(&echo, 1, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, &result,
		                            &info, &argError)))
			failed("direct get");
		VariantClear(&result);
	}
	return seconds() - start;
}

static double directMethod(int calls)
{
	double start = seconds();
	for (int i = 0; i < calls; ++i) {
		VARIANT args[3], result;
		V_VT(&args[2]) = VT_BSTR;
		V_BSTR(&args[2]) = SysAllocStringLen(L"abcdefghij", 10);
		V_VT(&args[1]) = VT_I4;
		V_I4(&args[1]) = i;
		V_VT(&args[0]) = VT_I4;
		V_I4(&args[0]) = 7;
		VariantInit(&result);
		DISPPARAMS params = {args, NULL, 3, 0};
		EXCEPINFO info;
		UINT argError;
		if (FAILED(IDispatch_Invoke(&echo, 3, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info,
		                            &argError)))
			failed("direct method");
		VariantClear(&args[2]);
	}
	return seconds() - start;
}

// As an adapter calls: a frame of the arguments and the result slot, the
// result's reference freed after it was handed on.
static double coreGet(int calls)
{
	double start = seconds();
	for (int i = 0; i < calls; ++i) {
		int32_t vts[1] = {0};
		int64_t bits[1] = {0};
		void *refs[1] = {NULL};
		MvFrame frame = {1, vts, bits, refs};
		if (mvInvoke((uint64_t) (uintptr_t) &echo, 1, DISPATCH_PROPERTYGET, MV_VT_BSTR, &frame, NULL) != 0 ||
		    refs[0] == NULL)
			failed("core get");
		mvSlotClear(&frame, 0);
	}
	return seconds() - start;
}

// The argument's string is the adapter's to make and free (the Java
// benchmark counts that), so one serves every call here.
static double coreMethod(int calls)
{
	static const uint16_t text[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
	MvString *argument = mvStringNew(text, 10);
	if (argument == NULL)
		failed("core method");
	double start = seconds();
	for (int i = 0; i < calls; ++i) {
		int32_t vts[4] = {MV_VT_BSTR, MV_VT_I4, MV_VT_I4, 0};
		int64_t bits[4] = {0, i, 7, 0};
		void *refs[4] = {argument, NULL, NULL, NULL};
		MvFrame frame = {4, vts, bits, refs};
		if (mvInvoke((uint64_t) (uintptr_t) &echo, 3, DISPATCH_METHOD, MV_VT_I4, &frame, NULL) != 0 ||
		    bits[3] != i + 7 || refs[0] != argument)
			failed("core method");
		mvSlotClear(&frame, 3);
	}
	double elapsed = seconds() - start;
	mvStringFree(argument);
	return elapsed;
}

static int compareDoubles(const void *a, const void *b)
{
	double x = *(const double *) a, y = *(const double *) b;
	return x < y ? -1 : x > y;
}

// Blocks of the four alternate, so that a neighbour's load falls on all alike;
// the fastest block of each, in ns a call (what a neighbour's load spares).
int main(int argc, char **argv)
{
	int calls = argc > 1 ? atoi(argv[1]) : BLOCK;
	double (*ways[4])(int) = {directGet, coreGet, directMethod, coreMethod};
	double times[4][RUNS];
	for (int w = 0; w < 4; ++w)
		ways[w](calls);
	for (int r = 0; r < RUNS; ++r)
		for (int w = 0; w < 4; ++w)
			times[w][r] = ways[w](calls);
	double ns[4];
	for (int w = 0; w < 4; ++w) {
		qsort(times[w], RUNS, sizeof(double), compareDoubles);
		ns[w] = times[w][0] * 1e9 / calls;
	}
	printf("string property get: Invoke %.0f ns, through the core %.0f ns: the core's own %.0f ns\n", ns[0], ns[1],
	       ns[1] - ns[0]);
	printf("three-argument method: Invoke %.0f ns, through the core %.0f ns: the core's own %.0f ns\n", ns[2], ns[3],
	       ns[3] - ns[2]);
	printf("core %.1f %.1f %.1f %.1f\n", ns[1] - ns[0], ns[3] - ns[2], ns[0], ns[2]);
	return 0;
}
