"""The tests' FTP server: pyftpdlib on a loopback port.

ftp_server.py PORT ROOT LOG [--no-passive] [--encoding=cp932] [--masquerade=ADDR] [--bare-227]
              [--multiline-227] [--host=ADDR]
User "u" with password "p" and anonymous log in to ROOT with every right.
Every command the server gets is appended to LOG, one per line.
--no-passive refuses PASV and EPSV (clients must use PORT or EPRT);
--encoding names the code page of the path names on the wire;
--masquerade makes 227 replies name another address; --bare-227 leaves
out the brackets of 227 replies; --multiline-227 sends them as a
multi-line reply (a "227-" line first); --host is the
address to listen on (127.0.0.1). "ready" is printed once it listens.
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, root, log = int(sys.argv[1]), sys.argv[2], sys.argv[3]
flags = sys.argv[4:]


class Handler(FTPHandler):
    wire_encoding = "utf8"

    def decode(self, data):
        # Strict: bytes that aren't of the server's code page are refused
        # (and forgotten: pyftpdlib would keep them before the next command).
        try:
            return data.decode(self.wire_encoding)
        except UnicodeDecodeError:
            self._in_buffer = []
            self._in_buffer_len = 0
            raise

    def pre_process_command(self, line, cmd, arg):
        with open(log, "a", encoding="utf-8", errors="replace") as out:
            out.write((line if cmd != "PASS" else "PASS ****") + "\n")
        return super().pre_process_command(line, cmd, arg)

    if "--bare-227" in flags:
        def respond(self, resp, logfun=None):
            # The numbers without their brackets, as RFC 959 allows.
            if resp.startswith("227 "):
                resp = resp.replace("(", "").replace(")", "")
            return super().respond(resp) if logfun is None else super().respond(resp, logfun)

    if "--multiline-227" in flags:
        def respond(self, resp, logfun=None):
            if resp.startswith("227 "):
                resp = "227-Passive mode.\r\n" + resp
            return super().respond(resp) if logfun is None else super().respond(resp, logfun)

    if "--no-passive" in flags:
        def ftp_PASV(self, line):
            self.respond("502 Passive mode refused here.")

        def ftp_EPSV(self, line):
            self.respond("502 Passive mode refused here.")


authorizer = DummyAuthorizer()
authorizer.add_user("u", "p", root, perm="elradfmwMT")
authorizer.add_anonymous(root, perm="elr")
Handler.authorizer = authorizer
Handler.auth_failed_timeout = 0
for flag in flags:
    if flag.startswith("--encoding="):
        Handler.wire_encoding = flag.split("=", 1)[1]
    if flag.startswith("--masquerade="):
        Handler.masquerade_address = flag.split("=", 1)[1]
host = "127.0.0.1"
for flag in flags:
    if flag.startswith("--host="):
        host = flag.split("=", 1)[1]
logging.basicConfig(level=logging.WARNING)
server = FTPServer((host, port), Handler)
print("ready", flush=True)
server.serve_forever(timeout=0.5)
