# Sourced by the packaging checks. Installing rewrites the build's install_manifest.txt, which a
# user may rely on to uninstall what they installed from this build: keep_manifest BUILD_DIR puts
# it back as it was when the sourcing script exits.
keep_manifest() {
    manifest=$1/install_manifest.txt
    saved_manifest=$(mktemp)
    if [ -f "$manifest" ]; then
        cp -p "$manifest" "$saved_manifest"
        trap 'mv -f "$saved_manifest" "$manifest"' EXIT
    else
        trap 'rm -f "$manifest" "$saved_manifest"' EXIT
    fi
}
