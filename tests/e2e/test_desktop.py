"""The window on the desktops pupils have: beside a dock, and on a screen
scaled to 1.5 pixels per unit.

Beside a dock: it fills the screen's work area (the screen less
a dock or panel on any side) and lays its controls out from its own width,
at start and when the work area changes while it runs.

Without a window manager, the work area is the root window's _NET_WORKAREA;
Qt reads it at start and whenever it changes.  The corner button BEND and the
top bar's buttons ("退出系统" on BJS, SpeedButton69, SpeedButton6) stand on
backdrop pictures that look the same wherever they are: each backdrop must
show whole at its place measured from the window's right-hand edge, as it
does on the full screen.
"""

import os
import sys
import time
import unittest

from Xlib import Xatom

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402

FULL = (0, 0, 1280, 1024)
DOCKS = [  # (side, work area x, y, width, height)
    ("left", (64, 0, 1216, 1024)),
    ("right", (0, 0, 1216, 1024)),
    ("top", (0, 48, 1280, 976)),
    ("bottom", (0, 0, 1280, 976)),
]
# Backdrops as (left from the window's right edge, top, width, height) on the
# window: the client area starts one pixel in, the top bar 120 + 2 below it.
BACKDROPS = {
    "BEND": (23, 1, 22, 23),
    "BJS": (109, 125, 107, 31),
    "SpeedButton69": (219, 125, 108, 31),
    "SpeedButton6": (329, 125, 108, 31),
}
SAME = 0.01
SETTLE = 1.0


def set_work_area(server, area):
    with harness.x_connection(server) as connection:
        root = connection.screen().root
        workarea = connection.intern_atom("_NET_WORKAREA")
        root.change_property(connection.intern_atom("_NET_SUPPORTED"), Xatom.ATOM, 32, [workarea])
        root.change_property(workarea, Xatom.CARDINAL, 32, list(area))
        connection.sync()


def screen_rect(window, backdrop):
    from_right, top, width, height = backdrop
    left = window["x"] + window["width"] - from_right
    top = window["y"] + top
    return (left, top, left + width - 1, top + height - 1)


class WorkArea(unittest.TestCase):

    def test_controls_stay_inside_the_window_beside_a_dock_on_each_side(self):
        session = harness.session_for(self)
        server = session.server
        set_work_area(server, DOCKS[0][1])  # the dock is there before the program starts
        process = session.start()
        window, shown_at = harness.wait_for_window(server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, harness.output_of(process))
        harness.sleep_until(shown_at + 5.0)  # the start screen with BJS and BEND

        shots = {}
        for i, (side, area) in enumerate(DOCKS + [("none", FULL)]):
            if i > 0:  # the dock moves while the program runs
                set_work_area(server, area)
                time.sleep(SETTLE)
            facts = harness.window_facts(server, window)
            self.assertEqual((facts["x"], facts["y"], facts["width"], facts["height"]), area, side)
            shots[side] = (session.shot("dock-" + side), facts)
        self.assertIsNone(process.poll(), harness.output_of(process))

        reference, full = shots["none"]
        for side, _ in DOCKS:
            shot, facts = shots[side]
            for name, backdrop in BACKDROPS.items():
                rect = screen_rect(facts, backdrop)
                inside = (facts["x"], facts["y"], facts["x"] + facts["width"] - 1, facts["y"] + facts["height"] - 1)
                self.assertTrue(inside[0] <= rect[0] and rect[2] <= inside[2] and inside[1] <= rect[1]
                                and rect[3] <= inside[3], f"{name} beside a dock {side}: {rect} outside {inside}")
                fraction = harness.differing_fraction(harness.region_pixels(reference, screen_rect(full, backdrop)),
                                                      harness.region_pixels(shot, rect))
                self.assertLessEqual(fraction, SAME, f"{name} beside a dock {side} is not whole at {rect}: {shot}")


class Scaled(unittest.TestCase):
    """QT_SCALE_FACTOR=1.5 on a 1920 x 1536 screen: 1280 x 1024 in units."""

    SCALE = 1.5

    def scaled(self, rect):
        return tuple(round(v * self.SCALE) for v in rect)

    def test_window_fits_and_shows_the_cards(self):
        session = harness.session_for(self, screen_size="1920x1536x24")
        server = session.server
        process = session.start({"QT_SCALE_FACTOR": str(self.SCALE)})
        window, shown_at = harness.wait_for_window(server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, harness.output_of(process))
        facts = harness.window_facts(server, window)
        self.assertEqual((facts["x"], facts["y"], facts["width"], facts["height"]), (0, 0, 1920, 1536))
        harness.sleep_until(shown_at + 5.0)
        start = session.shot("1-start-screen")
        x, y = layout.centre(self.scaled(layout.BT1))
        harness.click(server, x, y, rest_at=self.scaled(layout.POINTER_REST))
        time.sleep(4.0)
        cards = session.shot("2-cards")
        self.assertIsNone(process.poll(), harness.output_of(process))
        # The card column: question text (dark) on the card tiles, where the
        # start screen showed the work-area background and the centre panel.
        column = self.scaled((330, 300, 1060, 700))
        pixels = harness.region_pixels(cards, column)
        dark = sum(1 for r, g, b in pixels if max(r, g, b) < 90) / len(pixels)
        self.assertGreater(dark, 0.005, cards)
        self.assertLess(dark, 0.4, cards)
        self.assertGreater(harness.differing_fraction(harness.region_pixels(start, column), pixels), 0.3)


if __name__ == "__main__":
    unittest.main(verbosity=2)
