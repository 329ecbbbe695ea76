package mivra.runtime;

import java.io.BufferedReader;
import java.io.DataInputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicLong;

/**
 * The COM layer over mivra-bridge.exe: every operation is a message to the
 * bridge over its standard input, the answer comes on its standard output
 * (the format is in runtime/native/bridge_wire.h). Each Java thread is a
 * channel of its own, served by a thread of the bridge in the apartment the
 * Java thread asked for. While a thread waits for an answer, events for its
 * channel are delivered on it, and the listener's calls go back on the same
 * channel (nested calls both ways); events from the bridge's other threads
 * are delivered on daemon threads.
 */
final class BridgeComLayer extends ComLayer {
    static final int VERSION = 2;
    static final int MAX_MESSAGE = 64 << 20;
    static final int EVENT_CHANNEL = 0x80000000;

    static final int OP_INIT_THREAD = 1, OP_CREATE = 2, OP_QUERY_INTERFACE = 3, OP_RELEASE = 4, OP_DISPID = 5,
            OP_INVOKE = 6, OP_NEW_ENUM = 7, OP_NEXT = 8, OP_PUMP = 9, OP_ADVISE = 10, OP_UNADVISE = 11,
            OP_STATISTICS = 12, OP_ECHO = 13, OP_TYPES_RESULT = 14, OP_EVENT_RESULT = 15, OP_VTBL_CALL = 16,
            OP_TYPE_INFO_IID = 17, OP_CHANGE_TYPE = 18, OP_RESULT = 64,
            OP_FAILURE = 65, OP_EVENT_TYPES = 66, OP_EVENT = 67;
    private static final int DEAD = -1;

    private final String name;
    private final Process process;
    private final OutputStream toBridge;
    private final Map<Integer, BlockingQueue<BridgeMessage>> channels = new ConcurrentHashMap<>();
    private final Map<Long, EventSink> sinks = new ConcurrentHashMap<>();
    private final Map<Long, Long> sinkOfConnection = new ConcurrentHashMap<>();
    private final AtomicInteger nextChannel = new AtomicInteger();
    private final AtomicLong nextSink = new AtomicLong();
    private final ThreadLocal<Integer> ownChannel = new ThreadLocal<>();
    private final ThreadLocal<Integer> eventChannel = new ThreadLocal<>();
    private final Thread errorReader;
    private volatile String lastLine;
    private volatile String deadReason;

    private BridgeComLayer(String name, Process process) throws IOException {
        this.name = name;
        this.process = process;
        this.toBridge = process.getOutputStream();
        errorReader = new Thread(this::readErrors, "mivra-bridge stderr");
        errorReader.setDaemon(true);
        errorReader.start();
        byte[] hello = {'M', 'V', 'B', 'R', VERSION, 0, 0, 0};
        toBridge.write(hello);
        toBridge.flush();
        DataInputStream in = new DataInputStream(process.getInputStream());
        byte[] answer = new byte[8];
        try {
            in.readFully(answer);
        } catch (EOFException e) {
            throw new IOException(failureText("ended before its handshake"), e);
        }
        if (answer[0] != 'M' || answer[1] != 'V' || answer[2] != 'B' || answer[3] != 'R' || answer[4] != VERSION)
            throw new IOException(failureText("answered the handshake with " + Arrays.toString(answer)));
        Thread reader = new Thread(() -> readMessages(in), "mivra-bridge reader");
        reader.setDaemon(true);
        reader.start();
    }

    /** Starts the bridge with the command and shakes hands with it. */
    static BridgeComLayer start(List<String> command) throws IOException {
        ProcessBuilder builder = new ProcessBuilder(command);
        Process process = builder.start();
        try {
            return new BridgeComLayer(String.join(" ", command), process);
        } catch (IOException | RuntimeException e) {
            process.destroyForcibly();
            throw e;
        }
    }

    private void readErrors() {
        try (BufferedReader errors = new BufferedReader(
                new InputStreamReader(process.getErrorStream(), StandardCharsets.UTF_8))) {
            for (String line; (line = errors.readLine()) != null;)
                if (line.startsWith("mivra-bridge:"))
                    lastLine = line;
        } catch (IOException e) {
            // The bridge is gone; what it said last is kept.
        }
    }

