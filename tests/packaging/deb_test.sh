#!/usr/bin/env bash
# The Debian package as a user meets it: built and installed by the lines the
# README gives under "Installing" (the block after its "<!-- package-command -->"
# marker), run as written (sudo left out when already root), then checked by
# lintian (no errors), a picture taken with /usr/bin/zarncap and the manual read
# from the installed files, then removed with dpkg -r, leaving nothing of it
# but the user's settings.
#   deb_test.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(zarncap .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
deb="build/package/out/zarncap_${version}_$(dpkg --print-architecture).deb"
mapfile -t lines < <(awk '/<!-- package-command -->/ {marked = 1; next}
                          marked && /^```bash/ {inside = 1; next}
                          inside && /^```/ {exit}
                          inside {print}' README.md)
test "${#lines[@]}" -gt 0 || { echo "README.md has no package-command block"; exit 1; }
rm -rf build/package/out
trap 'dpkg -r zarncap >/dev/null 2>&1 || true' EXIT
for line in "${lines[@]}"; do
  if [ "$(id -u)" = 0 ]; then line=${line#sudo }; fi
  echo "deb_test: $line"
  DEBIAN_FRONTEND=noninteractive bash -c "$line" </dev/null
done
test -f "$deb" || { echo "the README's lines left no package at $deb"; ls build/package/out 2>/dev/null; exit 1; }
dpkg -s zarncap >/dev/null 2>&1 || { echo "the README's lines did not install zarncap"; exit 1; }
build=build/package

# Dependencies come from the binaries, and the files land where Debian wants them.
contents=$(dpkg-deb -c "$deb")
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libieee1284-3" <<<"$depends" || { echo "Depends lacks libieee1284-3: $depends"; exit 1; }
lib="./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/zarncap"
for file in ./usr/bin/zarncap "$lib/libzarncap.so" "$lib/libzarncap-v4l2.so" \
            ./usr/share/man/man1/zarncap.1.gz ./usr/share/bash-completion/completions/zarncap \
            ./usr/share/doc/zarncap/copyright ./usr/share/doc/zarncap/changelog.gz \
            ./usr/share/doc/zarncap/README.Debian ./usr/lib/systemd/user/zarncap-pipewire.service; do
  grep -q " $file\$" <<<"$contents" || { echo "the package lacks $file"; exit 1; }
done
if lintian --fail-on error "$deb" >"$build/lintian.txt" 2>&1; then
  :
else
  echo "lintian found errors:"; cat "$build/lintian.txt"; exit 1
fi

home=$(mktemp -d)
trap 'dpkg -r zarncap >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
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
