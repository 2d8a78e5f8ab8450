"""The viewer's window as pictures: captures through ImageMagick's `import`,
decoded into rows of (r, g, b), and the few measures the tests take of them.

A frame swapped by the viewer reaches the X server a moment after the probe
logs it, so `settled` polls captures until the expected picture shows.
"""

import subprocess

import viewer_process as process

SKY = (10, 192, 245)


def screenshot(viewer):
    """The window's pixels as (width, height, rows of (r, g, b))."""
    data = subprocess.run(["import", "-silent", "-window", viewer.window, "-depth", "8", "ppm:-"],
                          env=viewer.x.env(), check=True, capture_output=True, timeout=60).stdout
    return parse_ppm(data)


def save_png(viewer, path):
    subprocess.run(["import", "-silent", "-window", viewer.window, "-depth", "8", "png:" + path],
                   env=viewer.x.env(), check=True, capture_output=True, timeout=60)


def settled(viewer, condition, what, timeout=process.DEFAULT_TIMEOUT):
    """The window's picture once `condition` holds for it and two captures
    in a row agree; fails when that does not happen in time."""
    last = [None]

    def shown():
        shot = screenshot(viewer)
        stable = shot == last[0] and condition(shot)
        last[0] = shot
        return shot if stable else None
    return process.wait_for(shown, what, timeout=timeout, interval=0.1)


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
