package mivra.runtime;

/**
 * A failed COM call: the HRESULT, and for {@code DISP_E_EXCEPTION} what the
 * server put into its EXCEPINFO.
 */
public class MivraException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int hresult;
    private final int exceptionCode;
    private final String sourceName;
    private final String description;
    private final String helpFile;
    private final int helpContext;
    private final int argumentIndex;

    /**
     * A failure with all its details.
     *
     * @param message the text shown for it
     * @param hresult the HRESULT of the call
     * @param exceptionCode the EXCEPINFO's code (its {@code scode}, else its {@code wCode}), 0 if none
     * @param sourceName the EXCEPINFO's source, or null
     * @param description the EXCEPINFO's description, or null
     * @param helpFile the EXCEPINFO's help file, or null
     * @param helpContext the EXCEPINFO's help context
     * @param argumentIndex the argument a type mismatch or a missing parameter names (0 the first), -1 if none
     */
    public MivraException(String message, int hresult, int exceptionCode, String sourceName, String description,
            String helpFile, int helpContext, int argumentIndex) {
        super(message);
        this.hresult = hresult;
        this.exceptionCode = exceptionCode;
        this.sourceName = sourceName;
        this.description = description;
        this.helpFile = helpFile;
        this.helpContext = helpContext;
        this.argumentIndex = argumentIndex;
    }

    /**
     * A failure known only by its HRESULT.
     *
     * @param message the text shown for it
     * @param hresult the HRESULT
     */
    public MivraException(String message, int hresult) {
        this(message, hresult, 0, null, null, null, 0, -1);
    }

    /** @return the HRESULT of the failed call */
    public int getHResult() {
        return hresult;
    }

    /** @return the EXCEPINFO's code, 0 when the server gave none */
    public int getExceptionCode() {
        return exceptionCode;
    }

    /** @return the EXCEPINFO's source, or null */
    public String getSourceName() {
        return sourceName;
    }

    /** @return the EXCEPINFO's description, or null */
    public String getDescription() {
        return description;
    }

    /** @return the EXCEPINFO's help file, or null */
    public String getHelpFile() {
        return helpFile;
    }

    /** @return the EXCEPINFO's help context */
    public int getHelpContext() {
        return helpContext;
    }

    /** @return the index of the argument the failure names (0 the first), -1 if none */
    public int getArgumentIndex() {
        return argumentIndex;
    }
}
