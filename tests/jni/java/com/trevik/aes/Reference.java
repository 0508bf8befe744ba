package com.trevik.aes;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.security.AlgorithmParameters;
import java.util.Base64;
import java.util.HexFormat;
import java.util.zip.Deflater;
import javax.crypto.Cipher;
import javax.crypto.SecretKey;

/** The library's formats rebuilt with the JDK alone, to check it against. */
final class Reference {
    private Reference() {}

    /**
     * The bytes the library works on for a string, on every runtime: a
     * surrogate pair as one four-byte UTF-8 sequence, U+0000 as C0 80, an
     * unpaired surrogate as its three-byte form, anything else as UTF-8.
     */
    static byte[] javaText(String s) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (Character.isHighSurrogate(c) && i + 1 < s.length()
                    && Character.isLowSurrogate(s.charAt(i + 1))) {
                out.writeBytes(s.substring(i, i + 2).getBytes(StandardCharsets.UTF_8));
                i++;
            } else if (c == 0 || Character.isSurrogate(c)) {
                out.writeBytes(modifiedUtf8(String.valueOf(c)));
            } else {
                out.writeBytes(String.valueOf(c).getBytes(StandardCharsets.UTF_8));
            }
        }
        return out.toByteArray();
    }

    /** HotSpot's GetStringUTFChars form: modified UTF-8, pairs as six bytes. */
    static byte[] modifiedUtf8(String s) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (char c : s.toCharArray()) {
            if (c >= 0x0001 && c <= 0x007F) {
                out.write(c);
            } else if (c <= 0x07FF) {  // U+0000 included, as C0 80
                out.write(0xC0 | (c >> 6));
                out.write(0x80 | (c & 0x3F));
            } else {  // every UTF-16 unit on its own, surrogates included
                out.write(0xE0 | (c >> 12));
                out.write(0x80 | ((c >> 6) & 0x3F));
                out.write(0x80 | (c & 0x3F));
            }
        }
        return out.toByteArray();
    }

    static byte[] zlib9(byte[] data) {
        Deflater deflater = new Deflater(9);
        deflater.setInput(data);
        deflater.finish();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] buffer = new byte[8192];
        while (!deflater.finished()) {
            out.write(buffer, 0, deflater.deflate(buffer));
        }
        deflater.end();
        return out.toByteArray();
    }

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

    /** An IV as AES parameters: its DER encoding is one OCTET STRING. */
    static AlgorithmParameters ivParameters(byte[] iv) throws Exception {
        byte[] der = new byte[iv.length + 2];
        der[0] = 0x04;
        der[1] = (byte) iv.length;
        System.arraycopy(iv, 0, der, 2, iv.length);
        AlgorithmParameters parameters = AlgorithmParameters.getInstance("AES");
        parameters.init(der);
        return parameters;
    }

    static byte[] crypt(String transformation, int mode, byte[] key, byte[] iv, byte[] data) {
        try {
            Cipher cipher = Cipher.getInstance(transformation);
            cipher.init(mode, aesKey(key), ivParameters(iv));
            return cipher.doFinal(data);
        } catch (Exception e) {
            throw new AssertionError(e);
        }
    }

    /** An envelope of raw plaintext bytes, with the trailer they imply. */
    static String seal(String keyHex, String ivHex, byte[] plain) {
        HexFormat hex = HexFormat.of();
        byte[] cipher = crypt("AES/CFB/NoPadding", Cipher.ENCRYPT_MODE,
                hex.parseHex(keyHex), hex.parseHex(ivHex), zlib9(plain));
        byte[] payload = java.util.Arrays.copyOf(cipher, cipher.length + 4);
        int n = plain.length;
        payload[cipher.length] = (byte) (n >>> 24);
        payload[cipher.length + 1] = (byte) (n >>> 16);
        payload[cipher.length + 2] = (byte) (n >>> 8);
        payload[cipher.length + 3] = (byte) n;
        return Base64.getEncoder().encodeToString(payload);
    }

    static String seal(String keyHex, String ivHex, String text) {
        return seal(keyHex, ivHex, javaText(text));
    }

    /** method03's result: CBC with PKCS #7 over the strings' byte form. */
    static String encrypt(String key, String iv, String text) {
        return encrypt(key, iv, javaText(text));
    }

    static String encrypt(String key, String iv, byte[] plain) {
        byte[] k = java.util.Arrays.copyOf(javaText(key), 16);
        byte[] v = java.util.Arrays.copyOf(javaText(iv), 16);
        return HexFormat.of().formatHex(
                crypt("AES/CBC/PKCS5Padding", Cipher.ENCRYPT_MODE, k, v, plain));
    }
}
