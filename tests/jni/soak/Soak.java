import com.trevik.aes.PelmTools;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Calls each of the four methods many times in one JVM on mixed inputs
 * (valid, failing, null) and checks that resident memory and the Java heap
 * after a full GC stay flat once warmed up. A leaked borrowed string, local
 * reference or native buffer would show as steady growth here.
 *
 * <p>Usage: Soak [calls per method]
 */
public final class Soak {
    static final long RSS_GROWTH_LIMIT_KIB = 16 * 1024;
    static final long HEAP_GROWTH_LIMIT_BYTES = 8L * 1024 * 1024;

    static final String KEY_HEX = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
    static final String IV_HEX = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";
    static final String KEY = "sixteen byte key";
    static final String IV = "initial vector16";

    static long rssKib() throws Exception {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IllegalStateException("no VmRSS");
    }

    static long heapAfterGc() {
        Runtime rt = Runtime.getRuntime();
        for (int i = 0; i < 3; i++) {
            System.gc();
        }
        return rt.totalMemory() - rt.freeMemory();
    }

    public static void main(String[] args) throws Exception {
        int calls = args.length > 0 ? Integer.parseInt(args[0]) : 200_000;
        int warmup = calls / 5;
        String text = "a soak test text\twith a tab and some length to it, ".repeat(4);
        String envelope = PelmTools.method01(KEY_HEX, IV_HEX, text);
        String hex = PelmTools.method03(KEY, IV, text);
        // Per method: valid, failing (with and without a log record), null.
        String[][] m01 = {{KEY_HEX, IV_HEX, text}, {"short", IV_HEX, text}, {KEY_HEX, null, text}};
        String[][] m02 = {{KEY_HEX, IV_HEX, envelope}, {KEY_HEX, IV_HEX, "AAAA"},
                          {KEY_HEX, IV_HEX, "not*base64"}, {null, IV_HEX, envelope}};
        String[][] m03 = {{KEY, IV, text}, {"short", IV, text}, {KEY, IV, null}};
        String[][] m04 = {{KEY, IV, hex}, {KEY, IV, "xyz"}, {KEY, null, hex}};

        long checksum = 0;
        long rssStart = 0;
        long heapStart = 0;
        long begin = System.nanoTime();
        for (int i = 0; i < calls; i++) {
            if (i == warmup) {
                heapStart = heapAfterGc();
                rssStart = rssKib();
            }
            String[] a = m01[i % m01.length];
            String[] b = m02[i % m02.length];
            String[] c = m03[i % m03.length];
            String[] d = m04[i % m04.length];
            checksum += len(PelmTools.method01(a[0], a[1], a[2]));
            checksum += len(PelmTools.method02(b[0], b[1], b[2]));
            checksum += len(PelmTools.method03(c[0], c[1], c[2]));
            checksum += len(PelmTools.method04(d[0], d[1], d[2]));
        }
        double seconds = (System.nanoTime() - begin) / 1e9;
        long heapEnd = heapAfterGc();
        long rssEnd = rssKib();
        long rssGrowth = rssEnd - rssStart;
        long heapGrowth = heapEnd - heapStart;
        System.out.printf("soak: %d calls per method (%d in all) in %.1f s, checksum %d%n",
                calls, 4L * calls, seconds, checksum);
        System.out.printf("soak: after warm-up RSS %d -> %d KiB (%+d KiB, limit %d)%n",
                rssStart, rssEnd, rssGrowth, RSS_GROWTH_LIMIT_KIB);
        System.out.printf("soak: heap after full GC %d -> %d bytes (%+d, limit %d)%n",
                heapStart, heapEnd, heapGrowth, HEAP_GROWTH_LIMIT_BYTES);
        boolean ok = rssGrowth < RSS_GROWTH_LIMIT_KIB && heapGrowth < HEAP_GROWTH_LIMIT_BYTES;
        System.out.println(ok ? "soak: OK" : "soak: FAILED, memory grew");
        System.exit(ok ? 0 : 1);
    }

    static long len(String s) {
        return s == null ? 0 : s.length();
    }
}
