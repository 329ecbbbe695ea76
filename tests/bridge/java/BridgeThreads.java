import java.util.concurrent.atomic.AtomicReference;

import mivra.runtime.MivraVariant;
import mvx.scrrun.Dictionary;
import mvx.scrrun.IDictionary;

/** A second Java thread has its own apartment and objects in the bridge; a cross-thread call is refused. */
public class BridgeThreads {
    public static void main(String[] args) throws Exception {
        try (Dictionary mine = new Dictionary()) {
            IDictionary dict = mine.getIDictionary();
            dict.Add(MivraVariant.of("main"), MivraVariant.of(1));
            AtomicReference<String> seen = new AtomicReference<>("nothing");
            Thread other = new Thread(() -> {
                try (Dictionary theirs = new Dictionary()) {
                    IDictionary d = theirs.getIDictionary();
                    for (int i = 0; i < 100; ++i)
                        d.Add(MivraVariant.of(i), MivraVariant.of("v" + i));
                    StringBuilder text = new StringBuilder("own " + d.getCount());
                    try {
                        dict.getCount();
                        text.append(", the main thread's object answered");
                    } catch (IllegalStateException e) {
                        text.append(", refused");
                    }
                    seen.set(text.toString());
                } catch (RuntimeException e) {
                    seen.set(e.toString());
                }
            }, "second");
            other.start();
            // Both threads call at the same time.
            for (int i = 0; i < 100; ++i)
                dict.getItem(MivraVariant.of("main"));
            other.join();
            Checks.check(seen.get().equals("own 100, refused"), "the second thread: " + seen.get());
            Checks.check(dict.getCount() == 1, "the main thread's object is untouched");
        }
    }
}
