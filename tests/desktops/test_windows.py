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
    placed_as_fixed, placement = d.placement(which)
    return bool(fixed) and now == fixed and placed_as_fixed, f"{now} (fixed {fixed}){placement}"


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
    "About: size": lambda d: size(d, "About"),
    "About: fixed size asked": lambda d: fixed_size_asked(d, "About"),
    "About: Motif functions": lambda d: motif_functions(d, "About"),
    "About: size hints": lambda d: size_hints(d, "About"),
    "About: allowed actions": lambda d: allowed_actions(d, "About"),
    "About: in front when opened": lambda d: d.about_in_front(),
    "About: maximize asked": lambda d: d.try_state("About", "maximize"),
    "About: full screen asked": lambda d: d.try_state("About", "full screen"),
    "About: resized to 800x600": lambda d: d.try_resize("About", 800, 600),
    "activate main while About shows": lambda d: d.activate_main_while_about(),
    "click main while About shows": lambda d: d.click_main_while_about(),
    "minimize About": lambda d: d.minimize_about(),
    "minimize About just after it came": lambda d: d.minimize_about_as_it_comes(),
    "main after About closes": lambda d: d.close_about(),
}
CHECKS = {
    "start": lambda d: (d.alive(), "the main window is up"),
    "main: maximize asked": lambda d: d.try_state("main", "maximize"),
    "main: full screen asked": lambda d: d.try_state("main", "full screen"),
    "main: size after start": lambda d: size(d, "main"),
    "main: fixed size asked": lambda d: fixed_size_asked(d, "main"),
    "main: Motif functions": lambda d: motif_functions(d, "main"),
    "main: size hints": lambda d: size_hints(d, "main"),
    "main: allowed actions": lambda d: allowed_actions(d, "main"),
    "main: decorations": lambda d: (None, d.decorations()),
    "main: resized to 800x600": lambda d: d.try_resize("main", 800, 600),
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
            desktop.ensure_about()
        ok, desktop.saw = CHECKS[check](desktop)
    except NotAvailable as reason:
        pytest.skip(f"n/a: {reason}")
    # Only these may observe without judging; anywhere else no verdict is a failure.
    desktop.observation_only = ok is None and check in OBSERVATIONS
    if not desktop.observation_only:
        assert ok
