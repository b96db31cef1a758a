#!/usr/bin/env bash
# Runs a program as an X11 client of a virtual X server of its own, in a private D-Bus session
# whose accessibility bus is up, as on a desktop where a screen reader listens: only there does Qt
# raise accessibility events. No running desktop session is touched. The program's status is the
# script's; whatever was started ends with it.
#   run_with_atspi.sh PROGRAM [ARGUMENTS...]
set -uo pipefail

runtime=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-atspi.XXXXXX") || exit 1
trap 'rm -rf "$runtime"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The accessibility bus starts on demand: it is asked for before the program looks for it. Qt
# would otherwise wait for a screen reader to switch accessibility on.
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    timeout --kill-after=10 120 \
    xvfb-run -a -n $((100 + RANDOM % 800)) -e "$runtime/xvfb.log" -s "-screen 0 1280x1024x24" \
    dbus-run-session -- bash -c '
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
            org.a11y.Bus.GetAddress >/dev/null || exit 1
        exec "$@"' run "$@" </dev/null
status=$?
if [ "$status" -ne 0 ] && [ -s "$runtime/xvfb.log" ]; then
    echo "$1 ended with status $status; the X server's log:"
    cat "$runtime/xvfb.log"
fi
exit "$status"
