package mivra.runtime;

import java.math.BigDecimal;
import java.time.LocalDateTime;

/**
 * A COM VARIANT held on the Java side: its VARTYPE and the Java value that
 * stands for its content. A call converts it to a real VARIANT and back;
 * a {@code VARIANT*} parameter updates it in place.
 *
 * <p>Contents and their Java values: {@code VT_EMPTY} and {@code VT_NULL} null;
 * {@code VT_I1}, {@code VT_UI1} {@link Byte}; {@code VT_I2}, {@code VT_UI2} {@link Short};
 * {@code VT_I4}, {@code VT_UI4}, {@code VT_INT}, {@code VT_UINT}, {@code VT_ERROR} {@link Integer};
 * {@code VT_I8}, {@code VT_UI8} {@link Long}; {@code VT_R4} {@link Float}; {@code VT_R8} {@link Double};
 * {@code VT_BOOL} {@link Boolean}; {@code VT_BSTR} {@link String};
 * {@code VT_DATE} {@link java.time.LocalDateTime}; {@code VT_CY}, {@code VT_DECIMAL} {@link java.math.BigDecimal};
 * {@code VT_DISPATCH}, {@code VT_UNKNOWN} {@link MivraObject} (or null);
 * {@code VT_ARRAY} combined with an element type: {@code Object[]} of the elements' Java values,
 * or {@code Object[][]} for two dimensions (the first index the array's first dimension).
 *
 * <p>The {@code as...} accessors convert the content as OLE Automation's
 * {@code VariantChangeTypeEx} does, with the invariant locale (LOCALE_INVARIANT:
 * "." as decimal point, dates as "MM/dd/yyyy HH:mm:ss") and
 * {@code VARIANT_ALPHABOOL} (booleans as "True" and "False"): a content of the
 * asked type is returned as it is, any other is converted by the native half.
 * A value that cannot be converted throws {@link MivraException} with the
 * HRESULT ({@code DISP_E_TYPEMISMATCH}, {@code DISP_E_OVERFLOW}).
 */
public final class MivraVariant {
    public static final int VT_EMPTY = 0;
    public static final int VT_NULL = 1;
    public static final int VT_I2 = 2;
    public static final int VT_I4 = 3;
    public static final int VT_R4 = 4;
    public static final int VT_R8 = 5;
    public static final int VT_CY = 6;
    public static final int VT_DATE = 7;
    public static final int VT_BSTR = 8;
    public static final int VT_DISPATCH = 9;
    public static final int VT_ERROR = 10;
    public static final int VT_BOOL = 11;
    public static final int VT_VARIANT = 12;
    public static final int VT_UNKNOWN = 13;
    public static final int VT_DECIMAL = 14;
    public static final int VT_I1 = 16;
    public static final int VT_UI1 = 17;
    public static final int VT_UI2 = 18;
    public static final int VT_UI4 = 19;
    public static final int VT_I8 = 20;
    public static final int VT_UI8 = 21;
    public static final int VT_INT = 22;
    public static final int VT_UINT = 23;
    public static final int VT_HRESULT = 25;
    public static final int VT_LPSTR = 30;
    public static final int VT_LPWSTR = 31;
    public static final int VT_ARRAY = 0x2000;
    public static final int VT_BYREF = 0x4000;

    /** The content {@code VT_EMPTY} (an unassigned value); it cannot be changed. */
    public static final MivraVariant EMPTY = new MivraVariant(VT_EMPTY, null, true);
    /** The content {@code VT_NULL} (a database's or script's Null); it cannot be changed. */
    public static final MivraVariant NULL = new MivraVariant(VT_NULL, null, true);

    private static final int DISP_E_TYPEMISMATCH = 0x80020005;

    private int varType;
    private Object value;
    private final boolean constant;

    private MivraVariant(int varType, Object value, boolean constant) {
        this.varType = varType;
        this.value = value;
        this.constant = constant;
    }

    /** An empty variant ({@code VT_EMPTY}). */
    public MivraVariant() {
        constant = false;
    }

