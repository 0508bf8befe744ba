package com.trevik.aes;

/** Reaches the library's exported conversions through the test-only probe. */
final class ConversionProbe {
    static {
        System.loadLibrary("pelmLib");
        System.loadLibrary("pelm_conversion_probe");
    }

    private ConversionProbe() {}

    /** o0OoOOOO on the given bytes (up to the first zero byte). */
    static native String toJavaString(byte[] nativeText);

    /** o000OO0O on the given bytes (up to the first zero byte). */
    static native byte[] toByteArray(byte[] nativeText);

    /** Both conversions give null for a null text, with no exception. */
    static native boolean nullTextGivesNull();
}
