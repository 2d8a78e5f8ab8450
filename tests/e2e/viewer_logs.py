"""The probe's log and the GL trace of a viewer run, taken apart.

The probe (glut_probe.cpp, preloaded into the viewer) writes a line per
toolkit call the viewer makes, per entry into and return from each of its
callbacks, per finished frame, per compiled display list and per error
query; `callbacks` reads it as the runs of the viewer's callbacks, each with
the frames it drew. `apitrace dump` of the finished run gives every GL and
GLX call; `frames_of` splits them at the buffer swaps (frame n of the probe
is the n-th swap) and `DisplayPass` reads one frame the way the display pass
makes it.
"""

import math
import re
import subprocess


# --- the probe's log ----------------------------------------------------------

def read_probe(path):
    """The probe's lines so far; none before the viewer has written any."""
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def frame_count(lines):
    return sum(1 for line in lines if line.startswith("frame "))


def compilations(lines):
    """How many times the terrain list has been compiled."""
    return sum(1 for line in lines if line.startswith("glNewList "))


# The callbacks the viewer registers, as the probe names them. The toolkit
# calls the first two for the window (and as often as the X server exposes
# it); the others for input events, one call per event.
WINDOW_CALLBACKS = ("reshape", "display")
INPUT_CALLBACKS = ("special", "keyboard", "mouse", "motion")


class Callback:
    """One run of a viewer callback: its name and the integers that identify
    the event, the frames it drew (numbered from 1 as the probe counts
    them), how often it compiled a display list, and whether it returned."""

    __slots__ = ("name", "args", "frames", "compiled", "returned")

    def __init__(self, name, args):
        self.name, self.args = name, tuple(args)
        self.frames, self.compiled, self.returned = [], 0, False

    def is_input(self):
        return self.name in INPUT_CALLBACKS

    def event(self):
        """As the probe logged its entry: "keyboard 109", "display", ..."""
        return " ".join([self.name, *map(str, self.args)])

    def __repr__(self):
        return f"<{self.event()}: frames {self.frames}{'' if self.returned else ', running'}>"


def callbacks(lines):
    """The runs of the viewer's callbacks, in order. The toolkit runs one at
    a time, so every frame and compilation belongs to the run logged last
    before it."""
    runs = []
    for line in lines:
        word, *rest = line.split()
        if word in WINDOW_CALLBACKS or word in INPUT_CALLBACKS:
            runs.append(Callback(word, map(int, rest)))
        elif word == "return":
            if not runs or runs[-1].name != rest[0] or runs[-1].returned:
                raise AssertionError(f"probe log: '{line}' after {runs[-1:]}")
            runs[-1].returned = True
        elif word in ("frame", "glNewList"):
            if not runs or runs[-1].returned:
                raise AssertionError(f"probe log: '{line}' outside every callback")
            if word == "frame":
                runs[-1].frames.append(int(rest[0]))
            else:
                runs[-1].compiled += 1
    return runs


# --- the GL trace -------------------------------------------------------------

def read_trace(path):
    """Every call of a finished run's trace, as Calls, in order."""
    dump = subprocess.run(["apitrace", "dump", "--color=never", "--multiline=no", path],
                          check=True, capture_output=True, text=True, timeout=300).stdout
    return parse_trace(dump)


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
