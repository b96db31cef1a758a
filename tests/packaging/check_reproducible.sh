#!/usr/bin/env bash
# Builds the Debian package of the last commit twice, the way the README does it, as two different
# machines would: from two clones in directories of different names and depths, with build trees of
# different names, one after the other, under different umasks and time zones, without a compiler
# cache and without SOURCE_DATE_EPOCH. The two packages must be equal to the byte.
# Each build tree is a directory of its clone, as the presets make it: moc's output includes the
# headers by their path relative to it, which reaches the debug information and so the build ID.
#   check_reproducible.sh CMAKE CPACK GIT SOURCE_DIR WORK_DIR
set -euo pipefail
cmake=$1 cpack=$2 git=$3 source=$4 work=$5

commit=$("$git" -C "$source" rev-parse HEAD)
if ! "$git" -C "$source" diff --quiet HEAD --; then
    echo "note: the packages are of commit $commit; uncommitted changes are not in them"
fi
rm -rf "$work"
mkdir -p "$work"

# build NAME SOURCE BUILD UMASK TZ: the package's path on stdout, the build's output in NAME.log.
build() {
    local log=$work/$1.log src=$2 bld=$3 mask=$4 zone=$5
    (
        umask "$mask"
        export TZ=$zone
        unset SOURCE_DATE_EPOCH CMAKE_CXX_COMPILER_LAUNCHER CCACHE_DIR CCACHE_BASEDIR
        mkdir -p "$(dirname "$src")"
        "$git" clone --quiet --no-checkout --no-hardlinks "$source" "$src"
        "$git" -C "$src" checkout --quiet "$commit"
        cd "$src"
        "$cmake" --preset default -B "$bld" -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCHMARKS=OFF
        "$cmake" --build "$bld" -j 2
        "$cpack" -G DEB --config "$bld/CPackConfig.cmake" -B "$bld/package"
    ) >"$log" 2>&1 || {
        tail -n 40 "$log" >&2
        echo "FAIL: the build in $src failed; its output is in $log" >&2
        exit 1
    }
    ls "$bld"/package/quorvel_*.deb
}

first=$(build first "$work/one/quorvel" "$work/one/quorvel/build" 022 UTC)
second=$(build second "$work/second-clone/src/quorvel-$commit" \
    "$work/second-clone/src/quorvel-$commit/release-build" 077 Pacific/Kiritimati)

sha256sum "$first" "$second" | sed "s|$work/||"
if ! cmp "$first" "$second"; then
    if command -v diffoscope >/dev/null; then
        diffoscope --text - "$first" "$second" | head -n 200 || true
    else
        for p in "$first" "$second"; do
            echo "== $p"
            dpkg-deb -I "$p"
            dpkg-deb -c "$p"
        done
    fi
    echo "FAIL: two builds of $commit gave different packages"
    exit 1
fi
echo "two builds of $commit gave the same package: $(basename "$first")"
