// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/**
 * The server of counter.x: serves TCP and UDP on one free port, registers
 * with the local portmapper, prints "ready PORT", and on SIGTERM, SIGINT
 * or after the given seconds (default 120) unregisters and stops.
 */
public class CounterServer extends COUNTER_PROG_svcb {
    public int ADD(addargs in_arg) {
        return in_arg.a + in_arg.b;
    }

    /** The caller's name back, with the protocol the call came over. */
    public String WHO(String in_arg) {
        return in_arg + " over " + Svc.currentCall().protocol();
    }

    public void RESET() {
    }

    public static void main(String[] args) throws Exception {
        int seconds = args.length > 0 ? Integer.parseInt(args[0]) : 120;
        CounterServer server = new CounterServer();
        int port = server.start(0);
        Runtime.getRuntime().addShutdownHook(new Thread(server::stop));
        // Replaces a registration that a run which was killed left behind,
        // never one whose server still answers.
        if (!server.register()) {
            System.err.println("CounterServer: another server answers for the program, or the portmapper refused");
            System.exit(1);
        }
        System.out.println("ready " + port);
        Thread.sleep(seconds * 1000L);
        System.exit(0);
    }
}
