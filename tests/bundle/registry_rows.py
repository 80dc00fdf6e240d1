#!/usr/bin/env python3
"""Registry rows in one comparable form, below the classes key: from two registry exports (what a
program wrote between them) and from an installer package's Registry table (what it declares).

    registry_rows.py written --file PATH[|PATH...] BEFORE.reg AFTER.reg [BEFORE.reg AFTER.reg ...]
    registry_rows.py package PACKAGE.msi [COMPONENT_SUFFIX]
    registry_rows.py tables PACKAGE.msi BUNDLE_DIR

Each export pair is of one root's key (HKLM\\Software\\Classes, or HKCU\\Software, which a new Wine
prefix has where it lacks the user's classes key), taken with `reg export` before and after; only
the keys below the classes key are read. A row is one line: ROOT VIEW KEY NAME VALUE, tab-separated, where ROOT is HKLM or
HKCU; VIEW is 32 for the 32-bit view of a key the platform keeps apart per view (CLSID, Interface
and the other redirected keys), else "-" (the native view, or a key both views share); KEY is below
the classes key and lower case (the registry ignores letter case); NAME is "@" for a default value,
or "(key)" for a created key that holds no values and no created sub-keys; and VALUE is s:TEXT for a
string, d:NUMBER for a 32-bit number, with an installed DLL's path written <FILE> and its folder
<DIR>. "package" reads the rows of the components whose names end in COMPONENT_SUFFIX (all when
omitted), below the classes key (the package's own key Software\\Vesk aside). "written" also prints
a line "removed ..." for each value that was there before and is not after, and "removed-key ..."
for each key gone that held no values.
"""
import os
import re
import struct
import subprocess
import sys

# Below the classes key, these keep a 32-bit view of their own (Wow6432Node); the others are shared.
REDIRECTED = {"clsid", "interface", "directshow", "media type", "mediafoundation"}
# The installer's own registration of the products it installed; not the server's.
INSTALLER_KEYS = "installer\\"


def fail(message):
    sys.exit("registry_rows: " + message)


def view_and_key(key):
    """The view of a key below the classes key; None for the 32-bit alias of a shared key."""
    lowered = key.lower()
    if lowered.startswith("wow6432node\\"):
        rest = lowered[len("wow6432node\\"):]
        return ("32", rest) if rest.split("\\")[0] in REDIRECTED else None
    return "-", lowered


