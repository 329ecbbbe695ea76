// IAccessible through the classes generated from oleacc.dll (package
// rt.acc). No accessible object can be had without a display, so the object
// is one of ours; its IDispatch is oleaut32's DispInvoke over oleacc's own
// type library, so the arguments reach it exactly as they reach any server
// whose dispatch is type-library driven.
#define COBJMACROS
#include <stdio.h>
#include <string.h>

#include <oleacc.h>

#include "scenarios.h"

#define ENV fakeEnv()
#define ACC "IAccessible"

// mingw-w64's IID_IAccessible is an import that Wine's oleacc.dll does not export.
static const IID iidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

typedef struct {
	IAccessible iface;
	LONG refs;
	ITypeInfo *typeInfo;
	BSTR name;
	VARTYPE lastChildType;  // the varChild of the last put, as it arrived
	long helpTopicCalls;
} Accessible;

static Accessible *impl(IAccessible *iface)
{
	return (Accessible *) iface;
}

static HRESULT STDMETHODCALLTYPE QueryInterface(IAccessible *iface, REFIID riid, void **out)
{
	if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, &iidAccessible)) {
		*out = iface;
		++impl(iface)->refs;
		return S_OK;
	}
	*out = NULL;
	return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE AddRef(IAccessible *iface)
{
	return (ULONG) ++impl(iface)->refs;
}

static ULONG STDMETHODCALLTYPE Release(IAccessible *iface)
{
	return (ULONG) --impl(iface)->refs;
}

