package mivra.runtime;

import static mivra.runtime.MivraVariant.*;

import java.nio.BufferUnderflowException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * One message between the Java half and mivra-bridge.exe, and its bytes (the
 * format is in runtime/native/bridge_wire.h; the field letters of each
 * operation are in {@link #fields}). Frames are ComLayer's frames.
 */
final class BridgeMessage {
    private static final int MAX_NESTING = 8;
    private static final int MAX_ELEMENTS = 1 << 26;

    int channel;
    final int op;
    long h, bigH;
    int i, j, k;
    String s;
    final String[] strings = new String[3];
    int[] ints;
    Object[] frame;

    BridgeMessage(int channel, int op) {
        this.channel = channel;
        this.op = op;
    }

    static String fields(int op) {
        switch (op) {
        case BridgeComLayer.OP_INIT_THREAD: return "i";
        case BridgeComLayer.OP_CREATE: return "si";
        case BridgeComLayer.OP_QUERY_INTERFACE: return "hs";
        case BridgeComLayer.OP_RELEASE: return "h";
        case BridgeComLayer.OP_DISPID: return "hs";
        case BridgeComLayer.OP_INVOKE: return "hijkF";
        case BridgeComLayer.OP_NEW_ENUM: return "h";
        case BridgeComLayer.OP_NEXT: return "hij";
        case BridgeComLayer.OP_PUMP: return "i";
        case BridgeComLayer.OP_ADVISE: return "hsH";
        case BridgeComLayer.OP_UNADVISE: return "h";
        case BridgeComLayer.OP_STATISTICS: return "";
        case BridgeComLayer.OP_ECHO: return "s";
        case BridgeComLayer.OP_TYPES_RESULT: return "iF";
        case BridgeComLayer.OP_EVENT_RESULT: return "isF";
        case BridgeComLayer.OP_VTBL_CALL: return "hiksIF";
        case BridgeComLayer.OP_TYPE_INFO_IID: return "h";
        case BridgeComLayer.OP_CHANGE_TYPE: return "iF";
        case BridgeComLayer.OP_RESULT: return "hHisF";
        case BridgeComLayer.OP_FAILURE: return "ijkhssss";
        case BridgeComLayer.OP_EVENT_TYPES: return "hij";
        case BridgeComLayer.OP_EVENT: return "hiF";
        default: return null;
        }
    }

    MivraException failure() {
        return new MivraException(s != null ? s : "COM call failed", i, j, strings[0], strings[1], strings[2], k, (int) h);
    }

    // Encoding.

    byte[] encode() {
        Out out = new Out();
        out.u32(0);
        out.u32(channel);
        out.u16(op);
        int strings = 0;
        for (char f : fields(op).toCharArray()) {
            switch (f) {
            case 'h': out.u64(h); break;
            case 'H': out.u64(bigH); break;
            case 'i': out.u32(i); break;
            case 'j': out.u32(j); break;
            case 'k': out.u32(k); break;
            case 's': out.string(strings == 0 ? s : this.strings[strings - 1]); ++strings; break;
            case 'I':
                out.u32(ints.length);
                for (int v : ints)
                    out.u32(v);
                break;
            default: out.frame(frame); break;
            }
        }
        byte[] bytes = out.bytes();
        int length = bytes.length - 4;
        bytes[0] = (byte) length;
        bytes[1] = (byte) (length >> 8);
        bytes[2] = (byte) (length >> 16);
        bytes[3] = (byte) (length >> 24);
        return bytes;
    }

    private static final class Out {
        private ByteBuffer buffer = ByteBuffer.allocate(256).order(ByteOrder.LITTLE_ENDIAN);

        private ByteBuffer room(int n) {
            if (buffer.remaining() < n) {
                int capacity = Math.max(buffer.capacity() * 2, buffer.position() + n);
                if (capacity > BridgeComLayer.MAX_MESSAGE + 4)
                    throw new MivraException("A call's values exceed the bridge's message limit", 0x80070057);
                ByteBuffer grown = ByteBuffer.allocate(capacity).order(ByteOrder.LITTLE_ENDIAN);
                buffer.flip();
                grown.put(buffer);
                buffer = grown;
            }
            return buffer;
        }

        void u8(int v) { room(1).put((byte) v); }
        void u16(int v) { room(2).putShort((short) v); }
        void u32(int v) { room(4).putInt(v); }
        void u64(long v) { room(8).putLong(v); }

        void string(String text) {
            if (text == null) {
                u32(-1);
                return;
            }
            u32(text.length());
            ByteBuffer b = room(2 * text.length());
            for (int c = 0; c < text.length(); ++c)
                b.putChar(text.charAt(c));
        }

        void frame(Object[] frame) {
            if (frame == null) {
                u32(0);
                return;
            }
            int[] vts = (int[]) frame[0];
            long[] bits = (long[]) frame[1];
            Object[] refs = (Object[]) frame[2];
            u32(vts.length);
            for (int n = 0; n < vts.length; ++n) {
                u32(vts[n]);
                u64(bits[n]);
                ref(vts[n], refs[n]);
            }
        }

        void ref(int vt, Object ref) {
            int base = vt & ~VT_BYREF;
            if ((base & VT_ARRAY) != 0) {
                u8(ref != null ? 1 : 0);
                if (ref != null)
                    array(base & 0xFFF, (Object[]) ref);
            } else if (base == VT_BSTR) {
                string((String) ref);
            } else if (vt == VT_DISPATCH) {
                string(ref instanceof String ? (String) ref : null);
            } else if (base == VT_DECIMAL) {
                u8(ref != null ? 1 : 0);
                if (ref != null) {
                    u64(((long[]) ref)[0]);
                    u64(((long[]) ref)[1]);
                }
            } else if (vt == (VT_BYREF | VT_VARIANT)) {
                frame((Object[]) ref);
            }
        }

        void array(int elementVt, Object[] wire) {
            int[] counts = (int[]) wire[0];
            Object payload = wire[1];
            u32(counts.length);
            int total = 1;
            for (int c : counts) {
                u32(c);
                total *= c;
            }
            if (elementVt == VT_VARIANT) {
                frame((Object[]) payload);
            } else if (payload instanceof String[]) {
                for (int e = 0; e < total; ++e)
                    string(((String[]) payload)[e]);
            } else if (payload instanceof byte[]) {
                room(total).put((byte[]) payload, 0, total);
            } else if (payload instanceof short[]) {
                ByteBuffer b = room(2 * total);
                for (int e = 0; e < total; ++e)
                    b.putShort(((short[]) payload)[e]);
            } else if (payload instanceof int[]) {
                ByteBuffer b = room(4 * total);
                for (int e = 0; e < total; ++e)
                    b.putInt(((int[]) payload)[e]);
            } else if (payload instanceof float[]) {
                ByteBuffer b = room(4 * total);
                for (int e = 0; e < total; ++e)
                    b.putFloat(((float[]) payload)[e]);
            } else if (payload instanceof double[]) {
                ByteBuffer b = room(8 * total);
                for (int e = 0; e < total; ++e)
                    b.putDouble(((double[]) payload)[e]);
            } else {
                long[] longs = (long[]) payload;
                int n = elementVt == VT_DECIMAL ? 2 * total : total;
                ByteBuffer b = room(8 * n);
                for (int e = 0; e < n; ++e)
                    b.putLong(longs[e]);
            }
        }

        byte[] bytes() {
            byte[] bytes = new byte[buffer.position()];
            buffer.flip();
            buffer.get(bytes);
            return bytes;
        }
    }

    // Decoding: what the bridge sent, checked as the bridge checks what it gets.

    static BridgeMessage decode(byte[] body) {
        ByteBuffer in = ByteBuffer.wrap(body).order(ByteOrder.LITTLE_ENDIAN);
        try {
            int channel = in.getInt();
            int op = in.getShort() & 0xFFFF;
            String fields = fields(op);
            if (fields == null)
                throw new IllegalStateException("unknown operation " + op);
            BridgeMessage m = new BridgeMessage(channel, op);
            int strings = 0;
            for (char f : fields.toCharArray()) {
                switch (f) {
                case 'h': m.h = in.getLong(); break;
                case 'H': m.bigH = in.getLong(); break;
                case 'i': m.i = in.getInt(); break;
                case 'j': m.j = in.getInt(); break;
                case 'k': m.k = in.getInt(); break;
                case 's':
                    if (strings == 0)
                        m.s = string(in);
                    else
                        m.strings[strings - 1] = string(in);
                    ++strings;
                    break;
                case 'I': {
                    int count = in.getInt();
                    need(in, 4L * (count & 0xFFFFFFFFL));
                    m.ints = new int[count];
                    in.asIntBuffer().get(m.ints);
                    in.position(in.position() + 4 * count);
                    break;
                }
                default: m.frame = frame(in, 0); break;
                }
            }
            if (in.hasRemaining())
                throw new IllegalStateException("bytes after the last field");
            return m;
        } catch (BufferUnderflowException | ClassCastException | NegativeArraySizeException e) {
            throw new IllegalStateException("a malformed message", e);
        }
    }

    private static void need(ByteBuffer in, long bytes) {
        if (bytes > in.remaining())
            throw new IllegalStateException("a length beyond the message");
    }

    private static String string(ByteBuffer in) {
        int length = in.getInt();
        if (length == -1)
            return null;
        need(in, 2L * (length & 0xFFFFFFFFL));
        char[] text = new char[length];
        for (int c = 0; c < length; ++c)
            text[c] = in.getChar();
        return new String(text);
    }

    private static Object[] frame(ByteBuffer in, int depth) {
        if (depth > MAX_NESTING)
            throw new IllegalStateException("frames nested too deep");
        int count = in.getInt();
        need(in, 12L * (count & 0xFFFFFFFFL));
        int[] vts = new int[count];
        long[] bits = new long[count];
        Object[] refs = new Object[count];
        for (int n = 0; n < count; ++n) {
            vts[n] = in.getInt();
            bits[n] = in.getLong();
            refs[n] = ref(in, vts[n], depth);
        }
        return new Object[] {vts, bits, refs};
    }

    private static Object ref(ByteBuffer in, int vt, int depth) {
        int base = vt & ~VT_BYREF;
        if ((base & VT_ARRAY) != 0)
            return in.get() != 0 ? array(in, base & 0xFFF, depth) : null;
        if (base == VT_BSTR || vt == VT_DISPATCH)
            return string(in);
        if (base == VT_DECIMAL)
            return in.get() != 0 ? new long[] {in.getLong(), in.getLong()} : null;
        if (vt == (VT_BYREF | VT_VARIANT))
            return frame(in, depth + 1);
        return null;
    }

    private static Object[] array(ByteBuffer in, int elementVt, int depth) {
        int dims = in.getInt();
        if (dims < 1 || dims > 8)
            throw new IllegalStateException("array dimensions out of range");
        int[] counts = new int[dims];
        long total = 1;
        for (int d = 0; d < dims; ++d) {
            counts[d] = in.getInt();
            total *= counts[d] & 0xFFFFFFFFL;
            if (total > MAX_ELEMENTS)
                throw new IllegalStateException("array too large");
        }
        int n = (int) total;
        Object payload;
        switch (elementVt) {
        case VT_VARIANT: payload = frame(in, depth + 1); break;
        case VT_BSTR: {
            need(in, 4L * n);
            String[] texts = new String[n];
            for (int e = 0; e < n; ++e)
                texts[e] = string(in);
            payload = texts;
            break;
        }
        case VT_I1: case VT_UI1: {
            need(in, n);
            byte[] bytes = new byte[n];
            in.get(bytes);
            payload = bytes;
            break;
        }
        case VT_I2: case VT_UI2: case VT_BOOL: {
            need(in, 2L * n);
            short[] shorts = new short[n];
            in.asShortBuffer().get(shorts);
            in.position(in.position() + 2 * n);
            payload = shorts;
            break;
        }
        case VT_R4: {
            need(in, 4L * n);
            float[] floats = new float[n];
            in.asFloatBuffer().get(floats);
            in.position(in.position() + 4 * n);
            payload = floats;
            break;
        }
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: {
            need(in, 4L * n);
            int[] ints = new int[n];
            in.asIntBuffer().get(ints);
            in.position(in.position() + 4 * n);
            payload = ints;
            break;
        }
        case VT_R8: case VT_DATE: {
            need(in, 8L * n);
            double[] doubles = new double[n];
            in.asDoubleBuffer().get(doubles);
            in.position(in.position() + 8 * n);
            payload = doubles;
            break;
        }
        default: {
            int longs = elementVt == VT_DECIMAL ? 2 * n : n;
            need(in, 8L * longs);
            long[] values = new long[longs];
            in.asLongBuffer().get(values);
            in.position(in.position() + 8 * longs);
            payload = values;
            break;
        }
        }
        return new Object[] {counts, payload};
    }
}
