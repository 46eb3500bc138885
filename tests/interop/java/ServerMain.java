// SPDX-License-Identifier: Apache-2.0
/**
 * Serves both versions of INTEROP_PROG on 127.0.0.1 and registers them
 * with the portmapper.
 *
 *   java ServerMain [lifetime-seconds]
 *
 * Prints "ready <port1> <port2>" once both versions are registered. On
 * SIGTERM or SIGINT, or when the lifetime (default 50 s) is over, it
 * unregisters both versions and stops. Exit status after the lifetime:
 * 0 when no argument check failed, 1 otherwise; 2 when it cannot start.
 */
public class ServerMain {
    public static void main(String[] args) throws Exception {
        int lifetime = args.length > 0 ? Integer.parseInt(args[0]) : 50;
        InteropServer v1 = new InteropServer();
        InteropServer2 v2 = new InteropServer2();

        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            v1.stop();
            v2.stop();
            System.err.println("ServerMain: stopped, " + InteropServer.errors() + " failed checks");
        }));

        int port1 = v1.start(0);
        int port2 = v2.start(0);
        // register() replaces a registration that an earlier, killed run left
        // behind, but not one whose server still answers.
        if (!v1.register() || !v2.register()) {
            System.err.println("ServerMain: another server answers for the program, or the portmapper refused");
            System.exit(2);
        }
        System.out.println("ready " + port1 + " " + port2);
        System.out.flush();

        Thread.sleep(lifetime * 1000L);
        System.err.println("ServerMain: lifetime over, stopping");
        System.exit(InteropServer.errors() == 0 ? 0 : 1);
    }
}
