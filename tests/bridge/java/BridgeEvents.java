import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicReference;

import mivra.runtime.Apartment;
import mivra.runtime.Holder;
import mivra.runtime.MivraObject;
import mivra.runtime.MivraVariant;
import mvx.bell.Bell;
import mvx.bell.DBell;
import mvx.bell.DBellEvents;

/** Events of the test server through the bridge: during a call, by reference, while pumping, from its worker thread. */
public class BridgeEvents {
    public static void main(String[] args) throws Exception {
        AtomicInteger rings = new AtomicInteger(), dones = new AtomicInteger(), asks = new AtomicInteger();
        AtomicReference<Thread> thread = new AtomicReference<>();
        AtomicReference<String> text = new AtomicReference<>();
        AtomicInteger nested = new AtomicInteger();
        AtomicBoolean callBack = new AtomicBoolean(true);
        AtomicInteger failAt = new AtomicInteger(-1);
        Thread main = Thread.currentThread();
        try (Bell object = new Bell()) {
            DBell bell = object.getDBell();
            AutoCloseable connection = object.addDBellEventsListener(new DBellEvents() {
                @Override
                public void Ring(int count, String t, MivraObject source) {
                    rings.incrementAndGet();
                    thread.set(Thread.currentThread());
                    text.set(t);
                    // A nested call back to the server while its event is under way.
                    if (Thread.currentThread() == main && callBack.get())
                        nested.addAndGet(new DBell(source).getSinks());
                }

                @Override
                public void Ask(String question, Holder<Integer> answer, Holder<Boolean> cancel, MivraVariant note) {
                    asks.incrementAndGet();
                    answer.value = answer.value * 2 + 1;
                    cancel.value = true;
                    note.set(MivraVariant.VT_BSTR, "changed \u00fc");
                }

                @Override
                public void Done(int total) {
                    dones.incrementAndGet();
                    if (total == failAt.get())
                        throw new IllegalStateException("listener failed at " + total);
                }
            });
            bell.RingNow(3);
            Checks.check(rings.get() == 3 && dones.get() == 1, "3 rings and Done during the call");
            Checks.check(thread.get() == Thread.currentThread(), "on the calling thread");
            Checks.check("ring \u00e9\u6771".equals(text.get()), "the text: " + text.get());
            Checks.check(nested.get() == 3, "a call to the server from inside each of its events");
            Checks.check(bell.AskNow(20) == 41, "the [in,out] long came back as 41");
            Checks.check(bell.getLastCancel(), "the [in,out] VARIANT_BOOL came back true");
            Checks.check("changed \u00fc".equals(bell.getLastNote().toJava()), "the [in,out] VARIANT: " + bell.getLastNote());
            int before = rings.get();
            bell.PostRing(4);
            Checks.check(rings.get() == before, "PostRing returns before any event");
            Checks.check(Apartment.pumpMessagesUntil(() -> dones.get() >= 2, 10_000), "pumping delivers the posted rings");
            Checks.check(rings.get() == before + 4 && thread.get() == Thread.currentThread(), "4 rings on this thread");
            before = rings.get();
            int asked = asks.get();
            // The worker's source is a proxy from the multithreaded apartment,
            // and DBell (no type library registered) does not cross apartments.
            callBack.set(false);
            bell.RingFromThread(5);
            Checks.check(Apartment.pumpMessagesUntil(() -> asks.get() > asked, 10_000), "the worker's events arrive");
            callBack.set(true);
            Checks.check(rings.get() == before + 5, "5 rings from the server's worker thread");
            Checks.check(bell.getLastCancel(), "by reference from the worker thread as well");
            failAt.set(2);
            MivraObject.setEventExceptionHandler(e -> { });
            int failures = bell.getFailures();
            bell.RingNow(2);
            Checks.check(bell.getFailures() == failures + 1 && bell.getLastError().contains("listener failed at 2"),
                    "a listener's failure goes back to the server: " + bell.getLastError());
            connection.close();
            Checks.check(bell.getSinks() == 0, "closing the listener disconnects it");
        }
        multithreaded();
    }

    // A thread of the multithreaded apartment: the server's worker thread
    // delivers on a daemon thread, without pumping, and by reference as well.
    private static void multithreaded() throws Exception {
        AtomicInteger asks = new AtomicInteger();
        AtomicReference<Thread> on = new AtomicReference<>();
        AtomicReference<String> outcome = new AtomicReference<>("not run");
        Thread caller = new Thread(() -> {
            Apartment.enterMultithreaded();
            try (Bell object = new Bell()) {
                DBell bell = object.getDBell();
                AutoCloseable connection = object.addDBellEventsListener(new DBellEvents() {
                    @Override
                    public void Ask(String question, Holder<Integer> answer, Holder<Boolean> cancel, MivraVariant note) {
                        on.set(Thread.currentThread());
                        cancel.value = true;
                        asks.incrementAndGet();
                    }
                });
                bell.RingFromThread(3);
                long deadline = System.nanoTime() + 10_000_000_000L;
                while (asks.get() < 1 && System.nanoTime() < deadline)
                    Thread.sleep(10);
                boolean cancelled = bell.getLastCancel();
                connection.close();
                outcome.set(asks.get() + " " + (on.get() != null && on.get() != Thread.currentThread() && on.get().isDaemon())
                        + " " + cancelled + " " + bell.getSinks());
            } catch (Exception e) {
                outcome.set(e.toString());
            }
        }, "multithreaded");
        caller.start();
        caller.join();
        Checks.check(outcome.get().equals("1 true true 0"),
                "multithreaded: the worker's event on a daemon thread without pumping, by reference, disconnected: " + outcome.get());
    }
}
