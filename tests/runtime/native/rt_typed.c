// What the typed full bindings need of the natives beyond IDispatch::Invoke:
// the interface an object's type information names, vtable calls through an
// interface that is not dual, and MivraVariant's conversions.
#include "rt_scenarios.h"

#include <stdio.h>
#include <string.h>

#include "harness.h"

#define METHOD DISPATCH_METHOD
#define GET DISPATCH_PROPERTYGET

static const char IID_ELEMENT[] = "{2933BF86-7B36-11D2-B20E-00C04F983E60}";
static const char IID_TEXT[] = "{2933BF87-7B36-11D2-B20E-00C04F983E60}";
static const char IID_COMMENT[] = "{2933BF88-7B36-11D2-B20E-00C04F983E60}";

// Child k; inCall gets the IID the call itself found in the object's type information.
static jlong childAt(jlong node, int k, char *inCall, size_t size)
{
	Frame f = rtFrame(1);
	rtSetNumber(&f, 0, VT_I4, k);
	jlong list = rtGetObject(node, rtDispId(node, "childNodes"), GET);
	if (list == 0)
		return 0;
	rtInvoke(list, rtDispId(list, "item"), GET, VT_DISPATCH, &f);
	rtRelease(list);
	if (!expectNoException("childNodes.item"))
		return 0;
	if (rtRef(&f, 1) != NULL)
		fakeStringUtf8(rtRef(&f, 1), inCall, size);
	return rtBits(&f, 1);
}

// msxml6's nodes name their own interfaces: an element, a text and a comment
// reached through calls that declare IXMLDOMNode.
void rtScenarioTypeInfo(void)
{
	jlong doc = rtCreate("Msxml2.DOMDocument.6.0", 0);
	if (!expectNoException("create Msxml2.DOMDocument.6.0"))
		return;
	Frame load = rtFrame(1);
	rtSetString(&load, 0, "<r><e/>text<!--c--></r>");
	rtInvoke(doc, rtDispId(doc, "loadXML"), METHOD, VT_BOOL, &load);
	expectNoException("loadXML");
	jlong root = rtGetObject(doc, rtDispId(doc, "documentElement"), GET);
	static const char *const expected[] = {IID_ELEMENT, IID_TEXT, IID_COMMENT};
	for (int k = 0; k < 3 && root != 0; ++k) {
		char inCall[64] = "", iid[64] = "";
		jlong child = childAt(root, k, inCall, sizeof inCall);
		check(strcmp(inCall, expected[k]) == 0, "the call for child %d found %s, got %s", k, expected[k], inCall);
		int named = child != 0 && rtTypeInfoIid(child, iid, sizeof iid);
		expectNoException("typeInfoIid");
		check(named && strcmp(iid, expected[k]) == 0, "child %d names %s, got %s", k, expected[k], named ? iid : "none");
		rtRelease(child);
	}
	rtRelease(root);
	rtRelease(doc);

	// Wine's RegExp match gives no type information: the Java half falls back to QueryInterface.
	jlong re = rtCreate("VBScript.RegExp", 0);
	if (!expectNoException("create VBScript.RegExp"))
		return;
	Frame pattern = rtFrame(1);
	rtSetString(&pattern, 0, "b");
	rtInvoke(re, rtDispId(re, "Pattern"), DISPATCH_PROPERTYPUT, VT_EMPTY, &pattern);
	jlong matches = rtGetObjectString(re, rtDispId(re, "Execute"), METHOD, "abc");
	Frame item = rtFrame(1);
	rtSetNumber(&item, 0, VT_I4, 0);
	if (matches != 0 && rtInvoke(matches, 0, GET, VT_DISPATCH, &item) && rtBits(&item, 1) != 0) {
		char iid[64] = "?";
		if (rtRef(&item, 1) != NULL)
			fakeStringUtf8(rtRef(&item, 1), iid, sizeof iid);
		check(iid[0] == 0, "the call for a RegExp match found no type information, got \"%s\"", iid);
		check(!rtTypeInfoIid(rtBits(&item, 1), iid, sizeof iid), "a RegExp match gives no type information");
		expectNoException("typeInfoIid of a match");
		rtRelease(rtBits(&item, 1));
	}
	fakeExceptionClear();
	rtRelease(matches);
	rtRelease(re);
}

// Task Scheduler 2.0: Wine's implements the vtables only (Invoke,
// GetIDsOfNames and GetTypeInfo answer E_NOTIMPL), so every call goes
// through the slots of the non-dual interfaces.

