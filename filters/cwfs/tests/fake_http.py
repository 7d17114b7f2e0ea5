#!/usr/bin/python3
"""A loopback HTTP peer for the word filter tests.

fake_http.py PORTFILE LOG MODE [ARG]
  MODE pages DIR   serves DIR/<name> with the Content-Type in DIR/<name>.type
  MODE raw DIR     answers with DIR/<name> as it stands (head, framing and
                   body), then closes the connection
  MODE answer FILE answers every request with FILE's bytes as a text/html body
  MODE silent      takes each request and never answers
Every request head is appended to LOG, as received, ended by a line "----".
The chosen port is written to PORTFILE once the socket listens, on
127.0.0.1 or on the address in FAKE_HTTP_HOST.
"""
import os
import socket
import sys
import threading
import time


def read_head(conn):
    data = b""
    conn.settimeout(10)
    while b"\r\n\r\n" not in data and len(data) < 65536:
        part = conn.recv(4096)
        if not part:
            break
        data += part
    return data


def respond(conn, body, ctype):
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: " + ctype + b"\r\nContent-Length: " +
                 str(len(body)).encode() + b"\r\n\r\n" + body)


def serve(conn, log, mode, arg, lock):
    try:
        head = read_head(conn)
        with lock, open(log, "ab") as f:
            f.write(head + b"----\n")
        if mode == "silent":
            time.sleep(60)
            return
        if mode == "answer":
            with open(arg, "rb") as f:
                respond(conn, f.read(), b"text/html")
            # Keep the connection open: the client must stop at the length.
            time.sleep(30)
            return
        path = head.split(b" ")[1].decode()
        name = path.rsplit("/", 1)[-1]
        full = os.path.join(arg, name)
        if mode == "raw" and name and os.path.exists(full):
            with open(full, "rb") as f:
                conn.sendall(f.read())
            return
        if not name or not os.path.exists(full):
            conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
            return
        with open(full, "rb") as f:
            body = f.read()
        with open(full + ".type", "rb") as f:
            ctype = f.read().strip()
        respond(conn, body, ctype)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    portfile, log, mode = sys.argv[1], sys.argv[2], sys.argv[3]
    arg = sys.argv[4] if len(sys.argv) > 4 else ""
    host = os.environ.get("FAKE_HTTP_HOST", "127.0.0.1")
    server = socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((host, 0))
    server.listen(16)
    with open(portfile + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(portfile + ".tmp", portfile)
    lock = threading.Lock()
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn, log, mode, arg, lock), daemon=True).start()


if __name__ == "__main__":
    main()
