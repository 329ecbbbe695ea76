package mivra.runtime;

import static mivra.runtime.MivraVariant.*;
import static org.junit.Assert.*;

import java.util.Arrays;
import org.junit.Before;
import org.junit.Test;

/** The class an object result gets (type information, then the table's rules), casts, and vtable calls. */
public class ResultClassTest {
    static final String NODE = "{00000000-0000-0000-0000-00000000000A}";
    static final String ELEMENT = "{00000000-0000-0000-0000-00000000000B}";
    static final String TEXT = "{00000000-0000-0000-0000-00000000000C}";
    static final String DOC = "{00000000-0000-0000-0000-00000000000D}";
    static final String OTHER = "{00000000-0000-0000-0000-0000000000FF}";

    static class Node extends MivraObject {
        static final String IID = NODE;

        Node(Ref ref) {
            super(ref);
        }
    }

    static class Element extends Node {
        static final String IID = ELEMENT;

        Element(Ref ref) {
            super(ref);
        }
    }

    static class Text extends Node {
        static final String IID = TEXT;

        Text(Ref ref) {
            super(ref);
        }
    }

    static class Doc extends MivraObject {
        static final String IID = DOC;

        Doc(Ref ref) {
            super(ref);
        }
    }

    /** A coclass's class: its default interface's IID is its own. */
    static class Document extends Doc {
        Document(Ref ref) {
            super(ref);
        }
    }

    /** Calls as generated code does. */
    static final class Caller extends MivraObject {
        Caller(Ref ref) {
            super(ref);
        }

        Caller(String classId) {
            super(classId, false);
        }

        <T> T result(Class<T> declared, ClassTable table) {
            return mivraAdopt(mivraCall(1, METHOD, VT_DISPATCH, new Object[0], new int[0]), declared, table);
        }

        void byRef(Object value) {
            mivraCall(1, METHOD, VT_EMPTY, new Object[] {value}, new int[] {VT_BYREF | VT_VARIANT});
        }

        Object slot(String iid, int slot, int resultVt, Object[] args, int[] vts) {
            return mivraVtblCall(iid, slot, resultVt, args, vts);
        }

        <T> java.util.List<T> elements(Class<T> declared, ClassTable table) {
            java.util.List<T> all = new java.util.ArrayList<>();
            mivraEnumerate(declared, table).forEachRemaining(all::add);
            return all;
        }
    }

    private FakeCom com;
    private FakeCom.FakeObject served;
    private Caller caller;

    @Before
    public void setUp() {
        com = new FakeCom();
        ComLayer.install(com);
        com.classes.put("Test.Caller", () -> com.new FakeObject().member("Get", 1, (self, flags, vts, bits, refs) -> {
            int n = vts.length - 1;
            vts[n] = VT_DISPATCH;
            bits[n] = served.pointer;
        }));
        caller = new Caller("Test.Caller");
    }

    private FakeCom.FakeObject serve(String typeInfo, String... iids) {
        served = com.new FakeObject();
        served.typeInfo = typeInfo;
        served.iids.addAll(Arrays.asList(iids));
        // refs stays 1 (the server's own reference) besides what the caller holds.
        return served;
    }

    private static ClassTable table(boolean textIsDefault) {
        ClassTable table = new ClassTable().add(NODE, Node.class, Node::new).add(ELEMENT, Element.class, Element::new)
                .add(TEXT, Text.class, Text::new).add(DOC, Doc.class, Doc::new).defaultInterface("Document", DOC);
        return textIsDefault ? table.defaultInterface("TextNode", TEXT) : table.defaultInterface("ElementNode", ELEMENT);
    }

    @Test
    public void resultsGetTheMostDerivedClassTheRulesGive() {
        Object[][] cases = {
            // type information, interfaces answered, declared, Text a coclass's default, expected class
            {ELEMENT.toLowerCase(), new String[0], Node.class, false, Element.class},
            {OTHER, new String[] {NODE, ELEMENT}, Node.class, false, Element.class},
            {null, new String[] {NODE, ELEMENT, TEXT}, Node.class, false, Element.class},
            {null, new String[] {NODE, ELEMENT, TEXT}, Node.class, true, Text.class},
            {null, new String[] {NODE}, Node.class, false, Node.class},
            {ELEMENT, new String[] {TEXT}, Text.class, false, Text.class},
            {null, new String[] {DOC}, MivraObject.class, false, Doc.class},
            {null, new String[] {ELEMENT, TEXT}, MivraObject.class, false, Element.class},
            {null, new String[0], MivraObject.class, false, MivraObject.class},
        };
        // Type information from the call that returned the object, and asked for afterwards.
        for (int asked = 0; asked < 2; ++asked) {
            com.typeInfoInCall = asked == 0;
            checkRules(cases);
            assertEquals(asked == 0 ? 0 : cases.length, com.typeInfoCalls);
        }
    }

