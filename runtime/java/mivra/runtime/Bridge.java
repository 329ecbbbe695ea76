package mivra.runtime;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;

/**
 * Runs COM through mivra-bridge.exe instead of the in-process library: on a
 * JVM outside Windows, against Wine's servers or a Windows host over SSH.
 * The bridge is chosen by the system property {@code mivra.bridge} (else the
 * environment variable {@code MIVRA_BRIDGE}) holding the command that starts
 * it, words separated by blanks, double quotes keeping a word with blanks
 * together; or by {@link #start} before the first COM call.
 *
 * <p>{@code java -jar mivra-runtime.jar --extract-bridge DIR} writes
 * mivra-bridge64.exe and mivra-bridge32.exe into DIR.
 */
public final class Bridge {
    private Bridge() {
    }

    /**
     * Starts the bridge with the command and sends every COM call of this JVM
     * through it from now on.
     *
     * @throws MivraException when it cannot be started or does not answer
     */
    public static void start(List<String> command) {
        synchronized (ComLayer.class) {
            try {
                ComLayer.install(BridgeComLayer.start(command));
            } catch (IOException e) {
                throw new MivraException("The bridge (" + String.join(" ", command) + ") did not start: " + e.getMessage(),
                        0x80004005);
            }
        }
    }

    /** The bridge command the settings name, or null for the in-process library. */
    static List<String> configured() {
        String command = System.getProperty("mivra.bridge");
        if (command == null || command.trim().isEmpty())
            command = System.getenv("MIVRA_BRIDGE");
        if (command == null || command.trim().isEmpty())
            return null;
        return words(command);
    }

    /** Splits at blanks; double quotes keep a word with blanks together. */
    static List<String> words(String command) {
        List<String> words = new ArrayList<>();
        StringBuilder word = new StringBuilder();
        boolean quoted = false, inWord = false;
        for (char c : command.toCharArray()) {
            if (c == '"') {
                quoted = !quoted;
                inWord = true;
            } else if (Character.isWhitespace(c) && !quoted) {
                if (inWord)
                    words.add(word.toString());
                word.setLength(0);
                inWord = false;
            } else {
                word.append(c);
                inWord = true;
            }
        }
        if (inWord)
            words.add(word.toString());
        return words;
    }

    /** The bridge's working set and private bytes, in bytes. */
    public static long[] memory() {
        return active().memory();
    }

    /** Sends the text to the bridge and back (a measure of the pipe's round trip). */
    public static String echo(String text) {
        return active().echo(text);
    }

    private static BridgeComLayer active() {
        ComLayer layer = ComLayer.get();
        if (!(layer instanceof BridgeComLayer))
            throw new IllegalStateException("COM does not go through a bridge");
        return (BridgeComLayer) layer;
    }

    /** {@code --extract-bridge DIR}: writes the bridges carried in the jar into DIR. */
    public static void main(String[] args) throws IOException {
        if (args.length != 2 || !args[0].equals("--extract-bridge")) {
            System.err.println("usage: java -jar mivra-runtime.jar --extract-bridge DIR");
            System.exit(2);
        }
        Path folder = Paths.get(args[1]);
        Files.createDirectories(folder);
        int written = 0;
        for (String name : new String[] {"mivra-bridge64.exe", "mivra-bridge32.exe"}) {
            try (InputStream in = Bridge.class.getResourceAsStream("bridge/" + name)) {
                if (in == null)
                    continue;
                Files.copy(in, folder.resolve(name), StandardCopyOption.REPLACE_EXISTING);
                System.out.println(folder.resolve(name));
                ++written;
            }
        }
        if (written == 0) {
            System.err.println("This runtime jar carries no bridge");
            System.exit(1);
        }
    }
}
