"""SMTP servers for the mail relay tests, on a loopback port of their own.

usage: smtp_peer.py MODE FOLDER [CERT KEY]
  sink         an aiosmtpd server: every accepted mail is written to
               FOLDER/mail-<n>.eml as it arrived; a recipient whose local
               part begins "bad" is refused with 550, one that begins
               "far" taken with 251 (will forward)
  tls-sink     the sink, which takes mail only after STARTTLS (with the
               PEM certificate and key CERT and KEY)
  smtps-sink   the sink speaking TLS from the connection's start
  split-ehlo   a scripted server whose EHLO answer comes in two writes
               (broken inside a line), which offers PIPELINING, CHUNKING
               and STARTTLS, and otherwise accepts a mail
  refuse-data  a scripted server that accepts sender and recipients and
               refuses DATA with 554
  flood-lines  a greeting of 8 MiB of "220-" lines that never ends, then
               silence
  flood-bytes  a greeting "220 " and 8 MiB without a line end, then silence
Prints "port <n>" once it listens. Every command it reads is appended to
FOLDER/commands.log. Ends after 60 s at the latest.
"""
import os
import socket
import sys
import threading
import time

mode, folder = sys.argv[1], sys.argv[2]
log_path = os.path.join(folder, "commands.log")


def record(line):
    with open(log_path, "ab") as f:
        f.write(line)


def run_sink():
    from aiosmtpd.controller import Controller

    class Handler:
        count = 0

        async def handle_RCPT(self, server, session, envelope, address, options):
            if address.startswith("bad"):
                return "550 no such user"
            envelope.rcpt_tos.append(address)
            if address.startswith("far"):
                return "251 User not local; will forward"
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            Handler.count += 1
            path = os.path.join(folder, "mail-%d.eml" % Handler.count)
            with open(path + ".part", "wb") as f:
                f.write(envelope.original_content)
            os.rename(path + ".part", path)
            over = b" over TLS" if session.ssl else b""
            record(b"DATA-ACCEPTED " + ",".join(envelope.rcpt_tos).encode() + over + b"\r\n")
            return "250 OK queued"

    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    options = {}
    if mode != "sink":
        import ssl
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        if mode == "tls-sink":
            options = {"tls_context": context, "require_starttls": True}
        else:
            options = {"ssl_context": context}
    controller = Controller(Handler(), hostname="127.0.0.1", port=port, **options)
    controller.start()
    print("port %d" % port, flush=True)
    time.sleep(60)
    controller.stop()


FLOODS = {"flood-lines": b"220-" + b"x" * 58 + b"\r\n", "flood-bytes": b"A" * 64}


def serve_flood(conn):
    piece = FLOODS[mode]
    if mode == "flood-bytes":
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
    if mode in FLOODS:
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
            if mode == "refuse-data":
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
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    server.settimeout(60)
    print("port %d" % server.getsockname()[1], flush=True)
    deadline = time.time() + 60
    while time.time() < deadline:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            break
        conn.settimeout(30)
        threading.Thread(target=lambda c=conn: (serve_scripted(c), c.close()), daemon=True).start()


if mode in ("sink", "tls-sink", "smtps-sink"):
    run_sink()
else:
    run_scripted()
