import java.io.ByteArrayOutputStream;
import java.lang.invoke.MethodHandle;
import java.lang.invoke.MethodHandles;
import java.lang.invoke.MethodType;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Base64;
import java.util.Collections;
import java.util.HexFormat;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.zip.Deflater;
import java.util.zip.Inflater;
import java.security.AlgorithmParameters;
import javax.crypto.Cipher;
import javax.crypto.SecretKey;

/**
 * The four methods through PelmTools beside what an app would write instead
 * with the JDK, at several sizes: warm-up, then rounds in shuffled order,
 * medians per call. JMH is not at hand; this keeps to its habits.
 *
 * <p>Usage: JavaBench PELMTOOLS_JAR LIBRARY [BASELINE_LIBRARY]. A baseline
 * library (an older build) is loaded beside the current one, each through
 * its own class loader, and timed in the same rounds.
 */
public final class JavaBench {
    static final String KEY_HEX = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
    static final String IV_HEX = "000102030405060708090a0b0c0d0e0f";
    static final String KEY = "a raw 16-byte key";
    static final String IV = "and a raw IV, 16";
    static final int[] SIZES = {100, 1 << 10, 64 << 10, 1 << 20};
    static final int ROUNDS = 11;
    static final long ROUND_NANOS = 20_000_000L;

    interface Op {
        String run(String data) throws Throwable;
    }

    /** The four natives of one library, each in its own class loader. */
    static final class Natives {
        final MethodHandle[] methods = new MethodHandle[4];

        Natives(Path jar, String library) throws Exception {
            System.setProperty("com.trevik.aes.library", library);
            ClassLoader loader = new URLClassLoader(new URL[] {jar.toUri().toURL()},
                    ClassLoader.getPlatformClassLoader());
            Class<?> tools = Class.forName("com.trevik.aes.PelmTools", true, loader);
            MethodType type = MethodType.methodType(String.class, String.class, String.class, String.class);
            for (int m = 0; m < 4; m++) {
                methods[m] = MethodHandles.publicLookup().findStatic(tools, "method0" + (m + 1), type);
            }
        }

        Op op(int m, String key, String iv) {
            MethodHandle h = methods[m];
            return data -> (String) h.invokeExact(key, iv, data);
        }
    }

    // What an app would write with the JDK alone.
    static final byte[] KEY256 = HexFormat.of().parseHex(KEY_HEX);
    static final byte[] IV128 = HexFormat.of().parseHex(IV_HEX);
    static final byte[] KEY128 = Arrays.copyOf(KEY.getBytes(StandardCharsets.UTF_8), 16);
    static final byte[] IV_RAW = Arrays.copyOf(IV.getBytes(StandardCharsets.UTF_8), 16);

    /** A raw AES key as the JCE takes it. */
    static SecretKey aesKey(byte[] raw) {
        return new SecretKey() {
            private static final long serialVersionUID = 1L;

            @Override public String getAlgorithm() {
                return "AES";
            }

            @Override public String getFormat() {
                return "RAW";
            }

            @Override public byte[] getEncoded() {
                return raw.clone();
            }
        };
    }

    /** An IV as AES parameters (DER: one OCTET STRING), made once per IV. */
    static AlgorithmParameters ivParameters(byte[] iv) {
        try {
            byte[] der = new byte[iv.length + 2];
            der[0] = 0x04;
            der[1] = (byte) iv.length;
            System.arraycopy(iv, 0, der, 2, iv.length);
            AlgorithmParameters parameters = AlgorithmParameters.getInstance("AES");
            parameters.init(der);
            return parameters;
        } catch (Exception e) {
            throw new IllegalStateException(e);
        }
    }

    static final Map<byte[], AlgorithmParameters> PARAMETERS = new java.util.IdentityHashMap<>();

    static Cipher cipher(String transformation, int mode, byte[] key, byte[] iv) throws Exception {
        Cipher c = Cipher.getInstance(transformation);
        c.init(mode, aesKey(key), PARAMETERS.computeIfAbsent(iv, JavaBench::ivParameters));
        return c;
    }

    /** The Deflater an app that keeps one reuses: reset before each text. */
    static final Deflater KEPT_DEFLATER = new Deflater(9);

    static byte[] deflate(byte[] data, boolean kept) {
        Deflater d = kept ? KEPT_DEFLATER : new Deflater(9);
        if (kept) {
            d.reset();
        }
        d.setInput(data);
        d.finish();
        ByteArrayOutputStream out = new ByteArrayOutputStream(data.length / 2 + 64);
        byte[] buffer = new byte[Math.min(1 << 16, data.length + 64)];
        while (!d.finished()) {
            out.write(buffer, 0, d.deflate(buffer));
        }
        if (!kept) {
            d.end();
        }
        return out.toByteArray();
    }

