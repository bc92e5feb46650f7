#!/usr/bin/python3
"""Builds SOFTWARE-shaped hives for the reader benchmarks.

    make_software_hive.py [--dir DIR] [--cli MORVALIN_CLI] SIZE_MB...

For each SIZE_MB writes DIR/software-SIZEmb.hive (DIR defaults to
build-bench/hives beside this script's repository): a hive grown from the real
empty hive of the test data by hivex, shaped like the SOFTWARE hive of a
Windows 10 installation. A hive already built from the same inputs (this script,
lookups.tsv, the empty hive, the size) is kept, so reruns are cheap.

What is in it, in proportion to the size:
  Classes            file extensions, ProgIDs, CLSID (the biggest key), Interface,
                     TypeLib, AppID; tens of thousands of direct subkeys at 150 MB
  Microsoft\\Windows\\CurrentVersion  Run, Policies, Uninstall, App Paths,
                     Installer\\UserData\\S-1-5-18\\Components (the second biggest)
  Microsoft\\Windows NT\\CurrentVersion  Winlogon (Shell, Userinit), Fonts,
                     ProfileList, Image File Execution Options, Perflib, Svchost,
                     Schedule\\TaskCache
  Component Based Servicing packages, WINEVT channels, Wow6432Node (its own
  Classes, Run, Uninstall), vendor keys
Values come in every common type (REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY,
REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ, REG_QWORD) and size, from empty
and inline (4 bytes and less) to hundreds of kilobytes; the empty hive is format
1.3, which keeps a value over 16344 bytes in one cell (big data records exist
from format 1.4 on). Every key and value of lookups.tsv is put in too.

Why the biggest keys are not built by hivex alone: hivex 1.3.23 never reuses a
freed cell and copies a parent's whole subkey list into a new cell for every
child it adds, and it compares the new name with every existing child first.
Adding n children to one key leaves about 4*n*n bytes of dead list copies and
takes time that grows faster than n*n (measured here: 2000 children made a
19.8 MB file in 0.7 s, 5000 made 110 MB in 10 s, 10 000 made 422 MB in 188 s).
So the children of a key with more than 64 subkeys are added to a chain of
temporary "bucket" keys, 8 children each, each bucket the child of the one
before; afterwards this script moves them up: it writes the key's subkey list
as Windows does for a big key, an index root (ri) over hash leaves (lh) of at
most 507 entries (one leaf fills a 4 KiB hive bin; the leaves Windows writes
hold about 500 to 1000), in hive bins appended after hivex's, sets the children's parent, and frees the
buckets. The result is then read back by hivex (an independent reader), which
must find exactly the keys and values this script meant to write and the data
of every lookup, and checked by `morvalin-cli hive check`
when --cli is given.
"""

import argparse
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import time

import hivex

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
DEFAULT_EMPTY_HIVE = os.path.join(REPO, "..", "shared", "testdata", "hives", "empty-hive")
DEFAULT_DIR = os.path.join(REPO, "build-bench", "hives")
LOOKUPS = os.path.join(HERE, "lookups.tsv")

REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 0, 1, 2, 3, 4
REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ, REG_QWORD = 5, 7, 11
TYPE_NAMES = {"REG_NONE": REG_NONE, "REG_SZ": REG_SZ, "REG_EXPAND_SZ": REG_EXPAND_SZ,
              "REG_BINARY": REG_BINARY, "REG_DWORD": REG_DWORD, "REG_MULTI_SZ": REG_MULTI_SZ,
              "REG_QWORD": REG_QWORD}

# Keys with more direct subkeys than this get them through buckets.
BUCKET_THRESHOLD = 64
BUCKET_SIZE = 8
# Entries of one lh leaf that fill a 4096-byte hive bin: 32 bytes of bin
# header, a 4-byte cell size, 4 bytes of leaf header, 8 bytes an entry.
LEAF_CAPACITY = (4096 - 32 - 4 - 4) // 8


def sz(text):
    return (text + "\0").encode("utf-16-le")


def multi_sz(items):
    return ("".join(item + "\0" for item in items) + "\0").encode("utf-16-le")


def dword(n):
    return struct.pack("<I", n)


def qword(n):
    return struct.pack("<Q", n)


class Key:
    """A key of the hive to be written: its name, values and subkeys."""

    __slots__ = ("name", "values", "children")

    def __init__(self, name):
        if not name.isascii():
            # hivex 1.3.23 hashes non-ASCII names wrongly in lh lists.
            raise ValueError(f"non-ASCII key name: {name!r}")
        self.name = name
        self.values = {}
        self.children = {}

    def child(self, name):
        found = self.children.get(name.upper())
        if found is None:
            found = self.children[name.upper()] = Key(name)
        return found

    def path(self, path):
        key = self
        for part in path.split("\\"):
            if part:
                key = key.child(part)
        return key

    def set(self, name, type_, data):
        # A value set twice keeps its first data: lookups.tsv is applied first.
        self.values.setdefault(name.upper(), (name, type_, data))
        return self


def count_tree(root):
    keys = values = 0
    stack = [root]
    while stack:
        key = stack.pop()
        keys += 1
        values += len(key.values)
        stack.extend(key.children.values())
    return keys, values


# ---------------------------------------------------------------------------
# lookups.tsv: the values every benchmark looks up.


