package mivra.runtime;

import java.math.BigDecimal;
import java.time.LocalDateTime;

/**
 * The VARTYPEs the runtime knows, one row each: the code, the name, the Java
 * class of a value, how a call's result of the type comes back
 * ({@link Wire#BITS}, {@link Wire#REF}, {@link Wire#OBJECT}, {@link Wire#ANY},
 * {@link Wire#FRAME}), the Java array
 * that carries a SAFEARRAY of it as it is, and the codec between a value and
 * the 64-bit number a frame slot holds. {@link MivraVariant}'s {@code VT_*}
 * constants are the codes.
 */
enum VarType {
    EMPTY(0, null, false, Wire.BITS, null),
    NULL(1, null, false, Wire.BITS, null),
    I2(2, Short.class, false, Wire.BITS, short[].class),
    I4(3, Integer.class, false, Wire.BITS, int[].class),
    R4(4, Float.class, false, Wire.BITS, float[].class),
    R8(5, Double.class, false, Wire.BITS, double[].class),
    CY(6, BigDecimal.class, false, Wire.BITS, null),
    DATE(7, LocalDateTime.class, false, Wire.BITS, null),
    BSTR(8, String.class, true, Wire.REF, String[].class),
    DISPATCH(9, MivraObject.class, true, Wire.OBJECT, null),
    ERROR(10, Integer.class, false, Wire.BITS, int[].class),
    BOOL(11, Boolean.class, false, Wire.BITS, null),
    VARIANT(12, null, false, Wire.ANY, null),
    UNKNOWN(13, MivraObject.class, true, Wire.FRAME, null),
    DECIMAL(14, BigDecimal.class, false, Wire.REF, null),
    I1(16, Byte.class, false, Wire.BITS, byte[].class),
    UI1(17, Byte.class, false, Wire.BITS, byte[].class),
    UI2(18, Short.class, false, Wire.BITS, short[].class),
    UI4(19, Integer.class, false, Wire.BITS, int[].class),
    I8(20, Long.class, false, Wire.BITS, long[].class),
    UI8(21, Long.class, false, Wire.BITS, long[].class),
    INT(22, Integer.class, false, Wire.BITS, int[].class),
    UINT(23, Integer.class, false, Wire.BITS, int[].class),
    HRESULT(25, Integer.class, false, Wire.BITS, null),
    LPSTR(30, String.class, true, Wire.REF, null),
    LPWSTR(31, String.class, true, Wire.REF, null);

    private static final VarType[] BY_CODE = new VarType[32];

    static {
        for (VarType t : values())
            BY_CODE[t.code] = t;
    }

    final int code;
    final String vtName;
    /** The class of a value (null: the type holds none). */
    final Class<?> valueClass;
    /** Whether a value may be null besides being of valueClass. */
    final boolean nullable;
    final int shape;
    /** The Java array whose layout is the wire's for a SAFEARRAY of the type; null for none. */
    final Class<?> sameLayout;

    VarType(int code, Class<?> valueClass, boolean nullable, int shape, Class<?> sameLayout) {
        this.code = code;
        this.vtName = "VT_" + name();
        this.valueClass = valueClass;
        this.nullable = nullable;
        this.shape = shape;
        this.sameLayout = sameLayout;
    }

    /** The row of a code without VT_ARRAY and VT_BYREF; null for a type the runtime does not know. */
    static VarType of(int vt) {
        return vt >= 0 && vt < BY_CODE.length ? BY_CODE[vt] : null;
    }

    /** Whether a VARIANT can hold the type: VARIANT's own fields, up to VT_UINT. */
    boolean inVariant() {
        return code <= MivraVariant.VT_UINT && this != VARIANT;
    }

    /** Whether value is one this type holds, as {@link MivraVariant} keeps it. */
    boolean holds(Object value) {
        if (value == null)
            return valueClass == null || nullable;
        return valueClass != null && valueClass.isInstance(value);
    }

    /** The Java value of a slot's number; for the types whose number alone gives it. */
    Object decode(long bits) {
        switch (this) {
        case EMPTY: case NULL: return null;
        case I1: case UI1: return (byte) bits;
        case I2: case UI2: return (short) bits;
        case I4: case UI4: case INT: case UINT: case ERROR: case HRESULT: return (int) bits;
        case I8: case UI8: return bits;
        case R4: return Float.intBitsToFloat((int) bits);
        case R8: return Double.longBitsToDouble(bits);
        case BOOL: return bits != 0;
        case DATE: return Wire.fromOleDate(Double.longBitsToDouble(bits));
        case CY: return BigDecimal.valueOf(bits, 4);
        default: throw new IllegalStateException(vtName + " is not held in a number");
        }
    }

    /** A value's number in a slot of this type; for the types a number carries. */
    long encode(Object value) {
        switch (this) {
        case BOOL:
            return Wire.cast(value, Boolean.class, code) ? 1 : 0;
        case R4:
            return Float.floatToRawIntBits(Wire.cast(value, Number.class, code).floatValue());
        case R8:
            return Double.doubleToRawLongBits(Wire.cast(value, Number.class, code).doubleValue());
        case DATE:
            return Double.doubleToRawLongBits(Wire.toOleDate(Wire.cast(value, LocalDateTime.class, code)));
        case CY:
            return Wire.currency(Wire.decimalValue(value, code));
        case I1: case UI1: case I2: case UI2: case I4: case UI4: case INT: case UINT: case ERROR: case HRESULT:
        case I8: case UI8:
            return Wire.cast(value, Number.class, code).longValue();
        default:
            throw new IllegalArgumentException("VARTYPE " + code + " cannot be passed");
        }
    }

    /** The name of a VARTYPE with its VT_BYREF and VT_ARRAY flags, for messages. */
    static String nameOf(int vt) {
        String prefix = (vt & MivraVariant.VT_BYREF) != 0 ? "VT_BYREF|" : "";
        if ((vt & MivraVariant.VT_ARRAY) != 0)
            prefix += "VT_ARRAY|";
        VarType type = of(vt & 0xFFF);
        return prefix + (type != null ? type.vtName : String.valueOf(vt & 0xFFF));
    }
}
