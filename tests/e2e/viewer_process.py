"""The X server and the viewer process of an end-to-end test.

Every test starts its own Xvfb (on a display number the server picks itself,
so tests can run side by side) and launches the built `vellacor` in it, under
`apitrace trace` unless told otherwise, with the toolkit probe preloaded. It
drives the viewer with real input events through `xdotool` and reads the
console text from the files its standard output and error go to.

Each step waits for its marker in the probe's log, the return of the
callback its input causes, by polling with a deadline: never by fixed sleeps
and never by counting frames, since the X server may expose the window (and
the toolkit repaint it) as often as it likes. A deadline that passes fails
the test.

Paths come from the environment that CTest sets: VELLACOR_BINARY (the viewer)
and VELLACOR_PROBE (the preloadable probe library).

    with XServer() as x, Viewer(x) as viewer:
        viewer.start()
        viewer.key("m")
        status = viewer.quit()
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import viewer_logs as logs

CONSOLE_TEXT = (
    "Vellacor\nProgrammed by Tarnesk\n\n"
    "Usage:\nArrow keys move the viewpoint\n"
    "Use the mouse to rotate the viewpoint\n"
    "'+'/'-' increases/decreases the polygon resolution by 2x\n"
    "'w' switches between wireframe and solid polygons\n"
    "'i' inverts the height of the fractal\n"
    "'c' inverts the colors\n"
    "'m' cycles though the various shading modes\n"
    "'1'/'2' increase/decrease the maximum number of iterations used for calculating the fractal\n"
    "Escape exits the program\n"
)

# Generous: a frame of the largest grids, or a loaded machine running the
# suite in parallel with a build, can take seconds.
DEFAULT_TIMEOUT = 60.0

# The callback and code that xdotool's key names reach the viewer with.
KEY_CALLBACKS = {
    **{c: ("keyboard", (ord(c),)) for c in "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"},
    "plus": ("keyboard", (ord("+"),)), "equal": ("keyboard", (ord("="),)), "minus": ("keyboard", (ord("-"),)),
    "underscore": ("keyboard", (ord("_"),)), "exclam": ("keyboard", (ord("!"),)), "at": ("keyboard", (ord("@"),)),
    "space": ("keyboard", (ord(" "),)), "Escape": ("keyboard", (27,)),
    "F1": ("special", (1,)), "Left": ("special", (100,)), "Up": ("special", (101,)), "Right": ("special", (102,)),
    "Down": ("special", (103,)), "Page_Up": ("special", (104,)), "Shift_L": ("special", (112,)),
}

# X's mouse buttons 1, 2 and 3 as the toolkit numbers them; GLUT_UP.
GLUT_BUTTONS = {1: 0, 2: 1, 3: 2}
GLUT_UP = 1


def viewer_binary():
    return os.environ["VELLACOR_BINARY"]


def probe_library():
    return os.environ["VELLACOR_PROBE"]


def wait_for(condition, what, timeout=DEFAULT_TIMEOUT, interval=0.02):
    """Polls `condition` until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class XServer:
    """A private Xvfb; use as a context manager."""

    def __init__(self, width=1024, height=768):
        self.size = (width, height)
        self.process = None
        self.display = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        # -ardelay: no key autorepeat, however long a loaded machine holds a
        # key between xdotool's press and release.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{self.size[0]}x{self.size[1]}x24",
             "-nolisten", "tcp", "-noreset", "-ardelay", "600000"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            self.process.kill()
            self.process.wait()
            raise AssertionError("Xvfb did not start")
        self.display = ":" + number
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def run(self, *command, check=True):
        return subprocess.run(command, env=self.env(), check=check, capture_output=True, text=True, timeout=60)

    def xdotool(self, *args):
        self.run("xdotool", *[str(a) for a in args])


