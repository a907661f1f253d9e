#!/usr/bin/env python3
"""The bill of materials (CycloneDX 1.5 JSON) and THIRD-PARTY-NOTICES.txt of a build.

Both come from what was linked: the linker's map file of each binary names every archive member
and start-up object it took in, and the binary's import table (Windows) or NEEDED entries (ELF)
name what it loads at run time. The Debian package that installed each file says where it came
from, its copyright file is the notice. Written for builds on Debian; the same inputs give the
same bytes (the time is SOURCE_DATE_EPOCH's, the serial number the content's).

  release_files.py notices --binary FILE=MAP... --out NOTICES
  release_files.py bom --name NAME --version VERSION --supplier NAME --epoch SECONDS
      --binary FILE=MAP... [--file FILE...] [--packs PACKAGE=FILE...] [--tool PATH...] --out BOM

Fails, naming the file, where a linked file comes from no package or no licence is known for it.
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid

# What the linker may take in besides the project's own objects: (package pattern, file
# pattern, component, SPDX licence expression). The GCC runtime library exception lets the
# runtime go into a program under any licence; its notice goes with it all the same. The
# MinGW-w64 runtime's expression is its main licence: the notice, its copyright file, also
# names the parts under other terms (public domain, the gdtoa and BSD files).
GCC_RUNTIME = "GPL-3.0-or-later WITH GCC-exception-3.1"
LINKED_CODE = [
    (r"", r"libstdc\+\+\.a|libsupc\+\+\.a", "libstdc++", GCC_RUNTIME),
    (r"", r"libgcc\.a|libgcc_eh\.a|crtbegin\w*\.o|crtend\w*\.o|crtfastmath\.o", "libgcc",
     GCC_RUNTIME),
    (r"mingw", r"libwinpthread\.a|libpthread\.a", "winpthreads", "MIT AND BSD-3-Clause"),
    (r"mingw", r"lib(mingw32|mingwex|moldname|msvcrt)\.a|(crt2|dllcrt2|crt1|dllcrt1)\.o",
     "MinGW-w64 CRT", "ZPL-2.1"),
    (r"^libc6-dev", r"libc_nonshared\.a|S?crt1\.o|crt[in]\.o", "GNU C Library start-up code",
     "LGPL-2.1-or-later"),
]


def fail(message):
    sys.exit(f"release_files.py: {message}")


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def package_of(path):
    """The Debian package that installed PATH, and its version and architecture."""
    candidates = [os.path.normpath(path), os.path.realpath(path)]
    # Merged /usr: a file may be known to dpkg under /lib as well as /usr/lib.
    for candidate in list(candidates):
        if candidate.startswith("/usr/"):
            candidates.append(candidate[4:])
        else:
            candidates.append("/usr" + candidate)
    for candidate in candidates:
        found = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
        if found.returncode == 0:
            # "libstdc++-12-dev:amd64: /usr/lib/...", several packages apart by commas.
            package = found.stdout.splitlines()[0].split(": ")[0].split(",")[0].strip()
            version, arch = run("dpkg-query", "-W", "-f=${Version} ${Architecture}",
                                package).split()
            return package.split(":")[0], version, arch
    fail(f"{path} was installed by no Debian package")


def purl(package, version, arch):
    return f"pkg:deb/debian/{package}@{version}?arch={arch}"


def read_map(map_file):
    """The archives that gave members, and the objects loaded from outside the build."""
    archives, objects = set(), set()
    with open(map_file, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            member = re.match(r"^(/\S+\.a)\([^)]*\)", line)
            if member:
                archives.add(os.path.normpath(member.group(1)))
            loaded = re.match(r"^LOAD (/\S+\.o)$", line.rstrip("\n"))
            if loaded:
                objects.add(os.path.normpath(loaded.group(1)))
    return archives, objects


def is_pe(binary):
    with open(binary, "rb") as data:
        return data.read(2) == b"MZ"


def loaded_at_run_time(binary, objdump):
    """The DLLs of a PE file's import table, or an ELF file's NEEDED entries."""
    dump = run(objdump, "-p", binary)
    if is_pe(binary):
        return sorted(set(name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)))
    return sorted(set(re.findall(r"^\s*NEEDED\s+(\S+)", dump, re.M)))


def shared_library_path(soname):
    for line in run("/sbin/ldconfig", "-p").splitlines():
        match = re.match(rf"^\s*{re.escape(soname)} \((.*)\) => (\S+)$", line)
        if match and "x86-64" in match.group(1):
            return match.group(2)
    fail(f"{soname} is not a library the loader knows")


def linked_code(path):
    """(component, licence, package, version, arch) of a file the linker took in."""
    package, version, arch = package_of(path)
    for package_pattern, file_pattern, component, licence in LINKED_CODE:
        if re.search(package_pattern, package) and re.fullmatch(file_pattern,
                                                               os.path.basename(path)):
            return component, licence, package, version, arch
    fail(f"no component and licence known for {path} (package {package}): add it to LINKED_CODE")


def binaries(arguments):
    for pair in arguments.binary:
        binary, map_file = pair.split("=", 1)
        yield binary, map_file


def analyse(arguments):
    """Per binary: its static components (by component name) and its run-time dependencies."""
    analysed = []
    for binary, map_file in binaries(arguments):
        archives, objects = read_map(map_file)
        loads = loaded_at_run_time(binary, arguments.objdump)
        import_libraries = {f"lib{dll[:-4]}.a": dll for dll in loads if dll.endswith(".dll")}
        static, imports = {}, {}
        for path in sorted(archives | objects):
            dll = import_libraries.get(os.path.basename(path).lower())
            if dll:
                imports.setdefault(dll, []).append(path)
                continue
            component, licence, package, version, arch = linked_code(path)
            entry = static.setdefault(component, {
                "licence": licence, "package": package, "version": version, "arch": arch,
                "files": []})
            if entry["package"] != package:
                fail(f"{component} comes from {entry['package']} and {package}")
            entry["files"].append(path)
        analysed.append((binary, static, loads, imports))
    return analysed


def notice_file(package):
    path = f"/usr/share/doc/{package}/copyright"
    if not os.path.isfile(path):
        fail(f"{package} ships no copyright file ({path}): no notice for it")
    return path


def write_notices(arguments):
    components = {}
    for binary, static, _, _ in analyse(arguments):
        for name, entry in static.items():
            components.setdefault(name, dict(entry, binaries=[]))["binaries"].append(
                os.path.basename(binary))
    text = ["THIRD-PARTY NOTICES",
            "",
            "These programs contain code of the components below, linked in when they were",
            "built. Each component's notice follows: its copyright and licence as the Debian",
            "package that supplied the code states them.",
            ""]
    printed = {}
    for name in sorted(components):
        entry = components[name]
        path = os.path.realpath(notice_file(entry["package"]))
        text += ["=" * 78,
                 f"{name}",
                 f"Licence: {entry['licence']}",
                 f"In: {', '.join(sorted(set(entry['binaries'])))}",
                 f"Supplied by the Debian package {entry['package']} {entry['version']}",
                 "=" * 78,
                 ""]
        if path in printed:
            # One source package builds several (the GCC runtime's parts): one notice for all.
            text += [f"The notice of {printed[path]} above, which this package shares.", ""]
            continue
        printed[path] = name
        with open(path, encoding="utf-8", errors="replace") as notice:
            text += [line.rstrip() for line in notice.read().splitlines()]
        text.append("")
    with open(arguments.out, "w", encoding="utf-8", newline="\r\n" if arguments.crlf else "\n") as out:
        out.write("\n".join(text))


def sha256(path):
    with open(path, "rb") as data:
        return hashlib.sha256(data.read()).hexdigest()


def file_component(path, version):
    name = os.path.basename(path)
    return {"type": "file", "bom-ref": f"file:{name}", "name": name, "version": version,
            "hashes": [{"alg": "SHA-256", "content": sha256(path)}]}


def tool_component(path):
    package, version, arch = package_of(path)
    return {"type": "application", "name": os.path.basename(os.path.realpath(path)),
            "version": version,
            "purl": purl(package, version, arch),
            "properties": [{"name": "ordex:debian-package", "value": package}]}


def write_bom(arguments):
    components, dependencies, seen = [], [], {}
    artefacts = []

    def add(component):
        known = seen.get(component["bom-ref"])
        if known is None:
            seen[component["bom-ref"]] = component
            components.append(component)
        elif "evidence" in component:
            # Linked into several binaries: each file any of them took in.
            occurrences = known.setdefault("evidence", {}).setdefault("occurrences", [])
            for occurrence in component["evidence"]["occurrences"]:
                if occurrence not in occurrences:
                    occurrences.append(occurrence)
            occurrences.sort(key=lambda occurrence: occurrence["location"])
        return component["bom-ref"]

    for binary, static, loads, imports in analyse(arguments):
        ref = add(file_component(binary, arguments.version))
        artefacts.append(ref)
        depends = []
        for name in sorted(static):
            entry = static[name]
            depends.append(add({
                "type": "library", "bom-ref": f"linked:{name}", "name": name,
                "version": entry["version"], "scope": "required",
                "description": "linked into the program statically",
                "licenses": [{"expression": entry["licence"]}],
                "purl": purl(entry["package"], entry["version"], entry["arch"]),
                "properties": [{"name": "ordex:debian-package", "value": entry["package"]},
                               {"name": "ordex:linkage", "value": "static"}],
                "evidence": {"occurrences": [{"location": path} for path in entry["files"]]}}))
        for library in loads:
            if is_pe(binary):
                component = {"type": "library", "bom-ref": f"loaded:{library}", "name": library,
                             "scope": "required",
                             "description": "part of Windows, loaded at run time",
                             "properties": [{"name": "ordex:linkage", "value": "dynamic"}]}
                if library in imports:
                    component["evidence"] = {
                        "occurrences": [{"location": path} for path in imports[library]]}
            else:
                package, version, arch = package_of(shared_library_path(library))
                component = {"type": "library", "bom-ref": f"loaded:{library}", "name": library,
                             "version": version, "scope": "required",
                             "description": "loaded at run time",
                             "purl": purl(package, version, arch),
                             "properties": [{"name": "ordex:debian-package", "value": package},
                                            {"name": "ordex:linkage", "value": "dynamic"}]}
            depends.append(add(component))
        dependencies.append({"ref": ref, "dependsOn": depends})
    for path in arguments.file:
        artefacts.append(add(file_component(path, arguments.version)))
    for pair in arguments.packs:
        package, packed = (f"file:{name}" for name in pair.split("=", 1))
        entry = next((d for d in dependencies if d["ref"] == package), None)
        if entry is None:
            entry = {"ref": package, "dependsOn": []}
            dependencies.append(entry)
        entry["dependsOn"].append(packed)
    dependencies.insert(0, {"ref": "ordex", "dependsOn": artefacts})
    timestamp = datetime.datetime.fromtimestamp(int(arguments.epoch), datetime.timezone.utc)
    bom = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "metadata": {
            "timestamp": timestamp.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "tools": {"components": [tool_component(path) for path in arguments.tool]},
            "component": {"type": "application", "bom-ref": "ordex", "name": arguments.name,
                          "version": arguments.version,
                          "supplier": {"name": arguments.supplier}},
        },
        "components": components,
        "dependencies": dependencies,
    }
    content = json.dumps(bom, indent=2, sort_keys=True)
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL,
                                                        hashlib.sha256(content.encode()).hexdigest()))
    with open(arguments.out, "w", encoding="utf-8") as out:
        out.write(json.dumps(bom, indent=2, sort_keys=True) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["notices", "bom"])
    parser.add_argument("--binary", action="append", default=[])
    parser.add_argument("--file", action="append", default=[])
    parser.add_argument("--packs", action="append", default=[])
    parser.add_argument("--tool", action="append", default=[])
    parser.add_argument("--objdump", default="objdump")
    parser.add_argument("--name")
    parser.add_argument("--version")
    parser.add_argument("--supplier")
    parser.add_argument("--epoch")
    parser.add_argument("--crlf", action="store_true")
    parser.add_argument("--out", required=True)
    arguments = parser.parse_args()
    (write_notices if arguments.what == "notices" else write_bom)(arguments)


main()
