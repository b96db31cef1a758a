#!/usr/bin/env bash
# Debian's own checks on the package in DEB_DIR (made by check_deb.sh):
#   check_debian_tools.sh lintian DEB_DIR          lintian --pedantic: any tag at any level fails
#   check_debian_tools.sh hardening-check DEB_DIR  the program has every hardening feature that
#                                                  dpkg-buildflags offers on this release and
#                                                  architecture
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
    program=$tree/usr/bin/quorvel
    # dpkg-buildflags' "branch" feature is control-flow protection on x86 and branch protection on
    # arm64; hardening-check asks for both wherever it knows them. Each is required where this
    # release's dpkg-buildflags offers it for this architecture.
    branch=no
    DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --query-features hardening |
        grep -qx 'Feature: branch' && branch=yes
    cf=no bti=no
    case $(dpkg --print-architecture) in
    amd64 | i386) cf=$branch ;;
    arm64) bti=$branch ;;
    esac
    options=()
    usage=$(hardening-check --help 2>&1 || true)
    if [ "$bti" = no ] && grep -q -- --nobranchprotection <<<"$usage"; then
        options+=(--nobranchprotection)
    fi
    # hardening-check looks for the IBT/SHSTK mark, which the linker gives a program only when
    # every object has it; where the C library's start files lack it (Debian 13), no program of the
    # release has it, Debian's own neither. There the code itself must show it: main, ours, begins
    # with the endbr64 that -fcf-protection puts at every function's entry.
    if [ "$cf" = no ]; then
        options+=(--nocfprotection)
    elif ! readelf -n "$(gcc -print-file-name=Scrt1.o)" | grep -q 'x86 feature: IBT, SHSTK'; then
        options+=(--nocfprotection)
        entry=$(readelf -h "$program" | awk '/Entry point/ {print $4}')
        main=$(objdump -d --start-address="$entry" --stop-address=$((entry + 64)) "$program" |
            sed -n 's/.*,%rdi *# *\([0-9a-f]\+\).*/\1/p' | head -n 1)
        if [ -z "$main" ]; then
            echo "FAIL: main not found from the entry point $entry"
            exit 1
        fi
        first=$(objdump -d --start-address=0x"$main" --stop-address=$((0x$main + 4)) "$program" |
            awk -F'\t' 'NF >= 3 {print $3; exit}')
        echo "Control-flow protection: the C library's start files lack the IBT/SHSTK mark;" \
            "main (0x$main) begins with: $first"
        [ "$first" = endbr64 ] || { echo "FAIL: main does not begin with endbr64"; exit 1; }
    fi
    hardening-check "${options[@]}" "$program"
    ;;
*)
    echo "unknown tool $tool" >&2
    exit 2
    ;;
esac
