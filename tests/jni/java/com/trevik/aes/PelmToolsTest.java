package com.trevik.aes;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

class PelmToolsTest {
    static final String KEY_HEX = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
    static final String IV_HEX = "000102030405060708090A0B0C0D0E0F";
    static final String KEY = "a raw 16-byte key";
    static final String IV = "and a raw IV, 16";

    interface Method {
        String call(String key, String iv, String data);
    }

    static final Method[] METHODS = {
        PelmTools::method01, PelmTools::method02, PelmTools::method03, PelmTools::method04
    };

    /**
     * All four methods on one text: results equal the JDK's, and opening or
     * decrypting gives {@code back}.
     */
    static void assertAllFourMatch(String text, String back) {
        String envelope = PelmTools.method01(KEY_HEX, IV_HEX, text);
        assertEquals(Reference.seal(KEY_HEX, IV_HEX, text), envelope);
        assertEquals(back, PelmTools.method02(KEY_HEX, IV_HEX, envelope));
        String hex = PelmTools.method03(KEY, IV, text);
        assertEquals(Reference.encrypt(KEY, IV, text), hex);
        assertEquals(back, PelmTools.method04(KEY, IV, hex));
    }

    @ParameterizedTest
    @ValueSource(strings = {"", "a", "hello, world", "tab\tline\nreturn\r", "héllo wörld ✓ €",
            "0123456789abcdef0123456789abcdef"})
    void sealMatchesTheJdkAndOpens(String text) {
        String envelope = PelmTools.method01(KEY_HEX, IV_HEX, text);
        assertEquals(Reference.seal(KEY_HEX, IV_HEX, text), envelope);
        assertEquals(text, PelmTools.method02(KEY_HEX, IV_HEX, envelope));
    }

    @ParameterizedTest
    @ValueSource(strings = {"", "a", "hello, world", "tab\tline\nreturn\r", "héllo wörld ✓ €",
            "0123456789abcdef", "\u0001\u0010\u0011 control characters survive"})
    void encryptMatchesTheJdkAndDecrypts(String text) {
        String hex = PelmTools.method03(KEY, IV, text);
        assertEquals(Reference.encrypt(KEY, IV, text), hex);
        assertEquals(text, PelmTools.method04(KEY, IV, hex));
    }

