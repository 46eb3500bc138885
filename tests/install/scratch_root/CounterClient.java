// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/**
 * The client of counter.x: for each protocol named on the command line,
 * asks the portmapper on 127.0.0.1 for the server's port (the generated
 * constructor with a host name does), makes each call and checks its
 * result. Prints one line per protocol; exit status 1 at the first wrong
 * result or failed call.
 */
public class CounterClient {
    public static void main(String[] args) {
        for (String proto : args) {
            try (COUNTER_PROG_cln c = new COUNTER_PROG_cln("127.0.0.1", proto)) {
                addargs a = new addargs();
                a.a = 40;
                a.b = 2;
                int sum = c.ADD(a);
                String who = c.WHO("client");
                c.RESET();
                String want = "client over " + proto;
                if (sum != 42 || !who.equals(want)) {
                    System.err.println("CounterClient: " + proto + ": ADD gave " + sum + ", WHO gave '" + who
                            + "', expected 42 and '" + want + "'");
                    System.exit(1);
                }
                System.out.println(proto + " port " + c.getClient().remoteAddress().getPort() + ": " + sum + ", " + who);
            } catch (rpc_err e) {
                System.err.println("CounterClient: " + proto + ": " + e.getMessage());
                System.exit(1);
            }
        }
    }
}
