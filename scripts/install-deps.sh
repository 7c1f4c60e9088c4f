#!/usr/bin/env bash
# Installs the Debian packages a fresh machine lacks: those that building the
# driver and the zarncap tool and capturing need (scripts/packages-build.txt),
# and with --test also those the tests, fuzzers and Windows build need
# (scripts/packages-test.txt). Further packages may be named as arguments
# (scripts/bench.sh adds the benchmark's peers that way).
#
# A mirror mid-sync does not stop it: an index that cannot be fetched is named
# once and left out, and when the indexes read then offer a library in
# different versions for amd64 and i386 (or a -dev package newer than its
# installed runtime), scripts/apt_pins.py asks for the versions that match,
# naming any downgrade. It fails only when a package cannot be installed.
# Safe to run again: what is installed is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

with_tests=0
if [ "${1:-}" = --test ]; then
  with_tests=1
  shift
fi

read_list() { sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$1"; }
mapfile -t packages < <(read_list scripts/packages-build.txt)
if [ "$with_tests" = 1 ]; then
  mapfile -t -O "${#packages[@]}" packages < <(read_list scripts/packages-test.txt)
  # Node.js drives the browser tests; a machine that has it keeps its own.
  command -v node >/dev/null 2>&1 || packages+=(nodejs npm)
fi
packages+=("$@")

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt_get() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get -y -q --no-install-recommends "$@"; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
done

# Fetches the package indexes, once more after a failure (a mirror mid-sync
# often settles within seconds); indexes still missing are named once and the
# install goes on with what was read.
update_indexes() {
  local log
  log=$(mktemp)
  for attempt in 1 2; do
    if $SUDO apt-get update -q >"$log" 2>&1 && ! grep -q '^[WE]: Failed to fetch' "$log"; then
      rm -f "$log"
      return 0
    fi
    [ "$attempt" = 1 ] && sleep 5
  done
  echo "install-deps: these package indexes could not be fetched; going on without them:" >&2
  grep -o 'Failed to fetch [^ ]*' "$log" | sed 's/^Failed to fetch /  /' | sort -u >&2
  rm -f "$log"
}

# Installs a set of packages; when apt cannot resolve it as asked, installs it
# again with the versions scripts/apt_pins.py picks. A download that fails is
# retried once.
install_set() {
  [ $# -gt 0 ] || return 0
  if apt_get install -s "$@" >/dev/null 2>&1; then
    apt_get install "$@" || apt_get install "$@"
    return
  fi
  local pins
  mapfile -t pins < <(python3 scripts/apt_pins.py "$@")
  if [ ${#pins[@]} -gt 0 ]; then
    echo "install-deps: asking apt for ${#pins[@]} packages at versions that match across architectures and -dev packages" >&2
  fi
  # Never at the cost of another package: apt would rather remove one than fail.
  local removals
  removals=$(apt_get install -s --allow-downgrades "$@" "${pins[@]}" 2>/dev/null | awk '/^Remv /{print $2}' | tr '\n' ' ')
  if [ -n "$removals" ]; then
    echo "install-deps: installing $* would remove $removals; not doing that" >&2
    return 1
  fi
  if ! apt_get install --allow-downgrades "$@" "${pins[@]}" && ! apt_get install --allow-downgrades "$@" "${pins[@]}"; then
    echo "install-deps: could not install: $*" >&2
    return 1
  fi
}

if [ ${#missing[@]} -gt 0 ]; then
  native=()
  foreign=()
  for p in "${missing[@]}"; do
    case "$p" in *:i386) foreign+=("$p") ;; *) native+=("$p") ;; esac
  done
  # Wine runs the 32-bit DLL and its tests: it needs the i386 architecture.
  if [ ${#foreign[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  update_indexes
  # The machine's own architecture first: the i386 twins must then match the
  # versions it has.
  install_set "${native[@]}"
  install_set "${foreign[@]}"
fi

if [ "$with_tests" = 1 ]; then
  # playwright-core for the browser tests (the browser itself is Debian's chromium).
  (cd tests/browser && npm ci --no-audit --no-fund --silent)
fi
