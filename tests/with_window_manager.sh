#!/usr/bin/env bash
# Runs a command on a new X server of the given size with openbox managing its windows, and ends
# both afterwards.
#   with_window_manager.sh WIDTHxHEIGHT COMMAND [ARGUMENT...]
set -uo pipefail
size=$1
shift
exec xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    # A window mapped before the window manager has started gets no frame.
    for ((i = 0; i < 300; ++i)); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    "$@"
    status=$?
    kill "$wm"
    wait "$wm" 2>/dev/null
    exit "$status"' with_window_manager "$@"
