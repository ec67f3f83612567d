#!/usr/bin/env python3
"""Process tests of the modelling tools: session scripts drive the stylus,
keys and functions of the real program, and the JSON state dump shows the
scene, the selection and the history. One test drives a tool with real X
pointer events."""
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from morvel_session import MORVEL, Session, WindowSession, screen_point, xdotool  # noqa: E402

# Shapes as the creation tool makes them: mesh size in world units, so five
# times the mesh size in scene-root units (the root's scale is 0.2).
SHAPES = ["plane", "cube", "sphere", "cone", "cylinder", "torus"]
MESH_COUNTS = {"plane": (1250, 2304), "cube": (3750, 6912), "sphere": (1538, 3072),
               "torus": (2560, 5120)}
ROOT_PER_WORLD = 5.0
# The grid is the ruler: at its starting size (slider 0.1) one cell, one
# centimetre, is 1 + 10 * 0.1 scene-root units; a millimetre is a tenth.
GRID_CM = 1 + 10 * 0.1
VOLUMES = {  # closed shapes, scene-root units
    "cube": 6 ** 3,
    "sphere": 4 / 3 * math.pi * 3 ** 3,
    "cone": math.pi * 3 ** 2 * 6 / 3,
    "cylinder": math.pi * 3 ** 2 * 6,
    "torus": 2 * math.pi ** 2 * 2 * 1 ** 2,
}


def click(x, y, z, buttons=1):
    """Press and release at a scene-root point, a few frames each."""
    return "stylus %g %g %g 0\nframes 2\nstylus %g %g %g %d\nframes 2\nstylus %g %g %g 0\nframes 2\n" % (
        x, y, z, x, y, z, buttons, x, y, z)


def drag(start, end, buttons=1, seconds=0.3):
    """Press at start, move to end with the button held, release there."""
    return ("stylus %g %g %g 0\nframes 2\nstylus %g %g %g %d\nframes 2\n"
            "stylus %g %g %g %d %g\nsleep %g\nframes 2\nstylus %g %g %g 0\nframes 2\n") % (
        *start, *start, buttons, *end, buttons, seconds, seconds + 0.2, *end)


def centre(obj):
    lo, hi = obj["bbox"]
    return [(a + b) / 2 for a, b in zip(lo, hi)]


def size(obj):
    lo, hi = obj["bbox"]
    return [b - a for a, b in zip(lo, hi)]


class ToolSession(Session):
    def script(self, text):
        # The device frame is placed at the first frame: stylus points given
        # before it would land elsewhere.
        text = "frames 3\n" + text
        self.check(self.run_script(text.replace("dump ", "dump " + self.root + "/") + "exit\n",
                                   *self.files))

    files = ()

    def assertVector(self, actual, expected, delta=1e-3, msg=None):
        for a, e in zip(actual, expected):
            self.assertAlmostEqual(a, e, delta=delta, msg=msg or "%s != %s" % (actual, expected))


