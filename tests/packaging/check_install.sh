#!/usr/bin/env bash
# Installs the build into a scratch root with the prefix a package uses and checks that exactly the
# expected files arrive, intact. When the build has the program, also checks that the installed copy
# finds its libraries without the build tree and opens its window.
#   check_install.sh CMAKE BUILD_DIR SOURCE_DIR ROOT FILE_LIST WITH_PROGRAM [APPSTREAMCLI]
set -euo pipefail
cmake=$1 build=$2 source=$3 root=$4 list=$5 with_program=$6 appstreamcli=${7:-}
here=$(dirname "$0")
id=org.quorvel.Quorvel
usr=$root/usr
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$root"
. "$(dirname "$0")/keep_manifest.sh"
keep_manifest "$build"
if ! out=$(DESTDIR=$root "$cmake" --install "$build" --prefix /usr 2>&1); then
    echo "$out"
    echo "FAIL: cmake --install failed"
    exit 1
fi

expected=$(grep -v '^#' "$list" | { if [ "$with_program" = 1 ]; then cat; else grep -vx bin/quorvel; fi; } | sort)
actual=$(cd "$usr" && find . ! -type d | sed 's|^\./||' | sort)
if [ "$expected" != "$actual" ]; then
    fail "installed files differ from $list (- expected, + installed):"
    diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | sed 's/^</  -/; s/^>/  +/' || true
fi
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

# Data files arrive unchanged, each icon in the directory of its own size.
cmp -s "$source/data/$id.desktop" "$usr/share/applications/$id.desktop" || fail "desktop entry altered"
cmp -s "$build/data/$id.metainfo.xml" "$usr/share/metainfo/$id.metainfo.xml" || fail "metainfo altered"
cmp -s "$source/LICENSE" "$usr/share/doc/quorvel/LICENSE" || fail "licence altered"
for size in 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x$size/apps/$id.png
    cmp -s "$source/data/icons/$id-$size.png" "$icon" || fail "$icon is not the $size pixel icon"
    file -b "$icon" | grep -q "PNG image data, $size x $size," || fail "$icon: $(file -b "$icon")"
done
cmp -s "$source/data/icons/$id.svg" "$usr/share/icons/hicolor/scalable/apps/$id.svg" ||
    fail "scalable icon altered"
gzip -dc "$usr/share/man/man1/quorvel.1.gz" | cmp -s - "$build/data/quorvel.1" ||
    fail "compressed manual page does not hold the manual page"

# The metainfo as installed: its launchable must be the installed desktop entry.
if [ -n "$appstreamcli" ]; then
    if ! report=$("$appstreamcli" validate-tree --no-net --no-color "$root" 2>&1) ||
            grep -Eq '^ *[EWI]: ' <<<"$report"; then
        fail "installed metainfo does not validate:"
        echo "$report"
    fi
fi

if [ "$with_program" = 1 ]; then
    program=$usr/bin/quorvel
    [ -x "$program" ] || fail "$program is not executable"
    file -b "$program" | grep -q '^ELF .* executable' || fail "$program: $(file -b "$program")"
    # Nothing may tie the installed program to where it was built.
    if paths=$(readelf -d "$program" | grep -E 'R(UN)?PATH'); then
        if grep -qF -e "$build" -e "$source" <<<"$paths"; then
            fail "$program still searches the build tree: $paths"
        fi
    fi
    if missing=$(ldd "$program" | grep 'not found'); then
        fail "$program lacks libraries: $missing"
    fi
    # A display of its own, on a random number so that parallel runs do not collide.
    wm_class=$(sed -n 's/^StartupWMClass=//p' "$usr/share/applications/$id.desktop")
    x_log=$root/xvfb.log
    if ! xvfb-run -a -n $((100 + RANDOM % 800)) -e "$x_log" -s "-screen 0 1280x1024x24" \
            bash "$here/show_window.sh" "$program" "$wm_class"; then
        fail "the installed program did not open its window as its desktop entry describes"
        echo "the X server's own messages:"
        cat "$x_log"
    fi
    rm -f "$x_log"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "installed $(wc -l <<<"$actual") files into $usr as expected"
