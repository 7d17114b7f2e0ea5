"""The SMTP server the tests deliver to, on loopback (smtp_peer.h starts it).

usage: smtp_peer.py --out FOLDER [options]
  --port N             listen on N (default: a free port of its own)
  --host ADDRESS       listen on ADDRESS (default 127.0.0.1; ::1 for IPv6)
An aiosmtpd server by default. Every accepted mail is written to
FOLDER/mail-<n>.eml as it arrived, then its envelope to FOLDER/mail-<n>.env
("FROM <sender>", one "TO <recipient>" a recipient, and "AUTH <user>
<password>" after a login), and a line "DATA-ACCEPTED <recipients>[ over
TLS]" is appended to FOLDER/commands.log. Its options:
  --tls starttls|implicit --cert PEM --key PEM
                       takes mail only after STARTTLS, or speaks TLS from
                       the connection's start
  --auth USER:PASSWORD offers AUTH (LOGIN and PLAIN), takes only AUTH PLAIN
                       with these, and mail only after it; without it no
                       mechanism is offered
  --refuse-from ADDR   MAIL from ADDR is refused with 550 (repeatable)
  --refuse-rcpt ADDR   RCPT to ADDR is refused with 550 (repeatable)
  --forward-rcpt ADDR  RCPT to ADDR is taken with 251, will forward
                       (repeatable)
  --refuse-ehlo        EHLO is answered 502, so the client falls back to HELO
  --long-ehlo          an EHLO answer of several kilobytes
--script NAME instead starts a scripted server that appends every command
line it reads to FOLDER/commands.log:
  split-ehlo   the EHLO answer comes in two writes (broken inside a line)
               and offers PIPELINING, CHUNKING and STARTTLS; a mail is
               accepted
  refuse-data  sender and recipients accepted, DATA refused with 554
  flood-lines  a greeting of 8 MiB of "220-" lines that never ends, then
               silence
  flood-bytes  a greeting "220 " and 8 MiB without a line end, then silence
Prints "port <n>" once it listens. Ends when killed, after 600 s at the
latest.
"""
import argparse
import os
import socket
import ssl
import threading
import time

LIFETIME = 600

ap = argparse.ArgumentParser()
ap.add_argument("--out", required=True)
ap.add_argument("--port", type=int, default=0)
ap.add_argument("--host", default="127.0.0.1")
ap.add_argument("--tls", choices=["starttls", "implicit"])
ap.add_argument("--cert")
ap.add_argument("--key")
ap.add_argument("--auth")
ap.add_argument("--refuse-from", action="append", default=[])
ap.add_argument("--refuse-rcpt", action="append", default=[])
ap.add_argument("--forward-rcpt", action="append", default=[])
ap.add_argument("--refuse-ehlo", action="store_true")
ap.add_argument("--long-ehlo", action="store_true")
ap.add_argument("--script", choices=["split-ehlo", "refuse-data", "flood-lines", "flood-bytes"])
args = ap.parse_args()
log_path = os.path.join(args.out, "commands.log")
family = socket.AF_INET6 if ":" in args.host else socket.AF_INET


def record(line):
    with open(log_path, "ab") as f:
        f.write(line)


def write_whole(path, data):
    # Whole or not at all: tests wait for the file, then read it.
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.rename(path + ".part", path)


