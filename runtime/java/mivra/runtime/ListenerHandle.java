package mivra.runtime;

/** A connection of a listener to an object's events; closing it ends the events. */
public interface ListenerHandle extends AutoCloseable {
    /** Ends the events (IConnectionPoint::Unadvise); closing again does nothing. */
    @Override
    void close();
}
