package mivra.runtime;

/**
 * A value a COM call may change: the Java side of an {@code [out]} or
 * {@code [in,out]} parameter. The call reads {@link #value} before it is made
 * (for {@code [in,out]}) and writes what the server left there after it.
 *
 * @param <T> the Java type of the value
 */
public final class Holder<T> {
    /** The value, read before the call and written back after it. */
    public T value;

    /** A holder without a value. */
    public Holder() {
    }

    /**
     * A holder with a first value.
     *
     * @param value the value passed in
     */
    public Holder(T value) {
        this.value = value;
    }
}
