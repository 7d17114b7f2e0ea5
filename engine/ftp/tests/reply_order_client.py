#!/usr/bin/python3
"""reply_order_client.py PORT FILE: a passive download that checks, the
moment the final reply arrives, that the file is already there.

Prints "whole N" when the data connection held every byte and its end by
then, "early N" when the final reply came first (N: bytes read by then)."""
import select
import socket
import sys

port, name = int(sys.argv[1]), sys.argv[2]
control = socket.create_connection(("127.0.0.1", port), timeout=20)
replies = control.makefile("rb")


def reply():
    line = replies.readline()
    while line[3:4] == b"-":
        line = replies.readline()
    return line.decode(errors="replace").strip()


def command(text):
    control.sendall(text.encode() + b"\r\n")
    return reply()


reply()
command("USER u")
command("PASS p")
command("TYPE I")
answer = command("PASV")
numbers = answer[answer.index("(") + 1:answer.index(")")].split(",")
data = socket.create_connection(("127.0.0.1", int(numbers[4]) * 256 + int(numbers[5])), timeout=20)
opening = command("RETR " + name)
final = reply()
got = b""
# Whatever the engine sent before its final reply is here within moments.
while select.select([data], [], [], 0.5)[0]:
    chunk = data.recv(65536)
    if not chunk:
        print("whole", len(got), opening[:3], final[:3])
        sys.exit(0)
    got += chunk
print("early", len(got), opening[:3], final[:3])
