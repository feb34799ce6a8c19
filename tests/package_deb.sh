#!/bin/sh
# Builds the Debian package, unpacks it into a scratch root, validates its
# desktop files and metainfo, and starts the unpacked editor on a document.
# usage: package_deb.sh BUILD_DIR
set -eu
build=$1
for tool in cpack dpkg-deb desktop-file-validate appstreamcli xvfb-run xwininfo; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/out/*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Depends
root=$scratch/root
dpkg-deb -x "$deb" "$root"

for f in "$root"/usr/share/applications/*.desktop; do
  desktop-file-validate "$f"
  echo "valid: $(basename "$f")"
done
for f in "$root"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net "$f"
done
grep -q '^MimeType=application/rtf;text/rtf;$' "$root/usr/share/applications/net.tarbel.tarbel.desktop"
test -f "$root/usr/share/icons/hicolor/48x48/apps/net.tarbel.tarbel.png"
test -f "$root/usr/share/icons/hicolor/scalable/apps/net.tarbel.tarbel.svg"
test -x "$root/usr/bin/tarbel"
if [ -e "$root/usr/bin/vennik" ]; then
  grep -q 'text/html' "$root/usr/share/applications/net.tarbel.vennik.desktop"
  grep -q 'x-scheme-handler/https' "$root/usr/share/applications/net.tarbel.vennik.desktop"
  test -f "$root/usr/libexec/vennik/bckcol.cfg"
  test "$(readlink -f "$root/usr/bin/vennik")" = "$(readlink -f "$root/usr/libexec/vennik/vennik")"
fi

# The unpacked editor opens a document named on its command line.
doc=$scratch/letter.rtf
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Dear reader,\\par}' >"$doc"
HOME=$scratch/home WINEPREFIX=$scratch/wine
export HOME WINEPREFIX
mkdir -p "$HOME"
sh "$(dirname "$0")/support/on-xvfb.sh" "Editor [$doc]" - "$root/usr/bin/tarbel" "$doc"
