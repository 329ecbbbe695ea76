package mivra.runtime;

import static mivra.runtime.MivraVariant.*;

import java.lang.management.ManagementFactory;
import java.util.Arrays;

/**
 * A call's own cost on this machine's JVM: the Java half and the shipped JNI
 * adapter over a core that answers at once (a ten-character string, an int
 * or an object with its IID), next to a bare native call; with the core's share measured under
 * wine64 (bench_core_call.exe, its figures passed in), the sum beside the
 * Invoke. Run by hand: cmake --build build --target bench-call-cost
 *
 * <p>Arguments: the adapter's library, then optionally the core's own ns of
 * a string get and of a three-argument method and the direct Invoke's ns of
 * each.
 */
public final class CallCostBench {
    private static final int BLOCK = 200_000;
    private static final int BLOCKS = 25;

    /** Calls as the generated classes make them. */
    static final class Target extends MivraObject {
        Target(Ref ref) {
            super(ref);
        }

        String getName() {
            return (String) mivraCall(1, PROPERTYGET, VT_BSTR, new Object[0], new int[0]);
        }

        String getNameShort() {
            return (String) mivraCall(1, PROPERTYGET, VT_BSTR);
        }

        int getCount() {
            return (int) mivraCall(2, PROPERTYGET, VT_I4, new Object[0], new int[0]);
        }

        int three(String text, int a, int b) {
            return (int) mivraCall(3, METHOD, VT_I4, new Object[] {text, a, b}, new int[] {VT_BSTR, VT_I4, VT_I4});
        }
    }

    private interface Way {
        long run(Target target, int calls);
    }

    private static final com.sun.management.ThreadMXBean THREADS =
            (com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean();

    public static void main(String[] args) {
        System.load(args[0]);
        NativeComLayer layer = NativeComLayer.loaded();
        ComLayer.install(layer);
        Target target = new Target(new MivraObject.Ref(0x1000, true, Apartment.current()));
        String[] names = {"bare native call", "string property get", "int property get", "three-argument method",
            "string property get, no argument arrays", "JNI alone, string result", "JNI alone, int result",
            "JNI alone, three arguments", "JNI alone, object result", "JNI alone, object result over three arrays"};
        long[] threeSlots = {10, 0, 7, VT_BSTR, VT_I4, VT_I4};
        Object[] threeRefs = {"abcdefghij", null, null};
        Way[] ways = {
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    layer.release(i);
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += t.getName().length();
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += t.getCount();
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += t.three("abcdefghij", i, 7);
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += t.getNameShort().length();
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += ((String) layer.invokeRef(0x1000, 1, MivraObject.PROPERTYGET, VT_BSTR, 0, null, null))
                            .length();
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += layer.invokeBits(0x1000, 2, MivraObject.PROPERTYGET, VT_I4, 0, null, null);
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i)
                    sum += layer.invokeBits(0x1000, 3, MivraObject.METHOD, VT_I4, 3, threeSlots, threeRefs);
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i) {
                    String[] iid = new String[1];
                    sum += layer.invokeObject(0x1000, 6, MivraObject.PROPERTYGET, VT_DISPATCH, 0, null, null, iid)
                            + iid[0].length();
                }
                return sum;
            },
            (t, calls) -> {
                long sum = 0;
                for (int i = 0; i < calls; ++i) {
                    Object[] frame = Wire.frame(1);
                    layer.invoke(0x1000, 6, MivraObject.PROPERTYGET, VT_DISPATCH, (int[]) frame[0], (long[]) frame[1],
                            (Object[]) frame[2]);
                    sum += ((long[]) frame[1])[0] + ((String) ((Object[]) frame[2])[0]).length();
                }
                return sum;
            },
        };
        if (target.getName().length() != 10 || target.three("xyz", 2, 3) != 8
                || layer.invokeBits(0x1000, 3, MivraObject.METHOD, VT_I4, 3, threeSlots, threeRefs) != 17)
            throw new AssertionError("the stand-in core answers wrongly");
        double[][] times = new double[ways.length][BLOCKS];
        long[] bytes = new long[ways.length];
        for (int w = 0; w < ways.length; ++w)
            ways[w].run(target, BLOCK * 5);
        // Blocks of the ways alternate, so that a neighbour's load falls on all alike; the fastest block
        // of each counts (what the load spares).
        for (int b = 0; b < BLOCKS; ++b)
            for (int w = 0; w < ways.length; ++w) {
                long allocated = THREADS.getCurrentThreadAllocatedBytes();
                long start = System.nanoTime();
                ways[w].run(target, BLOCK);
                times[w][b] = (System.nanoTime() - start) / (double) BLOCK;
                bytes[w] += THREADS.getCurrentThreadAllocatedBytes() - allocated;
            }
        double[] ns = new double[ways.length];
        for (int w = 0; w < ways.length; ++w) {
            Arrays.sort(times[w]);
            ns[w] = times[w][0];
            System.out.printf("%s: %.1f ns a call, %d bytes a call (Java half and JNI)%n", names[w], ns[w],
                    bytes[w] / ((long) BLOCK * BLOCKS));
        }
        if (args.length >= 5) {
            double[] core = {Double.parseDouble(args[1]), Double.parseDouble(args[2])};
            double[] invoke = {Double.parseDouble(args[3]), Double.parseDouble(args[4])};
            double[] limits = {100, 150};
            int[] rows = {1, 3};
            for (int k = 0; k < 2; ++k) {
                double own = ns[rows[k]] + core[k];
                System.out.printf("%s: own cost %.0f ns (Java and JNI %.0f + core %.0f; target at most %.0f) "
                        + "beside the Invoke's %.0f ns%n", names[rows[k]], own, ns[rows[k]], core[k], limits[k], invoke[k]);
            }
        }
    }
}
