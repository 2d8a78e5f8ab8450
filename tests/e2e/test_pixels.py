"""What the window shows: facts that hold on any renderer, not golden images.

The default camera looks level over the terrain, so the first frame is all
sky. Tilting the view down brings the terrain's near corner into the lower
right of the window, in greys; the wireframe shows the sky between the mesh
lines there; inverted colours change the greys.
"""

import unittest

import viewer_session as vs

# Where the terrain's near corner lies once the view is tilted down by 75
# degrees, and where the sky stays, as fractions of the window.
TERRAIN = (0.6, 0.65, 1.0, 1.0)
SKY_ABOVE = (0.0, 0.0, 1.0, 0.5)


def mean_grey(pixels):
    greys = [p[0] for p in pixels if vs.is_grey(p)]
    return sum(greys) / max(1, len(greys))


class Pixels(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.shots = {}
        with vs.XServer() as x:
            viewer = vs.Viewer(x)
            try:
                viewer.start()
                cls.shots["first frame"] = cls.settle(viewer, lambda shot: True)
                viewer.point(250, 400)
                cls.shots["tilted"] = cls.settle(viewer, lambda shot: cls.terrain_share(shot) > 0.9)
                viewer.key("w")
                cls.shots["wireframe"] = cls.settle(viewer, lambda shot: cls.sky_share(shot, TERRAIN) > 0.3)
                viewer.key("W", frames=2)
                cls.shots["solid again"] = cls.settle(viewer, lambda shot: cls.sky_share(shot, TERRAIN) == 0)
                viewer.key("c")
                before = mean_grey(vs.region(cls.shots["solid again"], *TERRAIN))
                cls.shots["inverted colours"] = cls.settle(
                    viewer, lambda shot: abs(mean_grey(vs.region(shot, *TERRAIN)) - before) > 40)
                viewer.quit()
            finally:
                viewer.close()

    @staticmethod
    def settle(viewer, condition):
        """The window's image once it shows the frame just drawn: a frame
        swapped by the viewer reaches the X server a moment later, so poll
        until the condition holds and two screenshots agree."""
        last = [None]

        def shown():
            shot = viewer.screenshot()
            stable = shot == last[0] and condition(shot)
            last[0] = shot
            return shot if stable else None
        try:
            return vs.wait_for(shown, "the expected picture", timeout=15, interval=0.1)
        except AssertionError:
            return last[0]

    @staticmethod
    def sky_share(shot, area):
        return vs.share(vs.region(shot, *area), lambda p: p == vs.SKY)

    @staticmethod
    def terrain_share(shot):
        return vs.share(vs.region(shot, *TERRAIN), lambda p: vs.is_grey(p))

    def test_first_frame_is_all_sky_blue(self):
        width, height, _ = self.shots["first frame"]
        self.assertEqual((width, height), (512, 512))
        self.assertEqual(self.sky_share(self.shots["first frame"], (0, 0, 1, 1)), 1.0)

    def test_tilting_the_view_shows_the_terrain_in_greys_below_the_sky(self):
        tilted = self.shots["tilted"]
        self.assertGreater(self.terrain_share(tilted), 0.9)
        self.assertEqual(self.sky_share(tilted, SKY_ABOVE), 1.0)

    def test_wireframe_shows_the_sky_through_the_mesh(self):
        wire = self.shots["wireframe"]
        self.assertGreater(self.sky_share(wire, TERRAIN), 0.3)
        self.assertGreater(vs.share(vs.region(wire, *TERRAIN), vs.is_grey), 0.01)
        self.assertEqual(self.sky_share(self.shots["solid again"], TERRAIN), 0.0)

    def test_inverted_colours_change_the_greys(self):
        before = vs.region(self.shots["solid again"], *TERRAIN)
        after = vs.region(self.shots["inverted colours"], *TERRAIN)
        self.assertGreater(vs.share(after, vs.is_grey), 0.9)
        self.assertGreater(abs(mean_grey(after) - mean_grey(before)), 40)


if __name__ == "__main__":
    unittest.main()