static const char IID_TASK_SERVICE[] = "{2FABA4C7-4DA9-4013-9697-20CC3FD40F85}";
static const char IID_TASK_FOLDER[] = "{8CFAC062-A080-4C15-9A88-AA7C2AF80DFC}";
static const char IID_TASK_DEFINITION[] = "{F5BC8FC5-536D-4F77-B852-FBC1356FDEB6}";
static const char IID_TRIGGERS[] = "{85DF5081-1B24-4F32-878A-D9D14DF4CB77}";
static const char IID_DAILY_TRIGGER[] = "{126C5CD8-B288-41D5-8DBF-E491446ADC5C}";

// The interface, asked for once as MivraObject does.
static jlong viewAs(jlong object, const char *iid)
{
	jlong view = object != 0 ? rtQueryInterface(object, iid) : 0;
	check(view != 0, "the object has the interface %s", iid);
	return view;
}

void rtScenarioTaskScheduler(void)
{
	jlong service = rtCreate("Schedule.Service", 0);
	if (!expectNoException("create Schedule.Service"))
		return;
	jlong taskService = viewAs(service, IID_TASK_SERVICE);
	static const jint connectTypes[] = {VT_VARIANT, VT_VARIANT, VT_VARIANT, VT_VARIANT};
	// Empty variants: Wine takes DISP_E_PARAMNOTFOUND for a server's name.
	Frame connect = rtFrame(4);
	rtVtblCall(taskService, 10, IID_TASK_SERVICE, VT_EMPTY, connectTypes, &connect);
	expectNoException("ITaskService::Connect()");
	Frame connected = rtFrame(0);
	rtVtblCall(taskService, 11, IID_TASK_SERVICE, VT_BOOL, NULL, &connected);
	if (expectNoException("ITaskService::get_Connected"))
		check(rtVt(&connected, 0) == VT_BOOL && rtBits(&connected, 0) == 1, "connected");

	static const jint bstrType[] = {VT_BSTR};
	Frame getFolder = rtFrame(1);
	rtSetString(&getFolder, 0, "\\");
	rtVtblCall(taskService, 7, IID_TASK_SERVICE, VT_DISPATCH, bstrType, &getFolder);
	jlong folder = expectNoException("ITaskService::GetFolder(\"\\\")") ? rtBits(&getFolder, 1) : 0;
	jlong taskFolder = viewAs(folder, IID_TASK_FOLDER);
	Frame path = rtFrame(0);
	if (taskFolder != 0 && rtVtblCall(taskFolder, 8, IID_TASK_FOLDER, VT_BSTR, NULL, &path)) {
		char text[32] = "";
		fakeStringUtf8(rtRef(&path, 0), text, sizeof text);
		check(strcmp(text, "\\") == 0, "the root folder's path is \\, got \"%s\"", text);
	}
	expectNoException("ITaskFolder::get_Path");
	// A failing HRESULT of the function itself becomes the exception.
	Frame missing = rtFrame(1);
	rtSetString(&missing, 0, "\\no such folder");
	if (!rtVtblCall(taskService, 7, IID_TASK_SERVICE, VT_DISPATCH, bstrType, &missing)) {
		const FakeExceptionInfo *e = fakeExceptionInfo();
		check(e != NULL && e->hresult == (int) 0x80070003, "GetFolder of a missing folder fails with 0x80070003, got 0x%x",
		      e ? e->hresult : 0);
		fakeExceptionClear();
	} else {
		check(0, "GetFolder of a missing folder succeeded");
		rtRelease(rtBits(&missing, 1));
	}

	static const jint flagsType[] = {VT_I4};
	Frame newTask = rtFrame(1);
	rtSetNumber(&newTask, 0, VT_I4, 0);
	rtVtblCall(taskService, 9, IID_TASK_SERVICE, VT_DISPATCH, flagsType, &newTask);
	jlong task = expectNoException("ITaskService::NewTask(0)") ? rtBits(&newTask, 1) : 0;
	jlong definition = viewAs(task, IID_TASK_DEFINITION);
	Frame getTriggers = rtFrame(0);
	jlong triggers = definition != 0 && rtVtblCall(definition, 9, IID_TASK_DEFINITION, VT_DISPATCH, NULL, &getTriggers)
	                     ? rtBits(&getTriggers, 0) : 0;
	expectNoException("ITaskDefinition::get_Triggers");
	jlong collection = viewAs(triggers, IID_TRIGGERS);
	Frame create = rtFrame(1);
	rtSetNumber(&create, 0, VT_I4, 2);   // TASK_TRIGGER_DAILY
	jlong trigger = collection != 0 && rtVtblCall(collection, 10, IID_TRIGGERS, VT_DISPATCH, flagsType, &create)
	                    ? rtBits(&create, 1) : 0;
	expectNoException("ITriggerCollection::Create(TASK_TRIGGER_DAILY)");
	// What Wine created is a daily trigger: its own interface's members, by value and by [out,retval].
	jlong itrigger = viewAs(trigger, IID_DAILY_TRIGGER);
	static const jint shortType[] = {VT_I2};
	Frame days = rtFrame(1);
	rtSetNumber(&days, 0, VT_I2, 3);
	if (itrigger != 0 && rtVtblCall(itrigger, 21, IID_DAILY_TRIGGER, VT_EMPTY, shortType, &days)) {
		Frame back = rtFrame(0);
		if (rtVtblCall(itrigger, 20, IID_DAILY_TRIGGER, VT_I2, NULL, &back))
			check(rtVt(&back, 0) == VT_I2 && rtBits(&back, 0) == 3, "DaysInterval 3 back, got %lld",
			      (long long) rtBits(&back, 0));
	}
	expectNoException("IDailyTrigger::DaysInterval");
	Frame start = rtFrame(1);
	rtSetString(&start, 0, "2030-01-02T03:04:05");
	if (itrigger != 0 && rtVtblCall(itrigger, 15, IID_DAILY_TRIGGER, VT_EMPTY, bstrType, &start)) {
		Frame back = rtFrame(0);
		char text[64] = "";
		if (rtVtblCall(itrigger, 14, IID_DAILY_TRIGGER, VT_BSTR, NULL, &back) && rtRef(&back, 0) != NULL)
			fakeStringUtf8(rtRef(&back, 0), text, sizeof text);
		check(strcmp(text, "2030-01-02T03:04:05") == 0, "StartBoundary back, got \"%s\"", text);
	}
	expectNoException("ITrigger::StartBoundary");

	jlong owned[] = {itrigger, trigger, collection, triggers, definition, task, taskFolder, folder, taskService, service};
	for (size_t i = 0; i < sizeof owned / sizeof *owned; ++i)
		rtRelease(owned[i]);
}

