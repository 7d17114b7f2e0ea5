#!/usr/bin/python3
"""Hostile clients against a real orqhprx, with nginx as the origin.

Usage: hostile_clients.py --engine PATH [--scan-server PATH] [--only NAME ...]

Starts nginx on a loopback port (two virtual hosts: the default one and
"blocked.test", which black.db blocks), a hostile origin (the GET road
tests' origin_server.py: answers with clashing lengths, without end, or
none at all), the stand-in scan server when one is given, and orqhprx (HTTP proxy, keep-alive allowed, a 10 s receive
time-out, the Remote-Host-Wp and X-Forwarded-For lines) with its own data
folder. Then it throws each case of CASES at
the engine, one connection each, and checks the answers. At the end: the
engine still runs, its output holds no sanitizer report, and its cache
folder holds no spool file.

A case is a row of CASES (see Case): raw bytes sent in pieces over a
socket, or a curl command line. Texts may name "{O}" (the origin's
host:port), "{H}" (the hostile origin's) and "{T}" (a tag of the case, put in the URL's query so that
the origin's access log tells the cases apart). Add a row to add a case;
a new kind of check is a field of Case and a few lines in check_case.

Every wait is bounded; the whole run ends within the alarm set in main.
Prints one line per case and "N passed, N failed" at the end; exits 1 when
a case failed.
"""
import argparse
import dataclasses
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

ENGINE_TIMEOUT_MS = 10000  # the engine's wait for a client's bytes (-t)
RUN_LIMIT_S = 280          # the whole run, start-up included

DEFAULT_PAGE = "DEFAULT-INDEX"
OK_PAGE = "OK-PAGE"
SECRET_PAGE = "SECRET-PAGE"
BLOCKED_VHOST_PAGE = "BLOCKED-VHOST"
ENGINE_PAGE = b"Server: VELQOR Server-HPROXY/"

BLACK_LIST = "' the secret page and the blocked virtual host\r\n*/secret*\r\nhttp://blocked.test*\r\n"


@dataclasses.dataclass
class Case:
    name: str
    # Raw cases: the pieces sent one after another (str, sent as latin-1).
    send: list = dataclasses.field(default_factory=list)
    # Curl cases: arguments after "curl -sS --max-time 10 -x <engine>".
    curl: list = None
    pause: float = 0.05          # between two pieces
    half_close: bool = True      # end sending after the last piece
    # The status codes of the answers, in order; None: not checked.
    statuses: list = None
    engine_page: bool = False    # the first answer is the engine's own page
    contains: list = dataclasses.field(default_factory=list)
    absent: list = dataclasses.field(default_factory=list)
    # The daily log shows this text (once the case is over).
    log: str = None
    # The access log shows a line that this pattern finds (once the case is over).
    access: str = None
    # The origin's access log ("request|host|content-length|transfer-encoding"
    # lines) must show / must not show these patterns (checked at the end).
    origin_seen: list = dataclasses.field(default_factory=list)
    origin_absent: list = dataclasses.field(default_factory=list)
    wait: float = 8.0            # bound on the wait for the engine's end of the connection
    # The client goes away after this many seconds of reading (the case
    # then counts as ended).
    leave: float = None


def tagged(path, tag):
    return path + ("&" if "?" in path else "?") + "c=" + tag


def smuggle_case():
    """A GET whose body holds what would be a second request.

    The client frames the body by Content-Length. Were the body read as the
    client's next request, the engine would rewrite it (origin form) and
    send it after a head that announced a body: the origin would take the
    rewritten request's first bytes as the body and run the request hidden
    behind them, for a page black.db blocks.
    """
    # The hidden request's start as the engine would send it, with the
    # lines that -u=12 adds.
    rewritten_prefix = ("GET /ok.html HTTP/1.1\r\nRemote-Host-Wp: 127.0.0.1\r\nX-Forwarded-For: 127.0.0.1\r\n"
                        "X-Pad: p\r\n")
    hidden = "GET http://{O}/ok.html HTTP/1.1\r\nX-Pad: p\r\nGET /secret.html HTTP/1.1\r\nHost: {O}\r\n\r\n"
    first = ("GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\nProxy-Connection: keep-alive\r\n"
             "Content-Length: %d\r\n\r\n" % len(rewritten_prefix))
    return Case("get-body-is-no-request", send=[first + hidden], contains=[OK_PAGE], absent=[SECRET_PAGE],
                origin_seen=[r"^GET /ok.html\?c={T} HTTP/1.1\|{O}\|%d\|" % len(rewritten_prefix)],
                origin_absent=[r"/secret"])


