// Scripting.Dictionary and Scripting.FileSystemObject through the classes
// generated from scrrun.dll (package rt.scripting).
#include <stdio.h>
#include <string.h>

#include "counting_dispatch.h"
#include "scenarios.h"

#define ENV fakeEnv()

static void add(jobject dict, jobject key, jobject item)
{
	NATIVE(void, (JNIEnv *, jobject, jobject, jobject), "IDictionary", "Add", "VV")(ENV, dict, key, item);
}

static jobject getItem(jobject dict, jobject key)
{
	return NATIVE(jobject, (JNIEnv *, jobject, jobject), "IDictionary", "getItem", "V")(ENV, dict, key);
}

static void setItem(jobject dict, jobject key, jobject item)
{
	NATIVE(void, (JNIEnv *, jobject, jobject, jobject), "IDictionary", "setItem", "VV")(ENV, dict, key, item);
}

static jint getCount(jobject dict)
{
	return NATIVE(jint, (JNIEnv *, jobject), "IDictionary", "getCount", NULL)(ENV, dict);
}

static jboolean exists(jobject dict, jobject key)
{
	return NATIVE(jboolean, (JNIEnv *, jobject, jobject), "IDictionary", "Exists", "V")(ENV, dict, key);
}

static jobject newDictionary(jobject *intf)
{
	static const char *const interfaces[] = {"IDictionary"};
	jobject obj = javaNewObject("Dictionary", 1, interfaces, intf);
	expectNoException("new Dictionary()");
	check(obj != NULL && fakeHandle(obj) != 0, "the Dictionary holds a pointer");
	check(*intf != NULL && fakeHandle(*intf) != 0, "the IDictionary interface object holds a pointer");
	return obj;
}

typedef struct {
	const char *name;
	jint tag;
} TagCase;

// Every tag of MivraVariant goes in as a dictionary item and comes back with
// its tag and value intact.
static void variantTags(jobject dict, jobject other)
{
	jobject values[14];
	static const TagCase cases[14] = {
		{"int", VT_I4}, {"short", VT_I2}, {"boolean", VT_BOOL}, {"empty", VT_EMPTY}, {"null", VT_NULL},
		{"real", VT_R4}, {"double", VT_R8}, {"string", VT_BSTR}, {"object", VT_DISPATCH}, {"error", VT_ERROR},
		{"char", VT_I1}, {"byte", VT_UI1}, {"uint", VT_UI4}, {"ushort", VT_UI2},
	};
	values[0] = javaVariantInt(-123456);
	values[1] = javaVariantShort(-1234);
	values[2] = javaVariantTagged(VT_BOOL, -1);
	values[3] = javaVariant();
	values[4] = javaVariantTagged(VT_NULL, 0);
	values[5] = javaVariantFloat(2.5f);
	values[6] = javaVariantDouble(-0.125);
	values[7] = javaVariantString(nonAsciiUtf8);
	values[8] = javaVariantObject(other);
	values[9] = javaVariantTagged(VT_ERROR, (jint) 0x80004005);
	values[10] = javaVariantTagged(VT_I1, 65);
	values[11] = javaVariantTagged(VT_UI1, 200);
	values[12] = javaVariantTagged(VT_UI4, 4000000);
	values[13] = javaVariantTagged(VT_UI2, 60000);
	for (int i = 0; i < 14; ++i) {
		check(javaVariantType(values[i]) == cases[i].tag, "a %s variant has tag %d, got %d", cases[i].name,
		      cases[i].tag, javaVariantType(values[i]));
		add(dict, javaVariantInt(1000 + i), values[i]);
		expectNoException("IDictionary.Add( int key, tagged item )");
	}
	check(getCount(dict) == 14, "getCount() after 14 Add calls is %d", getCount(dict));
	for (int i = 0; i < 14; ++i) {
		jobject got = getItem(dict, javaVariantInt(1000 + i));
		if (!expectNoException("IDictionary.getItem( int key )") || !check(got != NULL, "getItem gave null"))
			continue;
		jint tag = javaVariantType(got);
		check(tag == cases[i].tag, "the %s item came back with tag %d", cases[i].name, tag);
		switch (cases[i].tag) {
		case VT_I4: check(javaVariantGetInt(got) == -123456, "int item %d", javaVariantGetInt(got)); break;
		case VT_I2: check(javaVariantGetShort(got) == -1234, "short item %d", javaVariantGetShort(got)); break;
		case VT_BOOL: check(javaVariantGetShort(got) == -1, "boolean item %d", javaVariantGetShort(got)); break;
		case VT_R4: check(javaVariantGetFloat(got) == 2.5f, "float item %g", javaVariantGetFloat(got)); break;
		case VT_R8: check(javaVariantGetDouble(got) == -0.125, "double item %g", javaVariantGetDouble(got)); break;
		case VT_BSTR: expectStringEquals("string item", javaVariantGetString(got), nonAsciiUtf8); break;
		case VT_ERROR: check(javaVariantGetInt(got) == (jint) 0x80004005, "error item"); break;
		case VT_I1: check((javaVariantGetInt(got) & 0xFF) == 65, "char item"); break;
		case VT_UI1: check((javaVariantGetInt(got) & 0xFF) == 200, "byte item"); break;
		case VT_UI4: check(javaVariantGetInt(got) == 4000000, "uint item"); break;
		case VT_UI2: check((javaVariantGetInt(got) & 0xFFFF) == 60000, "ushort item"); break;
		case VT_DISPATCH: {
			// The object item, received and called.
			jobject obj = javaVariantGetObject(got);
			expectNoException("getMivraObject");
			if (!check(obj != NULL && fakeHandle(obj) != 0, "the object item is connected"))
				break;
			jobject again = javaNewInterface("IDictionary", obj);
			if (expectNoException("new IDictionary( item )") && again != NULL) {
				check(getCount(again) == 1, "the dictionary inside has one item, got %d", getCount(again));
				expectNoException("getCount() of the received dictionary");
				javaRelease(again);
			}
			javaRelease(obj);
			break;
		}
		}
	}
}

