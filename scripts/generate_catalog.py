#!/usr/bin/env python3
"""Regenerate the message table of src/core/Catalog.cpp and the members of
src/core/Texts.h / Texts.cpp from the Markdown design document that lists them.

Usage: scripts/generate_catalog.py DOCUMENT.md

The document holds two Markdown tables: the catalog ("| Key | French text |
Arguments | Used by |", one row per entry) and the names of the Texts members
("| Member | Key | Member | Key |"). Only the regions between the
"BEGIN GENERATED" and "END GENERATED" markers of the three C++ files are
rewritten; run clang-format on them afterwards.

Texts below replace the document's defaults: they name desktop settings that do
not exist on Linux, or the document leaves the value to us.
"""

import pathlib
import re
import sys

EXPECTED_ENTRIES = 143

LINUX_TEXTS = {
    "failure.microphoneDenied": "Aucun micro disponible : vérifiez les réglages du son.",
    "settings.launchAtLoginFailed": "Le bureau a refusé l’ouverture à la connexion.",
    "settings.launchAtLoginApproval": "À valider dans les réglages du bureau.",
    "welcome.openSettings": "Ouvrir l’aide",
    "key.fn": "Fn",
    "key.rightOption": "Alt droite (AltGr)",
    "key.rightControl": "Ctrl droite",
    "key.rightCommand": "Super droite",
    "signIn.emailPlaceholder": "prenom@exemple.fr",
}

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORE = ROOT / "src" / "core"


def cells(line):
    return [cell.strip() for cell in line.strip().strip("|").split("|")]


def table_after(lines, header_start):
    """Rows of the first table whose header row starts with header_start."""
    for index, line in enumerate(lines):
        if line.startswith(header_start):
            rows = []
            for row in lines[index + 2:]:
                if not row.startswith("|"):
                    break
                rows.append(cells(row))
            return rows
    sys.exit(f"table not found: {header_start}")


def read_entries(lines):
    entries = []
    for key, text, arguments, _ in table_after(lines, "| Key | French text | Arguments |"):
        if not re.fullmatch(r"[a-z][A-Za-z]*(\.[A-Za-z]+)+", key):
            sys.exit(f"unexpected key: {key}")
        if key in LINUX_TEXTS:
            text = LINUX_TEXTS[key]
        elif text.startswith('"') and text.endswith('"'):
            text = text[1:-1]
        else:
            sys.exit(f"no quoted default for {key}: {text}")
        names = [name.strip() for name in arguments.split(",") if name.strip()]
        if text.count("%@") != len(names):
            sys.exit(f"{key}: {text.count('%@')} placeholders for arguments {names}")
        entries.append((key, text, names))
    if len(entries) != EXPECTED_ENTRIES:
        sys.exit(f"{len(entries)} entries instead of {EXPECTED_ENTRIES}")
    if len({key for key, _, _ in entries}) != len(entries):
        sys.exit("duplicate keys")
    return entries


def read_members(lines, entries):
    arguments = {key: names for key, _, names in entries}
    members = []
    for row in table_after(lines, "| Member | Key | Member | Key |"):
        for member, key in ((row[0], row[1]), (row[2], row[3])):
            if not member:
                continue
            name = member.strip("`")
            function = name.endswith("(_:)")
            name = name.removesuffix("(_:)")
            if key not in arguments:
                sys.exit(f"member {name} names unknown key {key}")
            if function != (len(arguments[key]) == 1) or len(arguments[key]) > 1:
                sys.exit(f"member {name} does not match the arguments of {key}")
            members.append((name, key, arguments[key][0] if function else None))
    return members


def cpp_string(text):
    return 'u"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def replace_region(path, body):
    source = path.read_text(encoding="utf-8")
    pattern = re.compile(r"(// BEGIN GENERATED[^\n]*\n).*?([ \t]*// END GENERATED)", re.S)
    if not pattern.search(source):
        sys.exit(f"no generated region in {path}")
    path.write_text(pattern.sub(lambda m: m.group(1) + body + "\n" + m.group(2), source, count=1),
                    encoding="utf-8")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    lines = pathlib.Path(sys.argv[1]).read_text(encoding="utf-8").splitlines()
    entries = read_entries(lines)
    members = read_members(lines, entries)

    replace_region(CORE / "Catalog.cpp", "\n".join(
        f"    {{\"{key}\", {cpp_string(text)}}}," for key, text, _ in entries))

    declarations, definitions = [], []
    for name, key, argument in members:
        if argument is None:
            declarations.append(f"    static const QString& {name}();")
            # A constant keeps the text of its first use: one function-local
            # static per member.
            definitions.append(
                f"const QString& Texts::{name}() {{\n"
                f"    static const QString text = Catalog::text(\"{key}\");\n"
                f"    return text;\n}}")
        else:
            declarations.append(f"    static QString {name}(const QString& {argument});")
            definitions.append(
                f"QString Texts::{name}(const QString& {argument}) "
                f"{{ return Catalog::text(\"{key}\", {{{argument}}}); }}")
    replace_region(CORE / "Texts.h", "\n".join(declarations))
    replace_region(CORE / "Texts.cpp", "\n\n".join(definitions))
    print(f"{len(entries)} entries, {len(members)} Texts members")


if __name__ == "__main__":
    main()
