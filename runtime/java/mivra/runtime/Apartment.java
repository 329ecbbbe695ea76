package mivra.runtime;

import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.function.BooleanSupplier;

/**
 * The COM apartments of the program's threads.
 *
 * <p>A thread joins COM at its first runtime call: a single-threaded
 * apartment (STA) of its own, unless it called {@link #enterMultithreaded()}
 * before, or the program chose {@link #setMultithreadedDefault(boolean)}.
 * Nothing is set up when the library loads.
 *
 * <p>The rules for objects:
 * <ul>
 * <li>An object made on an STA thread (created, or returned by a call made
 * there) is called only on that thread; a call from any other thread throws
 * {@link IllegalStateException}. Objects of the multithreaded apartment (MTA)
 * may be called from any thread of the MTA.</li>
 * <li>An object is released in its own apartment. {@link MivraObject#close()}
 * on the owning thread releases at once; a close on another thread, and the
 * release of an unreachable object by the cleaner, are queued and done by the
 * owning thread at its next runtime call or while it pumps messages (for the
 * MTA, by any MTA thread). The queue of an STA thread that has ended is
 * dropped, as its objects are gone with it.</li>
 * <li>Events ({@link MivraObject#addListener(EventAdapter, Object)}): an
 * object of a single-threaded apartment calls its listeners on its own
 * thread, and only while that thread is inside a COM call or pumps messages
 * ({@link #pumpMessages(long)}, {@link #pumpMessagesUntil(BooleanSupplier, long)});
 * a thread that does neither gets no events. An object of the multithreaded
 * apartment calls them on threads of COM or of the server, which join the
 * program as daemon threads of the multithreaded apartment. Closing a
 * connection, like a release, is done on the apartment it was made in.</li>
 * </ul>
 */
public final class Apartment {
    private static final ThreadLocal<Apartment> CURRENT = new ThreadLocal<>();
    private static final Apartment MULTITHREADED = new Apartment(null);
    private static volatile boolean multithreadedDefault;

    private final Thread owner;
    private final ConcurrentLinkedQueue<Long> pending = new ConcurrentLinkedQueue<>();
    private final ConcurrentLinkedQueue<Long> pendingDisconnects = new ConcurrentLinkedQueue<>();
    // Set after a queueing, cleared before the queues are emptied: a call finds nothing to do in one read.
    private volatile boolean queued;

    private Apartment(Thread owner) {
        this.owner = owner;
    }

    /**
     * Makes the calling thread join the multithreaded apartment. Call it
     * before the thread's first use of COM; calling it again does nothing.
     *
     * @throws IllegalStateException when the thread is already in a single-threaded apartment
     */
    public static void enterMultithreaded() {
        Apartment apartment = CURRENT.get();
        if (apartment == null)
            apartment = join(true);
        if (apartment != MULTITHREADED)
            throw new IllegalStateException("Thread \"" + Thread.currentThread().getName()
                    + "\" is already in a single-threaded apartment; enterMultithreaded() must come before its first COM call");
    }

    /**
     * Chooses the apartment of threads that have not used COM yet.
     *
     * @param multithreaded true: such threads join the multithreaded apartment
     *        on first use; false (the default): each gets a single-threaded one
     */
    public static void setMultithreadedDefault(boolean multithreaded) {
        multithreadedDefault = multithreaded;
    }

    /** @return true when the calling thread is in the multithreaded apartment (it joins COM if it has not) */
    public static boolean isMultithreaded() {
        return current() == MULTITHREADED;
    }

    /**
     * Dispatches the calling thread's window messages for a while, doing
     * queued releases meanwhile. Single-threaded apartments need this for
     * servers that call back (events) while the thread waits.
     *
     * @param millis how long, in milliseconds
     */
    public static void pumpMessages(long millis) {
        pumpMessagesUntil(() -> false, millis);
    }

    /**
     * Dispatches the calling thread's window messages until a condition holds
     * or the time is up.
     *
     * @param condition checked between messages
     * @param timeoutMillis the longest wait, in milliseconds
     * @return true when the condition held, false on timeout
     */
    public static boolean pumpMessagesUntil(BooleanSupplier condition, long timeoutMillis) {
        Apartment apartment = current();
        long deadline = System.nanoTime() + Math.max(0, timeoutMillis) * 1_000_000L;
        ComLayer layer = ComLayer.get();
        while (true) {
            apartment.drain();
            if (condition.getAsBoolean())
                return true;
            long left = (deadline - System.nanoTime()) / 1_000_000L;
            if (left <= 0)
                return false;
            layer.pump((int) Math.min(left, 50));
        }
    }

    /** Does the releases queued for the calling thread's apartment now. */
    public static void releasePending() {
        current().drain();
    }

    /** The calling thread's apartment; the thread joins COM on first use. */
    static Apartment current() {
        Apartment apartment = CURRENT.get();
        return apartment != null ? apartment : join(multithreadedDefault);
    }

    /**
     * The apartment of a thread an event arrives on: a thread the program
     * has not joined yet is one of COM's or the server's, and goes to the
     * multithreaded apartment (an STA it is in already stays).
     */
    static Apartment forEvents() {
        Apartment apartment = CURRENT.get();
        return apartment != null ? apartment : join(true);
    }

    private static Apartment join(boolean multithreaded) {
        boolean inMta = ComLayer.get().initThread(multithreaded);
        Apartment apartment = inMta ? MULTITHREADED : new Apartment(Thread.currentThread());
        CURRENT.set(apartment);
        return apartment;
    }

    /** Releases now when the calling thread belongs here, else queues the release. */
    void release(long pointer) {
        if (CURRENT.get() == this) {
            ComLayer.get().release(pointer);
        } else if (owner == null || owner.isAlive()) {
            pending.add(pointer);
            queued = true;
        }
    }

    /** Ends a connection now when the calling thread belongs here, else queues it. */
    void disconnect(long connection) {
        if (CURRENT.get() == this) {
            ComLayer.get().unadvise(connection);
        } else if (owner == null || owner.isAlive()) {
            pendingDisconnects.add(connection);
            queued = true;
        }
    }

    void drain() {
        if (!queued)
            return;
        queued = false;
        for (Long connection; (connection = pendingDisconnects.poll()) != null;)
            ComLayer.get().unadvise(connection);
        for (Long pointer; (pointer = pending.poll()) != null;)
            ComLayer.get().release(pointer);
    }

    boolean isPending(long pointer) {
        return pending.contains(pointer);
    }

    /** Throws unless the calling thread may call objects of this apartment; gives the caller's apartment. */
    Apartment checkCaller() {
        // The thread of a single-threaded apartment is the one whose CURRENT it is.
        if (owner == Thread.currentThread())
            return this;
        Apartment here = current();
        if (here == this)
            return here;
        String thread = Thread.currentThread().getName();
        if (owner == null)
            throw new IllegalStateException("A COM object of the multithreaded apartment was used on thread \"" + thread
                    + "\", which is in a single-threaded apartment; call it from a thread of the multithreaded apartment");
        throw new IllegalStateException("A COM object of the single-threaded apartment of thread \"" + owner.getName()
                + "\" was used on thread \"" + thread + "\"; an object of a single-threaded apartment is called only on the thread that made it");
    }

    @Override
    public String toString() {
        return owner == null ? "multithreaded apartment" : "single-threaded apartment of thread \"" + owner.getName() + "\"";
    }
}