// setType over content of another kind: what a string or an object owned is
// given up, and a tag that owns something never takes over plain bits;
// between plain tags the bits stay.
static void tagChanges(jobject other)
{
	static const struct {
		const char *what;
		char from;      // i an int 5, s a string, o an object
		jint tag;
		jint expectedInt;
	} cases[] = {
		{"int 5 retagged as an object", 'i', VT_DISPATCH, 0},
		{"int 5 retagged as a string", 'i', VT_BSTR, 0},
		{"int 5 retagged as unsigned", 'i', VT_UI4, 5},
		{"int 5 retagged as an error", 'i', VT_ERROR, 5},
		{"a string retagged as an int", 's', VT_I4, 0},
		{"a string retagged as an object", 's', VT_DISPATCH, 0},
		{"an object retagged as an int", 'o', VT_I4, 0},
	};
	for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
		jobject v = cases[i].from == 'i' ? javaVariantInt(5)
		            : cases[i].from == 's' ? javaVariantString(nonAsciiUtf8)
		                                   : javaVariantObject(other);
		NATIVE(void, (JNIEnv *, jobject, jint), "MivraVariant", "setType", NULL)(ENV, v, cases[i].tag);
		check(javaVariantType(v) == cases[i].tag, "%s: tag %d", cases[i].what, javaVariantType(v));
		check(javaVariantGetInt(v) == cases[i].expectedInt, "%s: content %d", cases[i].what, javaVariantGetInt(v));
		if (cases[i].tag == VT_DISPATCH)
			javaRelease(javaVariantGetObject(v));
		else if (cases[i].tag == VT_BSTR)
			check(javaVariantGetString(v) == NULL || fakeStringEquals(javaVariantGetString(v), ""),
			      "%s: an empty string", cases[i].what);
		javaVariantRelease(v);
	}
}

