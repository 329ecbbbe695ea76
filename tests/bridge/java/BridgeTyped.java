package mivra.runtime;

import static mivra.runtime.MivraVariant.*;

import java.math.BigDecimal;
import java.util.function.Supplier;

/**
 * What the typed bindings need beyond Invoke, through the bridge: an object
 * result carries the interface its type information names (msxml6's nodes),
 * MivraVariant's conversions run in the bridge, and Task Scheduler (which
 * implements no IDispatch::Invoke under Wine) answers through vtable slots.
 * In the runtime's package, so that it reaches the COM layer's frames as the
 * generated classes' calls do.
 */
public final class BridgeTyped {
    private BridgeTyped() {
    }

    private static void check(boolean condition, String what) {
        if (!condition) {
            System.err.println("FAILED: " + what);
            System.exit(1);
        }
        System.out.println("ok: " + what);
    }

    private static void expectHResult(Runnable call, int hresult, String what) {
        try {
            call.run();
        } catch (MivraException e) {
            check(e.getHResult() == hresult, what + String.format(" (HRESULT 0x%08X: %s)", e.getHResult(), e.getMessage()));
            return;
        }
        check(false, what + ": no exception");
    }

    public static void main(String[] args) {
        ComLayer com = ComLayer.get();
        check(com instanceof BridgeComLayer, "the COM layer is the bridge");
        typeInformation(com);
        conversions();
        taskScheduler();
        System.out.println("typed calls through the bridge: all checks passed");
    }

    private static void typeInformation(ComLayer com) {
        com.initThread(false);
        long doc = com.create("Msxml2.DOMDocument.6.0", false);
        int[] vts = {VT_BSTR, 0};
        long[] bits = new long[2];
        Object[] refs = {"<r><e/>text<!--c--></r>", null};
        com.invoke(doc, com.dispIdOf(doc, "loadXML"), MivraObject.METHOD, VT_BOOL, vts, bits, refs);
        long root = object(com, doc, "documentElement");
        long list = object(com, root, "childNodes");
        String[] expected = {"{2933BF86-7B36-11D2-B20E-00C04F983E60}", "{2933BF87-7B36-11D2-B20E-00C04F983E60}",
            "{2933BF88-7B36-11D2-B20E-00C04F983E60}"};
        int item = com.dispIdOf(list, "item");
        for (int k = 0; k < expected.length; ++k) {
            int[] itemVts = {VT_I4, 0};
            long[] itemBits = {k, 0};
            Object[] itemRefs = new Object[2];
            com.invoke(list, item, MivraObject.PROPERTYGET, VT_DISPATCH, itemVts, itemBits, itemRefs);
            check(itemVts[1] == VT_DISPATCH && itemBits[1] != 0, "child " + k + " is an object");
            check(expected[k].equals(itemRefs[1]), "child " + k + "'s call names " + expected[k] + ": " + itemRefs[1]);
            check(expected[k].equals(com.typeInfoIid(itemBits[1])), "child " + k + " names it when asked");
            com.release(itemBits[1]);
        }
        // Declared as VARIANT, the result is not an object the Java half adopts: nothing is asked.
        int[] variantVts = {VT_I4, 0};
        long[] variantBits = {0, 0};
        Object[] variantRefs = new Object[2];
        com.invoke(list, item, MivraObject.PROPERTYGET, VT_VARIANT, variantVts, variantBits, variantRefs);
        check(variantVts[1] == VT_DISPATCH && variantRefs[1] == null, "a VARIANT result carries no IID");
        com.release(variantBits[1]);
        for (long p : new long[] {list, root, doc})
            com.release(p);
    }

    private static long object(ComLayer com, long dispatch, String name) {
        int[] vts = {0};
        long[] bits = {0};
        Object[] refs = {null};
        com.invoke(dispatch, com.dispIdOf(dispatch, name), MivraObject.PROPERTYGET, VT_DISPATCH, vts, bits, refs);
        return bits[0];
    }

