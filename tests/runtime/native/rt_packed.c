// The packed calls (NativeComLayer's callBits, callRef, callObject and
// callVariant) against Wine's Scripting servers: string arguments short and
// long (on the adapter's stack and off it), string results that fit the
// Java half's room and that do not, object and VARIANT results, a failure.
#include <string.h>

#include "harness.h"
#include "rt_scenarios.h"

#define GET DISPATCH_PROPERTYGET
#define METHOD DISPATCH_METHOD

// Slots and references of string arguments, as MivraObject encodes them.
static void stringSlots(int n, const char *const *texts, jobject *slots, jobject *refs)
{
	*slots = fakeNewArray('J', 2 * n, NULL);
	*refs = fakeNewArray('L', n, fakeClass("java/lang/Object"));
	jlong *words = fakeArrayElements(*slots, 'J');
	for (int i = 0; i < n; ++i) {
		words[i] = (jlong) strlen(texts[i]);
		words[n + i] = VT_BSTR;
		((jobject *) fakeArrayElements(*refs, 'L'))[i] = fakeString(texts[i]);
	}
}

// The string a text room holds; NULL when the native left it untouched.
static const char *roomText(jobject text, char *out, size_t size)
{
	const jchar *chars = fakeArrayElements(text, 'C');
	if (chars[1] != 0 || chars[0] > RT_TEXT_ROOM - 2 || chars[0] >= size)
		return NULL;
	for (jchar k = 0; k < chars[0]; ++k)
		out[k] = (char) chars[2 + k];
	out[chars[0]] = 0;
	return out;
}

static void repeat(char *out, char c, int count)
{
	memset(out, c, (size_t) count);
	out[count] = 0;
}

void rtScenarioPacked(void)
{
	jlong dict = rtCreate("Scripting.Dictionary", 0);
	jlong fso = rtCreate("Scripting.FileSystemObject", 0);
	jint add = rtDispId(dict, "Add"), item = rtDispId(dict, "Item"), count = rtDispId(dict, "Count");
	jint fileName = rtDispId(fso, "GetFileName"), drives = rtDispId(fso, "Drives");
	if (!expectNoException("create the servers and find their members"))
		return;
	static char longKey[101], longValue[301], buffer[400];
	repeat(longKey, 'k', 100);
	repeat(longValue, 'v', 300);
	const char *const pairs[3][2] = {{"short", "value"}, {longKey, longValue}, {"", "empty key"}};
	for (int p = 0; p < 3; ++p) {
		jobject slots, refs;
		stringSlots(2, pairs[p], &slots, &refs);
		rtCallBits(dict, add, METHOD, VT_EMPTY, 2, slots, refs);
		expectNoException("Dictionary.Add through callBits");
	}
	check(rtCallBits(dict, count, GET, VT_I4, 0, NULL, NULL) == 3, "callBits gives the count");
	for (int p = 0; p < 3; ++p) {
		jobject slots, refs;
		stringSlots(1, &pairs[p][0], &slots, &refs);
		jobject text = fakeNewArray('C', RT_TEXT_ROOM, NULL);
		jobject result = fakeNewArray('J', 2, NULL);
		jobject value = rtCallVariant(dict, item, GET, VT_VARIANT, 1, slots, refs, result, text);
		if (!expectNoException("Dictionary.Item through callVariant"))
			continue;
		check(((jlong *) fakeArrayElements(result, 'J'))[0] == VT_BSTR, "callVariant gives the VARTYPE");
		int fits = strlen(pairs[p][1]) <= RT_TEXT_ROOM - 2;
		check(fits ? value == text && strcmp(roomText(text, buffer, sizeof buffer), pairs[p][1]) == 0
		           : value != text && fakeStringEquals(value, pairs[p][1]),
		      "callVariant gives item %d's string %s", p, fits ? "in the room" : "made");
	}

	const char *path[1] = {"C:\\folder\\name.txt"};
	jobject slots, refs;
	stringSlots(1, path, &slots, &refs);
	jobject text = fakeNewArray('C', RT_TEXT_ROOM, NULL);
	jobject name = rtCallRef(fso, fileName, METHOD, VT_BSTR, 1, slots, refs, text);
	if (expectNoException("FileSystemObject.GetFileName through callRef"))
		check(name == text && strcmp(roomText(text, buffer, sizeof buffer), "name.txt") == 0,
		      "callRef gives a short string in the room");

	text = fakeNewArray('C', RT_TEXT_ROOM, NULL);
	((jchar *) fakeArrayElements(text, 'C'))[1] = 0xFFFF;
	jlong collection = rtCallObject(fso, drives, GET, VT_DISPATCH, 0, NULL, NULL, text);
	if (expectNoException("FileSystemObject.Drives through callObject")) {
		const char *iid = roomText(text, buffer, sizeof buffer);
		check(collection != 0 && iid != NULL && strlen(iid) == 38 && iid[0] == '{',
		      "callObject gives the object and the IID its type information names (%s)", iid ? iid : "none");
		rtRelease(collection);
	}

	rtCallBits(dict, 0x7777, METHOD, VT_I4, 0, NULL, NULL);
	check(fakeExceptionPending() && fakeExceptionInfo() != NULL, "a member the object lacks throws");
	fakeExceptionClear();
	rtRelease(fso);
	rtRelease(dict);
}
