#!/usr/bin/python3
"""A POP3 origin on a free loopback port: prints "port <n>", then serves one
mailbox of the given message files to any user and password, one thread a
connection. Ends after 60 seconds whatever happens."""
import socketserver
import sys
import threading

MESSAGES = [open(path, "rb").read() for path in sys.argv[1:]]


class Session(socketserver.StreamRequestHandler):
    timeout = 20

    def send(self, text):
        self.wfile.write(text.encode() + b"\r\n")

    def handle(self):
        self.send("+OK origin ready")
        for _ in range(100):
            line = self.rfile.readline()
            if not line:
                return
            words = line.decode(errors="replace").strip().split()
            command = words[0].upper() if words else ""
            if command == "CAPA":
                self.wfile.write(b"+OK\r\nUSER\r\nUIDL\r\n.\r\n")
            elif command in ("USER", "PASS", "NOOP", "RSET"):
                self.send("+OK")
            elif command == "STAT":
                self.send("+OK %d %d" % (len(MESSAGES), sum(len(m) for m in MESSAGES)))
            elif command in ("LIST", "UIDL"):
                self.send("+OK")
                for number, message in enumerate(MESSAGES, 1):
                    self.send("%d %s" % (number, len(message) if command == "LIST" else "uid%d" % number))
                self.send(".")
            elif command == "RETR" and len(words) > 1 and words[1].isdigit() and 0 < int(words[1]) <= len(MESSAGES):
                self.send("+OK")
                for body_line in MESSAGES[int(words[1]) - 1].split(b"\r\n"):
                    self.wfile.write((b"." if body_line.startswith(b".") else b"") + body_line + b"\r\n")
                self.send(".")
            elif command == "QUIT":
                self.send("+OK bye")
                return
            else:
                self.send("-ERR unknown")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Session)
print("port %d" % server.server_address[1], flush=True)
threading.Timer(60, server.shutdown).start()
server.serve_forever()
