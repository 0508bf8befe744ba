import com.trevik.aes.PelmTools;

/**
 * Loads the library against a PelmTools it cannot bind completely. Loading
 * must fail with the runtime's NoSuchMethodError for method04, and none of
 * the other methods may stay bound to the refused library.
 */
public final class LoadRefusal {
    public static void main(String[] args) {
        try {
            System.loadLibrary("pelmLib");
            System.out.println("FAIL: the library loaded");
            System.exit(1);
        } catch (NoSuchMethodError e) {
            if (!String.valueOf(e.getMessage()).contains("method04")) {
                System.out.println("FAIL: unexpected message: " + e.getMessage());
                System.exit(1);
            }
            System.out.println("refused as expected: " + e);
        }
        try {
            PelmTools.method01("k", "i", "d");
            System.out.println("FAIL: method01 is still bound");
            System.exit(1);
        } catch (UnsatisfiedLinkError e) {
            System.out.println("method01 unbound as expected: " + e.getMessage());
        }
        System.out.println("OK");
    }
}
