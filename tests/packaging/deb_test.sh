#!/usr/bin/env bash
# The Debian package as a user meets it: built with cpack from the "package"
# preset, checked by lintian (no errors), installed with dpkg -i, a picture
# taken with /usr/bin/zarncap and the manual read from the installed files,
# then removed with dpkg -r, leaving nothing of it but the user's settings.
#   deb_test.sh [build folder]   (default: the "package" preset, configured and built here;
#                                 a built default-preset folder serves as well: it is set up for /usr)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-}
if [ -z "$build" ]; then
  cmake --preset package >/dev/null
  cmake --build --preset package >/dev/null
  build=build/package
fi
test -f "$build/CPackConfig.cmake" || { echo "deb_test: $build is not set up for packaging (ZARNCAP_PACKAGE)"; exit 1; }
rm -rf "$build/out"
cpack --config "$build/CPackConfig.cmake" -B "$PWD/$build/out" >/dev/null
version=$(sed -n 's/^project(zarncap .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
deb="$build/out/zarncap_${version}_$(dpkg --print-architecture).deb"
test -f "$deb" || { echo "no package at $deb"; ls "$build/out"; exit 1; }

# Dependencies come from the binaries, and the files land where Debian wants them.
contents=$(dpkg-deb -c "$deb")
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libieee1284-3" <<<"$depends" || { echo "Depends lacks libieee1284-3: $depends"; exit 1; }
lib="./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/zarncap"
for file in ./usr/bin/zarncap "$lib/libzarncap.so" "$lib/libzarncap-v4l2.so" \
            ./usr/share/man/man1/zarncap.1.gz ./usr/share/bash-completion/completions/zarncap \
            ./usr/share/doc/zarncap/copyright ./usr/share/doc/zarncap/changelog.gz \
            ./usr/share/doc/zarncap/README.Debian; do
  grep -q " $file\$" <<<"$contents" || { echo "the package lacks $file"; exit 1; }
done
if lintian --fail-on error "$deb" >"$build/lintian.txt" 2>&1; then
  :
else
  echo "lintian found errors:"; cat "$build/lintian.txt"; exit 1
fi

home=$(mktemp -d)
trap 'dpkg -r zarncap >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
dpkg -i "$deb" >/dev/null
unset ZARNCAP_DRIVER ZARNCAP_CONFIG_DIR
HOME="$home" XDG_CONFIG_HOME="" /usr/bin/zarncap --camera sim capture -o "$home/still.png" --frames 2 -q
test -s "$home/still.png"
# The V4L2 face from the installed files: the launcher finds its library.
HOME="$home" XDG_CONFIG_HOME="" /usr/bin/zarncap -q --camera sim v4l2 -- sh -c 'exit 0' \
  || { echo "zarncap v4l2 did not run from the package"; exit 1; }
said=$(/usr/bin/zarncap --version)
grep -q "^zarncap $version (source " <<<"$said" || { echo "--version said: $said"; exit 1; }
if [ -f /usr/share/man/man1/zarncap.1.gz ]; then
  manual=$(MANWIDTH=80 man zarncap 2>/dev/null)
else
  # A machine whose dpkg leaves manual pages out (path-exclude): the package's own page.
  manual=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/zarncap.1.gz | gunzip | MANWIDTH=80 man -l - 2>/dev/null)
fi
grep -q "zarncap capture" <<<"$manual" || { echo "man zarncap does not read:"; head -20 <<<"$manual"; exit 1; }
dpkg -r zarncap >/dev/null
left=$(dpkg -L zarncap 2>/dev/null || true)
test ! -e /usr/bin/zarncap && test ! -e /usr/share/man/man1/zarncap.1.gz || { echo "dpkg -r left files"; exit 1; }
test -z "$left" || { echo "dpkg still lists: $left"; exit 1; }
# The user's settings stay: they are theirs.
test -f "$home/.config/zarncap/zarncap.ini" || { echo "the user's settings went"; ls -R "$home"; exit 1; }
echo "package built, linted, installed, used and removed: $deb"
