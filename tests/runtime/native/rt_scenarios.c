#include "rt_scenarios.h"

#include <stdio.h>
#include <string.h>

#include "counting_dispatch.h"
#include "harness.h"

#define GET DISPATCH_PROPERTYGET
#define PUT DISPATCH_PROPERTYPUT
#define METHOD DISPATCH_METHOD

void rtCheckReferences(const char *scenario)
{
	countingReport(stdout);
	check(countingOverReleases() == 0, "%s: %ld releases too many", scenario, countingOverReleases());
	check(countingDeadCalls() == 0, "%s: %ld calls through released pointers", scenario, countingDeadCalls());
	check(countingLiveWrappers() == 0, "%s: %ld objects still referenced after every release", scenario,
	      countingLiveWrappers());
	check(rtLocalPeak() <= 16, "%s: the natives held %ld local references at once (a VM grants 16)", scenario,
	      rtLocalPeak());
}

int rtEnumerate(jlong collection, jint elementVt, void (*each)(Frame *batch, int k, void *context), void *context)
{
	jlong enumerator = rtNewEnum(collection);
	if (!expectNoException("newEnum") || !check(enumerator != 0, "an enumerator"))
		return 0;
	int total = 0;
	for (;;) {
		Frame batch = rtFrame(15);              // 16 slots, as MivraObject asks for
		jint n = rtNext(enumerator, elementVt, &batch);
		if (!expectNoException("next"))
			break;
		for (int k = 0; k < n; ++k)
			each(&batch, k, context);
		total += n;
		if (n < batch.slots)
			break;
	}
	rtRelease(enumerator);
	return total;
}

static void setString(jlong disp, jint dispId, const char *value)
{
	Frame f = rtFrame(1);
	rtSetString(&f, 0, value);
	rtInvoke(disp, dispId, PUT, VT_EMPTY, &f);
	expectNoException("a string property put");
}

// msxml6: a document built, walked and queried.

typedef struct {
	char texts[8][32];
	int count;
	int elements;
} XmlItems;

static void xmlItem(Frame *batch, int k, void *context)
{
	XmlItems *items = context;
	check(rtVt(batch, k) == VT_DISPATCH, "a node list element is an object");
	jlong node = rtBits(batch, k);
	if (node == 0)
		return;
	if (rtGetNumber(node, 4, VT_I4) == 1)
		items->elements++;
	if (items->count < 8)
		rtGetString(node, 24, GET, items->texts[items->count++], 32);
	rtRelease(node);
}

void rtScenarioXml(void)
{
	HRESULT hr = countingWatchClass(L"Msxml2.DOMDocument.6.0", L"msxml6.dll");
	check(SUCCEEDED(hr), "watching Msxml2.DOMDocument.6.0: 0x%lx", hr);
	jlong created = rtCreate("Msxml2.DOMDocument.6.0", 0);
	if (!expectNoException("create Msxml2.DOMDocument.6.0") || created == 0)
		return;
	check(countingIsWrapper(PTR_OF(created)), "the document is a counted object");
	// new IXMLDOMDocument(object): QueryInterface, then the object is closed.
	jlong doc = rtQueryInterface(created, "{2933BF81-7B36-11D2-B20E-00C04F983E60}");
	expectNoException("QueryInterface IXMLDOMDocument");
	rtRelease(created);
	check(rtQueryInterface(doc, "{3F4DACA0-160D-11D2-A8E9-00104B365C9F}") == 0,
	      "QueryInterface for an interface the document lacks gives 0 (Java: ClassCastException)");
	expectNoException("QueryInterface of an unsupported interface");

	Frame f;
	if (rtCallString(doc, 63, METHOD, "<root><item>a</item><item>b</item></root>", VT_BOOL, &f))
		check(rtVt(&f, 1) == VT_BOOL && rtBits(&f, 1) == 1, "loadXML gives true");
	expectNoException("loadXML");
	check(rtGetNumber(doc, 4, VT_I4) == 9, "the document's nodeType is NODE_DOCUMENT (9)");

	jlong root = rtGetObject(doc, 40, GET);
	char text[256];
	rtGetString(root, 2, GET, text, sizeof text);
	check(strcmp(text, "root") == 0, "documentElement is <root>, got %s", text);
	check(rtGetNumber(root, 4, VT_I4) == 1, "the root's nodeType is NODE_ELEMENT (1)");

	jlong element = rtGetObjectString(doc, 41, METHOD, "item");
	setString(element, 24, "c");
	Frame attribute = rtFrame(2);
	rtSetString(&attribute, 0, "id");
	rtSetString(&attribute, 1, "3");
	rtInvoke(element, 100, METHOD, VT_EMPTY, &attribute);
	expectNoException("setAttribute( \"id\", \"3\" )");
	// appendChild(IXMLDOMNode) given the IXMLDOMElement.
	Frame append = rtFrame(1);
	rtSetNumber(&append, 0, VT_DISPATCH, element);
	if (rtInvoke(root, 16, METHOD, VT_DISPATCH, &append)) {
		jlong appended = rtBits(&append, 1);
		rtGetString(appended, 2, GET, text, sizeof text);
		check(strcmp(text, "item") == 0, "appendChild gives the appended node, got %s", text);
		rtRelease(appended);
	}
	expectNoException("appendChild( element )");
	rtRelease(element);
	rtGetString(root, 27, GET, text, sizeof text);
	check(strstr(text, "<item id=\"3\">c</item>") != NULL, "the root's xml has the new element: %s", text);

	jlong list = rtGetObjectString(root, 29, METHOD, "//item");
	check(rtGetNumber(list, 74, VT_I4) == 3, "selectNodes( \"//item\" ) finds 3 nodes");
	XmlItems items = {.count = 0};
	int n = rtEnumerate(list, VT_DISPATCH, xmlItem, &items);
	check(n == 3 && items.elements == 3, "iterating the node list gives 3 elements, got %d (%d elements)", n,
	      items.elements);
	check(items.count == 3 && strcmp(items.texts[0], "a") == 0 && strcmp(items.texts[1], "b") == 0 &&
	              strcmp(items.texts[2], "c") == 0,
	      "the nodes' texts in document order");
	rtRelease(list);
	rtRelease(root);
	rtRelease(doc);
	rtCheckReferences("xml");
	countingUnwatchAll();
}

