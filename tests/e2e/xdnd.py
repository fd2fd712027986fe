#!/usr/bin/env python3
"""Drops URIs on an X window as a file manager does, by the XDND protocol:
enter, position, the target's status, drop, and the selection's data handed
over when the target asks for it; then waits for the target's "finished".

    xdnd.py --window WID --at X Y URI...     (X and Y inside the window)

Prints "accepted" or "refused" and exits 0 when the target took part in the
whole exchange (a refusal by status is an answer too), 1 when it did not.
Uses python3-xlib, Debian's X protocol library for Python.
"""
import argparse
import select
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event

VERSION = 5


class Source:
    def __init__(self, window_id, uris):
        self.d = display.Display()
        self.root = self.d.screen().root
        self.window = self.root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        self.target = self.d.create_resource_object("window", window_id)
        self.data = "".join(uri + "\r\n" for uri in uris).encode()
        self.atom = {name: self.d.intern_atom(name) for name in (
            "XdndAware", "XdndSelection", "XdndEnter", "XdndPosition", "XdndStatus", "XdndLeave",
            "XdndDrop", "XdndFinished", "XdndActionCopy", "text/uri-list", "TARGETS")}

    def send(self, kind, *data):
        message = event.ClientMessage(window=self.target, client_type=self.atom[kind],
                                      data=(32, list(data) + [0] * (5 - len(data))))
        self.target.send_event(message, event_mask=0)
        self.d.flush()

    def answer(self, request):
        """Hands over the URI list (or the list of what can be had) as asked."""
        prop = request.property or request.target
        if request.target == self.atom["text/uri-list"]:
            request.requestor.change_property(prop, self.atom["text/uri-list"], 8, self.data)
        elif request.target == self.atom["TARGETS"]:
            request.requestor.change_property(prop, Xatom.ATOM, 32,
                                              [self.atom["TARGETS"], self.atom["text/uri-list"]])
        else:
            prop = X.NONE
        notify = event.SelectionNotify(time=request.time, requestor=request.requestor,
                                       selection=request.selection, target=request.target, property=prop)
        request.requestor.send_event(notify, event_mask=0)
        self.d.flush()

    def wait_for(self, kind, seconds):
        """Serves selection requests until the target's `kind` message arrives."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while self.d.pending_events():
                e = self.d.next_event()
                if e.type == X.SelectionRequest:
                    self.answer(e)
                elif e.type == X.ClientMessage and e.client_type == self.atom[kind]:
                    return e.data[1][1]
            select.select([self.d.fileno()], [], [], 0.1)
        return None

    def drop(self, x, y):
        aware = self.target.get_full_property(self.atom["XdndAware"], Xatom.ATOM)
        if not aware or not aware.value:
            print("the window takes no drops (no XdndAware)")
            return 1
        version = min(VERSION, aware.value[0])
        self.window.set_selection_owner(self.atom["XdndSelection"], X.CurrentTime)
        at = self.root.translate_coords(self.target, x, y)
        self.send("XdndEnter", self.window.id, version << 24, self.atom["text/uri-list"])
        self.send("XdndPosition", self.window.id, 0, (at.x << 16) | at.y, X.CurrentTime,
                  self.atom["XdndActionCopy"])
        status = self.wait_for("XdndStatus", 20)
        if status is None:
            print("no status from the window")
            return 1
        if not status & 1:
            self.send("XdndLeave", self.window.id)
            print("refused")
            return 0
        self.send("XdndDrop", self.window.id, 0, X.CurrentTime)
        if self.wait_for("XdndFinished", 20) is None:
            print("the window never finished the drop")
            return 1
        print("accepted")
        return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--window", required=True, type=lambda v: int(v, 0))
    parser.add_argument("--at", nargs=2, type=int, required=True)
    parser.add_argument("uris", nargs="+")
    args = parser.parse_args()
    return Source(args.window, args.uris).drop(*args.at)


if __name__ == "__main__":
    sys.exit(main())