    /**
     * A variant of a given type.
     *
     * @param varType the VARTYPE
     * @param value the Java value of the content, as listed above
     */
    public MivraVariant(int varType, Object value) {
        constant = false;
        set(varType, value);
    }

    /**
     * A variant whose type follows from the Java value: null {@code VT_EMPTY},
     * Byte {@code VT_UI1}, Short {@code VT_I2}, Integer {@code VT_I4}, Long {@code VT_I8},
     * Float {@code VT_R4}, Double {@code VT_R8}, Boolean {@code VT_BOOL}, String {@code VT_BSTR},
     * LocalDateTime {@code VT_DATE}, BigDecimal {@code VT_DECIMAL}, MivraObject {@code VT_DISPATCH},
     * a MivraVariant a copy of it, an array {@code VT_ARRAY | VT_VARIANT}.
     *
     * @param value the Java value
     * @return the variant
     * @throws IllegalArgumentException for a value no VARIANT can hold
     */
    public static MivraVariant of(Object value) {
        if (value instanceof MivraVariant) {
            MivraVariant source = (MivraVariant) value;
            return new MivraVariant(source.varType, source.value);
        }
        return new MivraVariant(typeOf(value), value != null && value.getClass().isArray() ? boxed(value) : value);
    }

    private static int typeOf(Object value) {
        if (value == null) return VT_EMPTY;
        if (value instanceof Byte) return VT_UI1;
        if (value instanceof Short) return VT_I2;
        if (value instanceof Integer) return VT_I4;
        if (value instanceof Long) return VT_I8;
        if (value instanceof Float) return VT_R4;
        if (value instanceof Double) return VT_R8;
        if (value instanceof Boolean) return VT_BOOL;
        if (value instanceof String) return VT_BSTR;
        if (value instanceof LocalDateTime) return VT_DATE;
        if (value instanceof BigDecimal) return VT_DECIMAL;
        if (value instanceof MivraObject) return VT_DISPATCH;
        if (value.getClass().isArray()) return VT_ARRAY | VT_VARIANT;
        throw new IllegalArgumentException("No VARIANT holds a " + value.getClass().getName());
    }

    // Primitive arrays as Object[], so that toJava() gives what a server's array gives.
    private static Object boxed(Object array) {
        if (array instanceof Object[])
            return array;
        int n = java.lang.reflect.Array.getLength(array);
        Object[] out = new Object[n];
        for (int k = 0; k < n; ++k)
            out[k] = java.lang.reflect.Array.get(array, k);
        return out;
    }

    /** @return the VARTYPE of the content */
    public int getVarType() {
        return varType;
    }

    /** @return the Java value of the content, as listed above */
    public Object toJava() {
        return value;
    }

    /**
     * Replaces the content.
     *
     * @param varType the new VARTYPE
     * @param value its Java value, as listed above
     * @throws IllegalArgumentException when the value does not fit the type
     */
    public void set(int varType, Object value) {
        if (!fits(varType, value))
            throw new IllegalArgumentException("A " + (value == null ? "null" : value.getClass().getName())
                    + " does not fit a variant of " + Wire.typeName(varType));
        setUnchecked(varType, value);
    }

    void setUnchecked(int varType, Object value) {
        if (constant)
            throw new UnsupportedOperationException("MivraVariant.EMPTY and MivraVariant.NULL cannot be changed");
        this.varType = varType;
        this.value = value;
    }

    private static boolean fits(int vt, Object value) {
        if ((vt & VT_BYREF) != 0)
            return false;
        if ((vt & VT_ARRAY) != 0)
            return value == null || value instanceof Object[];
        VarType type = VarType.of(vt);
        return type != null && type.inVariant() && type.holds(value);
    }

    boolean isConstant() {
        return constant;
    }

    /** @return true for {@code VT_EMPTY} */
    public boolean isEmpty() {
        return varType == VT_EMPTY;
    }

    /** @return true for {@code VT_NULL} */
    public boolean isNull() {
        return varType == VT_NULL;
    }

