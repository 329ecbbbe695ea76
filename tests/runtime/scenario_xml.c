// An XML DOM document through the classes generated from msxml3.dll
// (package rt.xml).
#include <stdio.h>
#include <string.h>

#include "counting_dispatch.h"
#include "scenarios.h"

#define ENV fakeEnv()
#define DOC "IXMLDOMDocument2"

static jboolean loadXml(jobject doc, const char *xml)
{
	return NATIVE(jboolean, (JNIEnv *, jobject, jstring), DOC, "loadXML", "T")(ENV, doc, fakeString(xml));
}

static jstring getString(jobject doc, const char *getter)
{
	return NATIVE(jstring, (JNIEnv *, jobject), DOC, getter, NULL)(ENV, doc);
}

// Optional parameters left out, and an object passed by value.
static void httpRequest(jobject handler)
{
	static const char *const interfaces[] = {"IXMLHTTPRequest"};
	jobject request;
	jobject obj = javaNewObject("XMLHTTP30", 1, interfaces, &request);
	if (!expectNoException("new XMLHTTP30()") || obj == NULL)
		return;
	void (JNICALL *open2)(JNIEnv *, jobject, jstring, jstring) =
		NATIVE(void, (JNIEnv *, jobject, jstring, jstring), "IXMLHTTPRequest", "open", "TT");
	jint (JNICALL *readyState)(JNIEnv *, jobject) =
		NATIVE(jint, (JNIEnv *, jobject), "IXMLHTTPRequest", "getReadyState", NULL);
	open2(ENV, request, fakeString("GET"), fakeString("http://localhost/"));
	expectNoException("open( method, url ) with three optional parameters left out");
	check(readyState(ENV, request) == 1, "an opened request is in state 1, got %d", (int) readyState(ENV, request));
	NATIVE(void, (JNIEnv *, jobject, jstring, jstring), "IXMLHTTPRequest", "setRequestHeader", "TT")(
		ENV, request, fakeString("X-Text"), fakeString("value"));
	expectNoException("setRequestHeader");
	NATIVE(void, (JNIEnv *, jobject), "IXMLHTTPRequest", "abort", NULL)(ENV, request);
	expectNoException("abort");
	NATIVE(void, (JNIEnv *, jobject, jstring, jstring, jobject, jobject, jobject), "IXMLHTTPRequest", "open", "TTVVV")(
		ENV, request, fakeString("POST"), fakeString("http://localhost/x"), javaVariantTagged(VT_BOOL, 0),
		javaVariantString(""), javaVariantString(""));
	expectNoException("open with every optional parameter");
	check(readyState(ENV, request) == 1, "reopened request is in state 1");

	void (JNICALL *setHandler)(JNIEnv *, jobject, jobject) =
		NATIVE(void, (JNIEnv *, jobject, jobject), "IXMLHTTPRequest", "setOnreadystatechange", "O");
	setHandler(ENV, request, handler);
	expectNoException("setOnreadystatechange( an object )");
	setHandler(ENV, request, NULL);
	expectException("setOnreadystatechange( null )", "java/lang/NullPointerException", "null arg");
	jobject unconnected = javaEmptyInterface("IXMLHTTPRequest");
	setHandler(ENV, request, unconnected);
	expectException("setOnreadystatechange( unconnected )", "java/lang/NullPointerException", "Uninitialized MivraObject");
	readyState(ENV, unconnected);
	expectException("getReadyState() of new IXMLHTTPRequest()", "java/lang/NullPointerException",
	                "Uninitialized MivraObject");
	NATIVE(void, (JNIEnv *, jobject), "IXMLHTTPRequest", "abort", NULL)(ENV, request);
	javaRelease(request);
	javaRelease(obj);
}

