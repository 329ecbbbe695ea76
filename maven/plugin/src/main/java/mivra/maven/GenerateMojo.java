package mivra.maven;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.Locale;
import java.util.stream.Stream;

import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.project.MavenProject;

/**
 * Generates the Java bindings of a COM type library with {@code mivra generate} and adds the folder they go to as a
 * compile source root. The run is skipped while the library and the parameters are those of the last run.
 */
@Mojo(name = "generate", defaultPhase = LifecyclePhase.GENERATE_SOURCES, threadSafe = true)
public class GenerateMojo extends AbstractMojo {
    static final String STAMP = ".mivra-stamp";

    /** The type library: a .tlb or .olb file, or a .dll, .ocx or .exe carrying one. */
    @Parameter(property = "mivra.typeLibrary", required = true)
    private File typeLibrary;

    /** The Java package of the generated classes. */
    @Parameter(property = "mivra.packageName", required = true)
    private String packageName;

    /**
     * The mapping, {@code full} or {@code basic}. Unset, it is {@code full} where the mivra executable offers a
     * choice, and the executable's only mapping where it does not.
     */
    @Parameter(property = "mivra.mapping")
    private String mapping;

    /** The Wine prefix whose registry supplies ProgIDs (mivra's --registry). */
    @Parameter(property = "mivra.registry")
    private String registry;

    /** Where the generated files go; added as a compile source root. */
    @Parameter(property = "mivra.outputDirectory", defaultValue = "${project.build.directory}/generated-sources/mivra")
    private File outputDirectory;

    /** The mivra program: a path, or a name looked up on the PATH. */
    @Parameter(property = "mivra.executable", defaultValue = "mivra")
    private String executable;

    @Parameter(defaultValue = "${project.build.directory}", readonly = true)
    private File buildDirectory;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (!typeLibrary.isFile())
            throw new MojoFailureException(typeLibrary + ": File does not exist");
        List<String> command = new ArrayList<>(List.of(executable, "generate", "-i", typeLibrary.getAbsolutePath(),
                "-o", outputDirectory.getAbsolutePath(), "-p", packageName));
        String usage = generateUsage();
        String effectiveMapping = mapping;
        if (effectiveMapping == null && usage.contains("--mapping")) effectiveMapping = "full";
        if (effectiveMapping != null) command.addAll(List.of("--mapping", effectiveMapping));
        // javac looks for a class of the source roots in the folder of its package: flat files there would be
        // taken for classes of the default package.
        if (usage.contains("--package-folders")) command.add("--package-folders");
        if (registry != null && !registry.isEmpty()) command.addAll(List.of("--registry", registry));

        String stamp = stampText(command);
        Path stampFile = outputDirectory.toPath().resolve(STAMP);
        project.addCompileSourceRoot(outputDirectory.getAbsolutePath());
        if (stamp.equals(readOrEmpty(stampFile))) {
            getLog().info("Mivra bindings are up to date in " + outputDirectory);
            return;
        }

