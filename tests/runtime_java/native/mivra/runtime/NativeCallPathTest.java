package mivra.runtime;

import static mivra.runtime.MivraVariant.VT_BSTR;
import static mivra.runtime.MivraVariant.VT_BYREF;
import static mivra.runtime.MivraVariant.VT_DISPATCH;
import static mivra.runtime.MivraVariant.VT_EMPTY;
import static mivra.runtime.MivraVariant.VT_VARIANT;
import static mivra.runtime.MivraVariant.VT_I4;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertThrows;

import org.junit.BeforeClass;
import org.junit.Test;

/**
 * The shipped JNI adapter built for this machine over a stand-in core
 * (tests/bench/call_standin_core.c, its library named by the property
 * mivra.standin): string arguments and results of every length reach the
 * other side whole, whether they fit the room the adapter keeps for them or
 * not; an object result brings the IID its type information names; a VARIANT
 * result brings its type and value; by-reference
 * arguments come back; slots the adapter cannot read are refused before it
 * reads them.
 */
public class NativeCallPathTest {
    private static final int JOIN = 5;
    private static NativeComLayer layer;
    private static Target target;

    static final class Target extends MivraObject {
        Target(Ref ref) {
            super(ref);
        }

        Object call(int dispId, int resultVt, Object[] args, int[] vts) {
            return mivraCall(dispId, METHOD, resultVt, args, vts);
        }
    }

    static class Node extends MivraObject {
        Node(Ref ref) {
            super(ref);
        }
    }

    static final class Element extends Node {
        Element(Ref ref) {
            super(ref);
        }
    }

    static final class Text extends Node {
        Text(Ref ref) {
            super(ref);
        }
    }

    @BeforeClass
    public static void load() {
        System.load(System.getProperty("mivra.standin"));
        layer = NativeComLayer.loaded();
        ComLayer.install(layer);
        target = new Target(new MivraObject.Ref(0x1000, true, Apartment.current()));
    }

    private static String text(int length, char first) {
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < length; ++i)
            s.append((char) (first + i % 23));
        return s.toString();
    }

    @Test
    public void stringsOfEveryLengthGoAndComeBackWhole() {
        int room = NativeComLayer.TEXT_ROOM - 2;
        int[][] lengthsTable = {{}, {0}, {1}, {10}, {room}, {room + 1}, {room - 1, 1}, {300}, {200, 200, 200, 7},
            {40, 40, 40, 40, 40, 40, 40}};
        for (int[] lengths : lengthsTable) {
            Object[] args = new Object[lengths.length];
            int[] vts = new int[lengths.length];
            StringBuilder joined = new StringBuilder();
            for (int i = 0; i < lengths.length; ++i) {
                args[i] = text(lengths[i], (char) ('a' + i));
                vts[i] = VT_BSTR;
                joined.append(args[i]);
            }
            assertEquals(java.util.Arrays.toString(lengths), joined.toString(), target.call(JOIN, VT_BSTR, args, vts));
        }
        assertEquals("\u00e9\u4e2d\ud83d\ude00x", target.call(JOIN, VT_BSTR, new Object[] {"\u00e9\u4e2d", null,
            "\ud83d\ude00x"}, new int[] {VT_BSTR, VT_BSTR, VT_BSTR}));
    }

    @Test
    public void objectResultsBringTheInterfaceTheirTypeInformationNames() {
        ClassTable table = new ClassTable().add("{00000000-0000-0000-0000-00000000000A}", Node.class, Node::new)
                .add("{00000000-0000-0000-0000-00000000000B}", Element.class, Element::new)
                .add("{00000000-0000-0000-0000-00000000000C}", Text.class, Text::new);
        // member, string arguments, class: named by the call's IID, else the last added of those answering
        Object[][] cases = {{6, 0, Element.class}, {6, 2, Element.class}, {7, 0, Text.class}, {9, 1, Text.class},
            {8, 0, null}, {8, 1, null}};
        for (Object[] c : cases) {
            int count = (int) c[1];
            Object[] args = new Object[count];
            int[] vts = new int[count];
            java.util.Arrays.fill(args, "ab");
            java.util.Arrays.fill(vts, VT_BSTR);
            Node node = MivraObject.mivraAdopt(target.call((int) c[0], VT_DISPATCH, args, vts), Node.class, table);
            assertEquals(java.util.Arrays.toString(c), c[2], node == null ? null : node.getClass());
            if (node != null)
                node.close();
        }
    }

    @Test
    public void variantResultsBringTheirTypeAndValue() {
        String ten = "abcdefghij";
        // member, VARTYPE, value (an object: its class)
        Object[][] cases = {{10, VT_BSTR, ten}, {11, VT_BSTR, ten.repeat(10)}, {12, VT_I4, 42},
            {13, VT_DISPATCH, MivraObject.class}, {14, VT_EMPTY, null}};
        for (Object[] c : cases)
            for (int count = 0; count < 2; ++count) {
                Object[] args = count == 0 ? new Object[0] : new Object[] {"xy"};
                int[] vts = count == 0 ? new int[0] : new int[] {VT_BSTR};
                MivraVariant result = (MivraVariant) target.call((int) c[0], VT_VARIANT, args, vts);
                assertEquals(java.util.Arrays.toString(c), c[1], result.getVarType());
                Object value = result.toJava();
                assertEquals(java.util.Arrays.toString(c), c[2], value instanceof MivraObject ? value.getClass() : value);
                if (value instanceof MivraObject)
                    ((MivraObject) value).close();
            }
    }

    @Test
    public void byReferenceArgumentsComeBackBesideStringArguments() {
        Holder<Integer> number = new Holder<>(41);
        Holder<String> word = new Holder<>("ab");
        Object result = target.call(JOIN, VT_BSTR, new Object[] {"x", number, text(300, 'a'), word, "y"},
                new int[] {VT_BSTR, VT_BYREF | VT_I4, VT_BSTR, VT_BYREF | VT_BSTR, VT_BSTR});
        assertEquals("x" + text(300, 'a') + "abab" + "y", result);
        assertEquals(42, (int) number.value);
        assertEquals("abab", word.value);
        Holder<Integer> counted = new Holder<>(7);
        assertEquals(3 + 8, target.call(3, VT_I4, new Object[] {"abc", counted}, new int[] {VT_BSTR, VT_BYREF | VT_I4}));
        assertEquals(8, (int) counted.value);
    }

    @Test
    public void slotsTheAdapterCannotReadAreRefused() {
        Object[][] refsTable = {{"abc", null}, {"abc", null}, {"ab", null}, {42, null}};
        long[][] slotsTable = {{3, 0, VT_BSTR, VT_I4}, {3, 0, VT_BSTR}, {3, 0, VT_BSTR, VT_I4}, {3, 0, VT_BSTR, VT_I4}};
        int[] counts = {3, 2, 2, 2};
        for (int k = 0; k < counts.length; ++k) {
            int n = counts[k];
            long[] slots = slotsTable[k];
            Object[] refs = refsTable[k];
            Class<? extends RuntimeException> expected = refs[0] instanceof String ? IllegalArgumentException.class
                    : ClassCastException.class;
            assertThrows(expected, () -> layer.invokeBits(0x1000, 3, 1, VT_I4, n, slots, refs));
            assertThrows(expected, () -> layer.invokeRef(0x1000, JOIN, 1, VT_BSTR, n, slots, refs));
        }
        assertEquals(3L, layer.invokeBits(0x1000, 3, 1, VT_I4, 2, new long[] {3, 0, VT_BSTR, VT_I4},
                new Object[] {"abc", null}));
    }
}