class Viewer:
    """One run of the viewer inside an XServer, in a scratch directory; use
    as a context manager, which ends the viewer if it still runs and removes
    the directory (kept when VELLACOR_E2E_KEEP is set)."""

    def __init__(self, xserver, args=(), traced=True):
        self.x = xserver
        self.args = list(args)
        self.traced = traced
        self.workdir = None
        self.process = None
        self.window = None
        self.seen = 0  # runs of callbacks that earlier steps waited for
        self.displayed = False

    def __enter__(self):
        self.workdir = tempfile.mkdtemp(prefix="vellacor-e2e-")
        self.stdout_path = os.path.join(self.workdir, "stdout.txt")
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")
        self.probe_path = os.path.join(self.workdir, "probe.log")
        self.trace_path = os.path.join(self.workdir, "viewer.trace")
        env = self.x.env()
        env["LD_PRELOAD"] = probe_library()
        env["VELLACOR_PROBE_LOG"] = self.probe_path
        command = [viewer_binary(), *self.args]
        if self.traced:
            command = ["apitrace", "trace", "-o", self.trace_path, *command]
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(command, env=env, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                            cwd=self.workdir)
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            # The viewer first: killed alone, apitrace would leave it running.
            if self.traced:
                try:
                    os.kill(self.viewer_pid(), signal.SIGKILL)
                except (AssertionError, OSError):
                    pass
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
        if os.environ.get("VELLACOR_E2E_KEEP"):
            print("kept", self.workdir)
        else:
            shutil.rmtree(self.workdir, ignore_errors=True)

    # --- what the viewer shows -------------------------------------------

    def console(self):
        with open(self.stdout_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def errors(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def probe_log(self):
        return logs.read_probe(self.probe_path)

    def frames(self):
        return logs.frame_count(self.probe_log())

    def compilations(self):
        """How many times the terrain list has been compiled so far."""
        return logs.compilations(self.probe_log())

    def trace(self):
        """Every GL call of the finished run, as Calls, in order."""
        return logs.read_trace(self.trace_path)

    def find_window(self):
        def search():
            self.check_running()
            found = self.x.run("xdotool", "search", "--name", "^Vellacor$", check=False).stdout.split()
            return found[0] if found else None
        self.window = wait_for(search, "the viewer's window")
        return self.window

    def geometry(self):
        info = self.x.run("xwininfo", "-id", self.window).stdout
        def field(label):
            return int(re.search(label + r":\s+(-?\d+)", info).group(1))
        title = re.search(r'Window id: \S+ "(.*)"', info).group(1)
        return {"title": title, "x": field("Absolute upper-left X"), "y": field("Absolute upper-left Y"),
                "width": field("Width"), "height": field("Height")}

    def viewer_pid(self):
        """The viewer's own process id: under apitrace, that of its child."""
        if not self.traced:
            return self.process.pid
        with open(f"/proc/{self.process.pid}/task/{self.process.pid}/children") as f:
            children = f.read().split()
        if len(children) != 1:
            raise AssertionError(f"apitrace runs {children}, expected one viewer")
        return int(children[0])

    def check_running(self):
        if self.process.poll() is not None:
            raise AssertionError(f"the viewer ended with status {self.process.returncode}: {self.errors()}")

    # --- driving it --------------------------------------------------------
    #
    # Each step sends one input with xdotool and then waits for its marker in
    # the probe's log: the return of the callback that the input causes
    # (the key's keyboard or special callback, the motion to the position
    # moved to, the reshape to the size asked for). X delivers events in
    # order, so once that callback has returned, every callback of the step
    # has run. How often the X server exposes the window does not matter:
    # its repaints are display callbacks, told apart from the handlers'
    # frames, and they must only replay the terrain.

    def start(self):
        """Waits for the window and its first frame."""
        self.find_window()
        self._await(lambda run: run.name == "display" and run.frames, "the first frame")
        return self

    def point(self, x, y, frames=1):
        """Moves the pointer to (x, y) in the window; returns the step's
        callbacks. Fails unless the motion drew `frames` frames."""
        self.x.xdotool("mousemove", "--window", self.window, x, y)
        return self._step(("motion", (x, y)), frames)

    def key(self, keysym, frames=1, timeout=DEFAULT_TIMEOUT):
        """Presses and releases a key; returns the step's callbacks. Fails
        unless the input callbacks drew `frames` frames in all (a shifted
        key also reaches the special-key callback, for Shift)."""
        self.x.xdotool("key", keysym)
        return self._step(KEY_CALLBACKS[keysym], frames, timeout)

    def click(self, button):
        """Presses and releases a mouse button (X numbering); returns the
        step's callbacks. Fails if the mouse callback drew anything."""
        self.x.xdotool("click", button)
        return self._step(("mouse", (GLUT_BUTTONS[button], GLUT_UP)), 0)

    def resize(self, width, height):
        """Resizes the window; returns the step's callbacks, up to the first
        frame drawn after the reshape to the new size."""
        self.x.xdotool("windowsize", self.window, width, height)
        steps = self._await(lambda run: run.event() == f"reshape {width} {height}", f"the reshape to {width}x{height}")
        return steps + self._await(lambda run: run.frames, f"a frame after the reshape to {width}x{height}")

    def quit(self, timeout=DEFAULT_TIMEOUT):
        """Presses Escape and returns the exit status."""
        self.x.xdotool("key", "Escape")
        status = self.wait_for_exit(timeout)
        escape = [run for run in logs.callbacks(self.probe_log())[self.seen:] if run.event() == "keyboard 27"]
        if not escape:
            raise AssertionError(f"the viewer ended with status {status} before Escape reached it")
        return status

    def _step(self, event, frames, timeout=DEFAULT_TIMEOUT):
        name, args = event
        wanted = logs.Callback(name, args).event()
        runs = self._await(lambda run: run.event() == wanted, f"the return of '{wanted}'", timeout)
        drawn = sum(len(run.frames) for run in runs if run.is_input())
        if drawn != frames:
            raise AssertionError(f"{[run for run in runs if run.is_input()]} drew {drawn} frames, expected {frames}")
        return runs

    def _await(self, marker, what, timeout=DEFAULT_TIMEOUT):
        """Waits for a returned run of a callback, later than every earlier
        step's, for which `marker` holds; returns the runs since the last
        step up to it. Repaints among them must only replay the terrain."""
        def found():
            self.check_running()
            runs = logs.callbacks(self.probe_log())
            for index in range(self.seen, len(runs)):
                if runs[index].returned and marker(runs[index]):
                    return runs[self.seen:index + 1]
            return None
        runs = wait_for(found, what, timeout)
        self.seen += len(runs)
        for run in runs:
            if run.name != "display":
                continue
            # The first display compiles the terrain that start-up computed.
            if len(run.frames) != 1 or (run.compiled and self.displayed):
                raise AssertionError(f"a repaint drew {len(run.frames)} frames, compiling {run.compiled} lists")
            self.displayed = True
        return runs

    def wait_for_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the viewer did not end")
