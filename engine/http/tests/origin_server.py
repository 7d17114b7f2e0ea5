#!/usr/bin/python3
"""A small origin server for the GET road tests, on a loopback port.

Usage: origin_server.py LOGFILE [LIFETIME]
Prints "port N" once it listens on 127.0.0.1:N. Every request head it gets
is appended to LOGFILE as one JSON line {"conn": <connection number>,
"head": <the head as text>}. Connections are kept open between requests
(HTTP/1.1) unless the answer is close-delimited.

Paths: /<form>/<name>, where <name> is "eicar" (the EICAR test string),
"data-<n>" (n bytes of a fixed pattern that holds "0\\r\\n\\r\\n" and every
byte value), or "eicarstart-<n>" / "eicarend-<n>" (n bytes of the pattern
with the EICAR string at its start or its end). Forms:
  length   Content-Length, CR LF head
  chunked  chunks of uneven sizes and a trailer line
  close    no length: the body ends when the server closes
  cut      no length: the body goes out, then the connection is reset
  lf       Content-Length, head lines ended by bare LF
  nocontent, notmodified   204 / 304 with no body
  noend    a status line and a header line that never end; then the close
  dropnext Content-Length; the next request on the same connection is
           read and the connection closed without an answer
  late     Content-Length; the head and the first body byte go out, the
           rest once the file LOGFILE.go exists (waited for up to 10 s)
  silent   reads the request and answers nothing (for 30 s)
  hangup   reads the request and closes without an answer
  twolengths  two Content-Length lines that disagree (the shorter is true)
  chunkedlength  chunked, with a Content-Length beside it that is wrong
  endless  chunked data without end, until the client goes (at most 60 s);
           "LOGFILE.gone" is written when a send fails
  echo     Content-Length; the body is "<method> <body length> <sha256 of
           the body>" of the request
  nocache, pragma, public, private, expired
           Content-Length, with "Cache-Control: no-cache", "Pragma:
           no-cache", "Cache-Control: public, max-age=600", "Cache-Control:
           private" or an Expires date in the past
A request body (Content-Length or chunked) is read and logged as
"body_len" and "body_sha256". HEAD gets the head alone. A "length" request
with "Range: bytes=A-B" gets 206 with those bytes, one with
"If-Modified-Since" gets 304.
Ends by itself after LIFETIME seconds (120 unless given) or on SIGTERM.
"""
import fcntl
import hashlib
import itertools
import json
import os
import signal
import socket
import struct
import termios
import sys
import threading
import time

EICAR = b"X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"
PATTERN = b"0\r\n\r\n" + bytes(range(256))
log_lock = threading.Lock()
connection_numbers = itertools.count(1)


