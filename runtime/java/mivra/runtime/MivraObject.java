package mivra.runtime;

import java.util.Iterator;
import java.util.function.Function;

/**
 * One reference to a COM object, reached through its {@code IDispatch}. The
 * generated classes extend it; it also calls any member by name.
 *
 * <p>Closing releases the reference; an object nobody closes is released once
 * it is unreachable, on the apartment it was made in.
 */
public class MivraObject implements AutoCloseable {

    /**
     * An argument left out: passed as {@code VT_ERROR} with
     * {@code DISP_E_PARAMNOTFOUND}, so the server applies its default.
     */
    public static final Object MISSING = new Object() {
        @Override
        public String toString() {
            return "MISSING";
        }
    };

    /**
     * A COM reference on its way from the runtime into a generated class,
     * which takes it over without asking the object for anything.
     */
    public static final class Ref {
        Ref() {
        }
    }

    /**
     * Takes over a reference the runtime hands out.
     *
     * @param ref the reference, owned from now on by this object
     */
    protected MivraObject(Ref ref) {
        throw new UnsupportedOperationException();
    }

    /**
     * Asks another object for an interface ({@code QueryInterface}).
     *
     * @param source the object asked; it keeps its own reference
     * @param iid the interface identifier, braced ("{...}")
     * @param interfaceName the interface's name, for the message
     * @throws ClassCastException when the object does not support the interface
     * @throws NullPointerException when source is null
     */
    protected MivraObject(MivraObject source, String iid, String interfaceName) {
        throw new UnsupportedOperationException();
    }

    /**
     * Creates a COM object ({@code CoCreateInstance} in any server context), or
     * finds the running one ({@code GetActiveObject}).
     *
     * @param classId a ProgID, or a braced CLSID ("{...}")
     * @param find true to take the running object instead of creating one
     * @throws MivraException with the HRESULT when there is no such class or object
     */
    protected MivraObject(String classId, boolean find) {
        throw new UnsupportedOperationException();
    }

    /**
     * Calls a member through {@code IDispatch::Invoke}: the form every
     * generated method uses.
     *
     * @param dispId the member's DISPID
     * @param invokeKind 1 method, 2 property get, 4 property put, 8 put by reference
     * @param resultVt the declared VARTYPE of the result ({@code VT_EMPTY} for none,
     *        {@code VT_ARRAY} combined with the element type for a SAFEARRAY); the
     *        result is converted to it and returned as its Java value, as
     *        {@link MivraVariant} lists them
     * @param args the arguments in declaration order; for a put the value is
     *        the last one; {@link #MISSING} for an omitted optional argument; a
     *        {@link Holder} or a {@link MivraVariant} for a by-reference argument
     * @param argVts the declared VARTYPE of each argument (enumerations as
     *        {@code VT_I4}, interface pointers as {@code VT_DISPATCH} or
     *        {@code VT_UNKNOWN}), with {@code VT_BYREF} for by-reference and
     *        {@code VT_ARRAY} for SAFEARRAY arguments
     * @return the result's Java value, null for none
     * @throws MivraException when the call fails
     * @throws IllegalStateException when the object is closed
     */
    protected final Object mivraCall(int dispId, int invokeKind, int resultVt, Object[] args, int[] argVts) {
        throw new UnsupportedOperationException();
    }

    /**
     * Hands the reference of an object result to a generated class.
     *
     * @param <T> the generated class
     * @param raw a result of {@link #mivraCall}: a MivraObject, or null
     * @param wrap the class's constructor from {@link Ref}
     * @return the wrapped object, or null for a null result
     */
    protected static <T> T mivraAdopt(Object raw, Function<Ref, T> wrap) {
        throw new UnsupportedOperationException();
    }

    /**
     * Iterates the collection through {@code DISPID_NEWENUM} and {@code IEnumVARIANT}.
     *
     * @param <T> the generated class of the elements
     * @param wrap the element class's constructor from {@link Ref}
     * @return an iterator over the elements (null elements stay null)
     */
    protected final <T> Iterator<T> mivraEnumerate(Function<Ref, T> wrap) {
        throw new UnsupportedOperationException();
    }

    /**
     * Iterates the collection through {@code DISPID_NEWENUM} and {@code IEnumVARIANT}.
     *
     * @return an iterator over the elements as variants
     */
    protected final Iterator<MivraVariant> mivraEnumerate() {
        throw new UnsupportedOperationException();
    }

    /**
     * Calls a method by name (late binding).
     *
     * @param member the member's name
     * @param args the arguments; their types follow from their Java classes as in {@link MivraVariant#of}
     * @return the result's Java value, as {@link MivraVariant#toJava} gives it
     */
    public Object invoke(String member, Object... args) {
        throw new UnsupportedOperationException();
    }

    /**
     * Reads a property by name (late binding).
     *
     * @param name the property's name
     * @param args the arguments of an indexed property
     * @return the value's Java value
     */
    public Object getProperty(String name, Object... args) {
        throw new UnsupportedOperationException();
    }

    /**
     * Sets a property by name (late binding).
     *
     * @param name the property's name
     * @param value the new value
     */
    public void setProperty(String name, Object value) {
        throw new UnsupportedOperationException();
    }

    /**
     * Releases the reference. Closing again does nothing; any other use of a
     * closed object throws {@link IllegalStateException}.
     */
    @Override
    public void close() {
        throw new UnsupportedOperationException();
    }
}
