package com.qvx.morbit;

/** Stand-in for the runtime's exception, with the constructor the canvas library calls. */
public class MorbitException extends Exception {
    private final String code;

    public MorbitException(String code, String message) {
        super(message);
        this.code = code;
    }

    public String getCode() {
        return code;
    }
}
