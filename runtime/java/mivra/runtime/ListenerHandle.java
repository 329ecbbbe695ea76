package mivra.runtime;

/**
 * A listener's connection to an object's events: closing it disconnects
 * (Unadvise), without a checked exception, so a plain try-with-resources
 * holds it.
 */
public interface ListenerHandle extends AutoCloseable {
    /** Disconnects the listener; closing again does nothing. */
    @Override
    void close();
}