    /**
     * @return the content as text ({@code VT_BSTR}); {@code VT_EMPTY} gives ""
     * @throws MivraException when it has no text ({@code VT_NULL}, an array, an object without a default value)
     */
    public String asString() {
        return (String) coerced(VT_BSTR);
    }

    /** @return the content as a 32-bit integer ({@code VT_I4}, rounded half to even) */
    public int asInt() {
        return (Integer) coerced(VT_I4);
    }

    /** @return the content as a 64-bit integer ({@code VT_I8}, rounded half to even) */
    public long asLong() {
        return (Long) coerced(VT_I8);
    }

    /** @return the content as a double ({@code VT_R8}) */
    public double asDouble() {
        return (Double) coerced(VT_R8);
    }

    /** @return the content as a boolean ({@code VT_BOOL}: numbers other than 0 are true; "True", "False" and numbers as text) */
    public boolean asBoolean() {
        return (Boolean) coerced(VT_BOOL);
    }

    /** @return the content as a decimal ({@code VT_DECIMAL}) */
    public BigDecimal asDecimal() {
        return (BigDecimal) coerced(VT_DECIMAL);
    }

    /** @return the content as a date and time ({@code VT_DATE}) */
    public LocalDateTime asDateTime() {
        return (LocalDateTime) coerced(VT_DATE);
    }

    /**
     * @return the elements of an array content, a multi-dimensional array as
     *         nested arrays (the first index outermost)
     * @throws MivraException ({@code DISP_E_TYPEMISMATCH}) when the content is not an array
     */
    public Object[] asArray() {
        if ((varType & VT_ARRAY) == 0 || value == null)
            throw new MivraException("A variant of " + Wire.typeName(varType) + " is not an array", DISP_E_TYPEMISMATCH);
        return (Object[]) value;
    }

    /**
     * The object content as a generated class ({@link MivraObject#as}).
     *
     * @param <T> the class
     * @param type the class
     * @return the object as that class; null for an empty or null content or a null object
     * @throws ClassCastException when the object does not support the class's interface
     * @throws MivraException ({@code DISP_E_TYPEMISMATCH}) when the content is not an object
     */
    public <T extends MivraObject> T as(Class<T> type) {
        if (value instanceof MivraObject)
            return ((MivraObject) value).as(type);
        if (varType == VT_EMPTY || varType == VT_NULL || varType == VT_DISPATCH || varType == VT_UNKNOWN)
            return null;
        throw new MivraException("A variant of " + Wire.typeName(varType) + " is not an object", DISP_E_TYPEMISMATCH);
    }

    private Object coerced(int vt) {
        if (varType == vt)
            return vt == VT_BSTR && value == null ? "" : value;
        if ((varType & VT_ARRAY) != 0)
            throw new MivraException("A variant of " + Wire.typeName(varType) + " has no single value",
                    DISP_E_TYPEMISMATCH);
        Object[] frame = Wire.frame(1);
        int[] vts = (int[]) frame[0];
        long[] bits = (long[]) frame[1];
        Object[] refs = (Object[]) frame[2];
        Wire.encode(value, varType, vts, bits, refs, 0);
        ComLayer.get().changeType(vt, vts, bits, refs);
        java.lang.ref.Reference.reachabilityFence(value);
        return Wire.decode(vts[0], bits[0], refs[0], true, null);
    }

    /**
     * The content as text: {@link #asString()} where there is one, "" for
     * {@code VT_EMPTY}, "Null" for {@code VT_NULL}, the elements of an array, an
     * object's own text for an object.
     */
    @Override
    public String toString() {
        if (value instanceof Object[])
            return java.util.Arrays.deepToString((Object[]) value);
        if (varType == VT_NULL)
            return "Null";
        if (value instanceof MivraObject || varType == VT_DISPATCH || varType == VT_UNKNOWN)
            return String.valueOf(value);
        try {
            return asString();
        } catch (RuntimeException e) {
            return Wire.typeName(varType) + " " + value;
        }
    }
}