def keep_alive(url_line, extra=""):
    return url_line + "\r\nHost: {O}\r\nProxy-Connection: keep-alive\r\n" + extra


CASES = [
    # The road works for a plain request: the other cases mean something.
    Case("plain-get", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\n\r\n"], statuses=[200],
         contains=[OK_PAGE]),

    # Every method's body is framed by its Content-Length or its chunks.
    smuggle_case(),
    Case("blacklisted-page-stays-blocked", send=["GET http://{O}/secret.html HTTP/1.1\r\nHost: {O}\r\n\r\n"],
         statuses=[], absent=[SECRET_PAGE]),
    Case("get-length-body-then-next-request",
         send=[keep_alive("GET http://{O}/ok.html?c={T} HTTP/1.1", "Content-Length: 5\r\n\r\nhello")
               + keep_alive("GET http://{O}/ok.html?c={T}-2 HTTP/1.1", "\r\n")],
         statuses=[200, 200], origin_seen=[r"^GET /ok.html\?c={T} HTTP/1.1\|{O}\|5\|-\|",
                                           r"^GET /ok.html\?c={T}-2 HTTP/1.1\|{O}\|-\|-\|"]),
    Case("get-chunked-body-goes-on-as-its-data",
         send=[keep_alive("GET http://{O}/ok.html?c={T} HTTP/1.1", "Transfer-Encoding: chunked\r\n\r\n"),
               "5\r\nhello\r\n6;x=1\r\n world\r\n", "0\r\n\r\n" + keep_alive("GET http://{O}/ok.html?c={T}-2 HTTP/1.1", "\r\n")],
         statuses=[200, 200], origin_seen=[r"^GET /ok.html\?c={T} HTTP/1.1\|{O}\|11\|-\|",
                                           r"^GET /ok.html\?c={T}-2 HTTP/1.1\|"]),
    Case("length-and-chunked", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\nContent-Length: 5\r\n"
                                     "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n"],
         statuses=[400], engine_page=True, log="(both Content-Length and Transfer-Encoding)",
         access=r'"GET http://{O}/ok.html\?c={T} HTTP/1.1" 400 [1-9]', origin_absent=[r"c={T}"]),
    Case("lengths-differ", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\nContent-Length: 5\r\n"
                                 "Content-Length: 6\r\n\r\nhello!"],
         statuses=[400], engine_page=True, log="(Content-Length values that differ)", origin_absent=[r"c={T}"]),
    Case("blank-before-colon", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\n"
                                     "Transfer-Encoding : chunked\r\n\r\n0\r\n\r\n"],
         statuses=[400], engine_page=True, log="(a header name with a blank or a stray character)",
         origin_absent=[r"c={T}"]),

    # The server serves the host the lists judged.
    Case("host-line-of-a-blocked-vhost", curl=["-H", "Host: blocked.test", "http://{O}/?c={T}"],
         contains=[DEFAULT_PAGE], absent=[BLOCKED_VHOST_PAGE], origin_seen=[r"^GET /\?c={T} HTTP/1.1\|{O}\|"]),
    Case("host-line-added", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\n\r\n"], statuses=[200],
         contains=[OK_PAGE], origin_seen=[r"^GET /ok.html\?c={T} HTTP/1.1\|{O}\|"]),

    # Heads that are no heads are refused, not sent on.
    Case("nul-in-a-header", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\nX-A: a\0b\r\n\r\n"],
         statuses=[400], engine_page=True, log="(a NUL byte in the head)",
         access=r'"GET http://{O}/ok.html\?c={T} HTTP/1.1" 400 ', origin_absent=[r"c={T}"]),
    Case("nul-in-host", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: blocked.test\0.{O}\r\n\r\n"],
         statuses=[400], engine_page=True, origin_absent=[r"c={T}"]),
    Case("cr-only-line-ends", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\rHost: {O}\r\r"], half_close=False,
         statuses=[400], engine_page=True, log="(a CR without LF in the head)", origin_absent=[r"c={T}"]),
    Case("head-cut-by-half-close", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\n"],
         statuses=[400], engine_page=True, log="(a request cut short by the client's end of sending)",
         origin_absent=[r"c={T}"]),
    Case("head-that-stops-coming", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\n"], half_close=False,
         statuses=[408], engine_page=True, wait=ENGINE_TIMEOUT_MS / 1000 + 10,
         log="(a request that did not arrive whole in time)",
         access=r'"GET http://{O}/ok.html\?c={T} HTTP/1.1" 408 ', origin_absent=[r"c={T}"]),
    Case("ten-thousand-header-lines",
         send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\n" + "X-N: v\r\n" * 10000 + "\r\n"],
         statuses=[431], engine_page=True, log="(too many header lines)",
         access=r'"GET http://{O}/ok.html\?c={T} HTTP/1.1" 431 ', origin_absent=[r"c={T}"]),
    Case("one-mebibyte-head",
         send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\nX-Big: " + "a" * (1 << 20) + "\r\n\r\n"],
         statuses=[431], engine_page=True, log="(a head over its bound)", origin_absent=[r"c={T}"]),
    Case("head-that-never-ends",
         send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\nX-Endless: "] + ["a" * 16384] * 8,
         half_close=False, statuses=[431], engine_page=True, log="(a head over its bound)", origin_absent=[r"c={T}"]),
    Case("request-line-too-long", send=["GET http://{O}/" + "a" * 20000 + " HTTP/1.1\r\nHost: {O}\r\n\r\n"],
         statuses=[414], engine_page=True, log="(a request line too long)",
         access=r'"GET http://{O}/a{2000,2047}" 414 ', origin_absent=[r"aaaa"]),
    Case("coding-other-than-chunked", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\r\nHost: {O}\r\n"
                                            "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n"],
         statuses=[501], engine_page=True, log="(a transfer coding other than chunked)",
         access=r'"GET http://{O}/ok.html\?c={T} HTTP/1.1" 501 ', origin_absent=[r"c={T}"]),
    # The refused request's line is logged with its control bytes shown as "?".
    Case("control-bytes-in-a-refused-request", send=["GET http://{O}/ok.html?c={T}\x1b[2J\x07 HTTP/1.1\r\n"
                                                     "Host: {O}\r\nNo colon here\r\n\r\n"],
         statuses=[400], engine_page=True, log="(a header line without a colon)",
         access=r'"GET http://{O}/ok.html\?c={T}\?\[2J\? HTTP/1.1" 400 ', origin_absent=[r"c={T}"]),

    # A request line whose target can't be read is answered, not left
    # without a word.
    Case("get-without-a-version", send=["GET http://{O}/ok.html?c={T}\r\nHost: {O}\r\n\r\n"], half_close=False,
         statuses=[400], engine_page=True, access=r'"GET http://{O}/ok.html\?c={T}" 400 ', origin_absent=[r"c={T}"]),
    Case("lower-case-connect-without-a-version", send=["connect 127.0.0.1:1\r\n\r\n"], half_close=False,
         statuses=[400], engine_page=True, access=r'"connect 127.0.0.1:1" 400 '),
    Case("other-method-with-a-word-for-a-version", send=["PUT http://{O}/x?c={T} junk\r\nHost: {O}\r\n\r\n"],
         half_close=False, statuses=[400], engine_page=True, origin_absent=[r"c={T}"]),

    # Hostile servers: the client gets the proxy's answer, never a body
    # whose end it can't know, and never a wait without end.
    Case("response-lengths-differ", send=["GET http://{H}/twolengths/data-50 HTTP/1.1\r\nHost: {H}\r\n\r\n"],
         statuses=[502], engine_page=True, log="Content-Length lines disagree."),
    Case("response-chunked-beside-a-length", curl=["-i", "http://{H}/chunkedlength/data-5000"], statuses=[200],
         absent=["Content-Length"]),
    Case("response-never-comes", send=["GET http://{H}/silent/x HTTP/1.1\r\nHost: {H}\r\n\r\n"],
         statuses=[504], engine_page=True, wait=ENGINE_TIMEOUT_MS / 1000 + 5),
    Case("server-hangs-up", send=["GET http://{H}/hangup/x HTTP/1.1\r\nHost: {H}\r\n\r\n"],
         statuses=[502], engine_page=True),
    Case("response-head-never-ends", send=["GET http://{H}/noend/x HTTP/1.1\r\nHost: {H}\r\n\r\n"],
         contains=["X-Data: hello"]),
    # The engine stops receiving once the client has gone; its spool goes
    # (checked after the cases).
    Case("client-leaves-an-endless-download", send=["GET http://{H}/endless/x HTTP/1.1\r\nHost: {H}\r\n\r\n"],
         half_close=False, leave=2.0, contains=["HTTP/1.1 200 OK"]),

    # A bare LF LF ends the head at once, not at the receive time-out.
    Case("bare-lf-head", send=["GET http://{O}/ok.html?c={T} HTTP/1.1\nHost: {O}\n\n"], half_close=False,
         statuses=[200], contains=[OK_PAGE], wait=ENGINE_TIMEOUT_MS / 1000 - 4),
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, limit=15.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class Run:
    """The peers of one run: nginx, the scan server, orqhprx."""

    def __init__(self, args):
        self.dir = tempfile.mkdtemp(prefix="velqor-hostile-")
        os.chmod(self.dir, 0o755)
        self.processes = []
        self.pipes = self.path("pipes")
        os.makedirs(self.pipes)
        self.origin_port = free_port()
        self.origin = "127.0.0.1:%d" % self.origin_port
        try:
            self.start_nginx()
            self.start_hostile_origin(args.hostile_origin)
            if args.scan_server:
                self.start([args.scan_server], "scan-server")
                self.wait_output("scan-server", "orqavs-stub: serving")
            self.start_engine(args.engine)
        except BaseException:
            self.stop()
            raise

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def start(self, argv, name, env=None):
        """Starts a peer with its output in <name>.out and <name>.err."""
        environment = dict(os.environ, VELQOR_PIPE_DIR=self.pipes)
        environment.update(env or {})
        with open(self.path(name + ".out"), "wb") as out, open(self.path(name + ".err"), "wb") as err:
            process = subprocess.Popen(argv, stdout=out, stderr=err, stdin=subprocess.DEVNULL, env=environment)
        self.processes.append(process)
        return process

    def wait_output(self, name, text, limit=15.0):
        end = time.monotonic() + limit
        while time.monotonic() < end:
            if text in self.read(name + ".out"):
                return
            time.sleep(0.05)
        raise SystemExit("%s did not come up: %s" % (name, self.read(name + ".err")))

    def read(self, name):
        try:
            with open(self.path(name), "rb") as f:
                return f.read().decode("latin-1")
        except OSError:
            return ""

    def start_nginx(self):
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        if not os.path.exists(nginx):
            raise SystemExit("nginx is missing (scripts/deps.sh installs it)")
        for folder, pages in (("www", {"index.html": DEFAULT_PAGE, "ok.html": OK_PAGE, "secret.html": SECRET_PAGE}),
                              ("www-blocked", {"index.html": BLOCKED_VHOST_PAGE})):
            os.makedirs(self.path(folder))
            for name, text in pages.items():
                with open(self.path(folder, name), "w") as f:
                    f.write(text + "\n")
        os.makedirs(self.path("nginx"))
        conf = self.path("nginx", "nginx.conf")
        with open(conf, "w") as f:
            f.write("""
daemon off;
master_process off;
worker_processes 1;
pid {d}/nginx/nginx.pid;
error_log {d}/nginx/error.log;
events {{ worker_connections 256; }}
http {{
  log_format cases '$request|$http_host|$http_content_length|$http_transfer_encoding|';
  access_log {d}/nginx/access.log cases;
  client_body_temp_path {d}/nginx/body;
  proxy_temp_path {d}/nginx/proxy;
  fastcgi_temp_path {d}/nginx/fastcgi;
  uwsgi_temp_path {d}/nginx/uwsgi;
  scgi_temp_path {d}/nginx/scgi;
  server {{ listen 127.0.0.1:{p} default_server; server_name _; root {d}/www; }}
  server {{ listen 127.0.0.1:{p}; server_name blocked.test; root {d}/www-blocked; }}
}}
""".format(d=self.dir, p=self.origin_port))
        self.start([nginx, "-c", conf, "-p", self.path("nginx") + "/", "-e", self.path("nginx", "error.log")],
                   "nginx")
        if not wait_port(self.origin_port):
            raise SystemExit("nginx did not come up: " + self.read("nginx.err") + self.read("nginx/error.log"))

    def start_hostile_origin(self, script):
        self.start(["/usr/bin/python3", script, self.path("hostile-heads.log"), str(RUN_LIMIT_S + 20)],
                   "hostile-origin")
        self.wait_output("hostile-origin", "port ")
        port = re.search(r"port (\d+)", self.read("hostile-origin.out")).group(1)
        self.hostile = "127.0.0.1:" + port

    def start_engine(self, engine):
        root = self.path("root")
        self.data = os.path.join(root, "VELQOR")
        os.makedirs(os.path.join(self.data, "cache"))
        self.engine_port = free_port()
        with open(os.path.join(self.data, "http.ini"), "w", newline="") as f:
            f.write("127.0.0.1 %d=\r\n" % self.engine_port)
        with open(os.path.join(self.data, "black.db"), "w", newline="") as f:
            f.write(BLACK_LIST)
        self.engine = self.start([engine, "-e=VELQOR_HOSTILE_ROOT", "-p=0", "-f", "-v", "-g=1", "-!=0", "-u=12",
                                              "-t=5,%d" % ENGINE_TIMEOUT_MS], "engine",
                                 env={"VELQOR_HOSTILE_ROOT": root})
        if not wait_port(self.engine_port):
            raise SystemExit("orqhprx did not come up: " + self.read("engine.err"))

    def engine_log(self):
        return self.read("engine.err") + self.read("engine.out")

    def access_log(self):
        folder = os.path.join(self.data, "ncsalog")
        names = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        return "".join(self.read(os.path.join(folder, name)) for name in names)

    def spool_files(self):
        cache = os.path.join(self.data, "cache")
        return sorted(os.listdir(cache)) if os.path.isdir(cache) else []

    def stop(self):
        """Ends the peers and removes the run's folder; returns the engine's
        whole output, what it wrote while ending included."""
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=10)
        log = self.engine_log()
        shutil.rmtree(self.dir, ignore_errors=True)
        return log


