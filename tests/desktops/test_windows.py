"""The main window and About under each window manager and compositor that runs headless, driven as
a user or a desktop would: one test per check and manager, in the order of the table. A check
gives (ok, what it saw); ok None is an observation without an expectation ("info"). A check the
manager gives no way to drive or observe is skipped with the reason ("n/a")."""

import pytest

from support import NotAvailable, wait_for

# What a fixed-size window may not offer: no resizing or maximizing; About no minimizing either.
FORBIDDEN_FUNCTIONS = {"main": ["resize", "maximize"], "About": ["resize", "minimize", "maximize"]}
FORBIDDEN_ACTIONS = {"main": ["resize", "maximize_horz", "maximize_vert", "fullscreen"],
                     "About": ["resize", "minimize", "maximize_horz", "maximize_vert",
                               "fullscreen"]}


def offered(offers, forbidden):
    bad = [name for name in forbidden if name in offers]
    return bad, f" (offers {' '.join(bad)})" if bad else ""


def size(d, which):
    now, fixed = d.size(which), d.fixed_size(which)
    return fixed and now == fixed and d.placed_as_fixed(which), \
        f"{now} (fixed {fixed}){d.placement(which)}"


def fixed_size_asked(d, which):
    low, high = d.asked(which)
    return bool(low) and low == high, f"min {low}, max {high}{d.size_note(which)}"


def motif_functions(d, which):
    functions = d.motif_functions(which)
    bad, note = offered(functions, FORBIDDEN_FUNCTIONS[which])
    return not bad, " ".join(functions) + note


def size_hints(d, which):
    fixed = d.fixed_size(which)
    return bool(fixed), fixed or "not fixed"


def allowed_actions(d, which):
    actions, judged = d.allowed_actions(which)
    # Judged where the desktop reads them from the window; where the X11 manager makes its own
    # list whatever the hints say, only shown.
    bad, note = offered(actions, ["resize", "maximize"] if judged else FORBIDDEN_ACTIONS[which])
    saw = (" ".join(actions) or "none given by the manager") + note
    return (not bad if judged else None), saw + ("" if judged or not bad else
                                                 " whatever the hints say")


def write_out(d):
    d.menu("Write-Out Your Config File")
    written = wait_for(d.written, 5)
    return bool(written), f"{written} bytes" if written else "no file"


def closing_main(d):
    d.close_main()
    ended = wait_for(lambda: not d.alive(), 5)
    return ended, "ended" if ended else "still running"


def only(family, reason, check):
    def checked(d):
        if family != ("wayland" if d.wayland else "x11"):
            raise NotAvailable(reason)
        return check(d)
    return checked


def with_about(check):
    def checked(d):
        d.ensure_about()
        return check(d)
    return checked


X11_HINTS = "Motif hints and size hints are X11's"
ASKED = "an X11 manager reads the size hints instead"
CHECKS = {
    "start": lambda d: (d.alive(), "the main window is up"),
    "main: maximize asked": lambda d: d.try_state("main", "maximize"),
    "main: full screen asked": lambda d: d.try_state("main", "full screen"),
    "main: size after start": lambda d: size(d, "main"),
    "main: fixed size asked": only("wayland", ASKED, lambda d: fixed_size_asked(d, "main")),
    "main: Motif functions": only("x11", X11_HINTS, lambda d: motif_functions(d, "main")),
    "main: size hints": only("x11", X11_HINTS, lambda d: size_hints(d, "main")),
    "main: allowed actions": lambda d: allowed_actions(d, "main"),
    "main: decorations": only("wayland", "X11 managers draw their own frames",
                              lambda d: (None, d.decorations())),
    "main: resized to 800x600": lambda d: d.try_resize("main", 800, 600),
    "Create > Write-Out writes the file": write_out,
    "About: opens from Help > About...": lambda d: (d.open_about(), "shown" + d.press_note),
    "screenshot": with_about(lambda d: (None, str(d.screenshot("with-about")))),
    "About: size": with_about(lambda d: size(d, "About")),
    "About: fixed size asked": only("wayland", ASKED,
                                    with_about(lambda d: fixed_size_asked(d, "About"))),
    "About: Motif functions": only("x11", X11_HINTS,
                                   with_about(lambda d: motif_functions(d, "About"))),
    "About: size hints": only("x11", X11_HINTS, with_about(lambda d: size_hints(d, "About"))),
    "About: allowed actions": with_about(lambda d: allowed_actions(d, "About")),
    "About: in front when opened": with_about(lambda d: d.about_in_front()),
    "About: maximize asked": with_about(lambda d: d.try_state("About", "maximize")),
    "About: full screen asked": with_about(lambda d: d.try_state("About", "full screen")),
    "About: resized to 800x600": with_about(lambda d: d.try_resize("About", 800, 600)),
    "activate main while About shows": with_about(lambda d: d.activate_main_while_about()),
    "click main while About shows": with_about(lambda d: d.click_main_while_about()),
    "minimize About": with_about(lambda d: d.minimize_about()),
    "minimize About just after it came": with_about(lambda d: d.minimize_about_as_it_comes()),
    "main after About closes": with_about(lambda d: d.close_about()),
    "closing main ends the program": closing_main,
}


@pytest.mark.parametrize("check", CHECKS)
def test_check(desktop, check):
    desktop.observed, desktop.observation_only = [], False
    try:
        ok, saw = CHECKS[check](desktop)
    except NotAvailable as reason:
        pytest.skip(f"n/a: {reason}")
    desktop.observed.append(saw)
    desktop.observation_only = ok is None
    if ok is not None:
        assert ok

