#!/usr/bin/env python3
"""A point-to-point link with a fixed delay between two network namespaces, in user space
(for kernels without netem): delay_link.py NS_A ADDR_A NS_B ADDR_B ONE_WAY_MS

Each namespace gets a TUN device "pvlink" with its address (a /30); every packet read from
one side is written to the other ONE_WAY_MS later, in order. Prints "ready" once both ends
are up and runs until it is terminated."""
import ctypes
import fcntl
import heapq
import os
import select
import signal
import struct
import subprocess
import sys
import time

CLONE_NEWNET = 0x40000000
TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
DEVICE = "pvlink"

libc = ctypes.CDLL(None, use_errno=True)


def enter(namespace):
    with open("/var/run/netns/" + namespace) as f:
        if libc.setns(f.fileno(), CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns " + namespace)


def open_tun():
    fd = os.open("/dev/net/tun", os.O_RDWR | os.O_NONBLOCK)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", DEVICE.encode(), IFF_TUN | IFF_NO_PI))
    return fd


def configure(namespace, address):
    for args in (["ip", "link", "set", "lo", "up"],
                 ["ip", "addr", "add", address + "/30", "dev", DEVICE],
                 ["ip", "link", "set", DEVICE, "up", "mtu", "1500"]):
        subprocess.run(["ip", "netns", "exec", namespace] + args, check=True)


def main():
    ns_a, addr_a, ns_b, addr_b, delay_ms = sys.argv[1:6]
    delay = float(delay_ms) / 1000.0
    with open("/proc/self/ns/net") as home:
        enter(ns_a)
        fd_a = open_tun()
        enter(ns_b)
        fd_b = open_tun()
        libc.setns(home.fileno(), CLONE_NEWNET)
    configure(ns_a, addr_a)
    configure(ns_b, addr_b)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print("ready", flush=True)

    other = {fd_a: fd_b, fd_b: fd_a}
    queue = []  # (due, sequence, target fd, packet)
    sequence = 0
    while True:
        timeout = max(0.0, queue[0][0] - time.monotonic()) if queue else None
        readable, _, _ = select.select([fd_a, fd_b], [], [], timeout)
        now = time.monotonic()
        for fd in readable:
            while True:
                try:
                    packet = os.read(fd, 65536)
                except BlockingIOError:
                    break
                sequence += 1
                heapq.heappush(queue, (now + delay, sequence, other[fd], packet))
        now = time.monotonic()
        while queue and queue[0][0] <= now:
            _, _, target, packet = heapq.heappop(queue)
            try:
                os.write(target, packet)
            except OSError:
                pass


if __name__ == "__main__":
    main()
