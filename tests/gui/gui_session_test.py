"""The interface in the running program: the windows the program's parts
name, the bindings of every function, dialogs answered from scripts, both
languages, and real X pointer and key events through xdotool."""
import math
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from morvel_session import CAMERA, MORVEL, Session, WindowSession, read_png, xdotool  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")

NAMED_WINDOWS = [
    "Root", "RootCanvas", "Root/Object/Line",
    "Root/ObjectsMenu", "Root/GroupMenu", "Root/PropertiesMenu", "Root/EditMenu", "Root/ViewMenu",
    "Root/UnitMenu", "Root/Preference",
    "Root/ObjectPanel", "Root/FunctionPanel", "Root/EditPanel", "Root/PreferencePanel",
    "Root/WireframeModeCheckbox", "Root/AutosaveCheckbox", "Root/AutosaveIntervalEditbox",
    "MoveButton", "RotateButton", "ScaleButton", "DeformButton", "StiffnessButton", "BooleanButton",
    "PasteButton", "Root/StatusBar", "Root/FunctionBar", "Root/AlertBar",
]

CATALOGUE = [
    "AboutFunction", "AdjustMenu", "AutosaveFunction", "Boolean", "ColourFillFunction", "ColourFunction",
    "CopyFunction", "CreateLine", "CreateObject", "CutFunction", "DeformFunction", "DeleteObject",
    "ExportFunction", "EyeDropperFunction", "FloorFunction", "FrameRateFunction", "GroupingFunction",
    "HelpFunction", "ImportFunction", "InsertFunction", "MeasureFunction", "MirrorFunction", "MoveObject",
    "NewScene", "OpenFunction", "PaintFunction", "PasteFunction", "PrintScreen", "QuickHelp",
    "QuitFunction", "ReduceMeshFunction", "ResetCamera", "RotateObject", "SaveAsFunction", "SaveFunction",
    "ScaleObject", "SelectAll", "SelectObject", "ShadowFunction", "SliceFunction", "Snap",
    "StiffnessFunction", "SubmeshFunction", "SwitchGridFunction", "SwitchUnitFunction", "TipsizeFunction",
    "UnGroup", "WireframeModeFunction",
]


class GuiSession(Session):
    def run_script(self, text, *args, **kwargs):
        """Each `dump NAME` writes into the scratch folder, where load() reads."""
        text = re.sub(r"dump (\S+)", lambda m: "dump " + self.path(m.group(1)), text)
        return super().run_script(text, *args, **kwargs)


def language_text(table, text_id):
    with open(os.path.join(DATA, table), encoding="utf-8") as f:
        # The last match: the file's header comment shows an example entry.
        return re.findall(r"<id>%d</id><text>([^<]*)</text>" % text_id, f.read())[-1]


class Layout(GuiSession):
    def test_named_windows_bindings_and_a_free_centre(self):
        self.check(self.run_script("frames 5\ndump gui.json\nexit\n"))
        dump = self.load("gui.json")
        windows = dump["windows"]
        for name in NAMED_WINDOWS:
            self.assertIn(name, windows, name)
        for menu in ["Root/ObjectsMenu", "Root/EditMenu", "Root/Preference"]:
            self.assertIn(menu + "/AutoPopup", windows)
        bound = {b["function"] for b in dump["bindings"]}
        self.assertEqual([f for f in CATALOGUE if f not in bound], [])
        self.assertIn("Undo", bound)
        self.assertIn("Redo", bound)
        # Nothing visible is told off before the first undo.
        self.assertFalse(windows["Root/Edit/Undo"]["enabled"])
        self.assertIsNone(dump["dialog"])
        # The middle of the view belongs to the scene: no visible panel
        # reaches into the central half of the window.
        width, height = windows["Root"]["rect"][2], windows["Root"]["rect"][3]
        cx0, cy0, cx1, cy1 = width * 0.25, height * 0.25, width * 0.75, height * 0.75
        for name in ["Root/ObjectPanel", "Root/FunctionPanel", "Root/EditPanel", "Root/PreferencePanel",
                     "Root/StatusPanel"]:
            x0, y0, x1, y1 = windows[name]["rect"]
            overlaps = x0 < cx1 and x1 > cx0 and y0 < cy1 and y1 > cy0
            self.assertFalse(overlaps, name)

    def test_both_languages_name_the_buttons(self):
        for language, table in (("en", "lang_en.xml"), ("cn", "lang_cn.xml")):
            self.env["MORVEL_LANGUAGE"] = language
            self.check(self.run_script("frames 3\ndump lang.json\nexit\n"))
            dump = self.load("lang.json")
            self.assertEqual(dump["language"], language)
            self.assertEqual(dump["windows"]["Root/Menu/About"]["text"], language_text(table, 2))
            self.assertEqual(dump["windows"]["Root/View/ResetCamera"]["text"], language_text(table, 256))
            # The layout's own headings and menus too, not only the functions' buttons.
            self.assertEqual(dump["windows"]["Root/ObjectsMenu"]["text"], language_text(table, 1001))