// MivraVariant's accessors: the runtime's conversion of a slot against
// VariantChangeTypeEx called here with the same locale and flags.

typedef struct {
	const char *name;
	VARTYPE vt;
	double real;
	LONGLONG integer;
	const char *text;
} CoercionInput;

static void describeSlot(Frame *f, char *out, size_t size)
{
	jint vt = rtVt(f, 0);
	if (vt == VT_BSTR) {
		char text[128] = "";
		if (rtRef(f, 0) != NULL)
			fakeStringUtf8(rtRef(f, 0), text, sizeof text);
		snprintf(out, size, "BSTR \"%s\"", text);
	} else if (vt == VT_DECIMAL) {
		jlong *halves = fakeArrayElements(rtRef(f, 0), 'J');
		snprintf(out, size, "DECIMAL %016llx %016llx", (unsigned long long) halves[0], (unsigned long long) halves[1]);
	} else if (vt == VT_R8 || vt == VT_DATE) {
		snprintf(out, size, "%s %.17g", vt == VT_R8 ? "R8" : "DATE", rtDouble(f, 0));
	} else {
		snprintf(out, size, "vt %d %lld", (int) vt, (long long) rtBits(f, 0));
	}
}

static void describeVariant(VARIANT *v, char *out, size_t size)
{
	switch (V_VT(v)) {
	case VT_BSTR: {
		char text[128] = "";
		WideCharToMultiByte(CP_UTF8, 0, V_BSTR(v), -1, text, sizeof text, NULL, NULL);
		snprintf(out, size, "BSTR \"%s\"", text);
		break;
	}
	case VT_DECIMAL: {
		DECIMAL d = V_DECIMAL(v);
		d.wReserved = 0;
		unsigned long long halves[2];
		memcpy(halves, &d, sizeof halves);
		snprintf(out, size, "DECIMAL %016llx %016llx", halves[0], halves[1]);
		break;
	}
	case VT_R8: snprintf(out, size, "R8 %.17g", V_R8(v)); break;
	case VT_DATE: snprintf(out, size, "DATE %.17g", V_DATE(v)); break;
	case VT_BOOL: snprintf(out, size, "vt %d %d", VT_BOOL, V_BOOL(v) != VARIANT_FALSE); break;
	case VT_I4: snprintf(out, size, "vt %d %ld", VT_I4, (long) V_I4(v)); break;
	case VT_I8: snprintf(out, size, "vt %d %lld", VT_I8, (long long) V_I8(v)); break;
	default: snprintf(out, size, "vt %d ?", V_VT(v)); break;
	}
}

