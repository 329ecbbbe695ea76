// More of Wine's servers, called late-bound (GetIDsOfNames, then Invoke) as
// MivraObject.invoke, getProperty and setProperty do.
#include <stdio.h>
#include <string.h>

#include "counting_dispatch.h"
#include "harness.h"
#include "rt_scenarios.h"

#define GET DISPATCH_PROPERTYGET
#define PUT DISPATCH_PROPERTYPUT
#define METHOD DISPATCH_METHOD

static int late(jlong obj, const char *name, jint flags, jint resultVt, Frame *f)
{
	jint id = rtDispId(obj, name);
	if (!expectNoException(name))
		return 0;
	if (!rtInvoke(obj, id, flags, resultVt, f)) {
		const FakeExceptionInfo *e = fakeExceptionInfo();
		if (e)
			printf("%s: HRESULT 0x%08X, code 0x%08X, description \"%s\"\n", name, e->hresult, e->code, e->description);
		expectNoException(name);
		return 0;
	}
	return 1;
}

static jlong lateObject(jlong obj, const char *name, jint flags, const char *arg)
{
	Frame f = rtFrame(arg ? 1 : 0);
	if (arg)
		rtSetString(&f, 0, arg);
	return late(obj, name, flags, VT_DISPATCH, &f) ? rtBits(&f, f.slots - 1) : 0;
}

// The script control: VBScript functions called through its CodeObject, a
// two-dimensional array from one, and a by-reference argument written back.

void rtScenarioScript(void)
{
	jlong sc = rtCreate("MSScriptControl.ScriptControl", 0);
	if (!expectNoException("create MSScriptControl.ScriptControl"))
		return;
	Frame language = rtFrame(1);
	rtSetString(&language, 0, "VBScript");
	late(sc, "Language", PUT, VT_EMPTY, &language);
	Frame code = rtFrame(1);
	rtSetString(&code, 0,
	            "Function Sum3(a, b, c)\r\nSum3 = a + b + c\r\nEnd Function\r\n"
	            "Function Grid()\r\nDim g(1, 2)\r\ng(0, 1) = 7\r\ng(1, 0) = 9\r\nGrid = g\r\nEnd Function\r\n"
	            "Sub Twice(ByRef x)\r\nx = x * 2\r\nEnd Sub\r\n");
	late(sc, "AddCode", METHOD, VT_EMPTY, &code);
	jlong codeObject = lateObject(sc, "CodeObject", GET, NULL);
	if (codeObject != 0) {
		Frame sum = rtFrame(3);
		rtSetNumber(&sum, 0, VT_I4, 1);
		rtSetNumber(&sum, 1, VT_I2, 2);
		rtSetDouble(&sum, 2, VT_R8, 3.5);
		if (late(codeObject, "Sum3", METHOD, VT_VARIANT, &sum))
			check(rtVt(&sum, 3) == VT_R8 && rtDouble(&sum, 3) == 6.5, "Sum3( 1, 2, 3.5 ) is 6.5 (VARTYPE %d)",
			      (int) rtVt(&sum, 3));
		Frame grid = rtFrame(0);
		if (late(codeObject, "Grid", METHOD, VT_VARIANT, &grid) &&
		    check(rtVt(&grid, 0) == (VT_ARRAY | VT_VARIANT), "Grid() is an array of variants")) {
			jobject wire = rtRef(&grid, 0);
			check(rtArrayDims(wire) == 2 && rtArrayCount(wire, 0) == 2 && rtArrayCount(wire, 1) == 3,
			      "Grid() is 2 by 3 (the first dimension first)");
			Frame cells = rtFrameOf(rtArrayPayload(wire));
			// The payload's first index varies fastest: (i, j) is at i + 2 * j.
			// VBScript keeps small whole numbers as VT_I2.
			check(rtVt(&cells, 2) == VT_I2 && rtBits(&cells, 2) == 7, "g(0, 1) is 7 (VARTYPE %d, %lld)",
			      (int) rtVt(&cells, 2), (long long) rtBits(&cells, 2));
			check(rtVt(&cells, 1) == VT_I2 && rtBits(&cells, 1) == 9, "g(1, 0) is 9 (VARTYPE %d, %lld)",
			      (int) rtVt(&cells, 1), (long long) rtBits(&cells, 1));
			check(rtVt(&cells, 0) == VT_EMPTY, "g(0, 0) is empty");
		}
		Frame twice = rtFrame(1);
		Frame inner;
		jobject innerFrame = rtNestedFrame(1, &inner);
		rtSetNumber(&inner, 0, VT_I4, 21);
		rtSetRef(&twice, 0, VT_BYREF | VT_VARIANT, innerFrame);
		if (late(codeObject, "Twice", METHOD, VT_EMPTY, &twice))
			check(rtVt(&inner, 0) == VT_I4 && rtBits(&inner, 0) == 42,
			      "VBScript's ByRef x = x * 2 writes 42 back (VARTYPE %d, %lld)", (int) rtVt(&inner, 0),
			      (long long) rtBits(&inner, 0));
		rtRelease(codeObject);
	}
	rtRelease(sc);
}

// WMI: a query, its objects iterated, a property read by name.

typedef struct {
	int count;
	char caption[128];
} WmiRows;

static void wmiRow(Frame *batch, int k, void *context)
{
	WmiRows *rows = context;
	jlong row = rtBits(batch, k);
	Frame caption = rtFrame(0);
	if (rows->count++ == 0 && late(row, "Caption", METHOD | GET, VT_BSTR, &caption))
		fakeStringUtf8(rtRef(&caption, 0), rows->caption, sizeof rows->caption);
	rtRelease(row);
}

void rtScenarioWmi(void)
{
	jlong locator = rtCreate("WbemScripting.SWbemLocator", 0);
	if (!expectNoException("create WbemScripting.SWbemLocator"))
		return;
	jlong services = lateObject(locator, "ConnectServer", METHOD, NULL);
	jlong set = services ? lateObject(services, "ExecQuery", METHOD, "SELECT * FROM Win32_OperatingSystem") : 0;
	if (set != 0) {
		WmiRows rows = {0, ""};
		rtEnumerate(set, VT_DISPATCH, wmiRow, &rows);
		printf("WMI: %d operating system(s), caption \"%s\"\n", rows.count, rows.caption);
		check(rows.count == 1 && rows.caption[0] != 0, "one operating system with a caption");
		rtRelease(set);
	}
	rtRelease(services);
	rtRelease(locator);
}
