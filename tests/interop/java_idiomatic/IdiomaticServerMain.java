// SPDX-License-Identifier: Apache-2.0
import idi.*;
import java.util.List;
import kelvaro.ZELT.*;

/**
 * Both versions of INTEROP_PROG on the idiomatic output's service
 * interfaces, served by one RpcServer. Each method carries its argument
 * over to the default output's types (through its bytes) and lets
 * InteropServer check it against the test values and answer it, then
 * carries the answer back.
 *
 *   java IdiomaticServerMain LIFETIME_SECONDS
 */
public class IdiomaticServerMain {
    static final InteropServer V1 = new InteropServer();
    static final InteropServer2 V2 = new InteropServer2();
    static final XdrReader<List<Point>> PAIR = x -> x.dec_fixed_list(Point::decode, 2, "pointpair");
    static final XdrWriter<List<Point>> PAIR_OUT = (v, x) -> x.enc_fixed_list(v, Point::encode, 2, "pointpair");

    static <T, D extends XDT> D d(T value, XdrWriter<T> writer, D into) {
        return Bridge.toDefault(value, writer, into);
    }

    static <T> T i(XDT value, XdrReader<T> reader) {
        return Bridge.toIdiomatic(value, reader);
    }

    static final class Version1 implements InteropV1Service {
        public void ping(CallContext call) {
            if (call == null || !call.protocol().matches("tcp|udp"))
                InteropServer.fail("PING: no call context");
        }
        public int echoInt(int arg, CallContext call) { return V1.ECHO_INT(arg); }
        public int echoUint(int arg, CallContext call) { return V1.ECHO_UINT(arg); }
        public long echoHyper(long arg, CallContext call) { return V1.ECHO_HYPER(arg); }
        public long echoUhyper(long arg, CallContext call) { return V1.ECHO_UHYPER(arg); }
        public boolean echoBool(boolean arg, CallContext call) { return V1.ECHO_BOOL(arg); }
        public float echoFloat(float arg, CallContext call) { return V1.ECHO_FLOAT(arg); }
        public double echoDouble(double arg, CallContext call) { return V1.ECHO_DOUBLE(arg); }
        public String echoString(String arg, CallContext call) { return V1.ECHO_STRING(arg); }
        public Color echoColor(Color arg, CallContext call) {
            return i(V1.ECHO_COLOR(d(arg, Color::encode, new color())), Color::decode);
        }
        public int echoCounter(int arg, CallContext call) {
            return V1.ECHO_COUNTER(d(arg, (v, x) -> x.enc_int(v), new counter())).value;
        }
        public String echoLabel(String arg, CallContext call) {
            return V1.ECHO_LABEL(d(arg, (v, x) -> x.enc_String(v), new label())).value;
        }
        public Point echoPoint(Point arg, CallContext call) {
            return i(V1.ECHO_POINT(d(arg, Point::encode, new point())), Point::decode);
        }
        public Scalars echoScalars(Scalars arg, CallContext call) {
            return i(V1.ECHO_SCALARS(d(arg, Scalars::encode, new scalars())), Scalars::decode);
        }
        public Arrays echoArrays(Arrays arg, CallContext call) {
            return i(V1.ECHO_ARRAYS(d(arg, Arrays::encode, new arrays())), Arrays::decode);
        }
        public Optionals echoOptionals(Optionals arg, CallContext call) {
            return i(V1.ECHO_OPTIONALS(d(arg, Optionals::encode, new optionals())), Optionals::decode);
        }
        public Numval echoNumval(Numval arg, CallContext call) {
            return i(V1.ECHO_NUMVAL(d(arg, Numval::encode, new numval())), Numval::decode);
        }
        public Shape echoShape(Shape arg, CallContext call) {
            return i(V1.ECHO_SHAPE(d(arg, Shape::encode, new shape())), Shape::decode);
        }
        public Reply echoReply(Reply arg, CallContext call) {
            return i(V1.ECHO_REPLY(d(arg, Reply::encode, new reply())), Reply::decode);
        }
        public Tagged echoTagged(Tagged arg, CallContext call) {
            return i(V1.ECHO_TAGGED(d(arg, Tagged::encode, new tagged())), Tagged::decode);
        }
        public Node echoList(Node arg, CallContext call) {
            return i(V1.ECHO_LIST(d(arg, (v, x) -> x.enc_optional(v, Node::encode), new nodelist())),
                    x -> x.dec_optional(Node::decode));
        }
        public byte[] echoBlob(byte[] arg, CallContext call) {
            return V1.ECHO_BLOB(d(arg, (v, x) -> x.enc_bytes(v), new blob())).value;
        }
        public List<Point> echoPair(List<Point> arg, CallContext call) {
            return i(V1.ECHO_PAIR(d(arg, PAIR_OUT, new pointpair())), PAIR);
        }
        public List<Color> echoPalette(List<Color> arg, CallContext call) {
            return i(V1.ECHO_PALETTE(d(arg, (v, x) -> x.enc_list(v, Color::encode), new palette())),
                    x -> x.dec_list(Color::decode));
        }
        public Level echoLevel(Level arg, CallContext call) {
            return i(V1.ECHO_LEVEL(d(arg, Level::encode, new level())), Level::decode);
        }
        public void store(Point arg, CallContext call) { V1.STORE(d(arg, Point::encode, new point())); }
        public Point load(CallContext call) { return i(V1.LOAD(), Point::decode); }
        public void add(int arg, CallContext call) { V1.ADD(arg); }
        public long total(CallContext call) { return V1.TOTAL(); }
        public int area(List<Point> arg, CallContext call) { return V1.AREA(d(arg, PAIR_OUT, new pointpair())); }
        public Point originAt(int arg, CallContext call) { return i(V1.ORIGIN_AT(arg), Point::decode); }
        public String greet(String arg, CallContext call) {
            return V1.GREET(d(arg, (v, x) -> x.enc_String(v), new label()));
        }
        public int errors(CallContext call) { return V1.ERRORS(); }
        public Hued echoHued(Hued arg, CallContext call) {
            return i(V1.ECHO_HUED(d(arg, Hued::encode, new hued())), Hued::decode);
        }
        public Wide echoWide(Wide arg, CallContext call) {
            return i(V1.ECHO_WIDE(d(arg, Wide::encode, new wide())), Wide::decode);
        }
        public Mark echoMark(Mark arg, CallContext call) {
            return i(V1.ECHO_MARK(d(arg, Mark::encode, new mark())), Mark::decode);
        }
    }

