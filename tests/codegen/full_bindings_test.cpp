#include <gtest/gtest.h>

#include <filesystem>

#include "CompileCheck.h"
#include "FullLibrary.h"
#include "FullMapping.h"
#include "FullModel.h"
#include "FullWriters.h"
#include "TestFiles.h"

namespace mivra {
namespace {

using namespace test;

// The mapping table, one row per kind of type the issue lists.
TEST(FullMapping, ParametersAndResults) {
    LibraryBuilder b;
    const int32_t kind = b.type(TKIND_ENUM, "Kind");
    const int32_t handle = b.type(TKIND_RECORD, "_RemotableHandle");
    const int32_t handleAlias = b.type(TKIND_ALIAS, "RemotableHandle");
    b.alias(handleAlias, user(handle));
    const int32_t wireHandle = b.type(TKIND_ALIAS, "wireHWND");
    b.alias(wireHandle, pointer(user(handle)));
    const int32_t long64 = b.type(TKIND_ALIAS, "LONG64");
    b.alias(long64, code(VT_I8));
    const int32_t node = b.type(TKIND_DISPATCH, "INode", TYPEFLAG_FDUAL);
    const int32_t plain = b.type(TKIND_INTERFACE, "IPlain");
    const int32_t document = b.type(TKIND_COCLASS, "Document");
    const int32_t dispatch = b.type(TKIND_DISPATCH, "IDispatch", 0, "stdole");
    MappingTables tables;
    tables.library = &b.library;
    tables.objects.resize(b.library.types.size());
    tables.objects[size_t(node)] = {true, "INode", true};
    tables.objects[size_t(plain)] = {true, "", false};
    tables.objects[size_t(document)] = {true, "INode", true};
    tables.objects[size_t(dispatch)] = {true, "", true};

    const uint16_t in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT, inOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
    struct Case {
        const char* what;
        TypeRef type;
        uint16_t flags;
        const char* java;  // empty: refused
        int vt;
        const char* refusalOrTemplate;
    } cases[] = {
        {"I1", code(VT_I1), in, "byte", VT_I1, "(byte) %s"},
        {"UI1", code(VT_UI1), in, "byte", VT_UI1, "(byte) %s"},
        {"UI2", code(VT_UI2), in, "short", VT_UI2, "(short) %s"},
        {"UI4", code(VT_UI4), in, "int", VT_UI4, "(int) %s"},
        {"HRESULT", code(VT_HRESULT), in, "int", VT_ERROR, "(int) %s"},
        {"I8", code(VT_I8), in, "long", VT_I8, "(long) %s"},
        {"alias of I8", user(long64), in, "long", VT_I8, "(long) %s"},
        {"BOOL", code(VT_BOOL), in, "boolean", VT_BOOL, "(boolean) %s"},
        {"LPSTR", code(VT_LPSTR), in, "String", VT_BSTR, "(String) %s"},
        {"DATE", code(VT_DATE), in, "java.time.LocalDateTime", VT_DATE, "(java.time.LocalDateTime) %s"},
        {"CY", code(VT_CY), in, "java.math.BigDecimal", VT_CY, "(java.math.BigDecimal) %s"},
        {"DECIMAL", code(VT_DECIMAL), in, "java.math.BigDecimal", VT_DECIMAL, "(java.math.BigDecimal) %s"},
        {"VARIANT", code(VT_VARIANT), in, "Object", VT_VARIANT, ""},
        {"[in] VARIANT*", pointer(code(VT_VARIANT)), in, "Object", VT_VARIANT, ""},
        {"UNKNOWN", code(VT_UNKNOWN), in, "MivraObject", VT_UNKNOWN, "(MivraObject) %s"},
        {"enumeration", user(kind), in, "int", VT_I4, "(int) %s"},
        {"library interface", pointer(user(node)), in, "INode", VT_DISPATCH,
         "mivraAdopt(%s, INode.class, MivraClasses.TABLE)"},
        {"IDispatch", pointer(user(dispatch)), in, "MivraObject", VT_DISPATCH,
         "mivraAdopt(%s, MivraObject.class, MivraClasses.TABLE)"},
        {"other interface", pointer(user(plain)), in, "MivraObject", VT_UNKNOWN, "(MivraObject) %s"},
        {"coclass", pointer(user(document)), in, "INode", VT_DISPATCH, "mivraAdopt(%s, INode.class, MivraClasses.TABLE)"},
        {"array of strings", safeArray(code(VT_BSTR)), in, "String[]", VT_ARRAY | VT_BSTR, "(String[]) %s"},
        {"array of enumerations", safeArray(user(kind)), in, "int[]", VT_ARRAY | VT_I4, "(int[]) %s"},
        {"array of interfaces", safeArray(pointer(user(node))), in, "MivraObject[]", VT_ARRAY | VT_DISPATCH,
         "(MivraObject[]) %s"},
        {"[out] long*", pointer(code(VT_I4)), out, "Holder<Integer>", VT_BYREF | VT_I4, ""},
        {"[in, out] enum*", pointer(user(kind)), inOut, "Holder<Integer>", VT_BYREF | VT_I4, ""},
        {"[out] VARIANT*", pointer(code(VT_VARIANT)), out, "MivraVariant", VT_BYREF | VT_VARIANT, "(MivraVariant) %s"},
        {"[in] BSTR*", pointer(code(VT_BSTR)), in, "String", VT_BYREF | VT_BSTR, "(String) %s"},
        {"[out] INode**", pointer(pointer(user(node))), out, "Holder<MivraObject>", VT_BYREF | VT_DISPATCH, ""},
        {"[out] SAFEARRAY(BSTR)*", pointer(safeArray(code(VT_BSTR))), out, "Holder<String[]>",
         VT_BYREF | VT_ARRAY | VT_BSTR, ""},
        {"record through an alias", user(handleAlias), in, "", 0, "record type RemotableHandle"},
        {"pointer to a record", pointer(user(handle)), in, "", 0, "record type _RemotableHandle"},
        {"alias of a pointer to a record", user(wireHandle), in, "", 0, "record type wireHWND"},
        {"pointer to void", pointer(code(VT_VOID)), in, "", 0, "pointer to void"},
        {"pointer to pointer", pointer(pointer(code(VT_I4))), out, "", 0, "pointer to pointer to VT_I4"},
        {"C array", code(VT_CARRAY), in, "", 0, "C array type"},
        {"INT_PTR", code(37), in, "", 0, "type VT_INT_PTR"},
        {"void parameter", code(VT_VOID), in, "", 0, "type VT_VOID"},
        {"array of arrays", safeArray(safeArray(code(VT_I4))), in, "", 0, "array of arrays"},
        {"unresolved", user(-1), in, "", 0, "unresolved type reference"},
    };
    for (const Case& c : cases) {
        Mapping mapped = mapParameter(tables, parameter("p", c.type, c.flags), false);
        if (*c.java == '\0') {
            EXPECT_FALSE(mapped.type) << c.what;
            EXPECT_EQ(mapped.refusal, c.refusalOrTemplate) << c.what;
            continue;
        }
        ASSERT_TRUE(mapped.type) << c.what << ": " << mapped.refusal;
        EXPECT_EQ(mapped.type->name, c.java) << c.what;
        EXPECT_EQ(mapped.type->vt, c.vt) << c.what;
        if (*c.refusalOrTemplate) {
            std::string expression;
            appendResultExpression(expression, *mapped.type, "%s");
            EXPECT_EQ(expression, c.refusalOrTemplate) << c.what;
        }
        EXPECT_EQ(mapped.type->wrapInHolder, std::string(c.what) == "[in] BSTR*") << c.what;
    }

    // Through a vtable an [in] VARIANT* is a pointer to the value; an event
    // hands VARIANTs over as they came.
    Mapping vtable = mapParameter(tables, parameter("p", pointer(code(VT_VARIANT)), in), false, ParameterUse::Vtable);
    EXPECT_EQ(vtable.type->name, "Object");
    EXPECT_EQ(vtable.type->vt, VT_BYREF | VT_VARIANT);
    EXPECT_TRUE(vtable.type->wrapInHolder);
    EXPECT_EQ(mapEventParameter(tables, parameter("p", code(VT_VARIANT), in)).type->name, "MivraVariant");

    Mapping rest = mapParameter(tables, parameter("rest", pointer(safeArray(code(VT_VARIANT)))), true);
    ASSERT_TRUE(rest.type);
    EXPECT_EQ(rest.type->name, "Object...");
    EXPECT_TRUE(rest.type->varargs);
    EXPECT_EQ(mapParameter(tables, parameter("rest", safeArray(code(VT_BSTR))), true).refusal,
              "variable argument list of VT_SAFEARRAY");

    // Results: a pointer to a value is the value; a pointer to a pointer to
    // an interface is a plain object; VT_VOID is a void method.
    EXPECT_EQ(mapResult(tables, code(VT_VOID)).type->name, "");
    EXPECT_EQ(mapResult(tables, pointer(code(VT_I4))).type->name, "int");
    std::string expression;
    appendResultExpression(expression, *mapResult(tables, pointer(pointer(user(node)))).type, "%s");
    EXPECT_EQ(expression, "(MivraObject) %s");
}

// The classes of a small library built by hand: inheritance, iteration,
// put by reference, overloads, a source interface, constants, clashes.
struct Demo {
    LibraryBuilder b;
    int32_t shape, circle, shapes, events, kind, shapeClass, clash, font, handle;

