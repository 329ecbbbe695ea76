#include "Format.h"
#include "Writers.h"

namespace mivra {

namespace {

// The fixed head after the two header lines. The string helpers convert
// through UTF-16 so that no character is lost on the way between Java and
// COM, and VariantObject makes a full copy of the VARIANT (VariantCopy) so
// that the copy holds its own reference to whatever the original holds.
// System texts are taken without inserts (FormatMessage would read arguments
// that are not there) and without the line end they come with.
constexpr std::string_view prologueBody =
    "// This file has been automatically generated\n"
    "// by Mivra.  It provides the JNI interface for\n"
    "// the generated Java classes.\n\n"
    "%s"
    "#include <stdio.h>\n"
    "#include <windows.h>\n"
    "#ifdef __GNUC__\n"
    "#define NONAMELESSUNION\n"
    "#endif\n"
    "#include <objbase.h>\n"
    "#include <ole2.h>\n"
    "#include <jni.h>\n"
    "#include <malloc.h>\n\n"
    "#ifdef __GNUC__\n"
    "#define V_INT V_I4\n"
    "#undef V_BOOL\n"
    "#define V_BOOL(X) V_UNION(X,boolVal)\n"
    "#define V_UINT V_I4\n"
    "#define V_UI4 V_I4\n"
    "#endif\n\n"
    "// DLL initialization/termination\n\n"
    "int APIENTRY DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)\n"
    "{\n"
    "\tif ( dwReason == DLL_PROCESS_ATTACH ) {\n"
    "\t\tCoInitialize( NULL );\n"
    "\t} else if ( dwReason == DLL_PROCESS_DETACH ) {\n"
    "\t\t// CoUninitialize();\n"
    "\t}\n"
    "\treturn 1;\n"
    "}\n\n"
    "// Variables and Utilities\n\n"
    "static jfieldID comId = 0;\n"
    "static jmethodID comCtorId = 0;\n"
    "static jclass comBaseClass = 0;\n\n"
    "static jfieldID variantData = 0;\n"
    "static jmethodID variantCtorId = 0;\n"
    "static jclass comVariantClass = 0;\n\n"
    "static BSTR JstringToBstr( JNIEnv * env, jstring jstr )\n"
    "{\n"
    "\tconst jchar * chars;\n"
    "\tBSTR bstr;\n"
    "\tif ( jstr == NULL )\n"
    "\t\treturn NULL;\n"
    "\tchars = (*env)->GetStringChars( env, jstr, NULL );\n"
    "\tif ( chars == NULL )\n"
    "\t\treturn NULL;\n"
    "\tbstr = SysAllocStringLen( (const OLECHAR *) chars, (UINT) (*env)->GetStringLength( env, jstr ));\n"
    "\t(*env)->ReleaseStringChars( env, jstr, chars );\n"
    "\treturn bstr;\n"
    "}\n\n"
    "static jstring BstrToJstr( JNIEnv * env, BSTR bstring )\n"
    "{\n"
    "\tif ( bstring == NULL )\n"
    "\t\treturn NULL;\n"
    "\treturn (*env)->NewString( env, (const jchar *) bstring, (jsize) SysStringLen( bstring ));\n"
    "}\n\n"
    "static jobject DispatchToJobject( JNIEnv * env, IDispatch * pDisp )\n"
    "{\n"
    "\tjobject obj = (*env)->NewObject( env, comBaseClass, comCtorId );\n"
    "\t(*env)->SetIntField( env, obj, comId, (jint) pDisp );\n"
    "\treturn obj;\n"
    "}\n\n"
    "static jobject VariantObject( JNIEnv * env, VARIANT * variant )\n"
    "{\n"
    "\tjobject obj;\n"
    "\tVARIANT * var;\n"
    "\tobj = (*env)->NewObject( env, comVariantClass, variantCtorId );\n"
    "\tif ( obj == NULL )\n"
    "\t\treturn NULL;\n"
    "\tvar = (VARIANT *) (*env)->GetIntField( env, obj, variantData );\n"
    "\tif ( var == 0 ) {\n"
    "\t\tvar = (VARIANT *) malloc( sizeof( VARIANT ));\n"
    "\t\tif ( var == 0 )\n"
    "\t\t\treturn obj;\n"
    "\t\tVariantInit( var );\n"
    "\t\t(*env)->SetIntField( env, obj, variantData, (jint) var );\n"
    "\t}\n"
    "\tVariantClear( var );\n"
    "\tVariantCopy( var, variant );\n"
    "\treturn obj;\n"
    "}\n\n"
    "static VARIANT * GetMivraVariant( JNIEnv * env, jobject obj )\n"
    "{\n"
    "\tVARIANT * var = (VARIANT *) (*env)->GetIntField( env, obj, variantData );\n"
    "\tif ( var != 0 ) return var;\n"
    "\tvar = (VARIANT *) malloc( sizeof( VARIANT ));\n"
    "\tmemset( var, 0, sizeof( VARIANT ));\n"
    "\tVariantClear( var );\n"
    "\t(*env)->SetIntField( env, obj, variantData, (jint) var );\n"
    "\treturn var;\n"
    "}\n\n"
    "static void ThrowComException( JNIEnv * env, HRESULT hr )\n"
    "{\n"
    "\tchar * msg;\n"
    "\tchar msgbuf[ 300 ];\n"
    "\tif ( hr == ResultFromScode( DISP_E_TYPEMISMATCH ))\n"
    "\t\tmsg = \"Parameter type mismatch\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_PARAMNOTFOUND ))\n"
    "\t\tmsg = \"Missing parameter\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_BADPARAMCOUNT ))\n"
    "\t\tmsg = \"Bad parameter count\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_BADVARTYPE ))\n"
    "\t\tmsg = \"One of the arguments passed to method is not a valid variant type\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_EXCEPTION ))\n"
    "\t\tmsg = \"COM Method raised exception\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_MEMBERNOTFOUND ))\n"
    "\t\tmsg = \"The requested member does not exist, or the COM call tried to set the value of a read-only property\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_NONAMEDARGS ))\n"
    "\t\tmsg = \"The implementation of IDispatch does not support named arguments\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_OVERFLOW ))\n"
    "\t\tmsg = \"One of the arguments could not be coerced to the required type\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_UNKNOWNINTERFACE ))\n"
    "\t\tmsg = \"The interface ID passed in riid is not IID_NULL\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_UNKNOWNLCID ))\n"
    "\t\tmsg = \"COM object does not support foreign languages\";\n"
    "\telse if ( hr == ResultFromScode( DISP_E_PARAMNOTOPTIONAL ))\n"
    "\t\tmsg = \"A required parameter was omitted\";\n"
    "\telse {\n"
    "\t\tvoid * lpMsgBuf = 0;\n"
    "\t\tsize_t end;\n"
    "\t\tif ( FormatMessage( FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,\n"
    "\t\t\tNULL, hr, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),(LPTSTR) &lpMsgBuf, 0, 0 ) == 0 ) lpMsgBuf = 0;\n"
    "\t\tsprintf( msgbuf, \"Error 0x%%x\", hr );\n"
    "\t\tif ( lpMsgBuf ) {\n"
    "\t\t\tstrcat( msgbuf, \": \" );\n"
    "\t\t\tstrncat( msgbuf, (const char *) lpMsgBuf, sizeof( msgbuf ) - strlen( msgbuf ) - 2 );\n"
    "\t\t\tend = strlen( msgbuf );\n"
    "\t\t\twhile ( end > 0 && ( msgbuf[ end - 1 ] == '\\r' || msgbuf[ end - 1 ] == '\\n' ))\n"
    "\t\t\t\tmsgbuf[ --end ] = '\\0';\n"
    "\t\t}\n"
    "\t\tmsg = msgbuf;\n"
    "\t\tLocalFree( lpMsgBuf );\n"
    "\t}\n"
    "\t(*env)->ThrowNew( env, (*env)->FindClass( env, \"";

// Pointers kept in int fields are cut above 4 GB: a 64-bit build of the int
// form must not compile.
constexpr std::string_view intHandleGuard =
    "#if defined(_WIN64)\n"
    "#error \"Pointers are kept in Java int fields, for 32-bit Windows only: generate with --handles long for 64-bit Windows\"\n"
    "#endif\n\n";

constexpr std::string_view prologueEnd =
    "MivraException\" ), msg );\n"
    "}\n"
    "\n\n"
    "// JNI implementations\n\n";

}  // namespace

bool writeJniPrologue(GenerationContext& context) {
    std::string path = outputPath(context.outputFolder, context.libraryBaseName + ".c");
    context.cFile = TextFile::create(path);
    if (!context.cFile) {
        context.reportError(path, "Cannot write file");
        return false;
    }
    std::string head;
    appendFormat(head, "// File: %s\n// Generated: %s\n", {cLineCommentText(path), context.timeText()});
    // The body is one template: its "%%" prints one percent sign, its "%s" is
    // the guard of the int form.
    appendFormat(head, prologueBody, {context.handles == HandleType::Int ? intHandleGuard : std::string_view()});
    appendFormat(head, "%s/", {context.classPathPackage});
    head.append(prologueEnd);
    context.writeC(head);
    return true;
}

}  // namespace mivra