def run_aiosmtpd():
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

    class Handler:
        count = 0

        async def handle_EHLO(self, server, session, envelope, hostname, responses):
            session.host_name = hostname
            if not args.auth:
                responses = [r for r in responses if not r.startswith("250-AUTH")]
            if args.long_ehlo:
                filler = ["250-X-FILLER-%03d %s" % (i, "x" * 60) for i in range(60)]
                responses = [responses[0]] + filler + responses[1:]
            return responses

        async def handle_MAIL(self, server, session, envelope, address, options):
            if address in args.refuse_from:
                return "550 sender refused"
            envelope.mail_from = address
            envelope.mail_options.extend(options)
            return "250 OK"

        async def handle_RCPT(self, server, session, envelope, address, options):
            if address in args.refuse_rcpt:
                return "550 no such user"
            envelope.rcpt_tos.append(address)
            if address in args.forward_rcpt:
                return "251 User not local; will forward"
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            Handler.count += 1
            base = os.path.join(args.out, "mail-%d" % Handler.count)
            write_whole(base + ".eml", envelope.original_content)
            lines = ["FROM %s\n" % envelope.mail_from] + ["TO %s\n" % r for r in envelope.rcpt_tos]
            login = getattr(session, "auth_data", None)
            if isinstance(login, LoginPassword):
                lines.append("AUTH %s %s\n" % (login.login.decode(), login.password.decode()))
            write_whole(base + ".env", "".join(lines).encode())
            over = b" over TLS" if session.ssl else b""
            record(b"DATA-ACCEPTED " + ",".join(envelope.rcpt_tos).encode() + over + b"\r\n")
            return "250 OK queued"

    def authenticator(server, session, envelope, mechanism, auth_data):
        user, password = args.auth.split(":", 1)
        ok = (mechanism == "PLAIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == user and auth_data.password.decode() == password)
        return AuthResult(success=ok, auth_data=auth_data if ok else None)

    class Server(SMTP):
        async def smtp_EHLO(self, hostname):
            if args.refuse_ehlo:
                await self.push("502 5.5.2 EHLO not here")
                return
            await super().smtp_EHLO(hostname)

    class PeerController(Controller):
        def factory(self):
            return Server(self.handler, **self.SMTP_kwargs)

    options = {"auth_require_tls": False}
    if args.auth:
        options.update(authenticator=authenticator, auth_required=True)
    else:
        options["auth_exclude_mechanism"] = ["LOGIN", "PLAIN"]
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        if args.tls == "starttls":
            options.update(tls_context=context, require_starttls=True)
        else:
            options["ssl_context"] = context
    port = args.port
    if port == 0:
        # aiosmtpd must be told its port before it listens.
        probe = socket.socket(family)
        probe.bind((args.host, 0))
        port = probe.getsockname()[1]
        probe.close()
    controller = PeerController(Handler(), hostname=args.host, port=port, **options)
    controller.start()
    print("port %d" % port, flush=True)
    try:
        time.sleep(LIFETIME)
    finally:
        controller.stop()


FLOODS = {"flood-lines": b"220-" + b"x" * 58 + b"\r\n", "flood-bytes": b"A" * 64}


def serve_flood(conn):
    piece = FLOODS[args.script]
    if args.script == "flood-bytes":
        conn.sendall(b"220 ")
    block = piece * (65536 // len(piece))
    try:
        for _ in range(128):
            conn.sendall(block)
        # Silent until the other end goes.
        conn.recv(1)
    except OSError:
        pass


def serve_scripted(conn):
    if args.script in FLOODS:
        return serve_flood(conn)
    reader = conn.makefile("rb")
    conn.sendall(b"220 scripted ESMTP\r\n")
    in_data = False
    while True:
        line = reader.readline()
        if not line:
            return
        record(line)
        if in_data:
            if line == b".\r\n":
                in_data = False
                conn.sendall(b"250 2.0.0 queued\r\n")
            continue
        word = line[:4].upper()
        if word == b"EHLO":
            conn.sendall(b"250-scripted greets you\r\n250-PIPELI")
            time.sleep(0.3)
            conn.sendall(b"NING\r\n250-CHUNKING\r\n250-STARTTLS\r\n250 8BITMIME\r\n")
        elif word == b"DATA":
            if args.script == "refuse-data":
                conn.sendall(b"554 5.5.1 no valid recipients\r\n")
            else:
                in_data = True
                conn.sendall(b"354 go ahead\r\n")
        elif word == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            return
        else:
            conn.sendall(b"250 ok\r\n")


def run_scripted():
    server = socket.socket(family)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((args.host, args.port))
    server.listen(8)
    print("port %d" % server.getsockname()[1], flush=True)
    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        server.settimeout(max(deadline - time.monotonic(), 0.1))
        try:
            conn, _ = server.accept()
        except socket.timeout:
            break
        conn.settimeout(30)
        threading.Thread(target=lambda c=conn: (serve_scripted(c), c.close()), daemon=True).start()


if args.script:
    run_scripted()
else:
    run_aiosmtpd()
