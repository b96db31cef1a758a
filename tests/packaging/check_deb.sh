#!/usr/bin/env bash
# Builds the Debian package with CPack from the build's own configuration and checks its control
# fields and its contents with dpkg-deb.
#   check_deb.sh CPACK BUILD_DIR SOURCE_DIR OUT_DIR FILE_LIST VERSION HOMEPAGE
# VERSION is the package's, with its Debian revision (1.1-2).
set -euo pipefail
cpack=$1 build=$2 source=$3 out=$4 list=$5 version=$6 homepage=$7
id=org.quorvel.Quorvel
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$out"
. "$(dirname "$0")/keep_manifest.sh"
keep_manifest "$build"
mkdir -p "$out"
cd "$out"
if ! log=$("$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" 2>&1); then
    echo "$log"
    echo "FAIL: cpack failed"
    exit 1
fi

arch=$(dpkg --print-architecture)
deb=$out/quorvel_${version}_$arch.deb
if [ ! -f "$deb" ]; then
    echo "$log"
    echo "FAIL: no $deb; the directory holds: $(ls "$out")"
    exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
echo "control of $(basename "$deb"):"
dpkg-deb -f "$deb" | sed 's/^/  /'

[ "$(field Package)" = quorvel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = net ] || fail "Section is '$(field Section)'"
[ "$(field Priority)" = optional ] || fail "Priority is '$(field Priority)'"
[ "$(field Homepage)" = "$homepage" ] || fail "Homepage is '$(field Homepage)'"
field Maintainer | grep -Eq '^[^<]+ <[^@ ]+@[^> ]+>$' || fail "Maintainer '$(field Maintainer)' has no address"
# A synopsis line, then an extended description.
description=$(field Description)
[ "$(wc -l <<<"$description")" -ge 2 ] && [ -n "$(head -n 1 <<<"$description")" ] ||
    fail "Description lacks a synopsis or an extended description"
grep -q Eggdrop <<<"$description" || fail "Description does not name Eggdrop"

# Dependencies are read from the program's libraries, so the toolkit and the C and C++ libraries
# must be among them, each with a minimum version; the platform plugins are added by hand.
depends=$(field Depends | sed 's/, */\n/g')
for lib in libqt6widgets6 libc6 libstdc++6; do
    awk -v lib="$lib" '$1 == lib && $2 == "(>=" {found = 1} END {exit !found}' <<<"$depends" ||
        fail "Depends lacks a versioned $lib"
done
grep -qx qt6-qpa-plugins <<<"$depends" || fail "Depends lacks qt6-qpa-plugins"
[ "$(field Suggests)" = eggdrop ] || fail "Suggests is '$(field Suggests)'"
[ -z "$(field Recommends)" ] || fail "Recommends is '$(field Recommends)'"

# Contents: the installed files, with Debian's copyright file and changelog in place of the plain
# licence, and the lintian overrides; all under /usr and owned by root.
listing=$(dpkg-deb -c "$deb")
expected=$({ grep -v -e '^#' -e '^share/doc/quorvel/LICENSE$' "$list"
             printf '%s\n' share/doc/quorvel/copyright share/doc/quorvel/changelog.Debian.gz \
                 share/lintian/overrides/quorvel
           } | sed 's|^|./usr/|' | sort)
actual=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sort)
if [ "$expected" != "$actual" ]; then
    fail "package files differ from $list (- expected, + packaged):"
    diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | sed 's/^</  -/; s/^>/  +/' || true
fi
awk '$6 !~ /^\.\/(usr\/.*)?$/' <<<"$listing" | grep . && fail "entries outside /usr"
awk '$2 != "root/root"' <<<"$listing" | grep . && fail "entries not owned by root"
grep -Eq '^-rwxr-xr-x root/root .* \./usr/bin/quorvel$' <<<"$listing" || fail "usr/bin/quorvel is not mode 755"
awk '$1 ~ /^-/ && $6 != "./usr/bin/quorvel" && $1 != "-rw-r--r--"' <<<"$listing" | grep . &&
    fail "data files not mode 644"

tree=$out/tree
dpkg-deb -x "$deb" "$tree"
file -b "$tree/usr/bin/quorvel" | grep -q '^ELF .* executable.*, stripped$' ||
    fail "usr/bin/quorvel: $(file -b "$tree/usr/bin/quorvel")"
# Stripped as dh_strip does: neither the compiler's identification nor the .note section.
sections=$(readelf -S -W "$tree/usr/bin/quorvel" | sed -n 's/^ *\[ *[0-9]*\] \([^ ]*\) .*/\1/p')
grep -Exq '\.comment|\.note' <<<"$sections" && fail "usr/bin/quorvel keeps .comment or .note"
cmp -s "$source/data/$id.desktop" "$tree/usr/share/applications/$id.desktop" || fail "desktop entry altered"
cmp -s "$build/data/$id.metainfo.xml" "$tree/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo altered"

doc=$tree/usr/share/doc/quorvel
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" &&
    grep -qx 'License: Expat' "$doc/copyright" ||
    fail "copyright file is not in Debian's machine-readable format"
grep -Eqx 'Copyright: [0-9]{4} the Quorvel developers' "$doc/copyright" ||
    fail "copyright file has no notice with a year and the holder"
# The licence text that follows the notice must be in the copyright file, line by line.
sed '1,/^Copyright/d' "$source/LICENSE" | grep . | while IFS= read -r line; do
    grep -qxF " $line" "$doc/copyright" || { echo "FAIL: copyright file lacks: $line"; exit 1; }
done || failures=$((failures + 1))
gzip -dc "$doc/changelog.Debian.gz" >"$out/changelog"
changelog_version=$(dpkg-parsechangelog -l "$out/changelog" -S Version 2>&1) ||
    fail "changelog does not parse: $changelog_version"
[ "$changelog_version" = "$version" ] || fail "changelog names version '$changelog_version'"
cmp -s "$out/changelog" "$source/packaging/changelog" || fail "changelog differs from packaging/changelog"
cmp -s "$tree/usr/share/lintian/overrides/quorvel" "$source/packaging/lintian-overrides" ||
    fail "lintian overrides differ from packaging/lintian-overrides"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "$(basename "$deb"): control fields and $(wc -l <<<"$actual") files as expected"