    static byte[] inflate(byte[] stream, int length) throws Exception {
        Inflater i = new Inflater();
        i.setInput(stream);
        byte[] out = new byte[length];
        int n = 0;
        while (n < length && !i.finished()) {
            n += i.inflate(out, n, length - n);
        }
        i.end();
        return out;
    }

    /** Sealing, opening, encrypting and decrypting in plain Java. */
    static Op[] javaOps(boolean cached) throws Exception {
        Cipher[] kept = cached ? new Cipher[] {
            cipher("AES/CFB/NoPadding", Cipher.ENCRYPT_MODE, KEY256, IV128),
            cipher("AES/CFB/NoPadding", Cipher.DECRYPT_MODE, KEY256, IV128),
            cipher("AES/CBC/PKCS5Padding", Cipher.ENCRYPT_MODE, KEY128, IV_RAW),
            cipher("AES/CBC/PKCS5Padding", Cipher.DECRYPT_MODE, KEY128, IV_RAW)} : null;
        return new Op[] {
            data -> {
                byte[] plain = data.getBytes(StandardCharsets.UTF_8);
                byte[] stream = deflate(plain, cached);
                Cipher c = cached ? kept[0] : cipher("AES/CFB/NoPadding", Cipher.ENCRYPT_MODE, KEY256, IV128);
                byte[] payload = Arrays.copyOf(c.doFinal(stream), stream.length + 4);
                int n = plain.length;
                payload[stream.length] = (byte) (n >>> 24);
                payload[stream.length + 1] = (byte) (n >>> 16);
                payload[stream.length + 2] = (byte) (n >>> 8);
                payload[stream.length + 3] = (byte) n;
                return Base64.getEncoder().encodeToString(payload);
            },
            envelope -> {
                byte[] payload = Base64.getDecoder().decode(envelope);
                int n = payload.length - 4;
                int length = (payload[n] & 0xFF) << 24 | (payload[n + 1] & 0xFF) << 16
                        | (payload[n + 2] & 0xFF) << 8 | (payload[n + 3] & 0xFF);
                Cipher c = cached ? kept[1] : cipher("AES/CFB/NoPadding", Cipher.DECRYPT_MODE, KEY256, IV128);
                byte[] stream = c.doFinal(payload, 0, n);
                return new String(inflate(stream, length), StandardCharsets.UTF_8);
            },
            data -> {
                Cipher c = cached ? kept[2] : cipher("AES/CBC/PKCS5Padding", Cipher.ENCRYPT_MODE, KEY128, IV_RAW);
                return HexFormat.of().formatHex(c.doFinal(data.getBytes(StandardCharsets.UTF_8)));
            },
            hex -> {
                Cipher c = cached ? kept[3] : cipher("AES/CBC/PKCS5Padding", Cipher.DECRYPT_MODE, KEY128, IV_RAW);
                return new String(c.doFinal(HexFormat.of().parseHex(hex)), StandardCharsets.UTF_8);
            },
        };
    }

    static String appText(Random random, int size) {
        String[] names = {"Ada", "Grace", "Linus", "Barbara", "Ken", "Dennis", "Margaret"};
        StringBuilder sb = new StringBuilder("{\"items\":[");
        while (sb.length() < size) {
            sb.append(String.format("{\"id\":%d,\"uuid\":\"%08x-%04x-4%03x-a%03x-%012x\",\"name\":\"%s\","
                    + "\"updated\":\"2026-%02d-%02dT%02d:%02d:00Z\",\"amount\":%d.%02d},",
                    random.nextInt(1_000_000), random.nextInt(), random.nextInt(0x10000),
                    random.nextInt(0x1000), random.nextInt(0x1000), random.nextLong() & 0xFFFFFFFFFFFFL,
                    names[random.nextInt(names.length)], 1 + random.nextInt(12), 1 + random.nextInt(28),
                    random.nextInt(24), random.nextInt(60), random.nextInt(100000), random.nextInt(100)));
        }
        sb.setLength(size - 2);
        return sb.append("]}").toString();
    }

    /** One row: an operation on a set of distinct inputs, timed per call. */
    static final class Row {
        final String name;
        final Op op;
        final String[] inputs;
        final List<Double> perCall = new ArrayList<>();
        int next;

        Row(String name, Op op, String[] inputs) {
            this.name = name;
            this.op = op;
            this.inputs = inputs;
        }

