"""Headless Wayland compositors. The program's own trace of the protocol (WAYLAND_DEBUG=client)
says what size each window asks for, what it is told and which window has the keyboard; each
compositor is driven the one way it takes from a tool: sway by its IPC, mutter by keys through its
remote desktop interface on D-Bus, KWin by its scripting interface on D-Bus."""

import contextlib
import functools
import os
import shutil

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

from desktop import Desktop  # noqa: E402
from support import (ABOUT_TITLE, MAIN_TITLE, NotAvailable, WaylandTrace, need,  # noqa: E402
                     settle, until, wait_for)

TITLES = {"main": MAIN_TITLE, "About": ABOUT_TITLE}
SOCKET = "quorvel-desktops"


class WaylandDesktop(Desktop):
    family = "wayland"

    def launch(self, command=None, binary=None, **env):
        self.env.setdefault("WAYLAND_DISPLAY", SOCKET)
        self.start_bus()
        if command:
            self.wm = self.spawn("wm", command, **env)
            need(lambda: (self.runtime / SOCKET).exists(), 30, f"{self.name} did not start")
        self.start_program(binary or self.binary, WAYLAND_DEBUG="client",
                           QT_QPA_PLATFORM="wayland", QT_IM_MODULE="compose")
        need(lambda: self.trace.mapped(), 30,
             f"no main window within 30 s (log: {self.program.log})")
        settle(lambda: self.trace.window(MAIN_TITLE, "configure"), 5, quiet=1)
        if not self.alive():
            raise RuntimeError("the program ended")

    @property
    def trace(self):
        return WaylandTrace(self.program.log)

    @functools.cached_property
    def bus(self):
        flags = Gio.DBusConnectionFlags
        return Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            flags.AUTHENTICATION_CLIENT | flags.MESSAGE_BUS_CONNECTION, None, None)

    def call(self, path, interface, method, args=None, reply=None):
        return self.bus.call_sync(self.DEST, path, interface, method, args,
                                  reply and GLib.VariantType(reply), 0, 10000, None)

    def window(self, which, field):
        return self.trace.window(TITLES[which], field)

    def abouts(self):
        return self.trace.shown(ABOUT_TITLE)

    def about_shown(self):
        return self.trace.showing(ABOUT_TITLE)

    def open_about(self):
        before = self.abouts()
        self.menu("About...")
        return wait_for(lambda: self.abouts() > before and self.about_shown(), 5)

    def asked(self, which):
        return self.window(which, "min"), self.window(which, "max")

    def fixed_size(self, which):
        raise NotAvailable("the window's size includes the title bar Qt draws: judged by the"
                           " size it asks for (fixed size asked)")

    size = fixed_size

    def size_note(self, which):
        return (f" (window {self.window(which, 'geometry')} with its title bar);"
                f" compositor's last size {self.window(which, 'configure')}")

    def decorations(self):
        return ("the compositor offers its own (xdg-decoration)" if self.trace.decorations
                else "none offered: Qt draws its own title bar")

    def keyboard_holder(self):
        return self.trace.keyboard_holder()

    def settled_holder(self):
        return settle(self.keyboard_holder, 3)

    def about_back_since(self, count):
        return self.abouts() > count and self.keyboard_holder() == "About"


class Weston(WaylandDesktop):
    """A headless weston has no seat: nothing can be typed or clicked; what the program asks for,
    a screenshot and the accessibility bus remain."""

    def start(self):
        # Versions of weston name the headless backend and the pixman renderer differently.
        help_text = self.tool(["weston", "--help"], text=True).stdout
        backend = "headless-backend.so" if "headless-backend.so" in help_text else "headless"
        renderer = "--use-pixman" if "--use-pixman" in help_text else "--renderer=pixman"
        self.launch(["weston", f"--backend={backend}", renderer, f"--socket={SOCKET}",
                    "--idle-time=0", "--width=1280", "--height=800", "--no-config", "--debug"])

    def screenshot(self, name):
        return self.shoot(["weston-screenshooter"], name, "wayland-screenshot-*.png",
                          "weston-screenshooter failed")

    def unavailable(self, what):
        raise NotAvailable(f"a headless weston has no seat, and no other way to {what}")