def read_export(path):
    """ROOT and {key below the classes key: {name: value}} of a `reg export` file."""
    text = open(path, "rb").read().decode("utf-16")
    keys, root, current, pending = {}, None, None, ""
    for line in text.splitlines():
        if pending:
            line, pending = pending + line.strip(), ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            match = re.match(r"(HKEY_LOCAL_MACHINE|HKEY_CURRENT_USER)(\\.*)?$", line[1:-1], re.I)
            if not match:
                fail("%s names a key of another root: %s" % (path, line))
            root = "HKLM" if match.group(1).upper() == "HKEY_LOCAL_MACHINE" else "HKCU"
            below = re.match(r"\\Software\\Classes(\\(.*))?$", match.group(2) or "", re.I)
            current = (below.group(2) or "") if below else None
            if current is not None:
                keys[current] = {}
            continue
        match = re.match(r'(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if match and current is not None:
            name = "@" if match.group(1) == "@" else unescape(match.group(2))
            keys[current][name] = read_data(match.group(3))
    if root is None:
        fail("%s holds no key" % path)
    return root, keys


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def read_data(data):
    if data.startswith('"') and data.endswith('"'):
        return "s:" + unescape(data[1:-1])
    if data.startswith("dword:"):
        return "d:%d" % int(data[6:], 16)
    return "other:" + data


def normalised(value, paths):
    """VALUE with a DLL's path and folder (with or without its final separator) named."""
    for path in paths:
        if value[2:].lower() == path.lower():
            return value[:2] + "<FILE>"
        if value[2:].rstrip("\\").lower() == path.rsplit("\\", 1)[0].lower():
            return value[:2] + "<DIR>"
    return value


def below(key, parent):
    """Whether KEY lies below PARENT (the classes key itself is "")."""
    return key != parent and (parent == "" or key.lower().startswith(parent.lower() + "\\"))


def written(paths, pairs):
    rows = set()
    for before_file, after_file in pairs:
        root, before = read_export(before_file)
        root_after, after = read_export(after_file)
        if root != root_after:
            fail("%s and %s are exports of different roots" % (before_file, after_file))
        created = [k for k in after if k not in before]
        for key, values in after.items():
            if key.lower().startswith(INSTALLER_KEYS) or key.lower() == INSTALLER_KEYS[:-1]:
                continue
            placed = view_and_key(key)
            if placed is None:
                continue
            for name, value in values.items():
                if before.get(key, {}).get(name) != value:
                    rows.add((root, placed[0], placed[1], name.lower(), normalised(value, paths)))
            if key in created and not values and not any(below(c, key) for c in created):
                rows.add((root, placed[0], placed[1], "(key)", ""))
        for key, values in before.items():
            placed = view_and_key(key) or ("-", key.lower())
            for name, value in values.items():
                if after.get(key, {}).get(name) is None:
                    print("removed\t%s\t%s\t%s\t%s\t%s" % (root, placed[0], placed[1], name.lower(), value))
            if key not in after and not values:
                print("removed-key\t%s\t%s\t%s" % (root, placed[0], placed[1]))
    for row in sorted(rows):
        print("\t".join(row))


def table(package, name):
    """The rows of one table of PACKAGE, as lists of columns."""
    output = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True, text=True).stdout
    return [line.split("\t") for line in output.splitlines()[3:]]


def formatted_text(text):
    """The installer's formatted text back to plain text: escapes undone, the DLLs and folders named."""
    text = re.sub(r"\[VESKDIR_X(64|86)\]", "<DIR>", re.sub(r"\[#VeskDll_x(64|86)\]", "<FILE>", text))
    return re.sub(r"\[\\(.)\]", r"\1", text)


def package_rows(package, suffix=""):
    summary = subprocess.run(["msiinfo", "suminfo", package], check=True, capture_output=True, text=True).stdout
    template = re.search(r"^Template: (\w+);", summary, re.M)
    if not template:
        fail("%s has no platform in its summary" % package)
    package_64 = template.group(1) == "x64"
    components_64 = {row[0] for row in table(package, "Component") if int(row[3]) & 256}
    rows = set()
    for _, root, key, name, value, component in table(package, "Registry"):
        root = {"1": "HKCU", "2": "HKLM"}.get(root)
        prefix = "software\\classes\\"
        if not component.endswith(suffix) or key.lower() == "software\\vesk":
            continue
        if root is None or not key.lower().startswith(prefix):
            fail("%s writes outside HKLM or HKCU\\Software\\Classes: %s" % (package, key))
        key = formatted_text(key[len(prefix):]).lower()
        view = "-"
        if package_64 and component not in components_64 and key.split("\\")[0] in REDIRECTED:
            view = "32"
        if name in ("+", "*") and value == "":
            rows.add((root, view, key, "(key)", ""))
            continue
        if value.startswith("#") and not value.startswith("##"):
            if not re.match(r"#-?\d+$", value):
                fail("%s holds a row of a type these checks do not read: %s" % (package, value))
            data = "d:%d" % (int(value[1:]) & 0xFFFFFFFF)
        else:
            data = "s:" + formatted_text(value[1:] if value.startswith("##") else value)
        rows.add((root, view, key, formatted_text(name).lower() or "@", data))
    for row in sorted(rows):
        print("\t".join(row))


