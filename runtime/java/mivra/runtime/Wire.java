package mivra.runtime;

import static mivra.runtime.MivraVariant.*;

import java.lang.reflect.Array;
import java.math.BigDecimal;
import java.math.BigInteger;
import java.math.RoundingMode;
import java.time.LocalDateTime;
import java.time.temporal.ChronoUnit;
import java.util.ArrayList;
import java.util.List;

/**
 * Java values to and from the frames {@link ComLayer} passes: the conversions
 * that need Java types (dates, decimals, objects, nested arrays) are done
 * here, so the native half handles numbers, strings, arrays and pointers only.
 */
final class Wire {
    static final int DISP_E_PARAMNOTFOUND = 0x80020004;
    private static final LocalDateTime OLE_EPOCH = LocalDateTime.of(1899, 12, 30, 0, 0);
    private static final long MILLIS_A_DAY = 86_400_000L;
    private static final BigInteger TWO_64 = BigInteger.ONE.shiftLeft(64);

    private Wire() {
    }

    static Object[] frame(int slots) {
        return new Object[] {new int[slots], new long[slots], new Object[slots]};
    }

    // Java to wire.

    /** Puts value, of the declared VARTYPE vt (without VT_BYREF), into slot i. */
    static void encode(Object value, int vt, int[] vts, long[] bits, Object[] refs, int i) {
        vts[i] = encode(value, vt, bits, refs, i);
    }