class Creation(ToolSession):
    def test_every_shape_at_the_stylus_then_undo_and_redo_all(self):
        text = ""
        for i, shape in enumerate(SHAPES):
            text += "invoke CreateObject %s\n" % shape + click(i * 40 - 100, 10, -5) + "dump %s.json\n" % shape
        text += "invoke Undo\n" * 6 + "frames 2\ndump undone.json\n"
        text += "invoke Redo\n" * 6 + "frames 2\ndump redone.json\n"
        self.script(text)
        for i, shape in enumerate(SHAPES):
            state = self.load(shape + ".json")
            self.assertEqual(len(state["objects"]), i + 1)
            obj = state["objects"][-1]
            self.assertEqual(obj["kind"], "object")
            if shape in MESH_COUNTS:
                self.assertEqual((obj["vertices"], obj["faces"]), MESH_COUNTS[shape], shape)
            if shape in VOLUMES:
                self.assertTrue(obj["closed"], shape)
                expected = VOLUMES[shape] * ROOT_PER_WORLD ** 3
                self.assertAlmostEqual(obj["volume"] / expected, 1.0, delta=0.03, msg=shape)
            self.assertVector(centre(obj), [i * 40 - 100, 10, -5], delta=0.05, msg=shape)
            self.assertEqual([o["selected"] for o in state["objects"]], [False] * i + [True])
            self.assertEqual(state["undo"], i + 1)
        self.assertEqual(self.load("undone.json")["objects"], [])
        redone = self.load("redone.json")
        self.assertEqual([o["vertices"] for o in redone["objects"]],
                         [o["vertices"] for o in self.load("torus.json")["objects"]])
        self.assertEqual(redone["redo"], 0)

    def test_dragging_sizes_the_new_object(self):
        # Ten world units to the right (50 root units) scale by e.
        self.script("invoke CreateObject cube\n" + drag((0, 0, 0), (50, 0, 0)) + "dump sized.json\n")
        (cube,) = self.load("sized.json")["objects"]
        self.assertVector(size(cube), [30 * math.e] * 3, delta=0.5)
        self.assertEqual(self.load("sized.json")["undo"], 1)