def version_record(dll):
    """The file version (a.b.c.d) and language of a DLL's version record."""
    data = open(dll, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    texts = [data[offset:].decode("utf-16-le", "ignore") for offset in (0, 1)]
    block = next((m for t in texts for m in [re.search(r"StringFileInfo.{1,8}?([0-9A-Fa-f]{8})", t, re.S)] if m), None)
    if at < 0 or not block:
        fail("%s has no version record" % dll)
    high, low = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF), str(int(block.group(1)[:4], 16))


def check_tables(package, bundle):
    """The rules a validator holds the package's tables to, each checked and named."""
    rows = lambda name: {r[0]: r for r in table(package, name)}
    properties = {k: r[1] for k, r in rows("Property").items()}
    directories = rows("Directory")
    ancestors = lambda d: {d} | ancestors(directories[d][1]) if d else set()
    checks, profile = [], lambda d: d != "LocalAppDataFolder" and "LocalAppDataFolder" in ancestors(d)
    for file_id, file_row in rows("File").items():
        if file_id.startswith("VeskDll_"):
            expected = version_record(os.path.join(bundle, file_id[len("VeskDll_"):], "Vesk.dll"))
            checks.append(("File %s: Version and Language %s as in its version record" % (file_id, "/".join(expected)),
                           tuple(file_row[4:6]) == expected))
    for name, row in rows("Component").items():
        folders = ancestors(row[2])
        bits64 = bool(folders & {"ProgramFiles64Folder", "System64Folder", "CommonFiles64Folder"})
        checks.append(("component %s (%s-bit) under a folder of its bitness" % (name, 64 if int(row[3]) & 256 else 32),
                       bits64 == bool(int(row[3]) & 256) or not bits64 and "ProgramFilesFolder" not in folders))
        if profile(row[2]):
            checks.append(("per-user component %s keyed by an HKCU row" % name,
                           int(row[3]) & 4 and rows("Registry").get(row[5], "--")[1] == "1"))
    removed = {r[3] for r in table(package, "RemoveFile") if not r[2] and r[4] in ("2", "3")} if any(map(profile, directories)) else ()
    checks += [("per-user folder %s removed at uninstallation" % d, d in removed) for d in directories if profile(d)]
    checks += [("Add/Remove Programs: publisher \"the Vesk authors\", version %s, no modify button, no web address"
                % properties.get("ProductVersion"), properties.get("Manufacturer") == "the Vesk authors" and
                properties.get("ARPNOMODIFY") == "1" and not any(p.startswith(("ARPURL", "ARPHELP")) for p in properties))]
    if "x86" in os.path.basename(package):
        x64 = re.sub("x86", "x64", os.path.basename(package))
        checks.append(("launch condition refusing 64-bit Windows, naming %s" % x64,
                       x64 in rows("LaunchCondition").get("Installed OR NOT VersionNT64", "--")[1]))
    else:
        checks.append(("an older x86 package of the scope removed by the upgrade", any(
            r[6] in properties.get("SecureCustomProperties", "").split(";") and not int(r[4]) & 2
            for r in table(package, "Upgrade") if r[6] != "WIX_UPGRADE_DETECTED" and r[1] == "0.0.0")))
    for description, passed in checks:
        print("tables: %s: %s" % (os.path.basename(package), description))
        if not passed:
            fail("%s breaks the rule: %s" % (package, description))


def main():
    if len(sys.argv) >= 5 and sys.argv[1] == "written" and sys.argv[2] == "--file" and len(sys.argv) % 2 == 0:
        files = sys.argv[4:]
        written(sys.argv[3].split("|"), list(zip(files[::2], files[1::2])))
    elif sys.argv[1:2] == ["package"] and len(sys.argv) in (3, 4):
        package_rows(*sys.argv[2:])
    elif sys.argv[1:2] == ["tables"] and len(sys.argv) == 4:
        check_tables(*sys.argv[2:])
    else:
        fail("usage: registry_rows.py written --file PATH[|PATH...] BEFORE.reg AFTER.reg ... | package PACKAGE.msi [SUFFIX]"
             " | tables PACKAGE.msi BUNDLE_DIR")


if __name__ == "__main__":
    main()
