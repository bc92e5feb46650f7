#!/usr/bin/python3
"""The screen and pointer of a QEMU guest, through its QMP socket.

    qemu_screen.py wait-toolbar QMP_SOCKET SERIAL_LOG OUT.ppm SECONDS
        Waits for the guest's "MORVALIN-RESULT: gui-started" on the serial
        line, then takes screen dumps until the picture holds the toolbar (a
        strip along the top edge with more than a few colours, on a screen
        that is not all one colour) and stays the same for two dumps in a row.
        Prints the seconds since this command started. Exit 1 with the reason
        when that does not happen in SECONDS.
    qemu_screen.py click-close QMP_SOCKET DUMP.ppm
        Clicks "ЗАКРЫТЬ" with the guest's absolute pointer (usb-tablet): the
        upper of the two buttons at the toolbar's right end, found in the
        screen dump by their dark right-hand borders.
"""

import json
import os
import socket
import sys
import time

TOOLBAR_HEIGHT = 103


class Qmp:
    def __init__(self, path, seconds):
        deadline = time.monotonic() + seconds
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(path)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)
        self.stream = self.sock.makefile("rw")
        self._read()  # the greeting
        self.command("qmp_capabilities")

    def _read(self):
        while True:
            line = self.stream.readline()
            if not line:
                raise ConnectionError("QEMU closed its QMP socket")
            message = json.loads(line)
            if "event" not in message:
                return message

    def command(self, name, **arguments):
        request = {"execute": name}
        if arguments:
            request["arguments"] = arguments
        self.stream.write(json.dumps(request) + "\n")
        self.stream.flush()
        answer = self._read()
        if "error" in answer:
            raise RuntimeError(f"{name}: {answer['error']}")
        return answer.get("return")


def read_ppm(path):
    with open(path, "rb") as stream:
        data = stream.read()
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position : position + 1].isspace():
            position += 1
        if data[position : position + 1] == b"#":
            position = data.index(b"\n", position)
            continue
        end = position
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    position += 1
    if fields[0] != b"P6":
        raise ValueError(f"{path}: not a binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[position : position + width * height * 3]


def colours(pixels, width, top, bottom):
    band = pixels[top * width * 3 : bottom * width * 3]
    return {band[i : i + 3] for i in range(0, len(band), 3 * 7)}


def shows_toolbar(path):
    width, height, pixels = read_ppm(path)
    if height <= TOOLBAR_HEIGHT:
        return False, "the screen is smaller than the toolbar"
    strip = colours(pixels, width, 0, TOOLBAR_HEIGHT)
    whole = colours(pixels, width, 0, height)
    if len(whole) < 2:
        return False, "the screen is one colour"
    if len(strip) < 4:
        return False, f"the top strip has {len(strip)} colours: no toolbar there"
    return True, f"{width}x{height}, {len(strip)} colours in the top strip"


def wait_toolbar(qmp_path, serial, out, seconds):
    start = time.monotonic()
    deadline = start + seconds
    marker = b"MORVALIN-RESULT: gui-started"
    while True:
        if os.path.exists(serial):
            with open(serial, "rb") as stream:
                text = stream.read()
            if marker in text:
                break
            if b"MORVALIN-RESULT: gui-failed" in text:
                print("the program did not start on the framebuffer", file=sys.stderr)
                return 1
        if time.monotonic() > deadline:
            print(f"no '{marker.decode()}' on the serial line in {seconds} s", file=sys.stderr)
            return 1
        time.sleep(0.5)
    qmp = Qmp(qmp_path, 10)
    previous = None
    why = "no screen dump yet"
    while time.monotonic() < deadline:
        qmp.command("screendump", filename=out)
        with open(out, "rb") as stream:
            current = stream.read()
        ok, why = shows_toolbar(out)
        if ok and current == previous:
            print(f"{time.monotonic() - start:.1f}")
            print(f"toolbar on the screen: {why}", file=sys.stderr)
            return 0
        previous = current if ok else None
        time.sleep(1)
    print(f"no toolbar on the screen in {seconds} s: {why}", file=sys.stderr)
    return 1


def close_button(path):
    """A point inside "ЗАКРЫТЬ", the left one of the two buttons at the right
    end of the toolbar ("ЗАКРЫТЬ", then "ПОДДЕРЖАТЬ").

    The buttons' frames are drawn differently by each style (on the
    framebuffer only their right edge is dark), so the point is found from the
    second vertical edge from the right: the left edge of "ПОДДЕРЖАТЬ" or the
    right edge of "ЗАКРЫТЬ". 25 pixels to the left of either lies inside
    "ЗАКРЫТЬ": the buttons are much wider, their gap much narrower."""
    width, height, pixels = read_ppm(path)

    def framed(x, y):
        offset = (y * width + x) * 3
        return max(pixels[offset : offset + 3]) < 200

    def edge(x):
        """The longest run of frame rows in column x, if a button's edge."""
        best = None
        start = None
        for y in range(TOOLBAR_HEIGHT + 1):
            if y < TOOLBAR_HEIGHT and framed(x, y):
                if start is None:
                    start = y
                continue
            if start is not None and y - start >= 25 and (best is None or y - start > best[1] - best[0]):
                best = (start, y - 1)
            start = None
        return best

    edges = []
    previous = False
    for x in range(width - 1, width // 2, -1):
        rows = edge(x)
        if rows is not None and not previous:
            edges.append((x, rows))
        previous = rows is not None
        if len(edges) == 2:
            x, rows = edges[1]
            return x - 25, (rows[0] + rows[1]) // 2, width, height
    return None


def click(qmp_path, x, y, width, height):
    qmp = Qmp(qmp_path, 10)

    def scaled(value, size):
        return value * 0x7FFF // max(size - 1, 1)

    move = [
        {"type": "abs", "data": {"axis": "x", "value": scaled(x, width)}},
        {"type": "abs", "data": {"axis": "y", "value": scaled(y, height)}},
    ]
    qmp.command("input-send-event", events=move)
    time.sleep(0.5)
    for down in (True, False):
        qmp.command("input-send-event", events=[{"type": "btn", "data": {"down": down, "button": "left"}}])
        time.sleep(0.3)
    return 0


def main(argv):
    if len(argv) == 5 and argv[0] == "wait-toolbar":
        return wait_toolbar(argv[1], argv[2], argv[3], float(argv[4]))
    if len(argv) == 3 and argv[0] == "click-close":
        found = close_button(argv[2])
        if found is None:
            print("no button at the right end of the toolbar", file=sys.stderr)
            return 1
        print(f"clicking at {found[0]},{found[1]} of {found[2]}x{found[3]}", file=sys.stderr)
        return click(argv[1], *found)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
