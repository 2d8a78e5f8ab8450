"""Start-up as a user and a GL debugger see it: the console text, the window,
the toolkit calls in their order, the fixed rendering state and the first
frame."""

import subprocess
import unittest

import viewer_logs as logs
import viewer_process as process

REGISTRATIONS = ["glutReshapeFunc", "glutDisplayFunc", "glutSpecialFunc", "glutKeyboardFunc", "glutMouseFunc",
                 "glutPassiveMotionFunc"]

FIXED_STATE = [
    "glClearColor(red = 0.03921569, green = 0.7529412, blue = 0.9607843, alpha = 0)",
    "glEnable(cap = GL_DEPTH_TEST)",
    "glDepthFunc(func = GL_LEQUAL)",
    "glShadeModel(mode = GL_SMOOTH)",
    "glCullFace(mode = GL_BACK)",
    "glEnable(cap = GL_CULL_FACE)",
    "glHint(target = GL_PERSPECTIVE_CORRECTION_HINT, mode = GL_NICEST)",
]

# Every toolkit entry point the viewer may import; any other registration
# function (idle, timer, motion with a button held, ...) or a redisplay
# request would show up among the binary's undefined symbols.
TOOLKIT_IMPORTS = {"glutInit", "glutInitDisplayMode", "glutInitWindowPosition", "glutInitWindowSize",
                   "glutCreateWindow", "glutMainLoop", "glutSwapBuffers", *REGISTRATIONS}


class Startup(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with process.XServer() as x, process.Viewer(x) as viewer:
            viewer.start()
            cls.geometry = viewer.geometry()
            cls.status = viewer.quit()
            cls.console = viewer.console()
            cls.probe = viewer.probe_log()
            cls.calls = viewer.trace()

    def test_console_holds_the_thirteen_lines_before_the_window_exists(self):
        self.assertEqual(self.console, process.CONSOLE_TEXT)
        self.assertEqual(len(self.console.splitlines()), 13)
        creation = [line for line in self.probe if line.startswith("glutCreateWindow ")]
        # The probe notes how much of the console had been written when the
        # window was asked for: all of it.
        self.assertEqual(creation, [f"glutCreateWindow title=Vellacor console={len(process.CONSOLE_TEXT.encode())}"])

    def test_window_is_titled_and_placed(self):
        self.assertEqual(self.geometry, {"title": "Vellacor", "x": 50, "y": 50, "width": 512, "height": 512})

    def test_toolkit_calls_come_in_start_up_order(self):
        toolkit = [line for line in self.probe if line.startswith("glut")]
        self.assertEqual(toolkit, [
            f"glutInit argc=1 argv={process.viewer_binary()}",
            "glutInitDisplayMode 18",
            "glutInitWindowPosition 50 50",
            "glutInitWindowSize 512 512",
            f"glutCreateWindow title=Vellacor console={len(process.CONSOLE_TEXT.encode())}",
            *[f"{name} set" for name in REGISTRATIONS],
            "glutMainLoop",
        ])

    def test_no_other_toolkit_entry_is_imported(self):
        symbols = subprocess.run(["nm", "-D", "--undefined-only", process.viewer_binary()], check=True,
                                 capture_output=True, text=True).stdout.split()
        toolkit = {s.split("@")[0] for s in symbols if s.startswith("glut")}
        self.assertEqual(toolkit, TOOLKIT_IMPORTS)

    def test_callbacks_are_registered_after_the_window_then_the_fixed_state_is_set(self):
        names = [c.name for c in self.calls]
        first_frame = names.index("glXSwapBuffers")
        window = names.index("glXMakeContextCurrent")
        self.assertLess(names.index("glXCreateNewContext"), window)
        start_up = self.calls[window:first_frame]
        markers = [i for i, c in enumerate(start_up) if logs.is_marker(c)]
        self.assertEqual([logs.marker_text(start_up[i]) for i in markers], [*REGISTRATIONS, "glutMainLoop"])
        # Nothing but the registrations and the fixed state before the loop,
        # and no GL call at all before the window.
        self.assertEqual(logs.program_calls(self.calls[:window]), [])
        between = start_up[markers[-2] + 1:markers[-1]]
        self.assertEqual([repr(c) for c in logs.program_calls(between)], FIXED_STATE)
        self.assertEqual(logs.program_calls(start_up[:markers[-2]]), [])

    def test_first_frame_follows_the_first_reshape_and_compiles_list_1(self):
        frame = logs.frames_of(self.calls)[0]
        after_loop = frame[len(FIXED_STATE):]
        logs.reshape_calls(after_loop[:6], 512, 512)
        display = logs.DisplayPass(after_loop[6:])
        self.assertEqual(display.before, [])
        self.assertEqual((display.pitch, display.yaw), (0.0, 0.0))
        self.assertEqual(display.translation, (0.0, -6.0, -0.9))
        self.assertEqual(display.scale, (0.4, 3.0, 0.4))
        self.assertTrue(display.compiles)
        # The default terrain: 991 flat runs as quads, 1,118 strips.
        self.assertEqual(display.primitives("GL_QUADS"), 991)
        self.assertEqual(display.primitives("GL_TRIANGLE_STRIP"), 1118)
        self.assertEqual(display.vertex_count(), 13846)

    def test_escape_ends_with_status_0_and_the_program_draws_only_the_first_frame(self):
        self.assertEqual(self.status, 0)
        runs = logs.callbacks(self.probe)
        self.assertEqual([run.event() for run in runs[:2]], ["reshape 512 512", "display"])
        self.assertEqual(runs[1].frames, [1])
        escape = runs[-1]
        self.assertEqual((escape.event(), escape.frames, escape.returned), ("keyboard 27", [], False))
        # Between them only the repaints the X server may ask for: each
        # replays list 1 under the first frame's camera.
        repaints = runs[2:-1]
        self.assertEqual([run.name for run in repaints], ["display"] * len(repaints))
        frames = logs.frames_of(self.calls)
        self.assertEqual(len(frames), 1 + len(repaints))
        for frame in frames[1:]:
            display = logs.DisplayPass(frame)
            self.assertEqual((display.before, display.compiles), ([], False))
            self.assertEqual((display.pitch, display.yaw, display.translation, display.scale),
                             (0.0, 0.0, (0.0, -6.0, -0.9), (0.4, 3.0, 0.4)))

    def test_no_error_is_queried(self):
        self.assertEqual([c for c in self.calls if c.name == "glGetError"], [])
        self.assertNotIn("glGetError", self.probe)


if __name__ == "__main__":
    unittest.main()