    private static void conversions() {
        Object[][] table = {
            // value, accessor, expected
            {"42", "int", 42},
            {2.5, "int", 2},
            {3.5, "int", 4},
            {"2.5", "double", 2.5},
            {12, "string", "12"},
            {true, "string", "True"},
            {"True", "boolean", true},
            {0, "boolean", false},
            {"1.25", "decimal", new BigDecimal("1.25")},
            {(short) 7, "long", 7L},
        };
        for (Object[] row : table) {
            MivraVariant v = MivraVariant.of(row[0]);
            Object got = accessor(v, (String) row[1]).get();
            check(row[2].equals(got), "of(" + row[0] + ").as " + row[1] + " is " + row[2] + ": " + got);
        }
        expectHResult(() -> MivraVariant.of("abc").asInt(), 0x80020005, "\"abc\" as int: DISP_E_TYPEMISMATCH");
        expectHResult(() -> MivraVariant.of(3000000000L).asInt(), 0x8002000A, "3000000000 as int: DISP_E_OVERFLOW");
        // An object's text is its default value, read by the bridge from the object the client holds.
        MivraObject re = new MivraObject("VBScript.RegExp", false);
        re.setProperty$("Pattern", "b+");
        MivraObject matches = (MivraObject) re.invoke$("Execute", "abbbc");
        MivraObject match = (MivraObject) matches.getProperty$("Item", 0);
        check("bbb".equals(MivraVariant.of(match).asString()), "a match as text is its value");
        match.close();
        matches.close();
        re.close();
    }

    private static Supplier<Object> accessor(MivraVariant v, String name) {
        switch (name) {
        case "int": return v::asInt;
        case "long": return v::asLong;
        case "double": return v::asDouble;
        case "boolean": return v::asBoolean;
        case "decimal": return v::asDecimal;
        default: return v::asString;
        }
    }

    private static final String IID_TASK_SERVICE = "{2FABA4C7-4DA9-4013-9697-20CC3FD40F85}";
    private static final String IID_TASK_FOLDER = "{8CFAC062-A080-4C15-9A88-AA7C2AF80DFC}";
    private static final String IID_TASK_DEFINITION = "{F5BC8FC5-536D-4F77-B852-FBC1356FDEB6}";
    private static final String IID_TRIGGERS = "{85DF5081-1B24-4F32-878A-D9D14DF4CB77}";
    private static final String IID_DAILY_TRIGGER = "{126C5CD8-B288-41D5-8DBF-E491446ADC5C}";

    private static void taskScheduler() {
        MivraObject service = new MivraObject("Schedule.Service", false);
        service.mivraVtblCall(IID_TASK_SERVICE, 10, VT_EMPTY, new Object[] {EMPTY, EMPTY, EMPTY, EMPTY},
                new int[] {VT_VARIANT, VT_VARIANT, VT_VARIANT, VT_VARIANT});
        check(Boolean.TRUE.equals(service.mivraVtblCall(IID_TASK_SERVICE, 11, VT_BOOL, new Object[0], new int[0])),
                "ITaskService connected");
        MivraObject folder = (MivraObject) service.mivraVtblCall(IID_TASK_SERVICE, 7, VT_DISPATCH, new Object[] {"\\"},
                new int[] {VT_BSTR});
        check("\\".equals(folder.mivraVtblCall(IID_TASK_FOLDER, 8, VT_BSTR, new Object[0], new int[0])),
                "the root folder's path is \\");
        expectHResult(() -> service.mivraVtblCall(IID_TASK_SERVICE, 7, VT_DISPATCH, new Object[] {"\\no such folder"},
                new int[] {VT_BSTR}), 0x80070003, "a missing folder's failure is the function's HRESULT");
        MivraObject task = (MivraObject) service.mivraVtblCall(IID_TASK_SERVICE, 9, VT_DISPATCH, new Object[] {0},
                new int[] {VT_I4});
        MivraObject triggers = (MivraObject) task.mivraVtblCall(IID_TASK_DEFINITION, 9, VT_DISPATCH, new Object[0],
                new int[0]);
        MivraObject trigger = (MivraObject) triggers.mivraVtblCall(IID_TRIGGERS, 10, VT_DISPATCH, new Object[] {2},
                new int[] {VT_I4});
        trigger.mivraVtblCall(IID_DAILY_TRIGGER, 21, VT_EMPTY, new Object[] {(short) 3}, new int[] {VT_I2});
        Object days = trigger.mivraVtblCall(IID_DAILY_TRIGGER, 20, VT_I2, new Object[0], new int[0]);
        check(Short.valueOf((short) 3).equals(days), "a daily trigger's DaysInterval set and read back: " + days);
        for (MivraObject o : new MivraObject[] {trigger, triggers, task, folder, service})
            o.close();
    }
}
