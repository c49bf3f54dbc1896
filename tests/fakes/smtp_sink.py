#!/usr/bin/python3
"""A loopback SMTP sink for the delivery tests that count what arrived, on aiosmtpd.

Keeps no message; appends one line per recipient to the log as the server answers for it,
flushed at once so that a reader sees it even when the sender is killed a moment later:
  <seconds since the epoch> accepted <address>   the mail's final "." was answered 250
  <seconds since the epoch> deferred <address>   RCPT answered 451
  <seconds since the epoch> rejected <address>   RCPT answered 550

Prints "READY <port>" on stdout when it listens, then runs until stdin closes or it is
killed. Options:
  --log FILE          the log (required)
  --defer-tenth       answer 451 to RCPT the first time for a tenth of the addresses (those
                      whose CRC-32 is a multiple of ten), 250 afterwards
  --reject SUBSTR     answer 550 to RCPT for addresses containing SUBSTR (repeatable)
  --data-delay SECS   wait this long before answering the mail's final "." (a slow server)
"""
import argparse
import asyncio
import socket
import sys
import threading
import time
import zlib

from aiosmtpd.controller import Controller


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def defers_first(address):
    return zlib.crc32(address.encode('utf-8', 'replace')) % 10 == 0


class Handler:
    def __init__(self, log, defer_tenth, rejects, data_delay=0.0):
        self.log = log
        self.data_delay = data_delay
        self.defer_tenth = defer_tenth
        self.rejects = rejects
        self.deferred = set()
        self.lock = threading.Lock()

    def write(self, kind, addresses):
        with self.lock:
            now = time.time()
            for a in addresses:
                self.log.write('%.6f %s %s\n' % (now, kind, a))
            self.log.flush()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if any(r in address for r in self.rejects):
            self.write('rejected', [address])
            return '550 5.1.1 <%s>: Recipient address rejected' % address
        if self.defer_tenth and defers_first(address):
            with self.lock:
                first = address not in self.deferred
                self.deferred.add(address)
            if first:
                self.write('deferred', [address])
                return '451 4.7.1 <%s>: Try again later' % address
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        if self.data_delay > 0:
            await asyncio.sleep(self.data_delay)
        self.write('accepted', envelope.rcpt_tos)
        return '250 2.0.0 Ok: queued'


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--log', required=True)
    p.add_argument('--defer-tenth', action='store_true')
    p.add_argument('--reject', action='append', default=[])
    p.add_argument('--data-delay', type=float, default=0.0)
    a = p.parse_args()

    log = open(a.log, 'a', encoding='utf-8')
    port = free_port()
    controller = Controller(Handler(log, a.defer_tenth, a.reject, a.data_delay), hostname='127.0.0.1', port=port,
                            ready_timeout=20, auth_exclude_mechanism=['LOGIN', 'PLAIN'])
    controller.start()
    print('READY %d' % port, flush=True)
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass
    controller.stop()
    log.close()


if __name__ == '__main__':
    main()
