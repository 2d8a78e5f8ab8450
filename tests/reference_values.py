#!/usr/bin/env python3
"""Works out the pinned literals of tests/terrain_mesh_greys_test.cpp and of
the rounding cases in tests/camera_test.cpp without the viewer's code: the
greys of the six shadings and the y of a vertex, the escape counts of a few
samples, and the camera steps whose result depends on the order of rounding.

Python floats are IEEE doubles, so every operation below is rounded to double
when it is formed, in the order written; struct.pack('<f') rounds a double to
the nearest single-precision value. The square roots, sines and cosines are
checked against 80-digit decimal arithmetic, so that the literals hold for any
correctly rounded maths library, not just this machine's.

For each pinned value the script also works out the plausible slips (float
arithmetic, another association, another order of rounding) and prints which
of them the value tells apart (rows without any are there for the mesh
samples). Run it to regenerate the tables; it is not part of the test command.

    python3 tests/reference_values.py
"""
import math
import struct
from decimal import Decimal, getcontext

getcontext().prec = 80


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def hexf(x):
    """C++ hexadecimal literal of a single-precision value."""
    if x == 0:
        return ('-' if math.copysign(1, x) < 0 else '') + '0x0p+0f'
    mantissa, exponent = float.hex(x).split('p')
    mantissa = mantissa.rstrip('0').rstrip('.')
    return f'{mantissa}p{exponent}f'


def sqrt_checked(n):
    r = math.sqrt(n)
    assert r == float(Decimal(n).sqrt()), n
    return r


def sin_cos_decimal(x):
    x = Decimal(x)
    s = c = Decimal(0)
    term = Decimal(1)
    n = 0
    while abs(term) > Decimal(10) ** -78:
        if n % 4 == 0:
            c += term
        elif n % 4 == 1:
            s += term
        elif n % 4 == 2:
            c -= term
        else:
            s -= term
        n += 1
        term = term * x / n
    return float(s), float(c)


def cos_checked(x):
    r = math.cos(x)
    assert r == sin_cos_decimal(x)[1], x
    return r


def sin_checked(x):
    r = math.sin(x)
    assert r == sin_cos_decimal(x)[0], x
    return r


# --- Greys and heights ------------------------------------------------------

def grey(cap, h, mode, inverted):
    s = f32(sqrt_checked(cap))
    if mode == 0:
        g = 1.0 - h / cap if inverted else h / cap
    elif mode == 1:
        g = 1.0 - sqrt_checked(h) / s if inverted else sqrt_checked(h) / s
    else:
        from_cap = sqrt_checked(cap - h) / s
        g = from_cap if inverted else 1.0 - from_cap
    return f32(g)


def grey_slips(cap, h, mode, inverted):
    s = f32(math.sqrt(cap))
    out = {}
    if mode == 0:
        q = f32(f32(h) / f32(cap))
        out['float division'] = f32(1.0 - q) if inverted else q
        if inverted:
            out['rounded before 1 -'] = f32(1.0 - f32(h / cap))
            out['(C - h) / C'] = f32((cap - h) / cap)
        return out
    arg = h if mode == 1 else cap - h
    r = math.sqrt(arg)
    one_minus = (mode == 1) == inverted
    finish = (lambda x: f32(1.0 - x)) if one_minus else f32
    out['double divisor'] = finish(r / math.sqrt(cap))
    out['float square root'] = finish(f32(f32(math.sqrt(f32(arg))) / s))
    out['root of the quotient'] = finish(math.sqrt(arg / cap))
    if one_minus:
        out['(s - root) / s'] = f32((s - r) / s)
        out['rounded before 1 -'] = f32(1.0 - f32(r / s))
    return out


def height_y(h):
    return f32(0.02 * h)


# Caps whose square root is inexact; per cap the ends, their neighbours, the
# heights of the mesh samples below under both conventions, and middle
# heights picked so that every slip above shows in at least one row. Of all
# caps and heights, only 52275 with heights 52273 and 52274 tell 1 - h / C
# from (C - h) / C.
SHADE_ROWS = {
    50: [0, 1, 5, 6, 13, 17, 33, 37, 49, 50],
    75: [0, 1, 23, 28, 47, 52, 74, 75],
    1000: [0, 1, 151, 312, 348, 652, 688, 999, 1000],
    52275: [0, 52273, 52274, 52275],
    65525: [0, 1, 10052, 65524, 65525],
    65535: [0, 1, 36177, 56498, 65534, 65535],
}

# --- Escape counts of mesh samples -------------------------------------------

def escape_count(cx, cy, cap):
    x = y = xsq = ysq = 0.0
    k = 0
    while k < cap:
        y = 2.0 * (x * y) + cy
        x = (xsq - ysq) + cx
        xsq = x * x
        ysq = y * y
        if x >= 2.0 or y >= 2.0 or x <= -2.0 or y <= -2.0:
            break
        k += 1
    return k


# (cap, row, column) of the 128 grid, samples near the set's edge.
MESH_SAMPLES = [(50, 41, 62), (50, 40, 95), (75, 43, 58), (75, 46, 57), (1000, 49, 57), (1000, 53, 42)]

# --- Camera --------------------------------------------------------------------

DEG_TO_RAD = 3.141593 / 180
SIDEWAYS = 0.3333333333333333
KEYS = {'GLUT_KEY_LEFT': -1, 'GLUT_KEY_RIGHT': 1, 'GLUT_KEY_UP': 1, 'GLUT_KEY_DOWN': -1}


