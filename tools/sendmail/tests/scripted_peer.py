"""A scripted SMTP peer for what aiosmtpd does not do.

scripted_peer.py SCENARIO PORT OUTDIR [CERT KEY]: serves one connection on
127.0.0.1:PORT (with implicit TLS when CERT and KEY are given), writes
OUTDIR/ready once listening and the commands it received to
OUTDIR/commands.txt. Ends after the connection or 60 seconds.
"""
import os
import socket
import ssl
import sys
import time

scenario, port, outdir = sys.argv[1], int(sys.argv[2]), sys.argv[3]

EHLO = {
    "ehlo_refused": [b"502 no EHLO here\r\n"],
    # The AUTH line offers LOGIN only; a host named PLAINS sits on another
    # line; the reply comes in pieces and ends with a bare "250".
    "login_only": [b"250-peer.x.test\r\n", b"250-AUTH LOGIN\r\n250-PLAINS.example\r\n", b"250\r\n"],
    # A reply of some 1,500 bytes in one piece.
    "long_reply": [b"".join(b"250-X-FILLER-%02d %s\r\n" % (i, b"f" * 80) for i in range(16)) +
                   b"250 AUTH PLAIN LOGIN\r\n"],
}


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(1)
    listener.settimeout(60)
    open(os.path.join(outdir, "ready"), "w").close()
    conn, _ = listener.accept()
    conn.settimeout(60)
    if len(sys.argv) > 5:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[4], sys.argv[5])
        conn = context.wrap_socket(conn, server_side=True)
    log = open(os.path.join(outdir, "commands.txt"), "wb")
    if scenario == "silent":
        try:
            conn.recv(100)
        except Exception:
            pass
        return
    conn.sendall(b"554 go away\r\n" if scenario == "greeting_refused" else b"220 scripted peer\r\n")
    data, in_data = b"", False
    while True:
        try:
            chunk = conn.recv(4096)
        except Exception:
            return
        if not chunk:
            return
        data += chunk
        while b"\r\n" in data:
            line, data = data.split(b"\r\n", 1)
            if in_data:
                if line == b".":
                    in_data = False
                    conn.sendall(b"554 refused\r\n" if scenario == "data_refused" else b"250 accepted\r\n")
                continue
            log.write(line + b"\n")
            log.flush()
            verb = line.split(b" ")[0].upper()
            if verb == b"EHLO":
                for piece in EHLO.get(scenario, [b"250 ok\r\n"]):
                    conn.sendall(piece)
                    time.sleep(0.2)
            elif verb == b"RCPT" and scenario == "no_rcpt":
                conn.sendall(b"550 no such user\r\n")
            elif verb == b"DATA":
                in_data = True
                conn.sendall(b"354 go ahead\r\n")
            elif verb == b"QUIT":
                conn.sendall(b"221 bye\r\n")
                return
            else:
                conn.sendall(b"250 ok\r\n")


main()
