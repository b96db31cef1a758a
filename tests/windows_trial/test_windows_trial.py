"""The Windows program as a Windows user meets it, under Wine on a virtual X display.

The installer runs silently in a Wine folder of its own; the program is started from its
Start-menu entry and driven with keys, as a user would; its file is compared with the one the
Linux program writes for the same values. Screenshots go to build-windows/trial/.
Run by tools/windows-trial (which also names the options).
"""

import os
import pathlib
import shutil
import subprocess
import tempfile
import time

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
TITLE = "Quorvel! 1.1"
ABOUT_TITLE = "About Quorvel!"
FILE_NAME = "bot's_name"


def wait_for(condition, what, timeout=60):
    """Polls `condition` until it gives a true value, for at most `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {timeout} s")
        time.sleep(0.1)


class Desktop:
    """An X server with a window manager, and the tools that look at it and press keys."""

    def __init__(self, shots):
        self.shots = shots
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as display:
            self.display = ":" + display.readline().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm = subprocess.Popen(["openbox"], env=self.env, stderr=subprocess.DEVNULL)
        try:
            self.wait_for_manager()
        except BaseException:
            self.close()  # the X server and the manager end with a failed start too
            raise

    def wait_for_manager(self):
        wait_for(lambda: self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").returncode == 0
                 and "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout,
                 "window manager")

    def run(self, *command, **kwargs):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, **kwargs)

    def window(self, title):
        found = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$")
        ids = found.stdout.split()
        return ids[0] if ids else None

    def wait_window(self, title, timeout=90):
        return wait_for(lambda: self.window(title), f'window "{title}"', timeout)

    def wait_gone(self, title, timeout=30):
        wait_for(lambda: not self.window(title), f'closing of "{title}"', timeout)

    def size(self, window):
        out = self.run("xwininfo", "-id", window).stdout
        fields = dict(line.strip().split(": ", 1) for line in out.splitlines() if ": " in line)
        return int(fields["Width"]), int(fields["Height"])

    def keys(self, window, *keys):
        """Activates `window` and presses `keys` in turn (through XTEST, as a keyboard does)."""
        self.run("xdotool", "windowactivate", "--sync", window)
        for key in keys:
            self.run("xdotool", "key", "--clearmodifiers", key)

    def shoot(self, name, window="root"):
        self.shots.mkdir(parents=True, exist_ok=True)
        self.run("import", "-window", window, str(self.shots / f"{name}.png"))

    def close(self):
        self.wm.terminate()
        self.xvfb.terminate()
        self.wm.wait()
        self.xvfb.wait()


class Wine:
    """A Wine folder of its own, with a home of its own, so that nothing reaches the machine's."""

    def __init__(self, desktop, top):
        self.top = top
        self.home = top / "home"
        self.home.mkdir()
        self.env = dict(desktop.env, HOME=str(self.home), WINEPREFIX=str(top / "prefix"),
                        WINEDEBUG="-all",
                        # No Mono or Gecko to offer; no menu entries on this machine's desktop.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.run("wineboot", "--init")
        self.wait_idle()
        user = os.environ.get("USER") or pathlib.Path.home().name
        self.user_dir = top / "prefix" / "drive_c" / "users" / user
        self.documents = self.user_dir / "Documents"
        self.programs = self.user_dir / "AppData" / "Local" / "Programs" / "Quorvel"
        self.shortcut = (self.user_dir / "AppData" / "Roaming" / "Microsoft" / "Windows" /
                         "Start Menu" / "Programs" / "Quorvel.lnk")

    def run(self, *command, timeout=300):
        return subprocess.run(command, env=self.env, capture_output=True, text=True,
                              timeout=timeout)

    def start(self, *command):
        return subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def wait_idle(self, timeout=120):
        """Until every program in this Wine folder has ended (wineserver outlives them)."""
        self.run("wineserver", "--wait", timeout=timeout)

    def registry(self):
        return (self.top / "prefix" / "user.reg").read_text(errors="replace")


@pytest.fixture(scope="session")
def desktop(request):
    shots = pathlib.Path(request.config.getoption("--shots"))
    d = Desktop(shots)
    yield d
    d.close()


@pytest.fixture(scope="session")
def wine(desktop):
    top = pathlib.Path(tempfile.mkdtemp(prefix="quorvel-wine-"))
    w = Wine(desktop, top)
    yield w
    w.run("wineserver", "--kill")
    shutil.rmtree(top, ignore_errors=True)


@pytest.fixture(scope="session")
def installer(request):
    path = pathlib.Path(request.config.getoption("--installer"))
    assert path.is_file(), f"{path} is missing: tools/build-windows package"
    return path


@pytest.fixture(scope="session")
def linux_file(desktop, request):
    """What the Linux program writes for its first values: WRITE OUT from its Create menu."""
    program = pathlib.Path(request.config.getoption("--linux-program")).resolve()
    assert program.is_file(), f"{program} is missing: build the Linux program first"
    folder = pathlib.Path(tempfile.mkdtemp(prefix="quorvel-linux-"))
    env = dict(desktop.env, QT_QPA_PLATFORM="xcb")
    process = subprocess.Popen([str(program)], cwd=folder, env=env,
                               stderr=subprocess.DEVNULL)
    try:
        window = desktop.wait_window(TITLE)
        write_from_menu(desktop, window)
        data = wait_for(lambda: (folder / FILE_NAME).is_file() and (folder / FILE_NAME).read_bytes(),
                        "file from the Linux program")
    finally:
        process.terminate()
        process.wait()
        desktop.wait_gone(TITLE)
    shutil.rmtree(folder)
    return data


def write_from_menu(desktop, window):
    """Create > Write-Out Your Config File, by keyboard: Alt to the menu bar, two menus right."""
    desktop.keys(window, "alt", "Right", "Right", "Down", "Return")


@pytest.fixture(scope="session")
def program(desktop, wine, installer, linux_file):
    """The program as installed and started from its Start-menu entry; closed at the end.
    The Linux program's file is made first, so that only one window bears the title."""
    result = wine.run("wine", str(installer.resolve()), "/S")
    assert result.returncode == 0, result.stderr
    wine.wait_idle()
    process = wine.start("wine", "start", "/unix", str(wine.shortcut))
    window = desktop.wait_window(TITLE)
    yield window
    if desktop.window(TITLE):
        desktop.keys(window, "alt+F4")
        desktop.wait_gone(TITLE)
    process.wait(timeout=60)
    wine.wait_idle()


def test_installer_puts_the_program_its_entry_and_its_uninstaller_in_place(program, wine):
    for name in ("quorvel.exe", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
                 "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "uninstall.exe",
                 "licences/Qt-LGPL-3.0-only.txt"):
        assert (wine.programs / name).is_file(), name
    assert wine.shortcut.is_file()
    registry = wine.registry()
    assert "Uninstall\\\\Quorvel" in registry
    assert '"DisplayName"="Quorvel"' in registry


def test_window_shows_its_six_pages_and_its_menus(program, desktop):
    width, height = desktop.size(program)
    assert width > 400 and height > 300, (width, height)
    desktop.shoot("window", program)
    for page in range(1, 6):
        desktop.keys(program, "ctrl+Tab")
        desktop.shoot(f"page-{page + 1}", program)
    desktop.keys(program, "ctrl+Tab")  # back to the first
    for menu, rights in (("file", 0), ("templates", 1), ("create", 2), ("help", 3)):
        desktop.keys(program, "alt", *["Right"] * rights, "Down")
        desktop.shoot(f"menu-{menu}")
        desktop.keys(program, "Escape", "Escape")


def test_write_out_puts_the_linux_programs_file_in_documents(program, desktop, wine, linux_file):
    target = wine.documents / FILE_NAME
    target.unlink(missing_ok=True)
    write_from_menu(desktop, program)
    written = wait_for(lambda: target.is_file() and target.read_bytes(), "file in Documents")
    assert written == linux_file


def windows_titled(desktop, title):
    found = desktop.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$")
    return found.stdout.split()


def test_failed_write_shows_its_message_and_changes_nothing(program, desktop, wine):
    target = wine.documents / FILE_NAME
    before = target.read_bytes()
    dos_name = "C:\\users\\" + wine.user_dir.name + "\\Documents\\" + FILE_NAME
    assert wine.run("wine", "attrib", "+r", dos_name).returncode == 0
    try:
        write_from_menu(desktop, program)
        # The message box bears the window's title.
        box = wait_for(lambda: [w for w in windows_titled(desktop, TITLE) if w != program],
                       "message box")[0]
        desktop.shoot("failure", box)
        desktop.keys(box, "Return")
        wait_for(lambda: windows_titled(desktop, TITLE) == [program], "message box closed")
    finally:
        wine.run("wine", "attrib", "-r", dos_name)
    assert target.read_bytes() == before


def test_about_opens_and_closes_and_the_window_works_again(program, desktop, wine):
    # Help > About...: the fourth menu, its second entry.
    desktop.keys(program, "alt", "Right", "Right", "Right", "Down", "Down", "Return")
    about = desktop.wait_window(ABOUT_TITLE, timeout=30)
    desktop.shoot("about", about)
    desktop.keys(about, "Return")
    desktop.wait_gone(ABOUT_TITLE)
    target = wine.documents / FILE_NAME
    target.unlink()
    write_from_menu(desktop, program)
    wait_for(target.is_file, "file written after About")


def test_uninstaller_leaves_nothing_of_the_program(program, desktop, wine):
    desktop.keys(program, "alt+F4")
    desktop.wait_gone(TITLE)
    wine.wait_idle()
    result = wine.run("wine", "C:\\users\\" + wine.user_dir.name +
                      "\\AppData\\Local\\Programs\\Quorvel\\uninstall.exe", "/S")
    assert result.returncode == 0, result.stderr
    # The uninstaller goes on from a copy of itself in the temporary folder.
    wine.wait_idle()
    assert not wine.programs.exists(), list(wine.programs.rglob("*"))
    assert not wine.shortcut.exists()
    assert "Uninstall\\\\Quorvel" not in wine.registry()
    # What the user wrote stays.
    assert (wine.documents / FILE_NAME).is_file()
