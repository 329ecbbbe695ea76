package mivra.runtime;

import static mivra.runtime.MivraVariant.*;
import static org.junit.Assert.*;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.List;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

/** Listeners: dispatch by DISPID, holders written back, failures to the handler, connections closed. */
public class EventsTest {
    static final String EVENTS_IID = "{22222222-3333-4444-5555-666666666666}";
    private FakeCom com;

    /** A listener interface and adapter as the generator writes them. */
    interface BellEvents {
        default void Ring(int count, String text, Thing source) {
        }

        default void Ask(String question, Holder<Integer> answer, Holder<Boolean> cancel, MivraVariant note) {
        }

        default void Done(int total) {
        }

        final class Adapter extends EventAdapter<BellEvents> {
            Adapter() {
                super(EVENTS_IID, BellEvents.class);
            }

            @Override
            protected int[] types(int dispId, int count) {
                switch (dispId) {
                case 1: return new int[] {VT_I4, VT_BSTR, VT_DISPATCH};
                case 2: return new int[] {VT_BSTR, VT_BYREF | VT_I4, VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT};
                case 3: return new int[] {VT_I4};
                default: return null;
                }
            }

            @Override
            protected void dispatch(BellEvents listener, int dispId, Object[] args) {
                switch (dispId) {
                case 1: listener.Ring((int) args[0], (String) args[1], adopt(args[2], Thing::new)); break;
                case 2: listener.Ask((String) args[0], holder(args[1]), holder(args[2]), (MivraVariant) args[3]); break;
                case 3: listener.Done((int) args[0]); break;
                default: break;
                }
            }
        }
    }

    @Before
    public void setUp() {
        com = new FakeCom();
        ComLayer.install(com);
        com.sources.add(EVENTS_IID);
        com.classes.put("Test.Bell", com::echoObject);
    }

    @After
    public void tearDown() {
        MivraObject.setEventExceptionHandler(null);
    }

    private static long only(java.util.Map<Long, ?> map) {
        assertEquals(1, map.size());
        return map.keySet().iterator().next();
    }

    private static Object[] askRefs(String note) {
        Object[] inner = Wire.frame(1);
        ((int[]) inner[0])[0] = VT_BSTR;
        ((Object[]) inner[2])[0] = note;
        return new Object[] {"Cancel?", null, null, inner};
    }

    @Test
    public void eventsReachTheirMethodsAndHoldersGoBack() {
        MivraObject bell = new Thing("Test.Bell");
        FakeCom.FakeObject source = com.echoObject();
        List<String> seen = new ArrayList<>();
        AutoCloseable connection = bell.addListener(new BellEvents.Adapter(), new BellEvents() {
            @Override
            public void Ring(int count, String text, Thing from) {
                seen.add("Ring " + count + " " + text + " " + from.echo(7, VT_I4));
                from.close();
            }

            @Override
            public void Ask(String question, Holder<Integer> answer, Holder<Boolean> cancel, MivraVariant note) {
                seen.add("Ask " + question + " " + answer.value + " " + cancel.value + " " + note.toJava());
                answer.value = answer.value * 2 + 1;
                cancel.value = true;
                note.set(VT_I4, 5);
            }
        });
        long c = only(com.connections);
        assertNull(com.fire(c, 1, new int[] {VT_I4, VT_BSTR, VT_DISPATCH}, new long[] {3, 0, source.pointer},
                new Object[] {null, "ring", null}));
        assertEquals(0, com.refs(source.pointer));

        int[] vts = {VT_BSTR, VT_BYREF | VT_I4, VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT};
        long[] bits = {0, 20, 0, 0};
        Object[] refs = askRefs("note");
        assertNull(com.fire(c, 2, vts, bits, refs));
        assertEquals(VT_BYREF | VT_I4, vts[1]);
        assertEquals(41, bits[1]);
        assertEquals(VT_BYREF | VT_BOOL, vts[2]);
        assertEquals(1, bits[2]);
        Object[] note = (Object[]) refs[3];
        assertEquals(VT_I4, ((int[]) note[0])[0]);
        assertEquals(5, ((long[]) note[1])[0]);

        // An event the listener leaves alone runs the default method; one the interface lacks is refused.
        assertNull(com.fire(c, 3, new int[] {VT_I4}, new long[] {4}, new Object[1]));
        assertEquals("DISP_E_MEMBERNOTFOUND", com.fire(c, 99, new int[0], new long[0], new Object[0]));
        assertEquals("DISP_E_MEMBERNOTFOUND", com.fire(c, 3, new int[2], new long[2], new Object[2]));
        assertEquals(List.of("Ring 3 ring 7", "Ask Cancel? 20 false note"), seen);
        close(connection);
    }

    private static void close(AutoCloseable connection) {
        try {
            connection.close();
        } catch (Exception e) {
            throw new AssertionError(e);
        }
    }

