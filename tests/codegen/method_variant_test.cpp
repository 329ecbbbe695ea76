#include <gtest/gtest.h>

#include "FakeTypeLibrary.h"
#include "TestFiles.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {
namespace {

using test::pointerTo;
using test::type;

FunctionView function(std::string name, uint32_t kind, std::vector<TypeDescription> params, TypeDescription result,
                      int16_t optional = 0, std::vector<std::string> paramNames = {},
                      std::optional<std::string> doc = std::nullopt, int32_t memberId = 7) {
    FunctionView view;
    view.memberName = std::move(name);
    view.parameterNames = std::move(paramNames);
    view.docString = std::move(doc);
    view.description.memberId = memberId;
    view.description.invokeKind = kind;
    view.description.paramCount = static_cast<int16_t>(params.size());
    view.description.optionalParamCount = optional;
    for (auto& p : params) view.description.params.push_back({p, 0});
    view.description.result = result;
    return view;
}

// Writes the whole variant series of one function, as the class writer does.
struct Series {
    std::string java;
    std::string c;
    int written = 0;
};

Series writeSeries(const std::vector<FunctionView>& functions) {
    test::CaptureContext context;
    Series series;
    MethodSignatureSet declared;
    for (const auto& f : functions) {
        const auto& fd = f.description;
        for (int j = 0; j <= fd.optionalParamCount; ++j) {
            if (!writeMethodVariant(context, series.java, "IFoo", f, fd.paramCount - fd.optionalParamCount + j,
                                    declared))
                break;
            ++series.written;
        }
    }
    series.c = context.cText();
    return series;
}

size_t count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

TEST(MethodVariants, TwoOptionalParametersGiveThreeOverloads) {
    auto s = writeSeries({function("Item", 1, {type(VT_I4), type(VT_VARIANT)}, type(VT_BSTR), 2, {"Index", "Kind"})});
    EXPECT_EQ(s.written, 3);
    EXPECT_NE(s.java.find("\tpublic native String Item() throws MivraException;\n\n"), std::string::npos);
    EXPECT_NE(s.java.find("\tpublic native String Item(int Index) throws MivraException;\n\n"), std::string::npos);
    EXPECT_NE(s.java.find("\tpublic native String Item(int Index, MivraVariant Kind) throws MivraException;\n\n"),
              std::string::npos);
    EXPECT_NE(s.c.find("JNIEXPORT jstring JNICALL Java_mvx_tutorial_IFoo_Item\n\t(JNIEnv * env, jobject thisObj)\n"),
              std::string::npos);
    const std::string one = "JNIEXPORT jstring JNICALL Java_mvx_tutorial_IFoo_Item__I\n";
    size_t at = s.c.find(one);
    ASSERT_NE(at, std::string::npos);
    std::string wrapper = s.c.substr(at, s.c.find("}\n\n", at) - at);
    EXPECT_NE(wrapper.find("\tvargs[1].vt = VT_I4;\n\tV_I4( &vargs[1] ) = arg1;\n"), std::string::npos);
    EXPECT_NE(wrapper.find("\tvargs[0].vt = VT_ERROR;\n\tV_I4( &vargs[0] ) = DISP_E_PARAMNOTFOUND;\n"),
              std::string::npos);
    EXPECT_NE(wrapper.find("\tjstring retstr;\n"), std::string::npos);
    EXPECT_NE(s.c.find("Java_mvx_tutorial_IFoo_Item__ILmvx_tutorial_MivraVariant_2\n"), std::string::npos);
}

TEST(MethodVariants, UnsupportedOptionalParameterEndsTheSeriesSilently) {
    auto s = writeSeries({function("Go", 1, {type(VT_I4), type(VT_DATE)}, type(VT_EMPTY), 1)});
    EXPECT_EQ(s.written, 1);
    EXPECT_EQ(s.java.find("not available"), std::string::npos);
}

TEST(MethodVariants, UnsupportedRequiredParameterGivesTheComment) {
    auto s = writeSeries({function("Pay", 1, {type(VT_CY)}, type(VT_EMPTY), 0, {}, std::string("Pays."))});
    EXPECT_EQ(s.written, 0);
    EXPECT_EQ(s.java,
              "\t// Pays.\n\t// Pay:\n\t\t// Function is not available: Currency parameter not supported in current "
              "release of Mivra\n\n");
    EXPECT_EQ(s.c, "");
}

TEST(MethodVariants, PutByReferenceIsCommentedOnce) {
    auto s = writeSeries({function("Ref", 8, {type(VT_I4), type(VT_I4), type(VT_I4)}, type(VT_EMPTY), 2)});
    EXPECT_EQ(count(s.java, "Call by reference not available in Java"), 1u);
}

TEST(MethodVariants, PropertyPutAndGet) {
    auto s = writeSeries({function("Visible", 4, {type(VT_BOOL)}, type(VT_VOID)),
                          function("count", 2, {type(VT_I4)}, type(VT_I4), 0, {}, std::nullopt, -4)});
    EXPECT_NE(s.java.find("\tpublic native void setVisible(boolean arg) throws MivraException;\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tVARIANTARG vargs[1];\n\tDISPID dispidNamed = DISPID_PROPERTYPUT;\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tparams.cNamedArgs = 1;\n\tparams.rgdispidNamedArgs = &dispidNamed;\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tvargs[0].vt = VT_BOOL;\n\tV_BOOL( &vargs[0] ) = arg1 ? 0xFFFF : 0;\n"), std::string::npos);
    EXPECT_NE(s.c.find("LOCALE_SYSTEM_DEFAULT, 4,\n"), std::string::npos);
    EXPECT_NE(s.java.find("\tpublic native int getCount(int arg) throws MivraException;\n"), std::string::npos);
    EXPECT_NE(s.c.find("_getCount__I\n"), std::string::npos);
    EXPECT_NE(s.c.find("Invoke( pDisp, -4, &IID_NULL, LOCALE_SYSTEM_DEFAULT, 2,\n"), std::string::npos);
}

TEST(MethodVariants, VoidWrapperEndsWithTheFailureBlock) {
    auto s = writeSeries({function("Quit", 1, {}, type(VT_VOID))});
    EXPECT_NE(s.c.find("\tif ( FAILED( hr )) {\n\t\tThrowComException( env, hr );\n\t}\n}\n\n"), std::string::npos);
    EXPECT_EQ(s.c.find("return 0"), std::string::npos);
    EXPECT_EQ(s.c.find("vargs"), std::string::npos);
}

TEST(MethodVariants, UnderscoresAreEscapedInTheWrapperOnly) {
    auto s = writeSeries({function("get_Item", 1, {}, type(VT_LPWSTR))});
    EXPECT_NE(s.java.find("public native String get_Item()"), std::string::npos);
    EXPECT_NE(s.c.find("Java_mvx_tutorial_IFoo_get_1Item\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tjstring retstr;\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tretstr = BstrToJstr( env, V_BSTR( &ret ));\n\tVariantClear( &ret );\n\treturn retstr;\n"),
              std::string::npos);
}

TEST(MethodVariants, LongParameterListsBreakEveryTwelve) {
    auto s = writeSeries({function("Many", 1, std::vector<TypeDescription>(25, type(VT_I2)), type(VT_EMPTY))});
    EXPECT_EQ(count(s.java, ", \n\t\tshort "), 2u);
    EXPECT_NE(s.java.find("short arg_11, \n\t\tshort arg_12, "), std::string::npos);
    EXPECT_NE(s.java.find("short arg_23, \n\t\tshort arg_24, short arg_25)"), std::string::npos);
}

TEST(MethodVariants, ArgumentMarshalling) {
    auto s = writeSeries({function("Mix", 1,
                                   {type(VT_BSTR), type(VT_DISPATCH), pointerTo(VT_BSTR), pointerTo(VT_DISPATCH),
                                    pointerTo(VT_VARIANT), pointerTo(VT_I4), type(VT_R8)},
                                   type(VT_DISPATCH))});
    const std::string& c = s.c;
    EXPECT_NE(c.find("\tBSTR tmpbstr[1];\n\tIDispatch * tmpdisp[1];\n"), std::string::npos);
    EXPECT_NE(c.find("\tV_BSTR( &vargs[6] ) = JstringToBstr( env, arg1 );\n"), std::string::npos);
    EXPECT_NE(c.find("\tV_DISPATCH( &vargs[5] ) = (IDispatch *) (*env)->GetIntField( env, arg2, comId );\n"),
              std::string::npos);
    EXPECT_NE(c.find("\tvargs[4].vt = VT_BYREF | VT_BSTR;\n\ttmpbstr[0] = JstringToBstr( env, arg3 );\n"
                     "\tV_BYREF( &vargs[4] ) = &tmpbstr[0];\n"),
              std::string::npos);
    EXPECT_NE(c.find("\tV_BYREF( &vargs[2] ) = GetMivraVariant( env, arg5 );\n"), std::string::npos);
    EXPECT_NE(c.find("\tV_BYREF( &vargs[1] ) = &arg6;\n"), std::string::npos);
    EXPECT_NE(c.find("\tV_R8( &vargs[0] ) = arg7;\n"), std::string::npos);
    EXPECT_NE(c.find("\tSysFreeString( V_BSTR( &vargs[6] ));\n\tSysFreeString( tmpbstr[0] );\n"), std::string::npos);
    EXPECT_NE(c.find("\treturn DispatchToJobject( env, V_DISPATCH( &ret ));\n"), std::string::npos);
    EXPECT_EQ(count(c, "\"null arg\""), 3u);
}

TEST(SoundBehaviour, ByReferenceObjectTemporaryHoldsItsOwnReference) {
    auto s = writeSeries({function("Swap", 1, {pointerTo(VT_DISPATCH)}, type(VT_EMPTY))});
    size_t addRef = s.c.find("\tif ( tmpdisp[0] != 0 ) tmpdisp[0]->lpVtbl->AddRef( tmpdisp[0] );\n");
    size_t invoke = s.c.find("Invoke(");
    size_t release = s.c.find("\tif ( tmpdisp[0] != 0 ) tmpdisp[0]->lpVtbl->Release( tmpdisp[0] );\n");
    ASSERT_NE(addRef, std::string::npos);
    ASSERT_NE(release, std::string::npos);
    EXPECT_LT(addRef, invoke);
    EXPECT_LT(invoke, release);
}

TEST(SoundBehaviour, ByReferenceBooleanGoesThroughAVariantBool) {
    auto s = writeSeries({function("Flag", 1, {pointerTo(VT_BOOL)}, type(VT_EMPTY))});
    EXPECT_NE(s.c.find("\tVARIANT_BOOL tmpbool[1];\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tvargs[0].vt = VT_BYREF | VT_BOOL;\n\ttmpbool[0] = arg1 ? VARIANT_TRUE : VARIANT_FALSE;\n"
                       "\tV_BYREF( &vargs[0] ) = &tmpbool[0];\n"),
              std::string::npos);
    EXPECT_EQ(s.c.find("= &arg1;"), std::string::npos);
}

TEST(SoundBehaviour, PointerResultReturnsThePointedToValue) {
    auto s = writeSeries({function("Name", 2, {}, pointerTo(VT_BSTR)), function("Size", 2, {}, pointerTo(VT_I4))});
    EXPECT_NE(s.java.find("public native String getName()"), std::string::npos);
    EXPECT_NE(s.c.find("\tjstring retstr;\n"), std::string::npos);
    EXPECT_NE(s.c.find("\tVariantCopyInd( &ret, &ret );\n\tretstr = BstrToJstr"), std::string::npos);
    EXPECT_NE(s.c.find("\tVariantCopyInd( &ret, &ret );\n\treturn V_I4( &ret );\n"), std::string::npos);
}

TEST(SoundBehaviour, ResultStartsZeroFilled) {
    auto s = writeSeries({function("Doc", 2, {}, type(VT_DISPATCH))});
    EXPECT_NE(s.c.find("\tmemset(&ret, 0, sizeof ret);\n\tVariantInit(&ret);\n"), std::string::npos);
}

TEST(SoundBehaviour, ReservedAndInheritedNamesGetAnUnderscore) {
    auto s = writeSeries({function("toString", 1, {}, type(VT_BSTR)), function("assert", 1, {type(VT_BOOL)},
                                                                                 type(VT_EMPTY), 0, {"class"}),
                          function("Class", 2, {}, type(VT_BSTR))});
    EXPECT_NE(s.java.find("public native String toString_()"), std::string::npos);
    EXPECT_NE(s.c.find("Java_mvx_tutorial_IFoo_toString_1\n"), std::string::npos);
    EXPECT_NE(s.java.find("public native void assert_(boolean class_)"), std::string::npos);
    EXPECT_NE(s.c.find("Java_mvx_tutorial_IFoo_assert_1__Z\n"), std::string::npos);
    EXPECT_NE(s.java.find("public native String getClass_()"), std::string::npos);
}

TEST(SoundBehaviour, TextFromTheLibraryCannotLeaveItsComment) {
    auto s = writeSeries({function("Go", 1, {}, type(VT_EMPTY), 0, {}, std::string("a */ b\nc")),
                          function("Pay", 1, {type(VT_CY)}, type(VT_EMPTY), 0, {}, std::string("x\ny */"))});
    EXPECT_NE(s.java.find("\t/** a *&#47; b\nc */\n"), std::string::npos);
    EXPECT_NE(s.java.find("\t// x y */\n\t// Pay:\n"), std::string::npos);
}

TEST(SoundBehaviour, NamesThatAreNotIdentifiersNeverBecomeCode) {
    auto s = writeSeries({function("Item;2", 1, {}, type(VT_I4)),
                          function("Go", 1, {type(VT_I4)}, type(VT_EMPTY), 0, {"bad name"})});
    EXPECT_NE(s.java.find("\t// Item;2:\n\t\t// Function is not available: Name is not a Java identifier\n\n"),
              std::string::npos);
    EXPECT_EQ(s.c.find("Item"), std::string::npos);
    EXPECT_NE(s.java.find("public native void Go(int arg)"), std::string::npos);
}

// What Java or a bounded output cannot hold is refused with one comment:
// past 32 optional parameters (each would add a variant as long as the one
// before) and past the JVM's 255 parameter slots (this, two per double).
TEST(SoundBehaviour, FunctionsBeyondTheCapsAreRefusedOnce) {
    const struct {
        int count;
        uint16_t vt;
        int16_t optional;
        const char* refusal;  // nullptr: the whole series is declared
    } cases[] = {
        {32, VT_VARIANT, 32, nullptr},
        {33, VT_VARIANT, 33, "Too many optional parameters"},
        {300, VT_VARIANT, 300, "Too many optional parameters"},
        {254, VT_I4, 0, nullptr},
        {255, VT_I4, 0, "Too many parameters for a Java method"},
        {127, VT_R8, 0, nullptr},
        {128, VT_R8, 0, "Too many parameters for a Java method"},
        {3000, VT_I4, 0, "Too many parameters for a Java method"},
    };
    for (const auto& c : cases) {
        std::vector<TypeDescription> params(c.count, type(c.vt));
        auto series = writeSeries({function("Wide", 1, params, type(VT_EMPTY), c.optional)});
        if (!c.refusal) {
            EXPECT_EQ(series.written, c.optional + 1) << c.count;
            EXPECT_EQ(count(series.java, "Function is not available"), 0u) << c.count;
            continue;
        }
        EXPECT_EQ(series.written, 0) << c.count;
        std::string shown = series.java.size() < 200 ? series.java : std::to_string(series.java.size()) + " bytes";
        EXPECT_EQ(shown, std::string("\t// Wide:\n\t\t// Function is not available: ") + c.refusal + "\n\n")
            << c.count;
        EXPECT_EQ(series.c.size(), 0u) << c.count;
    }
}

TEST(SoundBehaviour, DuplicateJavaSignatureIsCommented) {
    auto s = writeSeries({function("getName", 1, {}, type(VT_BSTR)), function("Name", 2, {}, type(VT_BSTR)),
                          function("Name", 4, {type(VT_BSTR)}, type(VT_EMPTY))});
    EXPECT_EQ(s.written, 2);
    EXPECT_NE(s.java.find("\t// Name:\n\t\t// Function is not available: Duplicate method\n\n"), std::string::npos);
    EXPECT_EQ(count(s.c, "Java_mvx_tutorial_IFoo_getName\n"), 1u);
}

}  // namespace
}  // namespace mivra