        void round(int calls) throws Throwable {
            long start = System.nanoTime();
            int sink = 0;
            for (int i = 0; i < calls; i++) {
                sink += op.run(inputs[next++ % inputs.length]).length();
            }
            perCall.add((System.nanoTime() - start) / 1e3 / calls);
            if (sink == 42) {
                System.out.print("");
            }
        }

        double median() {
            List<Double> sorted = new ArrayList<>(perCall);
            Collections.sort(sorted);
            return sorted.get(sorted.size() / 2);
        }
    }

    public static void main(String[] args) throws Throwable {
        Path jar = Path.of(args[0]);
        Natives current = new Natives(jar, Path.of(args[1]).toAbsolutePath().toString());
        Natives baseline = args.length > 2 ? new Natives(jar, Path.of(args[2]).toAbsolutePath().toString()) : null;
        Op[] perCall = javaOps(false), cachedOps = javaOps(true);
        String[] methods = {"seal (method01)", "open (method02)", "encrypt (method03)", "decrypt (method04)"};
        String[][] keys = {{KEY_HEX, IV_HEX}, {KEY_HEX, IV_HEX}, {KEY, IV}, {KEY, IV}};

        Map<String, Row[]> table = new LinkedHashMap<>();
        List<Row> rows = new ArrayList<>();
        Random random = new Random(2026);
        for (int size : SIZES) {
            String[] texts = new String[size >= (1 << 20) ? 4 : 32];
            for (int i = 0; i < texts.length; i++) {
                texts[i] = appText(random, size);
            }
            for (int m = 0; m < 4; m++) {
                // Inputs of method02/04 are what method01/03 make of the texts.
                String[] inputs = texts.clone();
                if (m % 2 == 1) {
                    Op make = current.op(m - 1, keys[m][0], keys[m][1]);
                    for (int i = 0; i < inputs.length; i++) {
                        inputs[i] = make.run(texts[i]);
                    }
                }
                Op mine = current.op(m, keys[m][0], keys[m][1]);
                for (int i = 0; i < inputs.length; i++) {  // same bytes on both sides
                    String a = mine.run(inputs[i]), b = perCall[m].run(inputs[i]), c = cachedOps[m].run(inputs[i]);
                    if (!a.equals(b) || !a.equals(c)) {
                        throw new AssertionError(methods[m] + " differs from the JDK at " + size + " B");
                    }
                }
                String label = methods[m] + " " + (size >= 1024 ? (size >> 10) + " KiB" : size + " B");
                Row[] r = {
                    new Row(label, mine, inputs),
                    new Row(label, perCall[m], inputs),
                    new Row(label, cachedOps[m], inputs),
                    baseline == null ? null : new Row(label, baseline.op(m, keys[m][0], keys[m][1]), inputs),
                };
                table.put(label, r);
                for (Row row : r) {
                    if (row != null) {
                        rows.add(row);
                    }
                }
            }
        }

        // Warm-up, and the number of calls that fills a round for each row.
        Map<Row, Integer> calls = new LinkedHashMap<>();
        for (Row row : rows) {
            long start = System.nanoTime();
            int n = 0;
            while (System.nanoTime() - start < 200_000_000L || n < 3) {
                row.op.run(row.inputs[n++ % row.inputs.length]);
            }
            double each = (System.nanoTime() - start) / (double) n;
            calls.put(row, Math.max(1, (int) (ROUND_NANOS / each)));
        }
        for (int round = 0; round < ROUNDS; round++) {
            Collections.shuffle(rows, random);
            for (Row row : rows) {
                row.round(calls.get(row));
            }
        }

        System.out.printf("JVM %s on %s, %d cores; medians of %d interleaved rounds, microseconds per call%n%n",
                System.getProperty("java.vm.version"), System.getProperty("os.arch"),
                Runtime.getRuntime().availableProcessors(), ROUNDS);
        System.out.println("| operation | native | Java, getInstance per call | ratio | Java, kept Cipher and Deflater | ratio |"
                + (baseline != null ? " baseline native | new / baseline |" : ""));
        System.out.println("|---|---|---|---|---|---|" + (baseline != null ? "---|---|" : ""));
        for (Map.Entry<String, Row[]> e : table.entrySet()) {
            Row[] r = e.getValue();
            double n = r[0].median(), j = r[1].median(), c = r[2].median();
            System.out.printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f |", e.getKey(), n, j, n / j, c, n / c);
            if (r[3] != null) {
                System.out.printf(" %.2f | %.2f |", r[3].median(), n / r[3].median());
            }
            System.out.println();
        }
    }
}
