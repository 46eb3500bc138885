// SPDX-License-Identifier: Apache-2.0
// A message service for testing msgclient: program 1234567, version 1 over
// TCP, listening on 127.0.0.1 only and registered with the local rpcbind.
//
//   msg_service MODE [--answer N] [--stats FILE] [--lifetime SECONDS]
//
// Procedure 0 always answers. Procedure 2 takes one string and, by MODE:
//   echo   answers with its argument;
//   empty  answers with the empty string;
//   fail   answers the first N calls (--answer, default 0) with their
//          argument, then fails every further call with a system error.
// Any other procedure gets "procedure unavailable".
//
// The service removes a stale registration of the program before it registers
// itself, and removes its own registration when it ends: on SIGTERM, SIGINT or
// SIGHUP, or by itself after --lifetime seconds (default 120), so that a test
// killed before it could stop the service still leaves nothing behind.
// --stats FILE writes, when the service ends, how many procedure 2 calls came
// in, from how many distinct peer addresses, and how many of them carried
// an argument other than "hello".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <rpc/rpc.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr rpcprog_t service_program = 1234567;
constexpr rpcvers_t service_version = 1;
constexpr rpcproc_t send_procedure = 2;

enum class Mode { Echo, Empty, Fail };

struct ServiceState {
    Mode mode = Mode::Echo;
    long answer_limit = 0;
    long calls = 0;
    long other_args = 0;
    std::set<std::string> peers;
};

ServiceState state;

volatile sig_atomic_t stop_requested = 0;

extern "C" void request_stop(int)
{
    stop_requested = 1;
}

xdrproc_t wrapstring_proc()
{
    return reinterpret_cast<xdrproc_t>(xdr_wrapstring);
}

void answer_send(SVCXPRT *xprt)
{
    char *argument = nullptr;
    if (!svc_getargs(xprt, wrapstring_proc(), reinterpret_cast<caddr_t>(&argument))) {
        svcerr_decode(xprt);
        return;
    }

    state.calls++;
    if (std::string_view(argument) != "hello")
        state.other_args++;
    const netbuf *caller = svc_getrpccaller(xprt);
    state.peers.emplace(static_cast<const char *>(caller->buf), caller->len);

    std::string empty;
    char *empty_text = empty.data();
    switch (state.mode) {
    case Mode::Echo:
        svc_sendreply(xprt, wrapstring_proc(), &argument);
        break;
    case Mode::Empty:
        svc_sendreply(xprt, wrapstring_proc(), &empty_text);
        break;
    case Mode::Fail:
        if (state.calls <= state.answer_limit)
            svc_sendreply(xprt, wrapstring_proc(), &argument);
        else
            svcerr_systemerr(xprt);
        break;
    }

    svc_freeargs(xprt, wrapstring_proc(), reinterpret_cast<caddr_t>(&argument));
}

void dispatch(svc_req *request, SVCXPRT *xprt)
{
    switch (request->rq_proc) {
    case NULLPROC:
        // xdr_void takes no parameters; the detour through void (*)() is
        // the compiler's accepted way to cast between function types.
        svc_sendreply(xprt, reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_void)),
                      nullptr);
        break;
    case send_procedure:
        answer_send(xprt);
        break;
    default:
        svcerr_noproc(xprt);
        break;
    }
}

int usage()
{
    std::fputs("usage: msg_service echo|empty|fail [--answer N] [--stats FILE] [--lifetime SECONDS]\n",
               stderr);
    return 2;
}

bool parse_count(const char *text, long &value)
{
    char *end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

// Listening TCP socket on 127.0.0.1 with a port the system picks.
int open_loopback_listener()
{
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) {
        std::perror("msg_service: socket");
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(sock, 16) != 0) {
        std::perror("msg_service: bind/listen on 127.0.0.1");
        close(sock);
        return -1;
    }
    return sock;
}

void install_stop_handlers()
{
    struct sigaction action{};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll returns at once with EINTR
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal_number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN); // a client that hangs up must not end the service
}

// Serves requests until a stop signal or the deadline.
void serve_until(std::chrono::steady_clock::time_point deadline)
{
    while (!stop_requested && std::chrono::steady_clock::now() < deadline) {
        // The library may change its descriptor table while it handles
        // requests, so poll a copy, as its own loop does.
        std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
        int ready = poll(fds.data(), fds.size(), 200);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("msg_service: poll");
            return;
        }
        if (ready > 0)
            svc_getreq_poll(fds.data(), ready);
    }
}

bool write_stats(const std::string &path)
{
    std::ofstream out(path);
    out << "calls " << state.calls << '\n'
        << "peers " << state.peers.size() << '\n'
        << "other_args " << state.other_args << '\n';
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return usage();
    const std::string_view mode = argv[1];
    if (mode == "echo")
        state.mode = Mode::Echo;
    else if (mode == "empty")
        state.mode = Mode::Empty;
    else if (mode == "fail")
        state.mode = Mode::Fail;
    else
        return usage();

    std::string stats_path;
    long lifetime = 120;
    for (int i = 2; i < argc; i++) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc)
            return usage();
        const char *value = argv[++i];
        if (option == "--answer") {
            if (!parse_count(value, state.answer_limit))
                return usage();
        } else if (option == "--lifetime") {
            if (!parse_count(value, lifetime) || lifetime == 0)
                return usage();
        } else if (option == "--stats") {
            stats_path = value;
        } else {
            return usage();
        }
    }

    install_stop_handlers();

    int sock = open_loopback_listener();
    if (sock < 0)
        return 1;
    SVCXPRT *xprt = svc_vc_create(sock, 0, 0);
    if (xprt == nullptr) {
        std::fputs("msg_service: cannot create the TCP transport\n", stderr);
        close(sock);
        return 1;
    }
    netconfig *tcp = getnetconfigent("tcp");
    if (tcp == nullptr) {
        std::fputs("msg_service: no netconfig entry \"tcp\"\n", stderr);
        svc_destroy(xprt);
        return 1;
    }

    // A service that was killed outright leaves its registration behind;
    // that one would make ours fail.
    rpcb_unset(service_program, service_version, nullptr);

    // Registers the dispatcher and tells rpcbind the listener's address,
    // 127.0.0.1 and its port, under the netid "tcp".
    int status = 0;
    if (svc_reg(xprt, service_program, service_version, dispatch, tcp)) {
        serve_until(std::chrono::steady_clock::now() + std::chrono::seconds(lifetime));
        svc_unreg(service_program, service_version);
    } else {
        std::fputs("msg_service: cannot register program 1234567 version 1 with rpcbind\n", stderr);
        status = 1;
    }

    svc_destroy(xprt);
    freenetconfigent(tcp);
    if (!stats_path.empty() && !write_stats(stats_path)) {
        std::fprintf(stderr, "msg_service: cannot write %s\n", stats_path.c_str());
        status = 1;
    }
    return status;
}
