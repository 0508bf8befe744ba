import com.trevik.aes.PelmTools;

/**
 * An app that seals and opens only, as R8 sees it: method03 and method04 are
 * never called, so only the library's consumer rules keep them. Prints OK
 * when the library loaded and the round trip worked.
 */
public final class App {
    public static void main(String[] args) {
        String key = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
        String iv = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";
        String envelope = PelmTools.method01(key, iv, "shrunk, then sealed");
        String text = PelmTools.method02(key, iv, envelope);
        System.out.println("shrunk app | " + ("shrunk, then sealed".equals(text) ? "OK" : "FAILED: " + text));
    }
}