    /** Puts value's bits and reference into slot i and gives its VARTYPE on the wire. */
    static int encode(Object value, int vt, long[] bits, Object[] refs, int i) {
        if (value == MivraObject.MISSING) {
            bits[i] = DISP_E_PARAMNOTFOUND;
            return VT_ERROR;
        }
        if ((vt & VT_ARRAY) != 0) {
            refs[i] = value == null ? null : encodeArray(value, vt & 0xFFF);
            return vt;
        }
        if (vt == VT_VARIANT) {
            MivraVariant variant = value instanceof MivraVariant ? (MivraVariant) value : MivraVariant.of(value);
            if (variant.getVarType() == VT_VARIANT)
                throw new IllegalArgumentException("A variant cannot hold a VT_VARIANT");
            return encode(variant.toJava(), variant.getVarType(), bits, refs, i);
        }
        switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return vt;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (value != null) {
                MivraObject object = cast(value, MivraObject.class, vt);
                bits[i] = object.pointerForCall();
                if (!object.isDispatch())
                    return VT_UNKNOWN;
            }
            return vt;
        case VT_BSTR:
        case VT_LPWSTR:
        case VT_LPSTR:
            refs[i] = value == null ? null : cast(value, String.class, vt);
            return VT_BSTR;
        case VT_DECIMAL:
            refs[i] = decimal(decimalValue(value, vt));
            return vt;
        default:
            break;
        }
        if (value == null)
            throw new NullPointerException("A null value for a " + typeName(vt) + " argument");
        bits[i] = number(value, vt);
        return vt == VT_HRESULT ? VT_ERROR : vt;
    }

    /** The bits of a scalar of the given VARTYPE. */
    private static long number(Object value, int vt) {
        VarType type = VarType.of(vt);
        if (type == null)
            throw new IllegalArgumentException("VARTYPE " + vt + " cannot be passed");
        return type.encode(value);
    }

    static BigDecimal decimalValue(Object value, int vt) {
        if (value instanceof BigDecimal)
            return (BigDecimal) value;
        if (value == null)
            throw new NullPointerException("A null value for a " + typeName(vt) + " argument");
        return new BigDecimal(cast(value, Number.class, vt).toString());
    }

    static <T> T cast(Object value, Class<T> type, int vt) {
        if (!type.isInstance(value))
            throw new IllegalArgumentException("A " + value.getClass().getName() + " cannot be passed as " + typeName(vt)
                    + " (needs " + type.getSimpleName() + ")");
        return type.cast(value);
    }

    /** A Java array as a SAFEARRAY of elemVt: {counts, payload}. */
    static Object[] encodeArray(Object array, int elemVt) {
        if (!array.getClass().isArray())
            throw new IllegalArgumentException("A " + array.getClass().getName() + " cannot be passed as an array");
        Object fast = sameLayout(array, elemVt);
        if (fast != null)
            return new Object[] {new int[] {Array.getLength(array)}, fast};
        List<Integer> counts = new ArrayList<>();
        for (Object level = array; level != null && level.getClass().isArray();) {
            counts.add(Array.getLength(level));
            if (!level.getClass().getComponentType().isArray())
                break;
            level = Array.getLength(level) > 0 ? Array.get(level, 0) : null;
        }
        int[] shape = counts.stream().mapToInt(Integer::intValue).toArray();
        int total = 1;
        for (int count : shape)
            total = Math.multiplyExact(total, count);
        Object[] flat = new Object[total];
        flatten(array, shape, 0, 0, 1, flat);
        return new Object[] {shape, payload(flat, elemVt)};
    }

    // The arrays whose Java layout is the wire's, passed as they are.
    private static Object sameLayout(Object array, int elemVt) {
        VarType type = VarType.of(elemVt);
        return type != null && type.sameLayout != null && type.sameLayout.isInstance(array) ? array : null;
    }

    // Elements in the order of the first index varying fastest.
    private static void flatten(Object level, int[] shape, int dim, int offset, int stride, Object[] flat) {
        int count = Array.getLength(level);
        if (count != shape[dim])
            throw new IllegalArgumentException("A multi-dimensional array must be rectangular");
        for (int k = 0; k < count; ++k) {
            Object element = Array.get(level, k);
            if (dim + 1 < shape.length) {
                if (element == null)
                    throw new IllegalArgumentException("A multi-dimensional array must be rectangular");
                flatten(element, shape, dim + 1, offset + k * stride, stride * shape[dim], flat);
            } else {
                flat[offset + k * stride] = element;
            }
        }
    }

    private static Object payload(Object[] flat, int elemVt) {
        int n = flat.length;
        switch (elemVt) {
        case VT_I1: case VT_UI1: {
            byte[] out = new byte[n];
            for (int k = 0; k < n; ++k)
                out[k] = (byte) number(flat[k], elemVt);
            return out;
        }
        case VT_I2: case VT_UI2: case VT_BOOL: {
            short[] out = new short[n];
            for (int k = 0; k < n; ++k)
                out[k] = elemVt == VT_BOOL ? (short) -number(flat[k], elemVt) : (short) number(flat[k], elemVt);
            return out;
        }
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: {
            int[] out = new int[n];
            for (int k = 0; k < n; ++k)
                out[k] = (int) number(flat[k], elemVt);
            return out;
        }
        case VT_I8: case VT_UI8: case VT_CY: {
            long[] out = new long[n];
            for (int k = 0; k < n; ++k)
                out[k] = number(flat[k], elemVt);
            return out;
        }
        case VT_R4: {
            float[] out = new float[n];
            for (int k = 0; k < n; ++k)
                out[k] = cast(flat[k], Number.class, elemVt).floatValue();
            return out;
        }
        case VT_R8: case VT_DATE: {
            double[] out = new double[n];
            for (int k = 0; k < n; ++k)
                out[k] = Double.longBitsToDouble(number(flat[k], elemVt));
            return out;
        }
        case VT_BSTR: {
            String[] out = new String[n];
            for (int k = 0; k < n; ++k)
                out[k] = flat[k] == null ? null : cast(flat[k], String.class, elemVt);
            return out;
        }
        case VT_DECIMAL: {
            long[] out = new long[2 * n];
            for (int k = 0; k < n; ++k) {
                long[] one = decimal(decimalValue(flat[k], elemVt));
                out[2 * k] = one[0];
                out[2 * k + 1] = one[1];
            }
            return out;
        }
        case VT_DISPATCH: case VT_UNKNOWN: {
            long[] out = new long[n];
            for (int k = 0; k < n; ++k)
                out[k] = flat[k] == null ? 0 : cast(flat[k], MivraObject.class, elemVt).pointerForCall();
            return out;
        }
        case VT_VARIANT: {
            int[] vts = new int[n];
            long[] bits = new long[n];
            Object[] refs = new Object[n];
            for (int k = 0; k < n; ++k)
                encode(flat[k], VT_VARIANT, vts, bits, refs, k);
            return new Object[] {vts, bits, refs};
        }
        default:
            throw new IllegalArgumentException("No array of " + typeName(elemVt) + " can be passed");
        }
    }

    // Wire to Java.

    /**
     * How a result comes back: its bits alone give its value, its reference
     * alone, an object's pointer and the IID its type information names, a
     * VARIANT's VARTYPE, bits and reference, or a frame slot holds it.
     */
    static final int BITS = 0, REF = 1, FRAME = 2, OBJECT = 3, ANY = 4;

    static int resultShape(int vt) {
        if ((vt & VT_ARRAY) != 0)
            return REF;
        VarType type = VarType.of(vt);
        return type == null ? FRAME : type.shape;
    }

    /** The Java value of a result of the shape {@link #REF}. */
    static Object decodeRef(int vt, Object ref, Apartment home) {
        return decode(vt == VT_LPWSTR || vt == VT_LPSTR ? VT_BSTR : vt, 0, ref, false, home);
    }

    /**
     * The Java value of slot i of a result or by-reference frame: as a
     * variant's content when asVariant (arrays as Object[] or Object[][]),
     * else as the declared type's Java value (arrays typed).
     */
    static Object decode(int vt, long bits, Object ref, boolean asVariant, Apartment home) {
        if ((vt & VT_ARRAY) != 0)
            return ref == null ? null : decodeArray((Object[]) ref, vt & 0xFFF, asVariant, home);
        VarType type = VarType.of(vt);
        if (type != null && type.shape == BITS)
            return type.decode(bits);
        switch (vt) {
        case VT_BSTR: return ref == null ? "" : (String) ref;
        case VT_DECIMAL: return decimal((long[]) ref, 0);
        case VT_DISPATCH: case VT_UNKNOWN: return bits == 0 ? null : MivraObject.adopted(bits, vt == VT_DISPATCH, home);
        default: throw new MivraException("The server returned a value of VARTYPE " + vt + ", which Java cannot hold",
                0x80020008);
        }
    }

    /** A variant from the wire's slot. */
    static MivraVariant variant(int vt, long bits, Object ref, Apartment home) {
        MivraVariant variant = new MivraVariant();
        variant.setUnchecked(vt, decode(vt, bits, ref, true, home));
        return variant;
    }

    private static Object decodeArray(Object[] wire, int elemVt, boolean asVariant, Apartment home) {
        int[] shape = (int[]) wire[0];
        Object payload = wire[1];
        int total = 1;
        for (int count : shape)
            total *= count;
        if (!asVariant)
            return typedArray(payload, elemVt, total, home);
        Object[] flat = new Object[total];
        for (int k = 0; k < total; ++k)
            flat[k] = element(payload, elemVt, k, home);
        if (shape.length <= 1)
            return flat;
        return nest(flat, shape, 0, 0, 1);
    }

    private static Object nest(Object[] flat, int[] shape, int dim, int offset, int stride) {
        int count = shape[dim];
        if (dim + 1 == shape.length) {
            Object[] out = new Object[count];
            for (int k = 0; k < count; ++k)
                out[k] = flat[offset + k * stride];
            return out;
        }
        Class<?> component = Array.newInstance(Object.class, new int[shape.length - dim - 1]).getClass();
        Object[] out = (Object[]) Array.newInstance(component, count);
        for (int k = 0; k < count; ++k)
            out[k] = nest(flat, shape, dim + 1, offset + k * stride, stride * count);
        return out;
    }

    private static Object element(Object payload, int elemVt, int k, Apartment home) {
        switch (elemVt) {
        case VT_VARIANT: {
            Object[] frame = (Object[]) payload;
            return decode(((int[]) frame[0])[k], ((long[]) frame[1])[k], ((Object[]) frame[2])[k], true, home);
        }
        case VT_BOOL: return ((short[]) payload)[k] != 0;
        case VT_DECIMAL: return decimal((long[]) payload, k);
        case VT_BSTR: return ((String[]) payload)[k];
        case VT_R4: return ((float[]) payload)[k];
        default:
            if (payload instanceof byte[]) return decode(elemVt, ((byte[]) payload)[k], null, true, home);
            if (payload instanceof short[]) return decode(elemVt, ((short[]) payload)[k], null, true, home);
            if (payload instanceof int[]) return decode(elemVt, ((int[]) payload)[k], null, true, home);
            if (payload instanceof long[]) return decode(elemVt, ((long[]) payload)[k], null, true, home);
            if (payload instanceof double[])
                return decode(elemVt, Double.doubleToRawLongBits(((double[]) payload)[k]), null, true, home);
            throw new IllegalStateException("Unexpected array payload " + payload.getClass().getName());
        }
    }

    private static Object typedArray(Object payload, int elemVt, int n, Apartment home) {
        switch (elemVt) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
        case VT_ERROR: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_BSTR:
            return payload;
        case VT_BOOL: {
            boolean[] out = new boolean[n];
            for (int k = 0; k < n; ++k)
                out[k] = ((short[]) payload)[k] != 0;
            return out;
        }
        case VT_DATE: {
            LocalDateTime[] out = new LocalDateTime[n];
            for (int k = 0; k < n; ++k)
                out[k] = fromOleDate(((double[]) payload)[k]);
            return out;
        }
        case VT_CY: {
            BigDecimal[] out = new BigDecimal[n];
            for (int k = 0; k < n; ++k)
                out[k] = BigDecimal.valueOf(((long[]) payload)[k], 4);
            return out;
        }
        case VT_DECIMAL: {
            BigDecimal[] out = new BigDecimal[n];
            for (int k = 0; k < n; ++k)
                out[k] = decimal((long[]) payload, k);
            return out;
        }
        case VT_DISPATCH: case VT_UNKNOWN: {
            long[] pointers = (long[]) payload;
            MivraObject[] out = new MivraObject[n];
            for (int k = 0; k < n; ++k)
                out[k] = pointers[k] == 0 ? null : MivraObject.adopted(pointers[k], elemVt == VT_DISPATCH, home);
            return out;
        }
        case VT_VARIANT: {
            Object[] frame = (Object[]) payload;
            MivraVariant[] out = new MivraVariant[n];
            for (int k = 0; k < n; ++k)
                out[k] = variant(((int[]) frame[0])[k], ((long[]) frame[1])[k], ((Object[]) frame[2])[k], home);
            return out;
        }
        default:
            throw new MivraException("The server returned an array of VARTYPE " + elemVt + ", which Java cannot hold",
                    0x80020008);
        }
    }

    // Dates and decimals.

    /** An OLE DATE: days since 1899-12-30, the fraction the time of day (counted forward also before 1899-12-30). */
    static double toOleDate(LocalDateTime time) {
        long days = ChronoUnit.DAYS.between(OLE_EPOCH.toLocalDate(), time.toLocalDate());
        double fraction = time.toLocalTime().toNanoOfDay() / 86_400e9;
        return days >= 0 ? days + fraction : days - fraction;
    }

    /** The time of an OLE DATE, to the millisecond. */
    static LocalDateTime fromOleDate(double date) {
        if (Double.isNaN(date) || Double.isInfinite(date) || Math.abs(date) > 3e6)
            throw new IllegalArgumentException("Not a date: " + date);
        long days = (long) date;
        long millis = Math.round(Math.abs(date - days) * MILLIS_A_DAY);
        if (millis >= MILLIS_A_DAY) {
            millis -= MILLIS_A_DAY;
            days += date < 0 ? -1 : 1;
        }
        return OLE_EPOCH.plusDays(days).plusNanos(millis * 1_000_000L);
    }

    /** A CY: the value times 10,000 in 64 bits, rounded half-even. */
    static long currency(BigDecimal value) {
        BigInteger scaled = value.setScale(4, RoundingMode.HALF_EVEN).unscaledValue();
        if (scaled.bitLength() > 63)
            throw new IllegalArgumentException(value + " does not fit a CY (currency) value");
        return scaled.longValue();
    }

    /** A DECIMAL as its two 64-bit halves: scale, sign and high 32 bits; low 64 bits. */
    static long[] decimal(BigDecimal value) {
        BigDecimal d = value.scale() < 0 ? value.setScale(0) : value;
        if (d.scale() > 28)
            d = d.setScale(28, RoundingMode.HALF_EVEN);
        while (d.unscaledValue().abs().bitLength() > 96 && d.scale() > 0)
            d = d.setScale(d.scale() - 1, RoundingMode.HALF_EVEN);
        BigInteger magnitude = d.unscaledValue().abs();
        if (magnitude.bitLength() > 96)
            throw new IllegalArgumentException(value + " does not fit a DECIMAL value");
        long high = magnitude.shiftRight(64).longValue();
        long sign = d.signum() < 0 ? 0x80 : 0;
        return new long[] {((long) d.scale() << 16) | (sign << 24) | (high << 32), magnitude.longValue()};
    }

    static BigDecimal decimal(long[] raw, int k) {
        long head = raw[2 * k];
        BigInteger low = BigInteger.valueOf(raw[2 * k + 1]);
        if (low.signum() < 0)
            low = low.add(TWO_64);
        BigInteger magnitude = BigInteger.valueOf(head >>> 32).shiftLeft(64).or(low);
        int scale = (int) (head >>> 16) & 0xFF;
        boolean negative = ((head >>> 24) & 0x80) != 0;
        return new BigDecimal(negative ? magnitude.negate() : magnitude, scale);
    }

    static String typeName(int vt) {
        return VarType.nameOf(vt);
    }
}