static HRESULT STDMETHODCALLTYPE GetTypeInfoCount(IAccessible *iface, UINT *count)
{
	*count = 1;
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE GetTypeInfo(IAccessible *iface, UINT index, LCID lcid, ITypeInfo **info)
{
	*info = impl(iface)->typeInfo;
	ITypeInfo_AddRef(*info);
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE GetIDsOfNames(IAccessible *iface, REFIID riid, LPOLESTR *names, UINT count,
                                               LCID lcid, DISPID *ids)
{
	return DispGetIDsOfNames(impl(iface)->typeInfo, names, count, ids);
}

static HRESULT STDMETHODCALLTYPE Invoke(IAccessible *iface, DISPID member, REFIID riid, LCID lcid, WORD flags,
                                        DISPPARAMS *params, VARIANT *result, EXCEPINFO *excep, UINT *argErr)
{
	return DispInvoke(iface, impl(iface)->typeInfo, member, flags, params, result, excep, argErr);
}

static HRESULT STDMETHODCALLTYPE get_accName(IAccessible *iface, VARIANT child, BSTR *name)
{
	*name = SysAllocString(impl(iface)->name);
	return S_OK;
}

static HRESULT STDMETHODCALLTYPE put_accName(IAccessible *iface, VARIANT child, BSTR name)
{
	Accessible *self = impl(iface);
	self->lastChildType = V_VT(&child);
	SysFreeString(self->name);
	self->name = SysAllocString(name);
	return S_OK;
}

// An [out] parameter: whatever the caller passed in is not looked at or freed.
static HRESULT STDMETHODCALLTYPE get_accHelpTopic(IAccessible *iface, BSTR *helpFile, VARIANT child, LONG *topic)
{
	++impl(iface)->helpTopicCalls;
	*helpFile = SysAllocString(L"C:\\help\\accessible.chm");
	*topic = 42;
	return S_OK;
}

// The members the scenario does not call.
static HRESULT STDMETHODCALLTYPE getObject(IAccessible *iface, IDispatch **out)
{
	*out = NULL;
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE getLong(IAccessible *iface, LONG *out)
{
	*out = 0;
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE getChild(IAccessible *iface, VARIANT child, IDispatch **out)
{
	*out = NULL;
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE getText(IAccessible *iface, VARIANT child, BSTR *out)
{
	*out = NULL;
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE getVariantOf(IAccessible *iface, VARIANT child, VARIANT *out)
{
	VariantInit(out);
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE getVariant(IAccessible *iface, VARIANT *out)
{
	VariantInit(out);
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE accSelect(IAccessible *iface, LONG how, VARIANT child)
{
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE accLocation(IAccessible *iface, LONG *x, LONG *y, LONG *w, LONG *h, VARIANT child)
{
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE accNavigate(IAccessible *iface, LONG dir, VARIANT start, VARIANT *out)
{
	VariantInit(out);
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE accHitTest(IAccessible *iface, LONG x, LONG y, VARIANT *out)
{
	VariantInit(out);
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE accDoDefaultAction(IAccessible *iface, VARIANT child)
{
	return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE put_accValue(IAccessible *iface, VARIANT child, BSTR value)
{
	return E_NOTIMPL;
}

static const IAccessibleVtbl accessibleVtbl = {
	QueryInterface, AddRef, Release, GetTypeInfoCount, GetTypeInfo, GetIDsOfNames, Invoke,
	getObject,          // accParent
	getLong,            // accChildCount
	getChild,           // accChild
	get_accName,
	getText,            // accValue
	getText,            // accDescription
	getVariantOf,       // accRole
	getVariantOf,       // accState
	getText,            // accHelp
	get_accHelpTopic,
	getText,            // accKeyboardShortcut
	getVariant,         // accFocus
	getVariant,         // accSelection
	getText,            // accDefaultAction
	accSelect, accLocation, accNavigate, accHitTest, accDoDefaultAction, put_accName, put_accValue,
};

// The vtable type information of the dual IAccessible, from oleacc.dll.
static ITypeInfo *accessibleTypeInfo(void)
{
	ITypeLib *library = NULL;
	ITypeInfo *info = NULL, *vtable = NULL;
	HREFTYPE ref;
	if (FAILED(LoadTypeLibEx(L"oleacc.dll", REGKIND_NONE, &library)))
		return NULL;
	if (SUCCEEDED(ITypeLib_GetTypeInfoOfGuid(library, &iidAccessible, &info))) {
		if (FAILED(ITypeInfo_GetRefTypeOfImplType(info, -1, &ref)) ||
		    FAILED(ITypeInfo_GetRefTypeInfo(info, ref, &vtable))) {
			vtable = info;
			info = NULL;
		}
	}
	if (info)
		ITypeInfo_Release(info);
	ITypeLib_Release(library);
	return vtable;
}

static void setName(jobject acc, const char *name)
{
	NATIVE(void, (JNIEnv *, jobject, jstring), ACC, "setAccName", "T")(ENV, acc, fakeString(name));
}

static jstring getName(jobject acc)
{
	return NATIVE(jstring, (JNIEnv *, jobject), ACC, "getAccName", NULL)(ENV, acc);
}

// The value of a put whose leading parameter is optional: the short form
// leaves out the child, never the value.
static void putWithOptionalChild(jobject acc, Accessible *server)
{
	setName(acc, nonAsciiUtf8);
	if (expectNoException("setAccName( name )"))
		expectStringEquals("getAccName() after setAccName( name )", getName(acc), nonAsciiUtf8);
	check(server->lastChildType == VT_ERROR, "the left-out child arrived with tag %d", server->lastChildType);
	NATIVE(void, (JNIEnv *, jobject, jobject, jstring), ACC, "setAccName", "VT")(
		ENV, acc, javaVariantInt(CHILDID_SELF), fakeString("self"));
	if (expectNoException("setAccName( child, name )"))
		expectStringEquals("getAccName() after setAccName( child, name )", getName(acc), "self");
	check(server->lastChildType == VT_I4, "the child arrived with tag %d", server->lastChildType);
}

// An [out] string: the callee stores a new one over what the wrapper passed
// in, so nothing made from the Java argument may be passed.
static void outString(jobject acc, Accessible *server)
{
	enum { rounds = 20000 };
	jint (JNICALL *helpTopic)(JNIEnv *, jobject, jstring) =
		NATIVE(jint, (JNIEnv *, jobject, jstring), ACC, "getAccHelpTopic", "T");
	jstring ignored = fakeString("a text long enough that a BSTR made of it and lost shows on the heap");
	jint topic = helpTopic(ENV, acc, ignored);
	if (expectNoException("getAccHelpTopic( text )"))
		check(topic == 42, "getAccHelpTopic gave %d", (int) topic);
	for (int i = 0; i < 100; ++i)
		helpTopic(ENV, acc, ignored);
	SIZE_T before = heapBytes();
	for (int i = 0; i < rounds; ++i)
		helpTopic(ENV, acc, ignored);
	double perCall = ((double) heapBytes() - (double) before) / rounds;
	expectNoException("getAccHelpTopic, many times");
	check(server->helpTopicCalls == rounds + 101, "the server saw %ld calls", server->helpTopicCalls);
	check(perCall < 2.0, "getAccHelpTopic( text ) grew the heap by %.2f bytes a call", perCall);
}

void scenarioAccessible(void)
{
	Accessible server = {{(IAccessibleVtbl *) &accessibleVtbl}, 1, accessibleTypeInfo(), SysAllocString(L""), 0, 0};
	if (!check(server.typeInfo != NULL, "oleacc.dll's IAccessible type information"))
		return;
	FakeMark start = fakeMark();
	jobject holder = fakeAllocate(fakePackageClass("MivraObject"));
	AddRef(&server.iface);
	fakeSetHandle(holder, (int64_t) (intptr_t) &server.iface);
	jobject acc = javaNewInterface(ACC, holder);
	if (!expectNoException("new IAccessible( object )") || acc == NULL)
		return;
	putWithOptionalChild(acc, &server);
	outString(acc, &server);
	javaRelease(acc);
	javaRelease(holder);
	fakeCollectSince(start);
	check(server.refs == 1, "the object holds %ld references after every Java object was released",
	      (long) server.refs - 1);
	SysFreeString(server.name);
	ITypeInfo_Release(server.typeInfo);
}
