import com.trevik.aes.PelmTools;

/** Seals, opens, encrypts and decrypts a sample text through PelmTools. */
public final class Demo {
    public static void main(String[] args) {
        String keyHex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
        String ivHex = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";
        String key = "sixteen byte key";
        String iv = "initial vector16";
        String text = args.length > 0 ? args[0] : "Hello from libpelmLib!\tTabs and\nline breaks survive.";

        String envelope = PelmTools.method01(keyHex, ivHex, text);
        String opened = PelmTools.method02(keyHex, ivHex, envelope);
        String hex = PelmTools.method03(key, iv, text);
        String decrypted = PelmTools.method04(key, iv, hex);

        System.out.println("text:               " + text);
        System.out.println("method01 (seal):    " + envelope);
        System.out.println("method02 (open):    " + opened);
        System.out.println("method03 (encrypt): " + hex);
        System.out.println("method04 (decrypt): " + decrypted);
        boolean ok = text.equals(opened) && text.equals(decrypted);
        System.out.println(ok ? "round trips: ok" : "round trips: FAILED");
        System.exit(ok ? 0 : 1);
    }
}
