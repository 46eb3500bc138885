// SPDX-License-Identifier: Apache-2.0
import java.net.InetAddress;

/**
 * The end of `make demo`: serves GEOPROG (examples/geo.x) in this process
 * through the generated server class, then calls it over TCP at the
 * loopback address through the generated client class.
 */
public class GeoDemo {
    /** The service: implements the abstract methods of the generated server class. */
    static class GeoServer extends GEOPROG_svcb {
        public void GEO_NULL() {
        }

        /** The length of the line, walking along the axes. */
        public int GEO_DISTANCE(polyline line) {
            int length = 0;
            for (int i = 1; i < line.value.length; i++) {
                length += Math.abs(line.value[i].x - line.value[i - 1].x)
                        + Math.abs(line.value[i].y - line.value[i - 1].y);
            }
            return length;
        }

        public shape_result GEO_LOOKUP(String label) {
            shape_result result = new shape_result();
            result.status = 1;
            result.reason = "no shape is labelled \"" + label + "\"";
            return result;
        }
    }

    static point point(int x, int y) {
        point p = new point();
        p.x = x;
        p.y = y;
        return p;
    }

    public static void main(String[] args) throws Exception {
        GeoServer server = new GeoServer();
        int port = server.start(0);
        try (GEOPROG_cln client = new GEOPROG_cln(InetAddress.getLoopbackAddress(),
                GEOPROG._def_pno, GEOPROG._def_vno, port, "tcp")) {
            polyline line = new polyline();
            line.value = new point[] {point(0, 0), point(3, 4), point(6, 0)};
            System.out.println("server: GEOPROG version " + GEOPROG._def_vno + " serving on TCP port " + port);
            System.out.println("client: calls 127.0.0.1 port " + port + ": GEO_DISTANCE((0,0) (3,4) (6,0)) = " + client.GEO_DISTANCE(line));
            shape_result found = client.GEO_LOOKUP("circle");
            System.out.println("client: GEO_LOOKUP(\"circle\") = status " + found.status + ", " + found.reason);
        } finally {
            server.stop();
        }
    }
}
