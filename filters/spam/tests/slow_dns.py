"""A DNS server on a loopback UDP port that answers every question with
no records and an error code, each only after a delay: a blocklist server
under load, or a sender's DNS that fails.

Usage: slow_dns.py PORT DELAY_SECONDS [RCODE]. RCODE is 3 (NXDOMAIN) unless
given (2: server failure). Prints READY, then one line per question it
answered."""
import socket
import sys
import time

port, delay = int(sys.argv[1]), float(sys.argv[2])
rcode = int(sys.argv[3]) if len(sys.argv) > 3 else 3
server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind(("127.0.0.1", port))
print("READY", flush=True)
while True:
    query, peer = server.recvfrom(512)
    if len(query) < 12:
        continue
    time.sleep(delay)
    # The question sent back with the response bit, recursion available and
    # the rcode; no records.
    answer = query[:2] + bytes([query[2] | 0x80, 0x80 | rcode]) + query[4:6] + b"\0\0\0\0\0\0" + query[12:]
    server.sendto(answer, peer)
    print("Q", flush=True)
