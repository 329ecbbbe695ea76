package mivra.runtime;

import static org.junit.Assert.*;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.util.concurrent.atomic.AtomicInteger;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

/** Which DLL the jar loads, and from where, with the platform given by the test. */
public class NativeLoaderTest {
    @Rule
    public TemporaryFolder folder = new TemporaryFolder();

    private static final byte[] DLL = "MZ not really a library".getBytes();
    private final AtomicInteger opened = new AtomicInteger();

    private NativeLoader.Platform windows(String arch, String libraryPath, Path cache) {
        return new NativeLoader.Platform("Windows 10", arch, "", libraryPath, cache);
    }

    private NativeLoader.Resources jar() {
        return name -> {
            opened.incrementAndGet();
            return name.equals("/mivra/runtime/native/mivra_runtime64.dll") ? new ByteArrayInputStream(DLL) : null;
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
    public void aLibraryOnTheLibraryPathIsTakenAsItIs() throws Exception {
        Path own = folder.newFolder("lib").toPath();
        Files.write(own.resolve("mivra_runtime64.dll"), new byte[] {1});
        String path = folder.getRoot() + File.separator + "empty" + File.pathSeparator + own;
        assertEquals(own.resolve("mivra_runtime64.dll").toAbsolutePath(),
                NativeLoader.locate(windows("amd64", path, folder.getRoot().toPath().resolve("cache")), jar()));
        assertEquals(0, opened.get());
    }

    @Test
    public void theJarsCopyIsExtractedOnceAndCheckedByItsHash() throws Exception {
        Path cache = folder.getRoot().toPath().resolve("cache");
        Path first = NativeLoader.locate(windows("amd64", "", cache), jar());
        String hash = NativeLoader.hex(NativeLoader.sha256(DLL));
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
}