    private void checkRules(Object[][] cases) {
        for (Object[] c : cases) {
            FakeCom.FakeObject o = serve((String) c[0], (String[]) c[1]);
            Object result = caller.result((Class<?>) c[2], table((Boolean) c[3]));
            String what = Arrays.toString(c);
            assertEquals(what, c[4], result.getClass());
            // The interfaces asked for on the way are given back; the result holds one reference.
            assertEquals(what, 2, o.refs);
            ((MivraObject) result).close();
            assertEquals(what, 1, o.refs);
        }
        assertEquals(0, com.overReleases);
    }

    @Test
    @SuppressWarnings("unchecked")
    public void asAsksForTheInterfaceAndThrowsWhenItIsMissing() {
        FakeCom.FakeObject o = serve(null, NODE, ELEMENT);
        MivraObject plain = caller.result(MivraObject.class, new ClassTable());
        assertEquals(MivraObject.class, plain.getClass());
        try (Element element = plain.as(Element.class)) {
            assertEquals(3, o.refs);
            assertSame(element, element.as(Node.class));
        }
        Object[][] missing = {{Text.class, TEXT}, {Document.class, DOC}};
        for (Object[] m : missing) {
            try {
                plain.as((Class<? extends MivraObject>) m[0]);
                fail("a " + m[0] + " from an object without its interface");
            } catch (ClassCastException expected) {
                assertTrue(expected.getMessage(), expected.getMessage().contains((String) m[1]));
            }
        }
        MivraVariant held = new MivraVariant(VT_DISPATCH, plain);
        try (Node node = held.as(Node.class)) {
            assertEquals(Node.class, node.getClass());
        }
        assertNull(MivraVariant.EMPTY.as(Node.class));
        try {
            MivraVariant.of(1).as(Node.class);
            fail("a number as an object");
        } catch (MivraException e) {
            assertEquals(0x80020005, e.getHResult());
        }
        plain.close();
        assertEquals(1, o.refs);
    }

    @Test
    public void vtableCallsAskForTheInterfaceOnceAndReleaseItWithTheObject() {
        FakeCom.FakeObject o = serve(null, ELEMENT);
        o.slots.put(7, (self, flags, vts, bits, refs) -> {
            int n = vts.length - 1;
            vts[0] = VT_I4;
            bits[0] = 42;
            vts[n] = VT_BSTR;
            refs[n] = "got " + refs[1];
        });
        o.slots.put(8, (self, flags, vts, bits, refs) -> {
            throw new MivraException("No such task", 0x80070002);
        });
        Caller object = new Caller(new MivraObject.Ref(o.pointer, true, Apartment.current()));
        for (int round = 0; round < 2; ++round) {
            Holder<Integer> out = new Holder<>();
            assertEquals("got x", object.slot(ELEMENT, 7, VT_BSTR, new Object[] {out, "x"},
                    new int[] {VT_BYREF | VT_I4, VT_VARIANT}));
            assertEquals(Integer.valueOf(42), out.value);
            assertArrayEquals(new int[] {VT_BYREF | VT_I4, VT_VARIANT}, com.lastDeclared);
            assertEquals(ELEMENT, com.lastIid);
            assertEquals(2, o.refs);
        }
        try {
            object.slot(ELEMENT, 8, VT_EMPTY, new Object[0], new int[0]);
            fail("a failing HRESULT passed");
        } catch (MivraException e) {
            assertEquals(0x80070002, e.getHResult());
        }
        try {
            object.slot(TEXT, 7, VT_EMPTY, new Object[0], new int[0]);
            fail("a vtable call through an interface the object lacks");
        } catch (ClassCastException expected) {
        }
        object.close();
        assertEquals(0, o.refs);
        assertEquals(0, com.overReleases);
    }

    @Test
    public void objectArgumentsOfVtableCallsGoAsTheirClassesInterface() {
        FakeCom.FakeObject o = serve(null, ELEMENT);
        FakeCom.FakeObject arg = com.new FakeObject();
        arg.iids.add(TEXT);
        long[] passed = new long[2];
        o.slots.put(7, (self, flags, vts, bits, refs) -> System.arraycopy(bits, 0, passed, 0, 2));
        Caller object = new Caller(new MivraObject.Ref(o.pointer, true, Apartment.current()));
        MivraObject plain = MivraObject.adopted(arg.pointer, true, Apartment.current());
        arg.refs++;
        Text typed = new Text(new MivraObject.Ref(arg.pointer, true, Apartment.current()));
        com.asked.clear();
        for (int round = 0; round < 2; ++round)
            object.slot(ELEMENT, 7, VT_EMPTY, new Object[] {typed, plain}, new int[] {VT_DISPATCH, VT_DISPATCH});
        // Asked once, kept with the argument; a plain object goes as its IDispatch.
        assertEquals(Arrays.asList(ELEMENT, TEXT), com.asked);
        assertArrayEquals(new long[] {arg.pointer, arg.pointer}, passed);
        assertEquals(3, arg.refs);
        typed.close();
        plain.close();
        object.close();
        assertEquals(0, arg.refs);
        assertEquals(0, com.overReleases);
    }

