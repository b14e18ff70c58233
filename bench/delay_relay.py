#!/usr/bin/env python3
"""A TCP relay on the loopback interface that stands in for a wide-area link: every chunk it
reads is held for a one-way delay before it is passed on, in each direction, so a round trip
through it costs twice the delay on top of loopback. With a rate cap, each direction also
sends no faster than the rate, a chunk's delay counting from the end of its sending.

Usage: delay_relay.py TARGET_PORT ONE_WAY_MS [MBIT_PER_S]

Listens on a free port of 127.0.0.1, prints 'listening on 127.0.0.1:PORT' once ready and
relays every connection to 127.0.0.1:TARGET_PORT, in order. Each direction holds at most WINDOW
bytes, like a TCP window: past that it stops reading and the sender waits. Threads rather than
an event loop, whose timers wake up to a millisecond late."""
import collections
import socket
import sys
import threading
import time

WINDOW = 8 << 20


def pump(src, dst, delay, rate):
    """Passes what src receives to dst, each chunk held until it is due."""
    chunks = collections.deque()  # (due, data); data None at the end
    held = 0
    gone = False  # dst failed: stop receiving
    changed = threading.Condition()

    def send():
        nonlocal held
        link_free = 0.0
        while True:
            with changed:
                changed.wait_for(lambda: chunks)
                due, data = chunks.popleft()
            if data is None:
                break
            if rate:
                link_free = max(link_free, due) + len(data) / rate
                due = link_free
            wait = due - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            dst.sendall(data)
            with changed:
                held -= len(data)
                changed.notify_all()
        dst.shutdown(socket.SHUT_WR)

    def receive():
        nonlocal held
        try:
            while True:
                with changed:
                    changed.wait_for(lambda: held < WINDOW or gone)
                    if gone:
                        break
                data = src.recv(65536)
                if not data:
                    break
                with changed:
                    held += len(data)
                    chunks.append((time.monotonic() + delay, data))
                    changed.notify_all()
        except OSError:
            pass
        with changed:
            chunks.append((0.0, None))
            changed.notify_all()

    threading.Thread(target=receive, daemon=True).start()
    try:
        send()
    except OSError:
        # The far side is gone: drop the connection on both sides, and end the receiver.
        with changed:
            gone = True
            changed.notify_all()
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def relay(client, target, delay, rate):
    try:
        server = socket.create_connection(("127.0.0.1", target))
    except OSError:
        client.close()
        return
    for s in (client, server):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    up = threading.Thread(target=pump, args=(client, server, delay, rate), daemon=True)
    up.start()
    pump(server, client, delay, rate)
    up.join()
    client.close()
    server.close()


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.split("\n\n")[1])
    target, delay = int(sys.argv[1]), float(sys.argv[2]) / 1000
    rate = float(sys.argv[3]) * 1e6 / 8 if len(sys.argv) == 4 else 0.0
    listener = socket.create_server(("127.0.0.1", 0))
    print("listening on 127.0.0.1:%d" % listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=relay, args=(client, target, delay, rate), daemon=True).start()


main()
