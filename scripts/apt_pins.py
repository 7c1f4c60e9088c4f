#!/usr/bin/env python3
"""Version pins that let apt install packages a half-synced mirror left it unable to.

When one package index could not be fetched (a mirror mid-sync), apt may know a
newer version of a library for one architecture than for the other, or a newer
-dev package than the runtime library already installed. Debian requires the
halves of a "Multi-Arch: same" package (zlib1g and zlib1g:i386) to carry the
same version, and a -dev package to match its runtime library exactly, so apt
gives up with "held broken packages".

Given the packages to install, this prints (one per line) the `name=version`
arguments that resolve it, and on stderr the downgrades they imply:
  * a Multi-Arch: same library installed for amd64 whose version the i386
    index lacks: both halves go to the newest version both architectures have;
  * every installed package built from the same source at the same version
    (zlib1g-dev beside zlib1g) follows it;
  * a package about to be installed whose source already has another binary
    installed at a different version (liblzma-dev beside a pinned liblzma5)
    is asked for at the installed version, if the indexes have it.
Nothing outside the packages' dependency closure and their source siblings is
touched.
"""
import subprocess
import sys
from collections import defaultdict


def run(args):
    return subprocess.run(args, check=False, capture_output=True, text=True).stdout


def compare_versions(a, b):
    """-1, 0 or 1 as dpkg orders the two versions."""
    if a == b:
        return 0
    lt = subprocess.run(["dpkg", "--compare-versions", a, "lt", b], check=False).returncode == 0
    return -1 if lt else 1


def closure(packages):
    """Every real package the requested ones depend on, arch-qualified as apt names them."""
    out = run(["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
               "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", *packages])
    names = set()
    for line in out.splitlines():
        if line and not line[0].isspace() and not line.startswith("<"):
            names.add(line.strip())
    return names


def split_arch(name, native="amd64"):
    if ":" in name:
        base, arch = name.split(":", 1)
        return base, arch
    return name, native


def installed_packages():
    """{(base, arch): (version, source, multiarch)} for what dpkg has installed."""
    fmt = "${binary:Package}\t${Architecture}\t${Version}\t${source:Package}\t${Multi-Arch}\t${db:Status-Abbrev}\n"
    result = {}
    for line in run(["dpkg-query", "-W", "-f", fmt]).splitlines():
        fields = line.split("\t")
        if len(fields) < 6 or not fields[5].startswith("ii"):
            continue
        base = fields[0].split(":", 1)[0]
        arch = fields[1] if fields[1] != "all" else "amd64"
        result[(base, arch)] = (fields[2], fields[3], fields[4])
    return result


def available_versions(names):
    """{(base, arch): [versions]} from the indexes apt could read."""
    found = defaultdict(list)
    names = sorted(names)
    for start in range(0, len(names), 200):
        for line in run(["apt-cache", "madison", *names[start:start + 200]]).splitlines():
            fields = [f.strip() for f in line.split("|")]
            if len(fields) < 3 or not fields[2].endswith("Packages"):
                continue
            arch = fields[2].split()[-2]
            base = fields[0].split(":", 1)[0]
            if fields[1] not in found[(base, arch)]:
                found[(base, arch)].append(fields[1])
    return found


def candidate_sources(names):
    """{base: source} for the candidates of packages not yet installed."""
    sources = {}
    names = sorted(names)
    for start in range(0, len(names), 200):
        out = run(["apt-cache", "show", "--no-all-versions", *names[start:start + 200]])
        for para in out.split("\n\n"):
            fields = dict(l.split(": ", 1) for l in para.splitlines() if ": " in l and not l.startswith(" "))
            if "Package" in fields:
                sources[fields["Package"]] = fields.get("Source", fields["Package"]).split(" ")[0]
    return sources


def newest_common(versions_a, versions_b):
    common = [v for v in versions_a if v in versions_b]
    best = None
    for v in common:
        if best is None or compare_versions(v, best) > 0:
            best = v
    return best


def main(requested):
    wanted = closure(requested)
    installed = installed_packages()
    available = available_versions(
        wanted | {f"{b}:i386" for b, a in (split_arch(n) for n in wanted) if a == "i386"}
        | {b for b, a in (split_arch(n) for n in wanted)})
    pins = {}
    changes = []

    def pin(base, arch, version):
        pins[f"{base}:{arch}"] = version

    # Multi-Arch: same pairs whose amd64 half is newer than anything the i386 index has.
    for name in sorted(wanted):
        base, arch = split_arch(name)
        if arch != "i386" or (base, "amd64") not in installed:
            continue
        version, source, multiarch = installed[(base, "amd64")]
        i386_versions = available.get((base, "i386"), [])
        if multiarch != "same":
            continue
        # apt picks each half's candidate on its own, so a pair whose amd64
        # candidate is newer than the i386 one breaks even when the installed
        # amd64 version would do: both halves are asked for explicitly.
        if version in i386_versions:
            pin(base, "amd64", version)
            pin(base, "i386", version)
            continue
        common = newest_common(available.get((base, "amd64"), []), i386_versions)
        if common is None:
            continue
        pin(base, "amd64", common)
        pin(base, "i386", common)
        changes.append((base, source, version, common))

    # Installed siblings from the same source follow their library (a -dev
    # package asks for its runtime library at exactly its own version).
    siblings = [(other, arch, version, source, new)
                for base, source, old, new in list(changes)
                for (other, arch), (version, other_source, _) in installed.items()
                if other_source == source and version == old and f"{other}:{arch}" not in pins]
    sibling_versions = available_versions({other for other, *_ in siblings})
    for other, arch, old, source, new in siblings:
        if new in sibling_versions.get((other, arch), []):
            pin(other, arch, new)
            changes.append((other, source, old, new))

    # Packages about to be installed follow what their source already has installed.
    installed_by_source = defaultdict(set)
    for (base, arch), (version, source, _) in installed.items():
        installed_by_source[source].add(version)
    new_names = {base for base, arch in map(split_arch, wanted)
                 if arch == "amd64" and (base, arch) not in installed}
    for base, source in candidate_sources(new_names).items():
        versions = installed_by_source.get(source, set())
        if len(versions) != 1 or f"{base}:amd64" in pins:
            continue
        version = next(iter(versions))
        if version in available.get((base, "amd64"), []):
            pin(base, "amd64", version)

    for base, _source, old, new in changes:
        if compare_versions(new, old) < 0:
            print(f"install-deps: {base} {old} -> {new} (downgraded: the indexes read have no newer version for both architectures)", file=sys.stderr)
        else:
            print(f"install-deps: {base} {old} -> {new} (upgraded: its i386 twin has only this version)", file=sys.stderr)
    for name, version in sorted(pins.items()):
        print(f"{name}={version}")


if __name__ == "__main__":
    main(sys.argv[1:])