    @Test
    public void elementsGetTheirClassesAsResultsDo() {
        FakeCom.FakeObject collection = serve(null);
        FakeCom.FakeObject named = com.new FakeObject();
        named.iids.add(ELEMENT);
        FakeCom.FakeObject silent = com.new FakeObject();
        silent.iids.add(TEXT);
        FakeCom.FakeObject plain = com.new FakeObject();
        // The first names its interface in the enumeration's answer; the others give no type information.
        collection.elements.add(new Object[] {VT_DISPATCH, named.pointer, ELEMENT});
        collection.elements.add(new Object[] {VT_DISPATCH, silent.pointer, null});
        collection.elements.add(new Object[] {VT_DISPATCH, 0L, null});
        collection.elements.add(new Object[] {VT_DISPATCH, plain.pointer, null});
        Caller object = new Caller(new MivraObject.Ref(collection.pointer, true, Apartment.current()));
        java.util.List<Node> nodes = object.elements(Node.class, table(false));
        assertEquals(4, nodes.size());
        assertEquals(Element.class, nodes.get(0).getClass());
        assertEquals(Text.class, nodes.get(1).getClass());
        assertNull(nodes.get(2));
        assertEquals(Node.class, nodes.get(3).getClass());
        assertEquals(2, com.typeInfoCalls);
        for (Node n : Arrays.asList(nodes.get(0), nodes.get(1), nodes.get(3)))
            n.close();
        object.close();
        for (FakeCom.FakeObject o : Arrays.asList(named, silent, plain))
            assertEquals(1, o.refs);
        assertEquals(0, com.overReleases);
    }

    @Test
    public void accessorsConvertThroughTheLayerOnlyWhenTheTypeDiffers() {
        int before = com.changes;
        assertEquals("text", new MivraVariant(VT_BSTR, "text").asString());
        assertEquals(7, MivraVariant.of(7).asInt());
        assertEquals(before, com.changes);
        Object[][] cases = {
            {MivraVariant.of(12), VT_BSTR, "12"},
            {MivraVariant.of("2.5"), VT_R8, 2.5},
            {MivraVariant.of("3"), VT_I4, 3},
            {MivraVariant.of("3"), VT_I8, 3L},
            {MivraVariant.of(1), VT_BOOL, true},
            {MivraVariant.of("1.25"), VT_DECIMAL, new java.math.BigDecimal("1.25")},
            {MivraVariant.of(2.5), VT_DATE, java.time.LocalDateTime.of(1900, 1, 1, 12, 0)},
            {MivraVariant.EMPTY, VT_BSTR, ""},
        };
        for (Object[] c : cases) {
            MivraVariant v = (MivraVariant) c[0];
            Object got;
            switch ((Integer) c[1]) {
            case VT_BSTR: got = v.asString(); break;
            case VT_R8: got = v.asDouble(); break;
            case VT_I4: got = v.asInt(); break;
            case VT_I8: got = v.asLong(); break;
            case VT_BOOL: got = v.asBoolean(); break;
            case VT_DECIMAL: got = v.asDecimal(); break;
            default: got = v.asDateTime(); break;
            }
            assertEquals(Arrays.toString(c), c[2], got);
        }
        Object[][] failures = {{MivraVariant.of(1e10), 0x8002000A}, {MivraVariant.of("x"), 0x80020005},
            {MivraVariant.NULL, 0x80020005}, {MivraVariant.of(new int[] {1}), 0x80020005}};
        for (Object[] f : failures) {
            try {
                ((MivraVariant) f[0]).asInt();
                fail(f[0] + " became an int");
            } catch (MivraException e) {
                assertEquals(String.valueOf(f[0]), f[1], e.getHResult());
            }
        }
    }

    @Test
    public void arraysNoneValuesAndTextReadAsAUserExpects() {
        Object[][] grid = {{1, 2, 3}, {4, 5, 6}};
        MivraVariant held = (MivraVariant) new Thing(new MivraObject.Ref(com.echoObject().pointer, true, Apartment.current()))
                .echo(grid, VT_VARIANT);
        Object[] rows = held.asArray();
        assertEquals(2, rows.length);
        assertArrayEquals(new Object[] {4, 5, 6}, (Object[]) rows[1]);
        assertEquals("[[1, 2, 3], [4, 5, 6]]", held.toString());
        try {
            MivraVariant.of("x").asArray();
            fail("a string as an array");
        } catch (MivraException e) {
            assertEquals(0x80020005, e.getHResult());
        }
        assertTrue(MivraVariant.EMPTY.isEmpty() && !MivraVariant.EMPTY.isNull());
        assertTrue(MivraVariant.NULL.isNull() && !MivraVariant.NULL.isEmpty());
        assertEquals("", MivraVariant.EMPTY.toString());
        assertEquals("Null", MivraVariant.NULL.toString());
        assertEquals("12", MivraVariant.of(12).toString());
        try {
            MivraVariant.EMPTY.set(VT_I4, 1);
            fail("the EMPTY constant changed");
        } catch (UnsupportedOperationException expected) {
        }
        try {
            caller.byRef(MivraVariant.EMPTY);
            fail("the EMPTY constant passed by reference");
        } catch (IllegalArgumentException expected) {
        }
    }
}
