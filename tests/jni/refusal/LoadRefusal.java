import com.trevik.aes.PelmTools;

/**
 * Runs against a PelmTools that the library cannot bind completely (a
 * native missing, of another signature, or not native: what a shrinker or a
 * mismatched jar makes). The library must refuse to load with nothing left
 * pending (Android's runtime aborts under CheckJNI otherwise), the first
 * call must say that the natives could not be bound and name the keep rule,
 * and the class must stay unusable. The lines it prints are the same on
 * every runtime.
 */
public final class LoadRefusal {
    public static void main(String[] args) {
        int failures = 0;
        try {
            PelmTools.method01("k", "i", "d");
            System.out.println("FAILED: method01 ran against a class the library refused");
            failures++;
        } catch (UnsatisfiedLinkError e) {
            String message = String.valueOf(e.getMessage());
            boolean says = message.contains("could not bind the native methods");
            boolean rule = message.contains("-keep class com.trevik.aes.PelmTools { native <methods>; }");
            System.out.println("first call | UnsatisfiedLinkError | says the natives could not be bound: "
                               + says + " | names the keep rule: " + rule);
            if (!says || !rule) {
                System.out.println("FAILED: " + message);
                failures++;
            }
        }
        try {
            PelmTools.method03("k", "i", "d");
            System.out.println("FAILED: method03 ran after the refusal");
            failures++;
        } catch (NoClassDefFoundError e) {
            System.out.println("second call | NoClassDefFoundError");
        }
        System.out.println(failures == 0 ? "OK" : failures + " FAILED");
        System.exit(failures == 0 ? 0 : 1);
    }
}
