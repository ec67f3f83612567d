#!/usr/bin/env python3
"""Process tests: the real morvel window under X, driven by session scripts
and by real X input (xdotool), checked through the JSON state dump."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

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


class ScriptedStylus(Session):
    """The script drives the device point; the proxy, the dent and the
    history follow as they would under a hand."""

    def press_script(self, extra):
        # Cube of edge 6 in scene-root units: its top is at y = 3. Come down
        # from above, rest, then push the device point 1.5 below the top.
        return ("stylus 0 8 0\nsleep 0.3\n"
                "stylus 0 3 0 0 0.3\nsleep 0.3\ndump rest.json\n"
                "stylus 0 1.5 0 0 0.3\nsleep 0.3\ndump pressed.json\n" + extra +
                "exit\n").replace("dump ", "dump " + self.root + "/")

    def test_stylus_rests_on_the_top_and_a_push_dents_it_live(self):
        cube = self.primitive("cube")
        self.check(self.run_script(self.press_script(""), cube))
        rest, pressed = self.load("rest.json"), self.load("pressed.json")
        self.assertEqual(rest["stylus"]["deviceKind"], "script")
        (obj,) = rest["objects"]
        self.assertAlmostEqual(obj["volume"], 216, places=6)
        radius = rest["stylus"]["radius"]
        self.assertAlmostEqual(radius, 1.0, places=4)  # 0.2 world at root scale 0.2
        # The proxy rests on the face, one radius above it, however far the
        # device point sinks.
        for state in (rest, pressed):
            proxy_y = state["stylus"]["proxy"][1]
            self.assertAlmostEqual(proxy_y, 3 + radius, delta=0.05, msg=json.dumps(state["stylus"]))
        self.assertAlmostEqual(pressed["stylus"]["device"][1], 1.5, places=3)
        self.assertEqual(pressed["stylus"]["touching"], [obj["id"]])
        self.assertGreater(pressed["objects"][0]["liveDent"], 0.5)
        self.assertAlmostEqual(pressed["objects"][0]["volume"], 216, places=6, msg="a live dent is only drawn")

    def test_deform_click_commits_the_dent_and_undo_redo_restore_it(self):
        cube = self.primitive("cube")
        extra = ("key h\nframes 2\n"
                 "stylus 0 1.5 0 1\nframes 3\nstylus 0 1.5 0 0\nframes 3\ndump clicked.json\n"
                 "stylus 0 8 0 0 0.2\nsleep 0.3\ndump lifted.json\n"
                 "invoke Undo\nframes 2\ndump undone.json\n"
                 "key ctrl+y\nframes 2\ndump redone.json\n")
        self.check(self.run_script(self.press_script(extra), cube))
        clicked, lifted = self.load("clicked.json"), self.load("lifted.json")
        undone, redone = self.load("undone.json"), self.load("redone.json")
        self.assertEqual(clicked["tool"], "DeformFunction")
        self.assertEqual((clicked["undo"], clicked["redo"]), (1, 0))
        self.assertTrue(clicked["modified"])
        dented = lifted["objects"][0]["volume"]
        self.assertLess(dented, 216 - 1, "the committed dent stays after the stylus leaves")
        self.assertEqual(lifted["objects"][0]["liveDent"], 0)
        self.assertAlmostEqual(undone["objects"][0]["volume"], 216, places=6)
        self.assertEqual((undone["undo"], undone["redo"]), (0, 1))
        self.assertTrue(undone["modified"], "an undo is an unsaved change too")
        self.assertAlmostEqual(redone["objects"][0]["volume"], dented, places=6)

    def test_a_click_touching_nothing_leaves_the_history_alone(self):
        cube = self.primitive("cube")
        self.check(self.run_script(
            "key h\nstylus 0 20 0 1\nframes 3\nstylus 0 20 0 0\nframes 3\ndump d.json\nexit\n"
            .replace("dump ", "dump " + self.root + "/"), cube))
        state = self.load("d.json")
        self.assertEqual(state["undo"], 0)
        self.assertEqual(state["stylus"]["touching"], [])

    def test_escape_switches_haptics_off_while_held(self):
        self.check(self.run_script(
            "keydown Escape\nframes 2\ndump off.json\nkeyup Escape\nframes 2\ndump on.json\nexit\n"
            .replace("dump ", "dump " + self.root + "/")))
        off, on = self.load("off.json"), self.load("on.json")
        self.assertFalse(off["haptics"])
        self.assertEqual(off["alert"], "Haptics is now turned off.")
        self.assertTrue(on["haptics"])


class ScriptErrors(Session):
    def test_a_bad_line_fails_before_the_first_frame(self):
        result = self.run_script("frames 2\nstylus 1 2\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("session.txt:2: usage: stylus X Y Z [BUTTONS [SECONDS]]", result.stderr)
        self.assertNotIn("GraphicsManager::endScene()", result.stdout)

    def test_an_unknown_function_fails_where_it_runs(self):
        result = self.run_script("frames 1\n\ninvoke NoSuchTool\ndump never.json\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("session.txt:3: unknown function 'NoSuchTool'", result.stderr)
        self.assertFalse(os.path.exists(self.path("never.json")))

    def test_exit_after_frames_still_caps_a_script(self):
        result = self.run_script("sleep 600\n", "-exitAfterFrames=5")
        self.check(result)


# Where the view shows a world point: the camera starts at (0, 5, 75) looking
# along -Z with the engine's default vertical field of view of 45 degrees.
CAMERA = (0.0, 5.0, 75.0)


def screen_point(world, width, height):
    import math
    t = math.tan(math.radians(45.0) / 2)
    dx, dy, dz = (world[i] - CAMERA[i] for i in range(3))
    depth = -dz
    x = width / 2 + (dx / depth) / (t * width / height) * width / 2
    y = height / 2 - (dy / depth) / t * height / 2
    return int(round(x)), int(round(y))


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


class RealInput(Session):
    """X events from the X server, as a user makes them, through OIS."""

    def setUp(self):
        super().setUp()
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

    def test_mouse_and_keys_dent_and_deform_without_a_device(self):
        cube = self.primitive("cube")
        go = self.path("go")
        script = self.path("session.txt")
        # The script hands the stylus to the mouse, waits for xdotool to do
        # the work, then reports.
        with open(script, "w") as f:
            f.write("mousestylus\nwaitfile %s\nframes 5\ndump %s\nexit\n"
                    % (go, self.path("after.json")))
        proc = subprocess.Popen([MORVEL, "-noSplashScreen", "-script=" + script, cube],
                                cwd=self.work, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        try:
            wid = self.window_id()
            time.sleep(1.0)
            xdotool("windowfocus", "--sync", wid)
            xdotool("key", "h")
            width, height = self.window_size(wid)
            x, y = screen_point((0, 0, 0), width, height)  # the cube's centre
            xdotool("mousemove", "--window", wid, str(x), str(y))
            time.sleep(0.5)
            for _ in range(5):
                xdotool("click", "4")  # wheel away: push into the surface
            time.sleep(0.8)
            xdotool("click", "1")  # left: the deform tool's click
            time.sleep(0.5)
            for _ in range(5):
                xdotool("click", "5")  # wheel back: lift off
            time.sleep(0.8)
            open(go, "w").close()
            out, err = proc.communicate(timeout=60)
        finally:
            if proc.poll() is None:
                proc.kill()
        self.assertEqual(proc.returncode, 0, err)
        state = self.load("after.json")
        self.assertEqual(state["stylus"]["deviceKind"], "simulated")
        self.assertEqual(state["tool"], "DeformFunction", err)
        self.assertEqual(state["undo"], 1, err)
        self.assertLess(state["objects"][0]["volume"], 216)

    def window_size(self, wid):
        text = subprocess.run(["xdotool", "getwindowgeometry", wid], capture_output=True,
                              text=True).stdout
        size = text.split("Geometry:")[1].split()[0]
        width, height = size.split("x")
        return int(width), int(height)


if __name__ == "__main__":
    unittest.main(verbosity=2)
