#!/usr/bin/env bash
# Runs a program as the client of a headless weston of its own: its own runtime directory and
# socket, so that no desktop session is touched and runs do not meet. The program's status is the
# script's; weston is stopped whatever happens.
#   run_in_weston.sh WESTON PROGRAM [ARGUMENTS...]
set -uo pipefail
weston=$1
shift

runtime=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-weston.XXXXXX") || exit 1
chmod 700 "$runtime" # Wayland wants the runtime directory private
socket=quorvel-test-$$
weston_pid=
cleanup() {
    if [ -n "$weston_pid" ]; then
        kill "$weston_pid" 2>/dev/null
        wait "$weston_pid" 2>/dev/null
    fi
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Weston 10 names its backends by module ("headless-backend.so"), later ones by a short name.
backend=headless
if timeout 10 "$weston" --help 2>&1 | grep -q 'headless-backend\.so'; then
    backend=headless-backend.so
fi

# Bounded itself too, should this script be killed before it can stop it.
XDG_RUNTIME_DIR=$runtime timeout 300 "$weston" --backend="$backend" --socket="$socket" --idle-time=0 \
    --width=1280 --height=800 --no-config --log="$runtime/weston.log" </dev/null &
weston_pid=$!

deadline=$((SECONDS + 30))
until [ -S "$runtime/$socket" ]; do
    if ! kill -0 "$weston_pid" 2>/dev/null; then
        wait "$weston_pid"
        echo "weston ended with status $? before opening its socket; its log:"
        cat "$runtime/weston.log"
        weston_pid=
        exit 1
    fi
    if ((SECONDS >= deadline)); then
        echo "weston opened no socket within 30 seconds; its log:"
        cat "$runtime/weston.log"
        exit 1
    fi
    sleep 0.1
done

# A headless weston has no seat, and Qt's Wayland input method support takes one for granted (a
# click into a text box would crash it); the compose input method, Qt's default elsewhere, does not.
XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland QT_IM_MODULE=compose \
    timeout --kill-after=10 150 "$@" </dev/null
status=$?
if [ "$status" -ne 0 ]; then
    echo "$1 ended with status $status; weston's log:"
    cat "$runtime/weston.log"
fi
exit "$status"
