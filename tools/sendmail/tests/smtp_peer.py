"""An SMTP peer on loopback for the mail sender's tests.

smtp_peer.py aiosmtpd PORT OUTDIR [CERT KEY]: aiosmtpd requiring AUTH PLAIN
(user "user", password "pa'ss"), with implicit TLS when CERT and KEY are
given; each accepted mail is saved as OUTDIR/mail-N.eml with its envelope in
OUTDIR/mail-N.rcpt; MAIL from refuse@x.test is refused.
Writes OUTDIR/ready once listening and runs until killed.
"""
import asyncio
import os
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Saver:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, options):
        if address == "refuse@x.test":
            return "550 sender refused"
        envelope.mail_from = address
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, "mail-%d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".rcpt", "w") as f:
            f.write("\n".join(envelope.rcpt_tos))
        return "250 Message accepted"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = mechanism == "PLAIN" and auth_data.login == b"user" and auth_data.password == b"pa'ss"
    return AuthResult(success=ok)


def main():
    port, outdir = int(sys.argv[2]), sys.argv[3]
    context = None
    if len(sys.argv) > 5:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[4], sys.argv[5])
    controller = Controller(Saver(outdir), hostname="127.0.0.1", port=port, ssl_context=context,
                            authenticator=authenticate, auth_required=True, auth_require_tls=False,
                            decode_data=False)
    controller.start()
    open(os.path.join(outdir, "ready"), "w").close()
    try:
        for _ in range(600):
            time.sleep(1)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