// Scripting.FileSystemObject: a folder's files through the enumerator.

typedef struct {
	int found;
	double now;
} FileCheck;

static void fileItem(Frame *batch, int k, void *context)
{
	FileCheck *files = context;
	jlong file = rtBits(batch, k);
	char name[64];
	rtGetString(file, 1000, GET, name, sizeof name);
	Frame date = rtFrame(0);
	if (rtInvoke(file, 1006, GET, VT_DATE, &date)) {
		check(rtVt(&date, 0) == VT_DATE, "DateCreated is a DATE");
		double age = files->now - rtDouble(&date, 0);
		check(age > -1.0 / 24 && age < 1, "DateCreated of %s is of today (%g days ago)", name, age);
	}
	expectNoException("DateCreated");
	Frame size = rtFrame(0);
	if (rtInvoke(file, 1009, GET, VT_VARIANT, &size)) {
		VARIANT v;
		VariantInit(&v);
		V_VT(&v) = (VARTYPE) rtVt(&size, 0);
		if (V_VT(&v) == VT_R8)
			V_R8(&v) = rtDouble(&size, 0);
		else
			V_I8(&v) = rtBits(&size, 0);
		VariantChangeType(&v, &v, 0, VT_I4);
		int expected = name[0] == 'a' ? 0 : name[0] == 'b' ? 5 : 1234;
		check(V_I4(&v) == expected, "the Size of %s is %d, got %ld (VARTYPE %d)", name, expected, V_I4(&v),
		      (int) rtVt(&size, 0));
	}
	expectNoException("Size");
	files->found++;
	rtRelease(file);
}

static void writeFile(const wchar_t *folder, const wchar_t *name, DWORD bytes)
{
	wchar_t path[MAX_PATH];
	swprintf(path, MAX_PATH, L"%ls\\%ls", folder, name);
	HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
	char data[2000];
	memset(data, 'x', sizeof data);
	DWORD written;
	WriteFile(h, data, bytes, &written, NULL);
	CloseHandle(h);
}

void rtScenarioFileSystem(void)
{
	HRESULT hr = countingWatchClass(L"Scripting.FileSystemObject", L"scrrun.dll");
	check(SUCCEEDED(hr), "watching Scripting.FileSystemObject: 0x%lx", hr);
	jlong fso = rtCreate("Scripting.FileSystemObject", 0);
	if (!expectNoException("create Scripting.FileSystemObject"))
		return;
	wchar_t temp[MAX_PATH], folder[MAX_PATH];
	GetTempPathW(MAX_PATH, temp);
	swprintf(folder, MAX_PATH, L"%lsmivra-rt-%lu", temp, GetCurrentProcessId());
	CreateDirectoryW(folder, NULL);
	writeFile(folder, L"a.txt", 0);
	writeFile(folder, L"b.txt", 5);
	writeFile(folder, L"c.txt", 1234);
	char folderUtf8[MAX_PATH * 3];
	WideCharToMultiByte(CP_UTF8, 0, folder, -1, folderUtf8, sizeof folderUtf8, NULL, NULL);

	jlong dir = rtGetObjectString(fso, 10013, METHOD, folderUtf8);
	jlong files = dir ? rtGetObject(dir, 10002, GET) : 0;
	if (files != 0) {
		check(rtGetNumber(files, 1, VT_I4) == 3, "Files.Count is 3");
		SYSTEMTIME st;
		GetLocalTime(&st);
		FileCheck check_ = {0, 0};
		SystemTimeToVariantTime(&st, &check_.now);
		int n = rtEnumerate(files, VT_DISPATCH, fileItem, &check_);
		check(n == 3 && check_.found == 3, "the folder's files iterated: %d", n);
		rtRelease(files);
	}
	rtRelease(dir);

	// DeleteFile( missing ), Force left out: the server's error reaches the exception.
	char missing[MAX_PATH * 3];
	snprintf(missing, sizeof missing, "%s\\no-such-file.txt", folderUtf8);
	Frame del = rtFrame(2);
	rtSetString(&del, 0, missing);
	rtSetMissing(&del, 1);
	if (!check(!rtInvoke(fso, 1200, METHOD, VT_EMPTY, &del), "DeleteFile of a missing file fails")) {
	} else {
		const FakeExceptionInfo *e = fakeExceptionInfo();
		printf("DeleteFile of a missing file: %s \"%s\" hresult 0x%08X code 0x%08X source \"%s\" description \"%s\"\n",
		       fakeExceptionClass(), fakeExceptionMessage(), e ? e->hresult : 0, e ? e->code : 0,
		       e ? e->source : "", e ? e->description : "");
		check(strcmp(fakeExceptionClass(), "mivra/runtime/MivraException") == 0, "a MivraException");
		check(e != NULL && e->hresult == (int) DISP_E_EXCEPTION, "the HRESULT is DISP_E_EXCEPTION");
		check(e != NULL && e->code == (int) 0x800A0035, "the EXCEPINFO code is 0x800A0035 (file not found), got 0x%08X",
		      e ? e->code : 0);
		// Wine's scrrun gives no description; then the text is the code's.
		if (e != NULL && e->hasDescription)
			check(strcmp(e->message, e->description) == 0, "the message is the EXCEPINFO description");
		else
			check(e != NULL && e->message[0] != 0, "a message without a description");
		fakeExceptionClear();
	}
	wchar_t path[MAX_PATH];
	for (const wchar_t *const *name = (const wchar_t *const[]){L"a.txt", L"b.txt", L"c.txt", NULL}; *name; ++name) {
		swprintf(path, MAX_PATH, L"%ls\\%ls", folder, *name);
		DeleteFileW(path);
	}
	RemoveDirectoryW(folder);
	rtRelease(fso);
	rtCheckReferences("file system");
	countingUnwatchAll();
}

// Scripting.Dictionary: values of every kind in and out, Keys() as an array.

