package mivra.runtime;

import static mivra.runtime.MivraVariant.*;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;

/**
 * A COM layer in Java standing in for the native half: objects with reference
 * counts, members as lambdas over the frame, enumerators over lists. It
 * records what the Java half did (releases with their threads, frames seen).
 */
final class FakeCom extends ComLayer {
    interface Member {
        void call(FakeObject self, int flags, int[] vts, long[] bits, Object[] refs);
    }

    final class FakeObject {
        final long pointer;
        int refs = 1;
        final Map<Integer, Member> members = new HashMap<>();
        final Map<String, Integer> names = new HashMap<>();
        final Set<String> iids = new HashSet<>();
        final Map<Integer, Member> slots = new HashMap<>();
        String typeInfo;
        final List<Object[]> elements = new ArrayList<>();   // {vt, bits, ref} each
        int position;

        FakeObject() {
            pointer = next += 16;
            objects.put(pointer, this);
        }

        FakeObject member(String name, int dispId, Member member) {
            names.put(name.toLowerCase(), dispId);
            members.put(dispId, member);
            return this;
        }
    }

    // Pointers differ across fakes, so a late release of an earlier test's object is told apart.
    private static long next = 0x10000;
    final Map<Long, FakeObject> objects = new ConcurrentHashMap<>();
    final Map<String, java.util.function.Supplier<FakeObject>> classes = new HashMap<>();
    final List<String> releaseThreads = new ArrayList<>();
    final Map<Thread, Boolean> joined = new ConcurrentHashMap<>();
    int overReleases;
    final List<String> asked = new ArrayList<>();
    int[] lastVts;
    int lastFlags;

    synchronized FakeObject object(long pointer) {
        FakeObject o = objects.get(pointer);
        if (o == null || o.refs <= 0)
            throw new AssertionError("a call through a dead pointer " + pointer);
        return o;
    }

    /** References held on the object, 0 once released. */
    synchronized int refs(long pointer) {
        FakeObject o = objects.get(pointer);
        return o == null ? 0 : o.refs;
    }

    synchronized int live() {
        int n = 0;
        for (FakeObject o : objects.values())
            n += o.refs > 0 ? 1 : 0;
        return n;
    }

    @Override
    boolean initThread(boolean multithreaded) {
        if (joined.putIfAbsent(Thread.currentThread(), multithreaded) != null)
            throw new AssertionError("a thread joined twice");
        return multithreaded;
    }

    @Override
    synchronized long create(String classId, boolean find) {
        java.util.function.Supplier<FakeObject> maker = classes.get(classId);
        if (maker == null)
            throw new MivraException("Cannot create \"" + classId + "\": Invalid class string", 0x800401F3);
        return maker.get().pointer;
    }

    @Override
    synchronized long queryInterface(long unknown, String iid) {
        FakeObject o = object(unknown);
        asked.add(iid);
        if (!o.iids.contains(iid))
            return 0;
        o.refs++;
        return unknown;
    }

    @Override
    synchronized void release(long unknown) {
        FakeObject o = objects.get(unknown);
        if (o == null)
            return;
        if (o.refs <= 0) {
            overReleases++;
            return;
        }
        o.refs--;
        releaseThreads.add(Thread.currentThread().getName());
    }

    @Override
    synchronized int dispIdOf(long dispatch, String name) {
        Integer id = object(dispatch).names.get(name.toLowerCase());
        if (id == null)
            throw new MivraException(name + ": Unknown name.", 0x80020006);
        return id;
    }

    @Override
    synchronized void invoke(long dispatch, int dispId, int flags, int resultVt, int[] vts, long[] bits, Object[] refs) {
        FakeObject o = object(dispatch);
        Member member = o.members.get(dispId);
        if (member == null)
            throw new MivraException("0x80020003", 0x80020003);
        lastVts = vts.clone();
        lastFlags = flags;
        member.call(o, flags, vts, bits, refs);
        // A pointer handed to the caller is a new reference.
        int n = vts.length - 1;
        if ((vts[n] == VT_DISPATCH || vts[n] == VT_UNKNOWN) && bits[n] != 0) {
            object(bits[n]).refs++;
            if (typeInfoInCall && vts[n] == VT_DISPATCH && resultVt != VT_VARIANT)
                refs[n] = object(bits[n]).typeInfo == null ? "" : object(bits[n]).typeInfo;
        }
    }

    /** Whether invoke gives an object result's type information, as the native half does. */
    boolean typeInfoInCall = true;
    int typeInfoCalls;

    int[] lastDeclared;
    String lastIid;

    @Override
    synchronized void vtblCall(long unknown, int slot, String iid, int resultVt, int[] declared, int[] vts, long[] bits,
            Object[] refs) {
        FakeObject o = object(unknown);
        Member member = o.slots.get(slot);
        if (member == null)
            throw new MivraException("Not implemented", 0x80004001);
        lastVts = vts.clone();
        lastDeclared = declared.clone();
        lastIid = iid;
        member.call(o, 0, vts, bits, refs);
        int n = vts.length - 1;
        if ((vts[n] == VT_DISPATCH || vts[n] == VT_UNKNOWN) && bits[n] != 0)
            object(bits[n]).refs++;
    }

    @Override
    synchronized String typeInfoIid(long dispatch) {
        typeInfoCalls++;
        return object(dispatch).typeInfo;
    }

    int changes;