void rtScenarioCoercion(void)
{
	static const CoercionInput inputs[] = {
		{"I4 42", VT_I4, 0, 42, NULL}, {"I4 -7", VT_I4, 0, -7, NULL}, {"UI4 4294967295", VT_UI4, 0, -1, NULL},
		{"I8 2^40", VT_I8, 0, 1LL << 40, NULL}, {"R8 2.5", VT_R8, 2.5, 0, NULL}, {"R8 3.5", VT_R8, 3.5, 0, NULL},
		{"R8 0.1", VT_R8, 0.1, 0, NULL}, {"R8 1e10", VT_R8, 1e10, 0, NULL}, {"R8 -1.5e-7", VT_R8, -1.5e-7, 0, NULL},
		{"BOOL true", VT_BOOL, 0, 1, NULL}, {"BOOL false", VT_BOOL, 0, 0, NULL}, {"CY 1234.5678", VT_CY, 0, 12345678, NULL},
		{"DATE 36525.75", VT_DATE, 36525.75, 0, NULL}, {"EMPTY", VT_EMPTY, 0, 0, NULL}, {"NULL", VT_NULL, 0, 0, NULL},
		{"\"12\"", VT_BSTR, 0, 0, "12"}, {"\"1.5\"", VT_BSTR, 0, 0, "1.5"}, {"\" 7 \"", VT_BSTR, 0, 0, " 7 "},
		{"\"True\"", VT_BSTR, 0, 0, "True"}, {"\"false\"", VT_BSTR, 0, 0, "false"}, {"\"abc\"", VT_BSTR, 0, 0, "abc"},
		{"\"1,000\"", VT_BSTR, 0, 0, "1,000"}, {"\"\"", VT_BSTR, 0, 0, ""},
		{"\"12/31/1999 18:00:00\"", VT_BSTR, 0, 0, "12/31/1999 18:00:00"}, {"\"2024-02-29\"", VT_BSTR, 0, 0, "2024-02-29"},
	};
	static const VARTYPE targets[] = {VT_BSTR, VT_I4, VT_I8, VT_R8, VT_BOOL, VT_DECIMAL, VT_DATE};
	int compared = 0;
	for (size_t i = 0; i < sizeof inputs / sizeof *inputs; ++i)
		for (size_t t = 0; t < sizeof targets / sizeof *targets; ++t) {
			const CoercionInput *in = &inputs[i];
			Frame f = rtFrame(0);
			VARIANT source, direct;
			VariantInit(&source);
			VariantInit(&direct);
			V_VT(&source) = in->vt;
			if (in->vt == VT_R8 || in->vt == VT_DATE) {
				rtSetDouble(&f, 0, in->vt, in->real);
				V_R8(&source) = in->real;
			} else if (in->vt == VT_BSTR) {
				rtSetString(&f, 0, in->text);
				wchar_t wide[64];
				MultiByteToWideChar(CP_UTF8, 0, in->text, -1, wide, 64);
				V_BSTR(&source) = SysAllocString(wide);
			} else {
				rtSetNumber(&f, 0, in->vt, in->integer);
				V_I8(&source) = in->integer;
				if (in->vt == VT_BOOL)
					V_BOOL(&source) = in->integer ? VARIANT_TRUE : VARIANT_FALSE;
			}
			HRESULT hr = VariantChangeTypeEx(&direct, &source, LOCALE_INVARIANT, VARIANT_ALPHABOOL, targets[t]);
			char expected[200], got[200];
			if (SUCCEEDED(hr))
				describeVariant(&direct, expected, sizeof expected);
			else
				snprintf(expected, sizeof expected, "failure 0x%08lx", (unsigned long) hr);
			if (rtChangeType(targets[t], &f)) {
				describeSlot(&f, got, sizeof got);
			} else {
				const FakeExceptionInfo *e = fakeExceptionInfo();
				snprintf(got, sizeof got, "failure 0x%08x", e ? (unsigned) e->hresult : 0u);
				fakeExceptionClear();
			}
			printf("%-24s to vt %2d: %s\n", in->name, targets[t], got);
			check(strcmp(expected, got) == 0, "%s to vt %d: VariantChangeTypeEx gives %s, the runtime %s", in->name,
			      targets[t], expected, got);
			++compared;
			VariantClear(&source);
			VariantClear(&direct);
		}
	printf("%d conversions compared\n", compared);
}
