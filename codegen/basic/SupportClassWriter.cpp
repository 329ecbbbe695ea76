#include "Format.h"
#include "Writers.h"

namespace mivra {

namespace {

std::string opening(const GenerationContext& context) {
    std::string text;
    if (!context.packageName.empty()) appendFormat(text, "package %s;\n", {context.packageName});
    text += "\n";
    return text;
}

std::string mivraObjectText(const GenerationContext& context) {
    std::string text = opening(context);
    text +=
        "/** Base class for all Mivra COM objects and interfaces */\n"
        "public class MivraObject {\n\n";
    appendFormat(text, "\t%s comId = 0;\n\n", {context.handleJavaType()});
    text +=
        "\t/** Call this function to release resources\n"
        "\t  * allocated by a MivraObject.  The MivraObject\n"
        "\t  * should not be used after this. It is not necessary to\n"
        "\t  * call this function because the resources will be released\n"
        "\t  * during garbage collection.  But resource intensive\n"
        "\t  * applications can take advantage of this function.\n"
        "\t  * In multi-threading environments, repeated calls\n"
        "\t  * to __release are ok, but they must be synchronized.\n"
        "\t  */\n"
        "\tpublic native void __release();\n"
        "\t\n\n"
        "\t/** JNI function used internally by Mivra */\n"
        "\tnative static void __initialize();\n\n"
        "\t/** Call release at GC */\n"
        "\tprotected void finalize() throws Throwable\n"
        "\t{\n"
        "\t\t__release();\n"
        "\t}\n"
        "\tstatic {\n"
        "\t\tnew MivraVariant();\n";
    appendFormat(text, "\t\tSystem.loadLibrary( \"%s\" );\n", {javaStringText(context.libraryBaseName)});
    text +=
        "\t\t__initialize();\n"
        "\t}\n\n"
        "}\n";
    return text;
}

std::string mivraExceptionText(const GenerationContext& context) {
    std::string text = opening(context);
    text +=
        "/** The Mivra exception class */\n"
        "public class MivraException extends Exception {\n\n"
        "\tpublic MivraException()\n"
        "\t{\n"
        "\t\tsuper();\n"
        "\t}\n\n"
        "\tpublic MivraException( String msg )\n"
        "\t{\n"
        "\t\tsuper( msg );\n"
        "\t}\n\n"
        "}\n";
    return text;
}

struct TagConstant {
    const char* name;
    int value;
    const char* comment;
};

constexpr TagConstant tagConstants[] = {
    {"VARIANT_INT", 3, "VT_I4"},
    {"VARIANT_SHORT", 2, "VT_I2"},
    {"VARIANT_BOOLEAN", 11, "VT_BOOL"},
    {"VARIANT_EMPTY", 0, "VT_EMPTY"},
    {"VARIANT_NULL", 1, "VT_NULL"},
    {"VARIANT_REAL", 4, "VT_R4"},
    {"VARIANT_DOUBLE", 5, "VT_R8"},
    {"VARIANT_STRING", 8, "VT_BSTR (string)"},
    {"VARIANT_MIVRAOBJ", 9, "VT_DISPATCH (Mivra interface)"},
    {"VARIANT_ERROR", 10, "VT_ERROR"},
    {"VARIANT_CHAR", 16, "VT_I1"},
    {"VARIANT_BYTE", 17, "VT_UI1"},
    {"VARIANT_UINT", 19, "VT_UI4"},
    {"VARIANT_USHORT", 18, "VT_UI2"},
};

struct ValueConstructor {
    const char* comment;
    const char* parameter;
    const char* setter;
    const char* parameterName;
    const char* tag;
};

constexpr ValueConstructor valueConstructors[] = {
    {"\t/** Create a variant initialized to an integer (I4) value */\n", "int iValue", "setInt", "iValue",
     "VARIANT_INT"},
    {"\t/** Create a variant initialized to a float (R4) value */\n", "float fValue", "setFloat", "fValue",
     "VARIANT_REAL"},
    {"\t/** Create a variant initialized to a double (R8) value */\n", "double dValue", "setDouble", "dValue",
     "VARIANT_DOUBLE"},
    {"\t/** Create a variant initialized to a string */\n", "String strValue", "setString", "strValue",
     "VARIANT_STRING"},
};

std::string mivraVariantText(const GenerationContext& context) {
    std::string text = opening(context);
    text +=
        "/** Mivra Generated Java class corresponding to a COM \"Variant\" structure.\n"
        "  * It can store one of several different types.\n"
        "  */\n"
        "public class MivraVariant {\n\n";
    for (const auto& tag : tagConstants) {
        text += "\t/** Variant tag value: ";
        text += tag.comment;
        text += " */\n";
        appendFormat(text, std::string("\tpublic final int ") + tag.name + " = %d;\n", {tag.value});
    }
    text += "\n";
    text +=
        "\t/** Default constructor */\n"
        "\tpublic MivraVariant()\n"
        "\t{\n"
        "\t\tsetType( VARIANT_EMPTY );\n"
        "\t}\n\n";
    for (const auto& ctor : valueConstructors) {
        text += ctor.comment;
        text += std::string("\tpublic MivraVariant( ") + ctor.parameter + " )\n";
        text += "\t{\n";
        text += std::string("\t\t") + ctor.setter + "( " + ctor.parameterName + " );\n";
        text += std::string("\t\tsetType( ") + ctor.tag + " );\n";
        text += "\t}\n\n";
    }
    text +=
        "\t/** Call this function to release resources\n"
        "\t  * allocated by a MivraVariant.  Variant may continue\n"
        "\t  * to be used after this.  It is not necessary to\n"
        "\t  * call this function because the resources will be released\n"
        "\t  * during garbage collection.  But resource intensive\n"
        "\t  * applications can clear variants after use to keep\n"
        "\t  * memory usage low.\n"
        "\t  * In multi-threading environments, repeated calls\n"
        "\t  * to release are ok, but they must be synchronized.\n"
        "\t  */\n"
        "\tpublic void release()\n"
        "\t{\n"
        "\t\tfreeMemory();\n"
        "\t}\n\n"
        "\t/** Releases variant memory at GC */\n"
        "\tprotected void finalize() throws Throwable\n"
        "\t{\n"
        "\t\tfreeMemory();\n"
        "\t}\n"
        "\t/** Sets the type of the variant */\n"
        "\tpublic native void setType( int type );\n"
        "\t/** Set variant to an integer value */\n"
        "\tpublic native void setInt( int n );\n"
        "\t/** Set variant to a short value */\n"
        "\tpublic native void setShort( short n );\n"
        "\t/** Set variant to a float value */\n"
        "\tpublic native void setFloat( float f );\n"
        "\t/** Set variant to a double value */\n"
        "\tpublic native void setDouble( double d );\n"
        "\t/** Set variant to a string value */\n"
        "\tpublic native void setString( String s );\n"
        "\t/** Set variant to a MivraObject */\n"
        "\tpublic native void setMivraObject( MivraObject obj );\n"
        "\t/** Gets the type of the variant */\n"
        "\tpublic native int getType();\n"
        "\t/** Get integer value */\n"
        "\tpublic native int getInt();\n"
        "\t/** Get short value */\n"
        "\tpublic native short getShort();\n"
        "\t/** Get float value */\n"
        "\tpublic native float getFloat();\n"
        "\t/** Get double value */\n"
        "\tpublic native double getDouble();\n"
        "\t/** Get string value */\n"
        "\tpublic native String getString();\n"
        "\t/** Get MivraObject */\n"
        "\tpublic native MivraObject getMivraObject();\n"
        "\t/** JNI function used internally by Mivra */\n"
        "\tnative void freeMemory();\n"
        "\t/** JNI function used internally by Mivra */\n"
        "\tnative static void initialize();\n\n"
        "\n";
    appendFormat(text, "\t%s variantData = 0;\n", {context.handleJavaType()});
    text += "\tstatic {\n";
    appendFormat(text, "\t\tSystem.loadLibrary( \"%s\" );\n", {javaStringText(context.libraryBaseName)});
    text +=
        "\t\tinitialize();\n"
        "\t}\n\n"
        "}\n";
    return text;
}

struct NativeFunction {
    const char* className;
    const char* methodName;
    const char* resultType;
    const char* parameterLine;
    const char* body;
};

// setMivraObject and getMivraObject give the pointer a second owner, so they
// add a reference; a null object stores no pointer, and only a variant that
// holds an object or a string yields one.
constexpr NativeFunction supportNatives[] = {
    {"MivraObject", "_1_1initialize", "void", "\t(JNIEnv * env, jclass thisClass )\n",
     "\tcomBaseClass = (*env)->NewGlobalRef(env, thisClass);\n"
     "\tcomId = (*env)->GetFieldID(env, comBaseClass, \"comId\", \"I\");\n"
     "\tcomCtorId = (*env)->GetMethodID(env, comBaseClass, \"<init>\", \"()V\");\n"},
    {"MivraObject", "_1_1release", "void", "\t(JNIEnv * env, jobject obj )\n",
     "\tIUnknown * pUnk = (IUnknown *) (*env)->GetIntField( env, obj, comId );\n"
     "\tif ( pUnk != 0 ) {\n"
     "\t\t(*env)->SetIntField( env, obj, comId, 0 );\n"
     "\t\tpUnk->lpVtbl->Release( pUnk );\n"
     "\t}\n"},
    {"MivraVariant", "initialize", "void", "\t(JNIEnv * env, jclass thisClass )\n",
     "\tcomVariantClass = (*env)->NewGlobalRef( env, thisClass );\n"
     "\tvariantData = (*env)->GetFieldID(env, comVariantClass, \"variantData\", \"I\");\n"
     "\tvariantCtorId = (*env)->GetMethodID(env, comVariantClass, \"<init>\", \"()V\");\n"},
    // A new tag keeps the bits only between tags of plain values (empty, null,
    // numbers, dates, errors, booleans: the bits 0xFF0CFF); any other change
    // clears the content first, so that a string or an object is given up and
    // plain bits are never taken for a pointer.
    {"MivraVariant", "setType", "void", "\t(JNIEnv * env, jobject obj, jint arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tint plainOld = V_VT(v) < 24 && (( 0xFF0CFF >> V_VT(v) ) & 1 );\n"
     "\tint plainNew = arg >= 0 && arg < 24 && (( 0xFF0CFF >> arg ) & 1 );\n"
     "\tif ( V_VT(v) != arg && !( plainOld && plainNew )) {\n"
     "\t\tVariantClear( v );\n"
     "\t\tmemset( v, 0, sizeof( VARIANT ));\n"
     "\t}\n"
     "\tV_VT(v) = arg;\n"},
    {"MivraVariant", "setInt", "void", "\t(JNIEnv * env, jobject obj, jint arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tVariantClear( v );\n"
     "\tV_VT(v) = VT_I4;\n"
     "\tV_I4(v) = arg;\n"},
    {"MivraVariant", "setShort", "void", "\t(JNIEnv * env, jobject obj, jshort arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tVariantClear( v );\n"
     "\tV_VT(v) = VT_I2;\n"
     "\tV_I2(v) = arg;\n"},
    {"MivraVariant", "setFloat", "void", "\t(JNIEnv * env, jobject obj, jfloat arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tVariantClear( v );\n"
     "\tV_VT(v) = VT_R4;\n"
     "\tV_R4(v) = arg;\n"},
    {"MivraVariant", "setDouble", "void", "\t(JNIEnv * env, jobject obj, jdouble arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tVariantClear( v );\n"
     "\tV_VT(v) = VT_R8;\n"
     "\tV_R8(v) = arg;\n"},
    {"MivraVariant", "setString", "void", "\t(JNIEnv * env, jobject obj, jstring arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tVariantClear( v );\n"
     "\tV_VT(v) = VT_BSTR;\n"
     "\tV_BSTR(v) = JstringToBstr( env, arg );\n"},
    {"MivraVariant", "setMivraObject", "void", "\t(JNIEnv * env, jobject obj, jobject arg)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tVariantClear( v );\n"
     "\tV_VT(v) = VT_DISPATCH;\n"
     "\tV_DISPATCH(v) = arg == NULL ? NULL : (IDispatch *) (*env)->GetIntField( env, arg, comId );\n"
     "\tif ( V_DISPATCH(v) != NULL ) V_DISPATCH(v)->lpVtbl->AddRef( V_DISPATCH(v) );\n"},
    {"MivraVariant", "getType", "jint", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\treturn V_VT(v);\n"},
    {"MivraVariant", "getInt", "jint", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\treturn V_I4(v);\n"},
    {"MivraVariant", "getShort", "jshort", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\treturn V_I2(v);\n"},
    {"MivraVariant", "getFloat", "jfloat", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\treturn V_R4(v);\n"},
    {"MivraVariant", "getDouble", "jdouble", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\treturn V_R8(v);\n"},
    {"MivraVariant", "getString", "jstring", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tif ( V_VT(v) != VT_BSTR ) return NULL;\n"
     "\treturn BstrToJstr( env, V_BSTR( v ));\n"},
    {"MivraVariant", "getMivraObject", "jobject", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = GetMivraVariant( env, obj );\n"
     "\tif ( V_VT(v) != VT_DISPATCH ) return DispatchToJobject( env, NULL );\n"
     "\tif ( V_DISPATCH(v) != NULL ) V_DISPATCH(v)->lpVtbl->AddRef( V_DISPATCH(v) );\n"
     "\treturn DispatchToJobject( env, V_DISPATCH( v ));\n"},
    {"MivraVariant", "freeMemory", "void", "\t(JNIEnv * env, jobject obj)\n",
     "\tVARIANT * v = (VARIANT *) (*env)->GetIntField( env, obj, variantData );\n"
     "\tif ( v == 0 ) return;\n"
     "\tVariantClear( v );\n"
     "\tfree( v );\n"
     "\t(*env)->SetIntField( env, obj, variantData, 0 );\n"},
};

}  // namespace

void writeSupportClasses(GenerationContext& context) {
    struct SupportClass {
        const char* name;
        std::string (*text)(const GenerationContext&);
    };
    const SupportClass classes[] = {
        {"MivraObject", mivraObjectText},
        {"MivraException", mivraExceptionText},
        {"MivraVariant", mivraVariantText},
    };
    for (const auto& supportClass : classes) {
        auto file = createJavaFile(context, supportClass.name);
        if (!file) return;
        file->write(supportClass.text(context));
    }
    std::string c;
    for (const auto& native : supportNatives) {
        appendFormat(c, std::string("JNIEXPORT ") + native.resultType + " JNICALL Java_%s_" + native.className + "_" +
                            native.methodName + "\n",
                     {context.jniPackage});
        c += native.parameterLine;
        c += "{\n";
        c += native.body;
        c += "}\n\n";
        ++context.jniFunctionCount;
    }
    context.writeC(c);
}

}  // namespace mivra