    @Test
    void largeRandomTexts() {
        Random random = new Random(42);
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 200_000; i++) {
            sb.append((char) (0x20 + random.nextInt(0x2000)));
        }
        String text = sb.toString();
        assertAllFourMatch(text, text);
    }

    @Test
    void everyNullArgumentGivesNull() {
        String[] keys = {KEY_HEX, KEY_HEX, KEY, KEY};
        String[] ivs = {IV_HEX, IV_HEX, IV, IV};
        String[] data = {"text", PelmTools.method01(KEY_HEX, IV_HEX, "text"), "text",
                         PelmTools.method03(KEY, IV, "text")};
        for (int m = 0; m < 4; m++) {
            assertNotNull(METHODS[m].call(keys[m], ivs[m], data[m]), "method0" + (m + 1));
            assertNull(METHODS[m].call(null, ivs[m], data[m]), "null key, method0" + (m + 1));
            assertNull(METHODS[m].call(keys[m], null, data[m]), "null iv, method0" + (m + 1));
            assertNull(METHODS[m].call(keys[m], ivs[m], null), "null data, method0" + (m + 1));
            assertNull(METHODS[m].call(null, null, null), "all null, method0" + (m + 1));
        }
    }

    @Test
    void emptyData() {
        String envelope = PelmTools.method01(KEY_HEX, IV_HEX, "");
        assertEquals(16, envelope.length());
        assertEquals("", PelmTools.method02(KEY_HEX, IV_HEX, envelope));
        assertEquals(32, PelmTools.method03(KEY, IV, "").length());
        assertNull(PelmTools.method04(KEY, IV, ""));
        assertEquals("", PelmTools.method04(KEY, IV, "00112233"));  // less than a block
    }

    @Test
    void failingCodecsGiveNull() {
        String envelope = PelmTools.method01(KEY_HEX, IV_HEX, "text");
        String otherKey = "1" + KEY_HEX.substring(1);
        assertNull(PelmTools.method01(KEY_HEX.substring(1), IV_HEX, "text"));
        assertNull(PelmTools.method01(KEY_HEX, IV_HEX + "0", "text"));
        assertNull(PelmTools.method02(KEY_HEX, IV_HEX, "not base64!"));
        assertNull(PelmTools.method02(KEY_HEX, IV_HEX, "AAAA"));
        assertNull(PelmTools.method02(otherKey, IV_HEX, envelope));
        assertNull(PelmTools.method04(KEY, IV, "xyz0"));
        assertNull(PelmTools.method04(KEY, IV, "abc"));
        // method03/04 read 16 bytes of key and IV: shorter ones are refused.
        assertNull(PelmTools.method03("15 bytes of key", IV, "text"));
        assertNull(PelmTools.method03(KEY, "short iv", "text"));
        assertNull(PelmTools.method04("", IV, PelmTools.method03(KEY, IV, "text")));
        // A key whose modified UTF-8 is 16 bytes or more is enough.
        assertNotNull(PelmTools.method03("éééééééé", "€€€€€€", "text"));
    }

    /** method04 reads its hex in pieces of 2048 units: a fault is seen wherever it is. */
    @Test
    void method04SeesAnyNonHexUnitAndTakesEitherCase() {
        String text = "x".repeat(3000);
        String hex = PelmTools.method03(KEY, IV, text);  // 6016 digits
        assertEquals(text, PelmTools.method04(KEY, IV, hex.toUpperCase()));
        assertEquals(text, PelmTools.method04(KEY, IV, hex + "0a1b"));  // part of a block: ignored
        assertNull(PelmTools.method04(KEY, IV, hex.substring(1)));  // odd
        for (int at : new int[] {0, 1, 2046, 2047, 2048, 2049, 4095, 4096, hex.length() - 1}) {
            for (char bad : new char[] {'g', 'G', ' ', '\0', 'é', '\u0130', '\ud83d'}) {
                String broken = hex.substring(0, at) + bad + hex.substring(at + 1);
                assertTrue(PelmTools.method04(KEY, IV, broken) == null, "unit " + (int) bad + " at " + at);
            }
        }
    }

    /**
     * Another encrypter's whole blocks with no byte from 0x01 to 0x10 after
     * decryption: the text is all of them, and nothing of the buffer after
     * (the suite runs with MALLOC_PERTURB_, so fresh memory is not zero).
     */
    @Test
    void method04EndsAForeignUnpaddedTextAtItsBlocks() {
        byte[] k = java.util.Arrays.copyOf(Reference.javaText(KEY), 16);
        byte[] v = java.util.Arrays.copyOf(Reference.javaText(IV), 16);
        for (int blocks = 1; blocks <= 3; blocks++) {
            String text = "x".repeat(16 * blocks - 1) + "\u007f";
            String hex = java.util.HexFormat.of().formatHex(Reference.crypt("AES/CBC/NoPadding",
                    javax.crypto.Cipher.ENCRYPT_MODE, k, v, Reference.javaText(text)));
            assertEquals(text, PelmTools.method04(KEY, IV, hex), blocks + " blocks");
        }
    }

    @Test
    void keysAndIvsCountOnlyTheirFirst16Bytes() {
        assertEquals(PelmTools.method03(KEY, IV, "t"), PelmTools.method03(KEY + "xyz", IV + "!", "t"));
    }

    @Test
    void sealedNulEndsTheOpenedText() {
        byte[] plain = {'a', 'b', 'c', 0, 'd', 'e', 'f'};
        assertEquals("abc", PelmTools.method02(KEY_HEX, IV_HEX, Reference.seal(KEY_HEX, IV_HEX, plain)));
    }

    @ParameterizedTest
    @ValueSource(strings = {"plain ascii", "Grüße, 日本語", "emoji \uD83D\uDE00 smile",
            "flags \uD83C\uDDE9\uD83C\uDDEA\uD83C\uDDEF\uD83C\uDDF5", "\u0000at the start",
            "nul\u0000inside", "at the end\u0000", "\u0000", "lone \uD800 high", "lone \uDC00 low",
            "reversed \uDE00\uD83D pair", "\uD83D", "max BMP \uFFFF", "max \uDBFF\uDFFF",
            "\u0001\u0010 control \u0000\u0000 and \uD83D\uDE00\uD83D\uDE00\uDE00"})
    void everyStringComesBackUnchanged(String text) {
        assertAllFourMatch(text, text);
    }

    /**
     * Long ASCII texts are read in pieces; one unit that is not plain ASCII
     * (U+0000, a surrogate pair cut in two, an accented letter) anywhere,
     * at the pieces' edges included, must still give the text's full byte form.
     */
    @Test
    void oneNonAsciiUnitAnywhereInALongTextComesBackUnchanged() {
        String[] odd = {"\u0000", "\uD83D\uDE00", "é"};
        int[] places = {0, 1, 2047, 2048, 2049, 4095, 4096, 6000, 9998};
        for (String unit : odd) {
            for (int place : places) {
                StringBuilder sb = new StringBuilder("x".repeat(10_000));
                sb.replace(place, place + unit.length(), unit);
                String text = sb.toString();
                assertAllFourMatch(text, text);
            }
        }
    }

    @Test
    void longRandomUtf16ComesBackUnchanged() {
        Random random = new Random(7);
        char[] units = new char[50_000];
        for (int i = 0; i < units.length; i++) {
            // Mostly surrogates and U+0000, where the byte forms differ.
            int kind = random.nextInt(4);
            units[i] = (char) (kind == 0 ? random.nextInt(0x10000)
                    : kind == 1 ? 0xD800 + random.nextInt(0x800)
                    : kind == 2 ? 0 : 0x20 + random.nextInt(0x60));
        }
        String text = new String(units);
        assertAllFourMatch(text, text);
    }

    @Test
    void envelopesSealedFromModifiedUtf8OpenWithTheirEmoji() {
        // What the library sealed on HotSpot before strings were read as UTF-16.
        String text = "emoji \uD83D\uDE00 and nul \u0000";
        String old = Reference.seal(KEY_HEX, IV_HEX, Reference.modifiedUtf8(text));
        assertEquals(text, PelmTools.method02(KEY_HEX, IV_HEX, old));
    }

    @Test
    void envelopesWithBlanksAroundThemOpenExactly() {
        for (String text : new String[] {"", "a", "ab", "abc", "a longer text, a longer text"}) {
            String envelope = PelmTools.method01(KEY_HEX, IV_HEX, text);
            for (String blank : new String[] {"\n", "\r\n", " ", "\t", " \t\r\n\n"}) {
                assertEquals(text, PelmTools.method02(KEY_HEX, IV_HEX, envelope + blank));
            }
            for (String blank : new String[] {" ", "\t", " \t "}) {
                assertEquals(text, PelmTools.method02(KEY_HEX, IV_HEX, blank + envelope));
            }
            for (String lineBreak : new String[] {"\n", "\r\n"}) {
                assertNull(PelmTools.method02(KEY_HEX, IV_HEX, lineBreak + envelope));
            }
        }
    }

    @Test
    void allFourMethodsFromManyThreadsAtOnce() throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(8);
        List<Future<Integer>> results = new ArrayList<>();
        for (int t = 0; t < 8; t++) {
            final int id = t;
            results.add(pool.submit(() -> {
                String key = String.format("thread key %05d", id);
                String iv = String.format("thread iv %06d", id);
                String keyHex = String.format("%064x", id + 1);
                String ivHex = String.format("%032x", id + 7);
                int failures = 0;
                for (int i = 0; i < 1500; i++) {
                    String text = "thread " + id + " message " + i + "\n";
                    String hex = PelmTools.method03(key, iv, text);
                    String envelope = PelmTools.method01(keyHex, ivHex, text);
                    if (!Reference.encrypt(key, iv, text).equals(hex)
                            || !text.equals(PelmTools.method04(key, iv, hex))
                            || !Reference.seal(keyHex, ivHex, text).equals(envelope)
                            || !text.equals(PelmTools.method02(keyHex, ivHex, envelope))) {
                        failures++;
                    }
                }
                return failures;
            }));
        }
        pool.shutdown();
        int failures = 0;
        for (Future<Integer> f : results) {
            failures += f.get();
        }
        assertEquals(0, failures);
    }

    /**
     * A text whose hex could not be one String (2^31 - 1 characters at most)
     * is refused from its length alone: nothing read, allocated or encrypted.
     * (The time bound checks that limit, not speed.)
     */
    @Test
    void method03RefusesATextTooLongForItsHexBeforeAnyWork() {
        String huge = "a".repeat(1073741808);  // pads to 2^30 bytes: 2^31 hex digits
        long start = System.nanoTime();
        assertNull(PelmTools.method03(KEY, IV, huge));
        long millis = (System.nanoTime() - start) / 1_000_000;
        assertTrue(millis < 2000, "took " + millis + " ms");
    }
}