    static final class Version2 implements InteropV2Service {
        public void nullproc(CallContext call) { V2.NULLPROC(); }
        public int version(CallContext call) { return V2.VERSION(); }
        public int nullcalls(CallContext call) { return V2.NULLCALLS(); }
        public int echoInt(int arg, CallContext call) { return V2.ECHO_INT(arg); }
        public Sized echoSized(Sized arg, CallContext call) { return arg; }
        public Sized sizedOf(int arg, CallContext call) {
            return i(V2.SIZED_OF(arg), x -> new Sized(x.dec_String(), x.dec_int_array(), x.dec_byte_fixed(4, "id")));
        }
    }

    public static void main(String[] args) throws Exception {
        int lifetime = Integer.parseInt(args[0]);
        RpcServer server = new RpcServer();
        server.add(new Version1().asSvc());
        server.add(new Version2().asSvc());
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            server.close();
            System.err.println("IdiomaticServerMain: stopped, " + InteropServer.errors() + " failed checks");
        }));
        server.start();
        server.unregister();
        if (!server.register()) {
            System.err.println("IdiomaticServerMain: the portmapper refused the registration");
            System.exit(2);
        }
        System.out.println("ready " + server.tcpPort());
        System.out.flush();
        Thread.sleep(lifetime * 1000L);
        System.exit(InteropServer.errors() == 0 ? 0 : 1);
    }
}
