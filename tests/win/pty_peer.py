#!/usr/bin/env python3
"""A switcher stand-in on a pseudo-terminal for the Windows tests.

Opens a pty, prints the path of its slave side on one line, and answers every
status query (0A 42 01 00 08 08 00 FF 01 5D) with a 21-byte status reply:
0xAA, 19 bytes, then the sum of bytes 1..19 mod 256. Every other byte is
ignored. It ends on SIGTERM or SIGINT, or after --lifetime seconds, so that a
forgotten peer cannot outlive its test run for long.
"""
import argparse
import os
import select
import signal
import sys
import time
import tty

STATUS_QUERY = bytes([0x0A, 0x42, 0x01, 0x00, 0x08, 0x08, 0x00, 0xFF, 0x01, 0x5D])


def status_reply():
    body = bytes([0x00])                  # not interpreted
    body += bytes(range(1, 9))            # output k shows input k
    body += bytes([1, 0, 1, 0, 0, 0, 0, 1])  # signal on inputs 1, 3 and 8
    body += bytes([1, 0])                 # power on, model byte 0 (K700 8x8)
    return bytes([0xAA]) + body + bytes([sum(body) & 0xFF])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--link", help="also make this path a symlink to the slave")
    parser.add_argument("--lifetime", type=float, default=600.0)
    args = parser.parse_args()

    master, slave = os.openpty()
    tty.setraw(slave)  # no echo, no line editing: bytes pass as they are
    slave_path = os.ttyname(slave)
    if args.link:
        try:
            os.unlink(args.link)
        except FileNotFoundError:
            pass
        os.symlink(slave_path, args.link)

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    print(slave_path, flush=True)

    reply = status_reply()
    assert len(reply) == 21
    window = b""
    deadline = time.monotonic() + args.lifetime
    # The slave stays open here too, so that the master never sees a hang-up
    # between the test's opens and closes of the port.
    while not stop and time.monotonic() < deadline:
        try:
            ready, _, _ = select.select([master], [], [], 0.2)
        except InterruptedError:
            continue
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            time.sleep(0.05)
            continue
        for b in data:
            window = (window + bytes([b]))[-len(STATUS_QUERY):]
            if window == STATUS_QUERY:
                os.write(master, reply)
                window = b""
    if args.link:
        try:
            os.unlink(args.link)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
