package com.trevik.aes;

import static org.junit.jupiter.api.Assertions.assertEquals;

import com.sun.management.HotSpotDiagnosticMXBean;
import java.lang.management.ManagementFactory;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Random;
import java.util.function.Function;
import org.junit.jupiter.api.Test;

/**
 * A long opened text reaches the JVM through a byte array the natives make.
 * Once the String exists the text must be on the Java heap once, in the
 * String, and not a second time in that array waiting for the collector.
 * Counted in a heap dump that keeps unreachable objects.
 */
class HeapCopiesTest {
    static final int LENGTH = 6000;  // above the size that takes the byte-array route

    /** Lowercase letters from `seed`: remade after the dump, so the test holds no copy. */
    static byte[] letters(long seed) {
        Random random = new Random(seed);
        byte[] text = new byte[LENGTH];
        for (int i = 0; i < LENGTH; i++) {
            text[i] = (byte) ('a' + random.nextInt(26));
        }
        return text;
    }

    static int occurrences(byte[] haystack, byte[] needle) {
        int count = 0;
        search:
        for (int i = 0; i + needle.length <= haystack.length; i++) {
            for (int j = 0; j < needle.length; j++) {
                if (haystack[i + j] != needle[j]) {
                    continue search;
                }
            }
            count++;
        }
        return count;
    }

    static void assertOneCopyAfterOpening(String sealed, Function<String, String> open, long seed)
            throws Exception {
        System.gc();  // no copy made while sealing may remain
        String opened = open.apply(sealed);
        Path dump = Files.createTempDirectory("pelm-heap").resolve("heap.hprof");
        try {
            ManagementFactory.getPlatformMXBean(HotSpotDiagnosticMXBean.class)
                    .dumpHeap(dump.toString(), false);
            byte[] expected = letters(seed);
            assertEquals(new String(expected, java.nio.charset.StandardCharsets.US_ASCII), opened);
            // The String's own array is one; `expected`, made after the dump, is not in it.
            assertEquals(1, occurrences(Files.readAllBytes(dump), Arrays.copyOf(expected, 48)));
        } finally {
            Files.deleteIfExists(dump);
            Files.deleteIfExists(dump.getParent());
        }
    }

    @Test
    void anOpenedEnvelopeLeavesOneCopyOfItsTextOnTheHeap() throws Exception {
        long seed = new Random().nextLong();
        byte[] plain = letters(seed);
        String sealed = Reference.seal(PelmToolsTest.KEY_HEX, PelmToolsTest.IV_HEX, plain);
        Arrays.fill(plain, (byte) 0);
        assertOneCopyAfterOpening(sealed,
                s -> PelmTools.method02(PelmToolsTest.KEY_HEX, PelmToolsTest.IV_HEX, s), seed);
    }

    @Test
    void aDecryptedHexTextLeavesOneCopyOfItsTextOnTheHeap() throws Exception {
        long seed = new Random().nextLong();
        byte[] plain = letters(seed);
        String hex = Reference.encrypt(PelmToolsTest.KEY, PelmToolsTest.IV, plain);
        Arrays.fill(plain, (byte) 0);
        assertOneCopyAfterOpening(hex,
                s -> PelmTools.method04(PelmToolsTest.KEY, PelmToolsTest.IV, s), seed);
    }
}
