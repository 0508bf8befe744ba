import com.trevik.aes.PelmTools;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The four natives as an app sees them, on whichever Java runtime runs this
 * (HotSpot on a desktop, Android's ART): every method over a table of texts
 * of each UTF-16 shape and over each kind of bad input, then many threads at
 * once, then a full heap. Each line it prints is the same on every runtime;
 * a check that runs it on two compares them line by line. Its own checks
 * (round trips, the threads' results, the full heap) print FAILED and make
 * the exit status 1. Java 8 source: Android 10's runtime reads no newer.
 *
 * Usage: RuntimeCheck table|threads|heap ...
 */
public final class RuntimeCheck {
    static final String KEY = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
    static final String IV = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";
    static final String TEXT_KEY = "a raw 16-byte key";
    static final String TEXT_IV = "and a raw IV, 16";
    static int failures = 0;

    static String repeat(String s, int times) {
        StringBuilder b = new StringBuilder(s.length() * times);
        for (int i = 0; i < times; i++) b.append(s);
        return b.toString();
    }

    /** Letters no compressor shrinks much, the same on every runtime. */
    static String noise(int length) {
        StringBuilder b = new StringBuilder(length);
        long x = 88172645463325252L;
        for (int i = 0; i < length; i++) {
            x ^= x << 13;
            x ^= x >>> 7;
            x ^= x << 17;
            b.append((char) ('a' + (int) ((x >>> 33) % 26)));
        }
        return b.toString();
    }

    /** Every UTF-16 shape the natives must carry unchanged. */
    static final String[][] TEXTS = {
        {"empty", ""},
        {"ascii", "Hello, world!"},
        {"two-byte", "caf\u00e9 \u00df \u00f1 \u03a9"},
        {"three-byte", "\u20ac \u4e2d\u6587 \u2603 \uffff"},
        {"U+0000", "a\u0000b\u0000"},
        {"surrogate pairs", "\ud83d\ude00 and \ud834\udd1e"},
        {"lone high", "a\ud83db"},
        {"lone low", "a\ude00b"},
        {"high at the end", "x\ud83d"},
        {"pair reversed", "\ude00\ud83d"},
        {"tabs and line breaks", "a\tb\nc\r\nd"},
        {"5000 characters", repeat("\u00e9\ud83d\ude00x\u4e2d", 1000)},
        {"70000 characters", noise(70000)},
    };

    /** The result as printable ASCII: short ones whole, long ones by length and hash. */
    static String show(String s) {
        if (s == null) return "null";
        if (s.length() > 120) {
            long h = 0xcbf29ce484222325L;  // FNV-1a over the UTF-16 units
            for (int i = 0; i < s.length(); i++) {
                h = (h ^ s.charAt(i)) * 0x100000001b3L;
            }
            return s.length() + " units, FNV-1a " + Long.toHexString(h);
        }
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c >= 0x20 && c < 0x7f && c != '\\') {
                b.append(c);
            } else {
                b.append(String.format("\\u%04x", (int) c));
            }
        }
        return b.toString();
    }

    static void expect(boolean ok, String what) {
        if (!ok) {
            System.out.println("FAILED: " + what);
            failures++;
        }
    }

    /** One call with its inputs; how it came out is its line. */
    static String call(int method, String key, String iv, String data) {
        try {
            switch (method) {
                case 1: return show(PelmTools.method01(key, iv, data));
                case 2: return show(PelmTools.method02(key, iv, data));
                case 3: return show(PelmTools.method03(key, iv, data));
                default: return show(PelmTools.method04(key, iv, data));
            }
        } catch (Throwable t) {
            failures++;
            return "FAILED: threw " + t.getClass().getName();
        }
    }

    static void table() {
        for (String[] row : TEXTS) {
            String name = row[0], text = row[1];
            String envelope = PelmTools.method01(KEY, IV, text);
            String opened = PelmTools.method02(KEY, IV, envelope);
            String hex = PelmTools.method03(TEXT_KEY, TEXT_IV, text);
            String back = PelmTools.method04(TEXT_KEY, TEXT_IV, hex);
            System.out.println(name + " | method01 | " + show(envelope));
            System.out.println(name + " | method02 | " + show(opened));
            System.out.println(name + " | method03 | " + show(hex));
            System.out.println(name + " | method04 | " + show(back));
            // Every text comes back unchanged, U+0000 and lone surrogates
            // included (its padding is valid, so tabs and line breaks stay).
            expect(text.equals(opened), name + ": method02 did not give the text back");
            expect(text.equals(back), name + ": method04 did not give the text back");
        }
        String envelope = PelmTools.method01(KEY, IV, "a sealed text");
        String hex = PelmTools.method03(TEXT_KEY, TEXT_IV, "an encrypted text");
        String[][] bad = {
            // method, label, key, iv, data (the text "NULL" stands for null)
            {"1", "null key", "NULL", IV, "text"},
            {"1", "null iv", KEY, "NULL", "text"},
            {"1", "null text", KEY, IV, "NULL"},
            {"1", "63-digit key", KEY.substring(1), IV, "text"},
            {"1", "65-digit key", KEY + "0", IV, "text"},
            {"1", "31-digit iv", KEY, IV.substring(1), "text"},
            {"1", "non-hex key", KEY.replace('0', 'g'), IV, "text"},
            {"1", "non-ASCII key", KEY.substring(2) + "\u00e9", IV, "text"},
            {"2", "null envelope", KEY, IV, "NULL"},
            {"2", "empty envelope", KEY, IV, ""},
            {"2", "not Base64", KEY, IV, "!!!!"},
            {"2", "cut short", KEY, IV, envelope.substring(0, envelope.length() - 4)},
            {"2", "one character changed", KEY, IV, "B" + envelope.substring(1)},
            {"2", "wrong key", KEY.replace('1', '2'), IV, envelope},
            {"2", "four bytes", KEY, IV, "AAAAAA=="},
            {"2", "surrogates in the envelope", KEY, IV, envelope + "\ud83d\ude00"},
            {"3", "null text", TEXT_KEY, TEXT_IV, "NULL"},
            {"3", "15-byte key", "a raw 15-byte k", TEXT_IV, "text"},
            {"3", "15-byte iv", TEXT_KEY, "a raw 15-byte i", "text"},
            {"3", "key of 8 characters, 16 bytes", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", TEXT_IV, "text"},
            {"3", "key with a pair", "\ud83d\ude00\ud83d\ude00\ud83d\ude00", TEXT_IV, "text"},
            {"4", "null hex", TEXT_KEY, TEXT_IV, "NULL"},
            {"4", "empty hex", TEXT_KEY, TEXT_IV, ""},
            {"4", "odd hex", TEXT_KEY, TEXT_IV, "abc"},
            {"4", "non-hex", TEXT_KEY, TEXT_IV, "zz"},
            {"4", "uppercase hex", TEXT_KEY, TEXT_IV, hex.toUpperCase()},
            {"4", "hex and a space", TEXT_KEY, TEXT_IV, hex + " "},
            {"4", "fewer than 32 digits", TEXT_KEY, TEXT_IV, "00112233"},
            {"4", "40 digits", TEXT_KEY, TEXT_IV, hex.substring(0, 40)},
            {"4", "wrong key", "another 16-byte k", TEXT_IV, hex},
            {"4", "15-byte key", "a raw 15-byte k", TEXT_IV, hex},
            {"4", "non-ASCII digits", TEXT_KEY, TEXT_IV, "\u0660\u0661"},
        };
        for (String[] row : bad) {
            String[] args = new String[3];
            for (int i = 0; i < 3; i++) args[i] = "NULL".equals(row[2 + i]) ? null : row[2 + i];
            System.out.println(row[1] + " | method0" + row[0] + " | "
                               + call(Integer.parseInt(row[0]), args[0], args[1], args[2]));
        }
    }

    /** Many threads calling all four methods at once, each result checked. */
    static void threads(int count, int rounds) throws InterruptedException {
        final int cases = TEXTS.length - 1;  // the 70000-character text is slow when interpreted
        final String[][] expected = new String[cases][4];
        for (int i = 0; i < cases; i++) {
            String text = TEXTS[i][1];
            expected[i][0] = PelmTools.method01(KEY, IV, text);
            expected[i][1] = PelmTools.method02(KEY, IV, expected[i][0]);
            expected[i][2] = PelmTools.method03(TEXT_KEY, TEXT_IV, text);
            expected[i][3] = PelmTools.method04(TEXT_KEY, TEXT_IV, expected[i][2]);
        }
        final AtomicInteger wrong = new AtomicInteger();
        final int perThread = rounds;
        List<Thread> all = new ArrayList<Thread>();
        for (int t = 0; t < count; t++) {
            final int first = t;
            Thread thread = new Thread(new Runnable() {
                public void run() {
                    for (int r = 0; r < perThread; r++) {
                        int i = (first + r) % cases;
                        String text = TEXTS[i][1];
                        String[] got = {
                            PelmTools.method01(KEY, IV, text),
                            PelmTools.method02(KEY, IV, expected[i][0]),
                            PelmTools.method03(TEXT_KEY, TEXT_IV, text),
                            PelmTools.method04(TEXT_KEY, TEXT_IV, expected[i][2]),
                        };
                        for (int m = 0; m < 4; m++) {
                            if (!expected[i][m].equals(got[m])) wrong.incrementAndGet();
                        }
                    }
                }
            });
            all.add(thread);
            thread.start();
        }
        for (Thread thread : all) thread.join();
        System.out.println("threads | " + count + " threads x " + rounds + " rounds x 4 methods | "
                           + wrong.get() + " wrong");
        expect(wrong.get() == 0, "a thread got a wrong result");
    }

    static List<Object> filler = new ArrayList<Object>();

    /** Takes all the heap but about `spare` bytes. */
    static void fill(int spare) {
        try {
            for (int size = 1 << 22; size >= 64; ) {
                try {
                    filler.add(new byte[size]);
                } catch (OutOfMemoryError e) {
                    size /= 2;
                }
            }
        } catch (OutOfMemoryError e) {
            // full
        }
        long freed = 0;
        while (freed < spare && !filler.isEmpty()) {
            freed += ((byte[]) filler.remove(filler.size() - 1)).length;
        }
    }

    /** With the heap full every method gives null and throws nothing; then they work again. */
    static void heap() {
        String text = noise(3000000);
        String plain = repeat("b", 4000000);
        String envelope = PelmTools.method01(KEY, IV, plain);
        String hex = PelmTools.method03(TEXT_KEY, TEXT_IV, noise(1500000));
        String[] data = {text, envelope, text, hex};
        String[] results = new String[4];
        fill(1 << 19);
        for (int m = 1; m <= 4; m++) {
            String key = m <= 2 ? KEY : TEXT_KEY, iv = m <= 2 ? IV : TEXT_IV;
            try {
                switch (m) {
                    case 1: results[0] = PelmTools.method01(key, iv, data[0]); break;
                    case 2: results[1] = PelmTools.method02(key, iv, data[1]); break;
                    case 3: results[2] = PelmTools.method03(key, iv, data[2]); break;
                    default: results[3] = PelmTools.method04(key, iv, data[3]); break;
                }
            } catch (Throwable t) {
                results[m - 1] = "threw " + t.getClass().getName();
            }
        }
        filler = new ArrayList<Object>();
        System.gc();
        for (int m = 0; m < 4; m++) {
            System.out.println("full heap | method0" + (m + 1) + " | "
                               + (results[m] == null ? "null" : results[m].startsWith("threw") ? results[m]
                                                                                           : "a result"));
            expect(results[m] == null, "method0" + (m + 1) + " in a full heap");
        }
        boolean again = plain.equals(PelmTools.method02(KEY, IV, envelope))
                && PelmTools.method03(TEXT_KEY, TEXT_IV, "after") != null;
        System.out.println("full heap | after freeing | " + (again ? "works" : "FAILED"));
        expect(again, "the methods after freeing the heap");
    }

    public static void main(String[] args) throws Exception {
        for (String mode : args) {
            if (mode.equals("table")) {
                table();
            } else if (mode.equals("threads")) {
                threads(12, 60);
            } else if (mode.equals("heap")) {
                heap();
            } else {
                System.out.println("FAILED: no mode " + mode);
                failures++;
            }
        }
        System.out.println(failures == 0 ? "OK" : failures + " FAILED");
        System.exit(failures == 0 ? 0 : 1);
    }
}
