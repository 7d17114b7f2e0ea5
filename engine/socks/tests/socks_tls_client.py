"""A SOCKS 5 CONNECT over TLS (a TLS listen port of the proxy), sent in
one piece: greeting, request and the first data together.

    socks_tls_client.py PROXY_PORT TARGET_PORT TEXT

Prints the method answer and the reply in hex, then what the target sent
back, once TEXT has come back whole.
"""
import socket
import ssl
import struct
import sys

proxy_port, target_port, text = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3].encode()
context = ssl.create_default_context()
context.check_hostname = False
context.verify_mode = ssl.CERT_NONE
with socket.create_connection(("127.0.0.1", proxy_port), timeout=10) as raw:
    with context.wrap_socket(raw) as s:
        s.sendall(b"\x05\x01\x00" + b"\x05\x01\x00\x01" + socket.inet_aton("127.0.0.1") +
                  struct.pack(">H", target_port) + text)
        got = b""
        while len(got) < 12 + len(text):
            chunk = s.recv(4096)
            if not chunk:
                break
            got += chunk
print(got[:12].hex(), got[12:].decode(errors="replace"), flush=True)