    @Test
    public void aThrowingListenerReachesTheHandlerAndTheServerGetsItsText() {
        MivraObject bell = new Thing("Test.Bell");
        List<Throwable> handled = new ArrayList<>();
        MivraObject.setEventExceptionHandler(handled::add);
        bell.addListener(new BellEvents.Adapter(), new BellEvents() {
            @Override
            public void Done(int total) {
                throw new IllegalStateException("done " + total);
            }
        });
        long c = only(com.connections);
        assertEquals("done 2", com.fire(c, 3, new int[] {VT_I4}, new long[] {2}, new Object[1]));
        assertEquals(1, handled.size());
        assertEquals("done 2", handled.get(0).getMessage());

        // A holder left null for a type that has no null: the listener's fault, reported the same way.
        bell.addListener(new BellEvents.Adapter(), new BellEvents() {
            @Override
            public void Ask(String question, Holder<Integer> answer, Holder<Boolean> cancel, MivraVariant note) {
                cancel.value = null;
            }
        });
        long second = com.connections.keySet().stream().filter(k -> k != c).findFirst().get();
        String text = com.fire(second, 2, new int[] {VT_BSTR, VT_BYREF | VT_I4, VT_BYREF | VT_BOOL, VT_BYREF | VT_VARIANT},
                new long[4], askRefs("n"));
        assertNotNull(text);
        assertEquals(2, handled.size());
        assertTrue(handled.get(1) instanceof NullPointerException);

        // The default handler prints to standard error.
        MivraObject.setEventExceptionHandler(null);
        PrintStream saved = System.err;
        ByteArrayOutputStream err = new ByteArrayOutputStream();
        System.setErr(new PrintStream(err, true));
        try {
            assertEquals("done 3", com.fire(c, 3, new int[] {VT_I4}, new long[] {3}, new Object[1]));
        } finally {
            System.setErr(saved);
        }
        assertTrue(err.toString(), err.toString().startsWith("Exception in a COM event listener: java.lang.IllegalStateException: done 3"));
    }

    @Test
    public void anyInterfaceByItsIdentifierWithVariants() {
        MivraObject bell = new Thing("Test.Bell");
        List<String> seen = new ArrayList<>();
        bell.addListener(EVENTS_IID, (dispId, args) -> {
            seen.add(dispId + ":" + args.length + ":" + args[0].toJava() + ":" + args[1].getVarType());
            args[1].set(VT_BSTR, "back");
        });
        long c = only(com.connections);
        assertEquals(EVENTS_IID, com.connectionIids.get(c));
        Object[] refs = {null, askRefs("x")[3]};
        int[] vts = {VT_I2, VT_BYREF | VT_VARIANT};
        assertNull(com.fire(c, 7, vts, new long[] {9, 0}, refs));
        assertEquals(List.of("7:2:9:8"), seen);
        Object[] back = (Object[]) refs[1];
        assertEquals(VT_BSTR, ((int[]) back[0])[0]);
        assertEquals("back", ((Object[]) back[2])[0]);
        assertThrows(MivraException.class, () -> bell.addListener("{99999999-0000-0000-0000-000000000000}", (d, a) -> { }));
    }

    @Test
    public void closingDisconnectsOnceOnTheOwningApartment() throws Exception {
        MivraObject bell = new Thing("Test.Bell");
        List<Integer> seen = new ArrayList<>();
        AutoCloseable connection = bell.addListener(new BellEvents.Adapter(), new BellEvents() {
            @Override
            public void Done(int total) {
                seen.add(total);
            }
        });
        long c = only(com.connections);
        EventSink sink = com.connections.get(c);
        // Closed on another thread: events stop at once, the Unadvise waits for the owner.
        Thread other = new Thread(() -> close(connection));
        other.start();
        other.join();
        assertTrue(com.unadvised.isEmpty());
        assertNull(sink.invoke(3, new int[] {VT_I4}, new long[] {1}, new Object[1]));
        assertTrue(seen.isEmpty());
        Apartment.releasePending();
        assertEquals(List.of(c), com.unadvised);
        connection.close();
        assertEquals(1, com.unadvised.size());

        // Closed on the owner: at once.
        AutoCloseable again = bell.addListener(new BellEvents.Adapter(), new BellEvents() { });
        again.close();
        again.close();
        assertEquals(2, com.unadvised.size());
        assertTrue(com.connections.isEmpty());
    }

    @Test
    public void aThreadOfTheServerJoinsTheMultithreadedApartment() throws Exception {
        MivraObject bell = new Thing("Test.Bell");
        List<Boolean> inMta = new ArrayList<>();
        bell.addListener(new BellEvents.Adapter(), new BellEvents() {
            @Override
            public void Done(int total) {
                inMta.add(Apartment.isMultithreaded());
            }
        });
        long c = only(com.connections);
        Thread server = new Thread(() -> com.fire(c, 3, new int[] {VT_I4}, new long[] {1}, new Object[1]));
        server.start();
        server.join();
        assertEquals(List.of(true), inMta);
        assertEquals(Boolean.TRUE, com.joined.get(server));
    }
}
