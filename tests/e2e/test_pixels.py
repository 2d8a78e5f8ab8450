"""What the window shows: facts that hold on any renderer, not golden images.

The default camera looks level over the terrain, so the first frame is all
sky. Tilting the view down brings the terrain's near corner into the lower
right of the window, in greys; the wireframe shows the sky between the mesh
lines there; inverted colours change the greys.
"""

import unittest

import viewer_pictures as pictures
import viewer_process as process

# Where the terrain's near corner lies once the view is tilted down by 75
# degrees, and where the sky stays, as fractions of the window.
TERRAIN = (0.6, 0.65, 1.0, 1.0)
SKY_ABOVE = (0.0, 0.0, 1.0, 0.5)


def mean_grey(pixels):
    greys = [p[0] for p in pixels if pictures.is_grey(p)]
    return sum(greys) / max(1, len(greys))


class Pixels(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.shots = {}
        with process.XServer() as x, process.Viewer(x) as viewer:
            viewer.start()
            # Each picture is taken once the window shows what sets it apart
            # from the one before; a picture that never shows fails the run.
            cls.shots["first frame"] = pictures.settled(
                viewer, lambda shot: cls.sky_share(shot, (0, 0, 1, 1)) == 1.0, "the first frame, all sky")
            viewer.point(250, 400)
            cls.shots["tilted"] = pictures.settled(
                viewer, lambda shot: cls.terrain_share(shot) > 0.9, "the terrain below the tilted view")
            viewer.key("w")
            cls.shots["wireframe"] = pictures.settled(
                viewer, lambda shot: cls.sky_share(shot, TERRAIN) > 0.3, "the sky through the wireframe")
            viewer.key("W", frames=2)
            cls.shots["solid again"] = pictures.settled(
                viewer, lambda shot: cls.sky_share(shot, TERRAIN) == 0, "the solid terrain again")
            viewer.key("c")
            before = mean_grey(pictures.region(cls.shots["solid again"], *TERRAIN))
            cls.shots["inverted colours"] = pictures.settled(
                viewer, lambda shot: abs(mean_grey(pictures.region(shot, *TERRAIN)) - before) > 40,
                "the inverted greys")
            viewer.quit()

    @staticmethod
    def sky_share(shot, area):
        return pictures.share(pictures.region(shot, *area), lambda p: p == pictures.SKY)

    @staticmethod
    def terrain_share(shot):
        return pictures.share(pictures.region(shot, *TERRAIN), lambda p: pictures.is_grey(p))

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
        self.assertGreater(pictures.share(pictures.region(wire, *TERRAIN), pictures.is_grey), 0.01)
        self.assertEqual(self.sky_share(self.shots["solid again"], TERRAIN), 0.0)

    def test_inverted_colours_change_the_greys(self):
        before = pictures.region(self.shots["solid again"], *TERRAIN)
        after = pictures.region(self.shots["inverted colours"], *TERRAIN)
        self.assertGreater(pictures.share(after, pictures.is_grey), 0.9)
        self.assertGreater(abs(mean_grey(after) - mean_grey(before)), 40)


if __name__ == "__main__":
    unittest.main()
