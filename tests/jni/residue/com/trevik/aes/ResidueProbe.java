package com.trevik.aes;

/** The preloaded residue probe's natives (residue_probe.cpp). */
final class ResidueProbe {
    static {
        System.loadLibrary("pelm_residue_probe");
    }

    private ResidueProbe() {}

    /** Scans this thread's frees for the needles, failing allocation `failAt` (0: none). */
    static native void arm(byte[][] needles, int failAt);

    /** Stops, scans the stack the calls left, and says in how many places a needle was. */
    static native int disarm();

    /** Allocations counted since arm (the JVM's own are not). */
    static native long allocations();

    static native String firstFound();
}