class Transforms(ToolSession):
    def setUp(self):
        super().setUp()
        self.files = (self.primitive("cube"),)  # edge 6 at the origin

    def test_move_with_and_without_an_axis_lock(self):
        self.script("invoke SelectAll\nkey m\n" + drag((20, 20, 0), (23, 22, 1)) + "dump free.json\n"
                    "keydown x\n" + drag((20, 20, 0), (25, 30, 4)) + "keyup x\ndump locked.json\n"
                    "key ctrl+z\nframes 2\nkey ctrl+z\nframes 2\ndump back.json\n"
                    "key ctrl+y\nframes 2\ndump again.json\n")
        self.assertVector(self.load("free.json")["objects"][0]["bbox"][0], [-3 + 3, -3 + 2, -3 + 1])
        self.assertVector(self.load("locked.json")["objects"][0]["bbox"][0], [-3 + 8, -1, -2])
        self.assertVector(self.load("back.json")["objects"][0]["bbox"][0], [-3, -3, -3])
        self.assertVector(self.load("again.json")["objects"][0]["bbox"][0], [0, -1, -2])
        self.assertEqual(self.load("locked.json")["tool"], "MoveObject")

    def test_scale_per_axis_then_rotate_a_quarter_turn(self):
        # Shift at the press: per-axis scaling, x by e^0.5 (25 root units = 5 view units).
        text = "invoke SelectAll\nkey q\nkeydown shift\n" + drag((0, 20, 0), (25, 20, 0)) + \
            "keyup shift\ndump scaled.json\nkey r\nstylus 30 0 0 0\nframes 2\nstylus 30 0 0 1\nframes 2\n"
        for step in range(1, 19):
            a = math.radians(step * 5)
            text += "stylus %g %g 0 1 0.05\nsleep 0.08\n" % (30 * math.cos(a), 30 * math.sin(a))
        text += "frames 2\nstylus 0 30 0 0\nframes 2\ndump turned.json\n" \
                "invoke Undo\nframes 2\ndump unturned.json\ninvoke Undo\nframes 2\ndump unscaled.json\n"
        self.script(text)
        scaled = size(self.load("scaled.json")["objects"][0])
        self.assertVector(scaled, [6 * math.exp(0.5), 6, 6], delta=0.01)
        turned = size(self.load("turned.json")["objects"][0])
        # A quarter turn about z swaps the x and y extents.
        self.assertVector(turned, [6, 6 * math.exp(0.5), 6], delta=0.3)
        self.assertEqual(self.load("turned.json")["objects"][0]["material"], "defaultMaterial")
        self.assertVector(size(self.load("unturned.json")["objects"][0]), scaled, delta=1e-3)
        self.assertVector(size(self.load("unscaled.json")["objects"][0]), [6, 6, 6], delta=1e-3)
        self.assertEqual(self.load("unscaled.json")["redo"], 2)

    def test_rotate_and_scale_show_their_marks_while_they_drag(self):
        def marks(name):
            return {m["node"]: m for m in self.load(name)["marks"]}

        self.script("invoke SelectAll\nkey r\nstylus 30 0 0 0\nframes 2\nstylus 30 0 0 1\nframes 2\n"
                    "stylus 21 21 0 1 0.3\nsleep 0.5\nframes 2\ndump rotating.json\n"
                    "screenshot %s\nstylus 21 21 0 0\nframes 2\ndump rotated.json\n"
                    "key q\nkeydown x\n" "stylus 0 20 0 0\nframes 2\nstylus 0 20 0 1\nframes 2\n"
                    "stylus 20 20 0 1 0.3\nsleep 0.5\nframes 2\ndump scaling.json\nscreenshot %s\n"
                    "stylus 20 20 0 0\nframes 2\nkeyup x\ndump scaled.json\n"
                    % (self.path("rotating.png"), self.path("scaling.png")))
        line = marks("rotating.json")["RotationRefLineNode"]
        pivot, stylus = line["points"]
        self.assertVector(pivot, [0, 0, 0], delta=1e-2, msg="from the centre of the turn")
        self.assertVector(stylus, [21, 21, 0], delta=0.5, msg="to the stylus")
        self.assertEqual(marks("rotated.json"), {})
        scaling = marks("scaling.json")
        # X locked: only the x marker, at the stylus, and the size of the one cube.
        self.assertEqual(sorted(scaling), ["ScaleAxisMarkerX", "ScaleSizeTextNode"])
        lo, hi = scaling["ScaleAxisMarkerX"]["points"]
        self.assertVector([(a + b) / 2 for a, b in zip(lo, hi)], [20, 20, 0], delta=0.5)
        self.assertAlmostEqual(hi[1], lo[1], places=3)
        cube = self.load("scaling.json")["objects"][0]
        caption = scaling["ScaleSizeTextNode"]
        self.assertEqual(caption["text"], "The approx size of the object is : " +
                         " x ".join("%.2f cm" % (extent / GRID_CM) for extent in size(cube)))
        self.assertGreater(caption["points"][0][1], cube["bbox"][1][1], "above the cube")
        self.assertEqual(marks("scaled.json"), {})
        for picture in ("rotating.png", "scaling.png"):
            self.assertTrue(os.path.getsize(self.path(picture)) > 0)

    def test_touch_select_snap_and_measure(self):
        # Rest on the cube's top and click grip button 2 (mask 4): selected;
        # again with Control: deselected. A sweep through it from empty space selects it.
        text = ("stylus 0 8 0\nsleep 0.3\nstylus 0 3 0 0 0.3\nsleep 0.4\n"
                "stylus 0 3 0 4\nframes 2\nstylus 0 3 0 0\nframes 2\ndump touched.json\n"
                "keydown ctrl\nstylus 0 3 0 4\nframes 2\nstylus 0 3 0 0\nframes 2\nkeyup ctrl\n"
                "dump untouched.json\n"
                "stylus -40 0 20 0 0.3\nsleep 0.4\nstylus -40 0 20 4\nframes 2\n"
                "stylus 40 0 20 4 0.5\nsleep 0.7\nstylus 40 0 20 0\nframes 2\ndump swept.json\n")
        # Move by 1.3, then snap: grabbed onto the grid, dragged 0.8 more
        # (less than half a cell), so it stays on the same grid point.
        text += "key m\n" + drag((20, 20, 0), (21.3, 20, 0)) + "dump moved.json\n" \
            "invoke Snap\nstylus 1.3 8 0 0 0.2\nsleep 0.3\nstylus 1.3 3 0 0 0.3\nsleep 0.4\n" \
            "stylus 1.3 3 0 1\nframes 2\nstylus 2.1 3 0 1 0.2\nsleep 0.4\nstylus 2.1 3 0 0\nframes 2\n" \
            "dump snapped.json\n"
        text += "invoke MeasureFunction\n" + drag((0, 20, 0), (3, 24, 0)) + "dump measured.json\n"
        text += "invoke SwitchUnitFunction Millimetre\nframes 2\n" + drag((0, 20, 0), (3, 24, 0)) + \
            "dump measured_mm.json\n"
        self.script(text)
        self.assertTrue(self.load("touched.json")["objects"][0]["selected"])
        self.assertFalse(self.load("untouched.json")["objects"][0]["selected"])
        swept = self.load("swept.json")
        self.assertTrue(swept["objects"][0]["selected"])
        self.assertEqual(swept["undo"], 3, "two toggles and a sweep")
        self.assertVector(self.load("moved.json")["objects"][0]["bbox"][0], [-1.7, -3, -3])
        snapped_x = round(1.3 / GRID_CM) * GRID_CM
        self.assertVector(self.load("snapped.json")["objects"][0]["bbox"][0], [snapped_x - 3, -3, -3])
        measured = self.load("measured.json")
        self.assertEqual(measured["alert"], "Measured Length is: %.2f cm" % (5 / GRID_CM))
        self.assertEqual(measured["undo"], 5, "measuring adds nothing")
        # The alert bar still shows the first result: read the text in the view.
        (text,) = [m["text"] for m in self.load("measured_mm.json")["marks"] if m["node"] == "MeasureTextNode"]
        self.assertEqual(text, "Measured Length is: %.2f mm" % (5 / (GRID_CM / 10)))


