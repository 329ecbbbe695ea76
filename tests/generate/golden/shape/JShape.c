// File: @OUT@/JShape.c
// Generated: Mon Dec 07 12:00:00 2026

// This file has been automatically generated
// by Mivra.  It provides the JNI interface for
// the generated Java classes.

#if defined(_WIN64)
#error "Pointers are kept in Java int fields, for 32-bit Windows only: generate with --handles long for 64-bit Windows"
#endif

#include <stdio.h>
#include <windows.h>
#ifdef __GNUC__
#define NONAMELESSUNION
#endif
#include <objbase.h>
#include <ole2.h>
#include <jni.h>
#include <malloc.h>

#ifdef __GNUC__
#define V_INT V_I4
#undef V_BOOL
#define V_BOOL(X) V_UNION(X,boolVal)
#define V_UINT V_I4
#define V_UI4 V_I4
#endif

// DLL initialization/termination

int APIENTRY DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
	if ( dwReason == DLL_PROCESS_ATTACH ) {
		CoInitialize( NULL );
	} else if ( dwReason == DLL_PROCESS_DETACH ) {
		// CoUninitialize();
	}
	return 1;
}

// Variables and Utilities

static jfieldID comId = 0;
static jmethodID comCtorId = 0;
static jclass comBaseClass = 0;

static jfieldID variantData = 0;
static jmethodID variantCtorId = 0;
static jclass comVariantClass = 0;

static BSTR JstringToBstr( JNIEnv * env, jstring jstr )
{
	const jchar * chars;
	BSTR bstr;
	if ( jstr == NULL )
		return NULL;
	chars = (*env)->GetStringChars( env, jstr, NULL );
	if ( chars == NULL )
		return NULL;
	bstr = SysAllocStringLen( (const OLECHAR *) chars, (UINT) (*env)->GetStringLength( env, jstr ));
	(*env)->ReleaseStringChars( env, jstr, chars );
	return bstr;
}

static jstring BstrToJstr( JNIEnv * env, BSTR bstring )
{
	if ( bstring == NULL )
		return NULL;
	return (*env)->NewString( env, (const jchar *) bstring, (jsize) SysStringLen( bstring ));
}

static jobject DispatchToJobject( JNIEnv * env, IDispatch * pDisp )
{
	jobject obj = (*env)->NewObject( env, comBaseClass, comCtorId );
	(*env)->SetIntField( env, obj, comId, (jint) pDisp );
	return obj;
}

static jobject VariantObject( JNIEnv * env, VARIANT * variant )
{
	jobject obj;
	VARIANT * var;
	obj = (*env)->NewObject( env, comVariantClass, variantCtorId );
	if ( obj == NULL )
		return NULL;
	var = (VARIANT *) (*env)->GetIntField( env, obj, variantData );
	if ( var == 0 ) {
		var = (VARIANT *) malloc( sizeof( VARIANT ));
		if ( var == 0 )
			return obj;
		VariantInit( var );
		(*env)->SetIntField( env, obj, variantData, (jint) var );
	}
	VariantClear( var );
	VariantCopy( var, variant );
	return obj;
}

static VARIANT * GetMivraVariant( JNIEnv * env, jobject obj )
{
	VARIANT * var = (VARIANT *) (*env)->GetIntField( env, obj, variantData );
	if ( var != 0 ) return var;
	var = (VARIANT *) malloc( sizeof( VARIANT ));
	memset( var, 0, sizeof( VARIANT ));
	VariantClear( var );
	(*env)->SetIntField( env, obj, variantData, (jint) var );
	return var;
}

