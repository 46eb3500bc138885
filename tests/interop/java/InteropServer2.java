// SPDX-License-Identifier: Apache-2.0
/**
 * Version 2 of INTEROP_PROG on the generated server class. Its procedure
 * 0 is one of the interface's own (NULLPROC), so the class must dispatch
 * it to the method here; NULLCALLS tells how often that happened.
 */
public class InteropServer2 extends interop_prog_2_svcb {
    private int nullcalls;

    public void NULLPROC() {
        nullcalls++;
    }

    public int VERSION() {
        return _def_vno;
    }

    public int NULLCALLS() {
        return nullcalls;
    }

    public int ECHO_INT(int in_arg) {
        return InteropServer.expect("version 2 ECHO_INT", Values.INTS, in_arg);
    }

    public sized ECHO_SIZED(sized in_arg) {
        return in_arg;
    }

    /** A name of n bytes: over NAMEMAX it breaks the result's contract, which the server must refuse to send. */
    public sized SIZED_OF(int n) {
        sized s = new sized();
        s.name = "n".repeat(Math.max(0, Math.min(n, 64)));
        s.nums = new int[] {1, 2};
        s.id = new byte[] {'a', 'b', 'c', 'd'};
        return s;
    }
}
