#!/usr/bin/python3
"""A loopback SMTP server that misbehaves on purpose, for the tests of reply bounds.

Greets every connection with "220 hostile ESMTP", reads one command line (EHLO) and then:
  --mode endless   answers with "250-" lines as fast as the client takes them, never a last
                   line, until --max-bytes have gone (then it keeps quiet);
  --mode trickle   answers with one "250-" line every --interval seconds; after --lines of
                   them it ends the reply with "250 done" and then accepts nothing further.

Prints "READY <port>" on stdout when it listens, then serves until stdin closes or it is
killed.
"""
import argparse
import socket
import sys
import threading
import time


def serve(conn, a):
    try:
        conn.sendall(b'220 hostile ESMTP\r\n')
        data = b''
        while b'\n' not in data:
            more = conn.recv(4096)
            if not more:
                return
            data += more
        if a.mode == 'endless':
            chunk = b'250-' + b'x' * 60 + b'\r\n'
            block = chunk * 1024
            sent = 0
            while sent < a.max_bytes:
                conn.sendall(block)
                sent += len(block)
            time.sleep(3600)
        else:
            for i in range(a.lines):
                conn.sendall(b'250-line %d\r\n' % i)
                time.sleep(a.interval)
            conn.sendall(b'250 done\r\n')
            time.sleep(3600)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--mode', choices=['endless', 'trickle'], required=True)
    p.add_argument('--interval', type=float, default=1.0)
    p.add_argument('--lines', type=int, default=10)
    p.add_argument('--max-bytes', type=int, default=256 * 1024 * 1024)
    a = p.parse_args()

    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', 0))
    server.listen(8)

    def accept():
        while True:
            try:
                conn, _ = server.accept()
            except OSError:
                return
            threading.Thread(target=serve, args=(conn, a), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    print('READY %d' % server.getsockname()[1], flush=True)
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    main()
