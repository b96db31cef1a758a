#!/usr/bin/env bash
# Run as root on a fresh Debian system (a debootstrap root, a container): installs the package with
# apt, checks that the installed program opens its window on a virtual X server, then removes and
# purges it, and fails unless every file the package brought is gone and nothing else was left:
# the file lists before the installation and after the purge must be equal.
#   check_install_purge.sh PACKAGE.deb
# The packages it depends on, and the X server for the window check, are installed first and are
# part of the "before" list; they stay installed.
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
export DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every file and directory of the system, with its type; whatever is mounted on it (the kernel's
# file systems, directories shared with the host), apt's lists, logs, caches and temporary files
# excluded.
prune=()
for path in /proc /sys /dev /run /tmp /var/tmp /var/log /var/cache /var/lib/apt /root/.cache \
    "$work" $(awk '$5 != "/" {print $5}' /proc/self/mountinfo); do
    prune+=(-path "$path" -o)
done
snapshot() {
    find / -xdev \( "${prune[@]}" -false \) -prune -o -printf '%y %p\n' |
        grep -Ev '^. /var/lib/dpkg/[^/]*-old$' | sort
}

echo "=== $(. /etc/os-release && echo "$PRETTY_NAME"): $(basename "$deb")"
apt-get update -qq
# The package's dependencies, as apt resolves them from its control file, and the window check's
# tools.
apt-get satisfy -y -qq --no-install-recommends "$(dpkg-deb -f "$deb" Depends)" >/dev/null
apt-get install -y -qq --no-install-recommends xvfb xauth x11-utils >/dev/null
snapshot >"$work/before"

apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
dpkg-query -W -f='installed: ${Package} ${Version} ${Status}\n' quorvel
# The files the package brought, as dpkg knows them; each must be in place.
dpkg -L quorvel >"$work/owned"
while read -r path; do
    [ -e "$path" ] || fail "$path is listed by dpkg but missing"
done <"$work/owned"
echo "$(grep -c . "$work/owned") paths owned by the package"
wm_class=$(sed -n 's/^StartupWMClass=//p' /usr/share/applications/org.quorvel.Quorvel.desktop)
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$here/show_window.sh" /usr/bin/quorvel "$wm_class" ||
    fail "the installed program did not open its window"

apt-get remove -y -qq quorvel >/dev/null
snapshot >"$work/removed"
echo "after removal: $(dpkg-query -W -f='${Status}' quorvel 2>/dev/null || echo 'unknown to dpkg')"
if ! diff -q "$work/before" "$work/removed" >/dev/null; then
    echo "left after removal (- missing, + added):"
    diff "$work/before" "$work/removed" | grep '^[<>]' | sed 's/^</  -/; s/^>/  +/' || true
fi

# A package without configuration files is gone from dpkg's records once removed, and then unknown
# to apt; dpkg purges it all the same.
dpkg --purge quorvel
snapshot >"$work/purged"
if dpkg-query -W quorvel >/dev/null 2>&1; then
    fail "dpkg still knows quorvel after the purge: $(dpkg-query -W -f='${Status}' quorvel)"
fi
if diff -q "$work/before" "$work/purged" >/dev/null; then
    echo "after purge: the same $(wc -l <"$work/purged") files and directories as before the installation"
else
    fail "the system differs after the purge (- missing, + left behind):"
    diff "$work/before" "$work/purged" | grep '^[<>]' | sed 's/^</  -/; s/^>/  +/' || true
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "installed, shown, removed and purged without a trace"
