import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;

import mivra.runtime.MivraException;
import mivra.runtime.MivraVariant;
import mvx.bell.Bell;
import mvx.scrrun.Dictionary;
import mvx.scrrun.IDictionary;

/** A bridge killed while a call waits and between calls: exceptions naming the bridge, never a hang. */
public class BridgeKilled {
    public static void main(String[] args) throws Exception {
        Dictionary dictionary = new Dictionary();
        IDictionary dict = dictionary.getIDictionary();
        dict.Add(MivraVariant.of("k"), MivraVariant.of(1));
        Bell bell = new Bell();
        AtomicReference<Throwable> pending = new AtomicReference<>();
        CountDownLatch started = new CountDownLatch(1), ended = new CountDownLatch(1);
        Thread waiter = new Thread(() -> {
            try {
                started.countDown();
                // A pump that lasts long: the call is pending when the bridge dies.
                mivra.runtime.Apartment.pumpMessagesUntil(() -> false, 60_000);
            } catch (Throwable e) {
                pending.set(e);
            }
            ended.countDown();
        });
        waiter.setDaemon(true);
        waiter.start();
        started.await();
        Thread.sleep(500);
        // The bridge is this JVM's only child (Wine's server, its child, stays for other programs).
        ProcessHandle.current().children().forEach(ProcessHandle::destroyForcibly);
        Checks.check(ended.await(20, TimeUnit.SECONDS), "the pending call returned");
        Checks.check(pending.get() instanceof MivraException && pending.get().getMessage().contains("bridge"),
                "the pending call threw naming the bridge: " + pending.get());
        long start = System.nanoTime();
        try {
            dict.getCount();
            Checks.check(false, "a call after the bridge died threw");
        } catch (MivraException e) {
            Checks.check(e.getMessage().contains("bridge"), "a later call throws naming the bridge: " + e.getMessage());
        }
        Checks.check(System.nanoTime() - start < TimeUnit.SECONDS.toNanos(5), "at once");
        dictionary.close();
        bell.close();
    }
}
