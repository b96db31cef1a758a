"""Headless Wayland compositors, watched through the program's own protocol trace and driven the one
way each takes from a tool: sway by its IPC, mutter by keys and KWin by scripts over D-Bus."""

import contextlib
import functools
import os
import re
import shutil

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

from desktop import (ABOUT_TITLE, MAIN_TITLE, TITLES, Desktop, NotAvailable, need,  # noqa: E402
                     settle, until, wait_for)

SOCKET = "quorvel-desktops"
KEYSYMS = {"Shift_L": 0xffe1, "Alt_L": 0xffe9, "Super_L": 0xffeb, "Up": 0xff52, "Down": 0xff54,
           "Escape": 0xff1b, "F4": 0xffc1, "h": 0x68}
EACH_ABOUT = f"for (const w of cs) if (w.caption == {ABOUT_TITLE!r}) "
CLICKED = " (the main window activated, as a click does)"


class WaylandTrace:
    """What the program asked of the compositor and was told, per window, from libwayland's trace
    (WAYLAND_DEBUG=client). A title names the newest window that bears it: Qt makes a new one for
    each showing. libwayland 1.22 names an object interface@id, 1.23 interface#id."""

    CALL = re.compile(r"(->)?\s*(\w+)[@#](\d+)\.(\w+)\((.*)\)\s*$")
    OBJECT = re.compile(r"(\w+)[@#](\d+)")
    NUMBER = re.compile(r"(?<![\w@#])-?\d+(?![\w@#])")

    def __init__(self, path):
        text = path.read_text(errors="replace") if path.exists() else ""
        self.decorations = "zxdg_decoration_manager_v1" in text
        self.attached = re.search(r"wl_surface[@#]\d+\.attach\(wl_buffer", text) is not None
        # xdg_toplevel -> xdg_surface -> wl_surface, and back; title -> newest toplevel, and count
        self.toplevel_surface, self.surface_of, self.xdg_of = {}, {}, {}
        self.newest, self.titles_shown, self.fields = {}, {}, {}  # fields: (field, id) -> value
        self.pending = {}  # xdg_surface -> a configure acknowledged, no frame since
        self.destroyed = set()  # xdg_toplevels
        self.keyboard, self.keyboards = None, 0  # who had it last; how often the seat had one
        for line in text.splitlines():
            if found := self.CALL.search(line):  # "->" marks a request
                self.take(f"{found[1] or ''}{found[2]}.{found[4]}", found[3], found[5])

    def take(self, call, object_id, args):
        objects = dict(self.OBJECT.findall(args))
        numbers = [int(n) for n in self.NUMBER.findall(args)]
        size = "x".join(map(str, numbers[:2]))
        if call == "xdg_toplevel.configure":
            count = int(states[1]) // 4 if (states := re.search(r"array\[(\d+)\]", args)) else 0
            self.fields["configure", object_id] = f"{size} ({count} states)"
        elif call == "wl_keyboard.enter":
            self.keyboard = objects.get("wl_surface")
        elif call == "wl_seat.capabilities" and numbers and numbers[0] & 2:
            self.keyboards += 1
        elif call == "->xdg_surface.get_toplevel":
            # The id of a destroyed object is given to the next new one.
            self.destroyed.discard(objects.get("xdg_toplevel"))
            self.toplevel_surface[objects.get("xdg_toplevel")] = object_id
        elif call == "->xdg_wm_base.get_xdg_surface":
            self.surface_of[objects.get("xdg_surface")] = objects.get("wl_surface")
            self.xdg_of[objects.get("wl_surface")] = objects.get("xdg_surface")
        elif call == "->xdg_surface.ack_configure":
            self.pending[object_id] = True
        elif call == "->wl_surface.commit" and object_id in self.xdg_of:
            self.pending[self.xdg_of[object_id]] = False
        elif call == "->xdg_toplevel.set_title":
            title = args.strip().strip('"')
            self.newest[title] = object_id
            self.titles_shown[title] = self.titles_shown.get(title, 0) + 1
        elif call in ("->xdg_toplevel.set_min_size", "->xdg_toplevel.set_max_size"):
            self.fields["min" if "min" in call else "max", object_id] = size
        elif call == "->xdg_toplevel.destroy":
            self.destroyed.add(object_id)
        elif call == "->xdg_surface.set_window_geometry":
            self.fields["geometry", object_id] = "x".join(map(str, numbers[2:4]))


