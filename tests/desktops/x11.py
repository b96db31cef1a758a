"""An X11 window manager on an X server of its own (Xvfb); the windows read and driven through the
X protocol as another client, a task bar or the manager's own buttons would."""

import re

from Xlib import X, display, error, protocol
from Xlib.ext import xtest

from desktop import ABOUT_TITLE, MAIN_TITLE, Desktop, NotAvailable, need, settle, until, wait_for

COMMANDS = {"openbox": ["openbox", "--sm-disable"], "fluxbox": ["fluxbox"], "icewm": ["icewm"],
            "xfwm4": ["xfwm4", "--compositor=off", "--sm-client-disable"],
            "kwin_x11": ["kwin_x11", "--replace"]}
# Motif function bits (MWM_FUNC_*), as the manager reads them.
MOTIF_FUNCTIONS = [(2, "resize"), (4, "move"), (8, "minimize"), (16, "maximize"), (32, "close")]
STATES = {"maximize": ["maximized_vert", "maximized_horz"], "full screen": ["fullscreen"]}
ICONIC = 3
IN_FRONT = "active: About, focus: About, on top: About"


def quiet(read, default=None):
    """What `read()` gives, or `default` where the window went away meanwhile."""
    try:
        return read()
    except error.XError:
        return default


class X11Desktop(Desktop):
    shot = (["import", "-window", "root", "screenshot.png"], "screenshot.png",
            "import took no screenshot")

    def start(self):
        self.env.update(XDG_CONFIG_HOME=str(self.home / ".config"), QT_QPA_PLATFORM="xcb")
        xvfb = self.spawn("xvfb", ["Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24",
                                   "-nolisten", "tcp"])
        self.env["DISPLAY"] = ":" + need(lambda: re.findall(r"^\d+$", xvfb.log.read_text(), re.M),
                                         10, "Xvfb did not start")[0]
        self.start_bus()
        self.x = display.Display(self.env["DISPLAY"])
        self.root = self.x.screen().root
        self.spawn("wm", COMMANDS[self.name])
        # A window mapped before the manager runs gets no frame.
        need(lambda: self.property(self.root, "_NET_SUPPORTING_WM_CHECK"), 30,
             f"{self.name} did not start within 30 s")
        self.start_program()
        self.main = need(lambda: self.find(MAIN_TITLE), 20, "no main window within 20 s")
        self.wait_framed(self.main)

    def property(self, window, name):
        value = quiet(lambda: window.get_full_property(self.x.intern_atom(name), X.AnyPropertyType))
        return value.value if value else None

    def atom_names(self, window, name):
        return [re.sub("^_NET_WM_(STATE|ACTION)_", "", self.x.get_atom_name(a)).lower()
                for a in self.property(window, name) or []]

    def find(self, title, window=None):
        window = window or self.root
        name = bytes(self.property(window, "_NET_WM_NAME") or b"").decode(errors="replace")
        if name == title and self.viewable(window):
            return window
        children = reversed(quiet(lambda: window.query_tree().children, []))
        return next(filter(None, (self.find(title, child) for child in children)), None)

    def window(self, which):
        window = self.main if which == "main" else self.find(ABOUT_TITLE)
        assert window is not None, "no About window"
        return window

    def viewable(self, window):
        return quiet(lambda: window.get_attributes().map_state == X.IsViewable, False)

    def main_hidden(self):
        state = quiet(self.main.get_wm_state)
        return state is not None and state.state == ICONIC or not self.viewable(self.main)

    def size(self, which):
        geometry = quiet(self.window(which).get_geometry)
        return geometry and f"{geometry.width}x{geometry.height}"

    def fixed_size(self, which):
        hints = self.window(which).get_wm_normal_hints()
        low, high = (hints.min_width, hints.min_height), (hints.max_width, hints.max_height)
        return f"{low[0]}x{low[1]}" if low == high and low[0] > 0 else None

    def wait_framed(self, window):
        wait_for(lambda: self.viewable(window), 5)
        settle(lambda: quiet(window.get_geometry), 5)

    def motif_functions(self, which):
        hints = self.property(self.window(which), "_MOTIF_WM_HINTS")
        if not hints or not hints[0] & 1:
            return [name for _, name in MOTIF_FUNCTIONS]
        withheld = hints[1] & 1  # MWM_FUNC_ALL: the bits named are the ones withheld
        return [name for bit, name in MOTIF_FUNCTIONS if bool(hints[1] & bit) != withheld]

    def allowed_actions(self, which):
        return self.atom_names(self.window(which), "_NET_WM_ALLOWED_ACTIONS"), False

    def frame(self, window):
        for _ in range(10):
            parent = window.query_tree().parent
            if parent.id == self.root.id:
                return window.id
            window = parent
        return None

    def front(self):
        about = self.window("About")
        names = {self.main.id: "main", about.id: "About"}
        active = self.property(self.root, "_NET_ACTIVE_WINDOW")
        focus = self.x.get_input_focus().focus
        stack = [w.id for w in self.root.query_tree().children]  # bottom first
        frames = self.frame(self.main), self.frame(about)
        top = "unknown"
        if all(f in stack for f in frames):
            top = "About" if stack.index(frames[1]) > stack.index(frames[0]) else "main"
        return (f"active: {names.get(active[0], active[0]) if active else 'none'}, "
                f"focus: {names.get(getattr(focus, 'id', focus), focus)}, on top: {top}")

    def message(self, window, kind, *data):
        event = protocol.event.ClientMessage(window=window, client_type=self.x.intern_atom(kind),
                                             data=(32, (list(data) + [0] * 5)[:5]))
        self.root.send_event(event, event_mask=X.SubstructureRedirectMask |
                             X.SubstructureNotifyMask)
        self.x.flush()

    def about_shown(self):
        return self.find(ABOUT_TITLE) is not None

    def open_about(self):
        self.menu("About...")
        if about := wait_for(lambda: self.find(ABOUT_TITLE), 5):
            self.wait_framed(about)
        return bool(about)

    def try_state(self, which, state):
        window, fixed, names = self.window(which), self.fixed_size(which), STATES[state]
        atoms = [self.x.intern_atom("_NET_WM_STATE_" + n.upper()) for n in names] + [0]
        self.message(window, "_NET_WM_STATE", 1, *atoms)
        # A manager may refuse the state: then nothing changes within the bound.
        wait_for(lambda: names[0] in self.atom_names(window, "_NET_WM_STATE") or
                 self.size(which) != fixed, 3)
        during = settle(lambda: self.size(which), 3, quiet=0.3)
        granted = ", ".join(self.atom_names(window, "_NET_WM_STATE")) or "none"
        self.message(window, "_NET_WM_STATE", 0, *atoms)
        after = until(lambda: self.size(which), fixed, 5)
        return after == fixed, (f"{during} while asked (state: {granted}), {after} after"
                                f" (fixed {fixed})")

    def try_resize(self, which, width, height):
        window, fixed = self.window(which), self.fixed_size(which)
        window.configure(width=width, height=height)
        self.x.flush()
        # The manager's answer (another size, if it takes the request), then the fixed size again.
        wait_for(lambda: self.size(which) != fixed, 1.5)
        size = until(lambda: self.size(which), fixed, 5)
        if size != fixed:
            width, height = map(int, fixed.split("x"))
            window.configure(width=width, height=height)
            self.x.flush()
            wait_for(lambda: self.size(which) == fixed, 3)
        return size == fixed, f"{size} (fixed {fixed}), by another client"

    def about_in_front(self):
        return wait_for(lambda: self.front() == IN_FRONT, 5), self.front()

    def bring_about(self):
        self.message(self.window("About"), "_NET_ACTIVE_WINDOW", 0, X.CurrentTime)
        wait_for(lambda: self.front() == IN_FRONT, 3)

    def activate_main_while_about(self):
        self.bring_about()
        # Source 2: as a task bar or pager asks (0 elsewhere: as an old tool does).
        self.message(self.main, "_NET_ACTIVE_WINDOW", 2, X.CurrentTime)
        # The manager's answer first, then the program's: About must end up in front.
        settle(self.front, 3)
        return self.about_in_front()

    def click_main_while_about(self):
        self.bring_about()
        origins = [self.window(w).translate_coords(self.root, 0, 0) for w in ("main", "About")]
        (mx, my), (ax, ay) = ((-p.x, -p.y) for p in origins)
        (mw, mh), (aw, ah) = (map(int, self.size(w).split("x")) for w in ("main", "About"))
        for x, y in ((mx + 8, my + mh - 8), (mx + mw - 8, my + mh - 8), (mx + 8, my + 40)):
            if x < ax - 30 or x > ax + aw + 30 or y < ay - 40 or y > ay + ah + 30:
                break
        else:
            raise NotAvailable("About covers the main window")
        for event, button in ((X.MotionNotify, 0), (X.ButtonPress, 1), (X.ButtonRelease, 1)):
            xtest.fake_input(self.x, event, button, x=x, y=y)
        self.x.sync()
        settle(self.front, 3)
        return self.about_in_front()

    def minimize_about(self):
        self.bring_about()
        about = self.window("About")
        self.message(about, "WM_CHANGE_STATE", ICONIC)
        # Minimized (About, or both), and shown again where the program undoes it.
        wait_for(lambda: not self.viewable(about), 2)
        wait_for(lambda: self.viewable(about) and self.viewable(self.main), 3)
        settle(lambda: (self.viewable(about), self.viewable(self.main)), 3, quiet=0.3)
        if self.main_hidden():
            return False, "the main window was minimized with it"
        if self.viewable(about):
            return True, "About stays shown"
        if self.open_about():
            return True, "About minimized; the main window works and About... shows it again"
        return False, "About minimized; the main window stays disabled"

    def close_about(self):
        about = self.window("About")
        self.message(about, "_NET_CLOSE_WINDOW")
        wait_for(lambda: not self.viewable(about) and self.viewable(self.main), 3)
        if self.main_hidden():
            self.message(self.main, "_NET_ACTIVE_WINDOW", 0, X.CurrentTime)
            return False, "the main window stays minimized"
        return (False, "About did not close") if self.viewable(about) else (True, "shown")

    def close(self):
        self.x.close()

    def close_main(self):
        self.message(self.main, "_NET_CLOSE_WINDOW")
