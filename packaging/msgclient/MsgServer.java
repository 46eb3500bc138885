// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/**
 * A test service for msgclient, on the classes vorlith writes from msg.x:
 * answers every message with the message itself.
 *
 *   java -cp /usr/share/java/kelvaro-zelt.jar:. MsgServer [seconds]
 *
 * Registers program 1234567 version 1 with the local portmapper (rpcbind
 * must run), prints "ready PORT", and after the given number of seconds
 * (default 60), or on SIGTERM or SIGINT, unregisters and stops.
 */
public class MsgServer extends MESSAGEPROG_svcb {
    public String SENDMSG(String in_arg) {
        return in_arg;
    }

    public static void main(String[] args) throws Exception {
        int seconds = args.length > 0 ? Integer.parseInt(args[0]) : 60;
        MsgServer server = new MsgServer();
        int port = server.start(0);
        Runtime.getRuntime().addShutdownHook(new Thread(server::stop));
        // Replaces a registration that a run which was killed left behind,
        // never one whose server still answers.
        if (!server.register()) {
            System.err.println("MsgServer: another server answers for the program, or the portmapper refused");
            System.exit(1);
        }
        System.out.println("ready " + port);
        Thread.sleep(seconds * 1000L);
        System.exit(0);
    }
}
