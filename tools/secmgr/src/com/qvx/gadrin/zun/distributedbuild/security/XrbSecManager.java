package com.qvx.gadrin.zun.distributedbuild.security;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Local keeper of build passwords, one per user id and build server host,
 * held in memory for as long as the process lives and never written out.
 *
 * Only the user who runs the manager may talk to it: a connection whose
 * peer socket belongs to another user (the owner shown for it in
 * /proc/net/tcp or /proc/net/tcp6) is closed without a reply, and nothing
 * it sent is kept.
 *
 * Each connection carries one request without a terminator, and the client
 * keeps the connection open while it waits, so a request counts as complete
 * once it has all its words and the peer has been quiet for a moment (or has
 * closed its side).  Each reply ends with "XRB#END" and a zero byte.
 *
 * Settings, from system properties or else the environment:
 *   xrbsec.port / XRBSEC_PORT         port on 127.0.0.1 (empty: 22825)
 *   xrbsec.idle / XRBSEC_IDLE         seconds after the last request before
 *                                     the manager ends itself (default 3600,
 *                                     0: until it is stopped)
 *   xrbsec.pidfile / XRBSEC_PIDFILE   file to write the process id into
 *
 * On start it announces its port and idle time on standard error, which the
 * client's start command discards.
 */
public final class XrbSecManager {
    static final String DEFAULT_PORT = "22825";
    static final byte[] END_MARKER = "XRB#END\0".getBytes(StandardCharsets.ISO_8859_1);
    // The longest request the client sends is four words; anything far
    // beyond this is not a client talking.
    static final int MAX_REQUEST = 4096;
    // Largest reply text the client's buffer takes.
    static final int MAX_REPLY = 256;
    static final int QUIET_MS = 50;
    // A request still short of words after this much silence never will be.
    static final int STALL_MS = 1000;
    static final int REQUEST_DEADLINE_MS = 10000;
    // A password kept between runs should outlast a working session.
    static final String DEFAULT_IDLE_SECONDS = "3600";
    static final String[] SOCKET_TABLES = {"/proc/net/tcp", "/proc/net/tcp6"};
    static final String ESTABLISHED = "01";

    private final Map<String, String> passwords = new ConcurrentHashMap<>();
    private final AtomicInteger active = new AtomicInteger();
    private volatile long lastActivity = System.currentTimeMillis();

