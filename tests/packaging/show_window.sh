#!/usr/bin/env bash
# Run under an X server (xvfb-run): starts the program given, waits until one of its windows is
# mapped, then ends it. Fails, showing the program's output, if it exits or shows nothing first, or
# if the window's class is not the one the desktop entry names (docks match the two).
#   show_window.sh PROGRAM WM_CLASS
set -uo pipefail
program=$1 wm_class=$2
log=$(mktemp)
trap 'rm -f "$log"' EXIT

QT_QPA_PLATFORM=xcb "$program" </dev/null >"$log" 2>&1 &
pid=$!

# Its windows carry its process id; Qt also keeps unmapped helper windows, so only a viewable one
# counts.
shown_window() {
    local w
    for w in $(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
        xprop -id "$w" _NET_WM_PID 2>/dev/null | grep -qx "_NET_WM_PID(CARDINAL) = $pid" || continue
        xwininfo -id "$w" 2>/dev/null | grep -q "Map State: IsViewable" || continue
        echo "$w"
        return 0
    done
    return 1
}

deadline=$((SECONDS + 60))
while ! window=$(shown_window); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        echo "$program ended with status $? before showing a window; its output:"
        cat "$log"
        exit 1
    fi
    if ((SECONDS >= deadline)); then
        kill "$pid"
        wait "$pid"
        echo "$program showed no window within 60 seconds; its output:"
        cat "$log"
        exit 1
    fi
    sleep 0.2
done

echo "$program showed its window:"
xwininfo -id "$window" | sed -n 's/^xwininfo: Window id: /  /p'
class=$(xprop -id "$window" WM_CLASS)
echo "  $class"
kill "$pid"
wait "$pid"
if ! grep -qF ", \"$wm_class\"" <<<"$class"; then
    echo "its class is not \"$wm_class\", which the desktop entry names"
    exit 1
fi
exit 0