    private String failureText(String what) {
        try {
            errorReader.join(2000);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        String line = lastLine;
        return "The bridge (" + name + ") " + what + (line != null ? "; it said: " + line : "");
    }

    // Reading: every message goes to the queue of its channel.

    private void readMessages(DataInputStream in) {
        String reason;
        try {
            byte[] head = new byte[4];
            while (true) {
                in.readFully(head);
                int length = (head[0] & 0xFF) | (head[1] & 0xFF) << 8 | (head[2] & 0xFF) << 16 | (head[3] & 0xFF) << 24;
                if (length < 0 || length > MAX_MESSAGE)
                    throw new IOException("a message of " + Integer.toUnsignedString(length) + " bytes");
                byte[] body = new byte[length];
                in.readFully(body);
                BridgeMessage message = BridgeMessage.decode(body);
                route(message);
            }
        } catch (EOFException e) {
            reason = "ended";
        } catch (IOException | RuntimeException e) {
            reason = "broke the connection (" + e.getMessage() + ")";
        }
        deadReason = failureText(reason);
        process.destroy();
        BridgeMessage dead = new BridgeMessage(0, DEAD);
        for (BlockingQueue<BridgeMessage> queue : channels.values())
            queue.add(dead);
    }

    private void route(BridgeMessage message) {
        BlockingQueue<BridgeMessage> queue = channels.get(message.channel);
        if (queue != null) {
            queue.add(message);
        } else if ((message.channel & EVENT_CHANNEL) != 0) {
            // An event from a thread of the bridge that is none of ours.
            BlockingQueue<BridgeMessage> events = new LinkedBlockingQueue<>();
            events.add(message);
            channels.put(message.channel, events);
            Thread thread = new Thread(() -> serveEvents(message.channel, events), "mivra-bridge events");
            thread.setDaemon(true);
            thread.start();
        }
    }

    private void serveEvents(int channel, BlockingQueue<BridgeMessage> queue) {
        eventChannel.set(channel);
        try {
            while (true) {
                BridgeMessage message = take(queue);
                if (message.op == OP_EVENT_TYPES) {
                    answerTypes(channel, message);
                } else if (message.op == OP_EVENT) {
                    answerEvent(channel, message);
                    return;
                }
            }
        } catch (MivraException e) {
            // The bridge ended while the event was under way.
        } finally {
            channels.remove(channel);
            eventChannel.remove();
        }
    }

    // Calls.

    private int channel() {
        Integer event = eventChannel.get();
        if (event != null)
            return event;
        Integer own = ownChannel.get();
        if (own == null) {
            own = nextChannel.incrementAndGet();
            ownChannel.set(own);
        }
        return own;
    }

    private BlockingQueue<BridgeMessage> queueOf(int channel) {
        return channels.computeIfAbsent(channel, c -> new LinkedBlockingQueue<>());
    }

    private BridgeMessage take(BlockingQueue<BridgeMessage> queue) {
        try {
            BridgeMessage message = queue.take();
            if (message.op == DEAD) {
                queue.add(message);
                throw new MivraException(deadReason, 0x800706BA);
            }
            return message;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new MivraException("Interrupted while waiting for the bridge (" + name + ")", 0x80004004);
        }
    }

    private void send(BridgeMessage message) {
        String dead = deadReason;
        if (dead != null)
            throw new MivraException(dead, 0x800706BA);
        byte[] bytes = message.encode();
        try {
            synchronized (toBridge) {
                toBridge.write(bytes);
                toBridge.flush();
            }
        } catch (IOException e) {
            throw new MivraException(failureText("cannot be written to (" + e.getMessage() + ")"), 0x800706BA);
        }
    }

    /** Sends the request on the calling thread's channel and waits for its answer, serving events meanwhile. */
    BridgeMessage call(BridgeMessage request) {
        int channel = channel();
        request.channel = channel;
        BlockingQueue<BridgeMessage> queue = queueOf(channel);
        if (deadReason != null)
            throw new MivraException(deadReason, 0x800706BA);
        send(request);
        while (true) {
            BridgeMessage message = take(queue);
            switch (message.op) {
            case OP_RESULT:
                return message;
            case OP_FAILURE:
                throw message.failure();
            case OP_EVENT_TYPES:
                answerTypes(channel, message);
                break;
            case OP_EVENT:
                answerEvent(channel, message);
                break;
            default:
                throw new MivraException("The bridge (" + name + ") sent operation " + message.op
                        + " where an answer was due", 0x8000FFFF);
            }
        }
    }

    private void answerTypes(int channel, BridgeMessage message) {
        EventSink sink = sinks.get(message.h);
        int[] types = sink != null ? sink.types(message.i, message.j) : null;
        BridgeMessage reply = new BridgeMessage(channel, OP_TYPES_RESULT);
        reply.i = types != null ? 1 : 0;
        // The declared types travel as numbers: a VARTYPE in a slot's own
        // place would ask for the reference it names.
        int n = types != null ? types.length : 0;
        int[] vts = new int[n];
        long[] bits = new long[n];
        for (int t = 0; t < n; ++t) {
            vts[t] = MivraVariant.VT_I4;
            bits[t] = types[t];
        }
        reply.frame = new Object[] {vts, bits, new Object[n]};
        send(reply);
    }

    private void answerEvent(int channel, BridgeMessage message) {
        EventSink sink = sinks.get(message.h);
        Object[] frame = message.frame;
        String failure = sink != null ? sink.invoke(message.i, (int[]) frame[0], (long[]) frame[1], (Object[]) frame[2])
                : "The listener is closed";
        BridgeMessage reply = new BridgeMessage(channel, OP_EVENT_RESULT);
        reply.i = failure != null ? 1 : 0;
        reply.s = failure;
        reply.frame = frame;
        send(reply);
    }

    // The operations.

    @Override
    boolean initThread(boolean multithreaded) {
        BridgeMessage m = new BridgeMessage(0, OP_INIT_THREAD);
        m.i = multithreaded ? 1 : 0;
        return call(m).i != 0;
    }

    @Override
    long create(String classId, boolean find) {
        BridgeMessage m = new BridgeMessage(0, OP_CREATE);
        m.s = classId;
        m.i = find ? 1 : 0;
        return call(m).h;
    }

    @Override
    long queryInterface(long unknown, String iid) {
        BridgeMessage m = new BridgeMessage(0, OP_QUERY_INTERFACE);
        m.h = unknown;
        m.s = iid;
        return call(m).h;
    }

    @Override
    void release(long unknown) {
        if (unknown == 0 || deadReason != null)
            return;
        BridgeMessage m = new BridgeMessage(channel(), OP_RELEASE);
        m.h = unknown;
        send(m);
    }

    @Override
    int dispIdOf(long dispatch, String name) {
        BridgeMessage m = new BridgeMessage(0, OP_DISPID);
        m.h = dispatch;
        m.s = name;
        return call(m).i;
    }

    @Override
    void invoke(long dispatch, int dispId, int flags, int resultVt, int[] vts, long[] bits, Object[] refs) {
        BridgeMessage m = new BridgeMessage(0, OP_INVOKE);
        m.h = dispatch;
        m.i = dispId;
        m.j = flags;
        m.k = resultVt;
        call(m, vts, bits, refs);
    }

    @Override
    void vtblCall(long unknown, int slot, String iid, int resultVt, int[] declared, int[] vts, long[] bits,
            Object[] refs) {
        BridgeMessage m = new BridgeMessage(0, OP_VTBL_CALL);
        m.h = unknown;
        m.i = slot;
        m.k = resultVt;
        m.s = iid;
        m.ints = declared;
        call(m, vts, bits, refs);
    }

    @Override
    String typeInfoIid(long dispatch) {
        BridgeMessage m = new BridgeMessage(0, OP_TYPE_INFO_IID);
        m.h = dispatch;
        return call(m).s;
    }

    @Override
    void changeType(int vt, int[] vts, long[] bits, Object[] refs) {
        BridgeMessage m = new BridgeMessage(0, OP_CHANGE_TYPE);
        m.i = vt;
        m.frame = new Object[] {new int[] {vts[0]}, new long[] {bits[0]}, new Object[] {refs[0]}};
        Object[] back = call(m).frame;
        if (((int[]) back[0]).length != 1)
            throw new MivraException("The bridge (" + name + ") answered a conversion with a frame of another size",
                    0x8000FFFF);
        vts[0] = ((int[]) back[0])[0];
        bits[0] = ((long[]) back[1])[0];
        refs[0] = ((Object[]) back[2])[0];
    }

    /** A call over a frame: by-reference slots and the result come back into it. */
    private void call(BridgeMessage m, int[] vts, long[] bits, Object[] refs) {
        m.frame = new Object[] {vts, bits, refs};
        Object[] back = call(m).frame;
        int[] newVts = (int[]) back[0];
        long[] newBits = (long[]) back[1];
        Object[] newRefs = (Object[]) back[2];
        if (newVts.length != vts.length)
            throw new MivraException("The bridge (" + name + ") answered a call with a frame of another size", 0x8000FFFF);
        int n = vts.length - 1;
        for (int i = 0; i <= n; ++i) {
            boolean byRef = i < n && (vts[i] & MivraVariant.VT_BYREF) != 0;
            if (i < n && !byRef)
                continue;
            if (vts[i] == (MivraVariant.VT_BYREF | MivraVariant.VT_VARIANT)) {
                Object[] mine = (Object[]) refs[i];
                Object[] theirs = (Object[]) newRefs[i];
                ((int[]) mine[0])[0] = ((int[]) theirs[0])[0];
                ((long[]) mine[1])[0] = ((long[]) theirs[1])[0];
                ((Object[]) mine[2])[0] = ((Object[]) theirs[2])[0];
                continue;
            }
            vts[i] = newVts[i];
            bits[i] = newBits[i];
            refs[i] = newRefs[i];
        }
    }

    @Override
    long newEnum(long dispatch) {
        BridgeMessage m = new BridgeMessage(0, OP_NEW_ENUM);
        m.h = dispatch;
        return call(m).h;
    }

    @Override
    int next(long enumerator, int elementVt, int[] vts, long[] bits, Object[] refs) {
        BridgeMessage m = new BridgeMessage(0, OP_NEXT);
        m.h = enumerator;
        m.i = elementVt;
        m.j = vts.length;
        Object[] back = call(m).frame;
        int fetched = Math.min(((int[]) back[0]).length, vts.length);
        System.arraycopy(back[0], 0, vts, 0, fetched);
        System.arraycopy(back[1], 0, bits, 0, fetched);
        System.arraycopy(back[2], 0, refs, 0, fetched);
        return fetched;
    }

    @Override
    void pump(int millis) {
        BridgeMessage m = new BridgeMessage(0, OP_PUMP);
        m.i = millis;
        call(m);
    }

    @Override
    long advise(long unknown, String iid, EventSink sink) {
        long id = nextSink.incrementAndGet();
        sinks.put(id, sink);
        BridgeMessage m = new BridgeMessage(0, OP_ADVISE);
        m.h = unknown;
        m.s = iid;
        m.bigH = id;
        try {
            long connection = call(m).h;
            sinkOfConnection.put(connection, id);
            return connection;
        } catch (RuntimeException e) {
            sinks.remove(id);
            throw e;
        }
    }

    @Override
    void unadvise(long connection) {
        Long id = sinkOfConnection.remove(connection);
        if (id != null)
            sinks.remove(id);
        if (deadReason != null)
            return;
        BridgeMessage m = new BridgeMessage(channel(), OP_UNADVISE);
        m.h = connection;
        send(m);
    }

    /** The bridge's working set and private bytes. */
    long[] memory() {
        BridgeMessage answer = call(new BridgeMessage(0, OP_STATISTICS));
        return new long[] {answer.h, answer.bigH};
    }

    String echo(String text) {
        BridgeMessage m = new BridgeMessage(0, OP_ECHO);
        m.s = text;
        return call(m).s;
    }

    /** Closes the bridge's input: it releases what is left and ends. */
    void close() throws InterruptedException {
        try {
            toBridge.close();
        } catch (IOException e) {
            // Gone already.
        }
        process.waitFor();
    }

    Process process() {
        return process;
    }
}