    /** A few of VariantChangeType's conversions, enough to see the Java half's handling of what comes back. */
    @Override
    void changeType(int vt, int[] vts, long[] bits, Object[] refs) {
        changes++;
        Object value = Wire.decode(vts[0], bits[0], refs[0], true, null);
        Object out;
        if (vts[0] == VT_NULL)
            throw new MivraException("Type mismatch.", 0x80020005);
        String text = vts[0] == VT_EMPTY ? "" : String.valueOf(value);
        switch (vt) {
        case VT_BSTR: out = text; break;
        case VT_I4: {
            double d = text.isEmpty() ? 0 : parse(text);
            if (Math.rint(d) > Integer.MAX_VALUE || Math.rint(d) < Integer.MIN_VALUE)
                throw new MivraException("Out of present range.", 0x8002000A);
            out = (int) Math.rint(d);
            break;
        }
        case VT_I8: out = (long) Math.rint(text.isEmpty() ? 0 : parse(text)); break;
        case VT_R8: out = text.isEmpty() ? 0.0 : parse(text); break;
        case VT_BOOL: out = text.equalsIgnoreCase("true") || (!text.equalsIgnoreCase("false") && !text.isEmpty() && parse(text) != 0); break;
        case VT_DECIMAL: out = new java.math.BigDecimal(text.isEmpty() ? "0" : text); break;
        case VT_DATE: out = Wire.fromOleDate(text.isEmpty() ? 0 : parse(text)); break;
        default: throw new MivraException("Type mismatch.", 0x80020005);
        }
        Wire.encode(out, vt, vts, bits, refs, 0);
    }

    private static double parse(String text) {
        try {
            return Double.parseDouble(text);
        } catch (NumberFormatException e) {
            throw new MivraException("Type mismatch.", 0x80020005);
        }
    }

    @Override
    synchronized long newEnum(long dispatch) {
        FakeObject source = object(dispatch);
        FakeObject enumerator = new FakeObject();
        enumerator.elements.addAll(source.elements);
        return enumerator.pointer;
    }

    @Override
    synchronized int next(long enumerator, int elementVt, int[] vts, long[] bits, Object[] refs) {
        FakeObject e = object(enumerator);
        int n = 0;
        for (; n < vts.length && e.position < e.elements.size(); ++n) {
            Object[] element = e.elements.get(e.position++);
            vts[n] = (Integer) element[0];
            bits[n] = (Long) element[1];
            refs[n] = element[2];
            if (vts[n] == VT_DISPATCH && bits[n] != 0)
                object(bits[n]).refs++;
        }
        return n;
    }

    @Override
    void pump(int millis) {
        try {
            Thread.sleep(Math.min(millis, 5));
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    // Connection points: what advise connected, fired as the native sink does.

    final Map<Long, EventSink> connections = new ConcurrentHashMap<>();
    final Map<Long, String> connectionIids = new ConcurrentHashMap<>();
    final List<Long> unadvised = new ArrayList<>();
    final Set<String> sources = new HashSet<>();
    private long nextConnection = 0x7000;

    @Override
    synchronized long advise(long unknown, String iid, EventSink sink) {
        object(unknown);
        if (!sources.contains(iid))
            throw new MivraException("Connecting a listener of " + iid + ": 0x80040200", 0x80040200);
        long connection = ++nextConnection;
        connections.put(connection, sink);
        connectionIids.put(connection, iid);
        return connection;
    }

    @Override
    synchronized void unadvise(long connection) {
        if (connections.remove(connection) == null)
            throw new AssertionError("Unadvise of a connection not made, or made twice: " + connection);
        unadvised.add(connection);
    }

    /**
     * An event as the native sink delivers it: the declared types asked, the
     * slots filled (by-reference ones with VT_BYREF); the listener's failure
     * text, or null. With no such event, "DISP_E_MEMBERNOTFOUND".
     */
    String fire(long connection, int dispId, int[] vts, long[] bits, Object[] refs) {
        EventSink sink = connections.get(connection);
        if (sink == null)
            return "not connected";
        if (sink.types(dispId, vts.length) == null)
            return "DISP_E_MEMBERNOTFOUND";
        return sink.invoke(dispId, vts, bits, refs);
    }

    // Members the tests use.

    /** Puts slot 0 into the result slot, as a server returning its argument does. */
    static final Member ECHO = (self, flags, vts, bits, refs) -> {
        int n = vts.length - 1;
        vts[n] = vts[0];
        bits[n] = bits[0];
        refs[n] = refs[0];
    };

    /** A server that changes its by-reference arguments: I4 doubled, BSTR with "!", VARIANT set to R8 1.5. */
    static final Member CHANGE = (self, flags, vts, bits, refs) -> {
        for (int i = 0; i < vts.length - 1; ++i) {
            if (vts[i] == (VT_BYREF | VT_I4)) {
                vts[i] = VT_I4;
                bits[i] *= 2;
            } else if (vts[i] == (VT_BYREF | VT_BSTR)) {
                vts[i] = VT_BSTR;
                refs[i] = refs[i] + "!";
            } else if (vts[i] == (VT_BYREF | VT_VARIANT)) {
                Object[] inner = (Object[]) refs[i];
                ((int[]) inner[0])[0] = VT_R8;
                ((long[]) inner[1])[0] = Double.doubleToRawLongBits(1.5);
            }
        }
        vts[vts.length - 1] = VT_EMPTY;
    };

    /** A plain object with an echo member (dispId 1, name "Echo"). */
    FakeObject echoObject() {
        return new FakeObject().member("Echo", 1, ECHO).member("Change", 2, CHANGE);
    }
}
