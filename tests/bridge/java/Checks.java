/** What the bridge programs share: a failed check ends the program with status 1. */
final class Checks {
    private Checks() {
    }

    static void check(boolean condition, String what) {
        if (!condition) {
            System.err.println("FAILED: " + what);
            System.exit(1);
        }
        System.out.println("ok: " + what);
    }

    static void expectHResult(Runnable call, int hresult, String what) {
        try {
            call.run();
        } catch (mivra.runtime.MivraException e) {
            check(e.getHResult() == hresult || e.getExceptionCode() == hresult,
                    what + String.format(" (HRESULT 0x%08X, code 0x%08X: %s)", e.getHResult(), e.getExceptionCode(), e.getMessage()));
            return;
        }
        check(false, what + ": no exception");
    }
}
