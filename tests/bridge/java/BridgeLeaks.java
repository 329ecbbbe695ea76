import mivra.runtime.Bridge;
import mivra.runtime.MivraVariant;
import mvx.scrrun.Dictionary;
import mvx.scrrun.IDictionary;

/** Many calls through the bridge leave neither the bridge's memory nor the JVM's heap larger. */
public class BridgeLeaks {
    public static void main(String[] args) {
        int calls = args.length > 0 ? Integer.parseInt(args[0]) : 100_000;
        try (Dictionary dictionary = new Dictionary()) {
            IDictionary dict = dictionary.getIDictionary();
            dict.Add(MivraVariant.of("key"), MivraVariant.of("a value of some length"));
            MivraVariant key = MivraVariant.of("key");
            run(dict, key, calls / 10);
            long bridgeBefore = Bridge.memory()[0];
            long heapBefore = heap();
            run(dict, key, calls);
            long bridgeGrowth = Bridge.memory()[0] - bridgeBefore;
            long heapGrowth = heap() - heapBefore;
            System.out.println("bridge working set growth " + bridgeGrowth + " bytes, JVM heap growth " + heapGrowth + " bytes");
            Checks.check(bridgeGrowth < 1 << 20, calls + " calls grow the bridge by less than 1 MiB");
            Checks.check(heapGrowth < 1 << 20, calls + " calls leave the JVM's heap as it was");
        }
    }

    private static void run(IDictionary dict, MivraVariant key, int calls) {
        for (int i = 0; i < calls; ++i) {
            // An object made and dropped each time too: its release must reach the bridge.
            if (!"a value of some length".equals(dict.getItem(key).toJava()))
                throw new IllegalStateException("wrong item");
            if (i % 100 == 0) {
                Dictionary other = new Dictionary();
                other.close();
            }
        }
    }

    private static long heap() {
        Runtime runtime = Runtime.getRuntime();
        for (int i = 0; i < 4; ++i) {
            System.gc();
            try {
                Thread.sleep(50);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        return runtime.totalMemory() - runtime.freeMemory();
    }
}
