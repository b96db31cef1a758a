"""What every desktop's checks share: bounded waits, the stop of a process with its group, and the
program's own trace of what it said to a Wayland compositor."""

import os
import re
import signal
import time

MAIN_TITLE = "Quorvel! 1.1"
ABOUT_TITLE = "About Quorvel!"


class NotAvailable(Exception):
    """The desktop gives no way to drive or observe what a check needs."""


def wait_for(condition, timeout):
    """Polls `condition` until it gives a true value or `timeout` seconds pass: its last value."""
    deadline = time.monotonic() + timeout
    while not (value := condition()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return value


def until(read, wanted, timeout):
    """What `read()` gives once it gives `wanted`, or when `timeout` seconds have passed."""
    return wanted if wait_for(lambda: read() == wanted, timeout) else read()


def need(condition, timeout, failure):
    value = wait_for(condition, timeout)
    if not value:
        raise RuntimeError(failure)
    return value


def settle(condition, timeout, quiet=0.5):
    """The value of `condition()` once it stays the same for `quiet` seconds (a manager may place
    and size a window more than once), or its last when `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    last, since = condition(), time.monotonic()
    while time.monotonic() < deadline and time.monotonic() - since < quiet:
        time.sleep(0.1)
        if (now := condition()) != last:
            last, since = now, time.monotonic()
    return last


def as_user(user):
    """The command prefix that runs a program as `user` (sway refuses root)."""
    return ["setpriv", f"--reuid={user}", "--regid=nogroup", "--clear-groups"] if user else []


def stop(process, timeout=3):
    """Stops `process` and the process group it leads."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            break
        # The group may outlive its leader.
        if wait_for(lambda: process.poll() is not None and not group_alive(process.pid), timeout):
            break


def group_alive(pgid):
    try:
        os.killpg(pgid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


class WaylandTrace:
    """What the program asked of the compositor and was told, from libwayland's own trace of the
    client (WAYLAND_DEBUG=client), per window title. A title names the newest window that bears it
    (Qt makes a new one for each showing). libwayland 1.22 names an object interface@id, 1.23
    interface#id."""

    CALL = re.compile(r"(->)?\s*(\w+)[@#](\d+)\.(\w+)\((.*)\)\s*$")
    OBJECT = re.compile(r"(\w+)[@#](\d+)")
    NUMBER = re.compile(r"(?<![\w@#])-?\d+(?![\w@#])")

    def __init__(self, path):
        try:
            text = path.read_text(errors="replace")
        except OSError:
            text = ""
        self.decorations = "zxdg_decoration_manager_v1" in text
        self.attached = re.search(r"wl_surface[@#]\d+\.attach\(wl_buffer", text) is not None
        # xdg_toplevel -> its xdg_surface; xdg_surface -> its wl_surface, and back; title -> the
        # newest xdg_toplevel; title -> how many bore it; (field, object) -> the field's value
        self.toplevel_surface, self.surface_of, self.xdg_of = {}, {}, {}
        self.newest, self.titles_shown, self.fields = {}, {}, {}
        self.pending = {}  # xdg_surface -> a configure acknowledged, no frame since
        self.destroyed = set()  # xdg_toplevels
        self.keyboard, self.keyboards = None, 0  # who had it last; how often the seat had one
        for line in text.splitlines():
            if call := self.CALL.search(line):
                self.take(bool(call[1]), *call.group(2, 3, 4, 5))

    def take(self, request, interface, object_id, method, args):
        objects = dict(self.OBJECT.findall(args))
        numbers = [int(n) for n in self.NUMBER.findall(args)]
        size = "x".join(map(str, numbers[:2]))
        if not request:
            if interface == "xdg_toplevel" and method == "configure":
                states = re.search(r"array\[(\d+)\]", args)
                count = int(states[1]) // 4 if states else 0
                self.fields["configure", object_id] = f"{size} ({count} states)"
            elif interface == "wl_keyboard" and method == "enter":
                self.keyboard = objects.get("wl_surface")
            elif interface == "wl_seat" and method == "capabilities" and numbers and numbers[0] & 2:
                self.keyboards += 1
        elif interface == "xdg_surface" and method == "get_toplevel":
            # The id of a destroyed object is given to the next new one.
            self.destroyed.discard(objects.get("xdg_toplevel"))
            self.toplevel_surface[objects.get("xdg_toplevel")] = object_id
        elif interface == "xdg_wm_base" and method == "get_xdg_surface":
            self.surface_of[objects.get("xdg_surface")] = objects.get("wl_surface")
            self.xdg_of[objects.get("wl_surface")] = objects.get("xdg_surface")
        elif interface == "xdg_surface" and method == "ack_configure":
            self.pending[object_id] = True
        elif interface == "wl_surface" and method == "commit" and object_id in self.xdg_of:
            self.pending[self.xdg_of[object_id]] = False
        elif interface == "xdg_toplevel" and method == "set_title":
            title = args.strip().strip('"')
            self.newest[title] = object_id
            self.titles_shown[title] = self.titles_shown.get(title, 0) + 1
        elif interface == "xdg_toplevel" and method in ("set_min_size", "set_max_size"):
            self.fields[method[4:7], object_id] = size
        elif interface == "xdg_toplevel" and method == "destroy":
            self.destroyed.add(object_id)
        elif interface == "xdg_surface" and method == "set_window_geometry":
            self.fields["geometry", object_id] = "x".join(map(str, numbers[2:4]))

    def window(self, title, field):
        toplevel = self.newest.get(title)
        xdg = self.toplevel_surface.get(toplevel)
        if toplevel is None or field == "committed":
            return toplevel and not self.pending.get(xdg, False)
        return self.fields.get((field, xdg if field == "geometry" else toplevel))

    def keyboard_holder(self):
        """"main", "About" or "none": the window that got the keyboard last."""
        for title, name in ((MAIN_TITLE, "main"), (ABOUT_TITLE, "About")):
            xdg = self.toplevel_surface.get(self.newest.get(title))
            if self.keyboard is not None and self.surface_of.get(xdg) == self.keyboard:
                return name
        return "none"

    def shown(self, title):
        return self.titles_shown.get(title, 0)

    def showing(self, title):
        toplevel = self.newest.get(title)
        return toplevel is not None and toplevel not in self.destroyed

    def mapped(self):
        return self.shown(MAIN_TITLE) and self.attached
