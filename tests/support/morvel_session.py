"""Shared helpers for process tests: run the real morvel window with a
session script in a scratch home, read the JSON state dump, and drive the
real X pointer and keyboard with xdotool."""
import json
import math
import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

MORVEL = os.environ["MORVEL_BINARY"]
CLI = os.environ["MORVEL_CLI"]

# A small stylus so that a cube of edge 6 (1.2 world units) is pressed on
# its top face only.
HAPTIC_SETTINGS = """<Config><Haptic Device="{device}" StylusRadius="0.2"/></Config>"""


class Session(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="morvel-session-")
        self.work = os.path.join(self.root, "work")
        os.makedirs(os.path.join(self.work, "Config"))
        self.set_device("auto")
        self.env = dict(os.environ)
        xdg = os.path.join(self.root, "xdg")
        self.env.update(HOME=xdg, XDG_DATA_HOME=xdg + "/data", XDG_STATE_HOME=xdg + "/state",
                        MORVEL_NO_DIALOGS="1")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def set_device(self, device):
        with open(os.path.join(self.work, "Config", "HapticSettings.xml"), "w") as f:
            f.write(HAPTIC_SETTINGS.format(device=device))

    def path(self, name):
        return os.path.join(self.root, name)

    def primitive(self, shape):
        out = self.path(shape + ".cr8")
        subprocess.run([CLI, "primitive", shape, out], check=True)
        return out

    def run_script(self, text, *args, timeout=120):
        script = self.path("session.txt")
        with open(script, "w") as f:
            f.write(text)
        result = subprocess.run([MORVEL, "-noSplashScreen", "-script=" + script, *args],
                                cwd=self.work, env=self.env, capture_output=True, text=True,
                                timeout=timeout)
        return result

    def load(self, name):
        with open(self.path(name)) as f:
            return json.load(f)

    def check(self, result):
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


# Where the view shows a world point: the camera starts at (0, 5, 75) looking
# along -Z with the engine's default vertical field of view of 45 degrees.
CAMERA = (0.0, 5.0, 75.0)


def screen_point(world, width, height):
    t = math.tan(math.radians(45.0) / 2)
    dx, dy, dz = (world[i] - CAMERA[i] for i in range(3))
    depth = -dz
    x = width / 2 + (dx / depth) / (t * width / height) * width / 2
    y = height / 2 - (dy / depth) / t * height / 2
    return int(round(x)), int(round(y))


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)




class PrivateDisplay:
    """An X server of the test's own, so that windows of tests running side
    by side can neither cover its window nor take the keyboard focus, and
    its pointer is nobody else's. Sets DISPLAY for the test's processes and
    for xdotool while it lives."""

    def __init__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                                        "-nolisten", "tcp"], pass_fds=(write,),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.server.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.previous = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = self.display

    def close(self):
        if self.previous is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = self.previous
        self.server.terminate()
        self.server.wait(timeout=10)


class WindowSession(Session):
    """A session whose window a test finds and drives with real X input, on
    an X server of its own."""

    def setUp(self):
        super().setUp()
        self.x = PrivateDisplay()
        self.addCleanup(self.x.close)
        self.env["DISPLAY"] = self.x.display
        # A title of its own, so that tests running side by side never
        # drive each other's windows.
        self.title = "morvel-test-%d" % os.getpid()
        with open(os.path.join(self.work, "Config", "Settings.xml"), "w") as f:
            f.write('<Config><Window Title="%s"/></Config>' % self.title)

    def window_id(self):
        for _ in range(400):
            found = subprocess.run(["xdotool", "search", "--name", "^%s$" % self.title],
                                   capture_output=True, text=True)
            ids = found.stdout.split()
            if ids:
                return ids[-1]
            time.sleep(0.05)
        self.fail("no window appeared")

    def window_size(self, wid):
        text = subprocess.run(["xdotool", "getwindowgeometry", wid], capture_output=True,
                              text=True).stdout
        size = text.split("Geometry:")[1].split()[0]
        width, height = size.split("x")
        return int(width), int(height)

    def wait_for(self, path):
        for _ in range(400):
            if os.path.exists(path):
                return
            time.sleep(0.05)
        self.fail("the program never wrote " + path)

    def drive(self, files, stages, head=""):
        """Runs the program on `files` with the mouse as the stylus, after the
        script lines `head`, and returns one state dump per stage, taken five
        frames after the stage's X input.

        A stage is either an action, a function of (window id, width,
        height) that does X input, or a pair (script lines, action) whose
        lines run first and whose action also gets a `snapshot()` that has
        the program take a screenshot there, shot<stage>.png, and waits for
        it (taken after the action when the action took none)."""
        script = [line for line in head.splitlines() if line] + ["mousestylus"]
        for i, stage in enumerate(stages):
            if isinstance(stage, tuple):
                script += stage[0] + ["dump %s" % self.path("ready%d.json" % i)]
                script += ["waitfile %s" % self.path("shoot%d" % i), "screenshot %s" % self.path("shot%d.png" % i)]
            script += ["waitfile %s" % self.path("go%d" % i), "frames 5", "dump %s" % self.path("s%d.json" % i)]
        with open(self.path("session.txt"), "w") as f:
            f.write("\n".join(script + ["exit"]) + "\n")
        proc = subprocess.Popen([MORVEL, "-noSplashScreen", "-script=" + self.path("session.txt"), *files],
                                cwd=self.work, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)
        try:
            wid = self.window_id()
            time.sleep(1.0)
            xdotool("windowfocus", "--sync", wid)
            width, height = self.window_size(wid)
            for i, stage in enumerate(stages):
                if isinstance(stage, tuple):
                    self.run_snapshot_stage(i, stage[1], wid, width, height)
                else:
                    stage(wid, width, height)
                open(self.path("go%d" % i), "w").close()
                self.wait_for(self.path("s%d.json" % i))
            _, err = proc.communicate(timeout=60)
        finally:
            if proc.poll() is None:
                proc.kill()
        self.assertEqual(proc.returncode, 0, err)
        return [self.load("s%d.json" % i) for i in range(len(stages))]

    def run_snapshot_stage(self, i, action, wid, width, height):
        self.wait_for(self.path("ready%d.json" % i))  # the stage's lines have run
        shot = self.path("shot%d.png" % i)

        def snapshot():
            open(self.path("shoot%d" % i), "w").close()
            self.wait_for(shot)

        action(wid, width, height, snapshot)
        if not os.path.exists(shot):
            snapshot()


def read_png(path):
    """(width, height, channels, rows) of an 8-bit, non-interlaced PNG such as
    the program's screenshots: each row a bytes object of width * channels
    samples, already unfiltered."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG file")
    pos, header, packed = 8, None, bytearray()
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            packed += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour)
    if depth != 8 or interlace or channels is None:
        raise ValueError(path + ": only 8-bit, non-interlaced grey or RGB(A) images are read")
    raw = zlib.decompress(bytes(packed))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                corner = previous[i - channels] if i >= channels else 0
                guess = left + up - corner
                pa, pb, pc = abs(guess - left), abs(guess - up), abs(guess - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(bytes(row))
        previous = row
    return width, height, channels, rows