void scenarioXmlDocument(void)
{
	HRESULT hr = countingWatchClass(L"Msxml2.DOMDocument.3.0", L"msxml3.dll");
	check(SUCCEEDED(hr), "watching Msxml2.DOMDocument.3.0: 0x%lx", hr);
	hr = countingWatchClass(L"Msxml2.XMLHTTP.3.0", L"msxml3.dll");
	check(SUCCEEDED(hr), "watching Msxml2.XMLHTTP.3.0: 0x%lx", hr);
	FakeMark start = fakeMark();
	static const char *const interfaces[] = {DOC};
	jobject doc;
	jobject obj = javaNewObject("DOMDocument30", 1, interfaces, &doc);
	if (!expectNoException("new DOMDocument30()") || obj == NULL)
		return;

	NATIVE(void, (JNIEnv *, jobject, jboolean), DOC, "setAsync", "Z")(ENV, doc, JNI_FALSE);
	expectNoException("setAsync( false )");
	check(NATIVE(jboolean, (JNIEnv *, jobject), DOC, "getAsync", NULL)(ENV, doc) == JNI_FALSE, "getAsync is false");
	NATIVE(void, (JNIEnv *, jobject, jboolean), DOC, "setPreserveWhiteSpace", "Z")(ENV, doc, JNI_TRUE);
	check(NATIVE(jboolean, (JNIEnv *, jobject), DOC, "getPreserveWhiteSpace", NULL)(ENV, doc) != JNI_FALSE,
	      "getPreserveWhiteSpace is true");
	expectNoException("preserveWhiteSpace");

	char xml[512];
	snprintf(xml, sizeof xml, "<r a=\"1\">%s</r>", nonAsciiUtf8);
	check(loadXml(doc, xml) != JNI_FALSE, "loadXML of a non-ASCII document");
	expectNoException("loadXML");
	jstring text = getString(doc, "getText");
	if (expectNoException("getText"))
		expectStringEquals("the document's text", text, nonAsciiUtf8);
	jstring back = getString(doc, "getXml");
	char buffer[1024];
	if (expectNoException("getXml"))
		check(back != NULL && strstr(fakeStringUtf8(back, buffer, sizeof buffer), xml) != NULL,
		      "getXml holds the document: %s", fakeStringUtf8(back, buffer, sizeof buffer));
	expectStringEquals("getNodeName", getString(doc, "getNodeName"), "#document");
	jobject value = NATIVE(jobject, (JNIEnv *, jobject), DOC, "getNodeValue", NULL)(ENV, doc);
	if (expectNoException("getNodeValue") && value != NULL)
		check(javaVariantType(value) == VT_NULL, "a document's node value is null, tag %d", javaVariantType(value));

	check(loadXml(doc, "<unclosed") == JNI_FALSE, "loadXML of broken text is false");
	expectNoException("loadXML of broken text");

	void (JNICALL *setProperty)(JNIEnv *, jobject, jstring, jobject) =
		NATIVE(void, (JNIEnv *, jobject, jstring, jobject), DOC, "setProperty", "TV");
	setProperty(ENV, doc, fakeString("SelectionLanguage"), javaVariantString("XPath"));
	expectNoException("setProperty( \"SelectionLanguage\", \"XPath\" )");
	jobject language = NATIVE(jobject, (JNIEnv *, jobject, jstring), DOC, "getProperty", "T")(
		ENV, doc, fakeString("SelectionLanguage"));
	if (expectNoException("getProperty") && language != NULL) {
		check(javaVariantType(language) == VT_BSTR, "getProperty gave a string");
		expectStringEquals("SelectionLanguage", javaVariantGetString(language), "XPath");
	}
	setProperty(ENV, doc, fakeString("NoSuchProperty"), javaVariantInt(1));
	expectException("setProperty of an unknown property", harnessClassPath("MivraException"),
	                "COM Method raised exception");
	setProperty(ENV, doc, fakeString("SelectionLanguage"), NULL);
	expectException("setProperty( name, null )", "java/lang/NullPointerException", "null arg");

	// Save to a file named by a variant and load it again.
	wchar_t folder[MAX_PATH];
	char path[MAX_PATH * 3];
	GetTempPathW(MAX_PATH, folder);
	WideCharToMultiByte(CP_UTF8, 0, folder, -1, path, MAX_PATH * 2, NULL, NULL);
	strcat(path, "mivra-runtime.xml");
	snprintf(xml, sizeof xml, "<r>%s</r>", nonAsciiUtf8);
	loadXml(doc, xml);
	NATIVE(void, (JNIEnv *, jobject, jobject), DOC, "save", "V")(ENV, doc, javaVariantString(path));
	expectNoException("save( path )");
	loadXml(doc, "<other/>");
	jboolean loaded = NATIVE(jboolean, (JNIEnv *, jobject, jobject), DOC, "load", "V")(ENV, doc, javaVariantString(path));
	expectNoException("load( path )");
	check(loaded != JNI_FALSE, "load of the saved file");
	expectStringEquals("the loaded text", getString(doc, "getText"), nonAsciiUtf8);
	DeleteFileA(path);

	httpRequest(doc);

	javaRelease(doc);
	javaRelease(obj);
	fakeCollectSince(start);
	checkReferenceCounts("XML document", 1);
	countingUnwatchAll();
}
