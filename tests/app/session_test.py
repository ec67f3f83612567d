#!/usr/bin/env python3
"""Process tests: the real morvel window under X, driven by session scripts
and by real X input (xdotool), checked through the JSON state dump."""
import json
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from morvel_session import MORVEL, Session, WindowSession, screen_point, xdotool  # noqa: E402


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

    def test_a_falcon_asked_for_but_missing_ends_cleanly(self):
        self.set_device("falcon")
        result = subprocess.run([MORVEL, "-noSplashScreen", "-exitAfterFrames=5"], cwd=self.work,
                                env=self.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("morvel: ", result.stderr)
        self.assertIn("Falcon", result.stderr)
        self.assertNotIn("Oops", result.stdout + result.stderr)

    def test_the_program_runs_and_homes_on_the_simulated_falcon(self):
        # The Falcon's real driver path against a simulated device: the
        # hand homes the grip at start; the script cannot move the stylus.
        self.set_device("falcon-simulated")
        result = self.run_script("sleep 2\ndump %s\nstylus 0 0 0\n" % self.path("falcon.json"))
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("session.txt:3: the stylus follows the haptic device", result.stderr)
        state = self.load("falcon.json")
        self.assertEqual(state["stylus"]["deviceKind"], "falcon")
        self.assertTrue(state["stylus"]["homed"], json.dumps(state["stylus"]))
        self.assertTrue(state["haptics"])
        self.assertTrue(all(abs(c) < 1e6 for c in state["stylus"]["device"]))

    def test_exit_after_frames_still_caps_a_script(self):
        result = self.run_script("sleep 600\n", "-exitAfterFrames=5")
        self.check(result)


class RealInput(WindowSession):
    """X events from the X server, as a user makes them, through OIS."""

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

if __name__ == "__main__":
    unittest.main(verbosity=2)