static void ThrowComException( JNIEnv * env, HRESULT hr )
{
	char * msg;
	char msgbuf[ 300 ];
	if ( hr == ResultFromScode( DISP_E_TYPEMISMATCH ))
		msg = "Parameter type mismatch";
	else if ( hr == ResultFromScode( DISP_E_PARAMNOTFOUND ))
		msg = "Missing parameter";
	else if ( hr == ResultFromScode( DISP_E_BADPARAMCOUNT ))
		msg = "Bad parameter count";
	else if ( hr == ResultFromScode( DISP_E_BADVARTYPE ))
		msg = "One of the arguments passed to method is not a valid variant type";
	else if ( hr == ResultFromScode( DISP_E_EXCEPTION ))
		msg = "COM Method raised exception";
	else if ( hr == ResultFromScode( DISP_E_MEMBERNOTFOUND ))
		msg = "The requested member does not exist, or the COM call tried to set the value of a read-only property";
	else if ( hr == ResultFromScode( DISP_E_NONAMEDARGS ))
		msg = "The implementation of IDispatch does not support named arguments";
	else if ( hr == ResultFromScode( DISP_E_OVERFLOW ))
		msg = "One of the arguments could not be coerced to the required type";
	else if ( hr == ResultFromScode( DISP_E_UNKNOWNINTERFACE ))
		msg = "The interface ID passed in riid is not IID_NULL";
	else if ( hr == ResultFromScode( DISP_E_UNKNOWNLCID ))
		msg = "COM object does not support foreign languages";
	else if ( hr == ResultFromScode( DISP_E_PARAMNOTOPTIONAL ))
		msg = "A required parameter was omitted";
	else {
		void * lpMsgBuf = 0;
		size_t end;
		if ( FormatMessage( FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
			NULL, hr, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),(LPTSTR) &lpMsgBuf, 0, 0 ) == 0 ) lpMsgBuf = 0;
		sprintf( msgbuf, "Error 0x%x", hr );
		if ( lpMsgBuf ) {
			strcat( msgbuf, ": " );
			strncat( msgbuf, (const char *) lpMsgBuf, sizeof( msgbuf ) - strlen( msgbuf ) - 2 );
			end = strlen( msgbuf );
			while ( end > 0 && ( msgbuf[ end - 1 ] == '\r' || msgbuf[ end - 1 ] == '\n' ))
				msgbuf[ --end ] = '\0';
		}
		msg = msgbuf;
		LocalFree( lpMsgBuf );
	}
	(*env)->ThrowNew( env, (*env)->FindClass( env, "mvx/golden/MivraException" ), msg );
}


// JNI implementations

JNIEXPORT jboolean JNICALL Java_mvx_golden_Shape__1_1MivraCreateObject
	(JNIEnv * env, jobject thisObj, jboolean find)
{
	HRESULT ret;
	CLSID clsid;
	IUnknown * pUnk;
	ret = CLSIDFromString( L"{5E1A0004-7B2C-4D3E-8F40-112233445566}", &clsid );
	if ( FAILED( ret )) return 0;
	if ( find )
		ret = GetActiveObject( &clsid, NULL, &pUnk );
	else
		ret = CoCreateInstance( &clsid, NULL, CLSCTX_SERVER,
					&IID_IUnknown, (void **)&pUnk);
	if ( FAILED( ret )) return 0;
	(*env)->SetIntField( env, thisObj, comId, (jint) pUnk );
	return 1;
}

JNIEXPORT void JNICALL Java_mvx_golden_DShapeEvents_Moved__II
	(JNIEnv * env,
	 jobject thisObj,
	 jint arg1,
	 jint arg2)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	VARIANTARG vargs[2];
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return;
	}
	memset(&params, 0, sizeof params);
	vargs[1].vt = VT_I4;
	V_I4( &vargs[1] ) = arg1;
	vargs[0].vt = VT_I4;
	V_I4( &vargs[0] ) = arg2;
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 2;
	params.rgvarg = vargs;
	hr = pDisp->lpVtbl->Invoke( pDisp, 1, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 1,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
	}
}

