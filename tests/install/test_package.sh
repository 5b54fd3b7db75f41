#!/usr/bin/env bash
# Makes the Debian package as a node would receive it and checks it with the
# distribution's own tools: lintian finds no error, dpkg reads its control
# data, and it holds the renderer, its data, the video module and the
# desktop entry where the program looks for them.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/kestrova_*_amd64.deb)
report=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian: $report"
echo "$report" | grep -v 'root privileges' || true
dpkg-deb -f "$deb" Package Version Depends | grep -q '^Depends: .*libqt6core6' || fail "no library dependencies"
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/kestrova-render ./usr/bin/kestrova ./usr/lib/kestrova/kestrova-video.so \
            ./usr/share/kestrova/Boxes/ ./usr/share/applications/com.kestrova.kestrova.desktop \
            ./usr/share/doc/kestrova/copyright; do
  grep -q " $path" <<< "$contents" || fail "the package lacks $path"
done
echo "package ok: $(basename "$deb")"