def camera_step(key, yaw, pitch, cam, cos=cos_checked, sin=sin_checked, slip=None):
    """cam is (camX, camY, camZ); returns the new (camX, camY, camZ)."""
    x, y, z = cam
    sign = KEYS[key]
    if slip == 'float arithmetic':
        d = f32(DEG_TO_RAD)
        p = f32(pitch * d)
        if key in ('GLUT_KEY_LEFT', 'GLUT_KEY_RIGHT'):
            a = f32(f32(yaw + sign * 90.0) * d)
            b = f32(f32(cos(p)) * f32(SIDEWAYS))
            return f32(x - f32(b * f32(sin(a)))), y, f32(z + f32(b * f32(cos(a))))
        t = f32(sign * 0.2)
        yr = f32(yaw * d)
        return (f32(x - f32(f32(t * f32(cos(p))) * f32(sin(yr)))), f32(y + f32(t * f32(sin(p)))),
                f32(z + f32(f32(t * f32(cos(p))) * f32(cos(yr)))))
    p = pitch * DEG_TO_RAD
    if key in ('GLUT_KEY_LEFT', 'GLUT_KEY_RIGHT'):
        a = (yaw + sign * 90.0) * DEG_TO_RAD
        if slip == 'radians added':
            a = yaw * DEG_TO_RAD + sign * 90.0 * DEG_TO_RAD
        b = cos(p) * SIDEWAYS
        if slip == 'b rounded to float':
            b = f32(b)
        if slip == 'b = cos P / 3':
            b = cos(p) / 3
        if slip == 'product order':
            return f32(x - cos(p) * (SIDEWAYS * sin(a))), y, f32(z + cos(p) * (SIDEWAYS * cos(a)))
        return f32(x - b * sin(a)), y, f32(z + b * cos(a))
    t = sign * 0.2
    yr = yaw * DEG_TO_RAD
    if slip == 'product order':
        return f32(x - t * (cos(p) * sin(yr))), f32(y + t * sin(p)), f32(z + t * (cos(p) * cos(yr)))
    return f32(x - t * cos(p) * sin(yr)), f32(y + t * sin(p)), f32(z + t * cos(p) * cos(yr))


SIDE_SLIPS = ['float arithmetic', 'radians added', 'b rounded to float', 'b = cos P / 3', 'product order']
FORWARD_SLIPS = ['float arithmetic', 'product order']


def cancelling_start(key, yaw, pitch):
    """A translation that the step nearly cancels, so that the last bits of
    the step's double value reach the stored float."""
    x, y, z = camera_step(key, yaw, pitch, (0.0, 0.0, 0.0), cos=math.cos, sin=math.sin)
    forward = key in ('GLUT_KEY_UP', 'GLUT_KEY_DOWN')
    return -x, -y if forward else -6.0, -z


CAMERA_CASES = [('GLUT_KEY_LEFT', 1.0, 20.0), ('GLUT_KEY_RIGHT', 1.5, 75.0),
                ('GLUT_KEY_UP', 1.5, 20.0), ('GLUT_KEY_DOWN', 1.5, 60.0)]


def main():
    print('// cap, height, y, greys of modes 0, 1, 2 plain, then inverted')
    for cap, heights in SHADE_ROWS.items():
        for h in heights:
            plain = [grey(cap, h, m, False) for m in range(3)]
            inverted = [grey(cap, h, m, True) for m in range(3)]
            told = sorted({f'{m}{"i" if inv else ""} {name}'
                           for m in range(3) for inv in (False, True)
                           for name, v in grey_slips(cap, h, m, inv).items() if v != grey(cap, h, m, inv)})
            y = height_y(h)
            if y != f32(f32(0.02) * f32(h)):
                told.append('y float product')
            print(f'    // {"; ".join(told) or "for the mesh samples"}')
            print(f'    {{{cap}, {h}, {hexf(y)},\n     {{{", ".join(map(hexf, plain))}}}, '
                  f'{{{", ".join(map(hexf, inverted))}}}}},')
    print('\n// cap, row, column, escape count')
    step = 3.0 / 128
    for cap, i, j in MESH_SAMPLES:
        cx = -2.0
        for _ in range(j):
            cx += step
        cy = -1.5
        for _ in range(i):
            cy += step
        k = escape_count(cx, cy, cap)
        assert cap - k in SHADE_ROWS[cap] and k in SHADE_ROWS[cap]
        print(f'    {{{cap}, {i}, {j}, {k}}},')
    print('\n// key, yaw, pitch, camX, camY, camZ before, then after')
    for key, yaw, pitch in CAMERA_CASES:
        start = tuple(f32(v) for v in cancelling_start(key, yaw, pitch))
        right = camera_step(key, yaw, pitch, start)
        slips = SIDE_SLIPS if key in ('GLUT_KEY_LEFT', 'GLUT_KEY_RIGHT') else FORWARD_SLIPS
        told = [s for s in slips
                if camera_step(key, yaw, pitch, start, cos=math.cos, sin=math.sin, slip=s) != right]
        assert told == slips, (key, told)
        print(f'    {{"{key[9:].lower()}", {key}, {yaw}f, {pitch}f,\n'
              f'     {{{", ".join(map(hexf, start))}}},\n     {{{", ".join(map(hexf, right))}}}}},')


if __name__ == '__main__':
    main()