def parse_quoted(text):
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise ValueError(f"expected a quoted string: {text}")
    out, i, body = [], 0, text[1:-1]
    while i < len(body):
        if body[i] == "\\":
            i += 1
            if body[i] not in '\\"':
                raise ValueError(f"unsupported escape in {text}")
        out.append(body[i])
        i += 1
    return "".join(out)


def parse_lookup_data(type_, text):
    if type_ in (REG_SZ, REG_EXPAND_SZ):
        return sz(parse_quoted(text))
    if type_ == REG_DWORD:
        return dword(int(text, 16))
    if type_ == REG_QWORD:
        return qword(int(text, 16))
    if text.startswith("hex:"):
        return bytes(int(b, 16) for b in text[4:].split(",") if b)
    raise ValueError(f"unsupported data for lookups: {text}")


def read_lookups(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            key, value, type_name, data = line.split("\t")
            type_ = TYPE_NAMES[type_name]
            rows.append((key, "" if value == "@" else value, type_,
                         parse_lookup_data(type_, data)))
    return rows


# ---------------------------------------------------------------------------
# The shape of a SOFTWARE hive.

VENDORS = ["Contoso", "Fabrikam", "Northwind", "Adatum", "Litware", "Proseware", "Tailspin",
           "Wingtip", "Woodgrove", "Alpine", "Trey", "Lucerne", "Humongous", "Coho", "Margie",
           "Fourth Coffee", "Wide World Importers", "Blue Yonder", "Graphic Design Institute",
           "Southridge Video"]
SYLLABLES = ["ab", "ac", "ad", "al", "an", "ar", "be", "ca", "co", "da", "de", "di", "ex", "fi",
             "ge", "ha", "in", "ka", "lo", "ma", "me", "mi", "na", "ne", "no", "ob", "pa", "pe",
             "ra", "re", "ri", "sa", "se", "si", "ta", "te", "ti", "to", "un", "va", "ve", "wi"]
THREADING = ["Apartment", "Both", "Free", "Neutral"]
SHELL_VERBS = ["open", "edit", "print", "printto", "runas", "play", "preview"]
PERCEIVED = ["text", "image", "audio", "video", "document", "compressed", "system"]


class Shape:
    """Draws names and data from one seeded random source."""

    def __init__(self, rng):
        self.rng = rng
        self.used_guids = set()

    def word(self, lo=2, hi=4):
        return "".join(self.rng.choice(SYLLABLES) for _ in range(self.rng.randint(lo, hi)))

    def title(self):
        return " ".join(self.word().capitalize() for _ in range(self.rng.randint(1, 3)))

    def guid(self):
        while True:
            g = "{%08X-%04X-%04X-%04X-%012X}" % (
                self.rng.getrandbits(32), self.rng.getrandbits(16), self.rng.getrandbits(16),
                self.rng.getrandbits(16), self.rng.getrandbits(48))
            if g not in self.used_guids:
                self.used_guids.add(g)
                return g

    def packed_guid(self):
        return "%032X" % self.rng.getrandbits(128)

    def vendor(self):
        return self.rng.choice(VENDORS)

    def program_dir(self, x86=False):
        base = "C:\\Program Files (x86)" if x86 else "C:\\Program Files"
        return f"{base}\\{self.vendor()}\\{self.title()}"

    def dll(self, x86=False):
        if self.rng.random() < 0.6:
            system = "SysWOW64" if x86 else "System32"
            return f"%SystemRoot%\\{system}\\{self.word()}.dll"
        return f"{self.program_dir(x86)}\\{self.word()}.dll"

    def exe(self, x86=False):
        return f"{self.program_dir(x86)}\\{self.word()}.exe"

    def blob(self, lo, hi):
        return self.rng.randbytes(self.rng.randint(lo, hi))

    def timestamp(self):
        # A FILETIME between 2016 and 2024.
        return self.rng.randint(131000000000000000, 133500000000000000)


def add_clsid(shape, parent, guid=None, x86=False):
    rng = shape.rng
    key = parent.child(guid or shape.guid())
    key.set("", REG_SZ, sz(f"{shape.title()} Class"))
    server = key.child("LocalServer32" if rng.random() < 0.08 else "InprocServer32")
    server.set("", REG_EXPAND_SZ, sz(shape.dll(x86)))
    server.set("ThreadingModel", REG_SZ, sz(rng.choice(THREADING)))
    if rng.random() < 0.3:
        progid = f"{shape.vendor().replace(' ', '')}.{shape.word().capitalize()}"
        key.child("ProgID").set("", REG_SZ, sz(progid + ".1"))
        key.child("VersionIndependentProgID").set("", REG_SZ, sz(progid))
    if rng.random() < 0.2:
        categories = key.child("Implemented Categories")
        for _ in range(rng.randint(1, 3)):
            categories.child(shape.guid())
    if rng.random() < 0.1:
        key.child("TypeLib").set("", REG_SZ, sz(shape.guid()))
        key.child("Version").set("", REG_SZ, sz("1.0"))
    if rng.random() < 0.1:
        key.set("AppID", REG_SZ, sz(shape.guid()))
    return key


def add_interface(shape, parent):
    rng = shape.rng
    key = parent.child(shape.guid())
    key.set("", REG_SZ, sz("I" + shape.word().capitalize() + shape.word().capitalize()))
    key.child("ProxyStubClsid32").set("", REG_SZ, sz(shape.guid()))
    key.child("NumMethods").set("", REG_SZ, sz(str(rng.randint(3, 60))))
    if rng.random() < 0.3:
        key.child("TypeLib").set("", REG_SZ, sz(shape.guid())).set("Version", REG_SZ, sz("1.0"))


def add_typelib(shape, parent):
    rng = shape.rng
    version = parent.child(shape.guid()).child(f"{rng.randint(1, 4)}.{rng.randint(0, 9)}")
    version.set("", REG_SZ, sz(f"{shape.title()} Type Library"))
    lcid = version.child("0")
    lcid.child("win32").set("", REG_SZ, sz(shape.dll(True)))
    if rng.random() < 0.6:
        lcid.child("win64").set("", REG_SZ, sz(shape.dll()))
    version.child("FLAGS").set("", REG_SZ, sz("0"))
    version.child("HELPDIR").set("", REG_SZ, sz(shape.program_dir()))


def add_appid(shape, parent):
    rng = shape.rng
    key = parent.child(shape.guid())
    key.set("", REG_SZ, sz(shape.title()))
    if rng.random() < 0.3:
        key.set("AppIDFlags", REG_DWORD, dword(rng.choice([0, 1, 8, 0x40])))
    if rng.random() < 0.2:
        key.set("LaunchPermission", REG_BINARY, shape.blob(80, 200))
        key.set("AccessPermission", REG_BINARY, shape.blob(80, 200))
    if rng.random() < 0.1:
        key.set("DllSurrogate", REG_SZ, sz(""))


def add_progid(shape, classes, name):
    rng = shape.rng
    key = classes.child(name)
    key.set("", REG_SZ, sz(shape.title()))
    if rng.random() < 0.5:
        key.set("FriendlyTypeName", REG_EXPAND_SZ,
                sz(f"@{shape.dll()},-{rng.randint(100, 9999)}"))
    if rng.random() < 0.4:
        key.set("EditFlags", REG_DWORD if rng.random() < 0.5 else REG_BINARY,
                dword(rng.choice([0, 0x10000, 0x210000])))
    key.child("DefaultIcon").set("", REG_EXPAND_SZ, sz(f"{shape.dll()},{rng.randint(0, 40)}"))
    shell = key.child("shell")
    exe = shape.exe()
    for verb in rng.sample(SHELL_VERBS, rng.randint(1, 3)):
        shell.child(verb).child("command").set("", REG_EXPAND_SZ, sz(f'"{exe}" "%1"'))
    if rng.random() < 0.3:
        key.child("CLSID").set("", REG_SZ, sz(shape.guid()))
    if rng.random() < 0.2:
        key.child("CurVer").set("", REG_SZ, sz(name + ".1"))


def add_extension(shape, classes, name, progids):
    rng = shape.rng
    key = classes.child(name)
    key.set("", REG_SZ, sz(rng.choice(progids)))
    if rng.random() < 0.5:
        key.set("Content Type", REG_SZ, sz(f"application/x-{name[1:]}"))
    if rng.random() < 0.3:
        key.set("PerceivedType", REG_SZ, sz(rng.choice(PERCEIVED)))
    if rng.random() < 0.4:
        open_with = key.child("OpenWithProgids")
        for progid in rng.sample(progids, rng.randint(1, 3)):
            open_with.set(progid, REG_NONE, b"")
    if rng.random() < 0.1:
        shell_new = key.child("ShellNew")
        if rng.random() < 0.5:
            shell_new.set("NullFile", REG_SZ, sz(""))
        else:
            shell_new.set("Data", REG_BINARY, shape.blob(16, 600))


def build_classes(shape, classes, scale, x86=False):
    rng = shape.rng
    n_clsid = int(30000 * scale) if not x86 else int(8000 * scale)
    n_interface = int(15000 * scale) if not x86 else int(4000 * scale)
    clsid = classes.child("CLSID")
    for _ in range(n_clsid):
        add_clsid(shape, clsid, x86=x86)
    interface = classes.child("Interface")
    for _ in range(n_interface):
        add_interface(shape, interface)
    if x86:
        return
    typelib = classes.child("TypeLib")
    for _ in range(int(3000 * scale)):
        add_typelib(shape, typelib)
    appid = classes.child("AppID")
    for _ in range(int(2000 * scale)):
        add_appid(shape, appid)
    progids = []
    while len(progids) < max(20, int(12000 * scale)):
        name = f"{shape.vendor().replace(' ', '')}.{shape.word().capitalize()}"
        if rng.random() < 0.5:
            name += f".{rng.randint(1, 20)}"
        if name.upper() not in classes.children:
            add_progid(shape, classes, name)
            progids.append(name)
    for _ in range(int(6000 * scale)):
        name = "." + shape.word(1, 3)[: rng.randint(2, 6)]
        if rng.random() < 0.3:
            name += str(rng.randint(0, 99))
        add_extension(shape, classes, name, progids)


def build_current_version(shape, windows, scale, x86=False):
    rng = shape.rng
    cv = windows.child("CurrentVersion")
    cv.set("ProgramFilesDir", REG_SZ, sz("C:\\Program Files (x86)" if x86 else "C:\\Program Files"))
    cv.set("CommonFilesDir", REG_SZ, sz("C:\\Program Files\\Common Files"))
    cv.set("ProgramFilesPath", REG_EXPAND_SZ, sz("%ProgramFiles%"))
    cv.set("DevicePath", REG_EXPAND_SZ, sz("%SystemRoot%\\inf"))
    cv.set("MediaPathUnexpanded", REG_EXPAND_SZ, sz("%SystemRoot%\\Media"))
    run = cv.child("Run")
    for _ in range(rng.randint(3, 6)):
        run.set(shape.title().replace(" ", ""), REG_SZ, sz(f'"{shape.exe(x86)}" /tray'))
    cv.child("RunOnce")
    policies = cv.child("Policies")
    system = policies.child("System")
    for name, value in [("ConsentPromptBehaviorAdmin", 5), ("ConsentPromptBehaviorUser", 3),
                        ("EnableInstallerDetection", 1), ("EnableSecureUIAPaths", 1),
                        ("PromptOnSecureDesktop", 1), ("ValidateAdminCodeSignatures", 0),
                        ("dontdisplaylastusername", 0), ("shutdownwithoutlogon", 1)]:
        system.set(name, REG_DWORD, dword(value))
    system.set("legalnoticecaption", REG_SZ, sz(""))
    system.set("legalnoticetext", REG_SZ, sz(""))
    policies.child("Explorer").set("NoDriveTypeAutoRun", REG_DWORD, dword(0x91))
    uninstall = cv.child("Uninstall")
    for _ in range(int((400 if x86 else 800) * scale) + 5):
        key = uninstall.child(shape.guid())
        vendor = shape.vendor()
        key.set("DisplayName", REG_SZ, sz(f"{vendor} {shape.title()}"))
        key.set("DisplayVersion", REG_SZ, sz(f"{rng.randint(1, 20)}.{rng.randint(0, 9)}."
                                                f"{rng.randint(0, 9999)}"))
        key.set("Publisher", REG_SZ, sz(vendor))
        key.set("InstallDate", REG_SZ, sz(f"20{rng.randint(16, 24)}{rng.randint(1, 12):02}"
                                             f"{rng.randint(1, 28):02}"))
        location = shape.program_dir(x86)
        key.set("InstallLocation", REG_SZ, sz(location))
        key.set("UninstallString", REG_EXPAND_SZ, sz(f"MsiExec.exe /X{shape.guid()}"))
        key.set("EstimatedSize", REG_DWORD, dword(rng.randint(100, 2000000)))
        key.set("NoModify", REG_DWORD, dword(1))
        key.set("VersionMajor", REG_DWORD, dword(rng.randint(1, 20)))
        key.set("Language", REG_DWORD, dword(1033))
        if rng.random() < 0.5:
            key.set("DisplayIcon", REG_SZ, sz(f"{location}\\{shape.word()}.exe,0"))
    if x86:
        return
    app_paths = cv.child("App Paths")
    for _ in range(150):
        exe = shape.exe()
        app_paths.child(exe.rsplit("\\", 1)[1]).set("", REG_SZ, sz(exe)).set(
            "Path", REG_SZ, sz(exe.rsplit("\\", 1)[0]))
    explorer = cv.child("Explorer")
    folders = explorer.child("FolderDescriptions")
    for _ in range(120):
        key = folders.child(shape.guid())
        key.set("Name", REG_SZ, sz(shape.title()))
        key.set("Category", REG_DWORD, dword(rng.randint(1, 4)))
        key.set("RelativePath", REG_SZ, sz(shape.title()))
        key.set("ParsingName", REG_SZ, sz(f"shell:::{shape.guid()}"))
        key.set("Attributes", REG_DWORD, dword(rng.getrandbits(8)))
    for _ in range(3):
        explorer.child("Browser Helper Objects").child(shape.guid()).set(
            "NoExplorer", REG_DWORD, dword(1))
    installer = cv.child("Installer")
    userdata = installer.child("UserData").child("S-1-5-18")
    components = userdata.child("Components")
    products = [shape.packed_guid() for _ in range(max(5, int(500 * scale)))]
    for _ in range(int(20000 * scale)):
        key = components.child(shape.packed_guid())
        for product in rng.sample(products, rng.randint(1, 3)):
            if rng.random() < 0.85:
                data = f"{shape.program_dir()}\\{shape.word()}.dll"
            else:
                data = f"02:\\SOFTWARE\\{shape.vendor()}\\{shape.word()}\\"
            key.set(product, REG_SZ, sz(data))
    product_keys = userdata.child("Products")
    for product in products:
        props = product_keys.child(product).child("InstallProperties")
        props.set("LocalPackage", REG_SZ, sz(f"C:\\Windows\\Installer\\{rng.getrandbits(32):x}.msi"))
        props.set("DisplayName", REG_SZ, sz(f"{shape.vendor()} {shape.title()}"))
        props.set("InstallDate", REG_SZ, sz("20200101"))
        props.set("EstimatedSize", REG_DWORD, dword(rng.randint(100, 200000)))
        props.set("WindowsInstaller", REG_DWORD, dword(1))
        features = product_keys.child(product).child("Features")
        for _ in range(rng.randint(1, 8)):
            features.set(shape.word().capitalize(), REG_SZ, sz(shape.packed_guid()[:20]))
    cbs = cv.child("Component Based Servicing").child("Packages")
    for _ in range(int(5000 * scale)):
        name = (f"Package_for_KB{rng.randint(4000000, 5999999)}~31bf3856ad364e35~amd64~~"
                f"10.0.{rng.randint(1, 19045)}.{rng.randint(1, 4000)}")
        key = cbs.child(name)
        key.set("CurrentState", REG_DWORD, dword(rng.choice([0x70, 0x50, 0x20])))
        key.set("InstallClient", REG_SZ, sz("UpdateAgentLCU"))
        key.set("InstallLocation", REG_SZ, sz(f"\\\\?\\C:\\Windows\\SoftwareDistribution\\"
                                                 f"Download\\{rng.getrandbits(128):032x}"))
        key.set("InstallName", REG_SZ, sz(name + ".mum"))
        key.set("InstallTimeHigh", REG_DWORD, dword(rng.getrandbits(25)))
        key.set("InstallTimeLow", REG_DWORD, dword(rng.getrandbits(32)))
        key.set("InstallUser", REG_SZ, sz("S-1-5-18"))
        key.set("LastProgressTime", REG_QWORD, qword(shape.timestamp()))
        key.set("Visibility", REG_DWORD, dword(rng.choice([1, 2])))
        owners = key.child("Owners")
        for _ in range(rng.randint(1, 4)):
            owners.set(name.replace("Package_for_", "Package_") + f"_{rng.randint(1, 99)}",
                       REG_DWORD, dword(0x20070))
        if rng.random() < 0.02:
            # Servicing stacks keep sizeable binary state: over 16344 bytes.
            key.set("CbsPackageState", REG_BINARY, shape.blob(16400, 90000))
        elif rng.random() < 0.05:
            key.set("SessionsPending", REG_BINARY, shape.blob(1000, 16000))
    winevt = cv.child("WINEVT").child("Channels")
    for _ in range(int(1200 * scale) + 10):
        key = winevt.child(f"{shape.vendor().replace(' ', '')}-{shape.title().replace(' ', '-')}"
                           f"/{rng.choice(['Operational', 'Admin', 'Analytic', 'Debug'])}")
        key.set("OwningPublisher", REG_SZ, sz(shape.guid()))
        key.set("Enabled", REG_DWORD, dword(rng.randint(0, 1)))
        key.set("Isolation", REG_DWORD, dword(rng.randint(0, 2)))
        key.set("ChannelAccess", REG_SZ,
                sz("O:BAG:SYD:(A;;0xf0007;;;SY)(A;;0x7;;;BA)(A;;0x3;;;BO)(A;;0x5;;;SO)"
                   "(A;;0x1;;;IU)(A;;0x3;;;SU)(A;;0x1;;;S-1-5-3)(A;;0x2;;;S-1-5-33)"
                   "(A;;0x1;;;S-1-5-32-573)"))
        if rng.random() < 0.2:
            key.set("MaxSize", REG_DWORD, dword(1 << rng.randint(20, 26)))


def build_windows_nt(shape, nt, scale):
    rng = shape.rng
    cv = nt.child("CurrentVersion")
    cv.set("CurrentBuild", REG_SZ, sz("19045"))
    cv.set("CurrentBuildNumber", REG_SZ, sz("19045"))
    cv.set("CurrentVersion", REG_SZ, sz("6.3"))
    cv.set("CurrentMajorVersionNumber", REG_DWORD, dword(10))
    cv.set("EditionID", REG_SZ, sz("Professional"))
    cv.set("InstallDate", REG_DWORD, dword(1650000000))
    cv.set("InstallTime", REG_QWORD, qword(shape.timestamp()))
    cv.set("DigitalProductId", REG_BINARY, shape.blob(164, 164))
    cv.set("DigitalProductId4", REG_BINARY, shape.blob(1272, 1272))
    cv.set("RegisteredOwner", REG_SZ, sz("User"))
    cv.set("SystemRoot", REG_SZ, sz("C:\\Windows"))
    cv.set("PathName", REG_SZ, sz("C:\\Windows"))
    cv.set("UBR", REG_DWORD_BIG_ENDIAN, struct.pack(">I", 3803))
    winlogon = cv.child("Winlogon")
    winlogon.set("Userinit", REG_SZ, sz("C:\\Windows\\system32\\userinit.exe,"))
    winlogon.set("AutoRestartShell", REG_DWORD, dword(1))
    winlogon.set("DefaultUserName", REG_SZ, sz("User"))
    winlogon.set("LegalNoticeCaption", REG_SZ, sz(""))
    winlogon.set("LegalNoticeText", REG_SZ, sz(""))
    winlogon.set("ShutdownWithoutLogon", REG_SZ, sz("0"))
    winlogon.set("VMApplet", REG_SZ, sz("SystemPropertiesPerformance.exe /pagefile"))
    winlogon.set("WinStationsDisabled", REG_SZ, sz("0"))
    winlogon.set("ShellCritical", REG_DWORD, dword(0))
    winlogon.set("PreCreateKnownFolders", REG_SZ, sz("{A520A1A4-1780-4FF6-BD18-167343C5AF16}"))
    winlogon.child("GPExtensions").child(shape.guid()).set("", REG_SZ, sz(shape.title()))
    fonts = cv.child("Fonts")
    for _ in range(450):
        fonts.set(f"{shape.title()} (TrueType)", REG_SZ, sz(f"{shape.word()}.ttf"))
    profiles = cv.child("ProfileList")
    for rid in ["S-1-5-18", "S-1-5-19", "S-1-5-20", "S-1-5-21-1004336348-1177238915-682003330-1001",
                "S-1-5-21-1004336348-1177238915-682003330-1002"]:
        key = profiles.child(rid)
        key.set("ProfileImagePath", REG_EXPAND_SZ, sz(f"C:\\Users\\{shape.word()}"))
        key.set("Sid", REG_BINARY, shape.blob(12, 28))
        key.set("Flags", REG_DWORD, dword(0))
        key.set("State", REG_DWORD, dword(0))
    ifeo = cv.child("Image File Execution Options")
    for _ in range(200):
        key = ifeo.child(shape.word() + ".exe")
        if rng.random() < 0.5:
            key.set("MitigationOptions", REG_BINARY, shape.blob(8, 16))
        if rng.random() < 0.3:
            key.set("DisableHeapLookaside", REG_DWORD, dword(1))
        if rng.random() < 0.1:
            key.set("GlobalFlag", REG_SZ, sz("0x00000200"))
    svchost = cv.child("Svchost")
    for _ in range(40):
        svchost.set(shape.word().capitalize(), REG_MULTI_SZ,
                    multi_sz([shape.word().capitalize() + "Svc" for _ in range(rng.randint(1, 8))]))
    perflib = cv.child("Perflib")
    perflib.set("Last Counter", REG_DWORD, dword(12000))
    lang = perflib.child("009")
    counters = max(400, int(8000 * scale))
    lang.set("Counter", REG_MULTI_SZ,
             multi_sz(x for i in range(counters) for x in (str(2 * i + 2), shape.title())))
    lang.set("Help", REG_MULTI_SZ,
             multi_sz(x for i in range(counters)
                      for x in (str(2 * i + 3), " ".join(shape.word() for _ in range(4)))))
    tasks = cv.child("Schedule").child("TaskCache")
    tree = tasks.child("Tree")
    task_list = tasks.child("Tasks")
    for _ in range(int(1500 * scale) + 10):
        guid = shape.guid()
        name = shape.title().replace(" ", "")
        task = task_list.child(guid)
        task.set("Path", REG_SZ, sz(f"\\{shape.vendor()}\\{name}"))
        task.set("Hash", REG_BINARY, shape.blob(32, 32))
        task.set("Actions", REG_BINARY, shape.blob(60, 2000))
        task.set("Triggers", REG_BINARY, shape.blob(60, 600))
        task.set("DynamicInfo", REG_BINARY, shape.blob(28, 36))
        task.set("Schema", REG_DWORD, dword(0x10002))
        tree.child(shape.vendor()).child(name).set("Id", REG_SZ, sz(guid)).set(
            "Index", REG_DWORD, dword(rng.randint(1, 4)))


def build_software(shape, root, scale):
    rng = shape.rng
    build_classes(shape, root.child("Classes"), scale)
    microsoft = root.child("Microsoft")
    build_current_version(shape, microsoft.child("Windows"), scale)
    build_windows_nt(shape, microsoft.child("Windows NT"), scale)
    for name in [".NETFramework", "Cryptography", "Windows Defender", "Internet Explorer",
                 "Office", "SQMClient", "Windows Search", "WindowsUpdate"]:
        product = microsoft.child(name)
        for _ in range(max(2, int(rng.randint(20, 120) * scale))):
            settings = product.child(shape.title())
            for _ in range(rng.randint(1, 12)):
                add_random_value(shape, settings)
    wow = root.child("Wow6432Node")
    build_classes(shape, wow.child("Classes"), scale, x86=True)
    build_current_version(shape, wow.child("Microsoft").child("Windows"), scale, x86=True)
    for vendor in VENDORS:
        vendor_key = root.child(vendor)
        for _ in range(max(1, int(rng.randint(5, 30) * scale))):
            product = vendor_key.child(shape.title())
            for _ in range(rng.randint(1, 8)):
                settings = product.child(shape.title())
                for _ in range(rng.randint(0, 15)):
                    add_random_value(shape, settings)
    policies = root.child("Policies").child("Microsoft").child("Windows")
    policies.child("WindowsUpdate").child("AU").set("NoAutoUpdate", REG_DWORD, dword(0))
    root.child("RegisteredApplications")
    clients = root.child("Clients")
    for kind in ["Mail", "Media", "StartMenuInternet"]:
        clients.child(kind).set("", REG_SZ, sz(shape.title()))


def add_random_value(shape, key):
    rng = shape.rng
    name = shape.title().replace(" ", "")
    roll = rng.random()
    if roll < 0.3:
        key.set(name, REG_SZ, sz(shape.title()))
    elif roll < 0.5:
        key.set(name, REG_DWORD, dword(rng.getrandbits(32)))
    elif roll < 0.6:
        key.set(name, REG_EXPAND_SZ, sz(shape.dll()))
    elif roll < 0.7:
        key.set(name, REG_QWORD, qword(shape.timestamp()))
    elif roll < 0.8:
        key.set(name, REG_MULTI_SZ, multi_sz(shape.title() for _ in range(rng.randint(0, 6))))
    elif roll < 0.975:
        key.set(name, REG_BINARY, shape.blob(0, 3000))
    elif roll < 0.995:
        key.set(name, REG_NONE, b"")
    else:
        key.set(name, REG_BINARY, shape.blob(16345, 120000))


def build_model(size_mb, lookups, seed):
    root = Key("ROOT")
    for key, value, type_, data in lookups:
        root.path(key).set(value, type_, data)
    shape = Shape(random.Random(seed * 1000003 + size_mb))
    # Measured: scale 1 writes about 120 MB.
    build_software(shape, root, size_mb / 120.0)
    return root


# ---------------------------------------------------------------------------
# Writing with hivex, then moving bucketed subkeys up into ri/lh lists.


def write_with_hivex(path, root, rng):
    h = hivex.Hivex(path, write=True)
    big = []  # (key handle, bucket handles in name order)

    def emit(handle, key):
        if key.values:
            h.node_set_values(handle, [{"key": n, "t": t, "value": d}
                                       for n, t, d in key.values.values()])
        children = list(key.children.values())
        if not children:
            return
        if len(children) > BUCKET_THRESHOLD:
            ordered = sorted(children, key=lambda k: k.name.upper())
            buckets = []
            bucket_of = {}
            for start in range(0, len(ordered), BUCKET_SIZE):
                # A chain, each bucket the child of the one before, so that no
                # key ever has more than BUCKET_SIZE + 1 subkeys.
                bucket = h.node_add_child(buckets[-1] if buckets else handle,
                                          f"bucket{len(buckets):06d}")
                buckets.append(bucket)
                for k in ordered[start:start + BUCKET_SIZE]:
                    bucket_of[id(k)] = bucket
            big.append((handle, buckets))
        else:
            bucket_of = None
        # Children come in install order, not name order.
        rng.shuffle(children)
        for k in children:
            parent = bucket_of[id(k)] if bucket_of else handle
            emit(h.node_add_child(parent, k.name), k)

    emit(h.root(), root)
    h.commit(path)
    del h
    return big


class Cells:
    """Cells of a hive file in memory, addressed by hivex's handles (file offsets)."""

    def __init__(self, data):
        self.d = data

    def u16(self, pos):
        return struct.unpack_from("<H", self.d, pos)[0]

    def u32(self, pos):
        return struct.unpack_from("<I", self.d, pos)[0]

    def put32(self, pos, value):
        struct.pack_into("<I", self.d, pos, value)

    def free(self, cell):
        size = struct.unpack_from("<i", self.d, cell)[0]
        assert size < 0, f"cell 0x{cell:x} is not allocated"
        struct.pack_into("<i", self.d, cell, -size)


# Key node fields, as offsets from the cell's start (its size field).
NK_FLAGS, NK_PARENT, NK_SUBKEYS, NK_LIST = 4 + 2, 4 + 16, 4 + 20, 4 + 28
NK_SECURITY, NK_MAX_NAME, NK_NAME_LENGTH = 4 + 44, 4 + 52, 4 + 72
SK_REFCOUNT = 4 + 12


def leaf_cell(entries):
    return b"lh" + struct.pack("<H", len(entries)) + b"".join(
        struct.pack("<II", off, h) for off, h in entries)


def index_root_cell(leaves):
    return b"ri" + struct.pack("<H", len(leaves)) + b"".join(struct.pack("<I", l) for l in leaves)


class BinWriter:
    """Appends cells in new hive bins after the last one, 4096 bytes a bin
    unless a cell needs more."""

    def __init__(self, data, bins_end):
        self.d = data
        # File offsets: the current bin, and where the next cell goes.
        self.bin_start = self.bin_end = self.pos = bins_end

    def _close(self):
        if self.pos < self.bin_end:
            struct.pack_into("<i", self.d, self.pos, self.bin_end - self.pos)
        self.pos = self.bin_end

    def add(self, payload):
        size = (4 + len(payload) + 7) & ~7
        if self.pos + size > self.bin_end:
            self._close()
            bin_size = (32 + size + 4095) & ~4095
            self.bin_start, self.bin_end = self.bin_end, self.bin_end + bin_size
            if len(self.d) < self.bin_end:
                self.d.extend(bytes(self.bin_end - len(self.d)))
            self.d[self.bin_start:self.bin_end] = bytes(bin_size)
            self.d[self.bin_start:self.bin_start + 12] = b"hbin" + struct.pack(
                "<II", self.bin_start - 4096, bin_size)
            self.pos = self.bin_start + 32
        cell = self.pos
        struct.pack_into("<i", self.d, cell, -size)
        self.d[cell + 4:cell + 4 + len(payload)] = payload
        self.pos += size
        return cell

    def finish(self):
        self._close()
        return self.bin_end


def header_checksum(header):
    c = 0
    for (word,) in struct.iter_unpack("<I", header[:508]):
        c ^= word
    return {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(c, c)


def lift_buckets(path, big):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    cells = Cells(data)
    bins_end = 4096 + cells.u32(40)
    writer = BinWriter(data, bins_end)
    for key, buckets in big:
        entries, max_name = [], 0
        for index, bucket in enumerate(buckets):
            next_bucket = buckets[index + 1] - 4096 if index + 1 < len(buckets) else None
            sub_list = cells.u32(bucket + NK_LIST) + 4096
            assert data[sub_list + 4:sub_list + 6] == b"lh", "hivex wrote no lh list"
            count = cells.u16(sub_list + 6)
            assert count == cells.u32(bucket + NK_SUBKEYS)
            for i in range(count):
                child, name_hash = struct.unpack_from("<II", data, sub_list + 8 + 8 * i)
                if child != next_bucket:
                    node = child + 4096
                    cells.put32(node + NK_PARENT, key - 4096)
                    entries.append((child, name_hash))
                    # The longest name in UTF-16 bytes; a compressed name has
                    # one byte a character.
                    length = cells.u16(node + NK_NAME_LENGTH)
                    compressed = cells.u16(node + NK_FLAGS) & 0x20
                    max_name = max(max_name, 2 * length if compressed else length)
            security = cells.u32(bucket + NK_SECURITY) + 4096
            cells.put32(security + SK_REFCOUNT, cells.u32(security + SK_REFCOUNT) - 1)
            cells.free(sub_list)
            cells.free(bucket)
        cells.free(cells.u32(key + NK_LIST) + 4096)
        n_leaves = -(-len(entries) // LEAF_CAPACITY)
        per_leaf = -(-len(entries) // n_leaves)
        leaves = [writer.add(leaf_cell(entries[i:i + per_leaf])) - 4096
                  for i in range(0, len(entries), per_leaf)]
        top = leaves[0] if len(leaves) == 1 else writer.add(index_root_cell(leaves)) - 4096
        cells.put32(key + NK_SUBKEYS, len(entries))
        cells.put32(key + NK_LIST, top)
        # The low 16 bits of the field; flags live above them.
        old = cells.u32(key + NK_MAX_NAME)
        cells.put32(key + NK_MAX_NAME, (old & 0xFFFF0000) | max_name)
    new_end = writer.finish()
    struct.pack_into("<I", data, 40, new_end - 4096)
    struct.pack_into("<I", data, 508, header_checksum(data))
    with open(path, "r+b") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())


# ---------------------------------------------------------------------------
# Checks of the result.


def count_with_hivex(path):
    h = hivex.Hivex(path)
    keys = values = 0
    stack = [h.root()]
    while stack:
        node = stack.pop()
        keys += 1
        values += len(h.node_values(node))
        stack.extend(h.node_children(node))
    return keys, values


def check_lookups_with_hivex(path, lookups):
    h = hivex.Hivex(path)
    for key, value, type_, data in lookups:
        node = h.root()
        for part in key.split("\\"):
            node = h.node_get_child(node, part)
            if node is None:
                raise SystemExit(f"hivex не находит раздел {key}")
        found = h.node_get_value(node, value)
        if h.value_value(found) != (type_, data):
            raise SystemExit(f"hivex читает {key} {value!r} не так, как он записан")


def stamp_of(args_size, empty_hive, seed):
    digest = hashlib.sha256()
    for path in (os.path.abspath(__file__), LOOKUPS, empty_hive):
        with open(path, "rb") as f:
            digest.update(f.read())
    digest.update(f"{args_size}:{seed}".encode())
    return digest.hexdigest()


def build_one(size_mb, out_dir, empty_hive, seed, cli):
    out = os.path.join(out_dir, f"software-{size_mb}mb.hive")
    stamp_path = out + ".stamp"
    stamp = stamp_of(size_mb, empty_hive, seed)
    if os.path.exists(out) and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if f.read().strip() == stamp:
                print(f"{out}: уже построен ({os.path.getsize(out) / 1e6:.1f} МБ)")
                return out
    started = time.monotonic()
    lookups = read_lookups(LOOKUPS)
    root = build_model(size_mb, lookups, seed)
    keys, values = count_tree(root)
    tmp = out + ".tmp"
    shutil.copyfile(empty_hive, tmp)
    os.chmod(tmp, 0o644)
    big = write_with_hivex(tmp, root, random.Random(seed))
    written = time.monotonic()
    lift_buckets(tmp, big)
    read_keys, read_values = count_with_hivex(tmp)
    if (read_keys, read_values) != (keys, values):
        raise SystemExit(f"{tmp}: hivex читает {read_keys} разделов и {read_values} параметров, "
                         f"а записано {keys} и {values}")
    check_lookups_with_hivex(tmp, lookups)
    if cli:
        result = subprocess.run([cli, "hive", "check", tmp], capture_output=True, text=True)
        if result.returncode != 0:
            raise SystemExit(f"morvalin-cli hive check отказывает кусту {tmp}:\n"
                             f"{result.stdout}{result.stderr}")
        remarks = [line for line in result.stdout.splitlines() if line.startswith("Замечание")]
        for line in remarks:
            print(f"  {line}")
    os.replace(tmp, out)
    with open(stamp_path, "w") as f:
        f.write(stamp + "\n")
    print(f"{out}: {os.path.getsize(out) / 1e6:.1f} МБ, разделов {keys}, параметров {values}, "
          f"списков через корзины {len(big)}; hivex {written - started:.0f} с, "
          f"всего {time.monotonic() - started:.0f} с")
    return out


def main():
    parser = argparse.ArgumentParser(description="Строит кусты вида SOFTWARE для замеров.")
    parser.add_argument("sizes", nargs="+", type=int, metavar="SIZE_MB")
    parser.add_argument("--dir", default=DEFAULT_DIR, help="папка для кустов (кэш)")
    parser.add_argument("--empty-hive", default=DEFAULT_EMPTY_HIVE)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--cli", help="morvalin-cli для проверки готовых кустов")
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    for size in args.sizes:
        build_one(size, args.dir, args.empty_hive, args.seed, args.cli)


if __name__ == "__main__":
    sys.exit(main())
