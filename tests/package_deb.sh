#!/bin/sh
# Builds the Debian packages (tarbel, and vennik when the browser is built),
# holds each to lintian with no error or warning allowed, checks that the
# editor's package pulls in no web engine, unpacks both into a scratch root,
# validates their desktop files and metainfo, and starts the unpacked editor
# on a document.
# usage: package_deb.sh BUILD_DIR
set -eu
build=$1
for tool in cpack dpkg-deb dpkg-parsechangelog lintian desktop-file-validate appstreamcli xvfb-run xwininfo; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
root=$scratch/root
for deb in "$scratch"/out/*.deb; do
  package=$(dpkg-deb -f "$deb" Package)
  version=$(dpkg-deb -f "$deb" Version)
  echo "package: $(basename "$deb")"
  dpkg-deb -f "$deb" Depends
  # stderr holds only lintian's own notices (such as running as root).
  lintian --fail-on error,warning "$deb" 2>"$scratch/lintian.err" || {
    cat "$scratch/lintian.err"; echo "lintian finds fault with $package"; exit 1; }
  echo "lintian: $package clean"
  dpkg-deb -x "$deb" "$root"
  doc=$root/usr/share/doc/$package
  grep -q '^License: GPL-3+$' "$doc/copyright" || { echo "$package: no GPL-3+ in its copyright file"; exit 1; }
  logged=$(gzip -dc "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)
  [ "$logged" = "$version" ] || { echo "$package: changelog ends at $logged, package is $version"; exit 1; }
  gzip -t "$root/usr/share/man/man1/$package.1.gz"
done
# A user who only wants to edit documents gets no web engine.
if dpkg-deb -f "$scratch"/out/tarbel_*.deb Depends | grep -i -E 'webengine|chromium'; then
  echo "tarbel depends on a web engine"
  exit 1
fi
if dpkg-deb -c "$scratch"/out/tarbel_*.deb | grep -q vennik; then
  echo "tarbel holds files of vennik"
  exit 1
fi

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
