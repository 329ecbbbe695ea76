package mivra.runtime;

import java.io.IOException;
import java.util.List;

/**
 * What the Java half needs from COM. The native library implements it
 * ({@link NativeComLayer}), or mivra-bridge.exe when one is configured
 * ({@link BridgeComLayer}, see {@link Bridge}); the Java half's own tests
 * install a stand-in.
 *
 * <p>Values cross as a frame of three parallel arrays, one slot per VARIANT:
 * {@code vts[i]} its VARTYPE, {@code bits[i]} a number (integers as they are,
 * R4 and R8/DATE as raw float or double bits, CY as its scaled 64-bit value,
 * interface pointers as addresses) and {@code refs[i]} an object for what is
 * not a number: a String for BSTR; {@code long[2]} (the DECIMAL's two 64-bit
 * halves) for DECIMAL; for a SAFEARRAY {@code Object[]{int[] counts, payload}}
 * with the elements in order of the first index varying fastest, the payload
 * a byte[], short[] (also VARIANT_BOOL), int[], long[] (also CY and
 * pointers; DECIMAL two per element), float[], double[] (also DATE), String[]
 * or, for VARIANT elements, a nested frame {@code Object[]{int[], long[], Object[]}};
 * for {@code VT_BYREF|VT_VARIANT} a nested frame of one slot.
 */
abstract class ComLayer {
    private static volatile ComLayer installed;

    static ComLayer get() {
        ComLayer layer = installed;
        if (layer == null) {
            synchronized (ComLayer.class) {
                layer = installed;
                if (layer == null) {
                    List<String> bridge = Bridge.configured();
                    if (bridge != null) {
                        try {
                            layer = BridgeComLayer.start(bridge);
                        } catch (IOException e) {
                            throw new MivraException("The bridge (" + String.join(" ", bridge) + ") did not start: "
                                    + e.getMessage(), 0x80004005);
                        }
                    } else {
                        layer = NativeComLayer.load();
                    }
                    installed = layer;
                }
            }
        }
        return layer;
    }

    /** Puts a stand-in in place of the native library (tests). */
    static void install(ComLayer layer) {
        installed = layer;
    }

    /** Joins the calling thread to COM; true when it is (now or already) in the multithreaded apartment. */
    abstract boolean initThread(boolean multithreaded);

    /** An owned IDispatch pointer of a new or running object. */
    abstract long create(String classId, boolean find);

    /** An owned pointer of the interface, or 0 when the object lacks it. */
    abstract long queryInterface(long unknown, String iid);

    abstract void release(long unknown);

    abstract int dispIdOf(long dispatch, String name);

    /**
     * IDispatch::Invoke with the arguments in slots 0 to n-1 (declaration
     * order) and the result, converted to resultVt, left in slot n; by-reference
     * slots hold their new values afterwards (their VARTYPE without VT_BYREF).
     * Interface pointers handed back are owned by the caller. An object result
     * declared {@code VT_DISPATCH} or {@code VT_UNKNOWN} may carry in refs[n] the
     * IID its type information names (as {@link #typeInfoIid} gives it, "" for
     * none), asked inside the same call; null there makes the Java half ask.
     */
    abstract void invoke(long dispatch, int dispId, int flags, int resultVt, int[] vts, long[] bits, Object[] refs);

    /**
     * {@link #invoke} for a result whose Java value its bits alone give (a
     * number, a date, a boolean, none): argument i's bits in slots[i] (a
     * string's its length) and its VARTYPE in slots[n + i], its reference in
     * refs[i] (both arrays may be null when n is 0); no slot for the result,
     * whose bits are returned; only by-reference slots are written back.
     */
    long invokeBits(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs) {
        Object[] frame = Wire.frame(n + 1);
        long[] resultBits = (long[]) frame[1];
        invokeOverFrame(dispatch, dispId, flags, resultVt, n, slots, refs, frame);
        return resultBits[n];
    }

    /**
     * {@link #invokeBits} for a result whose Java value its reference alone
     * gives (a string, a decimal, an array): the reference returned.
     */
    Object invokeRef(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs) {
        Object[] frame = Wire.frame(n + 1);
        Object[] resultRefs = (Object[]) frame[2];
        invokeOverFrame(dispatch, dispId, flags, resultVt, n, slots, refs, frame);
        return resultRefs[n];
    }

