"""What every desktop offers the checks. What a desktop gives no way to drive or observe raises
NotAvailable with the reason, and the check is "n/a" there."""

import os
import pathlib
import shutil
import subprocess

from support import NotAvailable, as_user, need, stop

HERE = pathlib.Path(__file__).resolve().parent
# The desktop's methods that a check may call, and what a desktop without one cannot do.
CANNOT = {
    "size": "read a window's size", "fixed_size": "read the size hints",
    "asked": "read the sizes a window asks for", "motif_functions": "read Motif hints",
    "allowed_actions": "read the actions it offers", "decorations": "tell who draws the frame",
    "try_state": "ask for a window state", "try_resize": "resize a window from outside",
    "screenshot": "take a screenshot", "about_in_front": "tell which window is in front",
    "activate_main_while_about": "activate a window", "click_main_while_about": "click a window",
    "minimize_about": "minimize a window", "close_about": "close a window",
    "minimize_about_as_it_comes": "minimize a window as it comes", "close_main": "close a window",
}
# What the other methods give where a desktop has nothing to add.
DEFAULTS = {"size_note": "", "placement": (True, ""), "close": None}


class Desktop:
    family = "x11"
    press_note = " (pressed through the accessibility bus)"
    user = None  # who runs the program and what it talks to, when not this user

    def __init__(self, name, work, binary, shots):
        self.name, self.work, self.binary, self.shots = name, work, binary, shots
        self.started = []  # each process in a group of its own, with its output in a log
        self.rundir, self.home, self.runtime = (work / f"{name}.{part}"
                                                for part in ("run", "home", "xdg"))
        self.rundir.mkdir()
        self.rundir.chmod(0o777)  # the program may run as another user
        self.home.mkdir()
        self.runtime.mkdir(mode=0o700)
        if self.user:
            for folder in self.home, self.runtime:
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

    def start_program(self, binary, **env):
        # The accessibility bus is started on demand: Qt joins it only where it is already there.
        self.tool(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                   "/org/a11y/bus", "org.a11y.Bus.GetAddress"])
        self.program = self.spawn("program", [str(binary)], self.rundir,
                                  QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **env)

    def alive(self):
        return self.program.poll() is None

    def written(self):
        # The file WRITE OUT writes by default, complete: CR LF at its end.
        try:
            data = (self.rundir / "bot's_name").read_bytes()
        except OSError:
            return None
        return len(data) if data.endswith(b"\r\n") else None

    def menu(self, name):
        """Presses the menu item `name` through the accessibility bus, as a screen reader's user
        may. (A process of its own: the accessibility library keeps the first bus it meets. Its
        text goes in on standard input: the other user may not reach this folder.)"""
        try:
            done = self.tool(["/usr/bin/python3", "-", name], 20,
                             input=(HERE / "atspi_press.py").read_bytes())
        except subprocess.TimeoutExpired:
            why = "the accessibility bus did not answer within 20 s"
        else:
            if done.returncode == 0:
                return
            why = (done.stderr.decode(errors="replace").strip().splitlines() or ["not found"])[-1]
        raise AssertionError(f'"{name}" not pressed through the accessibility bus: {why}')

    def ensure_about(self):
        if not self.about_shown() and not self.open_about():
            raise AssertionError("About does not open")

    def shoot(self, command, name, made="screenshot.png", failure=None):
        if not self.shots:
            raise NotAvailable("no folder for screenshots given (--shots)")
        self.tool(command, cwd=self.rundir)
        taken = sorted(self.rundir.glob(made))
        if not taken:
            raise AssertionError(failure or f"{command[0]} took no screenshot")
        return shutil.move(taken[-1], self.shots / f"{name}.png")
