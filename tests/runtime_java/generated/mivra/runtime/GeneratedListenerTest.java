package mivra.runtime;

import static mivra.runtime.MivraVariant.*;
import static org.junit.Assert.*;

import java.time.LocalDateTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import mvx.bell.Bell;
import mvx.bell.DBellEvents;
import org.junit.Test;

/**
 * The listener interface and adapter that `mivra generate --mapping full`
 * writes for the events server's library, on the runtime's sink: the
 * declared types agree with what the sink converts, holders go back.
 */
public class GeneratedListenerTest {
    @Test
    public void generatedListenerTakesEveryEventOfTheBell() throws Exception {
        FakeCom com = new FakeCom();
        ComLayer.install(com);
        com.sources.add(DBellEvents.IID);
        // The class is named by its ProgID when the generator found it registered.
        com.classes.put("Mivra.Bell", com::echoObject);
        com.classes.put("{6D1B0004-3C2A-4F5E-9A10-AABBCCDDEEFF}", com::echoObject);
        FakeCom.FakeObject source = com.echoObject();
        List<String> seen = new ArrayList<>();
        try (Bell bell = new Bell()) {
            AutoCloseable connection = bell.addDBellEventsListener(new DBellEvents() {
                @Override
                public void Ring(int count, String text, MivraObject from) {
                    seen.add("Ring " + count + " " + text + " " + (from != null));
                    from.close();
                }

                @Override
                public void Ask(String question, Holder<Integer> answer, Holder<Boolean> cancel, MivraVariant note) {
                    seen.add("Ask " + question + " " + answer.value + " " + cancel.value + " " + note.toJava());
                    answer.value = answer.value + 1;
                    cancel.value = true;
                    note.set(VT_I4, 5);
                }

                @Override
                public void Stamp(LocalDateTime when, MivraVariant extra, int[] numbers) {
                    seen.add("Stamp " + when + " " + extra.toJava() + " " + Arrays.toString(numbers));
                }
            });
            assertEquals(1, com.connections.size());
            long c = com.connections.keySet().iterator().next();

            assertNull(com.fire(c, 1, new int[] {VT_I4, VT_BSTR, VT_DISPATCH}, new long[] {3, 0, source.pointer},
                    new Object[] {null, "ring", null}));
            assertEquals(0, com.refs(source.pointer));

            Object[] note = Wire.frame(1);
            ((int[]) note[0])[0] = VT_BSTR;
            ((Object[]) note[2])[0] = "note";
            int[] vts = {VT_BSTR, VT_BYREF | VT_I4, VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT};
            long[] bits = {0, 20, 0, 0};
            Object[] refs = {"Cancel?", null, null, note};
            assertNull(com.fire(c, 2, vts, bits, refs));
            assertEquals(21, bits[1]);
            assertEquals(1, bits[2]);
            assertEquals(VT_I4, ((int[]) note[0])[0]);
            assertEquals(5, ((long[]) note[1])[0]);

            // Done keeps the interface's empty default method.
            assertNull(com.fire(c, 3, new int[] {VT_I4}, new long[] {4}, new Object[1]));

            int[] stampVts = new int[3];
            long[] stampBits = new long[3];
            Object[] stampRefs = new Object[3];
            Wire.encode(LocalDateTime.of(2026, 12, 8, 12, 0), VT_DATE, stampVts, stampBits, stampRefs, 0);
            Wire.encode(9, VT_I4, stampVts, stampBits, stampRefs, 1);
            Wire.encode(new int[] {1, 2}, VT_ARRAY | VT_I4, stampVts, stampBits, stampRefs, 2);
            assertNull(com.fire(c, 4, stampVts, stampBits, stampRefs));
            connection.close();
        }
        assertEquals(List.of("Ring 3 ring true", "Ask Cancel? 20 false note", "Stamp 2026-12-08T12:00 9 [1, 2]"), seen);
    }
}
