"""Active FTP through a SOCKS 5 proxy with BIND, as SOCKS-aware FTP clients do.

    socks_ftp_bind_client.py PROXY_PORT FTP_PORT FILE [SOURCE_ADDRESS]

ftplib speaks to the server at 127.0.0.1:FTP_PORT over a SOCKS 5 CONNECT;
for the data connection a second SOCKS connection asks for a BIND, PORT
names the address and port the BIND reply announced, and the file comes
over the BIND connection. Both connections to the proxy go out from
SOURCE_ADDRESS (127.0.0.2 by default). Prints the PORT reply, then
"<bytes> bytes" and the final reply of the transfer.
"""
import ftplib
import socket
import struct
import sys

proxy_port, ftp_port, name = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
source = sys.argv[4] if len(sys.argv) > 4 else "127.0.0.2"


def exactly(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            raise EOFError("proxy closed")
        data += chunk
    return data


def socks(command):
    s = socket.create_connection(("127.0.0.1", proxy_port), timeout=15, source_address=(source, 0))
    s.sendall(b"\x05\x01\x00")
    assert exactly(s, 2) == b"\x05\x00"
    s.sendall(b"\x05" + bytes([command]) + b"\x00\x01" + socket.inet_aton("127.0.0.1") + struct.pack(">H", ftp_port))
    reply = exactly(s, 10)
    if reply[1] != 0:
        raise RuntimeError("SOCKS reply %d" % reply[1])
    return s, socket.inet_ntoa(reply[4:8]), struct.unpack(">H", reply[8:10])[0]


ftp = ftplib.FTP(timeout=15)
control, _, _ = socks(1)
ftp.sock = control
ftp.af = control.family
ftp.file = control.makefile("r", encoding=ftp.encoding)
ftp.welcome = ftp.getresp()
ftp.login("u", "p")
ftp.voidcmd("TYPE I")
data, address, port = socks(2)
print(ftp.sendcmd("PORT %s,%d,%d" % (address.replace(".", ","), port >> 8, port & 255)), flush=True)
ftp.sendcmd("RETR " + name)
second = exactly(data, 10)
assert second[1] == 0, "second BIND reply %d" % second[1]
received = 0
while True:
    chunk = data.recv(65536)
    if not chunk:
        break
    received += len(chunk)
data.close()
print("%d bytes" % received)
print(ftp.getresp())
ftp.quit()
