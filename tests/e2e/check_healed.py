#!/usr/bin/python3
"""Checks the disk of the locked computer after the live medium's pass.

    /usr/bin/python3 check_healed.py CLI BEFORE AFTER REFERENCE [--unchanged]

BEFORE, AFTER and REFERENCE are folders with one folder per volume (c/, d/):
the files as they were made, as the guest left them (read back from the disk
image), and as the same pass left a copy on the host. Checks:

- every SOFTWARE and NTUSER.DAT hive the locker touched passes the project's
  own check (morvalin-cli hive check), reads the same through hivex
  (tests/tools/hivex_dump.py) as through our engine, holds nothing of the
  locker any more, and equals what the pass made of it on the host;
- every other file is byte for byte as it was, and no file came or went,
  but for the hives' transaction logs.

With --unchanged every file, hives included, must be as it was (a run that was
not to change anything). Run with Debian's python3 (python3-hivex).
Exit status 0 when everything holds; 1 with one line per fault otherwise.
"""

import hashlib
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
HIVEX_DUMP = os.path.join(HERE, "..", "tools", "hivex_dump.py")
HEALED_HIVES = re.compile(r"(^|/)(SOFTWARE|NTUSER\.DAT)$", re.IGNORECASE)
LOCKER_TRACES = re.compile(r"winlock\.exe|mssvc32\.exe", re.IGNORECASE)
LOCKS = re.compile(r'"Disable(TaskMgr|RegistryTools|CMD)" = REG_DWORD 0x0*[1-9a-f]')


def files_of(root):
    """Relative path -> SHA-256 of every file below root."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as stream:
                found[os.path.relpath(path, root)] = hashlib.sha256(stream.read()).hexdigest()
    return found


def is_log_of_hive(path):
    base, dot, extension = path.rpartition(".")
    return dot == "." and extension.upper() in ("LOG", "LOG1", "LOG2") and HEALED_HIVES.search(base)


def hivex_dump(path):
    result = subprocess.run(["/usr/bin/python3", HIVEX_DUMP, path], capture_output=True, text=True)
    if result.returncode != 0:
        return None, result.stderr.strip()
    return result.stdout, None


def main(argv):
    unchanged = "--unchanged" in argv
    args = [arg for arg in argv if arg != "--unchanged"]
    if len(args) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    cli, before_root, after_root, reference_root = args
    faults = []

    before = files_of(before_root)
    after = files_of(after_root)
    for path in sorted(set(before) - set(after)):
        faults.append(f"{path}: gone from the disk")
    for path in sorted(set(after) - set(before)):
        if unchanged or not is_log_of_hive(path):
            faults.append(f"{path}: a new file on the disk")
    healed = []
    for path in sorted(set(before) & set(after)):
        if HEALED_HIVES.search(path) and not unchanged:
            healed.append(path)
        elif is_log_of_hive(path) and not unchanged:
            continue
        elif before[path] != after[path]:
            faults.append(f"{path}: changed, and nothing may change it")

    for path in healed:
        file = os.path.join(after_root, path)
        check = subprocess.run([cli, "hive", "check", file], capture_output=True, text=True)
        if check.returncode != 0:
            faults.append(f"{path}: morvalin-cli hive check refuses it: {check.stdout}{check.stderr}")
            continue
        ours = subprocess.run([cli, "hive", "dump", file], capture_output=True, text=True).stdout
        theirs, error = hivex_dump(file)
        if theirs is None:
            faults.append(f"{path}: hivex cannot read it: {error}")
            continue
        if ours != theirs:
            faults.append(f"{path}: hivex reads it otherwise than our engine")
        for line in theirs.splitlines():
            if LOCKER_TRACES.search(line) or LOCKS.search(line):
                faults.append(f"{path}: the locker is still there: {line}")
        reference, error = hivex_dump(os.path.join(reference_root, path))
        if reference is None:
            faults.append(f"{path}: the host's reference copy is unreadable: {error}")
        elif reference != theirs:
            faults.append(f"{path}: differs from what the same pass made of it on the host")
    if not unchanged and not healed:
        faults.append("no hive found on the disk")

    for fault in faults:
        print(f"check_healed: {fault}")
    if not faults:
        what = "nothing changed" if unchanged else f"{len(healed)} hives healed, nothing else changed"
        print(f"check_healed: {what} ({len(after)} files)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
