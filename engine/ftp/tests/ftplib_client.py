"""The tests' FTP client: python's ftplib through the FTP proxy.

ftplib_client.py PORT WORKDIR STEP...
Each step runs in order on one login as "u"/"p" (or FTPLIB_USER, without a
password); its outcome is printed as one line "<step> ok <detail>" or
"<step> error <reply>":
  passive | active           the data connection mode for what follows
  get:NAME                   RETR into WORKDIR/NAME
  getrest:NAME:OFFSET        RETR from OFFSET on (after REST), the size printed
  put:NAME                   STOR of WORKDIR/NAME
  list                       LIST, the names printed
  cmd:TEXT                   a raw command, its reply printed
  cwd:FOLDER                 CWD
  pasv-quit                  PASV, then QUIT at once
  abort:NAME                 RETR, a few bytes read, then ABOR as urgent
                             data (ftplib's abort); its reply printed
  abort-reading:NAME         RETR, and ftplib's abort from the callback of
                             the first piece (the data connection still
                             open, nothing more read); its reply and the
                             reply the server owes behind it printed
  abort-unread:NAME          the same right after the RETR's opening reply,
                             before any byte has come
  leave:NAME                 RETR opened, then the client is gone half a
                             second later (no QUIT, nothing read)
  trickle:NAME:SIZE:SECONDS  STOR of SIZE bytes sent in small pieces
                             spread over SECONDS
  intruder                   PASV; a connection to the data port from
                             127.0.0.2 first (printed: whether it was
                             closed at once), then the client's own LIST
"""
import ftplib
import os
import socket
import sys
import time

port, work, steps = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
ftp = ftplib.FTP()
ftp.connect("127.0.0.1", port, timeout=20)
if os.environ.get("FTPLIB_USER"):
    ftp.login(os.environ["FTPLIB_USER"], "")
else:
    ftp.login("u", "p")
for step in steps:
    try:
        if step == "passive":
            ftp.set_pasv(True)
            print(step, "ok")
        elif step == "active":
            ftp.set_pasv(False)
            print(step, "ok")
        elif step.startswith("get:"):
            name = step[4:]
            with open(os.path.join(work, name), "wb") as out:
                reply = ftp.retrbinary("RETR " + name, out.write)
            print(step, "ok", reply)
        elif step.startswith("getrest:"):
            _, name, offset = step.split(":")
            got = bytearray()
            reply = ftp.retrbinary("RETR " + name, got.extend, rest=int(offset))
            print(step, "ok", len(got), reply)
        elif step.startswith("put:"):
            name = step[4:]
            with open(os.path.join(work, name), "rb") as source:
                reply = ftp.storbinary("STOR " + name, source)
            print(step, "ok", reply)
        elif step == "list":
            print(step, "ok", " ".join(sorted(ftp.nlst())))
        elif step.startswith("cwd:"):
            print(step, "ok", ftp.cwd(step[4:]))
        elif step.startswith("cmd:"):
            print(step, "ok", ftp.sendcmd(step[4:]))
        elif step == "intruder":
            host, data_port = ftplib.parse227(ftp.sendcmd("PASV"))
            intruder = socket.create_connection((host, data_port), timeout=10, source_address=("127.0.0.2", 0))
            try:
                closed = intruder.recv(1) == b""
            except ConnectionResetError:
                closed = True
            intruder.close()
            conn = socket.create_connection((host, data_port), timeout=10)
            opening = ftp.sendcmd("LIST")
            listing = b""
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                listing += chunk
            conn.close()
            ftp.voidresp()
            print(step, "ok", "intruder-closed" if closed else "intruder-served", opening[:3], len(listing))
        elif step.startswith("abort:"):
            conn = ftp.transfercmd("RETR " + step[6:])
            conn.recv(1000)
            conn.close()
            print(step, "ok", ftp.abort())
        elif step.startswith("abort-reading:") or step.startswith("abort-unread:"):
            kind, name = step.split(":", 1)
            replies = []
            ftp.voidcmd("TYPE I")
            with ftp.transfercmd("RETR " + name) as conn:
                if kind == "abort-reading":
                    conn.recv(65536)
                replies.append(ftp.abort())
                # Two replies come: the transfer's and the ABOR's own.
                replies.append(ftp.getresp())
            print(step, "ok", " | ".join(replies))
        elif step.startswith("leave:"):
            ftp.voidcmd("TYPE I")
            conn = ftp.transfercmd("RETR " + step[6:])
            time.sleep(0.5)
            print(step, "ok")
            sys.stdout.flush()
            os._exit(0)
        elif step.startswith("trickle:"):
            _, name, size, seconds = step.split(":")
            size, seconds = int(size), float(seconds)
            ftp.voidcmd("TYPE I")
            conn = ftp.transfercmd("STOR " + name)
            pieces = 20
            for i in range(pieces):
                conn.sendall(bytes([i % 256]) * (size // pieces))
                time.sleep(seconds / pieces)
            conn.close()
            print(step, "ok", ftp.voidresp())
        elif step == "pasv-quit":
            print(step, "ok", ftp.sendcmd("PASV"))
            ftp.quit()
            sys.exit(0)
    except ftplib.all_errors as error:
        print(step, "error", str(error).replace("\n", " "))
    sys.stdout.flush()
ftp.quit()