        clearOwnOutput();
        Result result = run(command);
        for (String line : result.output.split("\\R")) if (!line.isEmpty()) getLog().info(line);
        if (result.status != 0) {
            String message = result.errors.strip();
            if (message.isEmpty()) message = "mivra generate failed with exit status " + result.status;
            throw new MojoFailureException(message);
        }
        try {
            Files.writeString(stampFile, stamp, StandardCharsets.UTF_8);
        } catch (IOException e) {
            throw new MojoExecutionException(stampFile + ": cannot be written", e);
        }
    }

    /** The executable's generate usage text, which names the options it knows. */
    private String generateUsage() throws MojoExecutionException {
        return run(List.of(executable, "generate", "--help")).errors;
    }

    /**
     * What decides the output: the command, the library's content, the libraries it may import (those beside it),
     * the registry of the Wine prefix mivra reads (which names ProgIDs and imported libraries), and the program's
     * version, which changes what it writes.
     */
    private String stampText(List<String> command) throws MojoExecutionException {
        StringBuilder text = new StringBuilder();
        for (String word : command) text.append(word).append('\n');
        text.append("sha-256 ").append(digest(typeLibrary.toPath())).append('\n');
        File[] beside = typeLibrary.getAbsoluteFile().getParentFile().listFiles(
                file -> file.isFile() && !file.equals(typeLibrary.getAbsoluteFile())
                        && file.getName().toLowerCase(Locale.ROOT).matches(".*\\.(tlb|olb|dll|ocx|exe)"));
        if (beside != null) {
            Arrays.sort(beside);
            for (File file : beside) text.append("beside ").append(fileState(file)).append('\n');
        }
        File prefix = registryPrefix();
        text.append("registry ").append(prefix == null ? "" : prefix.getAbsolutePath()).append('\n');
        if (prefix != null)
            for (String name : List.of("system.reg", "user.reg", "userdef.reg"))
                text.append("registry ").append(fileState(new File(prefix, name))).append('\n');
        Result version = run(List.of(executable, "--version"));
        text.append(version.status == 0 ? version.output.strip() : "").append('\n');
        return text.toString();
    }

    /** The prefix whose registry mivra reads: as named, else $WINEPREFIX, else ~/.wine. */
    private File registryPrefix() {
        if (registry != null && !registry.isEmpty()) return new File(registry);
        String variable = System.getenv("WINEPREFIX");
        if (variable != null && !variable.isEmpty()) return new File(variable);
        String home = System.getProperty("user.home");
        return home == null ? null : new File(home, ".wine");
    }

    /** Name, size and time of change: enough to see that a file changed, without reading it. */
    private static String fileState(File file) {
        return file.getName() + " " + file.length() + " " + file.lastModified();
    }

    /** Old classes of a library that lost them must not stay behind; only the build folder is cleared. */
    private void clearOwnOutput() throws MojoExecutionException {
        Path folder = outputDirectory.toPath().toAbsolutePath().normalize();
        Path build = buildDirectory.toPath().toAbsolutePath().normalize();
        if (!folder.startsWith(build) || folder.equals(build) || !Files.isDirectory(folder)) return;
        try (Stream<Path> paths = Files.walk(folder)) {
            for (Path path : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator)
                if (!path.equals(folder)) Files.delete(path);
        } catch (IOException e) {
            throw new MojoExecutionException(folder + ": cannot be cleared", e);
        }
    }

    private static final class Result {
        int status;
        String output;
        String errors;
    }

    private Result run(List<String> command) throws MojoExecutionException {
        getLog().debug(String.join(" ", command));
        try {
            Process process = new ProcessBuilder(command).redirectInput(ProcessBuilder.Redirect.PIPE).start();
            process.getOutputStream().close();
            // Standard error on a thread of its own: either stream can fill up while the other is read.
            StreamText errors = new StreamText(process.getErrorStream());
            errors.start();
            Result result = new Result();
            result.output = new String(process.getInputStream().readAllBytes(), Charset.defaultCharset());
            result.status = process.waitFor();
            errors.join();
            result.errors = errors.text;
            return result;
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot run the mivra executable '" + executable + "' (" + e.getMessage()
                    + "): install mivra or name it with <executable>", e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("Interrupted while mivra ran", e);
        }
    }

    private static final class StreamText extends Thread {
        private final InputStream in;
        String text = "";

        StreamText(InputStream in) {
            this.in = in;
        }

        @Override
        public void run() {
            try {
                text = new String(in.readAllBytes(), Charset.defaultCharset());
            } catch (IOException e) {
                text = e.getMessage();
            }
        }
    }

    private static String readOrEmpty(Path file) {
        try {
            return Files.readString(file, StandardCharsets.UTF_8);
        } catch (IOException e) {
            return "";
        }
    }

    private static String digest(Path file) throws MojoExecutionException {
        try {
            byte[] hash = MessageDigest.getInstance("SHA-256").digest(Files.readAllBytes(file));
            StringBuilder hex = new StringBuilder();
            for (byte b : hash) hex.append(String.format("%02x", b));
            return hex.toString();
        } catch (IOException | NoSuchAlgorithmException e) {
            throw new MojoExecutionException(file + ": cannot be read", e);
        }
    }
}
