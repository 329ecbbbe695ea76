package mivra.runtime;

import static mivra.runtime.MivraVariant.*;
import static org.junit.Assert.*;

import java.math.BigDecimal;
import java.time.LocalDateTime;
import java.util.Arrays;
import org.junit.Before;
import org.junit.Test;

/** Java values through the frames and back, as a server returning its argument gives them. */
public class ConversionTest {
    private FakeCom com;
    private Thing thing;

    @Before
    public void setUp() {
        com = new FakeCom();
        ComLayer.install(com);
        com.classes.put("Test.Thing", com::echoObject);
        thing = new Thing("Test.Thing");
    }

    private static final LocalDateTime NOON = LocalDateTime.of(2023, 3, 15, 12, 0);

    @Test
    public void declaredTypesComeBackAsTheirJavaValues() {
        Object[][] cases = {
            {(byte) -56, VT_UI1}, {(byte) 65, VT_I1}, {(short) -1234, VT_I2}, {(short) -1, VT_UI2},
            {-123456, VT_I4}, {-1, VT_UI4}, {7, VT_INT}, {0x80004005, VT_ERROR}, {Long.MIN_VALUE, VT_I8},
            {-1L, VT_UI8}, {2.5f, VT_R4}, {-0.125, VT_R8}, {true, VT_BOOL}, {false, VT_BOOL},
            {"Grüße \uD834\uDD1E", VT_BSTR}, {"", VT_BSTR}, {NOON, VT_DATE},
            {LocalDateTime.of(1850, 6, 1, 6, 30, 15, 125_000_000), VT_DATE},
            {new BigDecimal("-922337203685477.5808"), VT_CY}, {new BigDecimal("1234.5678"), VT_CY},
            {new BigDecimal("79228162514264337593543950335"), VT_DECIMAL}, {new BigDecimal("-0.0000000000000000000000000001"), VT_DECIMAL},
            {new byte[] {1, -2}, VT_ARRAY | VT_UI1}, {new short[] {3}, VT_ARRAY | VT_I2}, {new int[] {1, 2, 3}, VT_ARRAY | VT_I4},
            {new long[] {Long.MAX_VALUE}, VT_ARRAY | VT_I8}, {new float[] {1.5f}, VT_ARRAY | VT_R4},
            {new double[] {0.1, 0.2}, VT_ARRAY | VT_R8}, {new boolean[] {true, false}, VT_ARRAY | VT_BOOL},
            {new String[] {"a", null, "c"}, VT_ARRAY | VT_BSTR}, {new LocalDateTime[] {NOON}, VT_ARRAY | VT_DATE},
            {new BigDecimal[] {new BigDecimal("1.5000")}, VT_ARRAY | VT_CY},
            {new BigDecimal[] {new BigDecimal("-2.25")}, VT_ARRAY | VT_DECIMAL}, {new int[0], VT_ARRAY | VT_I4},
        };
        for (Object[] c : cases) {
            Object back = thing.echo(c[0], (Integer) c[1]);
            assertTrue(Wire.typeName((Integer) c[1]) + " " + c[0] + " came back as " + back, Arrays.deepEquals(new Object[] {c[0]}, new Object[] {back}));
        }
    }

    @Test
    public void numbersAreRoundedOrRefusedWhereTheTypeIsNarrower() {
        assertEquals(new BigDecimal("1.2346"), thing.echo(new BigDecimal("1.23455"), VT_CY));
        assertEquals(new BigDecimal("0.1234567890123456789012345679"),
                thing.echo(new BigDecimal("0.12345678901234567890123456789"), VT_DECIMAL));
        assertEquals(new BigDecimal("12.5000"), thing.echo(12.5, VT_CY));
        Object[][] refused = {
            {new BigDecimal("922337203685477.5808"), VT_CY, IllegalArgumentException.class},
            {new BigDecimal("79228162514264337593543950336"), VT_DECIMAL, IllegalArgumentException.class},
            {"text", VT_I4, IllegalArgumentException.class}, {1, VT_BSTR, IllegalArgumentException.class},
            {null, VT_I4, NullPointerException.class}, {new Object(), VT_VARIANT, IllegalArgumentException.class},
            {new int[][] {{1, 2}, {3}}, VT_VARIANT, IllegalArgumentException.class},
        };
        for (Object[] r : refused) {
            try {
                thing.echo(r[0], (Integer) r[1]);
                fail(r[0] + " as " + Wire.typeName((Integer) r[1]) + " was accepted");
            } catch (RuntimeException e) {
                assertEquals(String.valueOf(r[0]), r[2], e.getClass());
            }
        }
    }

