import com.trevik.aes.PelmTools;

/**
 * Run with com.trevik.aes.library naming a file that does not exist: every
 * call, not only the first, must carry the reason loading failed.
 */
public final class LoadFailure {
    static String causes(Throwable t) {
        StringBuilder all = new StringBuilder();
        for (; t != null; t = t.getCause()) {
            all.append(t).append(" | ");
        }
        return all.toString();
    }

    public static void main(String[] args) {
        for (int call = 1; call <= 3; call++) {
            try {
                PelmTools.method01("k", "i", "d");
                System.out.println("FAIL: call " + call + " did not fail");
                System.exit(1);
            } catch (LinkageError e) {
                String all = causes(e);
                if (!all.contains("libpelmLib could not be loaded") || !all.contains(args[0])) {
                    System.out.println("FAIL: call " + call + " hides the cause: " + all);
                    System.exit(1);
                }
                System.out.println("call " + call + ": " + all);
            }
        }
        System.out.println("OK");
    }
}
