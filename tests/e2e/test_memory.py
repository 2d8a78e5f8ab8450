"""The viewer under a real memory limit: moved into a memory cgroup of a few
hundred MiB of its own, it is asked for every larger grid up to the largest.
Under overcommit no allocation fails there; without its own check the viewer
would be ended by the kernel's out-of-memory killer. It must stay alive,
refuse each grid that does not fit with one line on standard error, keep
drawing, and end with status 0 on Escape.

The cgroup is made below the test's own memory cgroup (v2 where the unified
hierarchy has the memory controller, else v1) and removed afterwards. Where
the machine does not let a test make one, the test is skipped, saying why."""

import os
import re
import unittest

import viewer_process as process

LIMIT = 256 * 1024 * 1024

# Doublings from 128 to the largest grid, 16384.
PRESSES = 7

REFUSAL = re.compile(r"vellacor: grid (\d+) x (\d+) refused: it needs (\d+) MiB, (\d+) MiB available")


def mounts():
    """(mount point, root, type, super options) of every cgroup mount."""
    found = []
    with open("/proc/self/mountinfo") as f:
        for line in f:
            fields = line.split()
            after = fields[fields.index("-") + 1:]
            if after[0] in ("cgroup", "cgroup2"):
                found.append((fields[4], fields[3], after[0], after[2].split(",")))
    return found


def own_cgroup(unified):
    with open("/proc/self/cgroup") as f:
        for line in f:
            ident, controllers, path = line.rstrip("\n").split(":", 2)
            if (unified and ident == "0" and not controllers) or (not unified and "memory" in controllers.split(",")):
                return path
    return None


def under(mount_point, root, path):
    if root != "/" and path != root and not path.startswith(root + "/"):
        return None
    return mount_point + path[len(root):] if root != "/" else mount_point + path


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def read(path):
    with open(path) as f:
        return f.read()


class MemoryCgroup:
    """A memory cgroup with LIMIT of its own; skips the test where none can
    be made."""

    def __init__(self, test, limit):
        self.test = test
        self.limit = limit
        self.path = None
        self.unified = False

    def __enter__(self):
        reasons = []
        for mount_point, root, kind, options in mounts():
            unified = kind == "cgroup2"
            if unified:
                try:
                    controllers = read(os.path.join(mount_point, "cgroup.controllers")).split()
                except OSError:
                    controllers = []
                if "memory" not in controllers:
                    reasons.append(f"{mount_point}: the unified hierarchy has no memory controller")
                    continue
            elif "memory" not in options:
                continue
            own = own_cgroup(unified)
            parent = under(mount_point, root, own) if own else None
            if parent is None:
                reasons.append(f"{mount_point}: this process's cgroup {own} is not under the mount")
                continue
            try:
                self._make(parent, unified)
                return self
            except OSError as error:
                reasons.append(f"{mount_point}: cannot make a memory cgroup below {parent}: {error}")
                self._remove()
        self.test.skipTest("no memory cgroup can be made here: " + ("; ".join(reasons) or "no memory hierarchy"))

    def _make(self, parent, unified):
        if unified:
            # The memory controller must reach the new cgroup from its parent.
            if "memory" not in read(os.path.join(parent, "cgroup.subtree_control")).split():
                write(os.path.join(parent, "cgroup.subtree_control"), "+memory")
        self.path = os.path.join(parent, f"vellacor-e2e-{os.getpid()}")
        os.mkdir(self.path)
        self.unified = unified
        write(self.file("memory.max" if unified else "memory.limit_in_bytes"), str(self.limit))

    def file(self, name):
        return os.path.join(self.path, name)

    def move(self, pid):
        write(self.file("cgroup.procs"), str(pid))

    def oom_kills(self):
        """How often the kernel's out-of-memory killer struck in the cgroup,
        where the kernel tells."""
        name = "memory.events" if self.unified else "memory.oom_control"
        for line in read(self.file(name)).splitlines():
            key, value = line.split()
            if key == "oom_kill":
                return int(value)
        return None

    def _remove(self):
        if self.path and os.path.isdir(self.path):
            os.rmdir(self.path)
        self.path = None

    def __exit__(self, *exc):
        self._remove()


class MemoryLimit(unittest.TestCase):
    def test_grids_beyond_a_cgroup_limit_are_refused_and_the_viewer_lives_on(self):
        # Untraced: the probe shows each compilation of the terrain.
        with MemoryCgroup(self, LIMIT) as group, process.XServer() as x, \
                process.Viewer(x, traced=False) as viewer:
            viewer.start()
            group.move(viewer.viewer_pid())
            size = 128
            refused = []
            for _ in range(PRESSES):
                compiled = viewer.compilations()
                viewer.key("plus", frames=2)
                if viewer.compilations() > compiled:
                    self.assertEqual(refused, [], "a grid taken after one was refused")
                    size *= 2
                else:
                    refused.append(size * 2)
            viewer.point(250, 300)
            status = viewer.quit()
            errors = viewer.errors()
            console = viewer.console()
            oom_kills = group.oom_kills()
        self.assertEqual(status, 0)
        self.assertEqual(console, process.CONSOLE_TEXT)
        # 1024 fits easily in the limit, 16384 never.
        self.assertGreaterEqual(size, 1024)
        self.assertTrue(refused)
        lines = errors.splitlines()
        self.assertEqual(len(lines), len(refused), errors)
        for asked, line in zip(refused, lines):
            match = REFUSAL.fullmatch(line)
            self.assertIsNotNone(match, line)
            self.assertEqual((int(match[1]), int(match[2])), (asked, asked))
            needed, available = int(match[3]), int(match[4])
            self.assertGreater(needed, available, line)
            self.assertLess(available, LIMIT >> 20, line)
        self.assertIn(oom_kills, (0, None))
        print(f"\ntaken up to {size}; refused: {lines[0]}")


if __name__ == "__main__":
    unittest.main()
