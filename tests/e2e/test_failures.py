"""Runs that go wrong or look odd from outside: bogus arguments, no X
display at all, and too little memory for a larger grid."""

import os
import subprocess
import unittest

import viewer_logs as logs
import viewer_pictures as pictures
import viewer_process as process

# Arguments the toolkit would act on if it saw them, and some nonsense.
BOGUS_ARGUMENTS = ["-display", ":987", "-geometry", "100x100+300+300", "--grid=99", "extra"]

# Address space the capped viewer may take beyond what it holds at the 1024
# grid: enough for drawing and replaying the terrain, far too little for the
# 12 MiB of the 2048 grids (so also for the 768 MiB of the 16384 ones). The
# cap comes only then: a grid accepted under it would need its terrain
# compiled, and a GL driver short of memory while compiling may well crash.
HEADROOM = 1024 * 1024

def first_run(args):
    """Console text, window geometry and first frame's calls of one run."""
    with process.XServer() as x, process.Viewer(x, args=args) as viewer:
        viewer.start()
        geometry = viewer.geometry()
        status = viewer.quit()
        frame = [repr(c) for c in logs.frames_of(viewer.trace())[0]]
        return viewer.console(), geometry, status, frame


def address_space(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmSize")


class Failures(unittest.TestCase):
    def test_arguments_are_ignored(self):
        plain = first_run([])
        bogus = first_run(BOGUS_ARGUMENTS)
        self.assertEqual(bogus[0], process.CONSOLE_TEXT)
        self.assertEqual(bogus[1], plain[1])
        self.assertEqual(bogus[2], 0)
        self.assertEqual(bogus[3], plain[3])

    def test_without_a_display_it_says_so_and_fails_cleanly(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY")}
        # A core dump would be allowed to happen, and would show as a signal.
        result = subprocess.run(["prlimit", "--core=unlimited", process.viewer_binary()], env=env,
                                capture_output=True, text=True, timeout=30)
        self.assertGreater(result.returncode, 0, result.stderr)
        self.assertRegex(result.stderr, r"(?i)display")
        self.assertEqual(result.stdout, process.CONSOLE_TEXT)

    def test_a_refused_grid_leaves_it_running_and_drawing(self):
        # Untraced: the frames of the larger grids would take long to dump.
        # The probe shows each compilation of the terrain.
        with process.XServer() as x, process.Viewer(x, traced=False) as viewer:
            viewer.start()
            viewer.point(250, 400)
            for _ in range(3):
                viewer.key("plus", frames=2)
            cap = address_space(viewer.viewer_pid()) + HEADROOM
            subprocess.run(["prlimit", "--pid", str(viewer.viewer_pid()), f"--as={cap}"], check=True)
            self.assertEqual(viewer.compilations(), 4)
            # Refused, again and again, the grid stays at 1024.
            for _ in range(3):
                viewer.key("plus", frames=2)
                self.assertEqual(viewer.compilations(), 4)
            refused_at = viewer.compilations()
            before = pictures.screenshot(viewer)
            viewer.point(300, 380)
            shot = pictures.settled(viewer, lambda shot: shot != before, "the picture of the turned view")
            status = viewer.quit()
            compiled_after = viewer.compilations()
        self.assertEqual(status, 0)
        # Still drawing: the refused keys and the pointer replay the terrain,
        # and the window shows it.
        self.assertEqual(compiled_after, refused_at)
        self.assertGreater(pictures.share(pictures.region(shot, 0.6, 0.65, 1.0, 1.0), pictures.is_grey), 0.5)

if __name__ == "__main__":
    unittest.main()
