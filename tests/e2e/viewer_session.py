"""Runs the real viewer in a private X server and watches it from outside.

Every end-to-end test starts its own Xvfb (on a display number the server
picks itself, so tests can run side by side), launches the built `vellacor`
in it under `apitrace trace` with the toolkit probe preloaded, drives it with
real input events through `xdotool`, and reads back what happened:

- the console text, from the file its standard output goes to;
- the window, through `xwininfo`, and its pixels, through ImageMagick's
  `import`;
- the toolkit calls, a line per finished frame, per pointer motion, per
  compiled display list and per error query, from the probe's log;
- every GL and GLX call, from `apitrace dump` once the viewer has ended.

Waiting is done by polling for a condition (a window, a frame count, a pixel
pattern) with a deadline, never by fixed sleeps.

Paths come from the environment that CTest sets: VELLACOR_BINARY (the viewer)
and VELLACOR_PROBE (the preloadable probe library).
"""

import math
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

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

SKY = (10, 192, 245)

# Generous: a frame of the largest grids, or a loaded machine running the
# suite in parallel with a build, can take seconds.
DEFAULT_TIMEOUT = 60.0


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
    """One run of the viewer inside an XServer, in a scratch directory."""

    def __init__(self, xserver, args=(), traced=True):
        self.x = xserver
        self.workdir = tempfile.mkdtemp(prefix="vellacor-e2e-")
        self.stdout_path = os.path.join(self.workdir, "stdout.txt")
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")
        self.probe_path = os.path.join(self.workdir, "probe.log")
        self.trace_path = os.path.join(self.workdir, "viewer.trace")
        self.traced = traced
        env = xserver.env()
        env["LD_PRELOAD"] = probe_library()
        env["VELLACOR_PROBE_LOG"] = self.probe_path
        command = [viewer_binary(), *args]
        if traced:
            command = ["apitrace", "trace", "-o", self.trace_path, *command]
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(command, env=env, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                            cwd=self.workdir)
        self.window = None
        self.frames_expected = 0

    # --- what the viewer shows -------------------------------------------

    def console(self):
        with open(self.stdout_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def errors(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def probe_log(self):
        try:
            with open(self.probe_path, encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def frames(self):
        return sum(1 for line in self.probe_log() if line.startswith("frame "))

    def compilations(self):
        """How many times the terrain list has been compiled so far."""
        return sum(1 for line in self.probe_log() if line.startswith("glNewList "))

    def motions(self):
        return [line for line in self.probe_log() if line.startswith("motion ")]

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

    def screenshot(self):
        """The window's pixels as (width, height, rows of (r, g, b))."""
        data = subprocess.run(["import", "-silent", "-window", self.window, "-depth", "8", "ppm:-"],
                              env=self.x.env(), check=True, capture_output=True, timeout=60).stdout
        return parse_ppm(data)

    def save_png(self, path):
        subprocess.run(["import", "-silent", "-window", self.window, "-depth", "8", "png:" + path],
                       env=self.x.env(), check=True, capture_output=True, timeout=60)

    # --- driving it --------------------------------------------------------

    def start(self):
        """Waits for the window and its first frame."""
        self.find_window()
        self.expect_frames(1)
        return self

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

    def expect_frames(self, count, timeout=DEFAULT_TIMEOUT):
        """Waits until `count` more frames have been drawn, and fails on more."""
        self.frames_expected += count
        def reached():
            self.check_running()
            seen = self.frames()
            if seen > self.frames_expected:
                raise AssertionError(f"{seen} frames drawn, expected {self.frames_expected}")
            return seen == self.frames_expected
        wait_for(reached, f"frame {self.frames_expected}", timeout)

    def point(self, x, y, frames=1):
        self.x.xdotool("mousemove", "--window", self.window, x, y)
        self.expect_frames(frames)

    def key(self, keysym, frames=1, timeout=DEFAULT_TIMEOUT):
        self.x.xdotool("key", keysym)
        self.expect_frames(frames, timeout)

    def resize(self, width, height, sync_point):
        """Resizes the window and returns how many frames that gave.

        The X server may expose the window apart from its new size, and the
        toolkit then draws once more; a pointer move to `sync_point` after it
        marks where the resize's frames end, and gives one frame of its own."""
        self.x.xdotool("windowsize", self.window, width, height)
        before = self.frames_expected
        self.x.xdotool("mousemove", "--window", self.window, *sync_point)
        motion = "motion %d %d" % sync_point

        def synced():
            self.check_running()
            log = self.probe_log()
            if motion not in log:
                return None
            after = log[log.index(motion):]
            if not any(line.startswith("frame ") for line in after):
                return None
            return sum(1 for line in log[:log.index(motion)] if line.startswith("frame "))
        seen = wait_for(synced, f"the pointer move to {sync_point} after a resize")
        self.frames_expected = seen + 1
        return seen - before

    def quit(self, timeout=DEFAULT_TIMEOUT):
        """Presses Escape and returns the exit status."""
        self.x.xdotool("key", "Escape")
        return self.wait_for_exit(timeout)

    def wait_for_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the viewer did not end")

    def close(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
        if os.environ.get("VELLACOR_E2E_KEEP"):
            print("kept", self.workdir)
        else:
            shutil.rmtree(self.workdir, ignore_errors=True)

    # --- the GL calls ------------------------------------------------------

    def trace(self):
        """Every call of the finished run, as Calls, in order."""
        dump = subprocess.run(["apitrace", "dump", "--color=never", "--multiline=no", self.trace_path],
                              check=True, capture_output=True, text=True, timeout=300).stdout
        return parse_trace(dump)


# --- pixels -----------------------------------------------------------------

def parse_ppm(data):
    """Decodes a binary 8-bit PPM (P6) into (width, height, rows of pixels)."""
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        start = position
        while not data[position:position + 1].isspace():
            position += 1
        fields.append(data[start:position])
    position += 1  # the single whitespace after the maximum value
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise AssertionError(f"unexpected image format {fields}")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[position:position + 3 * width * height]
    rows = [[tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]
    return width, height, rows


def is_grey(pixel):
    return pixel[0] == pixel[1] == pixel[2]


def region(image, left, top, right, bottom):
    """The pixels of a rectangle given as fractions of the image."""
    width, height, rows = image
    return [p for row in rows[int(top * height):int(bottom * height)]
            for p in row[int(left * width):int(right * width)]]


def share(pixels, predicate):
    return sum(1 for p in pixels if predicate(p)) / max(1, len(pixels))


# --- calls ------------------------------------------------------------------

class Call:
    __slots__ = ("number", "name", "argtext", "fake")

    def __init__(self, number, name, argtext, fake):
        self.number, self.name, self.argtext, self.fake = number, name, argtext, fake

    def args(self):
        """The arguments as a list of value texts, names dropped."""
        return [value for _, value in split_arguments(self.argtext)]

    def arg(self, name):
        return dict(split_arguments(self.argtext))[name]

    def __repr__(self):
        return f"{self.name}({self.argtext})"


CALL_LINE = re.compile(r"^(\d+) (\w+)\((.*)\)(?: = .*?)?( // fake)?$")


def parse_trace(dump):
    calls = []
    for line in dump.splitlines():
        match = CALL_LINE.match(line)
        if match:
            calls.append(Call(int(match.group(1)), match.group(2), match.group(3), bool(match.group(4))))
    return calls


def split_arguments(text):
    """Splits 'a = 1, b = {2, 3}, c = "x, y"' into [(a, 1), (b, {2, 3}), (c, "x, y")]."""
    parts, depth, quoted, start = [], 0, False, 0
    for i, ch in enumerate(text):
        if ch == '"' and (i == 0 or text[i - 1] != "\\"):
            quoted = not quoted
        elif not quoted and ch in "{[(":
            depth += 1
        elif not quoted and ch in "}])":
            depth -= 1
        elif not quoted and depth == 0 and text.startswith(", ", i):
            parts.append(text[start:i])
            start = i + 2
    if text[start:]:
        parts.append(text[start:])
    pairs = []
    for part in parts:
        name, _, value = part.partition(" = ")
        pairs.append((name, value))
    return pairs


def is_marker(call):
    return call.name == "glStringMarkerGREMEDY"


def marker_text(call):
    return call.arg("string").strip('"')


def program_calls(calls):
    """The GL calls the program and its toolkit make: no window-system calls,
    no probe markers and none of apitrace's own reconstructed calls."""
    return [c for c in calls if not c.fake and not is_marker(c) and not c.name.startswith("glX")]


def frames_of(calls):
    """Splits the calls at every buffer swap: one list of calls per frame,
    each holding what happened since the previous swap. Calls after the last
    swap are dropped."""
    frames, current = [], []
    for call in calls:
        if call.name == "glXSwapBuffers":
            frames.append(program_calls(current))
            current = []
        else:
            current.append(call)
    return frames


GEOMETRY = {"glBegin", "glEnd", "glColor3f", "glVertex3f"}


class DisplayPass:
    """One frame's calls, taken apart the way the display pass makes them:
    whatever came before it (reshape, polygon mode), the camera, and either
    a replay of list 1 or its compilation."""

    def __init__(self, calls):
        names = [c.name for c in calls]
        if "glClear" not in names:
            raise AssertionError(f"no display pass in frame: {calls[:12]}")
        start = names.index("glClear")
        self.before = calls[:start]
        camera = calls[start:start + 6]
        expected = ["glClear", "glLoadIdentity", "glRotatef", "glRotatef", "glTranslatef", "glScalef"]
        if [c.name for c in camera] != expected:
            raise AssertionError(f"display pass begins {camera}, expected {expected}")
        if camera[0].arg("mask") != "GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT":
            raise AssertionError(f"clear {camera[0]}")
        if camera[2].args()[1:] != ["1", "0", "0"] or camera[3].args()[1:] != ["0", "1", "0"]:
            raise AssertionError(f"rotations {camera[2]} {camera[3]}: pitch about x, then yaw about y")
        self.pitch = float(camera[2].arg("angle"))
        self.yaw = float(camera[3].arg("angle"))
        self.translation = tuple(float(v) for v in camera[4].args())
        self.scale = tuple(float(v) for v in camera[5].args())
        rest = calls[start + 6:]
        # glutSwapBuffers flushes before it swaps: the toolkit's call, last.
        if not rest or rest[-1].name != "glFlush":
            raise AssertionError(f"frame does not end with the toolkit's flush: {rest[-3:]}")
        body = rest[:-1]
        if [c.name for c in body] == ["glCallList"]:
            if body[0].arg("list") != "1":
                raise AssertionError(f"replays {body[0]}")
            self.compiles = False
            self.geometry = []
        else:
            head = [repr(c) for c in body[:2]]
            if head != ["glDeleteLists(list = 1, range = 1)", "glNewList(list = 1, mode = GL_COMPILE_AND_EXECUTE)"] \
                    or body[-1].name != "glEndList":
                raise AssertionError(f"neither a replay of list 1 nor its compilation: {body[:3]} ... {body[-2:]}")
            self.compiles = True
            self.geometry = body[2:-1]
            check_geometry(self.geometry)

    def vertex_count(self):
        return sum(1 for c in self.geometry if c.name == "glVertex3f")

    def primitives(self, mode):
        return sum(1 for c in self.geometry if c.name == "glBegin" and c.arg("mode") == mode)


def check_geometry(calls):
    """Only immediate-mode primitives, every glBegin ended before the next."""
    open_mode = None
    for call in calls:
        if call.name not in GEOMETRY:
            raise AssertionError(f"{call} inside the terrain list")
        if call.name == "glBegin":
            if open_mode is not None:
                raise AssertionError(f"{call} inside an open {open_mode}")
            open_mode = call.arg("mode")
            if open_mode not in ("GL_TRIANGLE_STRIP", "GL_QUADS"):
                raise AssertionError(f"{call}")
        elif call.name == "glEnd":
            if open_mode is None:
                raise AssertionError("glEnd without glBegin")
            open_mode = None
        elif open_mode is None:
            raise AssertionError(f"{call} outside glBegin/glEnd")
    if open_mode is not None:
        raise AssertionError(f"{open_mode} never ended")


def perspective_of(call):
    """(fovy in degrees, aspect, near, far) of the matrix that gluPerspective
    multiplies on, read back from its glMultMatrixd."""
    if call.name != "glMultMatrixd":
        raise AssertionError(f"{call} is no perspective matrix")
    m = [float(v) for v in call.arg("m").strip("{}").split(", ")]
    if any(m[i] != 0 for i in (1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15)) or m[11] != -1:
        raise AssertionError(f"{call} is no perspective matrix")
    f, a, b = m[5], m[10], m[14]
    return math.degrees(2 * math.atan(1 / f)), f / m[0], b / (a - 1), b / (a + 1)


def reshape_size(calls):
    """The window size a reshape handler's calls were made for."""
    match = re.fullmatch(r"glViewport\(x = 0, y = 0, width = (\d+), height = (\d+)\)", repr(calls[0]))
    if not match:
        raise AssertionError(f"{calls[0]} is no reshape viewport")
    return int(match.group(1)), int(match.group(2))


def reshape_calls(calls, width, height):
    """Checks that `calls` are exactly the reshape handler's for a window of
    width x height: viewport, then a 60-degree projection of that aspect."""
    expected = [f"glViewport(x = 0, y = 0, width = {width}, height = {height})",
                "glMatrixMode(mode = GL_PROJECTION)", "glLoadIdentity()", None,
                "glMatrixMode(mode = GL_MODELVIEW)", "glLoadIdentity()"]
    got = [repr(c) for c in calls]
    if len(got) != len(expected) or any(e is not None and e != g for e, g in zip(expected, got)):
        raise AssertionError(f"reshape calls {got}, expected {expected}")
    fovy, aspect, near, far = perspective_of(calls[3])
    want = (60.0, width / height, 0.01, 30.0)
    if not all(math.isclose(v, w, rel_tol=1e-12) for v, w in zip((fovy, aspect, near, far), want)):
        raise AssertionError(f"projection {fovy, aspect, near, far}, expected {want}")
