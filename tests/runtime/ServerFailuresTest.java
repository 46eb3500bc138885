// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.net.Socket;
import java.util.ArrayList;
import java.util.List;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;

/**
 * Failures that show: a service that throws and one that returns null
 * where a result is due are answered with SYSTEM_ERR and logged once each
 * with program, version, procedure, caller and stack trace; a procedure
 * that does not exist is still PROC_UNAVAIL and logs nothing; the counters
 * say what happened.
 */
class ServerFailuresTest {
    static final int PROG = GEOPROG._def_pno;

    /** The geo service, but ECHO of a polygon named "null" returns null. */
    static final class NullEcho extends GeoService {
        @Override
        public polygon ECHO(polygon p) {
            return "null".equals(p.name) ? null : p;
        }
    }

    /** Keeps the records of the runtime's loggers. */
    static final class Catcher extends Handler {
        final List<LogRecord> records = new ArrayList<>();

        @Override
        public synchronized void publish(LogRecord r) {
            records.add(r);
        }

        synchronized List<LogRecord> at_least(Level level) {
            List<LogRecord> l = new ArrayList<>();
            for (LogRecord r : records)
                if (r.getLevel().intValue() >= level.intValue())
                    l.add(r);
            return l;
        }

        @Override
        public void flush() {
        }

        @Override
        public void close() {
        }
    }

    static String text(LogRecord r) {
        return r.getParameters() == null ? r.getMessage()
                : java.text.MessageFormat.format(r.getMessage(), r.getParameters());
    }

    @Test
    void a_throwing_or_null_service_gives_system_err_and_one_log_record_each() throws Exception {
        Logger runtime = Logger.getLogger("kelvaro.ZELT");
        Catcher catcher = new Catcher();
        runtime.addHandler(catcher);
        runtime.setUseParentHandlers(false); // keep the expected stack traces out of the test's output
        try (RpcServer server = new RpcServer(new ServerSettings().address(Wire.LOOPBACK))) {
            server.add(new NullEcho());
            server.start();
            try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
                rpc_err thrown = assertThrows(rpc_err.class, c::FAIL);
                assertEquals(RpcStatus.SYSTEM_ERROR, thrown.status(), thrown.getMessage());
                rpc_err none = assertThrows(rpc_err.class, () -> c.ECHO(Wire.polygon("null")));
                assertEquals(RpcStatus.SYSTEM_ERROR, none.status(), none.getMessage());
                assertEquals("n1", c.NAME(1), "the connection still serves");
            }
            // A procedure the program does not have: PROC_UNAVAIL, nothing logged.
            try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
                s.setSoTimeout(5000);
                assertEquals(Wire.show(Wire.hex(Wire.accepted(9) + "00000003")),
                        Wire.show(Wire.exchange(s, Wire.hex(Wire.call(9, PROG, 1, 77)))));
            }
            List<LogRecord> warnings = catcher.at_least(Level.WARNING);
            assertEquals(2, warnings.size(), () -> warnings.stream().map(ServerFailuresTest::text).toList().toString());
            LogRecord fail = warnings.get(0), nul = warnings.get(1);
            String where = "program " + Integer.toUnsignedString(PROG) + " version 1 procedure ";
            assertTrue(text(fail).startsWith(where + GEOPROG._FAIL_proc + " from /127.0.0.1:"), text(fail));
            assertTrue(text(fail).contains("threw"), text(fail));
            assertNotNull(fail.getThrown(), "the stack trace");
            assertEquals("service fault", fail.getThrown().getMessage());
            assertTrue(text(nul).startsWith(where + GEOPROG._ECHO_proc + " from /127.0.0.1:"), text(nul));
            assertTrue(text(nul).contains("returned null"), text(nul));
            assertEquals("kelvaro.ZELT.server", fail.getLoggerName());

            ServerStats st = server.stats();
            assertEquals(2, st.systemErr(), st.toString());
            assertEquals(1, st.procUnavail(), st.toString());
            assertEquals(1, st.success(), st.toString());
            assertEquals(4, st.calls(), st.toString());
            assertEquals(2, st.connectionsAccepted(), st.toString());
            assertTrue(st.bytesIn() > 0 && st.bytesOut() > 0, st.toString());
        } finally {
            runtime.removeHandler(catcher);
            runtime.setUseParentHandlers(true);
        }
    }

    @Test
    void limits_reached_are_logged_at_debug_and_rate_limited() throws Exception {
        Logger runtime = Logger.getLogger("kelvaro.ZELT");
        Catcher catcher = new Catcher();
        Level before = runtime.getLevel();
        runtime.addHandler(catcher);
        runtime.setLevel(Level.ALL);
        runtime.setUseParentHandlers(false);
        try (RpcServer server = new RpcServer(new ServerSettings().address(Wire.LOOPBACK).recordLimit(1000))) {
            server.add(new GeoService());
            server.start();
            // 30 connections that announce a record over the limit: each closed, 10 logged, the rest counted.
            for (int i = 0; i < 30; i++) {
                try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
                    s.getOutputStream().write(Wire.hex("80100000"));
                    assertTrue(TransportTest.closed_by_server(s, 3000));
                }
            }
            long deadline = System.nanoTime() + 3_000_000_000L;
            while (server.stats().connectionsClosedForFaults() < 30 && System.nanoTime() < deadline)
                Thread.sleep(10);
            assertEquals(30, server.stats().connectionsClosedForFaults());
            List<LogRecord> limit = new ArrayList<>();
            for (LogRecord r : catcher.at_least(Level.ALL))
                if (text(r).contains("over the limit of 1000"))
                    limit.add(r);
            assertEquals(10, limit.size(), "a burst of ten, then silence for the window");
            assertTrue(limit.get(0).getLevel().intValue() < Level.INFO.intValue(), "below INFO: off by default");
        } finally {
            runtime.removeHandler(catcher);
            runtime.setLevel(before);
            runtime.setUseParentHandlers(true);
        }
    }
}
