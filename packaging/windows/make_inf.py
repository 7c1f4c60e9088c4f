#!/usr/bin/env python3
"""Writes ZARNCAP.INF, the setup-information file Windows users install the
driver with (right-click > Install, or the setup API's InstallHinfSection).

    make_inf.py --version 1.0.0 --out ZARNCAP.INF

Capture applications find video-capture drivers by the aliases msvideo,
msvideo1 ... msvideo9 (under Drivers32 on the NT family, in system.ini's
[drivers] on Windows 9x). An INF cannot look for a free alias, so:
- DefaultInstall takes "msvideo" and never replaces another driver's entry
  there (the registry value is written no-clobber; on 9x the [drivers] line is
  added only when the key is absent);
- Install.msvideoN (N = 1..9) takes that alias instead, for a machine where
  msvideo belongs to another driver; Uninstall.msvideoN removes it again.
Each install registers its uninstall under Add/Remove Programs. On 64-bit
Windows the 32-bit DLL goes to SysWOW64 and its entries to the 32-bit view of
the registry.
"""
import argparse

ALIASES = ["msvideo"] + ["msvideo%d" % n for n in range(1, 10)]

DRIVERS32 = r"Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
DESCRIPTIONS = r"Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarnCap"

# AddReg flags: 0x2 keep an existing value; 0x4000 the 32-bit registry view
# (64-bit Windows; ignored where there is only one view).
NOCLOBBER = 0x00000002
KEY32 = 0x00004000


def section_names(alias):
    if alias == "msvideo":
        return "DefaultInstall", "DefaultUninstall"
    return "Install." + alias, "Uninstall." + alias


def install_sections(alias):
    install, uninstall = section_names(alias)
    tag = alias
    lines = []
    # Windows 9x reads the undecorated section; the NT family the .NT ones,
    # 64-bit Windows the .NTamd64 one.
    for decoration, dest, flags in (("", None, 0), (".NT", None, 0), (".NTamd64", "64", KEY32)):
        copy = "Zarncap.Copy" + (".WOW64" if dest else "")
        lines.append("[%s%s]" % (install, decoration))
        lines.append("CopyFiles=%s,Zarncap.Inf%s" % (copy, ".WOW64" if dest else ""))
        if decoration == "":
            lines.append("UpdateInis=Zarncap.Ini.%s" % tag)
            lines.append("AddReg=Zarncap.Uninstall9x.%s" % tag)
        else:
            lines.append("AddReg=Zarncap.Reg%s.%s" % (".WOW64" if dest else "", tag))
        lines.append("")
        lines.append("[%s%s]" % (uninstall, decoration))
        lines.append("DelFiles=%s,Zarncap.Inf%s" % (copy, ".WOW64" if dest else ""))
        if decoration == "":
            lines.append("UpdateInis=Zarncap.IniRemove.%s" % tag)
            lines.append("DelReg=Zarncap.UninstallKey")
        else:
            lines.append("DelReg=Zarncap.DelReg%s.%s" % (".WOW64" if dest else "", tag))
        lines.append("")
    for suffix, flags in (("", 0), (".WOW64", KEY32)):
        lines.append("[Zarncap.Reg%s.%s]" % (suffix, tag))
        lines.append('HKLM,"%s","%s",0x%08X,"zarncap.dll"' % (DRIVERS32, alias, NOCLOBBER | flags))
        lines.append('HKLM,"%s","zarncap.dll",0x%08X,"%%Description%%"' % (DESCRIPTIONS, flags))
        lines.extend(uninstall_entry(uninstall, flags))
        lines.append("")
        lines.append("[Zarncap.DelReg%s.%s]" % (suffix, tag))
        lines.append('HKLM,"%s","%s",0x%08X' % (DRIVERS32, alias, flags))
        lines.append('HKLM,"%s","zarncap.dll",0x%08X' % (DESCRIPTIONS, flags))
        lines.append('HKLM,"%s",,0x%08X' % (UNINSTALL, flags))
        lines.append("")
    lines.append("[Zarncap.Uninstall9x.%s]" % tag)
    lines.extend(uninstall_entry(uninstall, 0))
    lines.append("")
    # 9x: the alias line is added only when system.ini has no such key (flag 2
    # leaves an existing one), and removed only when it names our DLL (flag 1).
    lines.append("[Zarncap.Ini.%s]" % tag)
    lines.append("system.ini,drivers,,%s=zarncap.dll,2" % alias)
    lines.append('control.ini,drivers.desc,,"zarncap.dll=%Description%"')
    lines.append("")
    lines.append("[Zarncap.IniRemove.%s]" % tag)
    lines.append("system.ini,drivers,%s=zarncap.dll,,1" % alias)
    lines.append("control.ini,drivers.desc,zarncap.dll,,0")
    lines.append("")
    return lines


def uninstall_entry(uninstall_section, flags):
    return [
        'HKLM,"%s","DisplayName",0x%08X,"%%Description%%"' % (UNINSTALL, flags),
        'HKLM,"%s","UninstallString",0x%08X,"rundll32.exe setupapi.dll,InstallHinfSection %s 132 %%17%%\\ZARNCAP.INF"'
        % (UNINSTALL, flags, uninstall_section),
    ]


def inf_text(version):
    month_day_year = "12/08/2026"
    lines = [
        "; ZARNCAP.INF - installs the ZarnCam parallel-port video-capture driver.",
        "; Right-click > Install registers it as msvideo (when no other driver has",
        "; that alias); InstallHinfSection Install.msvideoN takes msvideoN instead.",
        "; Remove it with Add/Remove Programs or the matching uninstall section.",
        "",
        "[Version]",
        'Signature="$CHICAGO$"',
        "Class=MEDIA",
        "ClassGUID={4d36e96c-e325-11ce-bfc1-08002be10318}",
        "Provider=%Provider%",
        "DriverVer=%s,%s.0" % (month_day_year, version),
        "",
        "[SourceDisksNames]",
        '1=%Disk%,,,""',
        "",
        "[SourceDisksFiles]",
        "ZARNCAP.DLL=1",
        "ZARNCAP.INF=1",
        "",
        "[DestinationDirs]",
        "Zarncap.Copy=11          ; the system folder",
        "Zarncap.Copy.WOW64=16425 ; SysWOW64 on 64-bit Windows",
        "Zarncap.Inf=17           ; the INF folder, for the uninstall",
        "Zarncap.Inf.WOW64=17",
        "",
        "[Zarncap.Copy]",
        "zarncap.dll,ZARNCAP.DLL",
        "",
        "[Zarncap.Copy.WOW64]",
        "zarncap.dll,ZARNCAP.DLL",
        "",
        "[Zarncap.Inf]",
        "ZARNCAP.INF",
        "",
        "[Zarncap.Inf.WOW64]",
        "ZARNCAP.INF",
        "",
        "[Zarncap.UninstallKey]",
        'HKLM,"%s"' % UNINSTALL,
        "",
    ]
    for alias in ALIASES:
        lines.extend(install_sections(alias))
    lines.extend([
        "[Strings]",
        'Provider="zarncap developers"',
        'Description="ZarnCam Parallel Port Video Capture Driver"',
        'Disk="ZarnCam driver disk"',
        "",
    ])
    return "\r\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    with open(args.out, "w", newline="") as out:
        out.write(inf_text(args.version))


if __name__ == "__main__":
    main()
