package com.trevik.aes;

/**
 * Native text ciphers backed by {@code libpelmLib.so}.
 *
 * <p>Every method takes a key text, an IV text and a data text, and returns a
 * new {@code String}, or {@code null} on any failure (a null argument
 * included). No method throws for bad input, nor when the Java heap cannot
 * hold the call's strings or its result: that failure too is a null, with
 * the runtime's {@link OutOfMemoryError} cleared. None says why it failed;
 * the envelope methods write the reason to the Android log under the tag
 * {@code "tagName"}.
 *
 * <p>Every string, on every runtime, is worked on in one byte form: UTF-8,
 * except that U+0000 is the two bytes C0 80 and an unpaired surrogate is its
 * three-byte form. So every text comes back from a round trip unchanged,
 * emoji, U+0000 and lone surrogates included, and a text seals to the same
 * envelope on a phone and on a server JVM. Results are decoded as the JDK
 * decodes UTF-8 (malformed bytes become U+FFFD), and C0 80 and three-byte
 * surrogates are read back as the characters they stand for.
 *
 * <p>The class loads {@code libpelmLib.so} when first used: from the file
 * named by the system property {@value #LIBRARY_PROPERTY} if set, else as
 * {@code pelmLib} from {@code java.library.path}. If that fails, the first
 * call throws an {@link UnsatisfiedLinkError} naming the cause, and every
 * later call a {@link NoClassDefFoundError} caused by it.
 *
 * <p>All four methods may be called from any thread at any time, at once:
 * each keeps its state per call and takes no lock.
 *
 * <p>If the library loads but cannot bind the four methods (a shrinker
 * removed one, or this class and the library are of different versions),
 * the first call throws an {@link UnsatisfiedLinkError} that says so and
 * names the keep rule; the library logs the missing method under the tag
 * {@code "pelmLib"}.
 */
public final class PelmTools {
    /**
     * System property naming the library file to load, for servers that
     * cannot set {@code java.library.path}; without it the library is found
     * as {@code pelmLib} on the library path.
     */
    public static final String LIBRARY_PROPERTY = "com.trevik.aes.library";

    static {
        String file = System.getProperty(LIBRARY_PROPERTY);
        boolean named = file != null && !file.isEmpty();
        try {
            if (named) {
                System.load(file);
            } else {
                System.loadLibrary("pelmLib");
            }
        } catch (UnsatisfiedLinkError | SecurityException e) {
            // Said once here; the runtime then names this error as the cause
            // of the NoClassDefFoundError every later call gets.
            UnsatisfiedLinkError clear = new UnsatisfiedLinkError(loadFailure(e, named, file));
            clear.initCause(e);
            throw clear;
        }
    }

    /** What went wrong, in words true for the runtime it happened on. */
    private static String loadFailure(Throwable e, boolean named, String file) {
        String cause = String.valueOf(e.getMessage());
        if (cause.contains("JNI_OnLoad") || cause.contains("JNI version")) {
            // The library loaded, then refused: its natives do not match this class.
            return "libpelmLib loaded but could not bind the native methods of " + PelmTools.class.getName()
                    + " (" + cause + "): a shrinker removed or renamed one of method01 to method04,"
                    + " or this class and the library come from different versions. Keep them with"
                    + " -keep class " + PelmTools.class.getName() + " { native <methods>; }"
                    + " (the AAR's consumer rules carry it; the library's log, tag pelmLib, names"
                    + " the method)";
        }
        if ("Dalvik".equals(System.getProperty("java.vm.name"))) {
            return "libpelmLib could not be loaded (" + cause + "): the app's native libraries hold no"
                    + " libpelmLib.so for this device's ABI (" + System.getProperty("os.arch")
                    + "), or it was not packaged";
        }
        return "libpelmLib could not be loaded "
                + (named ? "from " + LIBRARY_PROPERTY + "=" + file
                         : "as pelmLib from java.library.path=" + System.getProperty("java.library.path"))
                + ": " + cause + ". Off Android it needs liblog (Debian: android-liblog) and zlib at run"
                + " time, and libcrypto if it was built with the openssl or boringssl provider.";
    }

    private PelmTools() {}

    /**
     * Seals a text: zlib at level 9, AES-256-CFB128, then the text's byte
     * length as four big-endian bytes in clear, all in one Base64 text.
     * The same inputs give the same envelope with the same zlib build.
     * <p>
     * {@link #method02} opens texts of at most 16,772,159 bytes (in their
     * byte form) whose zlib stream is at most as long; a longer text seals
     * but can never be opened by this library.
     *
     * @param keyHex the AES-256 key as exactly 64 hex digits
     * @param ivHex the IV as exactly 32 hex digits
     * @param text the text to seal
     * @return the envelope, or null if a length is wrong or sealing failed
     */
    public static native String method01(String keyHex, String ivHex, String text);

    /**
     * Opens an envelope made by {@link #method01} with the same key and IV.
     * A wrong key or IV, or a damaged envelope, gives null, and so does an
     * envelope of a text above 16,772,159 bytes. The result ends at the
     * first U+0000 of the sealed text.
     *
     * @param keyHex the AES-256 key as exactly 64 hex digits
     * @param ivHex the IV as exactly 32 hex digits
     * @param envelope the Base64 envelope text
     * @return the sealed text, or null
     */
    public static native String method02(String keyHex, String ivHex, String envelope);

    /**
     * Encrypts a text with AES-128-CBC after PKCS #7 padding. The key and
     * IV are the first 16 bytes of their strings' byte form (see above), not
     * hex; strings shorter than that give null.
     *
     * @param key at least 16 bytes; only the first 16 are used
     * @param iv at least 16 bytes; only the first 16 are used
     * @param text the text to encrypt
     * @return the ciphertext as lowercase hex, 32 digits per block, or null
     *     (also for a text of 1,073,741,808 bytes or more, whose hex would
     *     not fit in one String)
     */
    public static native String method03(String key, String iv, String text);

    /**
     * Decrypts hex made by {@link #method03} with the same key and IV.
     * Valid padding is removed exactly. Without it (a wrong key or IV, or
     * foreign data) the text ends at its first character from U+0001 to
     * U+0010; there is no way to detect a wrong key, so the result is then
     * some text, never null.
     *
     * @param key at least 16 bytes; only the first 16 are used
     * @param iv at least 16 bytes; only the first 16 are used
     * @param hex the ciphertext as hex digits, either case
     * @return the decrypted text, or null if the hex does not decode or the
     *     key or IV is too short
     */
    public static native String method04(String key, String iv, String hex);
}
