"""A UDP exchange through a SOCKS 5 proxy with python3-socks (PySocks).

    socks_udp_client.py PROXY_PORT TARGET_PORT COUNT [USER PASSWORD]

Sends COUNT datagrams to 127.0.0.1:TARGET_PORT through the proxy on
127.0.0.1:PROXY_PORT and prints each answer (as text) on a line.
"""
import socket
import sys

import socks

proxy_port, target_port, count = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
user = sys.argv[4] if len(sys.argv) > 5 else None
password = sys.argv[5] if len(sys.argv) > 5 else None
s = socks.socksocket(socket.AF_INET, socket.SOCK_DGRAM)
s.set_proxy(socks.SOCKS5, "127.0.0.1", proxy_port, username=user, password=password)
s.settimeout(10)
s.bind(("127.0.0.1", 0))
for i in range(count):
    s.sendto(("datagram %d" % i).encode(), ("127.0.0.1", target_port))
    data, _ = s.recvfrom(65536)
    print(data.decode(), flush=True)
s.close()
