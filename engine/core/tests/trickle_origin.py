#!/usr/bin/python3
"""A slow origin on a loopback port: a download from it lasts far longer
than any test.

Usage: trickle_origin.py
Prints "port N" once it listens on 127.0.0.1:N, then "request" for every
request head it reads. Every request is answered with a 64 MiB body under
a Content-Length, 16 KiB at a time, one piece every 50 ms, until the
reader goes. Ends on SIGTERM or after 120 seconds.
"""
import signal
import socket
import sys
import threading
import time

BODY_SIZE = 64 << 20
PIECE = b"t" * 16384


def serve(conn):
    with conn:
        buffered = b""
        while b"\r\n\r\n" not in buffered:
            more = conn.recv(65536)
            if not more:
                return
            buffered += more
        print("request", flush=True)
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                     b"Content-Length: %d\r\n\r\n" % BODY_SIZE)
        sent = 0
        while sent < BODY_SIZE:
            conn.sendall(PIECE)
            sent += len(PIECE)
            time.sleep(0.05)


def guarded(conn):
    try:
        serve(conn)
    except OSError:
        pass


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    listener.settimeout(1.0)
    print("port %d" % listener.getsockname()[1], flush=True)
    end = time.monotonic() + 120
    while time.monotonic() < end:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        conn.settimeout(None)
        threading.Thread(target=guarded, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