    /**
     * {@link #invokeBits} for a result declared {@code VT_DISPATCH}: its
     * pointer returned (owned by the caller, 0 for none), and in iid[0] the IID
     * its type information names as {@link #invoke} leaves it in refs[n].
     */
    long invokeObject(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs,
            String[] iid) {
        Object[] frame = Wire.frame(n + 1);
        invokeOverFrame(dispatch, dispId, flags, resultVt, n, slots, refs, frame);
        Object ref = ((Object[]) frame[2])[n];
        if (ref instanceof String)
            iid[0] = (String) ref;
        return ((long[]) frame[1])[n];
    }

    /**
     * {@link #invokeBits} for a result declared {@code VT_VARIANT}: its
     * VARTYPE in result[0], its bits in result[1], its reference returned.
     */
    Object invokeVariant(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs,
            long[] result) {
        Object[] frame = Wire.frame(n + 1);
        invokeOverFrame(dispatch, dispId, flags, resultVt, n, slots, refs, frame);
        result[0] = ((int[]) frame[0])[n];
        result[1] = ((long[]) frame[1])[n];
        return ((Object[]) frame[2])[n];
    }

    private void invokeOverFrame(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots,
            Object[] refs, Object[] frame) {
        int[] allVts = (int[]) frame[0];
        long[] allBits = (long[]) frame[1];
        Object[] allRefs = (Object[]) frame[2];
        for (int i = 0; i < n; ++i) {
            allVts[i] = (int) slots[n + i];
            allBits[i] = slots[i];
            allRefs[i] = refs[i];
        }
        invoke(dispatch, dispId, flags, resultVt, allVts, allBits, allRefs);
        for (int i = 0; i < n; ++i)
            if ((slots[n + i] & MivraVariant.VT_BYREF) != 0) {
                slots[n + i] = allVts[i];
                slots[i] = allBits[i];
                refs[i] = allRefs[i];
            }
    }

    /**
     * A function of an interface through its vtable ({@code DispCallFunc},
     * stdcall, an HRESULT returned): the arguments in slots 0 to n-1, their
     * declared VARTYPEs in declared ({@code VT_VARIANT} ones passed as
     * VARIANTs, by-reference ones as pointers, written back as by
     * {@link #invoke}); with resultVt not {@code VT_EMPTY} a last
     * {@code [out,retval]} pointer whose value is left in slot n. A failing
     * HRESULT throws, with the text of the object's IErrorInfo when it offers
     * one for the interface iid. An object result carries its type
     * information's IID as for {@link #invoke}.
     *
     * @param unknown the interface's pointer
     * @param slot the function's index in the vtable
     */
    abstract void vtblCall(long unknown, int slot, String iid, int resultVt, int[] declared, int[] vts, long[] bits,
            Object[] refs);

    /**
     * The IID of the object's type information (IDispatch::GetTypeInfo, then
     * its TYPEATTR), braced and in capitals; null when the object gives none.
     */
    abstract String typeInfoIid(long dispatch);

    /**
     * Converts slot 0 of the frame to vt in place, as VariantChangeTypeEx does
     * with LOCALE_INVARIANT and VARIANT_ALPHABOOL; throws MivraException with
     * its HRESULT when it cannot.
     */
    abstract void changeType(int vt, int[] vts, long[] bits, Object[] refs);

    /** The collection's IEnumVARIANT (owned), from DISPID_NEWENUM. */
    abstract long newEnum(long dispatch);

    /**
     * The next elements, up to the frame's length; the number fetched, 0 at
     * the end. With elementVt VT_DISPATCH each element is an IDispatch pointer or 0,
     * its refs slot the IID its type information names as for {@link #invoke}.
     */
    abstract int next(long enumerator, int elementVt, int[] vts, long[] bits, Object[] refs);

    /** Dispatches the thread's window messages for up to millis milliseconds. */
    abstract void pump(int millis);

    /**
     * Connects a sink for the source interface iid to the object
     * (IConnectionPointContainer::FindConnectionPoint, IConnectionPoint::Advise):
     * the server's events reach sink from then on.
     *
     * @return a handle of the connection, for {@link #unadvise}
     */
    abstract long advise(long unknown, String iid, EventSink sink);

    /** Ends a connection (Unadvise); the native sink lets go of its EventSink. */
    abstract void unadvise(long connection);
}