def body_for(name):
    if name == "eicar":
        return EICAR
    if name.startswith("data-"):
        size = int(name[5:])
        return (PATTERN * (size // len(PATTERN) + 1))[:size]
    if name.startswith("eicarstart-") or name.startswith("eicarend-"):
        where, _, size = name.partition("-")
        data = body_for("data-%d" % (int(size) - len(EICAR)))
        return EICAR + data if where == "eicarstart" else data + EICAR
    return b"hello\n"


def read_head(conn, buffered):
    while b"\r\n\r\n" not in buffered and b"\n\n" not in buffered:
        more = conn.recv(65536)
        if not more:
            return None, b""
        buffered += more
    ends = [i + n for i, n in ((buffered.find(b"\r\n\r\n"), 4), (buffered.find(b"\n\n"), 2)) if i >= 0]
    end = min(ends)
    return buffered[:end], buffered[end:]


CACHE_LINES = {
    "nocache": b"Cache-Control: no-cache\r\n",
    "pragma": b"Pragma: no-cache\r\n",
    "public": b"Cache-Control: public, max-age=600\r\n",
    "private": b"Cache-Control: private\r\n",
    "expired": b"Expires: Thu, 01 Jan 1970 00:00:00 GMT\r\n",
}


def header(head, name):
    for line in head.split(b"\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip().decode("latin-1")
    return None


def read_body(conn, head, buffered):
    """The request's body by its framing; returns (body, rest) or (None, b"")."""
    def more():
        data = conn.recv(65536)
        if not data:
            raise EOFError
        return data
    try:
        if (header(head, b"transfer-encoding") or "").lower() == "chunked":
            body = b""
            while True:
                while b"\r\n" not in buffered:
                    buffered += more()
                line, buffered = buffered.split(b"\r\n", 1)
                size = int(line.split(b";")[0], 16)
                while len(buffered) < size + 2:
                    buffered += more()
                body, buffered = body + buffered[:size], buffered[size + 2:]
                if size == 0:
                    while not buffered.startswith(b"\r\n") and b"\r\n\r\n" not in buffered:
                        buffered += more()
                    end = 2 if buffered.startswith(b"\r\n") else buffered.index(b"\r\n\r\n") + 4
                    return body, buffered[end:]
        length = int(header(head, b"content-length") or 0)
        while len(buffered) < length:
            buffered += more()
        return buffered[:length], buffered[length:]
    except EOFError:
        return None, b""


def answer_request(method, form, name, head, body):
    """The reply to one request and whether the connection stays open."""
    if form == "echo":
        text = b"%s %d %s" % (method.encode(), len(body), hashlib.sha256(body).hexdigest().encode())
        reply, keep = answer("length", text)
    elif form in CACHE_LINES:
        data = body_for(name)
        reply = (b"HTTP/1.1 200 OK\r\n" + CACHE_LINES[form] + b"Content-Length: %d\r\n\r\n" % len(data) + data)
        keep = True
    elif form == "length" and header(head, b"if-modified-since"):
        reply, keep = answer("notmodified", b"")
    elif form == "length" and (header(head, b"range") or "").startswith("bytes="):
        data = body_for(name)
        first, _, last = header(head, b"range")[6:].partition("-")
        first, last = int(first), min(int(last or len(data) - 1), len(data) - 1)
        reply = (b"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes %d-%d/%d\r\nContent-Length: %d\r\n\r\n"
                 % (first, last, len(data), last - first + 1) + data[first:last + 1])
        keep = True
    else:
        reply, keep = answer("length" if form in ("dropnext", "late") else form, body_for(name))
    if method == "HEAD":
        reply = reply[:reply.index(b"\n\n") + 2] if b"\r\n\r\n" not in reply else reply[:reply.index(b"\r\n\r\n") + 4]
    return reply, keep


def answer(form, body):
    if form == "length":
        return b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n\r\n" % len(body) + body, True
    if form == "lf":
        return b"HTTP/1.1 200 OK\nContent-Type: application/octet-stream\nContent-Length: %d\n\n" % len(body) + body, True
    if form in ("close", "cut"):
        return b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + body, False
    if form == "noend":
        return b"HTTP/1.1 200 OK\r\nX-Data: " + body, False
    if form == "twolengths":
        return b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nContent-Length: %d\r\n\r\n" % (len(body), 2 * len(body)) + body, True
    if form == "chunkedlength":
        chunked, keep = answer("chunked", body)
        return chunked.replace(b"Transfer-Encoding", b"Content-Length: 3\r\nTransfer-Encoding", 1), keep
    if form == "nocontent":
        return b"HTTP/1.1 204 No Content\r\n\r\n", True
    if form == "notmodified":
        return b"HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n", True
    # chunked: sizes 1, 7, 1000, 5, ... with extensions on some lines
    out = [b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n\r\n"]
    at, sizes = 0, itertools.cycle([1, 7, 1000, 5, 4093])
    while at < len(body):
        piece = body[at:at + next(sizes)]
        out.append(b"%x;ext=1\r\n" % len(piece) if len(piece) == 7 else b"%x\r\n" % len(piece))
        out.append(piece + b"\r\n")
        at += len(piece)
    out.append(b"0\r\nX-Trailer: yes\r\n\r\n")
    return b"".join(out), True


def send_endless(conn, log_path):
    conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
    chunk = b"%x\r\n" % 65536 + PATTERN * (65536 // len(PATTERN)) + PATTERN[:65536 % len(PATTERN)] + b"\r\n"
    deadline = time.time() + 60
    try:
        while time.time() < deadline:
            conn.sendall(chunk)
    except OSError:
        open(log_path + ".gone", "w").close()


def serve(conn, log_path):
    number = next(connection_numbers)
    buffered = b""
    drop_next = False
    with conn:
        while True:
            head, buffered = read_head(conn, buffered)
            if head is None:
                return
            if drop_next:
                return
            body, buffered = read_body(conn, head, buffered)
            if body is None:
                return
            text = head.decode("latin-1")
            with log_lock, open(log_path, "a") as log:
                log.write(json.dumps({"conn": number, "head": text, "body_len": len(body),
                                      "body_sha256": hashlib.sha256(body).hexdigest()}) + "\n")
            method = text.split(" ")[0]
            target = text.split(" ")[1] if " " in text else "/"
            parts = target.split("/")
            form, name = (parts[1], parts[2]) if len(parts) > 2 else ("length", "hello")
            reply, keep = answer_request(method, form, name, head, body)
            drop_next = form == "dropnext"
            if form == "silent":
                time.sleep(30)
                return
            if form == "hangup":
                return
            if form == "endless":
                send_endless(conn, log_path)
                return
            if form == "late":
                first = reply.index(b"\r\n\r\n") + 5
                conn.sendall(reply[:first])
                reply = reply[first:]
                for _ in range(100):
                    if os.path.exists(log_path + ".go"):
                        break
                    time.sleep(0.1)
            conn.sendall(reply)
            if form == "cut":
                # Waits until the bytes sent have been taken: a reset
                # throws away what the peer has not read yet.
                for _ in range(500):
                    if struct.unpack("i", fcntl.ioctl(conn, termios.TIOCOUTQ, b"\0" * 4))[0] == 0:
                        break
                    time.sleep(0.01)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            if not keep:
                conn.shutdown(socket.SHUT_WR)
                return


def main():
    log_path = sys.argv[1]
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    signal.signal(signal.SIGALRM, lambda *_: sys.exit(0))
    signal.alarm(int(sys.argv[2]) if len(sys.argv) > 2 else 120)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, log_path), daemon=True).start()


if __name__ == "__main__":
    main()
