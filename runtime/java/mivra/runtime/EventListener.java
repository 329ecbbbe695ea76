package mivra.runtime;

/**
 * A listener of any source interface, connected by the interface identifier
 * the program names ({@link MivraObject#addListener(String, EventListener)}),
 * for objects whose events have no generated listener interface.
 */
@FunctionalInterface
public interface EventListener {
    /**
     * One event.
     *
     * @param dispId the event's DISPID
     * @param args the arguments in declaration order; what the listener sets
     *        in a by-reference argument ({@link MivraVariant#set}) goes back to the server
     * @throws Exception anything; it reaches the handler of {@link MivraObject#setEventExceptionHandler}
     */
    void event(int dispId, MivraVariant[] args) throws Exception;
}
