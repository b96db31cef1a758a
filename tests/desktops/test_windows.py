"""The main window and About under each headless window manager and compositor, driven as a user or
a desktop would: a test per check and manager. A check gives (ok, what it saw); ok None is an
observation without an expectation ("info"); what the manager gives no way to do is "n/a"."""

import functools

import pytest

from desktop import NotAvailable, wait_for

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
    placed_as_fixed, placement = d.placement(which)
    return bool(fixed) and now == fixed and placed_as_fixed, f"{now} (fixed {fixed}){placement}"


def motif_functions(d, which):
    functions = d.motif_functions(which)
    bad, note = offered(functions, FORBIDDEN_FUNCTIONS[which])
    return not bad, " ".join(functions) + note


def size_hints(d, which):
    fixed = d.fixed_size(which)
    return bool(fixed), fixed or "not fixed"


def allowed_actions(d, which):
    actions, judged = d.allowed_actions(which)
    # Judged where read from the window; an X11 manager makes its own list: only shown there.
    bad, note = offered(actions, ["resize", "maximize"] if judged else FORBIDDEN_ACTIONS[which])
    note += " whatever the hints say" if bad and not judged else ""
    return (not bad if judged else None), (" ".join(actions) or "none given by the manager") + note


def write_out(d):
    d.menu("Write-Out Your Config File")
    written = wait_for(d.written, 5)
    return bool(written), f"{written} bytes" if written else "no file"


def closing_main(d):
    d.close_main()
    ended = wait_for(lambda: not d.alive(), 5)
    return ended, "ended" if ended else "still running"


# The checks made on a window, "main" or "About".
WINDOW = {"size after start": size, "size": size, "Motif functions": motif_functions,
          "size hints": size_hints, "allowed actions": allowed_actions,
          "fixed size asked": lambda d, which: d.fixed_size_asked(which),
          "decorations": lambda d, which: (None, d.decorations()),
          "in front when opened": lambda d, which: d.about_in_front(),
          "maximize asked": lambda d, which: d.try_state(which, "maximize"),
          "full screen asked": lambda d, which: d.try_state(which, "full screen"),
          "resized to 800x600": lambda d, which: d.try_resize(which, 800, 600)}


def on(which, *checks):
    return {f"{which}: {check}": functools.partial(WINDOW[check], which=which) for check in checks}


# Checks that only one kind of desktop can make, and why the other cannot.
ONLY = {f"{which}: {check}": only for which in ("main", "About") for check, only in {
    "fixed size asked": ("wayland", "an X11 manager reads the size hints instead"),
    "Motif functions": ("x11", "Motif hints and size hints are X11's"),
    "size hints": ("x11", "Motif hints and size hints are X11's"),
    "decorations": ("wayland", "X11 managers draw their own frames")}.items()}
OBSERVATIONS = {"screenshot", "main: decorations", "main: allowed actions",
                "About: allowed actions"}
WITH_ABOUT = {  # made with About shown, opened anew where it is not
    "screenshot": lambda d: (None, str(d.screenshot("with-about"))),
    **on("About", "size", "fixed size asked", "Motif functions", "size hints", "allowed actions",
         "in front when opened", "maximize asked", "full screen asked", "resized to 800x600"),
    "activate main while About shows": lambda d: d.activate_main_while_about(),
    "click main while About shows": lambda d: d.click_main_while_about(),
    "minimize About": lambda d: d.minimize_about(),
    "minimize About just after it came": lambda d: d.minimize_about_as_it_comes(),
    "main after About closes": lambda d: d.close_about(),
}
CHECKS = {
    "start": lambda d: (d.alive(), "the main window is up"),
    **on("main", "maximize asked", "full screen asked", "size after start", "fixed size asked",
         "Motif functions", "size hints", "allowed actions", "decorations", "resized to 800x600"),
    "Create > Write-Out writes the file": write_out,
    "About: opens from Help > About...": lambda d: (d.open_about(), "shown" + d.press_note),
    **WITH_ABOUT,
    "closing main ends the program": closing_main,
}


@pytest.mark.parametrize("check", CHECKS)
def test_check(desktop, check):
    desktop.saw, desktop.observation_only = "", False
    family, why = ONLY.get(check, (desktop.family, None))
    try:
        if family != desktop.family:
            raise NotAvailable(why)
        if check in WITH_ABOUT:
            assert desktop.about_shown() or desktop.open_about(), "About does not open"
        ok, desktop.saw = CHECKS[check](desktop)
    except NotAvailable as reason:
        pytest.skip(f"n/a: {reason}")
    # Only these may observe without judging; anywhere else no verdict is a failure.
    desktop.observation_only = ok is None and check in OBSERVATIONS
    if not desktop.observation_only:
        assert ok
