"""What each real input event makes the viewer draw, frame by frame.

One run drives the viewer through pointer moves, arrow keys, every command key
in both cases, keys without a command, mouse clicks and window resizes, and
ends it with Escape. Each event must give exactly the frames listed for it
(freeglut reports Shift to the special-key callback, so a shifted character
first redraws once from there), and each frame must be the display pass that
the event calls for: a replay of list 1, or its one compilation in the frame
the command's key ends with.
"""

import unittest

import viewer_logs as logs
import viewer_process as process

LINE = "glPolygonMode(face = GL_FRONT, mode = GL_LINE)"
FILL = "glPolygonMode(face = GL_FRONT, mode = GL_FILL)"

# (label, what to do, the frames it gives). A frame is "replay" or
# "compile", optionally after one call of the key itself (the polygon mode),
# or ("reshape", width, height) for a replay after the reshape handler.
SHIFT = "replay"
STEPS = [
    ("tilt down", ("point", 250, 400), ["replay"]),
    ("turn right", ("point", 300, 380), ["replay"]),
    ("Up", ("key", "Up"), ["replay"]),
    ("Down", ("key", "Down"), ["replay"]),
    ("Left", ("key", "Left"), ["replay"]),
    ("Right", ("key", "Right"), ["replay"]),
    ("Page_Up", ("key", "Page_Up"), ["replay"]),
    ("F1", ("key", "F1"), ["replay"]),
    ("w", ("key", "w"), [("replay", LINE)]),
    ("W", ("key", "W"), [SHIFT, ("replay", FILL)]),
    ("m", ("key", "m"), ["compile"]),
    ("M", ("key", "M"), [SHIFT, "compile"]),
    ("c", ("key", "c"), ["compile"]),
    ("C", ("key", "C"), [SHIFT, "compile"]),
    ("i", ("key", "i"), ["compile"]),
    ("I", ("key", "I"), [SHIFT, "compile"]),
    ("+", ("key", "plus"), [SHIFT, "compile"]),
    ("=", ("key", "equal"), ["compile"]),
    ("-", ("key", "minus"), ["compile"]),
    ("_", ("key", "underscore"), [SHIFT, "compile"]),
    ("- at 128", ("key", "minus"), ["replay"]),
    ("1", ("key", "1"), ["compile"]),
    ("2", ("key", "2"), ["compile"]),
    ("2 at 25", ("key", "2"), ["replay"]),
    ("x", ("key", "x"), ["replay"]),
    ("space", ("key", "space"), ["replay"]),
    ("!", ("key", "exclam"), [SHIFT, "replay"]),
    ("@", ("key", "at"), [SHIFT, "replay"]),
    ("clicks", ("click",), []),
    ("pointer after clicks", ("point", 310, 380), ["replay"]),
    ("wider", ("resize", 640, 480, (205, 300)), None),
    ("taller", ("resize", 300, 600, (200, 300)), None),
]


def perform(viewer, label, action, frames):
    """Carries out one step; returns the labels and expected kinds of the
    frames it gave."""
    kind, *args = action
    if kind == "point":
        viewer.point(*args, frames=len(frames))
    elif kind == "key":
        viewer.key(args[0], frames=len(frames))
    elif kind == "resize":
        width, height, sync_point = args
        drawn = viewer.resize(width, height, sync_point)
        # The reshape's own frame, perhaps a redraw for an exposure, then the
        # pointer move's frame.
        if not 1 <= drawn <= 3:
            raise AssertionError(f"a resize gave {drawn} frames")
        return ([label] * drawn + [label + ", pointer"], [("resize", width, height)] * drawn + ["replay"])
    elif kind == "click":
        for button in (1, 3, 2):
            viewer.x.xdotool("click", button)
        viewer.expect_frames(0)
    return [label] * len(frames), list(frames)


