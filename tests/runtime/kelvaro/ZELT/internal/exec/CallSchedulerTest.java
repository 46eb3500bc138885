// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.exec;

import static org.junit.jupiter.api.Assertions.*;

import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;

/** The order calls run in and which UDP datagram is shed when the queue is full. */
class CallSchedulerTest {
    private final List<String> ran = new CopyOnWriteArrayList<>();
    private final List<String> dropped = new CopyOnWriteArrayList<>();

    private CallScheduler.Task task(String name) {
        return new CallScheduler.Task() {
            @Override
            public void run() {
                ran.add(name);
            }

            @Override
            public void drop() {
                dropped.add(name);
            }
        };
    }

    @Test
    void a_full_udp_queue_sheds_from_the_longest_port_of_the_busiest_address() throws Exception {
        CallScheduler s = new CallScheduler("test", 1, 0, TimeUnit.SECONDS.toNanos(10));
        CountDownLatch started = new CountDownLatch(1), release = new CountDownLatch(1);
        try {
            // The one thread is held, so everything after this queues.
            assertTrue(s.submit_udp("h0", 1, new CallScheduler.Task() {
                @Override
                public void run() {
                    started.countDown();
                    try {
                        release.await(10, TimeUnit.SECONDS);
                    } catch (InterruptedException e) {
                        Thread.currentThread().interrupt();
                    }
                }

                @Override
                public void drop() {
                }
            }, 3));
            assertTrue(started.await(10, TimeUnit.SECONDS));
            for (String n : new String[] {"a1", "a2", "a3"})
                assertTrue(s.submit_udp("h1", 10, task(n), 3));
            // Another port of the same host gets in: port 10 holds more than port 20 would.
            assertTrue(s.submit_udp("h1", 20, task("b1"), 3));
            assertEquals(List.of("a1"), dropped);
            // Port 20 would then hold as many as port 10: the new datagram is the one shed.
            assertFalse(s.submit_udp("h1", 20, task("b2"), 3));
            // Another host takes the place of the busiest host's oldest datagram of its longest port.
            assertTrue(s.submit_udp("h2", 30, task("c1"), 3));
            assertEquals(List.of("a1", "a2"), dropped);
            release.countDown();
            long until = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
            while (ran.size() < 3 && System.nanoTime() < until)
                Thread.sleep(10);
            // Hosts in turn, and within a host its ports in turn.
            assertEquals(List.of("a3", "c1", "b1"), ran);
            assertEquals(0, s.queued());
        } finally {
            release.countDown();
            s.close(1000);
        }
    }
}
