package mivra.runtime;

import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * The loader's work before the first call: NativeLoader.locate() with a
 * 64-bit Windows platform, timed inside fresh JVMs (the JVM's own start left
 * out), over the runtime jar this class runs with. Usage: NativeLoaderBench [RUNS]
 */
public final class NativeLoaderBench {
    public static void main(String[] args) throws Exception {
        if (args.length == 3 && args[0].equals("--once")) {
            NativeLoader.Platform windows = new NativeLoader.Platform("Windows 11", "amd64", "64", args[2],
                    Path.of(args[1]));
            long start = System.nanoTime();
            Path found = NativeLoader.locate(windows, NativeLoader.jarResources());
            long spent = System.nanoTime() - start;
            System.out.println(spent + " " + found);
            return;
        }
        int runs = args.length > 0 ? Integer.parseInt(args[0]) : 11;
        Path scratch = Files.createTempDirectory("mivra-loader-bench");
        Path cache = scratch.resolve("cache");
        String first = once(cache, "");
        String onPath = first.substring(first.indexOf(' ') + 1);
        double[] extracting = new double[runs], cached = new double[runs], path = new double[runs];
        for (int i = 0; i < runs; i++) {
            deleteAll(cache);
            extracting[i] = millis(once(cache, ""));
            cached[i] = millis(once(cache, ""));
            path[i] = millis(once(scratch.resolve("none"), Path.of(onPath).getParent().toString()));
        }
        deleteAll(scratch);
        System.out.printf("NativeLoader.locate() in a cold JVM, median (fastest) of %d; target: at most 10 ms%n", runs);
        System.out.printf("  extracting into an empty cache: %6.2f (%6.2f) ms%n", median(extracting), fastest(extracting));
        System.out.printf("  cached copy compared:           %6.2f (%6.2f) ms%n", median(cached), fastest(cached));
        System.out.printf("  the jar's copy on the path:     %6.2f (%6.2f) ms%n", median(path), fastest(path));
    }

    private static String once(Path cache, String libraryPath) throws Exception {
        List<String> command = new ArrayList<>(Arrays.asList(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-cp",
                System.getProperty("java.class.path"), NativeLoaderBench.class.getName(), "--once", cache.toString(),
                libraryPath));
        Process process = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        String line = new String(process.getInputStream().readAllBytes()).trim();
        if (process.waitFor() != 0)
            throw new IllegalStateException("the timed JVM failed");
        return line;
    }

    private static double millis(String line) {
        return Long.parseLong(line.substring(0, line.indexOf(' '))) / 1e6;
    }

    private static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    private static double fastest(double[] values) {
        return Arrays.stream(values).min().orElse(0);
    }

    private static void deleteAll(Path folder) throws Exception {
        if (!Files.exists(folder))
            return;
        try (var files = Files.walk(folder)) {
            files.sorted((a, b) -> b.getNameCount() - a.getNameCount()).map(Path::toFile).forEach(File::delete);
        }
    }
}
