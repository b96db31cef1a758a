#!/usr/bin/env bash
# Debian's own checks on the package in DEB_DIR (made by check_deb.sh):
#   check_debian_tools.sh lintian DEB_DIR          lintian --pedantic: any tag at any level fails
#   check_debian_tools.sh hardening-check DEB_DIR  the program has every hardening feature that
#                                                  dpkg-buildflags offers on this release
set -euo pipefail
tool=$1 dir=$2
debs=("$dir"/quorvel_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no package in $dir"; exit 1; }
deb=${debs[0]}

case $tool in
lintian)
    lintian --version
    # Overridden tags do not count, but an unused override would. --show-overrides would make them
    # count too, so they are listed, with their reason, by a second run.
    status=0
    report=$(lintian --pedantic --display-info --display-experimental \
        --fail-on error,warning,info,pedantic,experimental "$deb" 2>&1) || status=$?
    grep -v '^running with root privileges is not recommended!$' <<<"$report" || true
    lintian --show-overrides --tags spelling-error-in-binary "$deb" 2>/dev/null || true
    [ "$status" -eq 0 ] || { echo "FAIL: lintian reports tags (status $status)"; exit 1; }
    echo "lintian: no tags but the overridden ones"
    ;;
hardening-check)
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    dpkg-deb -x "$deb" "$tree"
    # Control-flow protection is required where this release's dpkg-buildflags offers it.
    options=()
    DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --query-features hardening |
        grep -qx 'Feature: branch' || options+=(--nocfprotection)
    hardening-check "${options[@]}" "$tree/usr/bin/quorvel"
    ;;
*)
    echo "unknown tool $tool" >&2
    exit 2
    ;;
esac
