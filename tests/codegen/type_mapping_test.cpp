#include <gtest/gtest.h>

#include "BuildChecks.h"
#include "FakeTypeLibrary.h"
#include "Format.h"
#include "GenerationContext.h"
#include "Generator.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {
namespace {

using test::pointerTo;
using test::type;

TEST(Format, FillsTextsNumbersAndPercent) {
    EXPECT_EQ(format("\tvargs[%d].vt = %s;\n", {3, "VT_I4"}), "\tvargs[3].vt = VT_I4;\n");
    EXPECT_EQ(format("Error 0x%%x"), "Error 0x%x");
    EXPECT_EQ(format("%d", {-4}), "-4");
}

TEST(Format, StrayConversionsAndWrongCountsShowAsFaults) {
    std::string out;
    EXPECT_FALSE(appendFormat(out, "%x", {}));
    EXPECT_NE(out.find(formatFault), std::string::npos);
    EXPECT_NE(format("%d", {"text"}).find(formatFault), std::string::npos);
    EXPECT_NE(format("%s", {}).find(formatFault), std::string::npos);
    EXPECT_NE(format("no placeholder", {1}).find(formatFault), std::string::npos);
    EXPECT_NE(format("ends in %").find(formatFault), std::string::npos);
}

TEST(SupportCheck, FlagBitsComeFirstInTheirOrder) {
    EXPECT_EQ(checkSupported(type(0x4000 | 0x2000 | 3), TypeRole::parameter), "Argument passed by reference");
    EXPECT_EQ(checkSupported(type(0x2000 | 0x1000 | 3), TypeRole::parameter),
              "Array parameters are not supported in this release of Mivra");
    EXPECT_EQ(checkSupported(type(0x1000 | 3), TypeRole::result),
              "Array/vector parameters are not supported in this release of Mivra");
}

TEST(SupportCheck, CodesByRole) {
    EXPECT_EQ(checkSupported(type(VT_VOID), TypeRole::parameter), "NULL argument");
    for (int vt : {24, 0, 1}) {
        EXPECT_FALSE(checkSupported(type(vt), TypeRole::result));
        EXPECT_FALSE(javaTypeName(type(vt), TypeRole::result));
        EXPECT_EQ(jniTypeName(type(vt), TypeRole::result), "void");
    }
    EXPECT_EQ(checkSupported(type(VT_CY), TypeRole::parameter),
              "Currency parameter not supported in current release of Mivra");
    EXPECT_EQ(checkSupported(type(VT_UNKNOWN), TypeRole::result), "Invalid parameter type");
    EXPECT_EQ(checkSupported(type(VT_ERROR), TypeRole::parameter), "Invalid parameter type");
    for (int vt : {17, 7, 25, 29, 16, 20, 30, 64})
        EXPECT_EQ(checkSupported(type(vt), TypeRole::parameter), "Parameter type not supported") << vt;
    EXPECT_FALSE(checkSupported(type(VT_LPWSTR), TypeRole::parameter));
}

TEST(SupportCheck, Pointers) {
    TypeDescription nested{VT_PTR, std::make_shared<const TypeDescription>(pointerTo(VT_I4))};
    EXPECT_EQ(checkSupported(nested, TypeRole::parameter), "Nested pointers not supported");
    for (int vt : {0x6, 0x1f, 0x2003, 0x0})
        EXPECT_EQ(checkSupported(pointerTo(vt), TypeRole::parameter), "Unsupported pointer type") << vt;
    EXPECT_FALSE(checkSupported(pointerTo(VT_BOOL), TypeRole::parameter));
}

TEST(SupportCheck, FunctionReportsFirstRefusalAndIgnoresLeftOutParameters) {
    FunctionDescription f;
    f.paramCount = 3;
    f.params = {{type(VT_I4)}, {type(VT_DATE)}, {type(VT_CY)}};
    f.result = type(VT_HRESULT);
    EXPECT_EQ(checkFunction(f, 3), "Parameter type not supported");
    f.params[1].type = type(VT_BSTR);
    EXPECT_EQ(checkFunction(f, 3), "Currency parameter not supported in current release of Mivra");
    EXPECT_EQ(checkFunction(f, 2), "Parameter type not supported");  // the result
    f.result = type(VT_I4);
    EXPECT_FALSE(checkFunction(f, 2));
}

TEST(TypeNames, ByEffectiveCode) {
    EXPECT_EQ(javaTypeName(pointerTo(VT_BOOL), TypeRole::parameter), "boolean");
    EXPECT_EQ(jniTypeName(pointerTo(VT_BOOL), TypeRole::parameter), "jboolean");
    EXPECT_EQ(jniSignaturePiece(pointerTo(VT_BOOL), "p"), "Z");
    EXPECT_EQ(javaTypeName(type(VT_UI2), TypeRole::parameter), "short");
    EXPECT_EQ(javaTypeName(type(VT_UINT), TypeRole::parameter), "int");
    EXPECT_EQ(jniSignaturePiece(type(VT_DISPATCH), "mvx_tutorial"), "Lmvx_tutorial_MivraObject_2");
    EXPECT_EQ(jniSignaturePiece(type(VT_VARIANT), "mvx_tutorial"), "Lmvx_tutorial_MivraVariant_2");
    EXPECT_EQ(jniSignaturePiece(type(VT_LPWSTR), "p"), "Ljava_lang_String_2");
    EXPECT_EQ(varTypeName(VT_UINT), "VT_UINT");
}

TEST(JniNames, EscapeAndBaseInterfaceFilter) {
    EXPECT_EQ(escapeJniName("get_Item;2"), "get_1Item_22");
    EXPECT_EQ(escapeJniName("Navigate"), "Navigate");
    EXPECT_EQ(escapeJniName("__release"), "_1_1release");
    EXPECT_TRUE(isBaseInterfaceMethod("Invoke"));
    EXPECT_FALSE(isBaseInterfaceMethod("invoke"));
    EXPECT_FALSE(isBaseInterfaceMethod("InvokeVerb"));
}

TEST(JavaNames, ReservedWordsAndInheritedMethodsGetAnUnderscore) {
    EXPECT_EQ(javaSafeMethodName("assert"), "assert_");
    EXPECT_EQ(javaSafeMethodName("toString"), "toString_");
    EXPECT_EQ(javaSafeMethodName("getClass"), "getClass_");
    EXPECT_EQ(javaSafeMethodName("__release"), "__release_");
    EXPECT_EQ(javaSafeMethodName("equals"), "equals");
    EXPECT_EQ(javaSafeMethodName("Navigate"), "Navigate");
    EXPECT_TRUE(isJavaIdentifier("WebBrowser_V1"));
    for (const char* bad : {"", "class", "9lives", "a b", "a;2", "caf\xc3\xa9", "x$y", "*/"})
        EXPECT_FALSE(isJavaIdentifier(bad)) << bad;
}

TEST(DerivedNames, FromTheInputs) {
    EXPECT_EQ(deriveLibraryBaseName("C:\\x\\Foo.DLL"), "Foo");
    EXPECT_EQ(deriveLibraryBaseName("jbrowse.dll"), "jbrowse");
    EXPECT_EQ(deriveLibraryBaseName("dir.v2/JFoo"), "JFoo");
    EXPECT_EQ(deriveLibraryBaseName("../../evil.dll"), "evil");
    EXPECT_EQ(deriveJniPackage("a.b_c"), "a_b_1c");
    EXPECT_EQ(deriveJniPackage("my_pkg.x"), "my_1pkg_x");
    EXPECT_EQ(deriveJniPackage("mvx.tutorial"), "mvx_tutorial");
    EXPECT_EQ(deriveClassPathPackage("a.b_c"), "a/b_c");
}

TEST(OutputPaths, OneSeparatorNeverDoubled) {
#ifdef _WIN32
    EXPECT_EQ(outputPath("C:\\out", "Foo.java"), "C:\\out\\Foo.java");
    EXPECT_EQ(outputPath("C:\\out\\", "Foo.java"), "C:\\out\\Foo.java");
#else
    EXPECT_EQ(outputPath("/out", "Foo.java"), "/out/Foo.java");
    EXPECT_EQ(outputPath("/out/", "Foo.java"), "/out/Foo.java");
#endif
}

TEST(TimeText, CtimeFormWithLeadingZeroDay) {
    std::string text = ctimeText(0);
    ASSERT_EQ(text.size(), 25u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text[3], ' ');
    EXPECT_EQ(text[7], ' ');
    EXPECT_NE(text[8], ' ');
    EXPECT_EQ(text.substr(13, 1), ":");
}

TEST(UniqueParameterName, CaseInsensitiveWithNumberedClashes) {
    ParameterNameTable table;
    EXPECT_EQ(uniqueParameterName("Value", table), "Value");
    EXPECT_EQ(uniqueParameterName("value", table), "value_2");
    EXPECT_EQ(uniqueParameterName("VALUE", table), "VALUE_3");
    ParameterNameTable unnamed;
    EXPECT_EQ(uniqueParameterName("arg", unnamed), "arg");
    EXPECT_EQ(uniqueParameterName("arg", unnamed), "arg_2");
    EXPECT_EQ(uniqueParameterName("arg", unnamed), "arg_3");
    ParameterNameTable mixed;
    EXPECT_EQ(uniqueParameterName("arg_2", mixed), "arg_2");
    EXPECT_EQ(uniqueParameterName("arg", mixed), "arg");
    EXPECT_EQ(uniqueParameterName("arg", mixed), "arg_3");
    // Many parameters of one name: each name is found after a bounded number
    // of tries, not after trying every name before it.
    ParameterNameTable many;
    for (int k = 1; k <= 5000; ++k)
        ASSERT_EQ(uniqueParameterName("Arg", many), k == 1 ? "Arg" : "Arg_" + std::to_string(k));
    EXPECT_LE(many.probes, 2u * 5000);
}

TEST(TextSafety, CommentsPagesAndLiterals) {
    EXPECT_EQ(docCommentText("ends */ here"), "ends *&#47; here");
    EXPECT_EQ(lineCommentText("two\nlines\r"), "two lines ");
    // Java reads \u escapes before comments: the backslash is doubled.
    EXPECT_EQ(lineCommentText("C:\\users\\x"), "C:\\\\users\\x");
    EXPECT_EQ(docCommentText("\\u002a/"), "\\\\u002a/");
    EXPECT_EQ(docCommentText("\\\\u"), "\\\\u");
    EXPECT_EQ(htmlText("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
    EXPECT_EQ(javaStringText("a\"b\\c"), "a\\\"b\\\\c");
}

TEST(BuildChecks, MessagesInOrder) {
    GenerationInputs inputs;
    EXPECT_EQ(checkBuildInputs(inputs), "Please specify a COM source");
    inputs.sourcePath = "C:\\a\\Foo.dll";
    EXPECT_EQ(checkBuildInputs(inputs), "Please specify an output folder");
    inputs.outputFolder = "out";
    EXPECT_EQ(checkBuildInputs(inputs), "Please specify a package name for generated Java classes");
    inputs.packageName = " ";
    EXPECT_EQ(checkBuildInputs(inputs), "Please specify a name for the JNI library file");
    inputs.libraryFileName = "foo.DLL";
    EXPECT_EQ(checkBuildInputs(inputs), "The JNI library must not have the same name as the COM DLL");
    inputs.libraryFileName = "JFoo.dll";
    EXPECT_FALSE(checkBuildInputs(inputs));
}

TEST(BuildChecks, DefaultLibraryName) {
    EXPECT_EQ(defaultLibraryName("C:\\lib\\Foo.ocx"), "JFoo.dll");
    EXPECT_EQ(defaultLibraryName("/usr/lib/shdocvw.dll"), "Jshdocvw.dll");
    EXPECT_EQ(defaultLibraryName(""), "");
}

}  // namespace
}  // namespace mivra
