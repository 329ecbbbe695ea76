package mivra.runtime;

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
 * {@code VT_ARRAY} combined with an element type: {@code Object[]}, or {@code Object[][]} for two dimensions.
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

    private int varType;
    private Object value;

    /** An empty variant ({@code VT_EMPTY}). */
    public MivraVariant() {
    }

    /**
     * A variant of a given type.
     *
     * @param varType the VARTYPE
     * @param value the Java value of the content, as listed above
     */
    public MivraVariant(int varType, Object value) {
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
        throw new UnsupportedOperationException();
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
        this.varType = varType;
        this.value = value;
    }
}
