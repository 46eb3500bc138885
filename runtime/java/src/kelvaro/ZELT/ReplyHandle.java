// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.util.concurrent.CompletionStage;
import kelvaro.ZELT.internal.log.RuntimeLog;
import kelvaro.ZELT.internal.server.CallDispatcher;
import kelvaro.ZELT.internal.server.ServerCall;

/**
 * The reply of a server call that its service method chose to give later,
 * from {@link Svc#deferReply()}. The method returns at once (what it
 * returns is then ignored, null included), which frees the thread that ran
 * it; any thread may answer later through this handle, exactly once:
 *
 * <pre>{@code
 * public getres KV_GET(kvkey key) {
 *     ReplyHandle reply = Svc.deferReply();
 *     store.fetchAsync(key).whenComplete((value, failure) -> {
 *         if (failure == null)
 *             reply.reply(new getres(value));
 *         else
 *             reply.systemError();
 *     });
 *     return null;   // ignored: the handle answers
 * }
 * }</pre>
 *
 * <p>Until it is answered, the call counts toward its connection's
 * {@link ServerSettings#maxCallsPerConnection bound on calls in flight}.
 * A handle not answered within the server's
 * {@link ServerSettings#deferredReplyTimeout reply deadline} is answered
 * SYSTEM_ERR by the server, logged at WARNING on {@code kelvaro.ZELT.server}
 * and counted in {@link ServerStats#repliesAbandoned()}; answering it
 * afterwards does nothing. A reply to a connection that has closed
 * meanwhile is dropped. Thread-safe.
 */
public final class ReplyHandle {
    private final ServerCall call;

    ReplyHandle(ServerCall call) {
        this.call = call;
    }

    /**
     * The call this handle answers.
     *
     * @return its context: caller, credentials, procedure
     */
    public CallContext call() {
        return call.context;
    }

    /**
     * Answers the call with SUCCESS and this result, encoded on the calling
     * thread. A result that cannot be encoded, or is too large for the
     * transport, is answered SYSTEM_ERR and logged instead.
     *
     * @param result the result, of the type the procedure returns; for a
     *        procedure returning void, an {@link XDTvoid}
     * @return true when this answered the call; false when it was answered
     *         before (or abandoned at the reply deadline)
     * @throws NullPointerException when result is null
     */
    public boolean reply(XDT result) {
        java.util.Objects.requireNonNull(result, "result");
        return call.answer_deferred(Rpc.SUCCESS, result);
    }

    /**
     * Answers the call with SYSTEM_ERR.
     *
     * @return true when this answered the call; false when it was answered before
     */
    public boolean systemError() {
        return call.answer_deferred(Rpc.SYSTEM_ERR, null);
    }

    /**
     * Answers the call when the stage completes: with its result, or with
     * SYSTEM_ERR when it completes exceptionally or with null (logged at
     * WARNING). The answer is given on the thread that completes the stage.
     *
     * @param stage the stage whose result answers the call
     * @throws NullPointerException when stage is null
     */
    public void replyWhen(CompletionStage<? extends XDT> stage) {
        stage.whenComplete((result, failure) -> {
            if (failure == null && result != null) {
                reply(result);
                return;
            }
            RuntimeLog.limited(RuntimeLog.logger("server"), System.Logger.Level.WARNING, "service-fault",
                    () -> CallDispatcher.describe(call.context) + ": the service's stage "
                            + (failure == null ? "gave null" : "failed") + "; answered SYSTEM_ERR",
                    failure);
            systemError();
        });
    }

    /**
     * Whether the call has been answered (by this handle or at the reply deadline).
     *
     * @return true once answered
     */
    public boolean isDone() {
        return call.done();
    }
}