    public static void main(String[] args) {
        String portText = setting("xrbsec.port", "XRBSEC_PORT");
        if (portText == null || portText.isEmpty()) {
            portText = DEFAULT_PORT;
        }
        int port;
        long idleMs;
        try {
            port = Integer.parseInt(portText.trim());
            String idle = setting("xrbsec.idle", "XRBSEC_IDLE");
            idleMs = (long) (1000 * Double.parseDouble(
                    idle == null || idle.isEmpty() ? DEFAULT_IDLE_SECONDS : idle.trim()));
        } catch (NumberFormatException e) {
            System.exit(2);
            return;
        }
        if (port <= 0 || port > 65535 || idleMs < 0) {
            System.exit(2);
        }
        long uid = ownUid();
        if (uid < 0) {
            // Without our own uid no peer can be told apart from another user.
            System.exit(3);
        }
        ServerSocket server;
        try {
            server = new ServerSocket();
            server.setReuseAddress(true);
            server.bind(new java.net.InetSocketAddress(InetAddress.getByName("127.0.0.1"), port), 50);
        } catch (IOException e) {
            // Most likely another manager already holds the port.
            System.exit(1);
            return;
        }
        String pidFile = setting("xrbsec.pidfile", "XRBSEC_PIDFILE");
        if (pidFile != null && !pidFile.isEmpty()) {
            try {
                // Whole or not at all, so a reader never sees half a number.
                Path target = Path.of(pidFile);
                Path part = Path.of(pidFile + ".part");
                Files.writeString(part, ProcessHandle.current().pid() + "\n");
                Files.move(part, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
            } catch (IOException e) {
                // The pid file is a convenience for whoever started us.
            }
        }
        System.err.println("XrbSecManager: port " + port + ", "
                + (idleMs == 0 ? "kept until stopped"
                   : "ends " + (idleMs % 1000 == 0 ? String.valueOf(idleMs / 1000) : String.valueOf(idleMs / 1000.0))
                     + " s after the last request"));
        new XrbSecManager(uid).serve(server, idleMs);
        System.exit(0);
    }

    private final long uid;

    XrbSecManager(long uid) {
        this.uid = uid;
    }

    private static String setting(String property, String variable) {
        String v = System.getProperty(property);
        return v != null ? v : System.getenv(variable);
    }

    void serve(ServerSocket server, long idleMs) {
        try {
            server.setSoTimeout(200);
        } catch (IOException e) {
            return;
        }
        // Checked before every accept, not only when accept times out: a
        // stream of other users' connections must not keep us alive.
        while (idleMs == 0 || active.get() > 0 || System.currentTimeMillis() - lastActivity <= idleMs) {
            Socket s;
            try {
                s = server.accept();
            } catch (SocketTimeoutException e) {
                continue;
            } catch (IOException e) {
                break;
            }
            // Another user's connection is dropped at once, before it counts
            // as work in progress, so it neither holds a thread nor keeps
            // the manager alive.
            if (!s.getInetAddress().isLoopbackAddress() || !peerIsOwn(s)) {
                closeQuietly(s);
                continue;
            }
            active.incrementAndGet();
            Thread t = new Thread(() -> {
                try {
                    handle(s);
                } finally {
                    closeQuietly(s);
                    active.decrementAndGet();
                }
            });
            t.setDaemon(true);
            t.start();
        }
        closeQuietly(server);
    }

    private void handle(Socket s) {
        try {
            String request = readRequest(s);
            // Decided again once the request is in, while the peer still
            // waits for the reply: a peer that has gone is nobody's.
            if (request == null || !peerIsOwn(s)) {
                return;
            }
            // Only our own user's requests keep the manager alive.
            lastActivity = System.currentTimeMillis();
            String reply = answer(request);
            OutputStream out = s.getOutputStream();
            out.write(reply.getBytes(StandardCharsets.ISO_8859_1));
            out.write(END_MARKER);
            out.flush();
        } catch (IOException e) {
            // The client went away; nothing to tell anybody.
        }
    }

    /** The request's text, or null when the peer sent nothing usable. */
    private static String readRequest(Socket s) throws IOException {
        s.setSoTimeout(QUIET_MS);
        InputStream in = s.getInputStream();
        ByteArrayOutputStream got = new ByteArrayOutputStream();
        byte[] piece = new byte[512];
        long start = System.currentTimeMillis();
        long lastByte = start;
        while (true) {
            int n;
            try {
                n = in.read(piece);
            } catch (SocketTimeoutException e) {
                // Quiet line: decide on what has arrived so far.
                String text = got.toString(StandardCharsets.ISO_8859_1);
                if (isComplete(text)) {
                    return text;
                }
                long now = System.currentTimeMillis();
                if (now - start > REQUEST_DEADLINE_MS || (got.size() > 0 && now - lastByte > STALL_MS)) {
                    return got.size() > 0 ? text : null;
                }
                continue;
            }
            if (n < 0) {
                return got.size() > 0 ? got.toString(StandardCharsets.ISO_8859_1) : null;
            }
            got.write(piece, 0, n);
            lastByte = System.currentTimeMillis();
            if (got.size() > MAX_REQUEST) {
                return null;
            }
        }
    }

    /**
     * True when the peer's socket is an established connection of our own
     * user.  The peer's entry is the one whose local end is the peer's
     * address and port and whose remote end is ours.  A closed peer shows in
     * a waiting state with uid 0, so only an established entry counts.
     */
    boolean peerIsOwn(Socket s) {
        byte[] peer = mapped(s.getInetAddress().getAddress());
        byte[] local = mapped(s.getLocalAddress().getAddress());
        for (String table : SOCKET_TABLES) {
            List<String> lines;
            try {
                lines = Files.readAllLines(Path.of(table), StandardCharsets.ISO_8859_1);
            } catch (IOException e) {
                continue;
            }
            for (String line : lines) {
                String[] f = line.trim().split("\\s+");
                if (f.length < 8 || !f[0].endsWith(":")) {
                    continue;
                }
                try {
                    if (endpointIs(f[1], peer, s.getPort()) && endpointIs(f[2], local, s.getLocalPort())) {
                        return f[3].equals(ESTABLISHED) && Long.parseLong(f[7]) == uid;
                    }
                } catch (NumberFormatException e) {
                    // Not a socket line.
                }
            }
        }
        return false;
    }

    /** "ADDR:PORT" of a socket table, the address as the kernel's words in hex. */
    static boolean endpointIs(String field, byte[] address16, int port) {
        int colon = field.indexOf(':');
        if (colon < 0 || Integer.parseInt(field.substring(colon + 1), 16) != port) {
            return false;
        }
        String hex = field.substring(0, colon);
        if (hex.length() != 8 && hex.length() != 32) {
            return false;
        }
        // Each 32-bit word is printed as the host reads the address bytes.
        ByteBuffer raw = ByteBuffer.allocate(hex.length() / 2).order(ByteOrder.nativeOrder());
        for (int i = 0; i < hex.length(); i += 8) {
            raw.putInt((int) Long.parseLong(hex.substring(i, i + 8), 16));
        }
        return Arrays.equals(mapped(raw.array()), address16);
    }

    /** An address in its 16-byte form, IPv4 as IPv4-mapped IPv6. */
    static byte[] mapped(byte[] address) {
        if (address.length == 16) {
            return address;
        }
        byte[] out = new byte[16];
        out[10] = (byte) 0xff;
        out[11] = (byte) 0xff;
        System.arraycopy(address, 0, out, 12, 4);
        return out;
    }

    /** Our effective uid, the owner the kernel gives our sockets; -1 if unknown. */
    static long ownUid() {
        try {
            for (String line : Files.readAllLines(Path.of("/proc/self/status"), StandardCharsets.ISO_8859_1)) {
                if (line.startsWith("Uid:")) {
                    return Long.parseLong(line.substring(4).trim().split("\\s+")[1]);
                }
            }
        } catch (IOException | NumberFormatException | ArrayIndexOutOfBoundsException e) {
            // Falls through to unknown.
        }
        return -1;
    }

    static String[] words(String text) {
        // Words are runs of bytes above the blank, as the client counts them.
        return text.replaceAll("[\\x00-\\x20]+", " ").trim().split(" ");
    }

    static boolean isComplete(String text) {
        String[] w = words(text);
        if (w.length == 0 || w[0].isEmpty()) {
            return false;
        }
        switch (w[0]) {
            case "ADDUSER":
                return w.length >= 4;
            case "GETUSER":
                return w.length >= 3;
            default:
                // Unknown requests are answered "0" once the line is quiet.
                return true;
        }
    }

    String answer(String request) {
        String[] w = words(request);
        String key;
        switch (w[0]) {
            case "ADDUSER":
                if (w.length != 4 || ("1 " + w[3]).length() > MAX_REPLY) {
                    return "0";
                }
                key = w[1] + " " + w[2];
                passwords.put(key, w[3]);
                return "1";
            case "GETUSER":
                if (w.length != 3) {
                    return "0";
                }
                key = w[1] + " " + w[2];
                String pw = passwords.get(key);
                return pw == null ? "0" : "1 " + pw;
            default:
                return "0";
        }
    }

    private static void closeQuietly(java.io.Closeable c) {
        try {
            c.close();
        } catch (IOException e) {
            // Closing is best effort.
        }
    }
}