class Editing(ToolSession):
    def setUp(self):
        super().setUp()
        self.files = (self.primitive("cube"),)

    def test_copy_paste_group_ungroup_delete_and_back(self):
        text = ("invoke SelectAll\nkey ctrl+c\nframes 1\nkey ctrl+f\nframes 1\ndump inplace.json\n"
                "stylus 20 10 0\nframes 3\nkey ctrl+v\nframes 1\ndump atstylus.json\n"
                "invoke SelectAll\nkey ctrl+g\nframes 1\ndump grouped.json\n"
                "invoke SelectAll\ninvoke UnGroup\n" + click(0, 40, 0) + "dump ungrouped.json\n"
                "invoke SelectAll\nkey delete\nframes 1\ndump deleted.json\n")
        text += "invoke Undo\n" * 9 + "frames 2\ndump start.json\n" + "invoke Redo\n" * 9 + \
            "frames 2\ndump end.json\n"
        self.script(text)
        inplace = self.load("inplace.json")["objects"]
        self.assertEqual(len(inplace), 2)
        self.assertEqual(inplace[0]["bbox"], inplace[1]["bbox"])
        self.assertEqual([o["selected"] for o in inplace], [False, True])
        atstylus = self.load("atstylus.json")["objects"]
        self.assertVector(centre(atstylus[2]), [20, 10, 0], delta=1e-3)
        grouped = self.load("grouped.json")["objects"]
        self.assertEqual([o["kind"] for o in grouped], ["group", "object", "object", "object"])
        self.assertEqual([o["parent"] for o in grouped[1:]], [grouped[0]["id"]] * 3)
        self.assertEqual(sorted(o["bbox"] for o in grouped[1:]), sorted(o["bbox"] for o in atstylus))
        ungrouped = self.load("ungrouped.json")["objects"]
        self.assertEqual([o["parent"] for o in ungrouped], [None] * 3)
        self.assertEqual(sorted(o["bbox"] for o in ungrouped), sorted(o["bbox"] for o in atstylus))
        self.assertEqual(self.load("deleted.json")["objects"], [])
        start = self.load("start.json")
        self.assertEqual(len(start["objects"]), 1)
        self.assertEqual(start["undo"], 0)
        end = self.load("end.json")
        self.assertEqual(end["objects"], [])
        self.assertEqual(end["undo"], 9)

    def test_undo_limit_drops_the_oldest_steps(self):
        user = os.path.join(self.env["XDG_DATA_HOME"], "Morvel")
        os.makedirs(user, exist_ok=True)
        with open(os.path.join(user, "FunctionConfig.cfg"), "w") as f:
            f.write("[Functions]\nUndo.Size = 3\n")
        text = "invoke SelectAll\nkey m\n" + "".join(drag((20, 20, 0), (21, 20, 0)) for _ in range(5))
        text += "invoke Undo\n" * 5 + "frames 2\ndump limited.json\n"
        self.script(text)
        state = self.load("limited.json")
        self.assertEqual((state["undo"], state["redo"]), (0, 3))
        self.assertVector(state["objects"][0]["bbox"][0], [-3 + 2, -3, -3])


