package com.trevik.aes;

/** A PelmTools whose method04 the library cannot bind. */
public final class PelmTools {
    public static native String method01(String key, String iv, String data);
    public static native String method02(String key, String iv, String data);
    public static native String method03(String key, String iv, String data);
    public static native String method04(String key, String iv, byte[] data);
}
