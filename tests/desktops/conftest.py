"""The desktop matrix: one fixture per window manager or compositor, started once for all of its
checks and stopped with everything it started, and the grid of verdicts printed at the end."""

import importlib
import os
import pathlib
import shutil
import signal
import tempfile

import pytest

X11 = ["openbox", "xfwm4", "fluxbox", "icewm", "kwin_x11"]
WAYLAND = ["weston", "sway", "mutter", "kwin_wayland"]
ROOT = pathlib.Path(__file__).resolve().parents[2]
TURNS = {}  # (manager, check) -> [(verdict, what it saw)], a turn each


def pytest_addoption(parser):
    parser.addoption("--binary", default=str(ROOT / "build" / "src" / "app" / "quorvel"),
                     help="the program to try (default: build/src/app/quorvel)")
    parser.addoption("--managers", default=",".join(X11 + WAYLAND),
                     help="comma-separated managers and compositors (default: all nine)")
    parser.addoption("--shots", help="folder for screenshots with About open")
    parser.addoption("--keep", action="store_true",
                     help="keep the scratch folder (logs and traces) and print its name")


def pytest_configure(config):
    # Stopped from outside (a CI timeout), the fixtures still stop what they started.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    # One string object per manager: pytest tells parameters apart by identity (a new one restarts).
    config.managers = [m for m in config.getoption("managers").split(",") if m]
    if unknown := sorted(set(config.managers) - set(X11 + WAYLAND)):
        raise pytest.UsageError(f"unknown managers: {', '.join(unknown)}")


def pytest_generate_tests(metafunc):
    if "desktop" in metafunc.fixturenames:
        metafunc.parametrize("desktop", metafunc.config.managers, indirect=True, scope="module")


@pytest.fixture(scope="session")
def work(request):
    folder = pathlib.Path(tempfile.mkdtemp(prefix="quorvel-desktops."))
    folder.chmod(0o755)  # sway and its clients run as another user
    yield folder
    if request.config.getoption("keep"):
        print(f"\nLogs and traces kept in {folder}")
    else:
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="module")
def desktop(request, work):
    name, shots = request.param, request.config.getoption("shots")
    binary = pathlib.Path(request.config.getoption("binary")).resolve()
    if not os.access(binary, os.X_OK):
        pytest.exit(f"{binary} is not a program", 2)
    # A folder for each start, so that a second one finds nothing of the first.
    turn = pathlib.Path(tempfile.mkdtemp(prefix=f"{name}.", dir=work))
    turn.chmod(0o755)
    module = importlib.import_module("x11" if name in X11 else "wayland")
    kind = getattr(module, "X11Desktop" if name in X11 else name.title().replace("_", ""))
    made = kind(name, turn, binary, shots and pathlib.Path(shots).resolve() / name)
    try:
        made.start()
        yield made
        made.close()
    finally:
        made.stop_all()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    report = (yield).get_result()
    if report.when != "call" and report.passed or not hasattr(item, "callspec"):
        return
    desktop = item.funcargs.get("desktop")
    saw = getattr(desktop, "saw", "")
    if report.failed:
        message = call.excinfo.exconly() if call.excinfo else ""
        message = message.removeprefix("AssertionError: ").removeprefix("AssertionError")
        saw = "; ".join(part for part in (saw, message.split("\n")[0]) if part)
    elif report.skipped and call.excinfo:
        saw = str(call.excinfo.value.msg).removeprefix("n/a: ")
    verdict = "FAIL" if report.failed else "n/a" if report.skipped else (
        "info" if getattr(desktop, "observation_only", False) else "ok")
    TURNS.setdefault((item.callspec.params["desktop"], item.callspec.params["check"]), []).append(
        (verdict, saw))


def pytest_terminal_summary(terminalreporter):
    if not TURNS:
        return
    write, grid = terminalreporter.write_line, {}  # manager -> check -> verdict
    write("")
    for (manager, check), turns in TURNS.items():  # in the order they ran
        if manager not in grid:
            write(f"=== {manager}")
        (verdict, saw), first = turns[-1], turns[0][1]
        grid.setdefault(manager, {})[check] = verdict
        if len(turns) > 1:  # the first turn failed
            saw += f" ({'' if verdict == 'FAIL' else 'failed '}the first time: {first})"
        write(f"  {check:<38} {verdict:<5} {saw}")
    write("\n=== What each manager did (ok: sound behaviour; FAIL: not; info, n/a: no expectation)")
    write(f"{'check':<38}" + "".join(f" {m:<12}" for m in grid))
    for check in dict.fromkeys(c for _, c in TURNS):
        write(f"{check:<38}" + "".join(f" {done.get(check, ''):<12}" for done in grid.values()))
