package com.qvx.morbit;

/**
 * The exception of the Morbit runtime, as the terminal canvas library raises
 * it.
 *
 * <p>The library creates it from native code through the constructor
 * {@link #MorbitException(String, String)}, found by name and signature: the
 * class must keep the name {@code com.qvx.morbit.MorbitException} and that
 * constructor, or the library cannot raise it. The library passes
 * {@code null} as the code and the text as the message; at present it raises
 * it only from {@code CursesCanvas7.init}, with the message
 * "stdscr TerminalException in C code".
 *
 * <p>It is a checked exception: {@code catch (MorbitException e)} and
 * {@code catch (Exception e)} both catch it.
 */
public class MorbitException extends Exception {
    private static final long serialVersionUID = 1L;

    /** The code given at construction; null for the canvas library's exceptions. */
    private final String code;

    /**
     * An exception with a message and no code.
     *
     * @param message the text {@link #getMessage()} returns
     */
    public MorbitException(String message) {
        this(null, message);
    }

    /**
     * An exception with a code and a message: the constructor the canvas
     * library calls, with signature {@code (Ljava/lang/String;Ljava/lang/String;)V}.
     *
     * @param code a code for the caller's use, or null; the canvas library
     *     always passes null
     * @param message the text {@link #getMessage()} returns
     */
    public MorbitException(String code, String message) {
        super(message);
        this.code = code;
    }

    /**
     * The code given at construction.
     *
     * @return the code, or null (always null for the canvas library's
     *     exceptions)
     */
    public String getCode() {
        return code;
    }
}
