#!/usr/bin/python3
"""A web server whose answers never make a version file, for the update
check's tests.

Usage: runaway_server.py MODE LIFETIME_SECONDS

MODE is one of:
  big-body      a 200 head with Content-Length: 536870912, then that many
                bytes as fast as the client takes them
  endless-head  a status line, then header lines without end
  trickle       a status line, then one byte of a header line every 50 ms

Listens on a free loopback port and prints "port N"; after each client
leaves it prints "sent N" (the bytes that client took). Ends after
LIFETIME_SECONDS in any case.
"""
import signal
import socket
import sys
import time

BIG = 512 * 1024 * 1024


def answer(connection, mode):
    sent = 0

    def send(data):
        nonlocal sent
        connection.sendall(data)
        sent += len(data)

    try:
        connection.recv(65536)
        if mode == "big-body":
            send(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % BIG)
            block = b"0" * 65536
            while sent < BIG:
                send(block)
        elif mode == "endless-head":
            send(b"HTTP/1.0 200 OK\r\n")
            line = b"X-Filler: " + b"a" * 54 + b"\r\n"
            while True:
                send(line * 64)
        else:
            send(b"HTTP/1.0 200 OK\r\nX-Slow: ")
            while True:
                time.sleep(0.05)
                send(b"a")
    except OSError:
        pass
    finally:
        connection.close()
    print("sent %d" % sent, flush=True)


def main():
    mode, lifetime = sys.argv[1], int(sys.argv[2])
    signal.alarm(lifetime)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        answer(connection, mode)


if __name__ == "__main__":
    main()
