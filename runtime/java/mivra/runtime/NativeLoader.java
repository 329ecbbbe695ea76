package mivra.runtime;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Arrays;
import java.util.Locale;

/**
 * Finds the native half for the running JVM: the DLL of its bitness from
 * java.library.path when it is there, else the copy inside the jar,
 * extracted once into a per-user cache folder named by the DLL's hash and
 * checked against that hash before every use.
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
        System.load(locate(Platform.running(), name -> NativeLoader.class.getResourceAsStream(name)).toString());
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

    /** Where the DLL to load is: on java.library.path, or extracted and checked in the cache. */
    static Path locate(Platform platform, Resources resources) {
        String name = libraryName(platform);
        for (String folder : platform.libraryPath.split(File.pathSeparator)) {
            if (folder.isEmpty())
                continue;
            Path candidate = Paths.get(folder, name);
            if (Files.isRegularFile(candidate))
                return candidate.toAbsolutePath();
        }
        byte[] library;
        try (InputStream in = resources.open(RESOURCE_FOLDER + name)) {
            if (in == null)
                throw new UnsatisfiedLinkError("The runtime jar lacks " + RESOURCE_FOLDER + name);
            library = readAll(in);
        } catch (IOException e) {
            throw linkError("Cannot read " + name + " from the runtime jar", e);
        }
        byte[] hash = sha256(library);
        Path folder = platform.cacheRoot.resolve(hex(hash).substring(0, 16));
        Path target = folder.resolve(name);
        try {
            if (Files.isRegularFile(target) && Arrays.equals(sha256(Files.readAllBytes(target)), hash))
                return target.toAbsolutePath();
            Files.createDirectories(folder);
            Path temporary = Files.createTempFile(folder, name, ".part");
            try {
                Files.write(temporary, library);
                try {
                    Files.move(temporary, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
                } catch (IOException e) {
                    // Another JVM may hold the file it extracted; it is fine if it is right.
                    if (!Files.isRegularFile(target) || !Arrays.equals(sha256(Files.readAllBytes(target)), hash))
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

    private static UnsatisfiedLinkError linkError(String message, Throwable cause) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message + ": " + cause.getMessage());
        error.initCause(cause);
        return error;
    }

    private static byte[] readAll(InputStream in) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] chunk = new byte[65536];
        for (int n; (n = in.read(chunk)) > 0;)
            out.write(chunk, 0, n);
        return out.toByteArray();
    }

    static byte[] sha256(byte[] data) {
        try {
            return MessageDigest.getInstance("SHA-256").digest(data);
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException(e);
        }
    }

    static String hex(byte[] bytes) {
        StringBuilder out = new StringBuilder();
        for (byte b : bytes)
            out.append(String.format("%02x", b));
        return out.toString();
    }
}
