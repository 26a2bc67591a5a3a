"""What the X server and a window manager say about windows (properties,
focus, stacking, the taskbar's view) and the client messages a pager or a
close button sends; the desktop sessions in desktops.py read through it.
"""

import os

from Xlib import X, Xatom, error
from Xlib.protocol import event, rq


# python3-xlib 0.33 declares RRSetMonitor but cannot pack it (its MonitorInfo
# has a variable length), so the request is spelled out flat.
class SetMonitor(rq.Request):
    _request = rq.Struct(
        rq.Card8("opcode"), rq.Opcode(43), rq.RequestLength(), rq.Window("window"),
        rq.Card32("name"), rq.Bool("primary"), rq.Bool("automatic"), rq.LengthOf("outputs", 2),
        rq.Int16("x"), rq.Int16("y"), rq.Card16("width"), rq.Card16("height"),
        rq.Card32("mm_width"), rq.Card32("mm_height"), rq.List("outputs", rq.Card32Obj))


class DeleteMonitor(rq.Request):
    _request = rq.Struct(
        rq.Card8("opcode"), rq.Opcode(44), rq.RequestLength(), rq.Window("window"),
        rq.Card32("name"))


class WindowManagerState:
    """Reads and messages over the connection `self.x`, whose screen's root
    window is `self.root`."""

    def _managed(self):
        # The check window must be live and point at itself (a dead manager
        # leaves a stale id), and someone must hold the root's redirect.
        check = self.prop(self.root, "_NET_SUPPORTING_WM_CHECK")
        return (bool(check) and self.prop(check[0], "_NET_SUPPORTING_WM_CHECK") == check
                and bool(self.root.get_attributes().all_event_masks & X.SubstructureRedirectMask))

    def _owned(self, selection):
        return self.x.get_selection_owner(self._atom(selection)) != X.NONE

    def _atom(self, name):
        return self.x.intern_atom(name)

    def _window(self, wid):
        return wid if hasattr(wid, "id") else self.x.create_resource_object("window", wid)

    def prop(self, wid, name):
        """A property's values (bytes for strings); None if it or the window is gone."""
        try:
            value = self._window(wid).get_full_property(self._atom(name), X.AnyPropertyType)
        except error.BadWindow:
            return None
        if value is None:
            return None
        return value.value if value.format == 8 else list(value.value)

    def title(self, wid):
        name = self.prop(wid, "_NET_WM_NAME") or self.prop(wid, "WM_NAME") or b""
        return name.decode(errors="replace")

    def active_window(self):
        value = self.prop(self.root, "_NET_ACTIVE_WINDOW")
        return value[0] if value and value[0] else None

    def input_focus(self):
        """The focus window's id; None for None or PointerRoot."""
        focus = self.x.get_input_focus().focus
        return None if focus in (X.NONE, X.PointerRoot) else focus.id

    def focus_within(self, wid):
        """Whether the input focus is on the window or one inside it."""
        focus = self.input_focus()
        while focus and focus != self.root.id:
            if focus == wid:
                return True
            focus = self._window(focus).query_tree().parent.id
        return False

    def stacking(self):
        """_NET_CLIENT_LIST_STACKING, bottom to top; None where not offered."""
        return self.prop(self.root, "_NET_CLIENT_LIST_STACKING")

    def frame_of(self, wid):
        """The child of the root that holds the window (itself if unframed)."""
        while (parent := self._window(wid).query_tree().parent.id) != self.root.id:
            wid = parent
        return wid

    def is_above(self, a, b):
        """Whether window a is drawn above window b, by the server's own
        order of the root's children: it holds under any manager."""
        order = [w.id for w in self.root.query_tree().children]
        return order.index(self.frame_of(a)) > order.index(self.frame_of(b))

    def client_message(self, target, kind, data, window=None):
        """Sends a client message about `window` (default: target); to the root, to the manager."""
        target = self._window(target)
        message = event.ClientMessage(window=self._window(window or target.id),
                                      client_type=self._atom(kind),
                                      data=(32, (list(data) + [0] * 5)[:5]))
        to_root = target.id == self.root.id
        target.send_event(message, event_mask=X.SubstructureRedirectMask
                          | X.SubstructureNotifyMask if to_root else 0)
        self.x.flush()

    def close_window(self, wid):
        """Closes a window as its close button would."""
        if self._atom("_NET_CLOSE_WINDOW") in (self.prop(self.root, "_NET_SUPPORTED") or []):
            self.client_message(self.root, "_NET_CLOSE_WINDOW", [X.CurrentTime, 2], window=wid)
        else:
            self.client_message(wid, "WM_PROTOCOLS",
                                [self._atom("WM_DELETE_WINDOW"), X.CurrentTime])

    def taskbar_entries(self):
        """Titles a taskbar would list: managed windows not skipping the
        taskbar, of type normal, dialog or none."""
        listed = {self._atom("_NET_WM_WINDOW_TYPE_NORMAL"), self._atom("_NET_WM_WINDOW_TYPE_DIALOG")}
        skip = self._atom("_NET_WM_STATE_SKIP_TASKBAR")
        titles = []
        for wid in self.prop(self.root, "_NET_CLIENT_LIST") or []:
            kinds = self.prop(wid, "_NET_WM_WINDOW_TYPE")
            if skip not in (self.prop(wid, "_NET_WM_STATE") or []) and (not kinds or kinds[0] in listed):
                titles.append(self.title(wid))
        return titles

    def demands_attention(self, wid):
        return self._atom("_NET_WM_STATE_DEMANDS_ATTENTION") in (self.prop(wid, "_NET_WM_STATE") or [])


class Launcher:
    """What a desktop launcher does for a program it starts, on a connection
    `x` of its own: a startup id stamped with the server's time of the
    user's action, and the program's startup notification that ends the
    launch's busy feedback ("remove: ID=...")."""

    def __init__(self, x):
        self.x = x
        root = self.x.screen().root
        root.change_attributes(event_mask=X.PropertyChangeMask)
        self.window = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent,
                                         event_mask=X.PropertyChangeMask)
        self.kinds = [self.x.intern_atom(n) for n in ("_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO")]
        self.parts, self.messages = {}, []

    def startup_id(self):
        self.window.change_property(self.x.intern_atom("_MARGLET_LAUNCH"), Xatom.STRING, 8, b"",
                                    mode=X.PropModeAppend)
        while (e := self._next()).type != X.PropertyNotify or e.window.id != self.window.id:
            pass
        return f"marglet-test-{os.getpid()}_TIME{e.time}"

    def told(self, message):
        while self.x.pending_events():
            self._next()
        return message in self.messages

    def _next(self):
        e = self.x.next_event()
        if e.type == X.ClientMessage and e.client_type in self.kinds:
            part = self.parts.pop(e.window.id, b"") if e.client_type == self.kinds[1] else b""
            part += bytes(e.data[1])
            if b"\0" in part:
                self.messages.append(part.split(b"\0")[0].decode(errors="replace"))
            else:
                self.parts[e.window.id] = part
        return e

    def close(self):
        try:
            self.x.close()
        except error.ConnectionClosedError:
            pass  # the server went first