static void stringsBothWays(jobject dict)
{
	jobject key = javaVariantString(nonAsciiUtf8);
	VARIANT *inside = harnessVariantData(key);
	check(V_VT(inside) == VT_BSTR && SysStringLen(V_BSTR(inside)) == wcslen(nonAsciiUtf16) &&
	              memcmp(V_BSTR(inside), nonAsciiUtf16, wcslen(nonAsciiUtf16) * sizeof(wchar_t)) == 0,
	      "setString( non-ASCII ) holds the exact UTF-16 text");
	add(dict, key, javaVariantString(""));
	expectNoException("Add( non-ASCII key )");
	check(exists(dict, javaVariantString(nonAsciiUtf8)) != JNI_FALSE, "Exists( the same non-ASCII key )");
	check(exists(dict, javaVariantString("Gr\xC3\xBC\xC3\x9F" "e")) == JNI_FALSE, "Exists( another key ) is false");
	jobject empty = getItem(dict, key);
	if (expectNoException("getItem( non-ASCII key )") && empty != NULL)
		expectStringEquals("an empty string item", javaVariantGetString(empty), "");
	setItem(dict, key, javaVariantString(nonAsciiUtf8));
	expectNoException("setItem( key, string )");
	jobject got = getItem(dict, key);
	if (expectNoException("getItem after setItem") && got != NULL)
		expectStringEquals("the item put by setItem", javaVariantGetString(got), nonAsciiUtf8);
}

// A failure outside the dispatch codes gets the system's text, inserts left
// as they are and without the line end the system's text ends with.
static void systemMessages(jobject dict)
{
	static const HRESULT codes[] = {E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)};
	for (size_t i = 0; i < sizeof codes / sizeof *codes; ++i) {
		char *text = NULL, expected[300];
		FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
		               NULL, codes[i], MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR) &text, 0, NULL);
		if (!check(text != NULL, "the system has a text for 0x%lx", codes[i]))
			continue;
		snprintf(expected, sizeof expected, "Error 0x%lx: %s", (unsigned long) codes[i], text);
		LocalFree(text);
		for (size_t n = strlen(expected); n > 0 && (expected[n - 1] == '\r' || expected[n - 1] == '\n');)
			expected[--n] = 0;
		countingFailInvokes(codes[i]);
		getCount(dict);
		countingFailInvokes(S_OK);
		if (check(fakeExceptionPending(), "a call failing with 0x%lx threw nothing", codes[i]))
			check(strcmp(fakeExceptionMessage(), expected) == 0, "0x%lx gave \"%s\", expected \"%s\"", codes[i],
			      fakeExceptionMessage(), expected);
		fakeExceptionClear();
	}
}

static void failures(jobject dict)
{
	add(dict, javaVariantInt(1), javaVariantInt(1));
	expectNoException("Add( 1, 1 )");
	add(dict, javaVariantInt(1), javaVariantInt(2));
	// The server reports its errors as exceptions (DISP_E_EXCEPTION).
	expectException("Add of a key already there", harnessClassPath("MivraException"), "COM Method raised exception");
	NATIVE(void, (JNIEnv *, jobject, jobject), "IDictionary", "Remove", "V")(ENV, dict, javaVariantInt(424242));
	expectException("Remove of a missing key", harnessClassPath("MivraException"), "COM Method raised exception");

	jobject unconnected = javaEmptyInterface("IDictionary");
	getCount(unconnected);
	expectException("getCount() of new IDictionary()", "java/lang/NullPointerException", "Uninitialized MivraObject");
	add(unconnected, javaVariantInt(1), javaVariantInt(1));
	expectException("Add on new IDictionary()", "java/lang/NullPointerException", "Uninitialized MivraObject");
	add(dict, NULL, javaVariantInt(1));
	expectException("Add( null, item )", "java/lang/NullPointerException", "null arg");
	add(dict, javaVariantInt(7), NULL);
	expectException("Add( key, null )", "java/lang/NullPointerException", "null arg");
	getItem(dict, NULL);
	expectException("getItem( null )", "java/lang/NullPointerException", "null arg");
	systemMessages(dict);

	// Loading an interface from nothing fails without a crash.
	jobject intf = javaEmptyInterface("IDictionary");
	jboolean loaded = NATIVE(jboolean, (JNIEnv *, jobject, jobject), "IDictionary", "__MivraLoad", NULL)(
		ENV, intf, unconnected);
	fakeExceptionClear();
	check(!loaded, "__MivraLoad from an unconnected object fails");
	loaded = NATIVE(jboolean, (JNIEnv *, jobject, jobject), "IDictionary", "__MivraLoad", NULL)(ENV, intf, NULL);
	fakeExceptionClear();
	check(!loaded, "__MivraLoad( null ) fails");
	jobject v = javaVariant();
	NATIVE(void, (JNIEnv *, jobject, jobject), "MivraVariant", "setMivraObject", NULL)(ENV, v, NULL);
	fakeExceptionClear();
	NATIVE(void, (JNIEnv *, jobject, jobject), "MivraVariant", "setMivraObject", NULL)(ENV, v, unconnected);
	fakeExceptionClear();
	javaVariantRelease(v);
	javaVariantRelease(v);
	javaRelease(unconnected);
	javaRelease(unconnected);

	NATIVE(void, (JNIEnv *, jobject), "IDictionary", "RemoveAll", NULL)(ENV, dict);
	expectNoException("RemoveAll()");
	check(getCount(dict) == 0, "getCount() after RemoveAll() is %d", getCount(dict));
}

