package mivra.runtime;

import java.io.File;
import java.io.FileInputStream;
import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URISyntaxException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.security.CodeSource;
import java.util.Arrays;
import java.util.Locale;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * Finds the native half for the running JVM: the DLL of its bitness, from
 * java.library.path when a file there is the jar's copy byte for byte, else
 * the jar's copy extracted into a per-user cache folder named by the hash the
 * build wrote beside it, and compared with the jar's copy before every use.
 * Nothing else is ever loaded: java.library.path holds the PATH folders and
 * the current folder on Windows, where anyone may have put a DLL of that name.
 */
final class NativeLoader {
    static final String RESOURCE_FOLDER = "/mivra/runtime/native/";

    /** What the loader reads from the running system; tests give their own. */
    static final class Platform {
        final String osName;
        final String osArch;
        final String dataModel;
        final String libraryPath;
        final Path cacheRoot;

        Platform(String osName, String osArch, String dataModel, String libraryPath, Path cacheRoot) {
            this.osName = osName;
            this.osArch = osArch;
            this.dataModel = dataModel;
            this.libraryPath = libraryPath;
            this.cacheRoot = cacheRoot;
        }

        static Platform running() {
            String local = System.getenv("LOCALAPPDATA");
            Path root = local != null && !local.isEmpty() ? Paths.get(local, "Mivra", "runtime")
                    : Paths.get(System.getProperty("user.home"), ".mivra", "runtime");
            return new Platform(System.getProperty("os.name", ""), System.getProperty("os.arch", ""),
                    System.getProperty("sun.arch.data.model", ""), System.getProperty("java.library.path", ""), root);
        }
    }

    /** Opens a resource of the jar; tests give their own. */
    interface Resources {
        InputStream open(String name) throws IOException;
    }

    private NativeLoader() {
    }

    static void load() {
        System.load(locate(Platform.running(), jarResources()).toString());
    }

    /**
     * The resources of the jar this class came from, read with ZipFile: the class loader's resource URLs would load
     * tens of milliseconds of classes in a cold JVM. Anywhere else (a folder of classes), the class loader's.
     */
    static Resources jarResources() {
        Path jar = null;
        try {
            CodeSource source = NativeLoader.class.getProtectionDomain().getCodeSource();
            if (source != null && source.getLocation() != null && "file".equals(source.getLocation().getProtocol()))
                jar = Paths.get(source.getLocation().toURI());
        } catch (URISyntaxException | IllegalArgumentException | SecurityException e) {
            jar = null;
        }
        if (jar == null || !Files.isRegularFile(jar))
            return new LoaderResources();
        return new JarResources(jar.toFile());
    }

    // Classes, not lambdas: the first lambda of a JVM starts the invokedynamic machinery (string concatenation
    // too, so the path to the DLL joins its strings with concat).
    private static final class LoaderResources implements Resources {
        @Override
        public InputStream open(String name) {
            return NativeLoader.class.getResourceAsStream(name);
        }
    }

    private static final class JarResources implements Resources {
        private final File jar;

        JarResources(File jar) {
            this.jar = jar;
        }

        @Override
        public InputStream open(String name) throws IOException {
            ZipFile zip = new ZipFile(jar);
            ZipEntry entry = zip.getEntry(name.startsWith("/") ? name.substring(1) : name);
            if (entry == null) {
                zip.close();
                return null;
            }
            return new FilterInputStream(zip.getInputStream(entry)) {
                @Override
                public void close() throws IOException {
                    try {
                        super.close();
                    } finally {
                        zip.close();
                    }
                }
            };
        }
    }

    /** The DLL name for the platform: mivra_runtime32.dll or mivra_runtime64.dll. */
    static String libraryName(Platform platform) {
        if (!platform.osName.toLowerCase(Locale.ROOT).startsWith("windows"))
            throw new UnsatisfiedLinkError("The Mivra runtime calls COM and runs on Windows only, not on " + platform.osName);
        String arch = platform.osArch.toLowerCase(Locale.ROOT);
        if (arch.equals("amd64") || arch.equals("x86_64") || (arch.isEmpty() && platform.dataModel.equals("64")))
            return "mivra_runtime64.dll";
        if (arch.equals("x86") || arch.matches("i[3-6]86") || (arch.isEmpty() && platform.dataModel.equals("32")))
            return "mivra_runtime32.dll";
        throw new UnsatisfiedLinkError("The Mivra runtime has no library for the processor \"" + platform.osArch
                + "\"; it has one for 32-bit (x86) and one for 64-bit (amd64) JVMs");
    }

    /** Where the DLL to load is: a file whose content is the jar's copy, on java.library.path or in the cache. */
    static Path locate(Platform platform, Resources resources) {
        String name = libraryName(platform);
        String resourceName = RESOURCE_FOLDER.concat(name);
        byte[] library = resource(resources, resourceName);
        for (String folder : platform.libraryPath.split(File.pathSeparator)) {
            if (folder.isEmpty())
                continue;
            Path candidate = Paths.get(folder, name);
            if (holds(candidate, library))
                return candidate.toAbsolutePath();
        }
        String hash = new String(resource(resources, resourceName.concat(".sha256")), StandardCharsets.US_ASCII).trim();
        if (!isHash(hash))
            throw new UnsatisfiedLinkError("The runtime jar's " + RESOURCE_FOLDER + name + ".sha256 is not a SHA-256 hash");
        Path folder = platform.cacheRoot.resolve(hash.substring(0, 16));
        Path target = folder.resolve(name);
        try {
            if (holds(target, library))
                return target.toAbsolutePath();
            Files.createDirectories(folder);
            // Not createTempFile (its SecureRandom) nor ProcessHandle (its lambdas): both start up slowly. The
            // name only has to differ from another JVM's; CREATE_NEW never takes an existing one.
            Path temporary = folder.resolve(name.concat(".").concat(Long.toHexString(System.nanoTime()))
                    .concat(Integer.toHexString(System.identityHashCode(library))).concat(".part"));
            try {
                Files.write(temporary, library, StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE);
                try {
                    Files.move(temporary, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
                } catch (IOException e) {
                    // Another JVM may hold the file it extracted; it is fine if it is right.
                    if (!holds(target, library))
                        throw e;
                }
            } finally {
                Files.deleteIfExists(temporary);
            }
        } catch (IOException e) {
            throw linkError("Cannot extract " + name + " into " + folder, e);
        }
        return target.toAbsolutePath();
    }

    private static byte[] resource(Resources resources, String name) {
        try (InputStream in = resources.open(name)) {
            if (in == null)
                throw new UnsatisfiedLinkError("The runtime jar lacks " + name);
            return in.readAllBytes();
        } catch (IOException e) {
            throw linkError("Cannot read " + name + " from the runtime jar", e);
        }
    }

    /** Sixty-four lower-case hex digits; no regular expression, whose classes would load first. */
    private static boolean isHash(String text) {
        if (text.length() != 64)
            return false;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if ((c < '0' || c > '9') && (c < 'a' || c > 'f'))
                return false;
        }
        return true;
    }

    /** Whether the file is there and its content is exactly the bytes (java.io: NIO's channels load slowly). */
    private static boolean holds(Path path, byte[] content) {
        File file = path.toFile();
        if (!file.isFile() || file.length() != content.length)
            return false;
        try (FileInputStream in = new FileInputStream(file)) {
            return Arrays.equals(in.readNBytes(content.length + 1), content);
        } catch (IOException e) {
            return false;
        }
    }

    private static UnsatisfiedLinkError linkError(String message, Throwable cause) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message + ": " + cause.getMessage());
        error.initCause(cause);
        return error;
    }
}
