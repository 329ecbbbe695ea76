package mivra.runtime;

import static org.junit.Assert.*;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.security.MessageDigest;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

/** Which DLL the jar loads, and from where, with the platform given by the test. */
public class NativeLoaderTest {
    @Rule
    public TemporaryFolder folder = new TemporaryFolder();

    private static final byte[] DLL = "MZ not really a library".getBytes();

    private NativeLoader.Platform windows(String arch, String libraryPath, Path cache) {
        return new NativeLoader.Platform("Windows 10", arch, "", libraryPath, cache);
    }

    private static String sha256(byte[] data) throws Exception {
        StringBuilder hex = new StringBuilder();
        for (byte b : MessageDigest.getInstance("SHA-256").digest(data))
            hex.append(String.format("%02x", b));
        return hex.toString();
    }

    /** The jar's copy and the hash the build wrote beside it. */
    private NativeLoader.Resources jar() throws Exception {
        String hash = sha256(DLL);
        return name -> {
            if (name.equals("/mivra/runtime/native/mivra_runtime64.dll"))
                return new ByteArrayInputStream(DLL);
            return name.equals("/mivra/runtime/native/mivra_runtime64.dll.sha256")
                    ? new ByteArrayInputStream(hash.getBytes("US-ASCII")) : null;
        };
    }

    @Test
    public void theBitnessOfTheJvmChoosesTheLibrary() {
        Object[][] cases = {{"amd64", "", "mivra_runtime64.dll"}, {"x86_64", "", "mivra_runtime64.dll"},
            {"x86", "", "mivra_runtime32.dll"}, {"i686", "", "mivra_runtime32.dll"}, {"", "32", "mivra_runtime32.dll"},
            {"", "64", "mivra_runtime64.dll"}};
        for (Object[] c : cases)
            assertEquals(c[0] + "/" + c[1], c[2], NativeLoader.libraryName(
                    new NativeLoader.Platform("Windows 11", (String) c[0], (String) c[1], "", null)));
        try {
            NativeLoader.libraryName(windows("aarch64", "", null));
            fail();
        } catch (UnsatisfiedLinkError e) {
            assertTrue(e.getMessage(), e.getMessage().contains("\"aarch64\""));
        }
        try {
            NativeLoader.libraryName(new NativeLoader.Platform("Linux", "amd64", "64", "", null));
            fail();
        } catch (UnsatisfiedLinkError e) {
            assertEquals("The Mivra runtime calls COM and runs on Windows only, not on Linux", e.getMessage());
        }
    }

    @Test
    public void onlyTheJarsOwnCopyIsTakenFromTheLibraryPath() throws Exception {
        Path planted = folder.newFolder("planted").toPath().resolve("mivra_runtime64.dll");
        Path own = folder.newFolder("own").toPath().resolve("mivra_runtime64.dll");
        Files.write(own, DLL);
        Path cache = folder.getRoot().toPath().resolve("cache");
        Path extracted = cache.resolve(sha256(DLL).substring(0, 16)).resolve("mivra_runtime64.dll").toAbsolutePath();
        String both = folder.getRoot() + File.separator + "empty" + File.pathSeparator + planted.getParent()
                + File.pathSeparator + own.getParent();
        byte[] altered = DLL.clone();
        altered[3] ^= 1;
        for (byte[] other : new byte[][] {{1}, java.util.Arrays.copyOf(DLL, DLL.length + 1), altered}) {
            Files.write(planted, other);
            assertEquals(own.toAbsolutePath(), NativeLoader.locate(windows("amd64", both, cache), jar()));
            assertEquals(extracted, NativeLoader.locate(windows("amd64", planted.getParent().toString(), cache), jar()));
        }
        Files.write(planted, DLL);
        assertEquals(planted.toAbsolutePath(), NativeLoader.locate(windows("amd64", both, cache), jar()));
    }

    @Test
    public void theJarsCopyIsExtractedOnceAndCheckedByItsHash() throws Exception {
        Path cache = folder.getRoot().toPath().resolve("cache");
        Path first = NativeLoader.locate(windows("amd64", "", cache), jar());
        String hash = sha256(DLL);
        assertEquals(cache.resolve(hash.substring(0, 16)).resolve("mivra_runtime64.dll").toAbsolutePath(), first);
        assertArrayEquals(DLL, Files.readAllBytes(first));
        FileTime written = FileTime.fromMillis(1_000_000);
        Files.setLastModifiedTime(first, written);
        assertEquals(first, NativeLoader.locate(windows("amd64", "", cache), jar()));
        assertEquals("a good copy is not written again", written, Files.getLastModifiedTime(first));
        Files.write(first, "damaged".getBytes());
        assertEquals(first, NativeLoader.locate(windows("amd64", "", cache), jar()));
        assertArrayEquals("a damaged copy is replaced", DLL, Files.readAllBytes(first));
        try (java.util.stream.Stream<Path> files = Files.list(first.getParent())) {
            assertEquals("no partial file is left", 1, files.count());
        }
        try {
            NativeLoader.locate(windows("x86", "", cache), jar());
            fail();
        } catch (UnsatisfiedLinkError e) {
            assertEquals("The runtime jar lacks /mivra/runtime/native/mivra_runtime32.dll", e.getMessage());
        }
    }

    @Test
    public void theCacheFolderIsNamedByTheBuildsHashAndItsCopyIsComparedAnyway() throws Exception {
        Path cache = folder.getRoot().toPath().resolve("cache");
        String named = "0123456789abcdef" + sha256(new byte[0]).substring(16);
        NativeLoader.Resources resources = name -> new ByteArrayInputStream(
                name.endsWith(".sha256") ? named.getBytes("US-ASCII") : DLL);
        Path target = cache.resolve("0123456789abcdef").resolve("mivra_runtime64.dll");
        Files.createDirectories(target.getParent());
        Files.write(target, "MZ planted in the cache".getBytes());
        assertEquals(target.toAbsolutePath(), NativeLoader.locate(windows("amd64", "", cache), resources));
        assertArrayEquals(DLL, Files.readAllBytes(target));
        NativeLoader.Resources broken = name -> new ByteArrayInputStream(name.endsWith(".sha256") ? new byte[] {'x'} : DLL);
        try {
            NativeLoader.locate(windows("amd64", "", cache), broken);
            fail();
        } catch (UnsatisfiedLinkError e) {
            assertTrue(e.getMessage(), e.getMessage().endsWith("mivra_runtime64.dll.sha256 is not a SHA-256 hash"));
        }
    }
}