class Sway(WaylandDesktop):
    """sway refuses root: run as root, the suite runs it and its clients as nobody. It is asked
    and watched through its IPC."""

    user = "nobody" if os.getuid() == 0 else None

    def start(self):
        import i3ipc
        config, sock = self.home / "config", self.runtime / "sway.sock"
        config.write_text("output HEADLESS-1 resolution 1280x800\nxwayland disable\n")
        self.spawn("wm", ["sway", "-c", str(config)], SWAYSOCK=str(sock),
                   WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        # sway names its Wayland socket itself.
        socket = need(lambda: sorted(self.runtime.glob("wayland-[0-9]")), 30, "sway did not start")
        need(sock.exists, 10, "sway did not start")
        self.env["WAYLAND_DISPLAY"] = socket[0].name
        self.ipc = i3ipc.Connection(socket_path=str(sock))
        # A copy the user can reach wherever the build is (the program links no library of ours).
        copy = self.work / "quorvel"
        shutil.copy(self.binary, copy)
        copy.chmod(0o755)
        self.launch(binary=copy)

    def node(self, which):
        return next((node for node in self.ipc.get_tree().descendants()
                     if node.name == TITLES[which] and (node.pid or 0) > 0), None)

    def flag(self, which, name="visible"):
        node = self.node(which)
        return bool(node and node.ipc_data.get(name))

    def say(self, which, command):
        self.ipc.command(f'[title="^{TITLES[which]}$"] {command}')

    def size(self, which):
        node = self.node(which)
        return f"{node.window_rect.width}x{node.window_rect.height}" if node else None

    def fixed_size(self, which):
        low, high = self.asked(which)
        return low if low == high else None

    def placement(self, which):
        kind = self.node(which).type
        return kind == "floating_con", f", {kind}"

    def try_state(self, which, state):
        if state != "full screen":
            raise NotAvailable("sway has no maximizing")
        fixed = self.fixed_size(which)
        self.say(which, "fullscreen enable")
        during = settle(lambda: self.size(which), 3)
        self.say(which, "fullscreen disable")
        after = settle(lambda: self.size(which), 3)
        return after == fixed and self.alive(), (f"{during} while asked, {after} after"
                                                 f" (fixed {fixed})")

    def try_resize(self, which, width, height):
        fixed = self.fixed_size(which)
        self.say(which, f"resize set {width} {height}")
        wait_for(lambda: self.size(which) != fixed, 1.5)
        size = until(lambda: self.size(which), fixed, 3)
        if size != fixed:  # sway's sizes include its border: given back with it
            (w, h), (fw, fh) = map(int, size.split("x")), map(int, fixed.split("x"))
            self.say(which, f"resize set {fw + width - w} {fh + height - h}")
        return size == fixed, f"{size} (fixed {fixed}), by swaymsg resize set"

    def front(self):
        focused = self.flag("About", "focused")
        floating = [n.name for n in self.ipc.get_tree().workspaces()[0].floating_nodes]
        top = "unknown"
        if ABOUT_TITLE in floating and MAIN_TITLE in floating:
            top = "About" if floating.index(ABOUT_TITLE) > floating.index(MAIN_TITLE) else "main"
        return focused and top == "About", f"About focused: {focused}, on top: {top}"

    def about_in_front(self):
        return settle(self.front, 3)

    def activate_main_while_about(self):
        self.say("main", "focus")
        return self.about_in_front()

    def minimize_about(self):
        # sway has no minimizing; the scratchpad is its way of putting a window away.
        self.say("About", "move scratchpad")
        what = "moved to the scratchpad (sway's minimizing); "
        if wait_for(lambda: self.flag("About"), 3):
            return True, what + "shown anew at once"
        self.say("main", "focus")
        if self.open_about() and wait_for(lambda: self.flag("About"), 3):
            return True, what + "About... shows it again"
        self.say("About", "scratchpad show")
        return False, what + "the main window stays disabled"

    def close_about(self):
        self.say("About", "focus")
        self.say("About", "kill")
        wait_for(lambda: not self.flag("About"), 3)
        shown, main_shown = self.flag("About"), self.flag("main")
        return not shown and main_shown, f"About visible: {shown}, main visible: {main_shown}"

    def close_main(self):
        self.say("main", "kill")

    def screenshot(self, name):
        return self.shoot(["grim", "screenshot.png"], name)

    def close(self):
        self.ipc.main_quit()


KEYSYMS = {"Shift_L": 0xffe1, "Alt_L": 0xffe9, "Super_L": 0xffeb, "Up": 0xff52, "Down": 0xff54,
           "Escape": 0xff1b, "F4": 0xffc1, "h": 0x68}


class Mutter(WaylandDesktop):
    """mutter takes keys through its remote desktop interface; its own key bindings then maximize
    (Super+Up), cycle windows (Alt+Escape), minimize (Super+H) and close (Alt+F4)."""

    DEST = "org.gnome.Mutter.RemoteDesktop"
    SESSION = DEST + ".Session"

    def start(self):
        self.launch(["mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor",
                    "1280x800", "--wayland-display", SOCKET])
        self.session = self.call("/org/gnome/Mutter/RemoteDesktop", self.DEST, "CreateSession",
                                 reply="(o)")[0]
        self.call(self.session, self.SESSION, "Start")
        # The seat gets its keyboard with the first key, which is lost: a Shift goes first.
        self.key("Shift_L")
        need(lambda: self.trace.keyboards, 5, "mutter's virtual keyboard did not appear")

    def key(self, combination):
        keys = [KEYSYMS[k] for k in combination.split("+")]
        for down, order in ((True, keys), (False, reversed(keys))):
            for key in order:
                self.call(self.session, self.SESSION, "NotifyKeyboardKeysym",
                          GLib.Variant("(ub)", (key, down)))

    def bring_about(self):
        if self.settled_holder() != "About":
            self.key("Alt_L+Escape")

    def try_state(self, which, state):
        if state != "maximize" or which != "main":
            raise NotAvailable("mutter has no key binding for that here")
        geometry = self.window("main", "geometry")
        self.key("Super_L+Up")
        during = settle(lambda: self.window("main", "configure"), 3)
        self.key("Super_L+Down")
        after = settle(lambda: self.window("main", "configure"), 3)
        now = self.window("main", "geometry")
        return now == geometry and self.alive(), (
            f"Super+Up: told {during} while asked, {after} after; window {now} (was {geometry})")

    def about_in_front(self):
        holder = self.settled_holder()
        return holder == "About", f"keyboard: {holder}"

    def activate_main_while_about(self):
        self.key("Alt_L+Escape")
        settle(self.keyboard_holder, 1)  # mutter's switch first, then the program's answer
        holder = until(self.keyboard_holder, "About", 3)
        if holder != "About":
            self.key("Alt_L+Escape")
        return holder == "About", f"Alt+Escape; keyboard: {holder}"

    def minimize_about(self):
        self.bring_about()
        shown = self.abouts()
        self.key("Super_L+h")
        # The program is never told; the main window gets the keyboard and shows About anew.
        if wait_for(lambda: self.about_back_since(shown), 3):
            return True, "Super+H; About shown anew, with the keyboard"
        holder = self.settled_holder()
        if holder == "About":  # mutter 48 minimizes no dialog with a parent
            return True, "Super+H; About keeps the keyboard (not minimized)"
        if self.open_about() and wait_for(lambda: self.about_back_since(shown), 3):
            return True, f"Super+H; keyboard then: {holder}; About... shows it again"
        return False, (f"Super+H; keyboard then: {holder}; About... does nothing: "
                       "the main window stays disabled")

    def close_about(self):
        self.bring_about()
        self.key("Alt_L+F4")
        wait_for(lambda: not self.about_shown(), 3)
        holder = self.settled_holder()
        again = self.open_about()
        return again and holder == "main", (f"Alt+F4 on About: keyboard then: {holder}; About..."
                                            f" again: {'shown' if again else 'nothing'}")

    def close_main(self):
        if self.about_shown():
            self.key("Alt_L+F4")
            wait_for(lambda: self.keyboard_holder() == "main", 3)
        self.key("Alt_L+F4")

    def close(self):
        with contextlib.suppress(GLib.Error):  # mutter may have gone with the program's end
            self.call(self.session, self.SESSION, "Stop")


EACH_ABOUT = "for (const w of cs) if (w.caption == 'About Quorvel!') "


class KwinWayland(WaylandDesktop):
    """KWin takes no keys from a tool here; its scripting interface acts on the windows as its
    window menu would, and says what KWin makes of them."""

    DEST = "org.kde.KWin"
    scripts = 0  # run so far

    def start(self):
        # kwin_wayland carries a file capability that a container may not grant; a copy has none.
        kwin = self.work / "kwin_wayland"
        shutil.copy(shutil.which("kwin_wayland"), kwin)
        # KWin 6 logs what a script prints only in a debug category.
        self.launch([str(kwin), "--virtual", "--width", "1280", "--height", "800",
                    "--no-lockscreen", "--no-global-shortcuts", "--socket", SOCKET],
                   QT_LOGGING_RULES="kwin_scripting.debug=true")

    def run(self, javascript, which="main"):
        """Runs `javascript` with `c` the window named, `cs` all of them; what it says."""
        n = self.scripts = self.scripts + 1
        marker, path = f"quorvel-check-{n} ", self.work / f"kwin-{n}.js"
        # KWin 5 lists clients, KWin 6 windows.
        path.write_text(
            "let c = null; const cs = workspace.windowList ? workspace.windowList()"
            " : workspace.clientList();\n"
            f"for (const w of cs) if (w.caption == {TITLES[which]!r}) c = w;\n"
            f"function say(s) {{ print({marker!r} + s); }}\n"
            f"{javascript}\nprint({marker.strip()!r} + '-done');\n")
        script = self.call("/Scripting", "org.kde.kwin.Scripting", "loadScript",
                           GLib.Variant("(ss)", (str(path), f"quorvel-{n}")), "(i)")[0]
        # The script's object: /Scripting/ScriptN in KWin 6, /N before.
        try:
            self.call(f"/Scripting/Script{script}", "org.kde.kwin.Script", "run")
        except GLib.Error:
            self.call(f"/{script}", "org.kde.kwin.Script", "run")
        wait_for(lambda: f"{marker.strip()}-done" in self.wm.log.read_text(errors="replace"), 5)
        self.call("/Scripting", "org.kde.kwin.Scripting", "unloadScript",
                  GLib.Variant("(s)", (f"quorvel-{n}",)))
        lines = self.wm.log.read_text(errors="replace").splitlines()
        return "\n".join(line.split(marker, 1)[1] for line in lines if marker in line)

    def size(self, which):
        return self.run('say(c.frameGeometry.width + "x" + c.frameGeometry.height);', which)

    def main_only(self, which):
        if which != "main":
            raise NotAvailable("tried on the main window only")

    def allowed_actions(self, which):
        self.main_only(which)
        offers = self.run('say([c.resizeable ? "resize" : "", c.maximizable ? "maximize" : "",'
                          ' c.fullScreenable ? "fullscreen" : "", c.minimizable ? "minimize" : ""]'
                          '.join(" ").trim());')
        # A fixed size says no resizing or maximizing; xdg-shell has no way to refuse full
        # screen, which is tried below.
        return offers.split(), True

    def attempt(self, which, ask, take_back=None):
        """The window comes back to its size and commits a frame after each configure it
        acknowledged (one must follow), and the program lives."""
        self.main_only(which)
        before, geometry = self.size("main"), self.window("main", "geometry")
        self.run(ask)
        during = settle(lambda: self.size("main"), 3)
        told = self.window("main", "configure")
        committed = wait_for(lambda: self.window("main", "committed"), 3)
        if take_back:
            self.run(take_back)
        after = settle(lambda: self.size("main"), 3)
        ok = (before and after == before and committed and
              wait_for(lambda: self.window("main", "committed"), 3) and
              self.window("main", "geometry") == geometry and self.alive())
        return ok, (f"told {told}, window {during}, frame committed: {committed}; {after} after"
                    f" (was {before}), committed: {self.window('main', 'committed')}")

    def try_state(self, which, state):
        ask = "c.setMaximize(true, true);" if state == "maximize" else "c.fullScreen = true;"
        return self.attempt(which, ask, ask.replace("true", "false"))

    def try_resize(self, which, width, height):
        return self.attempt(which, "c.frameGeometry = {x: c.frameGeometry.x, y: c.frameGeometry.y,"
                            f" width: {width}, height: {height}}};")

    def about_in_front(self):
        ok = wait_for(lambda: self.about_back_since(0), 3)
        return ok, f"keyboard: {self.keyboard_holder()}"

    def activate_main(self):
        self.run('if ("activeWindow" in workspace) workspace.activeWindow = c;'
                 ' else workspace.activeClient = c;')
        return " (the main window activated, as a click does)"

    def activate_main_while_about(self):
        self.activate_main()
        # The program answers the compositor's activation: About comes back to the front.
        holder = until(self.keyboard_holder, "About", 3)
        return holder == "About", f"the main window activated by KWin; keyboard: {holder}"

    def soon_or_after_click(self, timeout, condition, then=None):
        """Whether `condition()` comes true within `timeout`, or else `then()` (or it again) once
        the main window is activated as a click does; and the note of that click."""
        if wait_for(condition, timeout):
            return True, ""
        activated = self.activate_main()
        return wait_for(then or condition, 5), activated

    def minimize_about(self, first=""):
        # KWin 5 gives the focus to the main window when About is minimized, and the program shows
        # About anew; KWin 6 to none, until the user clicks the main window, and then brings back
        # the modal About itself.
        shown = self.abouts()
        self.run(first + EACH_ABOUT + "w.minimized = true;")
        ok, activated = self.soon_or_after_click(
            3, lambda: self.about_back_since(shown + bool(first)),
            lambda: self.keyboard_holder() == "About" and self.run(
                EACH_ABOUT + "say(w.minimized);", "About") == "false")
        holder = self.keyboard_holder()
        counts = f"About windows shown: {self.abouts()} (were {shown})"
        if first:
            return ok, f"keyboard then: {holder}{activated}, {counts}"
        return ok, f"minimized by KWin{activated}; keyboard then: {holder}, {counts}"

    def minimize_about_as_it_comes(self):
        # The About shown anew minimized as soon as it comes, while the owner's focus could still
        # be the moment of its coming: About comes a third time.
        return self.minimize_about(
            "let once = false; (workspace.windowAdded || workspace.clientAdded).connect("
            "function (w) { if (!once && w.caption == 'About Quorvel!') { once = true;"
            " w.minimized = true; } }); ")

    def close_about(self):
        # Closed, About leaves the main window working: activated, it keeps the keyboard.
        self.run(EACH_ABOUT + "w.closeWindow();")
        shown = self.abouts()
        _, activated = self.soon_or_after_click(5, lambda: self.keyboard_holder() == "main")
        now, holder = self.abouts(), self.keyboard_holder()
        return holder == "main" and now == shown, (
            f"keyboard: {holder}{activated}, About windows shown: {now} (were {shown})")

    def close_main(self):
        self.run("c.closeWindow();")
