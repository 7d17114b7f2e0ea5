#!/usr/bin/python3
# A loopback SMTP server for the password-mail tests, on aiosmtpd. Every
# accepted mail is written to OUT/<n>.eml (the data as received) and
# OUT/<n>.env ("FROM", "TO" and "AUTH" lines). Prints READY once listening.
import argparse
import asyncio
import os
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

ap = argparse.ArgumentParser()
ap.add_argument('--port', type=int, required=True)
ap.add_argument('--out', required=True)
ap.add_argument('--host', default='127.0.0.1')
ap.add_argument('--auth', help='user:password; AUTH PLAIN offered and required')
ap.add_argument('--refuse-rcpt', action='append', default=[])
ap.add_argument('--refuse-ehlo', action='store_true')
ap.add_argument('--long-ehlo', action='store_true', help='an EHLO reply of several kilobytes')
args = ap.parse_args()
count = 0


class Handler:
    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if args.long_ehlo:
            filler = ['250-X-FILLER-%03d %s' % (i, 'x' * 60) for i in range(60)]
            responses = [responses[0]] + filler + responses[1:]
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in args.refuse_rcpt:
            return '550 5.1.1 no such user'
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        base = os.path.join(args.out, str(count))
        with open(base + '.eml', 'wb') as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + '.env.tmp', 'w') as f:
            f.write('FROM %s\n' % envelope.mail_from)
            for r in envelope.rcpt_tos:
                f.write('TO %s\n' % r)
            login = getattr(session, 'auth_data', None)
            if isinstance(login, LoginPassword):
                f.write('AUTH %s %s\n' % (login.login.decode(), login.password.decode()))
        os.rename(base + '.env.tmp', base + '.env')
        return '250 2.0.0 queued'


def authenticator(server, session, envelope, mechanism, auth_data):
    user, password = args.auth.split(':', 1)
    ok = (mechanism == 'PLAIN' and isinstance(auth_data, LoginPassword)
          and auth_data.login.decode() == user and auth_data.password.decode() == password)
    return AuthResult(success=ok, auth_data=auth_data if ok else None)


class Sink(SMTP):
    async def smtp_EHLO(self, hostname):
        if args.refuse_ehlo:
            await self.push('502 5.5.2 EHLO not here')
            return
        await super().smtp_EHLO(hostname)


class SinkController(Controller):
    def factory(self):
        # Without --auth no mechanism is offered at all.
        options = dict(auth_require_tls=False, auth_exclude_mechanism=['LOGIN', 'PLAIN'])
        if args.auth:
            options.update(authenticator=authenticator, auth_required=True,
                           auth_exclude_mechanism=['LOGIN'])
        return Sink(self.handler, **options)


controller = SinkController(Handler(), hostname=args.host, port=args.port)
controller.start()
print('READY', flush=True)
try:
    while True:
        asyncio.run(asyncio.sleep(3600))
finally:
    controller.stop()
