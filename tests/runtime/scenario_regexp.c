// VBScript.RegExp through the classes generated from vbscript.dll's regular
// expression library (package rt.regexp).
#include <stdio.h>
#include <string.h>

#include "counting_dispatch.h"
#include "scenarios.h"

#define ENV fakeEnv()
#define RE "IRegExp2"

static void setPattern(jobject re, const char *pattern)
{
	NATIVE(void, (JNIEnv *, jobject, jstring), RE, "setPattern", "T")(ENV, re, fakeString(pattern));
}

static void setFlag(jobject re, const char *setter, jboolean value)
{
	NATIVE(void, (JNIEnv *, jobject, jboolean), RE, setter, "Z")(ENV, re, value);
}

static jboolean getFlag(jobject re, const char *getter)
{
	return NATIVE(jboolean, (JNIEnv *, jobject), RE, getter, NULL)(ENV, re);
}

static jstring replace(jobject re, const char *text, jobject with)
{
	return NATIVE(jstring, (JNIEnv *, jobject, jstring, jobject), RE, "Replace", "TV")(ENV, re, fakeString(text), with);
}

static void properties(jobject re)
{
	static const char *const flags[][2] = {
		{"setIgnoreCase", "getIgnoreCase"}, {"setGlobal", "getGlobal"}, {"setMultiline", "getMultiline"}};
	for (int i = 0; i < 3; ++i)
		for (int value = 1; value >= 0; --value) {
			setFlag(re, flags[i][0], (jboolean) value);
			expectNoException(flags[i][0]);
			jboolean got = getFlag(re, flags[i][1]);
			expectNoException(flags[i][1]);
			check(got == (value ? JNI_TRUE : JNI_FALSE), "%s after %s( %d ) gave %d", flags[i][1], flags[i][0],
			      value, got);
		}
	setPattern(re, nonAsciiUtf8);
	expectNoException("setPattern( non-ASCII )");
	jstring pattern = NATIVE(jstring, (JNIEnv *, jobject), RE, "getPattern", NULL)(ENV, re);
	if (expectNoException("getPattern"))
		expectStringEquals("getPattern after setPattern", pattern, nonAsciiUtf8);
	char text[256];
	snprintf(text, sizeof text, "<%s>", nonAsciiUtf8);
	jboolean found = NATIVE(jboolean, (JNIEnv *, jobject, jstring), RE, "Test", "T")(ENV, re, fakeString(text));
	expectNoException("Test");
	check(found != JNI_FALSE, "Test finds the non-ASCII pattern in a non-ASCII text");
	jstring replaced = replace(re, text, javaVariantString("\xC3\xA9"));
	if (expectNoException("Replace( non-ASCII )"))
		expectStringEquals("Replace of the non-ASCII pattern", replaced, "<\xC3\xA9>");
}

// A MivraVariant of each kind as a by-value VARIANT argument: the server
// turns it into the replacement text.
static void variantArguments(jobject re)
{
	setPattern(re, "a");
	setFlag(re, "setGlobal", JNI_TRUE);
	struct {
		jobject value;
		const char *expected;
	} cases[] = {
		{javaVariantInt(7), "b7n7n7"},
		{javaVariantShort(-2), "b-2n-2n-2"},
		{javaVariantFloat(2.5f), "b2.5n2.5n2.5"},
		{javaVariantDouble(0.25), "b0.25n0.25n0.25"},
		{javaVariantString("o"), "bonono"},
		{javaVariantTagged(VT_UI1, 9), "b9n9n9"},
		{javaVariantTagged(VT_BOOL, -1), "b-1n-1n-1"},
		{javaVariant(), "bnn"},
	};
	for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
		jstring got = replace(re, "banana", cases[i].value);
		char what[64];
		snprintf(what, sizeof what, "Replace( \"banana\", variant of tag %d )",
		         (int) javaVariantType(cases[i].value));
		if (expectNoException(what))
			expectStringEquals(what, got, cases[i].expected);
	}
}