def sanitizer_report(log):
    for report in ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer"):
        if report in log:
            at = log.index(report)
            return log[at:at + 3000]
    return None


def fill(text, run, tag):
    return text.replace("{O}", run.origin).replace("{H}", run.hostile).replace("{T}", tag)


def exchange_raw(run, case, tag):
    """Sends the pieces (from a thread, so a refusal can arrive while a
    large head is still going out) and reads until the engine ends the
    connection or the case's bound passes. Returns (reply, ended)."""
    connection = socket.create_connection(("127.0.0.1", run.engine_port), timeout=5)
    connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def sender():
        try:
            for i, piece in enumerate(case.send):
                if i:
                    time.sleep(case.pause)
                connection.sendall(fill(piece, run, tag).encode("latin-1"))
            if case.half_close:
                connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the engine may end the connection before everything went out

    thread = threading.Thread(target=sender, daemon=True)
    thread.start()
    reply = b""
    ended = False
    end = time.monotonic() + case.wait
    leave = time.monotonic() + case.leave if case.leave is not None else None
    while True:
        if leave is not None and time.monotonic() >= leave:
            ended = True
            break
        left = end - time.monotonic()
        if left <= 0:
            break
        connection.settimeout(left)
        try:
            data = connection.recv(65536)
        except socket.timeout:
            break
        except OSError:
            ended = True  # a reset ends it too
            break
        if not data:
            ended = True
            break
        if len(reply) < 1 << 20:  # an endless answer is not kept whole
            reply += data
    connection.close()
    thread.join(timeout=5)
    return reply, ended