JNIEXPORT jboolean JNICALL Java_mvx_golden_DShapeEvents__1_1MivraLoad
	(JNIEnv * env, jobject thisObj, jobject obj )
{
	HRESULT ret;
	IUnknown * pUnk;
	IDispatch * pDisp;
	IID iid;
	ret = IIDFromString( L"{5E1A0003-7B2C-4D3E-8F40-112233445566}", &iid );
	if ( FAILED( ret )) return 0;
	if ( obj == NULL ) return 0;
	pUnk = (IUnknown *) (*env)->GetIntField( env, obj, comId );
	if ( pUnk == 0 ) return 0;
	if ( FAILED( pUnk->lpVtbl->QueryInterface( pUnk, &iid, (void **) &pDisp ))) return 0;
	(*env)->SetIntField( env, thisObj, comId, (jint) pDisp );
	return 1;
}

JNIEXPORT jstring JNICALL Java_mvx_golden_IShape_getName
	(JNIEnv * env, jobject thisObj)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	jstring retstr;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return 0;
	}
	memset(&params, 0, sizeof params);
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 0;
	hr = pDisp->lpVtbl->Invoke( pDisp, 1, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 2,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
		return 0;
	}
	retstr = BstrToJstr( env, V_BSTR( &ret ));
	VariantClear( &ret );
	return retstr;
}

JNIEXPORT void JNICALL Java_mvx_golden_IShape_setName__Ljava_lang_String_2
	(JNIEnv * env,
	 jobject thisObj,
	 jstring arg1)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	VARIANTARG vargs[1];
	DISPID dispidNamed = DISPID_PROPERTYPUT;
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return;
	}
	memset(&params, 0, sizeof params);
	params.cNamedArgs = 1;
	params.rgdispidNamedArgs = &dispidNamed;
	vargs[0].vt = VT_BSTR;
	V_BSTR( &vargs[0] ) = JstringToBstr( env, arg1 );
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 1;
	params.rgvarg = vargs;
	hr = pDisp->lpVtbl->Invoke( pDisp, 1, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 4,
			&params, &ret, NULL, &argErr );
	SysFreeString( V_BSTR( &vargs[0] ));
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
	}
}

JNIEXPORT void JNICALL Java_mvx_golden_IShape_Move__II
	(JNIEnv * env,
	 jobject thisObj,
	 jint arg1,
	 jint arg2)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	VARIANTARG vargs[3];
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return;
	}
	memset(&params, 0, sizeof params);
	vargs[2].vt = VT_I4;
	V_I4( &vargs[2] ) = arg1;
	vargs[1].vt = VT_I4;
	V_I4( &vargs[1] ) = arg2;
	vargs[0].vt = VT_ERROR;
	V_I4( &vargs[0] ) = DISP_E_PARAMNOTFOUND;
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 3;
	params.rgvarg = vargs;
	hr = pDisp->lpVtbl->Invoke( pDisp, 2, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 1,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
	}
}

JNIEXPORT void JNICALL Java_mvx_golden_IShape_Move__IILmvx_golden_MivraVariant_2
	(JNIEnv * env,
	 jobject thisObj,
	 jint arg1,
	 jint arg2,
	 jobject arg3)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	VARIANTARG vargs[3];
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return;
	}
	memset(&params, 0, sizeof params);
	vargs[2].vt = VT_I4;
	V_I4( &vargs[2] ) = arg1;
	vargs[1].vt = VT_I4;
	V_I4( &vargs[1] ) = arg2;
	if ( arg3 == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "null arg" );
		return;
	}
	memcpy( &vargs[0], GetMivraVariant( env, arg3 ), sizeof( VARIANT ));
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 3;
	params.rgvarg = vargs;
	hr = pDisp->lpVtbl->Invoke( pDisp, 2, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 1,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
	}
}

JNIEXPORT jdouble JNICALL Java_mvx_golden_IShape_Area
	(JNIEnv * env, jobject thisObj)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return 0;
	}
	memset(&params, 0, sizeof params);
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 0;
	hr = pDisp->lpVtbl->Invoke( pDisp, 3, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 1,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
		return 0;
	}
	return V_R8( &ret );
}