void scenarioDictionary(void)
{
	HRESULT hr = countingWatchClass(L"Scripting.Dictionary", L"scrrun.dll");
	check(SUCCEEDED(hr), "watching Scripting.Dictionary: 0x%lx", hr);
	FakeMark start = fakeMark();
	jobject dictIntf, otherIntf;
	jobject dict = newDictionary(&dictIntf);
	jobject other = newDictionary(&otherIntf);
	check(countingIsWrapper((IUnknown *) (intptr_t) fakeHandle(dict)), "the created object is a counted one");
	add(otherIntf, javaVariantString("k"), javaVariantString("v"));
	expectNoException("Add( \"k\", \"v\" )");

	variantTags(dictIntf, otherIntf);
	tagChanges(otherIntf);
	NATIVE(void, (JNIEnv *, jobject), "IDictionary", "RemoveAll", NULL)(ENV, dictIntf);
	stringsBothWays(dictIntf);
	NATIVE(void, (JNIEnv *, jobject), "IDictionary", "RemoveAll", NULL)(ENV, dictIntf);
	failures(dictIntf);

	jobject items = NATIVE(jobject, (JNIEnv *, jobject), "IDictionary", "Items", NULL)(ENV, otherIntf);
	if (expectNoException("Items()") && items != NULL)
		check(javaVariantType(items) == (VT_ARRAY | VT_VARIANT), "Items() is an array of variants");

	javaRelease(dictIntf);
	javaRelease(dict);
	javaRelease(otherIntf);
	javaRelease(other);
	fakeCollectSince(start);
	checkReferenceCounts("dictionary", 1);
	countingUnwatchAll();
}

static jstring fsoString(const char *method, jobject fso, const char *arg)
{
	jstring result = NATIVE(jstring, (JNIEnv *, jobject, jstring), "IFileSystem3", method, "T")(
		ENV, fso, arg ? fakeString(arg) : NULL);
	return result;
}