    @Test
    public void variantsCarryTheirTypeAndArraysBecomeObjectArrays() {
        MivraVariant back = (MivraVariant) thing.echo(new MivraVariant(VT_UI2, (short) 7), VT_VARIANT);
        assertEquals(VT_UI2, back.getVarType());
        assertEquals((short) 7, back.toJava());
        // null is VBScript's Nothing; the constants give the other two values that are none.
        MivraVariant nothing = (MivraVariant) thing.echo(null, VT_VARIANT);
        assertEquals(VT_DISPATCH, nothing.getVarType());
        assertNull(nothing.toJava());
        assertEquals(VT_EMPTY, ((MivraVariant) thing.echo(MivraVariant.EMPTY, VT_VARIANT)).getVarType());
        assertEquals(VT_NULL, ((MivraVariant) thing.echo(MivraVariant.NULL, VT_VARIANT)).getVarType());
        // A Java value as a variant: its type from its class.
        MivraVariant fromDate = (MivraVariant) thing.echo(NOON, VT_VARIANT);
        assertEquals(VT_DATE, fromDate.getVarType());
        assertEquals(NOON, fromDate.toJava());
        MivraVariant list = (MivraVariant) thing.echo(new Object[] {1, "two", null, new int[] {3}}, VT_VARIANT);
        assertEquals(VT_ARRAY | VT_VARIANT, list.getVarType());
        assertArrayEquals(new Object[] {1, "two", null, new Object[] {3}}, (Object[]) list.toJava());
        Object[][] grid = {{1, 2, 3}, {4, 5, 6}};
        Object gridBack = ((MivraVariant) thing.echo(grid, VT_VARIANT)).toJava();
        assertTrue(gridBack instanceof Object[][]);
        assertTrue(Arrays.deepEquals(grid, (Object[][]) gridBack));
        MivraVariant[] typed = (MivraVariant[]) thing.echo(new MivraVariant[] {MivraVariant.of(1), MivraVariant.of("x")},
                VT_ARRAY | VT_VARIANT);
        assertEquals(VT_BSTR, typed[1].getVarType());
        assertEquals("x", typed[1].toJava());
    }

    @Test
    public void theWireLayoutOfTwoDimensionsHasTheFirstIndexFastest() {
        Object[] wire = Wire.encodeArray(new Object[][] {{1, 2, 3}, {4, 5, 6}}, VT_VARIANT);
        assertArrayEquals(new int[] {2, 3}, (int[]) wire[0]);
        long[] bits = (long[]) ((Object[]) wire[1])[1];
        assertArrayEquals(new long[] {1, 4, 2, 5, 3, 6}, bits);
    }

    @Test
    public void oleDatesFollowTheirCalendar() {
        Object[][] dates = {
            {0.0, LocalDateTime.of(1899, 12, 30, 0, 0)}, {2.5, LocalDateTime.of(1900, 1, 1, 12, 0)},
            {-1.25, LocalDateTime.of(1899, 12, 29, 6, 0)}, {45000.75, LocalDateTime.of(2023, 3, 15, 18, 0)},
            {-0.5, LocalDateTime.of(1899, 12, 30, 12, 0)}, {1.9999999999, LocalDateTime.of(1900, 1, 1, 0, 0)},
        };
        for (Object[] d : dates) {
            assertEquals(String.valueOf(d[0]), d[1], Wire.fromOleDate((Double) d[0]));
            if ((Double) d[0] != -0.5 && (Double) d[0] != 1.9999999999)
                assertEquals((Double) d[0], Wire.toOleDate((LocalDateTime) d[1]), 1e-9);
        }
    }

    @Test
    public void decimalsHaveTheLayoutOfTheStruct() {
        long[] raw = Wire.decimal(new BigDecimal("-123.45"));
        assertEquals((2L << 16) | (0x80L << 24), raw[0]);
        assertEquals(12345, raw[1]);
        long[] big = Wire.decimal(new BigDecimal("79228162514264337593543950335"));
        assertEquals(0xFFFFFFFFL << 32, big[0]);
        assertEquals(-1L, big[1]);
    }

    @Test
    public void missingArgumentsAreParamNotFound() {
        thing.call(1, 1, VT_EMPTY, new Object[] {MivraObject.MISSING}, new int[] {VT_BSTR});
        assertArrayEquals(new int[] {VT_ERROR, VT_EMPTY}, com.lastVts);
        MivraVariant back = (MivraVariant) thing.echo(MivraObject.MISSING, VT_VARIANT);
        assertEquals(VT_ERROR, back.getVarType());
        assertEquals(Wire.DISP_E_PARAMNOTFOUND, back.toJava());
    }

    @Test
    public void variantsRefuseValuesThatDoNotFit() {
        Object[][] misfits = {{VT_I4, "1"}, {VT_BSTR, 1}, {VT_EMPTY, 0}, {VT_I4 | VT_BYREF, 1}, {VT_ARRAY | VT_I4, new int[1]}};
        for (Object[] m : misfits) {
            try {
                new MivraVariant((Integer) m[0], m[1]);
                fail(m[1] + " fit " + Wire.typeName((Integer) m[0]));
            } catch (IllegalArgumentException expected) {
            }
        }
        Object[][] kinds = {{null, VT_EMPTY}, {(byte) 1, VT_UI1}, {(short) 1, VT_I2}, {1, VT_I4}, {1L, VT_I8},
            {1f, VT_R4}, {1.0, VT_R8}, {true, VT_BOOL}, {"s", VT_BSTR}, {NOON, VT_DATE}, {BigDecimal.ONE, VT_DECIMAL},
            {thing, VT_DISPATCH}, {new String[0], VT_ARRAY | VT_VARIANT}};
        for (Object[] k : kinds)
            assertEquals(String.valueOf(k[0]), k[1], MivraVariant.of(k[0]).getVarType());
        try {
            MivraVariant.of('c');
            fail("a char became a variant");
        } catch (IllegalArgumentException expected) {
        }
    }
}
