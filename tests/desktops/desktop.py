"""What every desktop offers the checks, and the bounded waits they share. What a desktop gives no
way to drive or observe raises NotAvailable with the reason: the check is "n/a" there."""

import os
import pathlib
import shutil
import signal
import subprocess
import time

MAIN_TITLE, ABOUT_TITLE = "Quorvel! 1.1", "About Quorvel!"
TITLES = {"main": MAIN_TITLE, "About": ABOUT_TITLE}
# The methods a desktop may lack, and what a desktop without one cannot do.
CANNOT = {
    "allowed_actions": "read the actions it offers", "try_state": "ask for a window state",
    "try_resize": "resize a window from outside", "click_main_while_about": "click a window",
    "about_in_front": "tell which window is in front", "minimize_about": "minimize a window",
    "activate_main_while_about": "activate a window", "close_main": "close a window",
    "minimize_about_as_it_comes": "minimize a window as it comes", "close_about": "close a window"}
DEFAULTS = {"placement": (True, ""), "close": None}  # where a desktop has nothing to add


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
    if not (value := wait_for(condition, timeout)):
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
    """Stops `process` and the process group it leads, which may outlive its leader."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            break
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


class Desktop:
    family = "x11"
    press_note = " (pressed through the accessibility bus)"
    user = None  # who runs the program and what it talks to, when not this user
    shot = None  # the command that takes a screenshot in the run folder, what it makes, why not

    def __init__(self, name, work, binary, shots):
        self.name, self.work, self.binary, self.shots = name, work, binary, shots
        self.started = []  # each process in a group of its own, with its output in a log
        self.rundir, self.home, self.runtime = (work / f"{name}.{part}"
                                                for part in ("run", "home", "xdg"))
        # The program may run as another user: it writes in the first, and owns the others.
        for folder, mode in ((self.rundir, 0o777), (self.home, 0o755), (self.runtime, 0o700)):
            folder.mkdir()
            folder.chmod(mode)
            if self.user and folder != self.rundir:
                shutil.chown(folder, self.user, "nogroup")
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(HOME=str(self.home), XDG_RUNTIME_DIR=str(self.runtime))

    def __getattr__(self, name):
        if name in DEFAULTS:
            return lambda *_: DEFAULTS[name]
        if name not in CANNOT:
            raise AttributeError(name)
        return lambda *_: self.unavailable(CANNOT[name])

    def unavailable(self, what):
        raise NotAvailable(f"{self.name} gives no way to {what}")

    def spawn(self, part, argv, cwd=None, **env):
        log = self.work / f"{self.name}.{part}.log"
        with open(log, "wb") as out:
            process = subprocess.Popen(as_user(self.user) + argv, env=dict(self.env, **env),
                                       cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.STDOUT, start_new_session=True)
        process.log = log
        self.started.append(process)
        return process

    def stop_all(self):
        while self.started:
            stop(self.started.pop())

    def tool(self, command, timeout=10, **options):
        return subprocess.run(as_user(self.user) + command, env=self.env, capture_output=True,
                              timeout=timeout, **options)

    def start_bus(self):
        """A private D-Bus session, so that no desktop session is touched."""
        bus = self.spawn("bus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                 "--print-address=1"])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = need(
            lambda: bus.log.read_text().strip().splitlines()[:1], 10, "no D-Bus session")[0]

    def start_program(self, **env):
        # The accessibility bus is started on demand: Qt joins it only where it is already there.
        self.tool(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                   "/org/a11y/bus", "org.a11y.Bus.GetAddress"])
        self.program = self.spawn("program", [str(self.binary)], self.rundir,
                                  QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **env)

    def alive(self):
        return self.program.poll() is None

    def written(self):
        # The file WRITE OUT writes by default, complete: CR LF at its end.
        path = self.rundir / "bot's_name"
        data = path.read_bytes() if path.exists() else b""
        return len(data) if data.endswith(b"\r\n") else None

    def menu(self, name):
        """Presses the menu item `name` through the accessibility bus, in a process of its own (the
        library keeps the first bus it meets) read from stdin (the other user may not reach it)."""
        try:
            done = self.tool(["/usr/bin/python3", "-", name], 20,
                             input=pathlib.Path(__file__).with_name("atspi_press.py").read_bytes())
        except subprocess.TimeoutExpired:
            why = "the accessibility bus did not answer within 20 s"
        else:
            if done.returncode == 0:
                return
            why = (done.stderr.decode(errors="replace").strip().splitlines() or ["not found"])[-1]
        raise AssertionError(f'"{name}" not pressed through the accessibility bus: {why}')

    def screenshot(self, name):
        if not self.shot:
            self.unavailable("take a screenshot")
        if not self.shots:
            raise NotAvailable("no folder for screenshots given (--shots)")
        command, made, failure = self.shot
        self.shots.mkdir(parents=True, exist_ok=True)
        self.tool(command, cwd=self.rundir)
        if not (taken := sorted(self.rundir.glob(made))):
            raise AssertionError(failure)
        return shutil.move(taken[-1], self.shots / f"{name}.png")
