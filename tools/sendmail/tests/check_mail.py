"""Prints what a mail reader sees of a saved mail, one "key: value" a line."""
import email
import email.header
import sys

msg = email.message_from_bytes(open(sys.argv[1], "rb").read())
print("to: %s" % msg["To"])
print("cc: %s" % msg["CC"])
parts = email.header.decode_header(msg["Subject"])
print("subject-words: %d" % len(parts))
print("subject: %s" % str(email.header.make_header(parts)))
print("type: %s" % msg.get_content_type())
for part in msg.walk():
    if part.is_multipart():
        continue
    name = part.get_filename()
    payload = part.get_payload(decode=True)
    if name:
        raw = part.get_payload()
        print("attach %s: %s lines=%s" % (name, payload.hex(), ",".join(str(len(l)) for l in raw.split())))
    else:
        print("text-type: %s charset=%s" % (part.get_content_type(), part.get_content_charset()))
        print("text: %r" % payload.decode(part.get_content_charset() or "ascii"))