void scenarioFileSystem(void)
{
	HRESULT hr = countingWatchClass(L"Scripting.FileSystemObject", L"scrrun.dll");
	check(SUCCEEDED(hr), "watching Scripting.FileSystemObject: 0x%lx", hr);
	FakeMark start = fakeMark();
	static const char *const interfaces[] = {"IFileSystem3"};
	jobject intf;
	jobject fsoObject = javaNewObject("FileSystemObject", 1, interfaces, &intf);
	if (!expectNoException("new FileSystemObject()") || fsoObject == NULL)
		return;

	char expected[512], name[256];
	snprintf(name, sizeof name, "%s.txt", nonAsciiUtf8);
	snprintf(expected, sizeof expected, "C:\\temp\\%s", name);
	jstring built = NATIVE(jstring, (JNIEnv *, jobject, jstring, jstring), "IFileSystem3", "BuildPath", "TT")(
		ENV, intf, fakeString("C:\\temp"), fakeString(name));
	if (expectNoException("BuildPath"))
		expectStringEquals("BuildPath( \"C:\\temp\", non-ASCII name )", built, expected);
	jstring base = fsoString("GetBaseName", intf, expected);
	if (expectNoException("GetBaseName"))
		expectStringEquals("GetBaseName", base, nonAsciiUtf8);
	jstring extension = fsoString("GetExtensionName", intf, expected);
	if (expectNoException("GetExtensionName"))
		expectStringEquals("GetExtensionName", extension, "txt");

	// A file with a non-ASCII name, made here, is found and copied by name.
	wchar_t folder[MAX_PATH], path[MAX_PATH];
	GetTempPathW(MAX_PATH, folder);
	swprintf(path, MAX_PATH, L"%ls%ls.txt", folder, nonAsciiUtf16);
	HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
	check(file != INVALID_HANDLE_VALUE, "a file with a non-ASCII name can be made");
	CloseHandle(file);
	char pathUtf8[1024], copyUtf8[1100];
	WideCharToMultiByte(CP_UTF8, 0, path, -1, pathUtf8, sizeof pathUtf8, NULL, NULL);
	snprintf(copyUtf8, sizeof copyUtf8, "%s.copy", pathUtf8);
	jboolean (JNICALL *fileExists)(JNIEnv *, jobject, jstring) =
		NATIVE(jboolean, (JNIEnv *, jobject, jstring), "IFileSystem3", "FileExists", "T");
	// A jboolean is 0 or 1; the VM may compare it with JNI_TRUE.
	check(fileExists(ENV, intf, fakeString(pathUtf8)) == JNI_TRUE, "FileExists( non-ASCII name ) is JNI_TRUE");
	expectNoException("FileExists");
	check(fileExists(ENV, intf, fakeString("C:\\no\\such\\file.txt")) == JNI_FALSE, "FileExists( missing )");
	NATIVE(void, (JNIEnv *, jobject, jstring, jstring, jboolean), "IFileSystem3", "CopyFile", "TTZ")(
		ENV, intf, fakeString(pathUtf8), fakeString(copyUtf8), JNI_TRUE);
	expectNoException("CopyFile");
	check(fileExists(ENV, intf, fakeString(copyUtf8)) != JNI_FALSE, "the copy exists");
	void (JNICALL *deleteFile)(JNIEnv *, jobject, jstring, jboolean) =
		NATIVE(void, (JNIEnv *, jobject, jstring, jboolean), "IFileSystem3", "DeleteFile", "TZ");
	deleteFile(ENV, intf, fakeString(copyUtf8), JNI_FALSE);
	expectNoException("DeleteFile( the copy )");
	deleteFile(ENV, intf, fakeString(pathUtf8), JNI_FALSE);
	expectNoException("DeleteFile( the file )");
	check(fileExists(ENV, intf, fakeString(pathUtf8)) == JNI_FALSE, "the file is gone");
	deleteFile(ENV, intf, fakeString(pathUtf8), JNI_FALSE);
	expectException("DeleteFile of a missing file", harnessClassPath("MivraException"), "COM Method raised exception");

	jstring temp = NATIVE(jstring, (JNIEnv *, jobject), "IFileSystem3", "GetTempName", NULL)(ENV, intf);
	char buffer[256];
	if (expectNoException("GetTempName"))
		check(temp != NULL && strstr(fakeStringUtf8(temp, buffer, sizeof buffer), ".tmp") != NULL,
		      "GetTempName gave %s", fakeStringUtf8(temp, buffer, sizeof buffer));
	// A null String goes to COM as a null BSTR, which the server reads as empty.
	jstring fromNull = fsoString("GetBaseName", intf, NULL);
	if (expectNoException("GetBaseName( null )"))
		expectStringEquals("GetBaseName( null )", fromNull, "");

	javaRelease(intf);
	javaRelease(fsoObject);
	fakeCollectSince(start);
	checkReferenceCounts("file system", 1);
	countingUnwatchAll();
}
