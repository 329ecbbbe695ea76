import java.util.Arrays;

import mivra.runtime.Bridge;
import mivra.runtime.MivraVariant;
import mvx.scrrun.Dictionary;
import mvx.scrrun.IDictionary;

/**
 * Dictionary.Item through mivra-bridge.exe against an echo of a message of
 * the same size over the same pipe, in the same run: calls per second, their
 * ratio and the first call's start-up (the bridge started, its first object
 * made). Printed, not checked. Arguments: the bridge's command words; the
 * number of calls is the property calls (100,000).
 */
public class BridgeBench {
    public static void main(String[] args) {
        int calls = Integer.getInteger("calls", 100_000);
        long start = System.nanoTime();
        Bridge.start(Arrays.asList(args));
        try (Dictionary dictionary = new Dictionary()) {
            IDictionary dict = dictionary.getIDictionary();
            MivraVariant key = MivraVariant.of("key");
            dict.Add(key, MivraVariant.of("value"));
            dict.getItem(key);
            double startup = (System.nanoTime() - start) / 1e6;
            // Item's request: 30 bytes of fields and a frame of two slots, one
            // a 3-character string (74 bytes); an echo of 30 characters is as long.
            String text = "x".repeat(30);
            for (int i = 0; i < calls / 10; ++i) {
                dict.getItem(key);
                Bridge.echo(text);
            }
            long t0 = System.nanoTime();
            for (int i = 0; i < calls; ++i)
                dict.getItem(key);
            long t1 = System.nanoTime();
            for (int i = 0; i < calls; ++i)
                Bridge.echo(text);
            long t2 = System.nanoTime();
            double item = calls / ((t1 - t0) / 1e9), echo = calls / ((t2 - t1) / 1e9);
            System.out.printf("first call after start-up: %.0f ms%n", startup);
            System.out.printf("Dictionary.Item through the bridge: %.0f calls/s (%.1f us each)%n", item, 1e6 / item);
            System.out.printf("echo of the same size:              %.0f round trips/s (%.1f us each)%n", echo, 1e6 / echo);
            System.out.printf("ratio: %.2f times the echo's round trip (target: at most 2)%n", echo / item);
        }
    }
}
