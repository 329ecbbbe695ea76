package mivra.runtime;

import static mivra.runtime.MivraVariant.*;
import static org.junit.Assert.*;

import java.lang.ref.WeakReference;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.Before;
import org.junit.Test;

/** Threads and apartments: who may call an object, and where it is released. */
public class ApartmentTest {
    private FakeCom com;

    @Before
    public void setUp() {
        com = new FakeCom();
        ComLayer.install(com);
        com.classes.put("Test.Thing", com::echoObject);
    }

    /** Runs body on a new thread and gives back what it threw. */
    private static Throwable onThread(String name, Runnable body) throws InterruptedException {
        AtomicReference<Throwable> thrown = new AtomicReference<>();
        Thread thread = new Thread(() -> {
            try {
                body.run();
            } catch (Throwable e) {
                thrown.set(e);
            }
        }, name);
        thread.start();
        thread.join();
        return thrown.get();
    }

    @Test
    public void anObjectOfAThreadsApartmentIsCalledOnlyThere() throws InterruptedException {
        Thing mine = new Thing("Test.Thing");
        Throwable e = onThread("worker", () -> mine.echo(1, VT_I4));
        assertTrue(e instanceof IllegalStateException);
        assertEquals("A COM object of the single-threaded apartment of thread \"" + Thread.currentThread().getName()
                + "\" was used on thread \"worker\"; an object of a single-threaded apartment is called only on the thread that made it",
                e.getMessage());
        // Passed as an argument on the wrong thread it is refused too.
        assertTrue(onThread("worker", () -> new Thing("Test.Thing").echo(mine, VT_DISPATCH)) instanceof IllegalStateException);
        assertFalse(Apartment.isMultithreaded());
    }

    @Test
    public void threadsOfTheMultithreadedApartmentShareObjects() throws InterruptedException {
        AtomicReference<Thing> shared = new AtomicReference<>();
        assertNull(onThread("mta-1", () -> {
            Apartment.enterMultithreaded();
            Apartment.enterMultithreaded();
            shared.set(new Thing("Test.Thing"));
        }));
        assertNull(onThread("mta-2", () -> {
            Apartment.enterMultithreaded();
            assertEquals(7, shared.get().echo(7, VT_I4));
            shared.get().close();
        }));
        assertEquals("released by the MTA thread that closed it", "mta-2", com.releaseThreads.get(0));
        Throwable late = onThread("sta", () -> {
            new Thing("Test.Thing");
            Apartment.enterMultithreaded();
        });
        assertTrue(late instanceof IllegalStateException);
        assertTrue(late.getMessage().startsWith("Thread \"sta\" is already in a single-threaded apartment"));
        Apartment.setMultithreadedDefault(true);
        try {
            assertNull(onThread("default", () -> assertTrue(Apartment.isMultithreaded())));
        } finally {
            Apartment.setMultithreadedDefault(false);
        }
    }

    @Test
    public void aCloseOnAnotherThreadIsQueuedForTheOwner() throws InterruptedException {
        Thing mine = new Thing("Test.Thing");
        long pointer = mine.pointerForCall();
        assertNull(onThread("closer", mine::close));
        assertEquals("not released on the closing thread", 1, com.refs(pointer));
        assertTrue(com.releaseThreads.isEmpty());
        Apartment.releasePending();
        assertEquals(0, com.refs(pointer));
        assertEquals(Thread.currentThread().getName(), com.releaseThreads.get(0));
    }

    @Test
    public void theCleanerQueuesAndTheOwnerReleasesAtItsNextCall() throws InterruptedException {
        long pointer = dropOne();
        // The cleaner runs on its own thread; it queues the release.
        for (int i = 0; i < 300 && !queued(pointer); ++i) {
            System.gc();
            Thread.sleep(10);
        }
        assertTrue("the cleaner queued the release", queued(pointer));
        assertEquals(1, com.refs(pointer));
        assertTrue(com.releaseThreads.isEmpty());
        Thing next = new Thing("Test.Thing");
        next.echo(1, VT_I4);
        assertEquals(0, com.refs(pointer));
        assertEquals(Thread.currentThread().getName(), com.releaseThreads.get(0));
        // Pumping messages also does the queued releases.
        long other = dropOne();
        for (int i = 0; i < 300 && !queued(other); ++i) {
            System.gc();
            Thread.sleep(10);
        }
        assertTrue(Apartment.pumpMessagesUntil(() -> com.refs(other) == 0, 2000));
        assertFalse(Apartment.pumpMessagesUntil(() -> false, 20));
    }

    private long dropOne() {
        Thing lost = new Thing("Test.Thing");
        long pointer = lost.pointerForCall();
        WeakReference<Thing> weak = new WeakReference<>(lost);
        lost = null;
        assertNotNull(weak);
        return pointer;
    }

    private static boolean queued(long pointer) {
        return Apartment.current().isPending(pointer);
    }
}
