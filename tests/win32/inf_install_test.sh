#!/usr/bin/env bash
# The Windows package as a user meets it, under Wine: ZARNCAP.INF from the
# zip installed with the system's own setup API (rundll32 setupapi.dll,
# InstallHinfSection), the driver then opened by its alias through winmm with
# ZARNCAP_SIM.DLL standing in for ZARNCAP.DLL (Wine has no kernel port
# device), and the uninstall section taking the file and the entries away.
# An alias another driver holds is left alone; Install.msvideo1 takes the next.
#   inf_install_test.sh <win32 build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEDEBUG=-all ZARNCAP_CAMERA="sim:noise=0"
zip=$(ls "$build"/zarncap-*-win32.zip)
kit=$(mktemp -d)
trap 'rm -rf "$kit"' EXIT
(cd "$kit" && cmake -E tar xf "$zip")
cp "$kit/ZARNCAP_SIM.DLL" "$kit/ZARNCAP.DLL"
inf=$(winepath -w "$kit/ZARNCAP.INF")
system=$(winepath -u 'C:\windows\system32')
drivers32='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32'
host="$build/tests/win32/capture_host.exe"

alias_of() { wine reg query "$drivers32" /v "$1" 2>/dev/null | tr -d '\r' | awk -v a="$1" '$1 == a {print $3}'; }
setup() { wine rundll32 setupapi.dll,InstallHinfSection "$1" 132 "$inf"; wineserver -w; }
fail() { echo "inf_install_test: $*"; exit 1; }

for a in msvideo msvideo1; do wine reg delete "$drivers32" /v "$a" /f >/dev/null 2>&1 || true; done
rm -f "$system/zarncap.dll"

setup DefaultInstall
test -f "$system/zarncap.dll" || fail "DefaultInstall copied no zarncap.dll to the system folder"
[ "$(alias_of msvideo)" = "zarncap.dll" ] || fail "msvideo is '$(alias_of msvideo)' after DefaultInstall"
wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc' /v zarncap.dll >/dev/null 2>&1 \
  || fail "no description for the multimedia applet"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarnCap'
wine reg query "$uninstall" /v UninstallString 2>/dev/null | grep -q "DefaultUninstall" \
  || fail "no Add/Remove Programs entry"
wine "$host" --alias msvideo "$(winepath -w "$kit/frames")" || fail "the installed driver did not capture by its alias"

setup DefaultUninstall
test ! -f "$system/zarncap.dll" || fail "DefaultUninstall left zarncap.dll"
[ -z "$(alias_of msvideo)" ] || fail "DefaultUninstall left msvideo = $(alias_of msvideo)"
! wine reg query "$uninstall" >/dev/null 2>&1 || fail "DefaultUninstall left the Add/Remove Programs entry"
! ls "$(winepath -u 'C:\windows\inf')" | grep -qi '^zarncap.inf$' || fail "DefaultUninstall left the INF's copy"

# Another driver has msvideo: the default install keeps it; msvideo1 takes ours.
wine reg add "$drivers32" /v msvideo /d other.dll /f >/dev/null
setup DefaultInstall
[ "$(alias_of msvideo)" = "other.dll" ] || fail "DefaultInstall replaced another driver's msvideo"
setup Install.msvideo1
[ "$(alias_of msvideo1)" = "zarncap.dll" ] || fail "Install.msvideo1 did not register msvideo1"
wine "$host" --alias msvideo1 "$(winepath -w "$kit/frames1")" || fail "no capture by msvideo1"
setup Uninstall.msvideo1
[ -z "$(alias_of msvideo1)" ] || fail "Uninstall.msvideo1 left msvideo1"
[ "$(alias_of msvideo)" = "other.dll" ] || fail "Uninstall.msvideo1 touched msvideo"
test ! -f "$system/zarncap.dll" || fail "Uninstall.msvideo1 left zarncap.dll"
wine reg delete "$drivers32" /v msvideo /f >/dev/null 2>&1
echo "inf_install_test: installed, opened by alias, captured, removed"