def exchange_curl(run, case, tag):
    argv = ["curl", "-sS", "--max-time", "10", "-x", "http://127.0.0.1:%d" % run.engine_port]
    argv += [fill(a, run, tag) for a in case.curl]
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=20)
    return result.stdout, True


def statuses_of(reply):
    return [int(m.group(1)) for m in re.finditer(rb"(?:^|\r?\n)HTTP/1\.[01] (\d{3}) ", reply)]


def check_case(run, case, tag, reply, ended):
    problems = []
    if not ended:
        problems.append("the engine did not end the connection within %.0f s" % case.wait)
    if case.statuses is not None and statuses_of(reply) != case.statuses:
        problems.append("answers %s, expected %s" % (statuses_of(reply), case.statuses))
    if case.engine_page and ENGINE_PAGE not in reply.split(b"\r\n\r\n", 1)[0]:
        problems.append("the answer is not the engine's own page")
    for text in case.contains:
        if text.encode() not in reply:
            problems.append("no %r in the reply" % text)
    for text in case.absent:
        if text.encode() in reply:
            problems.append("%r in the reply" % text)
    if case.log and case.log not in run.engine_log():
        problems.append("no %r in the daily log" % case.log)
    if case.access and not re.search(fill(case.access, run, tag), run.access_log()):
        problems.append("no access log line like %s" % fill(case.access, run, tag))
    if problems:
        problems.append("reply: %r" % reply[:600])
    return problems


