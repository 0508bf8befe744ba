package com.trevik.aes;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import org.junit.jupiter.api.Test;

/** Envelopes cross between the JVM and the pelm tool in both directions. */
class ToolInteropTest {
    static final String KEY_HEX = PelmToolsTest.KEY_HEX;
    static final String IV_HEX = PelmToolsTest.IV_HEX;
    static final String TEXT = "Grüße from the JVM \uD83D\uDE00, tabs\tand lines\n";

    static byte[] pelm(String command, byte[] input) throws IOException, InterruptedException {
        Process p = new ProcessBuilder(System.getProperty("pelm.tool"), command,
                "--key", KEY_HEX, "--iv", IV_HEX).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        p.getOutputStream().write(input);
        p.getOutputStream().close();
        byte[] out = p.getInputStream().readAllBytes();
        assertEquals(0, p.waitFor(), "pelm " + command + " failed");
        return out;
    }

    @Test
    void sealedInTheJvmOpensWithTheTool() throws Exception {
        String envelope = PelmTools.method01(KEY_HEX, IV_HEX, TEXT);
        byte[] opened = pelm("open", envelope.getBytes(StandardCharsets.US_ASCII));
        assertArrayEquals(TEXT.getBytes(StandardCharsets.UTF_8), opened);
    }

    @Test
    void sealedByTheToolOpensInTheJvm() throws Exception {
        byte[] envelope = pelm("seal", TEXT.getBytes(StandardCharsets.UTF_8));
        assertEquals(TEXT, PelmTools.method02(KEY_HEX, IV_HEX, new String(envelope, StandardCharsets.US_ASCII)));
    }
}
