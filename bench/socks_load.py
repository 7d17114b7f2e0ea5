"""Load driver of bench/socks_relay.sh: HTTP GETs over SOCKS 5 CONNECT.

    socks_load.py PROXY_PORT ORIGIN_PORT PATH SIZE SECONDS WORKERS

Each worker process opens a new SOCKS 5 connection for every request
(no authentication, CONNECT to 127.0.0.1:ORIGIN_PORT), sends
"GET PATH HTTP/1.0" and reads the answer to its end. Prints
"<connections/s> <MiB/s> <errors>": an answer whose body is not SIZE
bytes counts as an error.
"""
import multiprocessing
import socket
import struct
import sys
import time


def one(proxy_port, origin_port, path):
    s = socket.create_connection(("127.0.0.1", proxy_port), timeout=60)
    try:
        s.sendall(b"\x05\x01\x00")
        if s.recv(2) != b"\x05\x00":
            return -1
        s.sendall(b"\x05\x01\x00\x01" + socket.inet_aton("127.0.0.1") + struct.pack(">H", origin_port))
        reply = b""
        while len(reply) < 10:
            chunk = s.recv(10 - len(reply))
            if not chunk:
                return -1
            reply += chunk
        if reply[1] != 0:
            return -1
        s.sendall(("GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" % path).encode())
        data = bytearray()
        while True:
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            data += chunk
        head_end = data.find(b"\r\n\r\n")
        return len(data) - head_end - 4 if head_end >= 0 else -1
    finally:
        s.close()


def worker(args):
    proxy_port, origin_port, path, size, deadline = args
    done = errors = body = 0
    while time.time() < deadline:
        try:
            got = one(proxy_port, origin_port, path)
        except OSError:
            got = -1
        if got == size:
            done += 1
            body += got
        else:
            errors += 1
    return done, body, errors


if __name__ == "__main__":
    proxy_port, origin_port, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    size, seconds, workers = int(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
    start = time.time()
    with multiprocessing.Pool(workers) as pool:
        results = pool.map(worker, [(proxy_port, origin_port, path, size, start + seconds)] * workers)
    elapsed = time.time() - start
    done = sum(r[0] for r in results)
    body = sum(r[1] for r in results)
    errors = sum(r[2] for r in results)
    print("%.0f %.1f %d" % (done / elapsed, body / elapsed / 1048576, errors))