static jobject intArray(int n, const jint *values)
{
	jobject payload = fakeNewArray('I', n, NULL);
	memcpy(fakeArrayElements(payload, 'I'), values, sizeof(jint) * n);
	return rtWireArray(n, payload);
}

static int sameSlot(Frame *a, int i, Frame *b, int j);

static int sameWireArray(jint vt, jobject x, jobject y)
{
	if (x == NULL || y == NULL)
		return x == y;
	jsize dims = rtArrayDims(x);
	if (dims != rtArrayDims(y))
		return 0;
	jsize total = 1;
	for (int d = 0; d < dims; ++d) {
		if (rtArrayCount(x, d) != rtArrayCount(y, d))
			return 0;
		total *= rtArrayCount(x, d);
	}
	jobject px = rtArrayPayload(x), py = rtArrayPayload(y);
	switch (vt & VT_TYPEMASK) {
	case VT_VARIANT: {
		Frame fx = rtFrameOf(px), fy = rtFrameOf(py);
		for (jsize k = 0; k < total; ++k)
			if (!sameSlot(&fx, k, &fy, k))
				return 0;
		return 1;
	}
	case VT_BSTR:
		for (jsize k = 0; k < total; ++k) {
			jobject sx = ((jobject *) fakeArrayElements(px, 'L'))[k], sy = ((jobject *) fakeArrayElements(py, 'L'))[k];
			char bx[256], by[256];
			if (strcmp(fakeStringUtf8(sx, bx, sizeof bx), fakeStringUtf8(sy, by, sizeof by)) != 0)
				return 0;
		}
		return 1;
	case VT_I4:
		return memcmp(fakeArrayElements(px, 'I'), fakeArrayElements(py, 'I'), sizeof(jint) * total) == 0;
	default:
		return 0;
	}
}

static int sameSlot(Frame *a, int i, Frame *b, int j)
{
	jint vt = rtVt(a, i);
	if (vt != rtVt(b, j))
		return 0;
	if (vt & VT_ARRAY)
		return sameWireArray(vt, rtRef(a, i), rtRef(b, j));
	if (vt == VT_BSTR) {
		char x[512], y[512];
		return strcmp(fakeStringUtf8(rtRef(a, i), x, sizeof x), fakeStringUtf8(rtRef(b, j), y, sizeof y)) == 0;
	}
	if (vt == VT_DECIMAL)
		return memcmp(fakeArrayElements(rtRef(a, i), 'J'), fakeArrayElements(rtRef(b, j), 'J'), 16) == 0;
	if (vt == VT_DISPATCH)
		return 1;       // objects compare by identity, below
	return rtBits(a, i) == rtBits(b, j);
}

static int dictionaryAdd(jlong dict, jint key, Frame *value, int slot)
{
	Frame f = rtFrame(2);
	rtSetNumber(&f, 0, VT_I4, key);
	rtSetNumber(&f, 1, rtVt(value, slot), rtBits(value, slot));
	rtSetRef(&f, 1, rtVt(value, slot), rtRef(value, slot));
	return rtInvoke(dict, 1, METHOD, VT_EMPTY, &f);
}

static Frame dictionaryItem(jlong dict, jint key, jint resultVt)
{
	Frame f = rtFrame(1);
	rtSetNumber(&f, 0, VT_I4, key);
	rtInvoke(dict, 0, GET, resultVt, &f);
	return f;
}

static void sumKeys(Frame *batch, int k, void *context)
{
	if (check(rtVt(batch, k) == VT_I4, "a key is an I4"))
		*(int *) context += (int) rtBits(batch, k);
}

