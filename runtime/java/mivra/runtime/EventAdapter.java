package mivra.runtime;

import java.util.Objects;
import java.util.function.Function;

/**
 * What connects a listener of one source (event) interface: its identifier,
 * the declared types of each event's parameters, and the call of the
 * listener's method for a DISPID. The generated listener interfaces each
 * bring one (their nested {@code Adapter}); {@link MivraObject#addListener(EventAdapter, Object)}
 * connects it to an object.
 *
 * @param <L> the listener interface
 */
public abstract class EventAdapter<L> {
    private final String iid;
    private final Class<L> listenerType;

    /**
     * @param iid the source interface's identifier, braced ("{...}")
     * @param listenerType the listener interface, to check the listeners connected
     */
    protected EventAdapter(String iid, Class<L> listenerType) {
        this.iid = Objects.requireNonNull(iid, "iid");
        this.listenerType = Objects.requireNonNull(listenerType, "listenerType");
    }

    /** @return the source interface's identifier */
    public final String getIid() {
        return iid;
    }

    final L cast(Object listener) {
        return listenerType.cast(listener);
    }

    /**
     * The declared VARTYPE of each parameter of an event, in declaration order:
     * {@code VT_BYREF} combined with the type for by-reference parameters
     * ({@code [in,out]}, {@code [out]}, any pointer to a value), {@code VT_VARIANT} for VARIANT, enumerations
     * as {@code VT_I4}, interface pointers as {@code VT_DISPATCH} or {@code VT_UNKNOWN}.
     * The server's arguments are converted to these types before the listener sees them.
     *
     * @param dispId the event's DISPID
     * @param count the number of arguments the server passed
     * @return the types, or null when the interface has no such event
     */
    protected abstract int[] types(int dispId, int count);

    /**
     * Calls the listener's method of an event.
     *
     * @param listener the listener
     * @param dispId the event's DISPID
     * @param args the arguments in declaration order, as Java values of the
     *        declared types: a {@link Holder} for a by-reference parameter
     *        (a {@link MivraVariant} for {@code VARIANT*}), a {@link MivraObject}
     *        (or null) for an interface pointer, to be handed on with {@link #adopt}
     * @throws Exception whatever the listener throws
     */
    protected abstract void dispatch(L listener, int dispId, Object[] args) throws Exception;

    /**
     * An object argument as a generated class.
     *
     * @param <T> the class
     * @param raw the argument: a MivraObject, or null
     * @param wrap the class's constructor from {@link MivraObject.Ref}
     * @return the object, or null
     */
    protected static <T> T adopt(Object raw, Function<MivraObject.Ref, T> wrap) {
        return MivraObject.mivraAdopt(raw, wrap);
    }

    /**
     * A by-reference argument as its holder.
     *
     * @param <T> the value's Java type
     * @param arg the argument
     * @return the holder
     */
    @SuppressWarnings("unchecked")
    protected static <T> Holder<T> holder(Object arg) {
        return (Holder<T>) arg;
    }
}
