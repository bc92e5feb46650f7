#!/usr/bin/python3
"""Prints a hive, as hivex reads it, in the text form of `morvalin-cli hive dump`.

An independent second implementation of the printing rules, written from their
description (README.md, engine/hive/dump.h, engine/hive/value_text.h), so that a
test comparing the two dumps checks our reader against hivex's.

    /usr/bin/python3 hivex_dump.py FILE

Run it with Debian's python3 (python3-hivex), not another interpreter on PATH.

Exit status: 0 the dump is complete; 3 hivex cannot read the hive or one of its
names, such as one holding an unpaired UTF-16 surrogate (the reason is on
stderr); 2 bad arguments. Anything else is a fault in this script.
"""

import sys

import hivex

EXIT_UNREADABLE = 3

TYPE_NAMES = {
    0: "REG_NONE",
    1: "REG_SZ",
    2: "REG_EXPAND_SZ",
    3: "REG_BINARY",
    4: "REG_DWORD",
    7: "REG_MULTI_SZ",
    11: "REG_QWORD",
}


class Unreadable(Exception):
    """hivex cannot give us this hive, or gives a part of it wrongly."""


def utf16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [data[i] | (data[i + 1] << 8) for i in range(0, len(data) - 1, 2)]


def units_of_bytes(data):
    return [data[i] | (data[i + 1] << 8) for i in range(0, len(data) - 1, 2)]


def is_high(unit):
    return 0xD800 <= unit <= 0xDBFF


def is_low(unit):
    return 0xDC00 <= unit <= 0xDFFF


def escape_units(units, escape_one):
    """UTF-8 of the units, with escape_one(unit) (a string, or None to keep
    the unit) applied to every unit that is not half of a surrogate pair; an
    unpaired surrogate must be escaped by escape_one."""
    out = []
    i = 0
    while i < len(units):
        unit = units[i]
        if is_high(unit) and i + 1 < len(units) and is_low(units[i + 1]):
            code = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00)
            out.append(chr(code))
            i += 2
            continue
        escaped = escape_one(unit)
        if escaped is None:
            assert not (is_high(unit) or is_low(unit))
            out.append(chr(unit))
        else:
            out.append(escaped)
        i += 1
    return "".join(out)


def escape_in_quotes(unit):
    named = {0x5C: "\\\\", 0x22: '\\"', 0x0A: "\\n", 0x0D: "\\r", 0x09: "\\t"}
    if unit in named:
        return named[unit]
    if unit < 0x20 or unit == 0x7F:
        return "\\x%02x" % unit
    if is_high(unit) or is_low(unit):
        return "\\u%04x" % unit
    return None


def escape_in_path(unit):
    if unit in (0x25, 0x5C) or unit < 0x20 or unit == 0x7F:
        return "%%%02X" % unit
    if is_high(unit) or is_low(unit):
        return "%%u%04X" % unit
    return None


def quoted(units):
    return '"' + escape_units(units, escape_in_quotes) + '"'


def hex_form(data):
    return "hex:" + ",".join("%02x" % b for b in data)


def string_form(data):
    """REG_SZ, REG_EXPAND_SZ: text with exactly one NUL, at the end."""
    if len(data) < 2 or len(data) % 2:
        return None
    units = units_of_bytes(data)
    if units[-1] != 0 or 0 in units[:-1]:
        return None
    return quoted(units[:-1])


def multi_string_form(data):
    """REG_MULTI_SZ: non-empty items, each ending in NUL, then one more NUL."""
    if len(data) < 2 or len(data) % 2:
        return None
    units = units_of_bytes(data)
    if units == [0]:
        return "[]"
    if len(units) < 3 or units[-1] != 0 or units[-2] != 0:
        return None
    items = []
    current = []
    for unit in units[:-2]:
        if unit == 0:
            items.append(current)
            current = []
        else:
            current.append(unit)
    items.append(current)
    if any(not item for item in items):
        return None
    return "[" + ", ".join(quoted(item) for item in items) + "]"


def data_form(value_type, data):
    form = None
    if value_type in (1, 2):
        form = string_form(data)
    elif value_type == 7:
        form = multi_string_form(data)
    elif value_type == 4 and len(data) == 4:
        form = "0x%08x" % int.from_bytes(data, "little")
    elif value_type == 11 and len(data) == 8:
        form = "0x%016x" % int.from_bytes(data, "little")
    return form if form is not None else hex_form(data)


def type_name(value_type):
    return TYPE_NAMES.get(value_type, "0x%x" % value_type)


def reported_length(length_call, handle):
    # hivex reports a length of 0 as a failure that leaves errno at 0.
    try:
        return length_call(handle)
    except RuntimeError:
        return 0


def checked_name(name, full_length, what, handle):
    # hivex passes names through C strings, so a name with a NUL in it could
    # come back cut short; the length it reports is that of the whole decoded
    # name. (hivex 1.3.23 hands such names over whole.) A name that comes back
    # shorter is refused rather than printed wrong.
    if len(name.encode("utf-8", "surrogatepass")) != full_length:
        raise Unreadable("hivex cuts the name of %s at 0x%x short (a NUL in it?)" % (what, handle))
    return name


class Dumper:
    def __init__(self, hive, out):
        self.h = hive
        self.out = out
        self.on_path = set()

    def node_name(self, node):
        try:
            name = self.h.node_name(node)
        except RuntimeError as e:
            raise Unreadable("hivex cannot decode the name of the key at 0x%x: %s" % (node, e))
        return checked_name(name, reported_length(self.h.node_name_len, node), "the key", node)

    def value_name(self, value):
        try:
            name = self.h.value_key(value)
        except RuntimeError as e:
            raise Unreadable("hivex cannot decode the name of the value at 0x%x: %s" % (value, e))
        return checked_name(name, reported_length(self.h.value_key_len, value), "the value", value)

    def line(self, text):
        self.out.write(text.encode("utf-8") + b"\n")

    def key(self, node, path):
        if node in self.on_path:
            raise Unreadable("the key at 0x%x is its own descendant (a cycle)" % node)
        self.on_path.add(node)
        self.line("[" + path + "]")
        for value in self.h.node_values(node):
            name = self.value_name(value)
            value_type, data = self.h.value_value(value)
            shown = "@" if name == "" else quoted(utf16_units(name))
            self.line("%s = %s %s" % (shown, type_name(value_type), data_form(value_type, data)))
        for child in self.h.node_children(node):
            component = escape_units(utf16_units(self.node_name(child)), escape_in_path)
            self.key(child, component if path == "" else path + "\\" + component)
        self.on_path.discard(node)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: hivex_dump.py FILE\n")
        return 2
    # Windows nests keys at most 512 deep; leave room for that and more.
    sys.setrecursionlimit(10000)
    out = sys.stdout.buffer
    try:
        hive = hivex.Hivex(argv[1])
        Dumper(hive, out).key(hive.root(), "")
    except Unreadable as e:
        out.flush()
        sys.stderr.write("%s\n" % e)
        return EXIT_UNREADABLE
    except RuntimeError as e:
        # What hivex itself refuses (a damaged hive, an unreadable file).
        out.flush()
        sys.stderr.write("hivex: %s\n" % e)
        return EXIT_UNREADABLE
    out.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