class Stiffness(ToolSession):
    def setUp(self):
        super().setUp()
        self.files = (self.primitive("cube"),)

    def test_a_slider_gesture_is_one_step(self):
        values = "".join("invoke StiffnessFunction %g\n" % (i / 10) for i in range(11))
        self.script("invoke SelectAll\nframes 1\ndump before.json\ninvoke StiffnessFunction\n" + values +
                    "invoke StiffnessFunction done\nframes 1\ndump after.json\n"
                    "invoke Undo\nframes 1\ndump undone.json\n")
        before, after = self.load("before.json"), self.load("after.json")
        self.assertAlmostEqual(after["objects"][0]["stiffness"], 1.0, places=5)
        self.assertEqual(after["undo"], before["undo"] + 1)
        self.assertEqual(self.load("undone.json")["objects"][0]["stiffness"], before["objects"][0]["stiffness"])


class MouseTools(WindowSession):
    """The tools under the system mouse, with real X pointer events."""

    def test_the_stiffness_slider_shows_the_selection_and_one_drag_is_one_step(self):
        cube = self.primitive("cube")

        def look(wid, width, height):
            pass

        def drag_thumb(wid, width, height):
            slider = self.load("s0.json")["windows"]["Root/StiffnessSlider"]
            x0, y0, x1, y1 = slider["thumb"]
            right = slider["rect"][2]
            y = str(int((y0 + y1) / 2))
            xdotool("mousemove", "--window", wid, str(int((x0 + x1) / 2)), y)
            time.sleep(0.3)
            xdotool("mousedown", "1")
            for step in range(1, 11):
                x = (x0 + x1) / 2 + (right + 20 - (x0 + x1) / 2) * step / 10
                xdotool("mousemove", "--window", wid, str(int(x)), y)
                time.sleep(0.1)
            time.sleep(0.3)
            xdotool("mouseup", "1")
            time.sleep(0.5)

        def next_cube(wid, width, height):
            xdotool("mousemove", "--window", wid, str(width // 2), str(height // 2))
            time.sleep(0.2)
            xdotool("key", "Tab")
            time.sleep(0.5)

        # A copy of the cube in place, then Tab picks one of the two.
        shown, dragged, other = self.drive(
            (cube,), [look, drag_thumb, next_cube],
            head="invoke SelectAll\nkey ctrl+c\nkey ctrl+f\nframes 2\nkey tab\n"
                 "invoke StiffnessFunction\nframes 2\n")

        def slider(state):
            return state["windows"]["Root/StiffnessSlider"]["value"]

        def stiffness(obj):
            return (obj["stiffness"] - 0.05) / 0.95

        first = [o for o in shown["objects"] if o["selected"]]
        self.assertEqual(len(first), 1, shown)
        self.assertAlmostEqual(slider(shown), stiffness(first[0]), places=4)
        self.assertEqual(len(shown["objects"]), 2)
        self.assertEqual(shown["tool"], "StiffnessFunction")
        self.assertEqual(dragged["undo"], shown["undo"] + 1, "one drag, one step")
        self.assertAlmostEqual(slider(dragged), 1.0, places=4)
        changed = [o for o in dragged["objects"] if o["selected"]][0]
        self.assertAlmostEqual(changed["stiffness"], 1.0, places=4)
        unchanged = [o for o in dragged["objects"] if not o["selected"]][0]
        self.assertAlmostEqual(unchanged["stiffness"], first[0]["stiffness"], places=5)
        # Another item selected: the slider shows its own stiffness.
        self.assertAlmostEqual(slider(other), stiffness(unchanged), places=4)

    def test_rotate_scale_measure_and_snap_with_left_drags(self):
        """Each tool picked with its button, then one left drag in the view."""
        cube = self.primitive("cube")  # edge 6 root units at the origin

        def press_button(wid, name):
            x0, y0, x1, y1 = self.load("s0.json")["windows"][name]["rect"]
            xdotool("mousemove", "--window", wid, str(int((x0 + x1) / 2)), str(int((y0 + y1) / 2)))
            time.sleep(0.3)
            xdotool("click", "1")
            time.sleep(0.5)

        def left_drag(wid, start, points):
            xdotool("mousemove", "--window", wid, str(start[0]), str(start[1]))
            time.sleep(1.5)  # the simulated hand follows the pointer on a spring
            xdotool("mousedown", "1")
            time.sleep(0.5)
            for x, y in points:
                xdotool("mousemove", "--window", wid, str(int(x)), str(int(y)))
                time.sleep(0.08)
            time.sleep(1.0)
            xdotool("mouseup", "1")
            time.sleep(0.8)

        def look(wid, width, height):
            pass

        def rotate(wid, width, height):
            press_button(wid, "RotateButton")
            # An eighth of a circle around the cube in the plane of the
            # screen, Z held so that the turn is about the view axis
            # whatever the stylus's depth.
            centre = screen_point((0, 0, 0), width, height)
            radius = 120
            arc = [(centre[0] + radius * math.cos(a), centre[1] - radius * math.sin(a))
                   for a in (math.radians(5 * i) for i in range(1, 10))]
            xdotool("keydown", "z")
            left_drag(wid, (centre[0] + radius, centre[1]), arc)
            xdotool("keyup", "z")

        def scale(wid, width, height):
            press_button(wid, "ScaleButton")
            x, y = screen_point((4, 2, 0), width, height)
            left_drag(wid, (x, y), [(x + 15 * i, y) for i in range(1, 11)])

        def measure(wid, width, height):
            press_button(wid, "MeasureButton")
            x, y = screen_point((-8, 4, 0), width, height)
            left_drag(wid, (x, y), [(x + 20 * i, y) for i in range(1, 11)])

        def snap(wid, width, height):
            press_button(wid, "SnapButton")
            x, y = screen_point((0, 0, 0), width, height)
            left_drag(wid, (x, y), [(x + 4 * i, y) for i in range(1, 11)])

        start, rotated, scaled, measured, snapped = self.drive(
            (cube,), [look, rotate, scale, measure, snap], head="invoke SelectAll\n")
        self.assertEqual(rotated["tool"], "RotateObject", rotated)
        self.assertEqual(rotated["undo"], 2, "select all and the turn")
        # Turned about z (up to 6 * sqrt 2 at an eighth of a turn): the box
        # grows in x and y, not in z.
        turned = size(rotated["objects"][0])
        self.assertGreater(turned[0], 7, turned)
        self.assertAlmostEqual(turned[0], turned[1], delta=0.01)
        self.assertAlmostEqual(turned[2], 6, delta=0.01)
        self.assertEqual(scaled["undo"], 3)
        self.assertGreater(size(scaled["objects"][0])[2], 6 * 1.5, "grown by the drag to the right")
        self.assertEqual(measured["undo"], 3, "measuring changes nothing")
        self.assertTrue(measured["alert"].startswith("Measured Length is: "), measured["alert"])
        self.assertTrue(measured["alert"].endswith(" cm"), measured["alert"])
        self.assertGreater(float(measured["alert"].split()[-2]), 0.0)
        self.assertEqual(snapped["tool"], "Snap")
        self.assertEqual(snapped["undo"], 4, snapped)
        position = centre(snapped["objects"][0])
        self.assertGreaterEqual(position[0], GRID_CM, "dragged to the right by at least a cell")
        for c in position:
            self.assertAlmostEqual(c / GRID_CM, round(c / GRID_CM), delta=1e-3, msg=position)

    def test_right_clicks_select_and_clear_and_a_right_sweep_selects(self):
        cube = self.primitive("cube")  # edge 6 root units: 1.2 world units

        def at(wid, width, height, point):
            x, y = screen_point(point, width, height)
            xdotool("mousemove", "--window", wid, str(x), str(y))
            # The simulated hand follows the pointer on a spring: let it
            # arrive even when the machine is busy.
            time.sleep(2.0)
            return x, y

        def click_cube(wid, width, height):
            at(wid, width, height, (0, 0, 0))
            xdotool("click", "3")
            time.sleep(0.5)

        def clear(wid, width, height):
            at(wid, width, height, (0, 4, 0))  # over empty space
            xdotool("click", "3")
            time.sleep(0.5)

        def sweep(wid, width, height):
            x, y = at(wid, width, height, (0, 4, 0))
            xdotool("mousedown", "3")
            time.sleep(0.3)
            _, cube_y = screen_point((0, 0, 0), width, height)
            for step in range(1, 11):
                xdotool("mousemove", "--window", wid, str(x), str(y + (cube_y - y) * step // 10))
                time.sleep(0.08)
            time.sleep(0.3)
            xdotool("mouseup", "3")
            time.sleep(0.5)

        clicked, cleared, swept = self.drive((cube,), [click_cube, clear, sweep])
        self.assertTrue(clicked["objects"][0]["selected"], clicked)
        self.assertFalse(cleared["objects"][0]["selected"], cleared)
        self.assertTrue(swept["objects"][0]["selected"], swept)
        self.assertEqual(swept["undo"], 3, "two clicks and the sweep")

    def test_left_clicks_create_and_a_left_drag_moves(self):
        start = {}

        def create(wid, width, height):
            start["x"], start["y"] = screen_point((-5, 0, 0), width, height)
            xdotool("mousemove", "--window", wid, str(start["x"]), str(start["y"]))
            time.sleep(1.0)  # the simulated hand follows the pointer on a spring
            xdotool("click", "1")  # a cube where the pointer shows
            time.sleep(0.8)

        def move(wid, width, height):
            x, y = start["x"], start["y"]
            xdotool("key", "m")
            time.sleep(0.5)
            xdotool("mousedown", "1")
            time.sleep(0.5)
            for step in range(1, 11):
                xdotool("mousemove", "--window", wid, str(x + step * 15), str(y))
                time.sleep(0.08)
            time.sleep(0.8)
            xdotool("mouseup", "1")
            time.sleep(0.8)

        created, moved = self.drive((), [create, move], head="invoke CreateObject cube\n")
        self.assertEqual(len(created["objects"]), 1, created)
        (cube,) = created["objects"]
        self.assertEqual(cube["vertices"], 3750)
        self.assertTrue(cube["selected"])
        self.assertEqual(moved["tool"], "MoveObject", moved)
        self.assertEqual(len(moved["objects"]), 1, moved)
        self.assertEqual(moved["undo"], 2, "one creation and one move")
        # Moved to the right on the screen: +x in the scene.
        self.assertGreater(centre(moved["objects"][0])[0], centre(cube)[0] + 5)


if __name__ == "__main__":
    import unittest
    unittest.main(verbosity=2)
