#!/usr/bin/env python3
"""Plants faults in a private copy of the sources, one at a time, and reports
which test catches each: a measure of whether the suite sees what a user
would see. Not part of the test command; run it after changing the tests or
the code they guard.

    scripts/plant-faults.py [--e2e] [--work DIR] [ID ...]

The tracked files are copied to DIR/tree (default build/faults) and built
there once; each fault then edits one file of the copy, rebuilds only what
depends on it and runs the test binaries that can see that folder. With
--e2e the end-to-end suite also runs for every fault the unit-level tests
miss; its failures are printed so that a failure under load is not taken for
a catch. The working copy of the repository is never touched.

Each fault models a real slip (off-by-one, wrong association, swapped calls,
wrong constant, float for double, missing clamp, wrong mask edge). Faults
marked equivalent cannot change anything a user sees, for the reason given,
and are left out of the score. A fault whose text no longer occurs in its
file is reported as not applicable.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass
from typing import Optional

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@dataclass
class Fault:
    id: str
    path: str
    old: str
    new: str
    what: str
    equivalent: Optional[str] = None


FAULTS = [
    Fault('S1', 'src/state/viewer_state.h',
          'float camZ = -0.9f;',
          'float camZ = -0.8f;',
          'camZ default -0.9 typed as -0.8'),
    Fault('S2', 'src/state/viewer_state.h',
          'return static_cast<std::size_t>(gridSize) * static_cast<std::size_t>(gridSize);',
          'return static_cast<std::size_t>(gridSize * gridSize);',
          'grid entry count multiplied in int'),
    Fault('S3', 'src/state/viewer_state.h',
          'MAX_ITERATIONS = 65525;',
          'MAX_ITERATIONS = 65535;',
          'cap limit the largest 16-bit value, not the largest multiple of 25 below it'),
    Fault('S4', 'src/state/viewer_state.h',
          'int shadingMode = SHADE_SQRT_FROM_CAP;',
          'int shadingMode = SHADE_LINEAR;',
          'default shading mode 0 instead of 2'),
    Fault('S5', 'src/state/viewer_state.h',
          'int lastMouseY = 250;',
          'int lastMouseY = 256;',
          'last pointer y default 256'),
    Fault('S6', 'src/state/viewer_state.h',
          'bool meshDirty = true; ',
          'bool meshDirty = false;',
          'compiled terrain marked current before the first pass',
          equivalent='start-up runs computeFractal, which sets meshDirty, before the first frame'),
    Fault('S7', 'src/state/viewer_state.h',
          'MAX_GRID_SIZE = 16384;',
          'MAX_GRID_SIZE = 32768;',
          'one doubling too many allowed'),
    Fault('A1', 'src/app/startup.cpp',
          '    glutSpecialFunc(specialKey);\n    glutKeyboardFunc(keyboard);',
          '    glutKeyboardFunc(keyboard);\n    glutSpecialFunc(specialKey);',
          'keyboard and special-key callbacks registered in swapped order'),
    Fault('A2', 'src/app/startup.cpp',
          'glDepthFunc(GL_LEQUAL);',
          'glDepthFunc(GL_LESS);',
          'depth function GL_LESS'),
    Fault('A3', 'src/app/startup.cpp',
          'glCullFace(GL_BACK);',
          'glCullFace(GL_FRONT);',
          'front faces culled'),
    Fault('A4', 'src/app/startup.cpp',
          '192.0f / 255.0f',
          '191.0f / 255.0f',
          'clear colour green 191 instead of 192'),
    Fault('A5', 'src/app/startup.cpp',
          'cycles though the',
          'cycles through the',
          "usage text typo 'though' corrected"),
    Fault('A6', 'src/app/startup.cpp',
          'glutInitWindowSize(512, 512);',
          'glutInitWindowSize(512, 521);',
          'window height 521'),
    Fault('A7', 'src/app/startup.cpp',
          '    printUsage();\n    computeFractal(viewer);\n',
          '    computeFractal(viewer);\n    printUsage();\n',
          'grid computed before the console text'),
    Fault('A8', 'src/app/startup.cpp',
          'GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH',
          'GLUT_RGBA | GLUT_DOUBLE',
          'no depth buffer requested'),
    Fault('A9', 'src/app/startup.cpp',
          'glShadeModel(GL_SMOOTH);',
          'glShadeModel(GL_FLAT);',
          'flat shading'),
    Fault('A10', 'src/app/startup.cpp',
          '    std::fflush(stdout);\n',
          '',
          'console text not flushed before the first grid'),
    Fault('F1', 'src/fractal/height_field.cpp',
          'x <= -2.0 ||',
          'x < -2.0 ||',
          'plain escape test: -2 counted inside'),
    Fault('F2', 'src/fractal/height_field.cpp',
          '    double cy = -1.5;\n    for (std::size_t i = 0; i < n; ++i) {\n        double cx = -2.0;\n',
          '    double cy = -1.5;\n    double cx = -2.0;\n    for (std::size_t i = 0; i < n; ++i) {\n',
          'plain loop: real part not reset per row'),
    Fault('F3', 'src/fractal/escape_kernel.cpp',
          'escaped = hn::Ge(largerMagnitude(g.x, g.y), hn::Set(d, 2.0));',
          'escaped = hn::Gt(largerMagnitude(g.x, g.y), hn::Set(d, 2.0));',
          'kernel escape test: component equal to 2 counted inside'),
    Fault('F4', 'src/fractal/escape_kernel.cpp',
          'hn::Add(g.budget, hn::Set(di, 1)));',
          'g.budget);',
          'kernel height off by one (budget, not budget + 1)'),
    Fault('F5', 'src/fractal/escape_kernel.cpp',
          '    const double step = 3.0 / gridSize;\n    std::vector<double> columnCx(n);',
          '    const double step = 3.0 / (gridSize - 1);\n    std::vector<double> columnCx(n);',
          'kernel grid step 3/(N-1): right edge sampled'),
    Fault('F6', 'src/fractal/flat_cells.cpp',
          'for (std::size_t j = 0; j + 1 < n; ++j) {',
          'for (std::size_t j = 0; j < n; ++j) {',
          'flat mask: last column tested too (wraps into next row)'),
    Fault('F7', 'src/fractal/flat_cells.cpp',
          '(row[j] == row[j + 1]) & (row[j] == next[j + 1]) & (next[j] == next[j + 1])',
          '(row[j] == row[j + 1]) & (next[j] == next[j + 1])',
          'flat mask: top and bottom pairs compared, not with each other'),
    Fault('F8', 'src/fractal/height_field.cpp',
          '    fillHeights(state.heights.data(), state.gridSize, state.maxIterations, state.heightInverted);\n    findFlatCells(state);\n',
          '    findFlatCells(state);\n    fillHeights(state.heights.data(), state.gridSize, state.maxIterations, state.heightInverted);\n',
          'mask built before the heights are computed'),
    Fault('F9', 'src/fractal/height_field.cpp',
          '    findFlatCells(state);\n    state.meshDirty = true;\n',
          '    findFlatCells(state);\n',
          'computeFractal does not mark the mesh out of date'),
    Fault('F10', 'src/fractal/escape_kernel.cpp',
          'hn::Set(d, 0.25 * SHORTCUT_MULTIPLIER_BOUND);',
          'hn::Set(d, 0.26 * SHORTCUT_MULTIPLIER_BOUND);',
          'bulb shortcut radius 0.26 instead of 0.25'),
    Fault('F11', 'src/fractal/escape_kernel.cpp',
          'g.x = hn::Add(hn::Sub(g.xsq, g.ysq), g.cx);',
          'g.x = hn::Sub(g.xsq, hn::Sub(g.ysq, g.cx));',
          'kernel real part associated as xsq - (ysq - cx)'),
    Fault('F12', 'src/fractal/escape_kernel.cpp',
          'q.capHeight = static_cast<std::uint16_t>(heightInverted ? maxIterations : 0);',
          'q.capHeight = static_cast<std::uint16_t>(heightInverted ? 0 : maxIterations);',
          'shortcut height with the conventions swapped'),
    Fault('F13', 'src/fractal/height_field.cpp',
          'y = 2.0 * (x * y) + cy;',
          'y = 2.0 * x * y + cy;',
          'plain loop: 2x times y instead of x y doubled',
          equivalent='doubling is exact, so (2x)y and 2(xy) are the same double'),
    Fault('R1', 'src/render/display.cpp',
          '(128.0 / gridSize) * 0.4',
          '0.4 * 128.0 / gridSize',
          'terrain scale associated as (0.4 * 128) / N',
          equivalent='128/N is a power of two for every reachable N, so both scale 0.4 exactly'),
    Fault('R2', 'src/render/display.cpp',
          '    glRotatef(viewer.pitch, 1.0f, 0.0f, 0.0f);\n    glRotatef(viewer.yaw, 0.0f, 1.0f, 0.0f);\n',
          '    glRotatef(viewer.yaw, 0.0f, 1.0f, 0.0f);\n    glRotatef(viewer.pitch, 1.0f, 0.0f, 0.0f);\n',
          'yaw rotation applied before pitch'),
    Fault('R3', 'src/render/display.cpp',
          'glScalef(scale, 3.0f, scale);',
          'glScalef(scale, 0.3f, scale);',
          'height scale 0.3 instead of 3'),
    Fault('R4', 'src/render/display.cpp',
          '    glEndList();\n    viewer.meshDirty = false;\n',
          '    glEndList();\n',
          'display pass never clears meshDirty'),
    Fault('R5', 'src/render/display.cpp',
          'gluPerspective(60.0, aspectRatio(width, height), 0.01, 30.0);',
          'gluPerspective(60.0, aspectRatio(width, height), 0.1, 30.0);',
          'near plane 0.1'),
    Fault('R6', 'src/render/display.cpp',
          '    glMatrixMode(GL_MODELVIEW);\n    glLoadIdentity();\n}',
          '    glLoadIdentity();\n    glMatrixMode(GL_MODELVIEW);\n}',
          'reshape: identity loaded into the projection, model-view left'),
    Fault('R7', 'src/render/terrain_mesh.cpp',
          'grey = colorsInverted ? 1.0 - std::sqrt(h) / s : std::sqrt(h) / s;',
          'grey = colorsInverted ? (s - std::sqrt(h)) / s : std::sqrt(h) / s;',
          'inverted sqrt grey as (s - root) / s'),
    Fault('R8', 'src/render/terrain_mesh.cpp',
          'const double fromCap = std::sqrt(static_cast<double>(maxIterations - height)) / s;',
          'const double fromCap = std::sqrt(static_cast<double>(maxIterations - height)) / std::sqrt(cap);',
          'from-cap grey divided by the double root of the cap'),
    Fault('R9', 'src/render/terrain_mesh.cpp',
          'return static_cast<float>(HEIGHT_SCALE * height);',
          'return static_cast<float>(HEIGHT_SCALE) * static_cast<float>(height);',
          'vertex y as a float product'),
    Fault('R10', 'src/render/terrain_mesh.cpp',
          '    glVertex3f(farX, y, z.quadEndFar);\n    glVertex3f(farX, y, z.quadEndNear);\n',
          '    glVertex3f(farX, y, z.quadEndNear);\n    glVertex3f(farX, y, z.quadEndFar);\n',
          'quad corners 3 and 4 swapped (winding)'),
    Fault('R11', 'src/render/terrain_mesh.cpp',
          'while (end < n && flags[end] == 1) {',
          'while (end + 1 < n && flags[end] == 1) {',
          'run scan stops one column early',
          equivalent="the last column's flag is always 0, so the scan stops there either way"),
    Fault('R12', 'src/render/terrain_mesh.cpp',
          'const float nearX = static_cast<float>(static_cast<double>(start) - 0.02);',
          'const float nearX = static_cast<float>(start) - 0.02f;',
          'quad near x formed in float',
          equivalent='float and double give the same float for every column up to 16383'),
    Fault('R13', 'src/render/terrain_mesh.cpp',
          'shading.pairNearZ = overlapping ? -0.01 : 0.0;',
          'shading.pairNearZ = overlapping ? -0.02 : 0.0;',
          'overlap -0.02 instead of -0.01'),
    Fault('R14', 'src/render/terrain_mesh.cpp',
          'grey = colorsInverted ? 1.0 - h / cap : h / cap;',
          'grey = colorsInverted ? (cap - h) / cap : h / cap;',
          'inverted linear grey as (C - h) / C'),
    Fault('R15', 'src/render/terrain_mesh.cpp',
          'grey = colorsInverted ? fromCap : 1.0 - fromCap;',
          'grey = colorsInverted ? fromCap : 1.0 - static_cast<float>(fromCap);',
          'from-cap root rounded to float before 1 -'),
    Fault('R16', 'src/render/terrain_mesh.cpp',
          'return static_cast<float>(std::sqrt(static_cast<double>(maxIterations)));',
          'return std::sqrt(static_cast<float>(maxIterations));',
          'divisor as a float square root',
          equivalent='the float square root of every cap equals the rounded double root'),
    Fault('R17', 'src/render/terrain_mesh.cpp',
          'grey = colorsInverted ? 1.0 - std::sqrt(h) / s : std::sqrt(h) / s;',
          'grey = colorsInverted ? 1.0 - std::sqrt(h) / s : std::sqrt(h / cap);',
          'sqrt grey as the root of h / C'),
    Fault('R18', 'src/render/terrain_mesh.cpp',
          'const float grey = shading.greyOfHeight[top[start]];',
          'const float grey = shading.greyOfHeight[bottom[start]];',
          'quad grey from the lower row',
          equivalent='the corners of a flat run share one height'),
    Fault('I1', 'src/input/camera.cpp',
          'const double a = (state.yaw + sideAngle) * DEG_TO_RAD;',
          'const double a = state.yaw * DEG_TO_RAD + sideAngle * DEG_TO_RAD;',
          'side angle added in radians'),
    Fault('I2', 'src/input/camera.cpp',
          'const double b = std::cos(p) * SIDEWAYS_STEP;',
          'const float b = static_cast<float>(std::cos(p) * SIDEWAYS_STEP);',
          'sideways step b rounded to float'),
    Fault('I3', 'src/input/camera.cpp',
          'state.camZ = static_cast<float>(state.camZ + step * std::cos(p) * std::cos(y));',
          'state.camZ = static_cast<float>(state.camZ + step * (std::cos(p) * std::cos(y)));',
          'forward camZ product associated as 0.2 (cos P cos Y)'),
    Fault('I4', 'src/input/camera.cpp',
          'if ((dy > 0 && state.pitch < PITCH_LIMIT)',
          'if ((dy > 0 && state.pitch <= PITCH_LIMIT)',
          'pitch test <= 80',
          equivalent='at pitch 80 the step is added and clamped back to 80'),
    Fault('I5', 'src/input/camera.cpp',
          '    } else if (state.pitch < -PITCH_LIMIT) {\n        state.pitch = static_cast<float>(-PITCH_LIMIT);\n    }\n',
          '    }\n',
          'no clamp at -80'),
    Fault('I6', 'src/input/camera.cpp',
          'if (state.yaw >= FULL_TURN) {',
          'if (state.yaw > FULL_TURN) {',
          'yaw 360 not wrapped'),
    Fault('I7', 'src/input/camera.cpp',
          '    }\n    if (state.yaw < 0.0) {',
          '    } else if (state.yaw < 0.0) {',
          'second yaw correction only when the first did not apply',
          equivalent='after subtracting 360 from a yaw of at least 360 it is never negative'),
    Fault('I8', 'src/input/camera.cpp',
          'const double b = std::cos(p) * SIDEWAYS_STEP;',
          'const double b = std::cos(p) / 3.0;',
          'b as cos P / 3'),
    Fault('I9', 'src/input/camera.cpp',
          '    const double p = state.pitch * DEG_TO_RAD;\n    const double y = state.yaw * DEG_TO_RAD;\n    const double step = direction * FORWARD_STEP;',
          '    const float p = state.pitch * static_cast<float>(DEG_TO_RAD);\n    const float y = state.yaw * static_cast<float>(DEG_TO_RAD);\n    const float step = static_cast<float>(direction * FORWARD_STEP);',
          'forward step angles and length in float'),
    Fault('I10', 'src/input/camera.cpp',
          'state.camX = static_cast<float>(state.camX - step * std::cos(p) * std::sin(y));',
          'state.camX = static_cast<float>(state.camX - step * std::cos(p) * std::sin(p));',
          'forward camX uses sin P instead of sin Y'),
    Fault('I11', 'src/input/key_commands.cpp',
          'if (state.maxIterations < MAX_ITERATIONS) {',
          'if (state.maxIterations <= MAX_ITERATIONS) {',
          'cap raised past the largest'),
    Fault('I12', 'src/input/key_commands.cpp',
          '        h = static_cast<std::uint16_t>(cap - h);\n    }\n    state.meshDirty = true;\n',
          '        h = static_cast<std::uint16_t>(cap - h);\n    }\n',
          'height flip leaves the mesh marked current'),
    Fault('I13', 'src/input/key_commands.cpp',
          '(state.shadingMode + 1) % SHADING_MODE_COUNT',
          '(state.shadingMode + 1) % 2',
          'shading cycle over two modes'),
    Fault('I14', 'src/input/key_commands.cpp',
          "{'c', 'C', toggleColors, false},",
          "{'c', 'c', toggleColors, false},",
          "'C' not accepted"),
    Fault('I15', 'src/input/handlers.cpp',
          'glPolygonMode(GL_FRONT, viewer.wireframe',
          'glPolygonMode(GL_FRONT_AND_BACK, viewer.wireframe',
          'polygon mode set for both faces'),
    Fault('I16', 'src/input/handlers.cpp',
          '        }\n    }\n    display();\n}',
          '        }\n        display();\n    }\n}',
          'unknown keys do not redraw'),
    Fault('I17', 'src/input/handlers.cpp',
          '    moveCamera(viewer, key);\n    display();',
          '    display();\n    moveCamera(viewer, key);',
          'special key draws before it moves'),
    Fault('I18', 'src/input/key_commands.cpp',
          '    state.gridSize = gridSize;\n    state.maxIterations = maxIterations;\n    computeFractal(state);\n',
          '    state.gridSize = gridSize;\n    computeFractal(state);\n    state.maxIterations = maxIterations;\n',
          'cap stored after the grid is computed'),
    Fault('I19', 'src/input/key_commands.cpp',
          'if (state.gridSize > MIN_GRID_SIZE) {',
          'if (state.gridSize >= MIN_GRID_SIZE) {',
          'grid halved below 128'),
    Fault('I20', 'src/input/camera.cpp',
          'state.yaw = static_cast<float>(state.yaw + static_cast<double>(dx) * TURN_RATE);',
          'state.yaw = static_cast<float>(state.yaw + static_cast<double>(dx) * TURN_RATE * 2.0);',
          'turn rate one degree per pixel'),
]

# Unit-level binaries a fault in each folder can reach, with their filters.
UNIT = 'tests/vellacor_unit_tests'
EVENTS = 'fuzz/vellacor_event_sequence_test'
FAST = 'tests/vellacor_fast_path_tests'
BINARIES = {
    'state': [(UNIT, '*'), (EVENTS, '*'), (FAST, '*')],
    'fractal': [(UNIT, '*'), (EVENTS, '*'), (FAST, '*')],
    'render': [(UNIT, '*'), (EVENTS, '*'), (FAST, 'TerrainMeshTables.*')],
    'input': [(UNIT, '*'), (EVENTS, '*')],
    'app': [(UNIT, '*'), (EVENTS, '*')],
}


def run(cmd, cwd, timeout):
    try:
        done = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=timeout)
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired:
        return 'timeout', ''


def failed_tests(build, binary, gtest_filter):
    rc, log = run([os.path.join(build, binary), '--gtest_filter=' + gtest_filter, '--gtest_brief=1'], build, 600)
    names = sorted(set(re.findall(r'\[  FAILED  \] ([\w./]+)', log)))
    if rc != 0 and not names:
        names = [f'{os.path.basename(binary)} ({rc})']
    return names


def prepare(work):
    tree = os.path.join(work, 'tree')
    files = subprocess.run(['git', 'ls-files', '-z'], cwd=ROOT, capture_output=True, check=True).stdout
    for name in filter(None, files.decode().split('\0')):
        target = os.path.join(tree, name)
        source = os.path.join(ROOT, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not os.path.exists(target) or open(source, 'rb').read() != open(target, 'rb').read():
            shutil.copy(source, target)  # a fresh mtime, so that the build sees it
    build = os.path.join(tree, 'build')
    subprocess.run(['cmake', '-S', tree, '-B', build, '-DCMAKE_BUILD_TYPE=Release', '-DVELLACOR_WERROR=ON',
                    '-DVELLACOR_TESTS=ON', '-DVELLACOR_BENCHMARKS=OFF'], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', build, '--parallel', '2'], check=True, stdout=subprocess.DEVNULL)
    return tree, build


def try_fault(fault, tree, build, e2e):
    path = os.path.join(tree, fault.path)
    original = open(path).read()
    if original.count(fault.old) != 1:
        return 'not applicable', []
    open(path, 'w').write(original.replace(fault.old, fault.new))
    try:
        rc, log = run(['cmake', '--build', build, '--parallel', '2'], tree, 1800)
        if rc != 0:
            return 'does not build', [log[-600:]]
        caught = []
        for binary, gtest_filter in BINARIES[fault.path.split('/')[1]]:
            caught += failed_tests(build, binary, gtest_filter)
        if caught or not e2e:
            return ('caught' if caught else 'survived'), caught
        rc, log = run(['ctest', '--test-dir', build, '-L', 'e2e', '--output-on-failure'], tree, 900)
        if rc == 0:
            return 'survived', []
        notes = [line.strip() for line in log.splitlines() if re.search(r'Error|FAIL:|expected', line)]
        return 'caught end to end (check the messages)', notes[:6]
    finally:
        open(path, 'w').write(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--e2e', action='store_true', help='run the end-to-end suite for unit-level survivors')
    parser.add_argument('--work', default=os.path.join(ROOT, 'build', 'faults'))
    parser.add_argument('ids', nargs='*')
    args = parser.parse_args()
    chosen = [f for f in FAULTS if not args.ids or f.id in args.ids]
    tree, build = prepare(args.work)
    caught = observable = 0
    # Grouped by file, so that restoring one file and planting in the next
    # rebuild together.
    for fault in sorted(chosen, key=lambda f: f.path):
        start = time.time()
        outcome, detail = try_fault(fault, tree, build, args.e2e)
        if fault.equivalent is None and outcome not in ('not applicable', 'does not build'):
            observable += 1
            caught += outcome != 'survived'
        label = outcome + (f' (equivalent: {fault.equivalent})' if fault.equivalent else '')
        print(f'{fault.id:4} {fault.path:30} {fault.what}\n     {label}, {time.time() - start:.0f} s', flush=True)
        for line in detail:
            print('       ' + line, flush=True)
    print(f'\n{caught} of {observable} observable faults caught')
    return 0 if caught == observable else 1


if __name__ == '__main__':
    sys.exit(main())
