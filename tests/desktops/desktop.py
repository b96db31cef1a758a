"""What every desktop offers the checks. What a desktop gives no way to drive or observe raises
NotAvailable with the reason, and the check is "n/a" there."""

import os
import shutil
import subprocess

from support import NotAvailable, as_user, press

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
DEFAULTS = {"size_note": "", "placement": "", "placed_as_fixed": True, "close": None}


class Desktop:
    wayland = False
    press_note = " (pressed through the accessibility bus)"

    def __init__(self, name, processes, work, binary, shots, user=None):
        self.name, self.processes, self.work, self.binary, self.shots = (
            name, processes, work, binary, shots)
        self.user = user  # the user the program runs as, when not this one
        self.observed = []
        self.rundir, self.home, self.runtime = (work / f"{name}.{part}"
                                                for part in ("run", "home", "xdg"))
        self.rundir.mkdir()
        self.rundir.chmod(0o777)  # the program may run as another user
        self.home.mkdir()
        self.runtime.mkdir(mode=0o700)
        if user:
            for folder in self.home, self.runtime:
                shutil.chown(folder, user, "nogroup")
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
        pressed = press(name, self.env, self.user)
        if pressed is not True:
            raise AssertionError(f'"{name}" not pressed through the accessibility bus'
                                 + (f": {pressed[0]}" if pressed else ": not found"))

    def ensure_about(self):
        if not self.about_shown() and not self.open_about():
            raise AssertionError("About does not open")

    def shoot(self, command, name, made="screenshot.png", failure=None):
        if not self.shots:
            raise NotAvailable("no folder for screenshots given (--shots)")
        subprocess.run(as_user(self.user) + command, cwd=self.rundir, env=self.env, timeout=10,
                       capture_output=True)
        taken = sorted(self.rundir.glob(made))
        if not taken:
            raise AssertionError(failure or f"{command[0]} took no screenshot")
        return shutil.move(taken[-1], self.shots / f"{name}.png")
