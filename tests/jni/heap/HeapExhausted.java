import com.trevik.aes.PelmTools;
import java.util.ArrayList;
import java.util.List;

/**
 * With the Java heap full, a native whose result the runtime cannot
 * allocate returns null, and throws nothing; once there is room again it
 * works. Run with a small -Xmx.
 */
public final class HeapExhausted {
    static final String KEY = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
    static final String IV = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";
    static List<byte[]> filler = new ArrayList<>();

    /** Takes all the heap but about `spare` bytes. */
    static void fill(int spare) {
        try {
            for (int size = 1 << 24; size >= 1024; ) {
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
            freed += filler.remove(filler.size() - 1).length;
        }
    }

    public static void main(String[] args) {
        String text = "a".repeat(8_000_000);
        String envelope = PelmTools.method01(KEY, IV, text);
        String small = "a short text";
        String hex = PelmTools.method03("a raw 16-byte key", "and a raw IV, 16", small);
        String longText = "b".repeat(1_500_000);  // its hex needs 6 MB of heap
        text = null;
        int failures = 0;
        fill(1 << 20);
        String[] names = {"method02", "method03"};
        for (int m = 0; m < 2; m++) {
            try {
                String r = m == 0 ? PelmTools.method02(KEY, IV, envelope)
                                  : PelmTools.method03("a raw 16-byte key", "and a raw IV, 16", longText);
                if (r != null) {
                    System.out.println(names[m] + " made its result in a full heap: the test cannot tell");
                    failures++;
                }
            } catch (OutOfMemoryError e) {
                System.out.println(names[m] + " threw " + e);
                failures++;
            }
        }
        filler = new ArrayList<>();
        System.gc();
        String opened = PelmTools.method02(KEY, IV, envelope);
        if (opened == null || opened.length() != 8_000_000) {
            System.out.println("method02 failed with room again");
            failures++;
        }
        if (!small.equals(PelmTools.method04("a raw 16-byte key", "and a raw IV, 16", hex))) {
            System.out.println("method04 failed with room again");
            failures++;
        }
        System.out.println(failures == 0 ? "OK" : "FAILED");
    }
}