JNIEXPORT jstring JNICALL Java_mvx_golden_IShape_toString_1
	(JNIEnv * env, jobject thisObj)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	jstring retstr;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return 0;
	}
	memset(&params, 0, sizeof params);
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 0;
	hr = pDisp->lpVtbl->Invoke( pDisp, 4, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 1,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
		return 0;
	}
	retstr = BstrToJstr( env, V_BSTR( &ret ));
	VariantClear( &ret );
	return retstr;
}

JNIEXPORT jobject JNICALL Java_mvx_golden_IShape_getParent
	(JNIEnv * env, jobject thisObj)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return 0;
	}
	memset(&params, 0, sizeof params);
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 0;
	hr = pDisp->lpVtbl->Invoke( pDisp, 6, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 2,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
		return 0;
	}
	return DispatchToJobject( env, V_DISPATCH( &ret ));
}

JNIEXPORT void JNICALL Java_mvx_golden_IShape_Resize__SZ
	(JNIEnv * env,
	 jobject thisObj,
	 jshort arg1,
	 jboolean arg2)
{
	DISPPARAMS params;
	unsigned int argErr;
	HRESULT hr;
	VARIANT ret;
	IDispatch * pDisp = (IDispatch *) (*env)->GetIntField( env, thisObj, comId );
	VARIANTARG vargs[2];
	VARIANT_BOOL tmpbool[1];
	if ( pDisp == 0 ) {
		(*env)->ThrowNew( env, (*env)->FindClass( env, "java/lang/NullPointerException" ), "Uninitialized MivraObject" );
		return;
	}
	memset(&params, 0, sizeof params);
	vargs[1].vt = VT_I2;
	V_I4( &vargs[1] ) = arg1;
	vargs[0].vt = VT_BYREF | VT_BOOL;
	tmpbool[0] = arg2 ? VARIANT_TRUE : VARIANT_FALSE;
	V_BYREF( &vargs[0] ) = &tmpbool[0];
	memset(&ret, 0, sizeof ret);
	VariantInit(&ret);
	params.cArgs = 2;
	params.rgvarg = vargs;
	hr = pDisp->lpVtbl->Invoke( pDisp, 7, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 1,
			&params, &ret, NULL, &argErr );
	if ( FAILED( hr )) {
		ThrowComException( env, hr );
	}
}

