#!/usr/bin/python3
# Prints what a mail reader sees in a mail file: one line per leaf part with
# its content type, its decoded file name and the size of its decoded body,
# and writes each leaf's decoded body to <out folder>/<n>.bin.
import email
import email.header
import email.policy
import os
import sys

path, out = sys.argv[1], sys.argv[2]
with open(path, 'rb') as f:
    data = f.read()
# The relay's captured mail ends with the "." line of the SMTP data.
if data.endswith(b'\r\n.\r\n'):
    data = data[:-3]
msg = email.message_from_bytes(data, policy=email.policy.compat32)
print('top', msg.get_content_type(), msg.get('X-Sorvant', ''), msg.get('Message-ID', ''))
n = 0
for part in msg.walk():
    if part.is_multipart():
        continue
    n += 1
    name = part.get_filename() or ''
    if name:
        name = str(email.header.make_header(email.header.decode_header(name)))
    body = part.get_payload(decode=True) or b''
    with open(os.path.join(out, '%d.bin' % n), 'wb') as f:
        f.write(body)
    print(n, part.get_content_type(), name, len(body))
