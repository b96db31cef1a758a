"""What every desktop's checks share: bounded waits, processes that end with their manager's turn,
and the program's own trace of what it said to a Wayland compositor."""

import os
import pathlib
import re
import signal
import subprocess
import time

MAIN_TITLE = "Quorvel! 1.1"
ABOUT_TITLE = "About Quorvel!"
HERE = pathlib.Path(__file__).resolve().parent


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
    """What `wait_for` gives, which the turn cannot go without."""
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


class Processes:
    """Processes started for one manager's turn, each in a process group of its own with its
    output in a log; all of them are stopped at the end of the turn."""

    def __init__(self, work):
        self.work, self.started = work, []

    def spawn(self, name, argv, env, **options):
        log = self.work / f"{name}.log"
        with open(log, "wb") as out:
            process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.STDOUT, start_new_session=True, **options)
        process.log = log
        self.started.append(process)
        return process

    def stop_all(self):
        while self.started:
            stop(self.started.pop())


def stop(process, timeout=3):
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


def session_bus(processes, name, env, user=None):
    """A private D-Bus session, so that no desktop session is touched; its address."""
    bus = processes.spawn(f"{name}.bus", as_user(user) + [
        "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"], env)
    return need(lambda: bus.log.read_text().strip().splitlines()[:1], 10, "no D-Bus session")[0]


def start_accessibility_bus(env, user=None):
    """Starts the accessibility bus on demand: Qt joins it only where it is already there."""
    subprocess.run(as_user(user) + [
        "dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
        "org.a11y.Bus.GetAddress"], env=env, capture_output=True, timeout=10)


def press(name, env, user=None):
    """Presses the program's menu item `name` through the accessibility bus, as a screen reader's
    user may; true when it was found and pressed, else what went wrong. (A process of its own: the
    accessibility library keeps the first bus it meets. Its text goes in on standard input: the
    other user may not reach this folder.)"""
    try:
        done = subprocess.run(as_user(user) + ["/usr/bin/python3", "-", name], env=env,
                              input=(HERE / "atspi_press.py").read_bytes(), capture_output=True,
                              timeout=20)
    except subprocess.TimeoutExpired:
        return "the accessibility bus did not answer within 20 s"
    return done.returncode == 0 or done.stderr.decode(errors="replace").strip().splitlines()[-1:]


class WaylandTrace:
    """What the program asked of the compositor and was told, from libwayland's own trace of the
    client (WAYLAND_DEBUG=client), per window title. A title names the newest window that bears it
    (Qt makes a new one for each showing). libwayland 1.22 names an object interface@id, 1.23
    interface#id."""

    CALL = re.compile(r"(->)?\s*(\w+)[@#](\d+)\.(\w+)\((.*)\)\s*$")
    OBJECT = re.compile(r"(\w+)[@#](\d+)")
    NUMBER = re.compile(r"(?<![\w@#])-?\d+(?![\w@#])")

    def __init__(self, path):
        self.path = path
        self.parse()

    def parse(self):
        self.toplevel_surface = {}  # xdg_toplevel -> xdg_surface
        self.surface_of = {}  # xdg_surface -> wl_surface
        self.xdg_of = {}  # wl_surface -> xdg_surface
        self.pending = {}  # xdg_surface -> a configure acknowledged, no frame since
        self.newest = {}  # title -> xdg_toplevel
        self.titles_shown = {}  # title -> how many windows bore it
        self.fields = {}  # (field, xdg_toplevel or, for the geometry, xdg_surface) -> its value
        self.destroyed = set()  # xdg_toplevels
        self.keyboard = None
        self.keyboards = 0  # how many times the seat said it has a keyboard
        self.decorations = self.attached = False
        try:
            text = self.path.read_text(errors="replace")
        except OSError:
            text = ""
        for line in text.splitlines():
            self.decorations |= "zxdg_decoration_manager_v1" in line
            if call := self.CALL.search(line):
                self.take(bool(call[1]), call[2], call[3], call[4], call[5])
        return self

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
        elif interface == "wl_surface" and method == "attach":
            self.attached |= args.startswith("wl_buffer")
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
        """The newest window with `title`: its min, max, geometry, configure or committed."""
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
        """How many windows bore `title` so far."""
        return self.titles_shown.get(title, 0)

    def showing(self, title):
        toplevel = self.newest.get(title)
        return toplevel is not None and toplevel not in self.destroyed

    def mapped(self):
        """The main window asked for and given a buffer."""
        return self.parse().shown(MAIN_TITLE) and self.attached
