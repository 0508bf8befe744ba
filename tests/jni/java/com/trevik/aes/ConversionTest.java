package com.trevik.aes;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import org.junit.jupiter.api.Test;

class ConversionTest {
    static byte[] bytes(int... values) {
        byte[] out = new byte[values.length];
        for (int i = 0; i < values.length; i++) {
            out[i] = (byte) values[i];
        }
        return out;
    }

    @Test
    void stringsAreTheBytesDecodedAsUtf8() {
        byte[][] cases = {
            bytes(),
            "plain ascii".getBytes(StandardCharsets.UTF_8),
            "héllo ✓ \uD83D\uDE00".getBytes(StandardCharsets.UTF_8),  // real 4-byte UTF-8
            bytes(0xC0, 0x80),                  // modified UTF-8 for U+0000: malformed here
            bytes(0xED, 0xA0, 0xBD),            // a lone surrogate
            bytes('a', 0xFF, 'b'),
        };
        for (byte[] c : cases) {
            assertEquals(new String(c, StandardCharsets.UTF_8), ConversionProbe.toJavaString(c));
        }
    }

    @Test
    void byteArraysHoldTheTextUpToItsNul() {
        assertArrayEquals(bytes(), ConversionProbe.toByteArray(bytes()));
        assertArrayEquals(bytes(1, 0x7F, 0x80, 0xFF), ConversionProbe.toByteArray(bytes(1, 0x7F, 0x80, 0xFF)));
        assertArrayEquals(bytes('a', 'b'), ConversionProbe.toByteArray(bytes('a', 'b', 0, 'c')));
        assertEquals("ab", ConversionProbe.toJavaString(bytes('a', 'b', 0, 'c')));
    }

    @Test
    void nullTextGivesNull() {
        assertTrue(ConversionProbe.nullTextGivesNull());
    }
}
