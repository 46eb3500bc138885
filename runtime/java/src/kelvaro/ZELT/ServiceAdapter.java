// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import kelvaro.ZELT.internal.codec.XdrBox;

/**
 * Base of the {@link Svc} that a service interface of the idiomatic output
 * makes of its implementation ({@code asSvc()}): decodes a call's
 * argument, runs the service's method with the call's context and encodes
 * its result. A method that throws, or returns null where a result is due,
 * gives the caller SYSTEM_ERR (logged, see {@link Svc}); a procedure the
 * version does not have gives PROC_UNAVAIL.
 */
public abstract class ServiceAdapter extends Svc {
    private final boolean answers_null;

    /**
     * A service of a program version.
     *
     * @param program the program number
     * @param version the version number
     * @param answersNull true when procedure 0 is to be answered with an
     *        empty reply because the version does not declare it
     */
    protected ServiceAdapter(int program, int version, boolean answersNull) {
        super(program, version);
        this.answers_null = answersNull;
    }

    @Override
    public final XDT proc_call(int proc, XDR inXDR) throws XDRError {
        XDT result = dispatch(proc, inXDR, currentCall());
        if (result == null && proc == 0 && answers_null)
            return new XDTvoid();
        return result;
    }

    /**
     * Runs one call: decodes the argument of the procedure, calls the
     * service and returns {@link #reply} or {@link #done()}.
     *
     * @param procedure the procedure number
     * @param xdr the call's argument
     * @param call the call's context
     * @return the result to encode, or null when the version has no such procedure
     * @throws XDRError when the argument cannot be decoded
     */
    protected abstract XDT dispatch(int procedure, XDR xdr, CallContext call) throws XDRError;

    /**
     * A procedure's result, to be encoded with writer.
     *
     * @param <R> the result's type
     * @param result the result
     * @param writer what encodes it
     * @param method the service method, for the message when result is null
     * @return the reply
     * @throws NullPointerException when result is null
     */
    protected final <R> XDT reply(R result, XdrWriter<? super R> writer, String method) {
        if (result == null)
            throw new NullPointerException(method + " returned null, where a result is due");
        return new XdrBox<R>(result, writer, null);
    }

    /**
     * A procedure's result that is optional data: null when absent.
     *
     * @param <R> the result's type
     * @param result the result, or null
     * @param writer what encodes it: optional data, as null or the value
     * @return the reply
     */
    protected final <R> XDT replyOptional(R result, XdrWriter<? super R> writer) {
        return new XdrBox<R>(result, writer, null);
    }

    /**
     * The reply of a procedure without a result.
     *
     * @return the reply
     */
    protected final XDT done() {
        return new XDTvoid();
    }
}
