"""What each real input event makes the viewer draw, frame by frame.

One run drives the viewer through pointer moves, arrow keys, every command key
in both cases, keys without a command, mouse clicks and window resizes, and
ends it with Escape. Each event must reach the callbacks listed for it
(freeglut reports Shift to the special-key callback, so a shifted character
first redraws once from there), each of those must draw exactly the frames
listed, and each frame must be the display pass the event calls for: a
replay of list 1, or its one compilation in the frame the command's key
ends with. The X server may expose the window at any time and the toolkit
then repaints it: such a frame must replay list 1 under the camera of the
frame before it, and nothing else.
"""

import unittest

import viewer_logs as logs
import viewer_process as process

LINE = "glPolygonMode(face = GL_FRONT, mode = GL_LINE)"
FILL = "glPolygonMode(face = GL_FRONT, mode = GL_FILL)"

# (label, what to do, the frames its input callbacks draw). A frame is
# "replay" or "compile", optionally after one call of the key itself (the
# polygon mode); SHIFT is the replay that Shift draws through the
# special-key callback before a shifted character.
SHIFT = "shift"
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
    ("clicks", ("click", 1, 3, 2), []),
    ("pointer after clicks", ("point", 310, 380), ["replay"]),
    ("wider", ("resize", 640, 480), []),
    ("pointer after wider", ("point", 205, 300), ["replay"]),
    ("taller", ("resize", 300, 600), []),
    ("pointer after taller", ("point", 200, 300), ["replay"]),
]

# Left, middle and right button, each pressed and released, as the toolkit
# reports them.
CLICKS = ["mouse 0 0", "mouse 0 1", "mouse 2 0", "mouse 2 1", "mouse 1 0", "mouse 1 1"]


def perform(viewer, action, frames):
    """Carries out one step; returns the runs of callbacks it gave and the
    input events it must have reached the viewer as."""
    kind, *args = action
    if kind == "point":
        return viewer.point(*args, frames=len(frames)), ["motion %d %d" % tuple(args)]
    if kind == "key":
        name, code = process.KEY_CALLBACKS[args[0]]
        events = ["special 112"] * frames.count(SHIFT) + [f"{name} {code[0]}"]
        return viewer.key(args[0], frames=len(frames)), events
    if kind == "click":
        return [run for button in args for run in viewer.click(button)], CLICKS
    if kind == "resize":
        return viewer.resize(*args), []
    raise ValueError(kind)


def camera(display):
    return display.pitch, display.yaw, display.translation, display.scale


class Events(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Per step: label, expected frames and events, and how many runs of
        # callbacks it gave (start-up's runs first, Escape's among the last).
        plan = []
        with process.XServer() as x, process.Viewer(x) as viewer:
            viewer.start()
            plan.append(("start", ["compile"], [], viewer.seen))
            for label, action, frames in STEPS:
                runs, events = perform(viewer, action, frames)
                plan.append((label, frames, events, len(runs)))
            cls.status = viewer.quit()
            cls.probe = viewer.probe_log()
            calls = viewer.trace()
        cls.error_queries = [c for c in calls if c.name == "glGetError"]
        cls.passes = [logs.DisplayPass(frame) for frame in logs.frames_of(calls)]
        runs = logs.callbacks(cls.probe)
        cls.steps = []
        for label, frames, events, count in plan:
            cls.steps.append((label, frames, events, runs[:count]))
            runs = runs[count:]
        # Repaints after the last step, and Escape.
        cls.tail = runs

    def runs(self):
        return [run for *_, runs in self.steps for run in runs] + self.tail

    def frame(self, label, index=-1):
        """The display pass of the last (or given) frame an input step's
        handlers drew."""
        if label == "start":
            return self.passes[0]
        runs = next(runs for step, *_, runs in self.steps if step == label)
        drawn = [n for run in runs if run.is_input() for n in run.frames]
        return self.passes[drawn[index] - 1]

    def test_each_event_reaches_its_callbacks_and_they_draw_its_frames(self):
        for label, frames, events, runs in self.steps[1:]:
            with self.subTest(event=label):
                inputs = [run for run in runs if run.is_input()]
                self.assertEqual([run.event() for run in inputs], events)
                self.assertTrue(all(run.returned for run in runs))
                if frames:
                    self.assertEqual([len(run.frames) for run in inputs], [1] * len(inputs))
                else:
                    self.assertEqual([run.frames for run in inputs], [[]] * len(inputs))

    def test_escape_ends_with_status_0_and_draws_nothing(self):
        self.assertEqual(self.status, 0)
        escape = self.tail[-1]
        self.assertEqual((escape.event(), escape.frames, escape.returned), ("keyboard 27", [], False))
        self.assertEqual([run.name for run in self.tail[:-1]], ["display"] * (len(self.tail) - 1))
        # Every frame the probe saw is in the trace.
        self.assertEqual(sum(len(run.frames) for run in self.runs()), len(self.passes))
        self.assertEqual(logs.frame_count(self.probe), len(self.passes))

    def test_each_frame_replays_or_compiles_as_its_event_requires(self):
        sizes = []  # of the reshapes since the last frame
        previous = None
        for run in self.runs():
            if run.name == "reshape":
                self.assertEqual(run.frames, [])
                sizes.append(run.args)
            for number in run.frames:
                display = self.passes[number - 1]
                with self.subTest(frame=number, callback=run.event()):
                    if number == 1:
                        # Start-up's own calls come first; they have their own test.
                        self.assertEqual(run.name, "display")
                        self.assertTrue(display.compiles)
                    else:
                        own = display.before[6 * len(sizes):]
                        for i, size in enumerate(sizes):
                            logs.reshape_calls(display.before[6 * i:6 * i + 6], *size)
                        kind, before = self.expected_frame(run, number)
                        self.assertEqual([repr(c) for c in own], before)
                        self.assertEqual(display.compiles, kind == "compile")
                        if kind == "repaint":
                            self.assertEqual(camera(display), camera(previous))
                sizes = []
                previous = display

    def expected_frame(self, run, number):
        """(kind, the frame's own calls before the camera) for a frame drawn
        by `run`: a repaint, or what the step lists."""
        if run.name == "display":
            return "repaint", []
        for label, frames, events, runs in self.steps:
            drawn = [n for r in runs if r.is_input() for n in r.frames]
            if number in drawn:
                expected = frames[drawn.index(number)]
                expected = "replay" if expected == SHIFT else expected
                return (expected, []) if isinstance(expected, str) else (expected[0], list(expected[1:]))
        raise AssertionError(f"frame {number} of {run} belongs to no step")

    def test_each_resize_reshapes_once_for_its_size(self):
        reshapes = [run.event() for run in self.runs() if run.name == "reshape"]
        self.assertEqual(reshapes, ["reshape 512 512", "reshape 640 480", "reshape 300 600"])

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
