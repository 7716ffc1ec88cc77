#!/usr/bin/python3
"""wmping.py DISPLAY WINDOW [INTERVAL_MS]: asks a window's owner every
INTERVAL_MS (default 10) whether it is alive, with the _NET_WM_PING message a
window manager sends, until SIGTERM. A toolkit answers from the thread that
handles its events (Qt: the GUI thread), so the time to the answer is how long
that thread could not get to it.

Prints one line per ping once it ends: "SENT LATENCY", both in seconds, SENT
on the system's monotonic clock (the one time.monotonic() reads in any
process), LATENCY "-" for a ping still unanswered at the end.
"""

import select
import signal
import sys
import time

from Xlib import X, display, protocol


def main(display_name, window_id, interval_s):
    connection = display.Display(display_name)
    root = connection.screen().root
    # The answer goes to the root window, for whoever listens there to its
    # own changes (Qt) or to its children's (Xlib programs).
    root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
    wm_protocols = connection.intern_atom("WM_PROTOCOLS")
    ping = connection.intern_atom("_NET_WM_PING")
    window = connection.create_resource_object("window", window_id)

    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    sent, answered = [], {}
    next_ping = time.monotonic()
    while not stopping:
        now = time.monotonic()
        if now >= next_ping:
            # The timestamp field comes back as it went: it carries the number.
            message = protocol.event.ClientMessage(window=window, client_type=wm_protocols,
                                                   data=(32, [ping, len(sent), window_id, 0, 0]))
            # No mask: the message goes to the client that made the window.
            window.send_event(message, event_mask=0)
            connection.flush()
            sent.append(now)
            next_ping += interval_s
            if next_ping < now:
                next_ping = now + interval_s
        select.select([connection.fileno()], [], [], max(0.0, next_ping - time.monotonic()))
        for _ in range(connection.pending_events()):
            event = connection.next_event()
            arrived = time.monotonic()
            if event.type == X.ClientMessage and event.client_type == wm_protocols:
                fields = event.data[1]
                if fields[0] == ping and fields[2] == window_id and fields[1] < len(sent):
                    answered.setdefault(fields[1], arrived)
    for number, at in enumerate(sent):
        latency = answered.get(number)
        print("%.6f %s" % (at, "%.6f" % (latency - at) if latency is not None else "-"))
    sys.stdout.flush()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    main(sys.argv[1], int(sys.argv[2], 0), (float(sys.argv[3]) if len(sys.argv) == 4 else 10.0) / 1000)
