#!/usr/bin/python3
"""A loopback SMTP server for the delivery tests, on aiosmtpd.

Offers STARTTLS with a certificate made at start (openssl req -x509) and AUTH LOGIN, and
saves every message it accepts as NNNNNN.eml (the bytes as received) beside NNNNNN.json
(envelope sender, recipients, whether TLS was on, the authenticated user).

Prints "READY <port>" on stdout when it listens, then runs until stdin closes or it is
killed. Options:
  --dir DIR            where messages go (required)
  --user U --password P   the only account AUTH LOGIN accepts
  --no-tls             do not offer STARTTLS
  --no-auth            do not offer AUTH
  --auth-required      refuse MAIL before a successful AUTH
  --reject SUBSTR      refuse RCPT TO for addresses containing SUBSTR (repeatable)
  --implicit-tls       speak TLS from the first byte (SMTPS) instead of offering STARTTLS
  --mechanisms M,M     the AUTH mechanisms offered, of LOGIN, PLAIN and CRAM-MD5 (default LOGIN)
  --cert-name NAME     the name the self-signed certificate is made out to (default localhost)
"""
import argparse
import asyncio
import hmac
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult, LoginPassword


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, folder, rejects, user=None, password=None):
        self.folder = folder
        self.rejects = rejects
        self.user = user
        self.password = password
        self.count = 0
        self.lock = threading.Lock()

    # RFC 2195; aiosmtpd names the mechanism after the method ("__" becomes "-").
    async def auth_CRAM__MD5(self, server, args):
        challenge = ('<%d.%d@127.0.0.1>' % (os.getpid(), time.time_ns())).encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=False)
        user, _, digest = response.partition(b' ')
        expected = hmac.new(self.password.encode(), challenge, 'md5').hexdigest().encode()
        ok = user == self.user.encode() and hmac.compare_digest(digest, expected)
        if ok:
            server.session.test_login = self.user
        return AuthResult(success=ok, handled=False)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if any(r in address for r in self.rejects):
            return '550 5.1.1 <%s>: Recipient address rejected' % address
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.folder, '%06d' % n)
        with open(base + '.eml.part', 'wb') as f:
            f.write(envelope.original_content)
        meta = {
            'from': envelope.mail_from,
            'to': envelope.rcpt_tos,
            'tls': session.ssl is not None or server.transport.get_extra_info('ssl_object') is not None,
            'auth': getattr(session, 'test_login', None),
        }
        with open(base + '.json', 'w') as f:
            json.dump(meta, f)
        os.rename(base + '.eml.part', base + '.eml')
        return '250 2.0.0 Ok: queued as %06d' % n


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--dir', required=True)
    p.add_argument('--user', default='user')
    p.add_argument('--password', default='password')
    p.add_argument('--no-tls', action='store_true')
    p.add_argument('--no-auth', action='store_true')
    p.add_argument('--auth-required', action='store_true')
    p.add_argument('--reject', action='append', default=[])
    p.add_argument('--implicit-tls', action='store_true')
    p.add_argument('--mechanisms', default='LOGIN')
    p.add_argument('--cert-name', default='localhost')
    a = p.parse_args()
    os.makedirs(a.dir, exist_ok=True)

    kwargs = {}
    ssl_context = None
    if not a.no_tls or a.implicit_tls:
        cert = os.path.join(a.dir, 'cert.pem')
        key = os.path.join(a.dir, 'key.pem')
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key,
                        '-out', cert, '-days', '1', '-subj', '/CN=' + a.cert_name],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(cert, key)
        if a.implicit_tls:
            ssl_context = ctx
        else:
            kwargs['tls_context'] = ctx

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (mechanism in ('LOGIN', 'PLAIN') and isinstance(auth_data, LoginPassword)
              and auth_data.login == a.user.encode() and auth_data.password == a.password.encode())
        if ok:
            session.test_login = auth_data.login.decode('utf-8', 'replace')
        return AuthResult(success=ok, handled=False)

    if a.no_auth:
        kwargs['auth_exclude_mechanism'] = ['LOGIN', 'PLAIN', 'CRAM-MD5']
    else:
        offered = a.mechanisms.upper().split(',')
        kwargs['authenticator'] = authenticator
        kwargs['auth_exclude_mechanism'] = [m for m in ('LOGIN', 'PLAIN', 'CRAM-MD5') if m not in offered]
    kwargs['auth_require_tls'] = False
    kwargs['auth_required'] = a.auth_required

    port = free_port()
    controller = Controller(Handler(a.dir, a.reject, a.user, a.password), hostname='127.0.0.1', port=port,
                            ready_timeout=20, ssl_context=ssl_context, **kwargs)
    controller.start()
    print('READY %d' % port, flush=True)
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass
    controller.stop()


if __name__ == '__main__':
    main()
