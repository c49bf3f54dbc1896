#!/usr/bin/python3
"""Reads one saved mail (path given) with Python's email package and prints JSON: the header
field names in order, the raw and the decoded values of From, To and Subject, the display
names and addresses as email.utils reads them, and the body decoded from Base64 and its
declared charset; under "default" the same read with the package's default policy (what
current programs built on it show), with every defect it found. Independent of the
program's own encoders."""
import email
import email.header
import email.policy
import email.utils
import json
import sys


def decoded(value):
    if value is None:
        return None
    return str(email.header.make_header(email.header.decode_header(value)))


raw = open(sys.argv[1], 'rb').read()
msg = email.message_from_bytes(raw)
out = {
    'fields': [k for k, _ in msg.items()],
    'raw': {k: v for k, v in msg.items()},
    'subject': decoded(msg['Subject']),
    'from': decoded(msg['From']),
    'to': decoded(msg['To']),
    'content_type': msg.get_content_type(),
    'charset': msg.get_content_charset(),
    'cte': msg['Content-Transfer-Encoding'],
    'date': msg['Date'],
    'date_parsed': email.utils.parsedate_to_datetime(msg['Date']).isoformat() if msg['Date'] else None,
}
for key in ('From', 'To'):
    if msg[key] is not None:
        name, addr = email.utils.parseaddr(msg[key])
        out[key.lower() + '_name'] = decoded(name) if '=?' in name else name
        out[key.lower() + '_addr'] = addr
payload = msg.get_payload(decode=True)
out['body'] = payload.decode(msg.get_content_charset() or 'ascii')
out['body_7bit'] = all(b < 0x80 for b in raw)
out['max_line'] = max(len(l) for l in raw.split(b'\r\n'))

strict = email.message_from_bytes(raw, policy=email.policy.default)
default = {'defects': [str(d) for d in strict.defects]}
for key in ('Subject', 'From', 'To', 'Message-ID', 'List-Unsubscribe', 'List-Unsubscribe-Post', 'X-Tsubame-Token'):
    value = strict[key]
    if value is None:
        continue
    default[key] = str(value)
    default['defects'] += ['%s: %s' % (key, d) for d in value.defects]
    if key in ('From', 'To'):
        addresses = value.addresses
        default[key.lower() + '_names'] = [a.display_name for a in addresses]
        default[key.lower() + '_addrs'] = [a.addr_spec for a in addresses]
default['charset'] = strict.get_content_charset()
default['body'] = strict.get_content()
out['default'] = default
print(json.dumps(out, ensure_ascii=False))