def check_origin(run, case, tag):
    seen = run.read("nginx/access.log")
    problems = []
    for pattern in case.origin_seen:
        if not re.search(fill(pattern, run, tag), seen, re.M):
            problems.append("the origin never saw %s" % fill(pattern, run, tag))
    for pattern in case.origin_absent:
        found = re.search(fill(pattern, run, tag), seen, re.M)
        if found:
            problems.append("the origin saw %r" % seen[max(0, found.start() - 60):found.end() + 60])
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", required=True)
    parser.add_argument("--scan-server")
    parser.add_argument("--hostile-origin", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                               "http", "tests", "origin_server.py"))
    parser.add_argument("--only", nargs="*", help="run only these cases")
    args = parser.parse_args()
    signal.signal(signal.SIGALRM, lambda *_: sys.exit("the run took longer than %d s" % RUN_LIMIT_S))
    signal.alarm(RUN_LIMIT_S)

    cases = [c for c in CASES if not args.only or c.name in args.only]
    run = Run(args)
    failures = {}
    after = {}  # failed checks after the cases
    try:
        for case in cases:
            tag = case.name
            if case.curl is not None:
                reply, ended = exchange_curl(run, case, tag)
            else:
                reply, ended = exchange_raw(run, case, tag)
            problems = check_case(run, case, tag, reply, ended)
            if problems:
                failures[case.name] = problems
            print("%s %s" % ("FAIL" if problems else "ok  ", case.name), flush=True)
        # The origin's log lines of every case have been written by now.
        for case in cases:
            problems = check_origin(run, case, case.name)
            if problems:
                failures.setdefault(case.name, []).extend(problems)
                print("FAIL %s (origin)" % case.name, flush=True)

        if run.engine.poll() is not None:
            after["engine"] = ["orqhprx ended (exit %s)" % run.engine.returncode]
        deadline = time.monotonic() + 10
        while run.spool_files() and time.monotonic() < deadline:
            time.sleep(0.1)
        if run.spool_files():
            after["spool"] = ["left in cache/: %s" % run.spool_files()]
    finally:
        log = run.stop()
    # A report may come while the engine ends (the leak check does).
    report = sanitizer_report(log)
    if report:
        after["sanitizer"] = [report]
    for name in after:
        print("FAIL after the cases: %s" % name, flush=True)
    failures.update(after)
    log_tail = log[-4000:]

    for name, problems in failures.items():
        print("\n== %s" % name)
        for problem in problems:
            print("   " + problem)
    if failures:
        print("\n== engine log (tail)\n" + log_tail)
    # A failed check after the cases counts as one more failure.
    print("%d passed, %d failed" % (len(cases) + len(after) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