class Dialogs(GuiSession):
    def test_error_box_from_a_bad_tip_size_is_answered(self):
        result = self.run_script("frames 3\nfocus Root/TipSizeEditbox\ntype x\nclick Root/TipSizeApply\nframes 2\n"
            "dump open.json\nanswer OK\nframes 2\ndump closed.json\nexit\n")
        self.check(result)
        box = self.load("open.json")["dialog"]
        self.assertEqual(box["kind"], "message")
        self.assertEqual(box["title"], "Error")
        self.assertEqual(box["buttons"], ["OK"])
        self.assertIn("1.0x", box["text"])
        self.assertIsNone(self.load("closed.json")["dialog"])

    def test_save_dialog_writes_the_picture_where_chosen(self):
        picture = self.path("view.png")
        result = self.run_script("frames 3\nclick Root/View/PrintScreen\nframes 2\ndump open.json\n"
            "choose %s\nframes 2\ndump closed.json\nexit\n" % picture)
        self.check(result)
        dialog = self.load("open.json")["dialog"]
        self.assertEqual((dialog["kind"], dialog["mode"]), ("file", "save"))
        self.assertEqual(dialog["folder"], self.env["HOME"].rstrip("/"))
        self.assertIsNone(self.load("closed.json")["dialog"])
        self.assertTrue(os.path.getsize(picture) > 0)

    def test_answers_and_clicks_that_cannot_happen_fail_the_script(self):
        for line in ("answer OK", "choose cancel", "click NoSuchWindow", "type abc"):
            result = self.run_script("frames 2\n%s\nexit\n" % line)
            self.assertEqual(result.returncode, 1, line)
        # A hidden window cannot be clicked: the panels go with AdjustMenu.
        result = self.run_script("click Root/Menu/AdjustMenu\nframes 1\nclick MoveButton\nexit\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("hidden", result.stderr)

    def test_letters_typed_into_an_edit_box_fire_no_shortcut(self):
        # Escape would turn haptics off; L would lock the rotation centre.
        result = self.run_script("frames 2\nfocus Root/AutosaveIntervalEditbox\nkey l\nframes 2\n"
                                 "dump typed.json\nexit\n")
        self.check(result)
        dump = self.load("typed.json")
        self.assertEqual(dump["windows"]["Root/AutosaveIntervalEditbox"]["text"], "5l")
        self.assertNotIn("locked", dump["alert"])


class GripPointer(GuiSession):
    """The stylus, driven by the script as a hand drives the grip, works
    the GUI where it passes over a panel."""

    def root_point_at(self, px, py, width, height, depth=40.0):
        # Inverse of screen_point: the world point at `depth` in front of the
        # camera under the pixel, in scene-root units (root scale 0.2).
        t = math.tan(math.radians(45.0) / 2)
        x = (px - width / 2) / (width / 2) * t * width / height * depth
        y = -(py - height / 2) / (height / 2) * t * depth
        world = (x + CAMERA[0], y + CAMERA[1], CAMERA[2] - depth)
        return tuple(c / 0.2 for c in world)

    def test_grip_clicks_a_check_box_and_haptics_come_back_in_the_view(self):
        self.check(self.run_script("frames 3\ndump layout.json\nexit\n"))
        layout = self.load("layout.json")
        width, height = layout["windows"]["Root"]["rect"][2:]
        x0, y0, x1, y1 = layout["windows"]["Root/WireframeModeCheckbox"]["rect"]
        over = "%g %g %g" % self.root_point_at(x0 + 8, (y0 + y1) / 2, width, height)
        result = self.run_script(
            "stylus 0 0 0\nsleep 0.2\ndump view.json\n"
            "stylus %s 0 0.3\nsleep 0.3\ndump over.json\n"
            "stylus %s 1 0.1\nsleep 0.2\nstylus %s 0 0.1\nsleep 0.2\ndump clicked.json\n"
            "stylus 0 0 0 0 0.3\nsleep 0.3\ndump back.json\nexit\n" % (over, over, over))
        self.check(result)
        self.assertTrue(self.load("view.json")["haptics"])
        self.assertFalse(self.load("over.json")["haptics"])
        clicked = self.load("clicked.json")
        self.assertTrue(clicked["windows"]["Root/WireframeModeCheckbox"]["selected"])
        # The press was the GUI's: no tool saw a button.
        self.assertEqual(clicked["undo"], 0)
        self.assertTrue(self.load("back.json")["haptics"])


class GripNavigation(GuiSession):
    def test_orbit_button_turns_the_view_with_haptics_off_and_back(self):
        result = self.run_script(
            "stylus 0 0 0\nsleep 0.2\ndump start.json\nstylus 0 0 0 8 0.1\n"
            "stylus 20 0 0 8 0.5\nsleep 0.2\ndump turning.json\n"
            "stylus 20 0 0 0 0.1\nsleep 0.2\ndump end.json\nsleep 0.2\ndump later.json\nexit\n")
        self.check(result)
        start, turning, end = (self.load(n) for n in ("start.json", "turning.json", "end.json"))
        self.assertFalse(turning["haptics"])
        self.assertTrue(end["haptics"])
        moved = abs(end["camera"]["position"][0] - start["camera"]["position"][0])
        self.assertGreater(moved, 1.0)
        # Released: the view stays where the orbit left it.
        self.assertEqual(self.load("later.json")["camera"], end["camera"])


class RealPointer(WindowSession):
    """X events from the X server, as a user makes them."""

    def test_clicks_on_panels_and_view_keys_and_navigation(self):
        go = self.path("go")
        script = self.path("session.txt")
        with open(script, "w") as f:
            f.write("mousestylus\nframes 5\ndump %s\nwaitfile %s\nframes 5\ndump %s\nexit\n"
                    % (self.path("before.json"), go, self.path("after.json")))
        proc = subprocess.Popen([MORVEL, "-noSplashScreen", "-script=" + script], cwd=self.work,
                                env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            wid = self.window_id()
            for _ in range(200):
                if os.path.exists(self.path("before.json")):
                    break
                time.sleep(0.05)
            time.sleep(0.3)
            before = self.load("before.json")
            xdotool("windowfocus", "--sync", wid)
            # Let the focus message ("Regained window focus.", 1.9 s) pass.
            time.sleep(2.2)
            x0, y0, x1, y1 = before["windows"]["Root/WireframeModeCheckbox"]["rect"]
            xdotool("mousemove", "--window", wid, str(int(x0 + 8)), str(int((y0 + y1) / 2)))
            time.sleep(0.3)
            xdotool("click", "1")
            time.sleep(0.3)
            # A quick double click is two clicks, not one.
            xdotool("click", "--repeat", "2", "--delay", "150", "1")
            time.sleep(0.3)
            # Middle drag in the view orbits, Ctrl + wheel zooms.
            w, h = self.window_size(wid)
            xdotool("mousemove", "--window", wid, str(w // 2), str(h // 2))
            time.sleep(0.3)
            xdotool("mousedown", "2")
            for step in range(1, 6):
                xdotool("mousemove", "--window", wid, str(w // 2 + step * 20), str(h // 2))
                time.sleep(0.05)
            xdotool("mouseup", "2")
            time.sleep(0.3)
            # Ctrl held well around the wheel: the keyboard and the mouse are
            # read one after the other, each frame.
            xdotool("keydown", "ctrl")
            time.sleep(0.3)
            for _ in range(3):
                xdotool("click", "4")
                time.sleep(0.15)
            time.sleep(0.3)
            xdotool("keyup", "ctrl")
            time.sleep(0.3)
            xdotool("key", "l")
            time.sleep(0.5)
            open(go, "w").close()
            out, err = proc.communicate(timeout=60)
        finally:
            if proc.poll() is None:
                proc.kill()
        self.assertEqual(proc.returncode, 0, out + err)
        after = self.load("after.json")
        self.assertFalse(before["windows"]["Root/WireframeModeCheckbox"]["selected"])
        self.assertTrue(after["windows"]["Root/WireframeModeCheckbox"]["selected"])  # clicked three times
        start, end = before["camera"]["position"], after["camera"]["position"]
        self.assertGreater(abs(end[0] - start[0]), 1.0)  # orbited sideways
        distance = lambda p: sum(c * c for c in p) ** 0.5
        self.assertLess(distance(end), distance(start) * 0.8)  # zoomed in
        self.assertEqual(after["alert"], "World rotation centre point is now locked.")


class ViewUnderTheInterface(GuiSession):
    def changed_pixels_in_the_centre(self, first, second):
        """Pixels that differ between two screenshots inside the central half
        of the window, which no panel covers."""
        width, height, channels, rows_a = read_png(first)
        *size_b, rows_b = read_png(second)
        self.assertEqual(tuple(size_b), (width, height, channels))
        x0, x1 = width // 4 * channels, width * 3 // 4 * channels
        changed = 0
        for y in range(height // 4, height * 3 // 4):
            a, b = rows_a[y][x0:x1], rows_b[y][x0:x1]
            if a != b:
                changed += sum(1 for i in range(0, len(a), channels) if a[i:i + channels] != b[i:i + channels])
        return changed

    def test_the_view_keeps_following_the_scene_while_the_panels_are_drawn(self):
        # Once the GUI had drawn, the window used to keep the view of the
        # first frames: a moving stylus and new objects never showed.
        shots = [self.path(name) for name in ("before.png", "moved.png", "sphere.png")]
        self.check(self.run_script(
            "frames 10\nscreenshot %s\n"
            "stylus 20 0 0\nframes 10\nscreenshot %s\n"
            "invoke CreateObject sphere\nstylus 20 0 0 1\nframes 2\nstylus 25 0 0 1\nframes 2\n"
            "stylus 25 0 0 0\nstylus -20 0 0\nframes 10\nscreenshot %s\nexit\n" % tuple(shots),
            self.primitive("cube")))
        # These sessions use a small stylus tip: a few dozen pixels move.
        self.assertGreater(self.changed_pixels_in_the_centre(shots[0], shots[1]), 20)
        # A sphere dragged out beside the cube covers thousands.
        self.assertGreater(self.changed_pixels_in_the_centre(shots[1], shots[2]), 2000)


if __name__ == "__main__":
    unittest.main()