void rtScenarioDictionary(void)
{
	HRESULT hr = countingWatchClass(L"Scripting.Dictionary", L"scrrun.dll");
	check(SUCCEEDED(hr), "watching Scripting.Dictionary: 0x%lx", hr);
	jlong dict = rtCreate("Scripting.Dictionary", 0);
	jlong other = rtCreate("{EE09B103-97E0-11CF-978F-00A02463E06F}", 0);
	if (!expectNoException("create Scripting.Dictionary by ProgID and by CLSID"))
		return;

	// One value of each kind the wire carries; each comes back as it went in.
	enum { KINDS = 15 };
	Frame values = rtFrame(KINDS - 1);
	static const char *const names[KINDS] = {"I4", "BSTR", "R8", "DATE", "CY", "DECIMAL", "I8", "UI1", "BOOL", "R4",
	                                         "DISPATCH", "ARRAY|I4", "ARRAY|BSTR", "ARRAY|VARIANT", "2-D ARRAY|VARIANT"};
	rtSetNumber(&values, 0, VT_I4, -123456);
	rtSetString(&values, 1, "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9D\x84\x9E");
	rtSetDouble(&values, 2, VT_R8, -0.125);
	rtSetDouble(&values, 3, VT_DATE, 45000.75);
	rtSetNumber(&values, 4, VT_CY, 12345678);
	jobject decimal = fakeNewArray('J', 2, NULL);
	((jlong *) fakeArrayElements(decimal, 'J'))[0] = (2LL << 16) | (0x80LL << 24) | (7LL << 32);
	((jlong *) fakeArrayElements(decimal, 'J'))[1] = 12345;
	rtSetRef(&values, 5, VT_DECIMAL, decimal);
	rtSetNumber(&values, 6, VT_I8, 0x123456789ABLL);
	rtSetNumber(&values, 7, VT_UI1, 200);
	rtSetNumber(&values, 8, VT_BOOL, 1);
	rtSetNumber(&values, 9, VT_R4, 0x40200000);         // 2.5f
	rtSetNumber(&values, 10, VT_DISPATCH, other);
	static const jint ints[3] = {1, -2, 3};
	rtSetRef(&values, 11, VT_ARRAY | VT_I4, intArray(3, ints));
	jobject strings = fakeNewArray('L', 2, fakeClass("java/lang/String"));
	((jobject *) fakeArrayElements(strings, 'L'))[0] = fakeString("x");
	((jobject *) fakeArrayElements(strings, 'L'))[1] = fakeString("y");
	rtSetRef(&values, 12, VT_ARRAY | VT_BSTR, rtWireArray(2, strings));
	Frame mixed;
	jobject mixedFrame = rtNestedFrame(3, &mixed);
	rtSetString(&mixed, 0, "s");
	rtSetDouble(&mixed, 1, VT_R8, 2.5);
	rtSetNumber(&mixed, 2, VT_NULL, 0);
	rtSetRef(&values, 13, VT_ARRAY | VT_VARIANT, rtWireArray(3, mixedFrame));
	Frame grid;
	jobject gridFrame = rtNestedFrame(6, &grid);
	for (int k = 0; k < 6; ++k)
		rtSetNumber(&grid, k, VT_I4, 10 + k);
	jobject grid2 = rtWireArray(2, gridFrame);
	jobject counts = fakeNewArray('I', 2, NULL);
	((jint *) fakeArrayElements(counts, 'I'))[0] = 2;
	((jint *) fakeArrayElements(counts, 'I'))[1] = 3;
	((jobject *) fakeArrayElements(grid2, 'L'))[0] = counts;
	rtSetRef(&values, 14, VT_ARRAY | VT_VARIANT, grid2);
	for (int i = 0; i < KINDS; ++i) {
		dictionaryAdd(dict, i, &values, i);
		if (!expectNoException(names[i]))
			continue;
		Frame got = dictionaryItem(dict, i, VT_VARIANT);
		if (!expectNoException(names[i]))
			continue;
		check(sameSlot(&values, i, &got, 1), "a %s item comes back as it went in (VARTYPE %d, got %d)", names[i],
		      (int) rtVt(&values, i), (int) rtVt(&got, 1));
		if (rtVt(&got, 1) == VT_DISPATCH) {
			check(rtBits(&got, 1) != 0, "the object item is an object");
			rtRelease(rtBits(&got, 1));
		}
	}
	check(rtGetNumber(dict, 2, VT_I4) == KINDS, "Count is %d", KINDS);

	// Keys() as an array (VARIANT result).
	Frame keys = rtFrame(0);
	if (rtInvoke(dict, 6, METHOD, VT_VARIANT, &keys) &&
	    check(rtVt(&keys, 0) == (VT_ARRAY | VT_VARIANT), "Keys() is an array of variants, got %d", (int) rtVt(&keys, 0))) {
		jobject wire = rtRef(&keys, 0);
		check(rtArrayDims(wire) == 1 && rtArrayCount(wire, 0) == KINDS, "Keys() has %d keys", KINDS);
		Frame k = rtFrameOf(rtArrayPayload(wire));
		int inOrder = 1;
		for (int i = 0; i < KINDS; ++i)
			inOrder &= rtVt(&k, i) == VT_I4 && rtBits(&k, i) == i;
		check(inOrder, "the keys in insertion order");
	}
	expectNoException("Keys()");
	// Declared types coerce: Keys() as SAFEARRAY(BSTR), an item as BSTR, as I2.
	Frame typed = rtFrame(0);
	if (rtInvoke(dict, 6, METHOD, VT_ARRAY | VT_BSTR, &typed) &&
	    check(rtVt(&typed, 0) == (VT_ARRAY | VT_BSTR), "Keys() coerced to an array of strings")) {
		jobject payload = rtArrayPayload(rtRef(&typed, 0));
		char text[16];
		fakeStringUtf8(((jobject *) fakeArrayElements(payload, 'L'))[14], text, sizeof text);
		check(strcmp(text, "14") == 0, "the 15th key as a string is \"14\", got %s", text);
	}
	expectNoException("Keys() as SAFEARRAY(BSTR)");
	Frame asText = dictionaryItem(dict, 0, VT_BSTR);
	if (expectNoException("Item(0) as BSTR")) {
		char text[32];
		check(rtVt(&asText, 1) == VT_BSTR && strcmp(fakeStringUtf8(rtRef(&asText, 1), text, 32), "-123456") == 0,
		      "an I4 item read as a string");
	}
	dictionaryItem(dict, 0, VT_I2);
	check(fakeExceptionPending() && fakeExceptionInfo() && fakeExceptionInfo()->hresult == (int) DISP_E_OVERFLOW,
	      "-123456 read as I2 overflows");
	fakeExceptionClear();
	Frame asObject = dictionaryItem(dict, 10, VT_DISPATCH);
	if (expectNoException("Item(10) as DISPATCH"))
		rtRelease(rtBits(&asObject, 1));

	// The keys through the dictionary's own enumerator, in batches of 16.
	int sum = 0;
	int keyCount = rtEnumerate(dict, VT_VARIANT, sumKeys, &sum);
	check(keyCount == KINDS && sum == KINDS * (KINDS - 1) / 2, "the enumerator gives the %d keys, got %d", KINDS,
	      keyCount);
	// Keys taken as objects: the batch fails whole and leaves nothing behind.
	jlong enumerator = rtNewEnum(dict);
	Frame batch = rtFrame(15);
	check(rtNext(enumerator, VT_DISPATCH, &batch) == 0 && fakeExceptionInfo() &&
	              fakeExceptionInfo()->hresult == (int) DISP_E_TYPEMISMATCH,
	      "enumerating numbers as objects is a type mismatch");
	fakeExceptionClear();
	rtRelease(enumerator);
	rtRelease(dict);
	rtRelease(other);
	rtCheckReferences("dictionary");
	countingUnwatchAll();
}

// VBScript.RegExp: Execute, iterated over its matches.

typedef struct {
	char values[4][16];
	int firstIndex[4];
	int count;
} Matches;

static void matchItem(Frame *batch, int k, void *context)
{
	Matches *m = context;
	jlong match = rtBits(batch, k);
	if (m->count < 4) {
		rtGetString(match, 0, GET, m->values[m->count], 16);
		m->firstIndex[m->count] = (int) rtGetNumber(match, 10001, VT_I4);
		m->count++;
	}
	rtRelease(match);
}

