package com.trevik.aes;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.Random;
import org.junit.jupiter.api.Test;

/**
 * Results are decoded exactly as the JDK decodes UTF-8, malformed input
 * included. method02 hands back any bytes sealed here (up to a zero byte),
 * so it exposes the decoder to arbitrary input.
 */
class ResultDecodingTest {
    static final String KEY_HEX = PelmToolsTest.KEY_HEX;
    static final String IV_HEX = PelmToolsTest.IV_HEX;
    static final int[] EDGES = {0x01, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};

    /** Whether the bytes hold a form the library reads beyond standard UTF-8. */
    static boolean holdsExtraForm(byte[] b) {
        for (int i = 0; i + 1 < b.length; i++) {
            int b0 = b[i] & 0xFF, b1 = b[i + 1] & 0xFF;
            if (b0 == 0xC0 && b1 == 0x80) {
                return true;
            }
            if (b0 == 0xED && b1 >= 0xA0 && b1 <= 0xBF && i + 2 < b.length
                    && (b[i + 2] & 0xC0) == 0x80) {
                return true;
            }
        }
        return false;
    }

    static void assertDecodesAsTheJdk(byte[] bytes) {
        String opened = PelmTools.method02(KEY_HEX, IV_HEX, Reference.seal(KEY_HEX, IV_HEX, bytes));
        String expected = new String(bytes, StandardCharsets.UTF_8);
        if (!expected.equals(opened)) {
            int at = 0;
            while (at < Math.min(expected.length(), opened.length())
                    && expected.charAt(at) == opened.charAt(at)) {
                at++;
            }
            throw new AssertionError("decoded unlike the JDK from unit " + at + " of "
                    + bytes.length + " bytes: " + java.util.HexFormat.of().formatHex(
                            bytes, 0, Math.min(bytes.length, 64)));
        }
    }

    /** Every case on its own, each followed by "|", which ends any sequence. */
    static void assertBatchDecodesAsTheJdk(Iterable<int[]> cases) {
        ByteArrayOutputStream batch = new ByteArrayOutputStream();
        for (int[] c : cases) {
            byte[] bytes = new byte[c.length];
            for (int i = 0; i < c.length; i++) {
                bytes[i] = (byte) c[i];
            }
            if (!holdsExtraForm(bytes)) {
                batch.writeBytes(bytes);
                batch.write('|');
            }
        }
        assertDecodesAsTheJdk(batch.toByteArray());
    }

    @Test
    void anOpenedTextEndsAtItsFirstZeroByte() {
        byte[][] cases = {{(byte) 0xC3, (byte) 0xA9, 0, 'x', 'y'}, {0, 'x'}, {'a', 'b', 0}};
        String[] expected = {"\u00e9", "", "ab"};
        for (int i = 0; i < cases.length; i++) {
            String envelope = Reference.seal(KEY_HEX, IV_HEX, cases[i]);
            org.junit.jupiter.api.Assertions.assertEquals(expected[i],
                    PelmTools.method02(KEY_HEX, IV_HEX, envelope), "case " + i);
        }
    }

    @Test
    void everyOneAndTwoByteSequence() {
        java.util.List<int[]> cases = new java.util.ArrayList<>();
        for (int a = 1; a < 256; a++) {
            cases.add(new int[] {a});
            for (int b = 1; b < 256; b++) {
                cases.add(new int[] {a, b});
            }
        }
        assertBatchDecodesAsTheJdk(cases);
    }

    @Test
    void everyLeadByteWithEdgeContinuations() {
        java.util.List<int[]> cases = new java.util.ArrayList<>();
        for (int lead = 0x80; lead < 256; lead++) {
            for (int b : EDGES) {
                for (int c : EDGES) {
                    cases.add(new int[] {lead, b, c});
                    for (int d : EDGES) {
                        cases.add(new int[] {lead, b, c, d});
                    }
                }
            }
        }
        assertBatchDecodesAsTheJdk(cases);
    }

    @Test
    void truncatedSequencesAtTheEnd() {
        for (int lead = 0x80; lead < 256; lead++) {
            for (int k = 0; k <= 3; k++) {
                byte[] bytes = new byte[2 + k];
                bytes[0] = 'x';
                bytes[1] = (byte) lead;
                for (int i = 0; i < k; i++) {
                    bytes[2 + i] = (byte) (lead == 0xF0 ? 0x90 : lead == 0xE0 ? 0xA0 : 0x80);
                }
                if (!holdsExtraForm(bytes)) {
                    assertDecodesAsTheJdk(bytes);
                }
            }
        }
    }

    @Test
    void randomBytes() {
        Random random = new Random(11);
        for (int round = 0; round < 300; round++) {
            byte[] bytes = new byte[1 + random.nextInt(200)];
            for (int i = 0; i < bytes.length; i++) {
                // Mostly high bytes, where the malformed cases are.
                bytes[i] = (byte) (random.nextInt(3) == 0 ? 1 + random.nextInt(127) : 0x80 + random.nextInt(128));
            }
            if (!holdsExtraForm(bytes)) {
                assertDecodesAsTheJdk(bytes);
            }
        }
    }
}