class Events(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.labels = ["start"]
        cls.expected = ["compile"]
        with process.XServer() as x, process.Viewer(x) as viewer:
            viewer.start()
            for label, action, frames in STEPS:
                labels, expected = perform(viewer, label, action, frames)
                cls.labels += labels
                cls.expected += expected
            cls.frames_before_escape = viewer.frames()
            cls.status = viewer.quit()
            cls.probe = viewer.probe_log()
            calls = viewer.trace()
            cls.error_queries = [c for c in calls if c.name == "glGetError"]
            cls.frames = logs.frames_of(calls)
        cls.passes = [logs.DisplayPass(frame) for frame in cls.frames]

    def frame(self, label, index=-1):
        """The display pass of the last (or given) frame of a step."""
        return [p for p, l in zip(self.passes, self.labels) if l == label][index]

    def test_every_event_gives_its_frames_and_escape_none(self):
        self.assertEqual(self.status, 0)
        self.assertEqual(len(self.frames), len(self.expected))
        self.assertEqual(self.frames_before_escape, len(self.expected))

    def test_each_frame_replays_or_compiles_as_its_event_requires(self):
        for number, (display, expected, label) in enumerate(zip(self.passes, self.expected, self.labels), 1):
            with self.subTest(frame=number, event=label):
                kind, before = (expected, None) if isinstance(expected, str) else (expected[0], expected[1:])
                if label == "start":
                    # Start-up's own calls come first; they have their own test.
                    self.assertTrue(display.compiles)
                elif kind == "resize":
                    # Replays, at least one after the reshape handler, and
                    # the last of them for the size asked for.
                    self.assertFalse(display.compiles)
                    if display.before:
                        logs.reshape_calls(display.before, *logs.reshape_size(display.before))
                else:
                    self.assertEqual([repr(c) for c in display.before], list(before or []))
                    self.assertEqual(display.compiles, kind == "compile")

    def test_the_projection_follows_each_resize(self):
        for label, size in (("wider", (640, 480)), ("taller", (300, 600))):
            with self.subTest(label):
                reshapes = [logs.reshape_size(p.before) for p, l in zip(self.passes, self.labels)
                            if l == label and p.before]
                self.assertGreaterEqual(len(reshapes), 1)
                self.assertEqual(reshapes[-1], size)

    def test_pointer_turns_and_arrows_move_the_camera(self):
        self.assertEqual((self.frame("tilt down").pitch, self.frame("tilt down").yaw), (75.0, 0.0))
        self.assertEqual((self.frame("turn right").pitch, self.frame("turn right").yaw), (65.0, 25.0))
        previous = self.frame("turn right").translation
        for arrow in ("Up", "Down", "Left", "Right"):
            moved = self.frame(arrow).translation
            self.assertNotEqual(moved, previous, arrow)
            previous = moved
        self.assertEqual(self.frame("Page_Up").translation, previous)
        self.assertEqual(self.frame("F1").translation, previous)

    def test_grid_keys_change_the_scale(self):
        scales = {label: self.frame(label).scale for label in ("start", "+", "=", "-", "_", "- at 128")}
        self.assertEqual(scales, {"start": (0.4, 3.0, 0.4), "+": (0.2, 3.0, 0.2), "=": (0.1, 3.0, 0.1),
                                  "-": (0.2, 3.0, 0.2), "_": (0.4, 3.0, 0.4), "- at 128": (0.4, 3.0, 0.4)})

    def test_every_compilation_draws_a_new_terrain_and_undone_changes_restore_it(self):
        geometry = {label: [repr(c) for c in self.frame(label).geometry]
                    for label in ("start", "m", "M", "c", "C", "i", "I", "+", "=", "-", "_", "1", "2")}
        order = list(geometry)
        for earlier, later in zip(order, order[1:]):
            self.assertNotEqual(geometry[earlier], geometry[later], f"{later} after {earlier}")
        # 'C' undoes 'c', 'I' undoes 'i', '_' the grid keys and '2' the '1':
        # the same terrain, call for call.
        self.assertEqual(geometry["C"], geometry["M"])
        self.assertEqual(geometry["I"], geometry["C"])
        self.assertEqual(geometry["_"], geometry["I"])
        self.assertEqual(geometry["2"], geometry["I"])

    def test_nothing_posts_a_redisplay_or_queries_errors(self):
        self.assertNotIn("glutPostRedisplay", self.probe)
        self.assertEqual(self.error_queries, [])
        self.assertNotIn("glGetError", self.probe)


if __name__ == "__main__":
    unittest.main()