void rtScenarioRegExp(void)
{
	HRESULT hr = countingWatchClass(L"VBScript.RegExp", L"vbscript.dll");
	check(SUCCEEDED(hr), "watching VBScript.RegExp: 0x%lx", hr);
	jlong re = rtCreate("VBScript.RegExp", 0);
	if (!expectNoException("create VBScript.RegExp"))
		return;
	setString(re, 10001, "[0-9]+");
	Frame global = rtFrame(1);
	rtSetNumber(&global, 0, VT_BOOL, 1);
	rtInvoke(re, 10003, PUT, VT_EMPTY, &global);
	expectNoException("Global = true");
	check(rtGetNumber(re, 10003, VT_BOOL) == 1, "Global reads back true");
	jlong matches = rtGetObjectString(re, 10004, METHOD, "a1 b22 c333");
	check(rtGetNumber(matches, 1, VT_I4) == 3, "Execute finds 3 matches");
	Matches m = {.count = 0};
	int n = rtEnumerate(matches, VT_DISPATCH, matchItem, &m);
	check(n == 3 && m.count == 3 && strcmp(m.values[0], "1") == 0 && strcmp(m.values[1], "22") == 0 &&
	              strcmp(m.values[2], "333") == 0 && m.firstIndex[2] == 8,
	      "the matches \"1\", \"22\", \"333\" (the last at 8), got %d", n);
	rtRelease(matches);
	rtRelease(re);
	rtCheckReferences("regexp");
	countingUnwatchAll();
}

// Failures and what their exceptions carry.

static void expectHResult(const char *what, HRESULT hr, const char *messagePrefix, int argIndex)
{
	const FakeExceptionInfo *e = fakeExceptionInfo();
	if (!check(e != NULL, "%s throws a MivraException, got %s \"%s\"", what, fakeExceptionClass(), fakeExceptionMessage()))
		return;
	printf("%s: \"%s\" hresult 0x%08X argument %d\n", what, e->message, e->hresult, e->argumentIndex);
	check(e->hresult == (int) hr, "%s: HRESULT 0x%08lX, got 0x%08X", what, (unsigned long) hr, e->hresult);
	if (messagePrefix)
		check(strncmp(e->message, messagePrefix, strlen(messagePrefix)) == 0, "%s: the message starts \"%s\"", what,
		      messagePrefix);
	check(e->message[0] != 0, "%s: a message", what);
	if (argIndex != -2)
		check(e->argumentIndex == argIndex, "%s: argument %d, got %d", what, argIndex, e->argumentIndex);
	fakeExceptionClear();
}

static void mislabelledArrays(void);

void rtScenarioErrors(void)
{
	rtCreate("No.Such.Class", 0);
	expectHResult("creating No.Such.Class", CO_E_CLASSSTRING, "Cannot create \"No.Such.Class\"", -1);
	rtCreate("Scripting.Dictionary", 1);
	expectHResult("finding a running Scripting.Dictionary", MK_E_UNAVAILABLE, "No running object", -1);
	jlong dict = rtCreate("Scripting.Dictionary", 0);
	jlong fso = rtCreate("Scripting.FileSystemObject", 0);
	if (!expectNoException("creating the objects"))
		return;
	rtDispId(dict, "NoSuchMember");
	expectHResult("GetIDsOfNames( NoSuchMember )", DISP_E_UNKNOWNNAME, "NoSuchMember: ", -1);
	check(rtDispId(dict, "Count") == 2, "GetIDsOfNames( Count ) is 2");
	expectNoException("GetIDsOfNames( Count )");
	// A name longer than the message buffer: the message is cut, never written past.
	char longName[3001];
	memset(longName, 'N', sizeof longName - 1);
	longName[sizeof longName - 1] = 0;
	rtDispId(dict, longName);
	expectHResult("GetIDsOfNames( a 3000-character name )", DISP_E_UNKNOWNNAME, "NNNN", -1);

	Frame one = rtFrame(1);
	rtSetNumber(&one, 0, VT_I4, 1);
	rtInvoke(dict, 1, METHOD, VT_EMPTY, &one);
	expectHResult("Add with one argument", DISP_E_BADPARAMCOUNT, NULL, -1);
	// The index names the argument in declaration order (rgvarg is last first).
	Frame path = rtFrame(2);
	rtSetString(&path, 0, "C:\\temp");
	rtSetNumber(&path, 1, VT_DISPATCH, dict);
	rtInvoke(fso, 10000, METHOD, VT_BSTR, &path);
	// Wine's type-library Invoke sets no argument index; the test server does (byref).
	expectHResult("BuildPath( string, object )", DISP_E_TYPEMISMATCH, NULL, -2);
	Frame swapped = rtFrame(2);
	rtSetNumber(&swapped, 0, VT_DISPATCH, dict);
	rtSetString(&swapped, 1, "x");
	rtInvoke(fso, 10000, METHOD, VT_BSTR, &swapped);
	expectHResult("BuildPath( object, string )", DISP_E_TYPEMISMATCH, NULL, -2);
	Frame put = rtFrame(0);
	rtInvoke(dict, 2, PUT, VT_EMPTY, &put);
	expectHResult("a property put without its value", DISP_E_PARAMNOTFOUND, NULL, -1);
	Frame readOnly = rtFrame(1);
	rtSetNumber(&readOnly, 0, VT_I4, 5);
	rtInvoke(dict, 2, PUT, VT_EMPTY, &readOnly);
	expectHResult("putting the read-only Count", DISP_E_MEMBERNOTFOUND, NULL, -1);
	// A result that cannot take the declared type.
	Frame name = rtFrame(2);
	rtSetString(&name, 0, "C:\\temp");
	rtSetString(&name, 1, "x");
	rtInvoke(fso, 10000, METHOD, VT_DISPATCH, &name);
	expectHResult("BuildPath read as an object", DISP_E_TYPEMISMATCH, NULL, -1);
	rtRelease(dict);
	rtRelease(fso);
	mislabelledArrays();
}

// By-reference arguments: a server of our own that changes each kind, then
// VBScript through the script control's CodeObject.

typedef struct {
	IDispatch iface;
	LONG refs;
	int seen;                   // in-values as expected
} ByRefServer;