    Demo() {
        shape = b.type(TKIND_DISPATCH, "IShape", TYPEFLAG_FDUAL);
        circle = b.type(TKIND_DISPATCH, "ICircle", TYPEFLAG_FDUAL);
        shapes = b.type(TKIND_DISPATCH, "IShapes");
        events = b.type(TKIND_DISPATCH, "DShapeEvents");
        kind = b.type(TKIND_ENUM, "ShapeKind");
        shapeClass = b.type(TKIND_COCLASS, "Shape", TYPEFLAG_FCANCREATE);
        clash = b.type(TKIND_ENUM, "ishape");
        handle = b.type(TKIND_RECORD, "wireHWND");
        font = b.type(TKIND_DISPATCH, "IFontDisp", 0, "stdole");

        b.library.types[size_t(shape)].docString = "A shape on the */ page @since <1>";
        for (int32_t dual : {shape, circle}) {
            b.library.types[size_t(dual)].dualBase = ResolvedType::DualBase::None;
            b.dispatchMembers(dual);
            b.function(dual, "Name", 1, 2, code(VT_BSTR)).docString = "The shape's {name}";
            b.function(dual, "Name", 1, 4, code(VT_VOID), {parameter("value", code(VT_BSTR))});
            b.function(dual, "Move", 2, 1, code(VT_VOID),
                       {parameter("x", code(VT_I4)), parameter("y", code(VT_I4)),
                        parameter("speed", code(VT_VARIANT), PARAMFLAG_FIN | PARAMFLAG_FOPT)},
                       1);
            b.function(dual, "Picture", 3, 4, code(VT_VOID), {parameter("p", pointer(user(font)))});
            b.function(dual, "Picture", 3, 8, code(VT_VOID), {parameter("p", pointer(user(font)))});
            b.function(dual, "Font", 4, 8, code(VT_VOID), {parameter("f", pointer(user(font)))});
            b.function(dual, "toString", 5, 1, code(VT_BSTR));
            b.function(dual, "Window", 6, 2, user(handle));
            b.function(dual, "Kind", 7, 2, user(kind));
        }
        b.library.types[size_t(circle)].dualBase = ResolvedType::DualBase::Found;
        b.library.types[size_t(circle)].dualBaseType = shape;
        b.function(circle, "Radius", 20, 2, code(VT_R8));
        b.function(circle, "radius", 21, 1, code(VT_R8));
        b.function(circle, "getRadius", 22, 1, code(VT_R8));

        b.implement(shapes, font);  // a base outside the library: MivraObject
        b.function(shapes, "Item", 0, 1, pointer(user(shape)), {parameter("index", code(VT_VARIANT))});
        b.function(shapes, "Item", 0, 4, code(VT_VOID),
                   {parameter("index", code(VT_VARIANT), PARAMFLAG_FIN | PARAMFLAG_FOPT),
                    parameter("value", pointer(user(shape)))},
                   1);
        b.function(shapes, "_NewEnum", -4, 2, code(VT_UNKNOWN));
        b.function(shapes, "iterator", 8, 1, code(VT_VOID));
        b.function(shapes, "DeleteFile", 9, 1, code(VT_VOID),
                   {parameter("path", code(VT_BSTR)),
                    parameter("force", code(VT_BOOL), PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)});
        b.function(shapes, "Run", 10, 1, code(VT_VARIANT),
                   {parameter("name", code(VT_BSTR)), parameter("args", safeArray(code(VT_VARIANT)))}, -1);
        b.function(shapes, "Swap", 11, 1, code(VT_VOID),
                   {parameter("a", pointer(code(VT_I4)), PARAMFLAG_FIN | PARAMFLAG_FOUT),
                    parameter("b", pointer(code(VT_BSTR)), PARAMFLAG_FIN | PARAMFLAG_FOUT),
                    parameter("MISSING", pointer(code(VT_BSTR))), parameter("stamp", code(VT_DATE))});

        b.variable(events, "Color", 1, VAR_DISPATCH, code(VT_I4));
        b.variable(events, "Size", 2, VAR_DISPATCH, code(VT_R8)).flags = VARFLAG_FREADONLY;
        b.function(events, "Moved", 3, 1, code(VT_VOID), {parameter("x", code(VT_I4))});
        b.function(events, "Closing", 4, 1, code(VT_VOID),
                   {parameter("cancel", pointer(code(VT_BOOL)), PARAMFLAG_FIN | PARAMFLAG_FOUT),
                    parameter("reason", pointer(code(VT_VARIANT))), parameter("by", pointer(user(shape))),
                    parameter("count", pointer(code(VT_I4)))});
        b.function(events, "Again", 4, 1, code(VT_VOID));
        b.function(events, "Weight", 5, 2, code(VT_R8));

        b.variable(kind, "Circle", 0, VAR_CONST, code(VT_I4)).value = ConstantValue{VT_I4, 0, 0, {}};
        b.variable(kind, "class", 1, VAR_CONST, code(VT_I4)).value = ConstantValue{VT_I4, -2147483648LL, 0, {}};
        b.variable(kind, "Square", 2, VAR_CONST, code(VT_I4)).value = ConstantValue{VT_UI4, 4294967295LL, 0, {}};

        b.implement(shapeClass, events, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
        b.implement(shapeClass, circle);
        b.implement(shapeClass, shape, IMPLTYPEFLAG_FDEFAULT);
    }

    FullModel model() const {
        FullModelInputs inputs;
        inputs.identifierText = [](const Guid& guid) { return guid.data1 == 0x5e1a0005u ? "Demo.Shape.1" : guidText(guid); };
        return buildFullModel(b.library, inputs);
    }
};

const FullClass& classNamed(const FullModel& model, const std::string& name) {
    for (const FullClass& cls : model.classes)
        if (cls.name == name) return cls;
    static FullClass none;
    ADD_FAILURE() << "no class " << name;
    return none;
}

// "javaName(type name, ...) <- args" of each member, or "memberName: reason".
std::vector<std::string> shapesOf(const FullClass& cls) {
    std::vector<std::string> out;
    for (const FullMember& member : cls.members) {
        if (!member.refusal.empty()) {
            out.push_back(member.memberName + ": " + member.refusal);
            continue;
        }
        std::string text = (member.result ? member.result->name : "void") + " " + member.javaName + "(";
        for (size_t k = 0; k < member.parameters.size(); ++k)
            text += (k ? ", " : "") + member.parameters[k].type.name + " " + member.parameters[k].name;
        text += ") <-";
        for (const FullArgument& a : member.arguments)
            text += " " + (a.parameter < 0 ? std::string("MISSING") : std::to_string(a.parameter));
        out.push_back(text);
    }
    return out;
}

TEST(FullModel, ClassesOfTheDemoLibrary) {
    Demo demo;
    FullModel model = demo.model();

    const FullClass& shape = classNamed(model, "IShape");
    EXPECT_EQ(shape.baseClass, "MivraObject");
    EXPECT_EQ(shapesOf(shape), (std::vector<std::string>{
                                   "String getName() <-",
                                   "void setName(String value) <- 0",
                                   "void Move(int x, int y) <- 0 1 MISSING",
                                   "void Move(int x, int y, Object speed) <- 0 1 2",
                                   "void setPicture(MivraObject p) <- 0",
                                   "void setRefPicture(MivraObject p) <- 0",
                                   "void setFont(MivraObject f) <- 0",
                                   "String toString_() <-",
                                   "Window: record type wireHWND",
                                   "int getKind() <-",
                               }));

    // Only its own members; the inherited ones count as bound through IShape.
    const FullClass& circle = classNamed(model, "ICircle");
    EXPECT_EQ(circle.baseClass, "IShape");
    EXPECT_EQ(shapesOf(circle), (std::vector<std::string>{"double getRadius() <-", "double radius() <-",
                                                          "getRadius: Duplicate method"}));

    const FullClass& shapes = classNamed(model, "IShapes");
    EXPECT_EQ(shapes.baseClass, "MivraObject");
    EXPECT_EQ(shapes.iterableElement, "IShape");
    EXPECT_EQ(shapesOf(shapes), (std::vector<std::string>{
                                    "IShape Item(Object index) <- 0",
                                    "void setItem(IShape value) <- MISSING 0",
                                    "void setItem(Object index, IShape value) <- 0 1",
                                    "MivraObject get_NewEnum() <-",
                                    "void iterator_() <-",
                                    "void DeleteFile(String path) <- 0 MISSING",
                                    "void DeleteFile(String path, boolean force) <- 0 1",
                                    "MivraVariant Run(String name, Object... args) <- 0 1",
                                    "void Swap(Holder<Integer> a, Holder<String> b, String MISSING_, "
                                    "java.time.LocalDateTime stamp) <- 0 1 2 3",
                                }));
    EXPECT_TRUE(shapes.members.back().parameters[2].type.wrapInHolder);
    EXPECT_TRUE(shapes.usesHolder);

    // Every by-reference argument in a holder or a variant, [in] ones too;
    // the DISPID says which event it is, so it cannot serve two.
    const FullClass& events = classNamed(model, "DShapeEvents");
    EXPECT_EQ(events.kind, FullClass::Kind::Listener);
    EXPECT_EQ(shapesOf(events), (std::vector<std::string>{
                                    "Color: A property, not an event",
                                    "Size: A property, not an event",
                                    "void Moved(int x) <- 0",
                                    "void Closing(Holder<Boolean> cancel, MivraVariant reason, IShape by, "
                                    "Holder<Integer> count) <- 0 1 2 3",
                                    "Again: Another event has this DISPID",
                                    "Weight: A property, not an event",
                                }));
    std::vector<uint16_t> vts;
    for (const FullArgument& argument : events.members[3].arguments) vts.push_back(argument.vt);
    EXPECT_EQ(vts, (std::vector<uint16_t>{VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT, VT_DISPATCH, VT_BYREF | VT_I4}));

    // The source interface is no getter; the others in the default order.
    const FullClass& object = classNamed(model, "Shape");
    EXPECT_EQ(object.kind, FullClass::Kind::Object);
    EXPECT_EQ(object.classId, "Demo.Shape.1");
    EXPECT_EQ(object.interfaces, (std::vector<std::string>{"IShape", "ICircle"}));
    EXPECT_EQ(object.sourceInterfaces, (std::vector<std::string>{"DShapeEvents"}));

    const FullClass& kind = classNamed(model, "ShapeKind");
    ASSERT_EQ(kind.constants.size(), 3u);
    EXPECT_EQ(kind.constants[1].name, "class_");
    EXPECT_EQ(kind.constants[1].value, -2147483647 - 1);
    EXPECT_EQ(kind.constants[2].value, -1);

    // A later type of a name taken (without regard to case) gets the name
    // with a number, and the rename is reported.
    EXPECT_TRUE(model.refusals.empty());
    EXPECT_EQ(model.renames, (std::vector<std::pair<std::string, std::string>>{
                                 {"ishape", "class ishape_2: another type of the library has this name"}}));
    EXPECT_EQ(classNamed(model, "ishape_2").kind, FullClass::Kind::Constants);

    // IShape 9 (Window refused), ICircle 9 inherited + 3 own (one refused),
    // IShapes 7, DShapeEvents 4 (two refused).
    ASSERT_EQ(model.coverage.size(), 4u);
    EXPECT_EQ(model.functionCount(), 9 + 12 + 7 + 4);
    EXPECT_EQ(model.boundCount(), 8 + 10 + 7 + 2);
    EXPECT_EQ(model.listenerCount(), 1);
    EXPECT_EQ(model.eventCount(), 2);
}

// The generated classes compile against the runtime jar, javadoc takes them
// with their overview, and the library texts stay text.
TEST(FullWriters, DemoLibraryCompilesAndDocuments) {
    Demo demo;
    FullModel model = demo.model();
    MemoryOutput output;
    FullWriteInputs inputs{"mvx.demo", "mvx/demo", "Mon Dec 07 12:00:00 2026\n", "/out"};
    std::vector<std::pair<std::string, std::string>> reports;
    int javaFiles = 0;
    ASSERT_TRUE(writeFullBindings(output, model, inputs,
                                  [&](const std::string& s, const std::string& m) { reports.emplace_back(s, m); },
                                  javaFiles));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(javaFiles, 8);  // and MivraClasses
    EXPECT_EQ(output.files().size(), 11u);  // and unbound.txt
    const std::string& shape = output.files().at("IShape.java");
    EXPECT_NE(shape.find("/** A shape on the *&#47; page &#64;since &lt;1&gt; */\npublic class IShape"),
              std::string::npos);
    EXPECT_NE(shape.find("\t * The shape's &#123;name}\n"), std::string::npos) << shape;
    const std::string& events = output.files().at("DShapeEvents.java");
    EXPECT_NE(events.find("case 4:\n\t\t\t\treturn new int[] {VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT, VT_DISPATCH, VT_BYREF | VT_I4};"), std::string::npos) << events;
    EXPECT_NE(events.find("listener.Closing(EventAdapter.<Boolean>holder(args[0]), (MivraVariant) args[1], "
                          "EventAdapter.<IShape>adopt(args[2], IShape::new), EventAdapter.<Integer>holder(args[3]));"),
              std::string::npos)
        << events;

    if (!toolAvailable("javac") || !toolAvailable("javadoc")) GTEST_SKIP() << "no JDK";
    TempFolder folder;
    for (const auto& [name, text] : output.files()) writeFile(folder.file(name), text);
    const std::string jar = MIVRA_RUNTIME_JAR;
    ASSERT_TRUE(runCommand("javac -Xlint:all -Werror -encoding UTF-8 -cp " + quoted(jar) + " -d " +
                               quoted(folder.file("classes")) + " " + quoted(folder.path()) + "/*.java",
                           folder.file("javac.log")))
        << readFile(folder.file("javac.log"));
    ASSERT_TRUE(runCommand("javadoc -quiet -encoding UTF-8 -cp " + quoted(jar) + " -overview " +
                               quoted(folder.file("overview.html")) + " -d " + quoted(folder.file("doc")) + " " +
                               quoted(folder.path()) + "/*.java",
                           folder.file("javadoc.log")))
        << readFile(folder.file("javadoc.log"));
    EXPECT_EQ(readFile(folder.file("javadoc.log")).find("error"), std::string::npos)
        << readFile(folder.file("javadoc.log"));
}

// A file that does not reach the disk whole fails the writing, and says
// which file it was.
// Each character that must change in a doc comment, alone and among plain
// text; plain text comes back as it is.
TEST(FullWriters, JavadocTextEscapesWhatItMust) {
    const std::pair<std::string, std::string> cases[] = {
        {"Plain text, 100% (or 50), #1 [x] = y; ok!", "Plain text, 100% (or 50), #1 [x] = y; ok!"},
        {"a & b", "a &amp; b"},
        {"<b>", "&lt;b&gt;"},
        {"say \"hi\"", "say &quot;hi&quot;"},
        {"ends */ here", "ends *&#47; here"},
        {"@see", "&#64;see"},
        {"{@code x}", "&#123;&#64;code x}"},
        {"two\r\nlines", "two  lines"},
        {"path \\u0041", "path \\\\u0041"},
        {"single \\ backslash", "single \\ backslash"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(javadocText(text), expected) << text;
}

TEST(FullWriters, ShortWriteFailsTheRun) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Demo demo;
    FullModel model = demo.model();
    TempFolder folder;
    std::filesystem::create_symlink("/dev/full", folder.file("IShape.java"));
    DiskOutput output(folder.path());
    FullWriteInputs inputs{"mvx.demo", "mvx/demo", "Mon Dec 07 12:00:00 2026\n", folder.path()};
    std::vector<std::pair<std::string, std::string>> reports;
    int javaFiles = 0;
    EXPECT_FALSE(writeFullBindings(output, model, inputs,
                                   [&](const std::string& s, const std::string& m) { reports.emplace_back(s, m); },
                                   javaFiles));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, folder.file("IShape.java"));
    EXPECT_EQ(reports[0].second, "Cannot write file");
    EXPECT_FALSE(std::filesystem::exists(folder.file("readme.html")));
}

// A name no file system takes, or whose file's path in the output folder
// would be longer than the platform opens, refuses its type only: the
// others are still written, and the types that name it fall back to
// MivraObject.
TEST(FullModel, OverLongNameRefusesItsTypeOnly) {
    const std::string deepFolder = "/" + std::string(maxPathLength - 200, 'd');
    struct Case {
        const char* label;
        size_t nameLength;
        std::string folder;
        bool refused;
    } cases[] = {
        {"longer than a file name", 260, "", true},
        {"a file name, but too long a path", 195, deepFolder, true},
        {"the longest path", classNameRoom(deepFolder), deepFolder, false},
        {"a file name in a short folder", 195, "/tmp/out", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        LibraryBuilder b;
        const std::string longName = "I" + std::string(c.nameLength - 1, 'x');
        const int32_t huge = b.type(TKIND_DISPATCH, longName);
        const int32_t caller = b.type(TKIND_DISPATCH, "IUser");
        b.function(caller, "Huge", 1, 2, pointer(user(huge)));
        FullModelInputs inputs;
        inputs.maxClassNameLength = classNameRoom(c.folder);
        FullModel model = buildFullModel(b.library, inputs);
        const FullClass& cls = classNamed(model, "IUser");
        ASSERT_EQ(cls.members.size(), 1u);
        if (!c.refused) {
            EXPECT_TRUE(model.refusals.empty());
            EXPECT_EQ(cls.members[0].result->name, longName);
            if (!c.folder.empty()) {
                EXPECT_LE(outputPath(c.folder, longName + ".java").size(), maxPathLength);
            }
            continue;
        }
        ASSERT_EQ(model.refusals.size(), 1u);
        EXPECT_EQ(model.refusals[0].second, "Name too long for a file name; no class written for this type");
        EXPECT_EQ(cls.members[0].result->name, "MivraObject");
        EXPECT_EQ(model.unbound.front(), longName + ": Name too long for a file name; no class written for this type");
    }
}

// Views that share the functions they inherit, as the resolver holds a
// chain of interfaces, bind exactly as the same views copied out; types
// sharing one block of constants list them up to the library's cap and
// state what they cut.
TEST(FullModel, SharedMembersBindAsCopiedOnesUpToTheCap) {
    auto chain = [](bool shared) {
        LibraryBuilder b;
        const int32_t first = b.type(TKIND_DISPATCH, "IFirst");
        b.dispatchMembers(first);
        b.function(first, "Open", 5, 1, code(VT_HRESULT), {parameter("path", code(VT_BSTR))});
        b.function(first, "Value", 9, 4, code(VT_HRESULT), {parameter("value", code(VT_DISPATCH))});
        int32_t previous = first;
        for (const char* name : {"ISecond", "IThird"}) {
            const int32_t next = b.type(TKIND_DISPATCH, name);
            b.implement(next, previous);
            std::vector<ResolvedFunction> own(2);
            own[0].available = true;
            own[0].name = std::string("Count") + name;
            own[0].memberId = 6 + next;
            own[0].invokeKind = 2;
            own[0].result = code(VT_I4);
            own[1].memberId = 20 + next;  // cannot be read
            if (next == 2) {
                ResolvedFunction putRef = own[0];
                putRef.name = "Value";
                putRef.memberId = 9;
                putRef.invokeKind = 8;
                putRef.result = code(VT_HRESULT);
                putRef.params = {parameter("value", code(VT_DISPATCH))};
                own.push_back(std::move(putRef));
            }
            ResolvedType& type = b.library.types[size_t(next)];
            const ResolvedType& base = b.library.types[size_t(previous)];
            if (shared) {
                type.functions = MemberList<ResolvedFunction>::after(base.functions, std::move(own));
                type.inheritedView = previous;
            } else {
                std::vector<ResolvedFunction> all(base.functions.begin(), base.functions.end());
                all.insert(all.end(), own.begin(), own.end());
                type.functions = std::move(all);
            }
            previous = next;
        }
        return b;
    };
    LibraryBuilder copied = chain(false), shared = chain(true);
    FullModel expected = buildFullModel(copied.library, {}), actual = buildFullModel(shared.library, {});
    EXPECT_EQ(fullUnboundText(actual), fullUnboundText(expected));
    EXPECT_EQ(actual.boundCount(), expected.boundCount());
    EXPECT_EQ(actual.functionCount(), expected.functionCount());
    ASSERT_EQ(actual.classes.size(), 3u);
    for (size_t k = 0; k < actual.classes.size(); ++k)
        EXPECT_EQ(fullInterfaceClassText(actual.classes[k], {}, "p"), fullInterfaceClassText(expected.classes[k], {}, "p"));
    EXPECT_NE(fullInterfaceClassText(actual.classes[2], {}, "p").find("setRefValue("), std::string::npos);

    LibraryBuilder b;
    const int32_t first = b.type(TKIND_ENUM, "E0");
    for (int k = 0; k < 1000; ++k)
        b.variable(first, "c" + std::to_string(k), k, VAR_CONST, code(VT_I4)).value = ConstantValue{VT_I4, k, 0, {}};
    for (int e = 1; e < 300; ++e) {
        const int32_t sharing = b.type(TKIND_ENUM, "E" + std::to_string(e));
        b.library.types[size_t(sharing)].variables = b.library.types[size_t(first)].variables;
    }
    FullModel model = buildFullModel(b.library, {});
    size_t constants = 0, cuts = 0;
    for (const FullClass& cls : model.classes) constants += cls.constants.size();
    for (const auto& [subject, reason] : model.notBound) cuts += reason.find(" constants cut: ") != std::string::npos;
    EXPECT_EQ(constants, b.library.reportedMemberCap());
    EXPECT_EQ(cuts, 300 - constants / 1000);
    EXPECT_NE(std::find(model.unbound.begin(), model.unbound.end(),
                        "E65: 464 constants cut: the bindings list at most 65536 members and parameters of a library"),
              model.unbound.end());
}

}  // namespace
}  // namespace mivra
