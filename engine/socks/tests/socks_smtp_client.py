"""One mail through a SOCKS 5 proxy with smtplib and python3-socks.

    socks_smtp_client.py PROXY_PORT SMTP_PORT

Sends a short mail from a@example.org to b@example.org to the SMTP server
on 127.0.0.1:SMTP_PORT through the proxy on 127.0.0.1:PROXY_PORT and
prints "sent" once the server has accepted it.
"""
import smtplib
import sys

import socks

proxy_port, smtp_port = int(sys.argv[1]), int(sys.argv[2])


class SocksSMTP(smtplib.SMTP):
    def _get_socket(self, host, port, timeout):
        return socks.create_connection((host, port), timeout, proxy_type=socks.SOCKS5, proxy_addr="127.0.0.1",
                                       proxy_port=proxy_port)


with SocksSMTP("127.0.0.1", smtp_port, timeout=20) as smtp:
    smtp.sendmail("a@example.org", ["b@example.org"],
                  "From: a@example.org\r\nTo: b@example.org\r\nSubject: through socks\r\n\r\nHello over SOCKS.\r\n")
print("sent", flush=True)
