#!/usr/bin/python3
"""Independent reading of one mail message (bytes on stdin) with Python's email package.

Prints JSON: for Subject, From and To the bytes that email.header.decode_header yields
(encoded words and plain text joined as the recipient's program joins them), for the body the
bytes of msg.get_payload(decode=True); each as
  jis:  the ISO-2022-JP bytes (hex),
  euc:  the same text re-framed as EUC-JP (hex), for `iconv -f EUC-JP-MS`, which knows the
        NEC row 13 (①) that Python's iso2022_jp codec lacks,
  sjis: the same text re-framed as Shift_JIS (hex) by the usual JIS to Shift_JIS formula,
        for `iconv -f CP932`, which also knows the NEC-selected IBM rows 89-92 (髙),
  py:   Python's own iso2022_jp decoding, or null when that codec refuses the bytes,
and a list of rule violations on the wire (8-bit bytes, long lines, a line ending in the
double-byte set, an encoded word over 75 characters, an unknown escape)."""
import base64
import email
import email.header
import email.utils
import json
import re
import sys

violations = []


def jis_to_euc(jis, where):
    out = bytearray()
    two = False
    i = 0
    while i < len(jis):
        c = jis[i]
        if c == 0x1B:
            seq = bytes(jis[i:i + 3])
            if seq in (b'\x1b$B', b'\x1b$@'):
                two = True
            elif seq in (b'\x1b(B', b'\x1b(J'):
                two = False
            else:
                violations.append('%s: unknown escape %r' % (where, seq))
            i += 3
            continue
        if c >= 0x80:
            violations.append('%s: 8-bit byte %02x' % (where, c))
        if two:
            if c in (0x0D, 0x0A):
                violations.append('%s: line break in the double-byte set' % where)
                out.append(c)
                i += 1
                continue
            if i + 1 >= len(jis):
                violations.append('%s: half a double-byte character' % where)
                break
            out += bytes([c | 0x80, jis[i + 1] | 0x80])
            i += 2
        else:
            out.append(c)
            i += 1
    if two:
        violations.append('%s: ends in the double-byte set' % where)
    return bytes(out)


def jis_to_sjis(jis):
    out = bytearray()
    two = False
    i = 0
    while i < len(jis):
        if jis[i] == 0x1B:
            two = bytes(jis[i:i + 3]) in (b'\x1b$B', b'\x1b$@')
            i += 3
        elif two and i + 1 < len(jis):
            j1, j2 = jis[i], jis[i + 1]
            s1 = ((j1 + 1) >> 1) + (0x70 if j1 <= 0x5E else 0xB0)
            if j1 & 1:
                s2 = j2 + 0x1F
                if s2 >= 0x7F:
                    s2 += 1
            else:
                s2 = j2 + 0x7E
            out += bytes([s1, s2])
            i += 2
        else:
            out.append(jis[i])
            i += 1
    return bytes(out)


def describe(jis, where):
    try:
        py = jis.decode('iso2022_jp')
    except UnicodeDecodeError:
        py = None
    return {'jis': jis.hex(), 'euc': jis_to_euc(jis, where).hex(), 'sjis': jis_to_sjis(jis).hex(), 'py': py}


def header(msg, name):
    raw = msg.get(name)
    if raw is None:
        return None
    for line in str(raw).split('\r\n'):
        if len(line) > 998:
            violations.append('%s: line over 998 characters' % name)
    for word in re.findall(r'=\?[^?]*\?[bBqQ]\?[^?]*\?=', str(raw)):
        if len(word) > 75 and name == 'Subject':
            violations.append('%s: encoded word of %d characters' % (name, len(word)))
        if not word.upper().startswith('=?ISO-2022-JP?B?'):
            violations.append('%s: unexpected charset in %s' % (name, word))
        # Each word must stand alone: whole characters, back in ASCII at its end.
        payload = base64.b64decode(word[16:-2])
        jis_to_euc(payload, name + ' word')
    if name in ('From', 'To') and len(email.utils.getaddresses([str(raw)])) != 1:
        violations.append('%s: not one address: %r' % (name, email.utils.getaddresses([str(raw)])))
    joined = b''
    for part, charset in email.header.decode_header(str(raw)):
        joined += part if isinstance(part, bytes) else part.encode('ascii')
    result = describe(joined, name)
    # The same header as separate pieces (plain text and each encoded word's bytes), the way
    # a reader decodes every encoded word on its own; blanks between two words are dropped.
    pieces = []
    parts = email.header.ecre.split(str(raw).replace('\r\n', ''))
    while parts:
        plain = parts.pop(0)
        between_words = plain.isspace() and parts and pieces and pieces[-1][1]
        if plain and not between_words:
            pieces.append((plain.encode('ascii'), False))
        if parts:
            parts.pop(0)  # charset
            parts.pop(0)  # encoding
            pieces.append((base64.b64decode(parts.pop(0)), True))
    result['pieces'] = [p.hex() for p, _ in pieces]
    return result


def main():
    data = sys.stdin.buffer.read()
    for b in data:
        if b >= 0x80:
            violations.append('message: 8-bit byte %02x' % b)
            break
    head, _, body = data.partition(b'\r\n\r\n')
    for line in body.split(b'\r\n'):
        if len(line) > 76:
            violations.append('body: line of %d characters' % len(line))
    msg = email.message_from_bytes(data)
    result = {name: header(msg, name) for name in ('Subject', 'From', 'To')}
    if msg.get('Content-Transfer-Encoding', '').lower() != 'base64':
        violations.append('body: not base64')
    if msg.get_content_charset() != 'iso-2022-jp':
        violations.append('body: charset %s' % msg.get_content_charset())
    result['body'] = describe(msg.get_payload(decode=True), 'body')
    result['violations'] = violations
    json.dump(result, sys.stdout)


main()
