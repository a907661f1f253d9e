#!/usr/bin/env python3
"""Holds a build's bill of materials and notices against the schema and against the build.

  release_files_check.py BUILD_FOLDER BOM_FILE

- the bill of materials is valid CycloneDX 1.5 (the published schema, tests/cyclonedx/);
- each file it lists is in BUILD_FOLDER with that SHA-256;
- every archive and start-up object that the linker took in (each <binary>.map in the folder,
  read here on its own) is in it, either as a statically linked component's or as a DLL's
  import library, and nothing else is;
- THIRD-PARTY-NOTICES.txt has a notice for each statically linked component, with its licence.
"""
import hashlib
import json
import os
import re
import sys
import warnings

import jsonschema

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cyclonedx")
problems = []


def validate(bom):
    store = {}
    for name in os.listdir(SCHEMAS):
        if name.endswith(".schema.json"):
            with open(os.path.join(SCHEMAS, name), encoding="utf-8") as schema_file:
                schema = json.load(schema_file)
            store[schema["$id"]] = schema
            store["http://cyclonedx.org/schema/" + name] = schema
    schema = store["http://cyclonedx.org/schema/bom-1.5.SNAPSHOT.schema.json"]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        resolver = jsonschema.RefResolver.from_schema(schema, store=store)
        validator = jsonschema.Draft7Validator(schema, resolver=resolver)
        for error in validator.iter_errors(bom):
            problems.append(f"not CycloneDX 1.5: {'/'.join(map(str, error.path))}: {error.message}")


def linked_from_maps(folder):
    """The absolute paths the map files name as archives with members or as loaded objects."""
    linked = set()
    for name in os.listdir(folder):
        if name.endswith(".map"):
            with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as lines:
                for line in lines:
                    match = re.match(r"^(/[^(\s]+\.a)\(", line) or re.match(
                        r"^LOAD (/\S+\.o)\s*$", line)
                    if match:
                        linked.add(os.path.normpath(match.group(1)))
    return linked


def main():
    folder, bom_file = sys.argv[1:3]
    with open(bom_file, encoding="utf-8") as data:
        bom = json.load(data)
    validate(bom)
    listed = set()
    static = []
    for component in bom.get("components", []):
        if component["type"] == "file":
            path = os.path.join(folder, component["name"])
            digest = hashlib.sha256(open(path, "rb").read()).hexdigest() if os.path.exists(
                path) else "missing"
            if component["hashes"] != [{"alg": "SHA-256", "content": digest}]:
                problems.append(f"{component['name']}: SHA-256 {digest}, not as listed")
        for occurrence in component.get("evidence", {}).get("occurrences", []):
            listed.add(occurrence["location"])
        if {"name": "ordex:linkage", "value": "static"} in component.get("properties", []):
            static.append(component)
    linked = linked_from_maps(folder)
    for path in sorted(linked - listed):
        problems.append(f"linked in, but not in the bill of materials: {path}")
    for path in sorted(listed - linked):
        problems.append(f"in the bill of materials, but not linked in: {path}")
    with open(os.path.join(folder, "THIRD-PARTY-NOTICES.txt"), encoding="utf-8") as notices:
        text = notices.read().replace("\r\n", "\n")
    for component in static:
        licence = component["licenses"][0]["expression"]
        if f"\n{component['name']}\nLicence: {licence}\n" not in text:
            problems.append(f"no notice for {component['name']} ({licence})")
    for problem in problems:
        print(f"FAIL: {bom_file}: {problem}", file=sys.stderr)
    if problems:
        sys.exit(1)
    print(f"{bom_file}: valid CycloneDX 1.5; {len(linked)} linked-in files, each listed; "
          f"{len(static)} statically linked component(s), each with its notice")


main()
