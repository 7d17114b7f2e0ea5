"""Loopback echo peers for the SOCKS tests.

    echo_server.py tcp|udp|udp-twice [host]

Prints "port N" once listening, then echoes every byte (tcp: each
connection in a thread of its own; udp: every datagram back to its
sender, and "<sender host> <sender port>" of each on stderr; udp-twice:
the same, and a second answer "<datagram> again" behind each) until
killed.
"""
import socket
import sys
import threading


def serve_tcp(host):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    server = socket.socket(family, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((host, 0))
    server.listen(16)
    print("port %d" % server.getsockname()[1], flush=True)

    def echo(conn):
        with conn:
            while True:
                data = conn.recv(65536)
                if not data:
                    return
                conn.sendall(data)

    while True:
        conn, _ = server.accept()
        threading.Thread(target=echo, args=(conn,), daemon=True).start()


def serve_udp(host, twice=False):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    server = socket.socket(family, socket.SOCK_DGRAM)
    server.bind((host, 0))
    print("port %d" % server.getsockname()[1], flush=True)
    while True:
        data, sender = server.recvfrom(65536)
        print("%s %d" % (sender[0], sender[1]), file=sys.stderr, flush=True)
        server.sendto(data, sender)
        if twice:
            server.sendto(data + b" again", sender)


if __name__ == "__main__":
    host = sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1"
    if sys.argv[1] == "tcp":
        serve_tcp(host)
    else:
        serve_udp(host, sys.argv[1] == "udp-twice")