class WaylandDesktop(Desktop):
    family = "wayland"

    def launch(self, command=None, **env):
        self.env.setdefault("WAYLAND_DISPLAY", SOCKET)
        self.start_bus()
        if command:
            self.wm = self.spawn("wm", command, **env)
            need(lambda: (self.runtime / SOCKET).exists(), 30, f"{self.name} did not start")
        self.start_program(WAYLAND_DEBUG="client", QT_QPA_PLATFORM="wayland",
                           QT_IM_MODULE="compose")
        need(lambda: MAIN_TITLE in self.trace.titles_shown and self.trace.attached, 30,
             f"no main window within 30 s (log: {self.program.log})")
        settle(lambda: self.window("main", "configure"), 5, quiet=1)
        if not self.alive():
            raise RuntimeError("the program ended")

    @property
    def trace(self):
        return WaylandTrace(self.program.log)

    @functools.cached_property
    def bus(self):
        flags = Gio.DBusConnectionFlags
        return Gio.DBusConnection.new_for_address_sync(self.env["DBUS_SESSION_BUS_ADDRESS"], (
            flags.AUTHENTICATION_CLIENT | flags.MESSAGE_BUS_CONNECTION), None, None)

    def call(self, path, interface, method, args=None, reply=None):
        return self.bus.call_sync(self.DEST, path, interface, method, args,
                                  reply and GLib.VariantType(reply), 0, 10000, None)

    def window(self, which, field):
        """`field` of the window `which` ("main" or "About"); "committed": no frame owed."""
        trace = self.trace
        toplevel = trace.newest.get(TITLES[which])
        xdg = trace.toplevel_surface.get(toplevel)
        if toplevel is None or field == "committed":
            return toplevel and not trace.pending.get(xdg, False)
        return trace.fields.get((field, xdg if field == "geometry" else toplevel))

    def abouts(self):
        return self.trace.titles_shown.get(ABOUT_TITLE, 0)

    def about_shown(self):
        trace = self.trace
        return trace.newest.get(ABOUT_TITLE) not in trace.destroyed | {None}

    def open_about(self):
        before = self.abouts()
        self.menu("About...")
        return wait_for(lambda: self.abouts() > before and self.about_shown(), 5)

    def asked(self, which):
        return self.window(which, "min"), self.window(which, "max")

    def fixed_size_asked(self, which):
        low, high = self.asked(which)
        return bool(low) and low == high, (
            f"min {low}, max {high} (window {self.window(which, 'geometry')} with its title bar);"
            f" compositor's last size {self.window(which, 'configure')}")

    def fixed_size(self, which):
        raise NotAvailable("the window's size includes the title bar Qt draws: judged by the"
                           " size it asks for (fixed size asked)")

    size = fixed_size

    def decorations(self):
        return ("the compositor offers its own (xdg-decoration)" if self.trace.decorations
                else "none offered: Qt draws its own title bar")

    def keyboard_holder(self):
        """"main", "About" or "none": the window that got the keyboard last."""
        trace = self.trace
        surfaces = {trace.surface_of.get(trace.toplevel_surface.get(trace.newest.get(title))): which
                    for which, title in TITLES.items()}
        return surfaces.get(trace.keyboard, "none") if trace.keyboard is not None else "none"

    def settled_holder(self):
        return settle(self.keyboard_holder, 3)

    def about_back_since(self, count):
        return self.abouts() > count and self.keyboard_holder() == "About"


class Weston(WaylandDesktop):
    """A headless weston has no seat: nothing can be typed or clicked."""

    shot = ["weston-screenshooter"], "wayland-screenshot-*.png", "weston-screenshooter failed"

    def start(self):
        # Versions of weston name the headless backend and the pixman renderer differently.
        help_text = self.tool(["weston", "--help"], text=True).stdout
        backend = "headless-backend.so" if "headless-backend.so" in help_text else "headless"
        renderer = "--use-pixman" if "--use-pixman" in help_text else "--renderer=pixman"
        self.launch(["weston", f"--backend={backend}", renderer, f"--socket={SOCKET}",
                    "--idle-time=0", "--width=1280", "--height=800", "--no-config", "--debug"])

    def unavailable(self, what):
        raise NotAvailable(f"a headless weston has no seat, and no other way to {what}")


class Sway(WaylandDesktop):
    """sway, driven through its IPC. It refuses root, so root runs it and its clients as nobody."""

    user = "nobody" if os.getuid() == 0 else None
    shot = ["grim", "screenshot.png"], "screenshot.png", "grim took no screenshot"

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
        # A copy that nobody can reach wherever the build is (the program links no library of ours).
        self.binary = shutil.copy(self.binary, self.work / "quorvel")
        os.chmod(self.binary, 0o755)
        self.launch()

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

    def close(self):
        self.ipc.main_quit()


class Mutter(WaylandDesktop):
    """mutter takes keys through its remote desktop interface, and acts by its own key bindings."""

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
        for key, down in [(key, True) for key in keys] + [(key, False) for key in keys[::-1]]:
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


class KwinWayland(WaylandDesktop):
    """KWin takes no keys from a tool here: scripts act on its windows as its window menu would."""

    DEST = "org.kde.KWin"
    scripts = 0  # run so far

    def start(self):
        # kwin_wayland carries a file capability that a container may not grant; a copy has none.
        kwin = shutil.copy(shutil.which("kwin_wayland"), self.work)
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
        # A fixed size says no resizing or maximizing; xdg-shell cannot refuse full screen.
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
        return wait_for(lambda: self.about_back_since(0), 3), f"keyboard: {self.keyboard_holder()}"

    def activate_main(self):
        self.run('if ("activeWindow" in workspace) workspace.activeWindow = c;'
                 ' else workspace.activeClient = c;')

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
        self.activate_main()
        return wait_for(then or condition, 5), CLICKED

    def minimize_about(self, first=""):
        # KWin 5 focuses the main window when About is minimized, and the program shows About anew;
        # KWin 6 none, until the user clicks the main window: then the program brings About back.
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
