import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * A client that sends the bridge malformed messages: each ends the
 * connection with a "mivra-bridge:" line on its standard error and a failure
 * status, never a crash or a hang. The command of the bridge is the arguments.
 */
public class BridgeMalformed {
    public static void main(String[] args) throws Exception {
        List<String> command = Arrays.asList(args);
        Object[][] cases = {
            {"unknown operation", message(1, 999, new byte[0]), "unknown operation"},
            {"message over the limit", head(65 << 20), "longer than the limit"},
            {"frame count beyond the message", message(1, 6, concat(new byte[8 + 12], u32(0x7FFFFFFF))), "frame longer"},
            {"string length beyond the message", message(1, 2, concat(u32(1000), new byte[4])), "string longer"},
            {"array counts beyond the message", message(1, 6, concat(new byte[20], u32(1), slot(0x2003), new byte[] {1},
                    u32(2), u32(60000), u32(60000))), "array"},
            {"nesting too deep", message(1, 6, concat(new byte[20], nested(12))), "nested too deep"},
            {"bytes after the last field", message(1, 4, new byte[9]), "bytes after"},
            {"input ending inside a message", Arrays.copyOf(head(40), 6), "ended inside a message"},
        };
        // Well formed, but naming an object the bridge never handed out: a
        // failure answer, and the bridge serves on.
        Process served = new ProcessBuilder(command).start();
        OutputStream to = served.getOutputStream();
        to.write(new byte[] {'M', 'V', 'B', 'R', 2, 0, 0, 0});
        byte[] call = concat(ByteBuffer.allocate(20).order(ByteOrder.LITTLE_ENDIAN).putLong(0x12345678L).putInt(0)
                .putInt(1).putInt(0).array(), u32(1), slot(0));
        to.write(message(1, 6, call));
        to.write(message(1, 12, new byte[0]));
        to.flush();
        InputStream from = served.getInputStream();
        byte[] hello = from.readNBytes(8);
        int failureOp = answerOp(from), statisticsOp = answerOp(from);
        to.close();
        boolean closed = served.waitFor(30, TimeUnit.SECONDS);
        Checks.check(hello.length == 8 && failureOp == 65 && statisticsOp == 64 && closed && served.exitValue() == 0,
                "a call on an object never handed out fails and the bridge serves on");
        for (Object[] c : cases) {
            Process bridge = new ProcessBuilder(command).start();
            OutputStream in = bridge.getOutputStream();
            in.write(new byte[] {'M', 'V', 'B', 'R', 2, 0, 0, 0});
            in.write((byte[]) c[1]);
            in.flush();
            if (c[0].equals("input ending inside a message"))
                in.close();
            boolean ended = bridge.waitFor(30, TimeUnit.SECONDS);
            if (!ended)
                bridge.destroyForcibly();
            String errors = read(bridge.getErrorStream());
            String line = errors.lines().filter(l -> l.startsWith("mivra-bridge:")).reduce((a, b) -> b).orElse("");
            Checks.check(ended && bridge.exitValue() != 0 && line.contains((String) c[2]),
                    c[0] + " ends the connection: " + line);
        }
    }

    // The operation of the next answer.
    private static int answerOp(InputStream in) throws Exception {
        byte[] head = in.readNBytes(4);
        if (head.length < 4)
            return -1;
        int length = ByteBuffer.wrap(head).order(ByteOrder.LITTLE_ENDIAN).getInt();
        byte[] body = in.readNBytes(length);
        return body.length < 6 ? -1 : (body[4] & 0xFF) | (body[5] & 0xFF) << 8;
    }

    private static byte[] u32(int v) {
        return ByteBuffer.allocate(4).order(ByteOrder.LITTLE_ENDIAN).putInt(v).array();
    }

    private static byte[] slot(int vt) {
        return ByteBuffer.allocate(12).order(ByteOrder.LITTLE_ENDIAN).putInt(vt).putLong(0).array();
    }

    private static byte[] concat(byte[]... parts) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (byte[] part : parts)
            out.writeBytes(part);
        return out.toByteArray();
    }

    // Frames inside VARIANTs by reference inside each other.
    private static byte[] nested(int depth) {
        byte[] inner = concat(u32(1), slot(3));
        for (int d = 0; d < depth; ++d)
            inner = concat(u32(1), slot(0x4000 | 12), inner);
        return inner;
    }

    private static byte[] head(int length) {
        return u32(length);
    }

    private static byte[] message(int channel, int op, byte[] fields) {
        ByteBuffer b = ByteBuffer.allocate(10 + fields.length).order(ByteOrder.LITTLE_ENDIAN);
        b.putInt(6 + fields.length).putInt(channel).putShort((short) op).put(fields);
        return b.array();
    }

    private static String read(InputStream in) throws Exception {
        return new String(in.readAllBytes(), StandardCharsets.UTF_8);
    }
}
