package mivra.runtime;

/** The native half: mivra_runtime32.dll or mivra_runtime64.dll. */
final class NativeComLayer extends ComLayer {
    private NativeComLayer() {
    }

    static NativeComLayer load() {
        NativeLoader.load();
        return loaded();
    }

    /** The layer over a native library loaded already (the benchmarks load one of their own). */
    static NativeComLayer loaded() {
        initialize();
        return new NativeComLayer();
    }

    private static native void initialize();

    @Override
    native boolean initThread(boolean multithreaded);

    @Override
    native long create(String classId, boolean find);

    @Override
    native long queryInterface(long unknown, String iid);

    @Override
    native void release(long unknown);

    @Override
    native int dispIdOf(long dispatch, String name);

    @Override
    native void invoke(long dispatch, int dispId, int flags, int resultVt, int[] vts, long[] bits, Object[] refs);

    /**
     * Room for a string result: the native fills it (its length, two chars,
     * then its text) instead of making the String, which costs a JNI call
     * several times the String made here.
     */
    static final int TEXT_ROOM = 66;

    @Override
    long invokeBits(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs) {
        checkSlots(n, slots, refs);
        return callBits(dispatch, dispId, flags, resultVt, n, slots, refs);
    }

    @Override
    Object invokeRef(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs) {
        checkSlots(n, slots, refs);
        char[] text = resultVt == MivraVariant.VT_BSTR || resultVt == MivraVariant.VT_LPWSTR
                || resultVt == MivraVariant.VT_LPSTR ? new char[TEXT_ROOM] : null;
        Object ref = callRef(dispatch, dispId, flags, resultVt, n, slots, refs, text);
        return ref == text && text != null ? new String(text, 2, text[0]) : ref;
    }

    @Override
    long invokeObject(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs,
            String[] iid) {
        checkSlots(n, slots, refs);
        char[] text = new char[TEXT_ROOM];
        // A length no IID has, left when the call gives none.
        text[1] = 0xFFFF;
        long pointer = callObject(dispatch, dispId, flags, resultVt, n, slots, refs, text);
        if (text[1] != 0xFFFF)
            iid[0] = new String(text, 2, text[0]);
        return pointer;
    }

    @Override
    Object invokeVariant(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots, Object[] refs,
            long[] result) {
        checkSlots(n, slots, refs);
        if (result.length < 2)
            throw new IllegalArgumentException("No room for a VARTYPE and bits");
        char[] text = new char[TEXT_ROOM];
        Object ref = callVariant(dispatch, dispId, flags, resultVt, n, slots, refs, result, text);
        return ref == text ? new String(text, 2, text[0]) : ref;
    }

    // The native reads the slots without asking the JVM after each read whether it failed (each question is
    // a JNI call): what could make a read fail is refused here.
    private static void checkSlots(int n, long[] slots, Object[] refs) {
        if (n == 0)
            return;
        if (n < 0 || slots.length / 2 < n || refs.length < n)
            throw new IllegalArgumentException(n + " arguments in slots too short");
        for (int i = 0; i < n; ++i)
            if (slots[n + i] == MivraVariant.VT_BSTR && refs[i] != null && slots[i] != ((String) refs[i]).length())
                throw new IllegalArgumentException("Argument " + i + " gives a length other than its string's");
    }

    private native long callBits(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots,
            Object[] refs);

    private native Object callRef(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots,
            Object[] refs, char[] text);

    private native Object callVariant(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots,
            Object[] refs, long[] result, char[] text);

    private native long callObject(long dispatch, int dispId, int flags, int resultVt, int n, long[] slots,
            Object[] refs, char[] text);

    @Override
    native void vtblCall(long unknown, int slot, String iid, int resultVt, int[] declared, int[] vts, long[] bits,
            Object[] refs);

    @Override
    native String typeInfoIid(long dispatch);

    @Override
    native void changeType(int vt, int[] vts, long[] bits, Object[] refs);

    @Override
    native long newEnum(long dispatch);

    @Override
    native int next(long enumerator, int elementVt, int[] vts, long[] bits, Object[] refs);

    @Override
    native void pump(int millis);

    @Override
    native long advise(long unknown, String iid, EventSink sink);

    @Override
    native void unadvise(long connection);
}
