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
# What the completion offers after the words typed so far (the last one being
# completed): commands, an option's choices, the cameras, and nothing where
# the user types a value of their own.
while IFS='|' read -r words expected; do
  offered=$(bash -c "source '$completion'; COMP_WORDS=(zarncap $words); COMP_CWORD=\${#COMP_WORDS[@]}; COMP_CWORD=\$((COMP_CWORD - 1)); _zarncap; echo \${COMPREPLY[*]}")
  test "$offered" = "$expected" || { echo "completion after 'zarncap $words' offered '$offered', not '$expected'"; exit 1; }
done <<'CASES'
st|stream
stream --codec ''|raw mjpeg h264
--camera ''|sim parport none
--camera pa|parport
capture --quality ''|
capture --quality 8|
stream --frames ''|
capture --size 3|320x240 352x288
preview --size ''|80x60 128x96 160x120 176x144 200x152 240x180 288x216 320x240 352x288 640x480
CASES
echo "installed and used: $prefix"