static HRESULT STDMETHODCALLTYPE brQueryInterface(IDispatch *self, REFIID riid, void **out)
{
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch)) {
		*out = self;
		self->lpVtbl->AddRef(self);
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE brAddRef(IDispatch *self) { return (ULONG) InterlockedIncrement(&((ByRefServer *) self)->refs); }
static ULONG STDMETHODCALLTYPE brRelease(IDispatch *self) { return (ULONG) InterlockedDecrement(&((ByRefServer *) self)->refs); }
static HRESULT STDMETHODCALLTYPE brCount(IDispatch *self, UINT *n) { (void) self; *n = 0; return S_OK; }
static HRESULT STDMETHODCALLTYPE brTypeInfo(IDispatch *self, UINT i, LCID l, ITypeInfo **t) { (void) self; (void) i; (void) l; *t = NULL; return E_NOTIMPL; }
static HRESULT STDMETHODCALLTYPE brIds(IDispatch *self, REFIID r, LPOLESTR *n, UINT c, LCID l, DISPID *d) { (void) self; (void) r; (void) n; (void) c; (void) l; *d = DISPID_UNKNOWN; return DISP_E_UNKNOWNNAME; }

static HRESULT STDMETHODCALLTYPE fillIn(EXCEPINFO *info)
{
	info->scode = (SCODE) 0x800A01A8;
	info->bstrSource = SysAllocString(L"Mivra test server");
	info->bstrDescription = SysAllocString(L"Object required");
	info->bstrHelpFile = SysAllocString(L"help.chm");
	info->dwHelpContext = 424;
	return S_OK;
}

// 1: Change( [in,out] long*, [in,out] BSTR*, [in,out] VARIANT*, [in,out] IDispatch**, [in,out] DECIMAL* )
static HRESULT STDMETHODCALLTYPE brInvoke(IDispatch *self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                          DISPPARAMS *params, VARIANT *result, EXCEPINFO *info, UINT *argErr)
{
	(void) riid; (void) lcid; (void) flags; (void) info; (void) argErr;
	ByRefServer *server = (ByRefServer *) self;
	if (id == 2 && argErr) {
		*argErr = 0;                // rgvarg[0]: the last argument
		return DISP_E_TYPEMISMATCH;
	}
	if (id == 3 && info) {
		memset(info, 0, sizeof *info);
		info->pfnDeferredFillIn = fillIn;
		return DISP_E_EXCEPTION;
	}
	// 4: an array whose VARIANT says BSTR but which holds three bytes.
	if (id == 4 && result) {
		SAFEARRAY *bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
		if (bytes == NULL)
			return E_OUTOFMEMORY;
		memcpy(bytes->pvData, "\1\2\3", 3);
		V_VT(result) = VT_ARRAY | VT_BSTR;
		V_ARRAY(result) = bytes;
		return S_OK;
	}
	// 5: 2^29 + 1 doubles, whose 32-bit size oleaut32 computes as 8 bytes.
	if (id == 5 && result) {
		SAFEARRAY *huge = SafeArrayCreateVector(VT_R8, 0, 0x20000001);
		if (huge == NULL)
			return E_OUTOFMEMORY;
		V_VT(result) = VT_ARRAY | VT_R8;
		V_ARRAY(result) = huge;
		return S_OK;
	}
	if (id != 1 || params->cArgs != 5)
		return DISP_E_MEMBERNOTFOUND;
	VARIANTARG *a = params->rgvarg;
	if (V_VT(&a[4]) != (VT_BYREF | VT_I4) || V_VT(&a[3]) != (VT_BYREF | VT_BSTR) ||
	    V_VT(&a[2]) != (VT_BYREF | VT_VARIANT) || V_VT(&a[1]) != (VT_BYREF | VT_DISPATCH) ||
	    V_VT(&a[0]) != (VT_BYREF | VT_DECIMAL))
		return DISP_E_TYPEMISMATCH;
	server->seen = *V_I4REF(&a[4]) == 21 && wcscmp(*V_BSTRREF(&a[3]), L"in") == 0 &&
	               V_VT(V_VARIANTREF(&a[2])) == VT_I2 && *V_DISPATCHREF(&a[1]) == self &&
	               V_DECIMALREF(&a[0])->Lo64 == 5;
	*V_I4REF(&a[4]) *= 2;
	SysFreeString(*V_BSTRREF(&a[3]));
	*V_BSTRREF(&a[3]) = SysAllocString(L"out");
	VariantClear(V_VARIANTREF(&a[2]));
	V_VT(V_VARIANTREF(&a[2])) = VT_BSTR;
	V_BSTR(V_VARIANTREF(&a[2])) = SysAllocString(L"variant out");
	if (*V_DISPATCHREF(&a[1]))
		(*V_DISPATCHREF(&a[1]))->lpVtbl->Release(*V_DISPATCHREF(&a[1]));
	*V_DISPATCHREF(&a[1]) = NULL;
	V_DECIMALREF(&a[0])->Lo64 = 50;
	V_DECIMALREF(&a[0])->scale = 1;
	if (result) {
		V_VT(result) = VT_I4;
		V_I4(result) = 7;
	}
	return S_OK;
}

static const IDispatchVtbl byRefVtbl = {brQueryInterface, brAddRef, brRelease, brCount, brTypeInfo, brIds, brInvoke};

static ByRefServer server = {{(IDispatchVtbl *) &byRefVtbl}, 1, 0};

jlong rtTestServer(void)
{
	return (jlong) (intptr_t) &server.iface;
}

// Change( 21, "in", (short) 3, the server, 0.5 ); 1 when everything came back changed.
int rtChangeByRef(void)
{
	jlong self = rtTestServer();
	Frame f = rtFrame(5);
	rtSetNumber(&f, 0, VT_BYREF | VT_I4, 21);
	rtSetRef(&f, 1, VT_BYREF | VT_BSTR, fakeString("in"));
	Frame inner;
	jobject innerFrame = rtNestedFrame(1, &inner);
	rtSetNumber(&inner, 0, VT_I2, 3);
	rtSetRef(&f, 2, VT_BYREF | VT_VARIANT, innerFrame);
	rtSetNumber(&f, 3, VT_BYREF | VT_DISPATCH, self);
	jobject decimal = fakeNewArray('J', 2, NULL);
	((jlong *) fakeArrayElements(decimal, 'J'))[1] = 5;
	rtSetRef(&f, 4, VT_BYREF | VT_DECIMAL, decimal);
	int ok = 0;
	if (rtInvoke(self, 1, METHOD, VT_I4, &f)) {
		char text[64];
		ok = server.seen && rtBits(&f, 0) == 42 && rtVt(&inner, 0) == VT_BSTR;
		check(server.seen, "the server saw the values passed in");
		check(rtVt(&f, 0) == VT_I4 && rtBits(&f, 0) == 42, "a long written back");
		check(rtVt(&f, 1) == VT_BSTR && strcmp(fakeStringUtf8(rtRef(&f, 1), text, sizeof text), "out") == 0,
		      "a BSTR written back");
		check(rtVt(&inner, 0) == VT_BSTR && strcmp(fakeStringUtf8(rtRef(&inner, 0), text, sizeof text), "variant out") == 0,
		      "a VARIANT written back in place");
		check(rtVt(&f, 3) == VT_DISPATCH && rtBits(&f, 3) == 0, "an object written back (as null)");
		jlong *halves = fakeArrayElements(rtRef(&f, 4), 'J');
		check(rtVt(&f, 4) == VT_DECIMAL && halves[1] == 50 && ((halves[0] >> 16) & 0xFF) == 1, "a DECIMAL written back");
		check(rtVt(&f, 5) == VT_I4 && rtBits(&f, 5) == 7, "and the result");
	}
	return ok;
}

void rtScenarioByRef(void)
{
	jlong self = rtTestServer();
	check(rtChangeByRef(), "values passed by reference come back changed");
	expectNoException("Change( by reference )");
	// The server released the object it replaced: the reference the call gave it.
	check(server.refs == 1, "the by-reference object kept its count, got %ld", server.refs);

	// 2: a type mismatch naming rgvarg[0], the last of three arguments.
	Frame three = rtFrame(3);
	rtInvoke(self, 2, METHOD, VT_EMPTY, &three);
	const FakeExceptionInfo *e = fakeExceptionInfo();
	check(e && e->hresult == (int) DISP_E_TYPEMISMATCH && e->argumentIndex == 2,
	      "a type mismatch of rgvarg[0] names argument 2 of 3, got %d", e ? e->argumentIndex : -9);
	fakeExceptionClear();
	// 3: an exception whose details come from the deferred fill-in.
	Frame none = rtFrame(0);
	rtInvoke(self, 3, METHOD, VT_EMPTY, &none);
	e = fakeExceptionInfo();
	check(e && e->hresult == (int) DISP_E_EXCEPTION && e->code == (int) 0x800A01A8 &&
	              strcmp(e->message, "Object required") == 0 && strcmp(e->description, "Object required") == 0 &&
	              strcmp(e->source, "Mivra test server") == 0 && strcmp(e->helpFile, "help.chm") == 0 &&
	              e->helpContext == 424 && e->argumentIndex == -1,
	      "the deferred EXCEPINFO reaches the exception: \"%s\" code 0x%08X source \"%s\"", e ? e->message : "",
	      e ? e->code : 0, e ? e->source : "");
	fakeExceptionClear();

	// Arrays are read as the SAFEARRAY says, whatever the VARIANT claims.
	rtInvoke(self, 4, METHOD, VT_VARIANT, &none);
	if (expectNoException("an array of bytes that claims BSTRs")) {
		jobject wire = rtRef(&none, 0);
		check(rtVt(&none, 0) == (VT_ARRAY | VT_UI1) && wire != NULL && rtArrayCount(wire, 0) == 3 &&
		          ((jbyte *) fakeArrayElements(rtArrayPayload(wire), 'B'))[2] == 3,
		      "the bytes come as bytes, VARTYPE 0x%x", (unsigned) rtVt(&none, 0));
	}
	Frame huge = rtFrame(0);
	rtInvoke(self, 5, METHOD, VT_VARIANT, &huge);
	e = fakeExceptionInfo();
	check(e && e->hresult == (int) DISP_E_OVERFLOW, "an array larger than its 32-bit size fails with DISP_E_OVERFLOW");
	fakeExceptionClear();
	// A failure's subject of any length (here an IID's text) makes a message, cut short.
	char longIid[3000];
	memset(longIid, 'x', sizeof longIid - 1);
	longIid[sizeof longIid - 1] = 0;
	rtQueryInterface(self, longIid);
	e = fakeExceptionInfo();
	check(e && strncmp(e->message, "xxxx", 4) == 0 && strlen(e->message) < sizeof e->message,
	      "a failure about a long subject has a message: \"%.40s\"", e ? e->message : "");
	fakeExceptionClear();
}

// Threads: each joins COM on its first call, in the apartment it asks for.

typedef struct {
	int multithreaded;
	jboolean joined;
	jint count;
	jboolean again;
} ThreadRun;

static DWORD WINAPI threadBody(void *arg)
{
	ThreadRun *run = arg;
	fakeAttachThread();
	run->joined = rtInitThread(run->multithreaded);
	run->again = rtInitThread(!run->multithreaded);
	jlong dict = rtCreate("Scripting.Dictionary", 0);
	Frame add = rtFrame(2);
	rtSetString(&add, 0, "k");
	rtSetString(&add, 1, "v");
	if (dict != 0 && rtInvoke(dict, 1, METHOD, VT_EMPTY, &add))
		run->count = (jint) rtGetNumber(dict, 2, VT_I4);
	rtRelease(dict);
	return 0;
}

static void runThread(ThreadRun *run)
{
	HANDLE thread = CreateThread(NULL, 0, threadBody, run, 0, NULL);
	WaitForSingleObject(thread, INFINITE);
	CloseHandle(thread);
}

void rtScenarioThreads(void)
{
	check(rtInitThread(0) == JNI_FALSE, "the main thread is in a single-threaded apartment");
	ThreadRun sta = {0, 2, 0, 2}, mta = {1, 2, 0, 2};
	runThread(&sta);
	expectNoException("calls on a second thread (STA)");
	check(sta.joined == JNI_FALSE && sta.count == 1, "a second thread joins its own STA and calls (count %d)", sta.count);
	check(sta.again == JNI_FALSE, "asking an STA thread for the MTA later leaves it in its STA");
	runThread(&mta);
	expectNoException("calls on a second thread (MTA)");
	check(mta.joined == JNI_TRUE && mta.count == 1, "a thread asking for the MTA joins it and calls (count %d)",
	      mta.count);
	check(mta.again == JNI_TRUE, "asking an MTA thread for an STA later leaves it in the MTA");
}

// Releases on the owning apartment: what another thread (the cleaner) gives
// up is queued and released by the owner at its next call.

typedef struct {
	HANDLE created, queued, done;
	jlong object;
	jlong pending;              // the owner's queue (one entry is enough here)
	DWORD thread;
	int aliveWhenQueued;
} Owner;

static DWORD WINAPI ownerBody(void *arg)
{
	Owner *o = arg;
	fakeAttachThread();
	rtInitThread(0);
	jlong raw = rtCreate("Scripting.Dictionary", 0);
	o->object = (jlong) (intptr_t) countingWrap((IDispatch *) (intptr_t) raw);
	o->thread = GetCurrentThreadId();
	SetEvent(o->created);
	WaitForSingleObject(o->queued, INFINITE);
	// The next runtime call of the owner drains its queue first.
	if (o->pending != 0) {
		rtRelease(o->pending);
		o->pending = 0;
	}
	jlong next = rtCreate("Scripting.Dictionary", 0);
	rtRelease(next);
	SetEvent(o->done);
	return 0;
}

void rtScenarioRelease(void)
{
	Owner o = {CreateEventW(NULL, FALSE, FALSE, NULL), CreateEventW(NULL, FALSE, FALSE, NULL),
	           CreateEventW(NULL, FALSE, FALSE, NULL), 0, 0, 0, 0};
	HANDLE thread = CreateThread(NULL, 0, ownerBody, &o, 0, NULL);
	WaitForSingleObject(o.created, INFINITE);
	// The cleaner's thread queues the release instead of making it.
	o.pending = o.object;
	o.aliveWhenQueued = countingReferences((IDispatch *) (intptr_t) o.object) == 1;
	SetEvent(o.queued);
	WaitForSingleObject(o.done, INFINITE);
	WaitForSingleObject(thread, INFINITE);
	CloseHandle(thread);
	expectNoException("the owner's calls");
	check(o.aliveWhenQueued, "a queued release leaves the object alive");
	check(countingLiveWrappers() == 0, "the owner released the queued object");
	check(countingLastReleaseThread() == o.thread, "the object was released on its owning thread (%lu), not on %lu",
	      (unsigned long) o.thread, (unsigned long) countingLastReleaseThread());
	CloseHandle(o.created);
	CloseHandle(o.queued);
	CloseHandle(o.done);
}

// A server whose VARIANTs misname their arrays' element type: the array's
// own type decides, so numbers are never read as string pointers.
static HRESULT STDMETHODCALLTYPE mislabelledInvoke(IDispatch *self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                                   DISPPARAMS *params, VARIANT *result, EXCEPINFO *info, UINT *argErr)
{
	(void) self; (void) riid; (void) lcid; (void) flags; (void) params; (void) info; (void) argErr;
	SAFEARRAYBOUND bound = {2, 0};
	SAFEARRAY *array = SafeArrayCreate(id == 1 ? VT_I4 : VT_BSTR, 1, &bound);
	for (LONG k = 0; k < 2; ++k) {
		if (id == 1) {
			LONG value = 7 + k;
			SafeArrayPutElement(array, &k, &value);
		} else {
			BSTR text = SysAllocString(k == 0 ? L"12" : L"34");
			SafeArrayPutElement(array, &k, text);
			SysFreeString(text);
		}
	}
	V_VT(result) = VT_ARRAY | (id == 1 ? VT_BSTR : VT_I4);
	V_ARRAY(result) = array;
	return S_OK;
}

static const IDispatchVtbl mislabelledVtbl = {
	brQueryInterface, brAddRef, brRelease, brCount, brTypeInfo, brIds, mislabelledInvoke,
};

static void mislabelledArrays(void)
{
	ByRefServer server = {{(IDispatchVtbl *) &mislabelledVtbl}, 1, 0};
	jlong self = (jlong) (intptr_t) &server.iface;
	Frame numbers = rtFrame(0);
	rtInvoke(self, 1, GET, VT_VARIANT, &numbers);
	if (expectNoException("numbers in a VARIANT that says strings")) {
		jint *values = fakeArrayElements(rtArrayPayload(rtRef(&numbers, 0)), 'I');
		check(rtVt(&numbers, 0) == (VT_ARRAY | VT_I4) && values[0] == 7 && values[1] == 8,
		      "come back as the numbers they are (vt 0x%X)", (unsigned) rtVt(&numbers, 0));
	}
	Frame strings = rtFrame(0);
	rtInvoke(self, 2, GET, VT_VARIANT, &strings);
	if (expectNoException("strings in a VARIANT that says numbers")) {
		char text[8];
		fakeStringUtf8(((jobject *) fakeArrayElements(rtArrayPayload(rtRef(&strings, 0)), 'L'))[1], text, sizeof text);
		check(rtVt(&strings, 0) == (VT_ARRAY | VT_BSTR) && strcmp(text, "34") == 0,
		      "come back as the strings they are (vt 0x%X)", (unsigned) rtVt(&strings, 0));
	}
	Frame converted = rtFrame(0);
	rtInvoke(self, 2, GET, VT_ARRAY | VT_I4, &converted);
	if (expectNoException("strings in a VARIANT that says numbers, declared numbers")) {
		jint *values = fakeArrayElements(rtArrayPayload(rtRef(&converted, 0)), 'I');
		check(values[0] == 12 && values[1] == 34, "are converted from what they are");
	}
	check(server.refs == 1, "the server is called, never kept");
}