static void objects(jobject re)
{
	setPattern(re, "\\w+");
	setFlag(re, "setGlobal", JNI_TRUE);
	jobject matches = NATIVE(jobject, (JNIEnv *, jobject, jstring), RE, "Execute", "T")(
		ENV, re, fakeString("one two three"));
	if (!expectNoException("Execute") || !check(matches != NULL && fakeHandle(matches) != 0, "Execute gave an object"))
		return;
	jobject collection = javaNewInterface("IMatchCollection2", matches);
	if (!expectNoException("new IMatchCollection2( matches )") || collection == NULL)
		return;
	jint count = NATIVE(jint, (JNIEnv *, jobject), "IMatchCollection2", "getCount", NULL)(ENV, collection);
	expectNoException("getCount");
	check(count == 3, "three matches, got %d", count);
	jobject second = NATIVE(jobject, (JNIEnv *, jobject, jint), "IMatchCollection2", "getItem", "I")(ENV, collection, 1);
	if (expectNoException("getItem( 1 )") && second != NULL) {
		jobject match = javaNewInterface("IMatch2", second);
		if (expectNoException("new IMatch2( item )") && match != NULL) {
			jstring value = NATIVE(jstring, (JNIEnv *, jobject), "IMatch2", "getValue", NULL)(ENV, match);
			expectNoException("getValue");
			expectStringEquals("the second match", value, "two");
			jint index = NATIVE(jint, (JNIEnv *, jobject), "IMatch2", "getFirstIndex", NULL)(ENV, match);
			check(index == 4, "getFirstIndex is %d", index);
			jint length = NATIVE(jint, (JNIEnv *, jobject), "IMatch2", "getLength", NULL)(ENV, match);
			check(length == 3, "getLength is %d", length);
			javaRelease(match);
		}
		javaRelease(second);
	}
	NATIVE(jobject, (JNIEnv *, jobject, jint), "IMatchCollection2", "getItem", "I")(ENV, collection, 99);
	expectException("getItem( 99 )", harnessClassPath("MivraException"), "");
	// The collection loaded into a class it does not support.
	jobject wrong = javaNewInterface("IRegExp2", matches);
	check(wrong == NULL, "an IRegExp2 from a match collection fails");
	expectException("new IRegExp2( matches )", "java/lang/ClassCastException", "");
	javaRelease(collection);
	javaRelease(matches);
}

// A null argument refused after a string argument: the string's BSTR must
// not outlive the call.
static void nullArgumentAfterString(jobject re)
{
	enum { rounds = 20000 };
	jstring text = fakeString("a text long enough that a BSTR made of it and lost shows on the heap");
	for (int i = 0; i < 100; ++i) {
		NATIVE(jstring, (JNIEnv *, jobject, jstring, jobject), RE, "Replace", "TV")(ENV, re, text, NULL);
		fakeExceptionClear();
	}
	SIZE_T before = heapBytes();
	for (int i = 0; i < rounds; ++i) {
		NATIVE(jstring, (JNIEnv *, jobject, jstring, jobject), RE, "Replace", "TV")(ENV, re, text, NULL);
		fakeExceptionClear();
	}
	double perCall = ((double) heapBytes() - (double) before) / rounds;
	check(perCall < 2.0, "Replace( text, null ) grew the heap by %.2f bytes a call", perCall);
}

void scenarioRegExp(void)
{
	HRESULT hr = countingWatchClass(L"VBScript.RegExp", L"vbscript.dll");
	check(SUCCEEDED(hr), "watching VBScript.RegExp: 0x%lx", hr);
	FakeMark start = fakeMark();
	static const char *const interfaces[] = {RE};
	jobject re;
	jobject obj = javaNewObject("RegExp", 1, interfaces, &re);
	if (!expectNoException("new RegExp()") || obj == NULL)
		return;
	properties(re);
	variantArguments(re);
	objects(re);

	setPattern(re, "(");
	NATIVE(jboolean, (JNIEnv *, jobject, jstring), RE, "Test", "T")(ENV, re, fakeString("x"));
	expectException("Test with a broken pattern", harnessClassPath("MivraException"), "");
	replace(re, "x", NULL);
	expectException("Replace( text, null )", "java/lang/NullPointerException", "null arg");
	nullArgumentAfterString(re);
	jobject unconnected = javaEmptyInterface(RE);
	getFlag(unconnected, "getGlobal");
	expectException("getGlobal() of new IRegExp2()", "java/lang/NullPointerException", "Uninitialized MivraObject");

	javaRelease(re);
	javaRelease(obj);
	fakeCollectSince(start);
	checkReferenceCounts("regular expression", 1);
	countingUnwatchAll();
}
