"""Saves the README's pictures of the real viewer, taken in a private Xvfb.

Usage: take_screenshots.py OUTPUT_DIRECTORY, with VELLACOR_BINARY and
VELLACOR_PROBE set as for the end-to-end tests. Each picture is taken once
the window shows a picture other than the one before and two captures agree.
"""

import os
import sys

import viewer_pictures as pictures
import viewer_process as process

# (file name, keys to press before it); every shot starts from the view
# over the terrain, the state carried over from the shot before.
SHOTS = [
    ("terrain.png", []),
    ("shading-linear.png", ["m"]),
    ("shading-sqrt.png", ["m"]),
    ("shading-sqrt-from-cap.png", ["m"]),
    ("wireframe.png", ["w"]),
    ("inverted-colours.png", ["w", "c"]),
]


def main(directory):
    os.makedirs(directory, exist_ok=True)
    with process.XServer() as x, process.Viewer(x, traced=False) as viewer:
        viewer.start()
        # Turn round, fly up and back, and look down over the whole set.
        viewer.point(510, 250)
        for _ in range(16):
            viewer.key("Right")
        viewer.point(511, 170)
        for _ in range(80):
            viewer.key("Up")
        viewer.point(511, 345)
        previous = None
        for name, keys in SHOTS:
            for key in keys:
                viewer.key(key)
            # Every shot's keys change the picture: wait until it shows.
            previous = pictures.settled(viewer, lambda shot: shot != previous, "the picture " + name)
            path = os.path.join(directory, name)
            pictures.save_png(viewer, path)
            print("wrote", path)
        status = viewer.quit()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
