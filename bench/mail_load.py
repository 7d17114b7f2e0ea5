"""Load for bench/mail_relay.sh.

mail_load.py send PORT N SIZE SENDERS FOLDER
                                 N mails of SIZE bytes from SENDERS threads
                                 to PORT, each to r@example.net; writes
                                 their hashes to FOLDER/sent; prints the
                                 seconds taken
mail_load.py delivered BOX N OUT waits (up to 300 s) for N mails in the
                                 maildir folder BOX/new, writes their hashes
                                 to OUT and removes them; prints how many
                                 there were
mail_load.py maildir FOLDER N SIZE
                                 N mails of SIZE bytes as a maildir
mail_load.py pop3 PORT N [USER]  RETR of mails 1..N; prints the seconds
                                 taken and the SHA-256 of all mails
mail_load.py imap PORT N [USER]  FETCH (BODY.PEEK[]) of mails 1..N, one
                                 command each; prints as pop3 does
"""
import hashlib
import os
import smtplib
import sys
import threading
import time


def mail_bytes(n, size):
    head = ("From: s%d@bench.example\r\nTo: r@bench.example\r\nSubject: bench %d\r\n\r\n" % (n, n)).encode()
    line = (b"%08d " % n) + b"x" * 69 + b"\r\n"
    body = line * ((size - len(head)) // len(line) + 1)
    return head + body[: size - len(head) - 2] + b"\r\n"


def body_hash(data):
    # The relay and the server put their trace lines in front; the mail
    # starts at From:. A maildir keeps the lines with LF alone.
    return hashlib.sha256(data[data.find(b"From: "):].replace(b"\r\n", b"\n")).hexdigest()


def delivered(box, count, out):
    new = os.path.join(box, "new")
    deadline = time.monotonic() + 300
    names = os.listdir(new)
    while len(names) < count and time.monotonic() < deadline:
        time.sleep(0.1)
        names = os.listdir(new)
    with open(out, "w") as f:
        for name in names:
            path = os.path.join(new, name)
            with open(path, "rb") as mail:
                f.write(body_hash(mail.read()) + "\n")
            os.remove(path)
    print(len(names))


def send(port, count, size, senders, folder):
    hashes = []
    lock = threading.Lock()

    def worker(first):
        s = smtplib.SMTP("127.0.0.1", port, timeout=60)
        for n in range(first, count, senders):
            data = mail_bytes(n, size)
            s.sendmail("s@bench.example", ["r@example.net"], data)
            with lock:
                hashes.append(body_hash(data))
        s.quit()

    start = time.monotonic()
    threads = [threading.Thread(target=worker, args=(i,)) for i in range(senders)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - start
    with open(os.path.join(folder, "sent"), "w") as f:
        f.write("\n".join(hashes) + "\n")
    print("%.3f" % elapsed)


def maildir(folder, count, size):
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    for n in range(count):
        with open(os.path.join(folder, "cur", "%06d.bench:2,S" % n), "wb") as f:
            f.write(mail_bytes(n, size))


def pop3(port, count, user):
    import poplib

    p = poplib.POP3("127.0.0.1", port, timeout=60)
    p.user(user)
    p.pass_("secret")
    digest = hashlib.sha256()
    start = time.monotonic()
    for n in range(1, count + 1):
        for line in p.retr(n)[1]:
            digest.update(line + b"\r\n")
    elapsed = time.monotonic() - start
    p.quit()
    print("%.3f %s" % (elapsed, digest.hexdigest()))


def imap(port, count, user):
    import imaplib

    m = imaplib.IMAP4("127.0.0.1", port)
    m.login(user, "secret")
    m.select("INBOX", readonly=True)
    digest = hashlib.sha256()
    start = time.monotonic()
    for n in range(1, count + 1):
        typ, data = m.fetch(str(n), "(BODY.PEEK[])")
        for part in data:
            if isinstance(part, tuple):
                digest.update(part[1])
    elapsed = time.monotonic() - start
    m.logout()
    print("%.3f %s" % (elapsed, digest.hexdigest()))


command = sys.argv[1]
if command == "delivered":
    delivered(sys.argv[2], int(sys.argv[3]), sys.argv[4])
elif command == "send":
    send(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), sys.argv[6])
elif command == "maildir":
    maildir(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
elif command in ("pop3", "imap"):
    user = sys.argv[4] if len(sys.argv) > 4 else "bench"
    (pop3 if command == "pop3" else imap)(int(sys.argv[2]), int(sys.argv[3]), user)