JNIEXPORT jboolean JNICALL Java_mvx_golden_IShape__1_1MivraLoad
	(JNIEnv * env, jobject thisObj, jobject obj )
{
	HRESULT ret;
	IUnknown * pUnk;
	IDispatch * pDisp;
	IID iid;
	ret = IIDFromString( L"{5E1A0002-7B2C-4D3E-8F40-112233445566}", &iid );
	if ( FAILED( ret )) return 0;
	if ( obj == NULL ) return 0;
	pUnk = (IUnknown *) (*env)->GetIntField( env, obj, comId );
	if ( pUnk == 0 ) return 0;
	if ( FAILED( pUnk->lpVtbl->QueryInterface( pUnk, &iid, (void **) &pDisp ))) return 0;
	(*env)->SetIntField( env, thisObj, comId, (jint) pDisp );
	return 1;
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraObject__1_1initialize
	(JNIEnv * env, jclass thisClass )
{
	comBaseClass = (*env)->NewGlobalRef(env, thisClass);
	comId = (*env)->GetFieldID(env, comBaseClass, "comId", "I");
	comCtorId = (*env)->GetMethodID(env, comBaseClass, "<init>", "()V");
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraObject__1_1release
	(JNIEnv * env, jobject obj )
{
	IUnknown * pUnk = (IUnknown *) (*env)->GetIntField( env, obj, comId );
	if ( pUnk != 0 ) {
		(*env)->SetIntField( env, obj, comId, 0 );
		pUnk->lpVtbl->Release( pUnk );
	}
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_initialize
	(JNIEnv * env, jclass thisClass )
{
	comVariantClass = (*env)->NewGlobalRef( env, thisClass );
	variantData = (*env)->GetFieldID(env, comVariantClass, "variantData", "I");
	variantCtorId = (*env)->GetMethodID(env, comVariantClass, "<init>", "()V");
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setType
	(JNIEnv * env, jobject obj, jint arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	int plainOld = V_VT(v) < 24 && (( 0xFF0CFF >> V_VT(v) ) & 1 );
	int plainNew = arg >= 0 && arg < 24 && (( 0xFF0CFF >> arg ) & 1 );
	if ( V_VT(v) != arg && !( plainOld && plainNew )) {
		VariantClear( v );
		memset( v, 0, sizeof( VARIANT ));
	}
	V_VT(v) = arg;
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setInt
	(JNIEnv * env, jobject obj, jint arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	VariantClear( v );
	V_VT(v) = VT_I4;
	V_I4(v) = arg;
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setShort
	(JNIEnv * env, jobject obj, jshort arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	VariantClear( v );
	V_VT(v) = VT_I2;
	V_I2(v) = arg;
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setFloat
	(JNIEnv * env, jobject obj, jfloat arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	VariantClear( v );
	V_VT(v) = VT_R4;
	V_R4(v) = arg;
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setDouble
	(JNIEnv * env, jobject obj, jdouble arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	VariantClear( v );
	V_VT(v) = VT_R8;
	V_R8(v) = arg;
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setString
	(JNIEnv * env, jobject obj, jstring arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	VariantClear( v );
	V_VT(v) = VT_BSTR;
	V_BSTR(v) = JstringToBstr( env, arg );
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_setMivraObject
	(JNIEnv * env, jobject obj, jobject arg)
{
	VARIANT * v = GetMivraVariant( env, obj );
	VariantClear( v );
	V_VT(v) = VT_DISPATCH;
	V_DISPATCH(v) = arg == NULL ? NULL : (IDispatch *) (*env)->GetIntField( env, arg, comId );
	if ( V_DISPATCH(v) != NULL ) V_DISPATCH(v)->lpVtbl->AddRef( V_DISPATCH(v) );
}

JNIEXPORT jint JNICALL Java_mvx_golden_MivraVariant_getType
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	return V_VT(v);
}

JNIEXPORT jint JNICALL Java_mvx_golden_MivraVariant_getInt
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	return V_I4(v);
}

JNIEXPORT jshort JNICALL Java_mvx_golden_MivraVariant_getShort
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	return V_I2(v);
}

JNIEXPORT jfloat JNICALL Java_mvx_golden_MivraVariant_getFloat
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	return V_R4(v);
}

JNIEXPORT jdouble JNICALL Java_mvx_golden_MivraVariant_getDouble
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	return V_R8(v);
}

JNIEXPORT jstring JNICALL Java_mvx_golden_MivraVariant_getString
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	if ( V_VT(v) != VT_BSTR ) return NULL;
	return BstrToJstr( env, V_BSTR( v ));
}

JNIEXPORT jobject JNICALL Java_mvx_golden_MivraVariant_getMivraObject
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = GetMivraVariant( env, obj );
	if ( V_VT(v) != VT_DISPATCH ) return DispatchToJobject( env, NULL );
	if ( V_DISPATCH(v) != NULL ) V_DISPATCH(v)->lpVtbl->AddRef( V_DISPATCH(v) );
	return DispatchToJobject( env, V_DISPATCH( v ));
}

JNIEXPORT void JNICALL Java_mvx_golden_MivraVariant_freeMemory
	(JNIEnv * env, jobject obj)
{
	VARIANT * v = (VARIANT *) (*env)->GetIntField( env, obj, variantData );
	if ( v == 0 ) return;
	VariantClear( v );
	free( v );
	(*env)->SetIntField( env, obj, variantData, 0 );
}

