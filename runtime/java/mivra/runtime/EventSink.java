package mivra.runtime;

import static mivra.runtime.MivraVariant.VT_BYREF;
import static mivra.runtime.MivraVariant.VT_VARIANT;

/**
 * The Java side of one connected sink: the native sink asks it for an
 * event's declared types, converts the server's arguments to them, and hands
 * them here as a frame (see {@link ComLayer}); by-reference slots carry
 * {@code VT_BYREF} and get the listener's new values back.
 */
final class EventSink {
    private final EventAdapter<Object> adapter;
    private final Object listener;
    volatile boolean closed;

    @SuppressWarnings("unchecked")
    <L> EventSink(EventAdapter<L> adapter, L listener) {
        this.adapter = (EventAdapter<Object>) adapter;
        this.listener = listener;
    }

    /** Called by the native sink: the declared types, or null for an event the interface lacks. */
    int[] types(int dispId, int count) {
        try {
            int[] types = adapter.types(dispId, count);
            return types == null || types.length == count ? types : null;
        } catch (RuntimeException | Error e) {
            MivraObject.eventFailed(e);
            return null;
        }
    }

    /**
     * Called by the native sink with the arguments in declaration order.
     *
     * @return null when the listener returned, else the text of what it threw
     */
    String invoke(int dispId, int[] vts, long[] bits, Object[] refs) {
        try {
            if (closed)
                return null;
            int[] declared = adapter.types(dispId, vts.length);
            Apartment home = Apartment.forEvents();
            Object[] args = new Object[vts.length];
            for (int i = 0; i < args.length; ++i)
                args[i] = argument(declared[i], vts[i], bits[i], refs[i], home);
            adapter.dispatch(listener, dispId, args);
            for (int i = 0; i < args.length; ++i)
                if ((vts[i] & VT_BYREF) != 0)
                    writeBack(args[i], declared[i] & ~VT_BYREF, vts, bits, refs, i);
            return null;
        } catch (Throwable e) {
            MivraObject.eventFailed(e);
            String text = e.getMessage();
            return text != null && !text.isEmpty() ? text : e.getClass().getName();
        }
    }

    private static Object argument(int declared, int vt, long bits, Object ref, Apartment home) {
        int base = declared & ~VT_BYREF;
        if (base == VT_VARIANT) {
            if ((vt & VT_BYREF) == 0)
                return Wire.variant(vt, bits, ref, home);
            Object[] inner = (Object[]) ref;
            return Wire.variant(((int[]) inner[0])[0], ((long[]) inner[1])[0], ((Object[]) inner[2])[0], home);
        }
        Object value = Wire.decode(vt & ~VT_BYREF, bits, ref, false, home);
        return (declared & VT_BYREF) != 0 ? new Holder<>(value) : value;
    }

    private static void writeBack(Object arg, int base, int[] vts, long[] bits, Object[] refs, int i) {
        if (base == VT_VARIANT) {
            Object[] inner = (Object[]) refs[i];
            Wire.encode(arg, VT_VARIANT, (int[]) inner[0], (long[]) inner[1], (Object[]) inner[2], 0);
            return;
        }
        refs[i] = null;
        Wire.encode(((Holder<?>) arg).value, base, vts, bits, refs, i);
        vts[i] |= VT_BYREF;
    }
}
