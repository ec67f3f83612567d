#!/usr/bin/env python3
"""Process tests of the painting, Boolean, slice, mirror and resolution
tools: the real program runs session scripts on scenes written here, and the
JSON state dump is checked."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from morvel_session import CLI, MORVEL, Session, WindowSession, screen_point, xdotool  # noqa: E402

# The colour box in scene-root units (world 2..3 x -0.5..0.5 x -0.5..0.5 at
# the root's scale 0.2).
BOX_ORIGIN = (10.0, -2.5, -2.5)
BOX_SIZE = 5.0


def box_point(r, g, b):
    return tuple(BOX_ORIGIN[i] + BOX_SIZE * c for i, c in enumerate((r, g, b)))


def cuboid(lo, hi):
    """Vertices and outward faces (1-based OBJ indices from 1) of a box."""
    vertices = [(hi[0] if i & 1 else lo[0], hi[1] if i & 2 else lo[1], hi[2] if i & 4 else lo[2]) for i in range(8)]
    faces = [(0, 2, 1), (1, 2, 3), (4, 5, 6), (5, 7, 6), (0, 1, 4), (1, 5, 4),
             (2, 6, 3), (3, 6, 7), (0, 4, 2), (2, 4, 6), (1, 3, 5), (3, 7, 5)]
    return vertices, faces


def sphere(centre, radius, rings=16, segments=24):
    import math
    vertices = [(centre[0], centre[1], centre[2] + radius)]
    for r in range(1, rings):
        t = math.pi * r / rings
        for s in range(segments):
            p = 2 * math.pi * s / segments
            vertices.append((centre[0] + radius * math.sin(t) * math.cos(p),
                             centre[1] + radius * math.sin(t) * math.sin(p), centre[2] + radius * math.cos(t)))
    vertices.append((centre[0], centre[1], centre[2] - radius))
    south = len(vertices) - 1

    def ring(r, s):
        return 1 + (r - 1) * segments + s % segments
    faces = [(0, ring(1, s), ring(1, s + 1)) for s in range(segments)]
    for r in range(1, rings - 1):
        for s in range(segments):
            faces += [(ring(r, s), ring(r + 1, s), ring(r + 1, s + 1)), (ring(r, s), ring(r + 1, s + 1), ring(r, s + 1))]
    faces += [(ring(rings - 1, s), south, ring(rings - 1, s + 1)) for s in range(segments)]
    return vertices, faces


def write_scene(session, name, *shapes):
    """A .cr8 with one object per shape, through an OBJ import (grey, as
    OBJ files without materials come in)."""
    obj = session.path(name + ".obj")
    with open(obj, "w") as f:
        base = 1
        for vertices, faces in shapes:
            for v in vertices:
                f.write("v %r %r %r\n" % v)
            for t in faces:
                f.write("f %d %d %d\n" % tuple(base + i for i in t))
            base += len(vertices)
    out = session.path(name + ".cr8")
    subprocess.run([CLI, "convert", obj, out], check=True)
    return out


class ShapingSession(Session):
    def scene(self, name, *shapes):
        return write_scene(self, name, *shapes)

    def run_session(self, scene, lines):
        lines = [("dump %s/%s.json" % (self.root, line[5:])) if line.startswith("dump ") else line for line in lines]
        text = "\n".join(lines) + "\nexit\n"
        self.check(self.run_script(text, scene))

    def objects(self, name):
        return self.load(name + ".json")["objects"]

    def test_boolean_operations_are_exact_closed_and_undo_to_the_operands(self):
        # Two cubes of edge 4 overlapping in a 2 x 4 x 4 slab.
        scene = self.scene("cubes", cuboid((0, 0, 0), (4, 4, 4)), cuboid((2, 0, 0), (6, 4, 4)))
        self.run_session(scene, [
            "frames 2", "invoke SelectAll", "invoke Boolean Union", "frames 2", "dump union",
            "invoke Undo", "frames 2", "dump union_undone",
            "invoke Boolean Intersection", "frames 2", "dump intersection", "invoke Undo",
            "invoke Boolean Subtraction", "frames 2", "dump subtraction", "invoke Undo", "frames 2",
            "dump subtraction_undone",
            "invoke Boolean Boolean", "key b", "frames 2", "dump key_b"])
        (union,) = self.objects("union")
        self.assertAlmostEqual(union["volume"], 96, places=4)
        self.assertTrue(union["closed"])
        operands = self.objects("union_undone")
        self.assertEqual(len(operands), 2)
        self.assertTrue(all(o["selected"] for o in operands))
        self.assertEqual([round(o["volume"], 4) for o in operands], [64, 64])
        (intersection,) = self.objects("intersection")
        self.assertAlmostEqual(intersection["volume"], 32, places=4)
        self.assertTrue(intersection["closed"])
        pieces = self.objects("subtraction")
        self.assertEqual(len(pieces), 2, "the result and the removed piece")
        for piece in pieces:
            self.assertTrue(piece["closed"])
            self.assertAlmostEqual(piece["volume"], 32, places=4)
        self.assertEqual(len(self.objects("subtraction_undone")), 2, "one undo takes both pieces away")
        (difference,) = self.objects("key_b")
        self.assertAlmostEqual(difference["volume"], 32, places=4)
        # The selection and the last operation: a new entry drops the undone ones.
        self.assertEqual(self.load("key_b.json")["undo"], 2)

    def test_slice_cuts_a_cube_and_a_sphere_into_closed_halves(self):
        scene = self.scene("cut", cuboid((-9, -3, -3), (-3, 3, 3)), sphere((5, 0, 0), 3))
        # The plane is placed in front of the objects (z = 10), where the
        # stylus meets nothing, and faces +y: it cuts both at y = 0.5.
        self.run_session(scene, [
            "frames 2", "dump before", "invoke SelectAll", "invoke SliceFunction",
            "stylus 0 0.5 10", "frames 2", "stylus 0 0.5 10 1", "frames 2",
            "stylus 0 1.5 10 1 0.2", "frames 2", "stylus 0 1.5 10 0", "frames 2", "dump sliced",
            "invoke Undo", "frames 2", "dump undone", "invoke Redo", "frames 2", "dump redone"])
        before = self.objects("before")
        halves = self.objects("sliced")
        self.assertEqual(len(halves), 4)
        self.assertTrue(all(h["closed"] for h in halves))
        self.assertAlmostEqual(sum(h["volume"] for h in halves), sum(o["volume"] for o in before), places=3)
        cube_halves = sorted(h["volume"] for h in halves if h["bbox"][1][0] < 0)
        self.assertEqual(len(cube_halves), 2)
        self.assertAlmostEqual(cube_halves[0], 6 * 6 * 2.5, places=3)
        self.assertAlmostEqual(cube_halves[1], 6 * 6 * 3.5, places=3)
        self.assertEqual(sorted(round(o["volume"], 3) for o in self.objects("undone")),
                         sorted(round(o["volume"], 3) for o in before))
        self.assertEqual(len(self.objects("redone")), 4)

    def test_mirror_copies_a_cube_across_the_plane(self):
        scene = self.scene("one", cuboid((-9, -3, -3), (-3, 3, 3)))
        self.run_session(scene, [
            "frames 2", "invoke SelectAll", "invoke MirrorFunction",
            "stylus 0 0 10", "frames 2", "stylus 0 0 10 1", "frames 2",
            "stylus 2 0 10 1 0.2", "frames 2", "stylus 2 0 10 0", "frames 2", "dump mirrored",
            "invoke Undo", "frames 2", "dump undone"])
        objects = self.objects("mirrored")
        self.assertEqual(len(objects), 2)
        copy = objects[1]
        (lo, hi) = copy["bbox"]
        self.assertAlmostEqual(lo[0], 3, places=3)
        self.assertAlmostEqual(hi[0], 9, places=3)
        self.assertAlmostEqual(copy["volume"], 216, places=3)
        self.assertTrue(copy["closed"])
        self.assertEqual(len(self.objects("undone")), 1)

    def test_paint_fill_and_eye_dropper(self):
        scene = self.primitive("cube")  # edge 6 around the origin, 3750 vertices
        red = box_point(0.96, 0.04, 0.04)
        blue = box_point(0.04, 0.04, 0.96)

        def pick(point):
            return ["stylus %r %r %r" % point, "sleep 0.3", "stylus %r %r %r 1" % point, "frames 3",
                    "stylus %r %r %r 0" % point, "frames 2"]

        self.run_session(scene, [
            # The box picks even under the default line tool, which would
            # otherwise take the press for a line.
            "frames 2", "dump white", *pick(red), "dump picked", "invoke PaintFunction",
            # A stroke over the top face (y = 3), the device pressed 1 unit in.
            "stylus 0 8 0", "sleep 0.3", "stylus 0 3 0 0 0.3", "sleep 0.3",
            "stylus 0 2 0 1 0.2", "stylus 1 2 0 1 0.3", "stylus 1 8 0 0 0.2", "frames 2", "dump painted",
            *pick(blue), "dump blue",
            # The eye dropper takes the painted colour back.
            "invoke EyeDropperFunction", "stylus 0.5 8 0", "sleep 0.3", "stylus 0.5 3 0 0 0.3", "sleep 0.3",
            "stylus 0.5 2 0 1 0.2", "frames 3", "stylus 0.5 2 0 0", "frames 2", "dump dropped",
            "stylus 0.5 8 0 0 0.2",
            # A click away from the box fills the selection with it.
            "invoke SelectAll", "invoke ColourFillFunction", "stylus -20 10 0", "sleep 0.3",
            "stylus -20 10 0 1", "frames 3", "stylus -20 10 0 0", "frames 2", "dump filled",
            # Back over the fill, the selection and the stroke.
            "invoke Undo", "invoke Undo", "invoke Undo", "frames 2", "dump undone"])
        white = self.objects("white")[0]["colour"]
        picked = self.load("picked.json")
        self.assertEqual(picked["tool"], "CreateLine")
        self.assertGreater(picked["currentColour"][0], 0.9)
        self.assertLess(picked["currentColour"][1], 0.1)
        self.assertEqual((len(picked["objects"]), picked["undo"]), (1, 0), "no line drawn")
        painted = self.load("painted.json")
        self.assertEqual(painted["undo"], 1, painted["alert"])
        colour = painted["objects"][0]["colour"]
        # Near the stroke the cube turned red; far from it (the bottom and
        # most sides) it kept its colour, so the mean moved only part way.
        self.assertGreater(white[1] - colour[1], 0.05)
        self.assertGreater(colour[1], 0.4)
        self.assertGreater(colour[0], colour[1] + 0.05)
        self.assertLess(self.load("blue.json")["currentColour"][0], 0.1)
        dropped = self.load("dropped.json")
        self.assertGreater(dropped["currentColour"][0], 0.8, "the colour under the stroke")
        self.assertLess(dropped["currentColour"][1], 0.3)
        self.assertEqual(dropped["undo"], 1, "picking makes no history")
        filled = self.objects("filled")[0]["colour"]
        for k in range(3):
            self.assertAlmostEqual(filled[k], dropped["currentColour"][k], places=3)
        undone = self.objects("undone")[0]["colour"]
        for k in range(3):
            self.assertAlmostEqual(undone[k], white[k], places=4)

    def test_reduce_and_subdivide_the_whole_sphere_with_x(self):
        scene = self.scene("ball", sphere((0, 0, 0), 3, 20, 30))
        self.run_session(scene, [
            "frames 2", "dump before", "invoke SelectAll",
            "invoke ReduceMeshFunction", "key x", "frames 2", "dump reduced",
            "invoke SubmeshFunction", "key x", "frames 2", "dump subdivided",
            "invoke Undo", "invoke Undo", "frames 2", "dump undone"])
        (before,) = self.objects("before")
        (reduced,) = self.objects("reduced")
        (subdivided,) = self.objects("subdivided")
        self.assertTrue(reduced["closed"])
        self.assertLess(reduced["faces"], before["faces"])
        self.assertTrue(subdivided["closed"])
        self.assertEqual(subdivided["faces"], 4 * reduced["faces"])
        self.assertAlmostEqual(subdivided["volume"], reduced["volume"], places=3)
        self.assertEqual(self.load("subdivided.json")["tool"], "SubmeshFunction")
        (undone,) = self.objects("undone")
        self.assertEqual((undone["faces"], undone["vertices"]), (before["faces"], before["vertices"]))
        self.assertEqual(reduced["material"], before["material"])


class MouseShaping(WindowSession):
    """Paint and reduce strokes with the system mouse as the stylus, through
    real X pointer events."""

    def test_paint_and_reduce_strokes_under_the_mouse(self):
        # A grey ball of radius 25 root units (5 world units) facing the
        # camera, fine enough for a reduce brush of about a stylus radius.
        scene = write_scene(self, "ball", sphere((0, 0, 0), 25, 60, 80))
        front = (0.0, 0.0, 5.0)  # world: the ball's point nearest the camera

        def stroke(wid, width, height, snapshot):
            x, y = screen_point(front, width, height)
            xdotool("mousemove", "--window", wid, str(x - 30), str(y))
            time.sleep(1.5)  # the simulated hand follows the pointer on a spring
            for _ in range(6):  # press into the surface
                xdotool("click", "4")
            time.sleep(0.8)
            xdotool("mousedown", "1")
            time.sleep(0.3)
            for step in range(1, 13):
                xdotool("mousemove", "--window", wid, str(x - 30 + 5 * step), str(y))
                time.sleep(0.12)
                if step == 6:
                    snapshot()  # the stroke in progress
            time.sleep(0.5)
            xdotool("mouseup", "1")
            time.sleep(0.8)

        before, painted, reduced = self.drive((scene,), [
            ([], lambda *args: None),
            (["invoke PaintFunction"], stroke),
            (["invoke ReduceMeshFunction"], stroke)])
        (ball,) = before["objects"]
        self.assertTrue(ball["closed"])
        # Painted white in places: the mean grey brightens, and one stroke is
        # one history entry.
        (ball_painted,) = painted["objects"]
        self.assertEqual(painted["undo"], 1, painted["alert"])
        self.assertGreater(ball_painted["colour"][0], ball["colour"][0] + 0.001)
        self.assertEqual(ball_painted["faces"], ball["faces"])
        # Reduced under the stroke only: fewer faces, still closed.
        (ball_reduced,) = reduced["objects"]
        self.assertEqual(reduced["undo"], 2, reduced["alert"])
        self.assertLess(ball_reduced["faces"], ball["faces"])
        self.assertGreater(ball_reduced["faces"], ball["faces"] * 0.9, "only the brushed region")
        self.assertTrue(ball_reduced["closed"])
        self.assertEqual(ball_reduced["material"], ball["material"], "the wireframe look ends with the stroke")


if __name__ == "__main__":
    unittest.main()
