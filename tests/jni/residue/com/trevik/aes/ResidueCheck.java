package com.trevik.aes;

import java.nio.charset.StandardCharsets;
import java.util.HexFormat;
import java.util.Random;
import java.util.function.Supplier;

/**
 * The four natives leave nothing secret in the memory they free or in the
 * stack below them: not the decoded envelope key, not the text cipher's
 * key, not the plaintext. Each call runs once whole and then once with each
 * of its allocations failing in turn (a failure must be a clean null).
 * Run with the probe preloaded: LD_PRELOAD=libpelm_residue_probe.so.
 */
public final class ResidueCheck {
    static final String MARKER = "plaintext-marker-5f3c9a1e77d2";

    public static void main(String[] args) {
        Random random = new Random(41);
        byte[] key = new byte[32];
        byte[] iv = new byte[16];
        random.nextBytes(key);
        random.nextBytes(iv);
        String keyText = HexFormat.of().formatHex(key);
        String ivText = HexFormat.of().formatHex(iv);
        String textKey = "text-key-7d41c0e", textIv = "text-iv-2b9e8f13";
        StringBuilder letters = new StringBuilder();
        for (int i = 0; i < 6000; i++) {
            letters.append((char) ('a' + random.nextInt(26)));
        }
        // Three times: in the second half of the first 2048-character piece
        // the natives read, in the middle, and in the second half of the
        // last piece, which stays in the piece buffer.
        String text = letters.insert(5100, MARKER).insert(3000, MARKER).insert(1900, MARKER).toString();
        byte[][] needles = {
            key, textKey.getBytes(StandardCharsets.UTF_8), MARKER.getBytes(StandardCharsets.UTF_8),
            MARKER.getBytes(StandardCharsets.UTF_16LE)
        };
        String[] names = {
            "the envelope's key", "the text cipher's key", "the plaintext", "the plaintext as UTF-16"
        };

        // Not plain ASCII: read through a whole UTF-16 copy instead of pieces.
        String wide = "\u00e9" + text;
        String envelope = PelmTools.method01(keyText, ivText, text);
        String hex = PelmTools.method03(textKey, textIv, text);
        String wideEnvelope = PelmTools.method01(keyText, ivText, wide);
        String wideHex = PelmTools.method03(textKey, textIv, wide);
        String[] callNames = {"method01", "method02", "method03", "method04",
                              "method01 (not ASCII)", "method03 (not ASCII)"};
        @SuppressWarnings("unchecked")
        Supplier<String>[] calls = new Supplier[] {
            () -> PelmTools.method01(keyText, ivText, text),
            () -> PelmTools.method02(keyText, ivText, envelope),
            () -> PelmTools.method03(textKey, textIv, text),
            () -> PelmTools.method04(textKey, textIv, hex),
            () -> PelmTools.method01(keyText, ivText, wide),
            () -> PelmTools.method03(textKey, textIv, wide),
        };
        String[] expected = {envelope, text, hex, text, wideEnvelope, wideHex};
        int faults = 0, runs = 0;
        for (int c = 0; c < calls.length; c++) {
            for (int failAt = 0; ; failAt++) {
                ResidueProbe.arm(needles, failAt);
                String result = calls[c].get();
                int found = ResidueProbe.disarm();
                long allocations = ResidueProbe.allocations();
                runs++;
                if (found != 0) {
                    faults++;
                    String where = ResidueProbe.firstFound();
                    int needle = Integer.parseInt(where.split(" ")[1]);
                    System.out.println("FAILED: " + callNames[c] + " with allocation " + failAt
                        + " failing: " + names[needle] + where.substring(where.indexOf(" in ")));
                }
                boolean failedOne = failAt > 0 && allocations >= failAt;
                if (!failedOne && !expected[c].equals(result)) {
                    faults++;
                    System.out.println("FAILED: " + callNames[c] + " gave a wrong result");
                }
                if (failAt > 0 && !failedOne) {
                    break;
                }
            }
        }
        System.out.println(runs + " calls scanned, " + faults + " faults");
        System.out.println(faults == 0 ? "OK" : "FAILED");
        System.exit(faults == 0 ? 0 : 1);
    }
}
