#!/usr/bin/env bash
# cmake --install of a build tree into a scratch prefix, then the installed
# zarncap used as a user would: it finds the installed driver (no
# ZARNCAP_DRIVER), its manual page reads, its completion offers the commands.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
unset ZARNCAP_DRIVER
export ZARNCAP_CONFIG_DIR="$prefix/config" ZARNCAP_CAMERA=sim
mkdir -p "$ZARNCAP_CONFIG_DIR"
"$prefix/bin/zarncap" -v capture -o "$prefix/still.png" --frames 2 2>"$prefix/said"
grep -q "driver $prefix/lib" "$prefix/said" || { echo "the installed zarncap loaded another driver:"; cat "$prefix/said"; exit 1; }
test -s "$prefix/still.png"
man_page=$(find "$prefix" -name zarncap.1.gz)
manual=$(zcat "$man_page")
grep -q '^\.SS capture' <<<"$manual"
grep -q 'no\\-clobber' <<<"$manual"
completion=$(find "$prefix" -path '*bash-completion/completions/zarncap')
offered=$(bash -c "source '$completion'; COMP_WORDS=(zarncap st); COMP_CWORD=1; _zarncap; echo \${COMPREPLY[*]}")
test "$offered" = "stream" || { echo "completion offered '$offered'"; exit 1; }
offered=$(bash -c "source '$completion'; COMP_WORDS=(zarncap stream --codec ''); COMP_CWORD=3; _zarncap; echo \${COMPREPLY[*]}")
test "$offered" = "raw mjpeg h264" || { echo "completion offered '$offered'"; exit 1; }
echo "installed and used: $prefix"
