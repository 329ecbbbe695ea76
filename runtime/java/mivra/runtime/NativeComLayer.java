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

    @Override
    native long invokeBits(long dispatch, int dispId, int flags, int resultVt, int n, int[] vts, long[] bits,
            Object[] refs);

    @Override
    native Object invokeRef(long dispatch, int dispId, int flags, int resultVt, int n, int[] vts, long[] bits,
            Object[] refs);

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
