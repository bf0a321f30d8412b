"""The real program started on a Jet 4.0 data file, seen from outside on a
1280 x 1024 X display: the start-up converts dat/kelvma.dat once, the pupil
picks a grade and unit, starts a homework and grades it until the grading is
recorded, and leaves; the second start finds the converted file, converts
nothing, and shows the remembered grade and unit.

Environment: AOSHU_BIN_DIR and E2E_OUTPUT_DIR as for the other end-to-end
tests; JET4_FIXTURES_DIR, the folder of the Jet 4.0 test files (default
../shared/fixtures/jet4 beside the repository).  Without those files the
test is skipped.
"""

import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402

FIXTURES = os.environ.get("JET4_FIXTURES_DIR",
                          os.path.join(harness.REPO, "..", "shared", "fixtures", "jet4"))
JET_FILE = os.path.join(FIXTURES, "kelvma-full.mdb")

# The notice panel Pts in its tall form, with the grade and unit selectors.
PTS_TALL = (434, 579, 701, 656)
C1 = (535, 589, 688, 612)  # grade selector, 154 x 24 at Pts (101, 10)
C2 = (450, 622, 662, 645)  # unit selector, 213 x 24 at Pts (16, 43)
GRADE, UNIT = 2, 1         # 二年级下, its second unit
GRADINGS_UNTIL_RECORDED = 6
SAME = 0.005

SQLITE_MAGIC = b"SQLite format 3\x00"


def is_blue(pixel):  # the captions of BT1 and BT2
    r, g, b = pixel
    return b >= 200 and r <= 90 and g <= 90


class JetFile(unittest.TestCase):

    def setUp(self):
        if not os.path.exists(JET_FILE):
            self.skipTest(f"Jet 4.0 test files not found in {os.path.abspath(FIXTURES)}")
        self.session = harness.session_for(self)
        self.output = self.session.output_dir
        self.server = self.session.server
        self.database = self.session.program.database
        # The Jet file takes the place of the bundled database (a writable copy).
        os.remove(self.database)
        shutil.copyfile(JET_FILE, self.database)
        with open(JET_FILE, "rb") as f:
            self.jet_bytes = f.read()
        self.captures = 0

    # --- screen -----------------------------------------------------------

    def capture(self):
        return harness.next_capture(self)

    def keep(self, shot, name):
        return harness.keep(self.output, shot, name)

    def wait_for(self, condition, timeout, what, process):
        """The first of two captures in a row that meet condition and agree
        on the centre panel."""
        shot, last = harness.wait_for_settled(
            self.capture, condition,
            lambda a, b: harness.region_pixels(a, layout.PANEL_CY) == harness.region_pixels(b, layout.PANEL_CY),
            timeout)
        if shot is None:
            self.fail(f"{what}: not seen within {timeout} s; last screen {last}; program "
                      f"{process.poll()}, output:\n{harness.output_of(process)}")
        return shot

    def caption_on(self, rect):
        return lambda shot: any(is_blue(p) for p in harness.region_pixels(shot, rect))

    def panel_shown(self, shot):
        return harness.differing_fraction(harness.region_pixels(shot, layout.PANEL_ART), self.panel_art) < 0.02

    def click(self, rect, pause=0.3):
        x, y = layout.centre(rect)
        harness.click(self.server, x, y, rest_at=layout.POINTER_REST)
        time.sleep(pause)

    def wheel_down(self, rect, notches):
        x, y = layout.centre(rect)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y),
                        "click", "--repeat", str(notches), "--delay", "150", "5",
                        "mousemove", "--sync", *map(str, layout.POINTER_REST)],
                       env=self.server.env(), check=True)
        time.sleep(0.5)

    # --- program ----------------------------------------------------------

    def start(self, name):
        process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(process))
        shot = self.wait_for(self.caption_on(layout.BT1), 30, "the start screen", process)
        return process, self.keep(shot, name)

    def leave(self, process):
        """The corner button, then 确认退出."""
        self.click(layout.BEND, pause=0.7)
        self.click(layout.BT1)
        self.assertEqual(harness.wait_exit(process, timeout=10), 0, harness.output_of(process))

    def db(self, sql):
        return harness.query(self.database, sql)

    def files(self):
        """The files in dat/, without the write-ahead log and its index that
        belong to the database while the program uses it."""
        return sorted(f for f in os.listdir(os.path.dirname(self.database))
                      if not f.endswith(("-wal", "-shm")))

    # --- the test -----------------------------------------------------------

    def test_converted_once_then_used_and_remembered(self):
        process, start = self.start("1-start-screen")
        with open(self.database, "rb") as f:
            self.assertEqual(f.read(16), SQLITE_MAGIC, "dat/kelvma.dat is converted")
        with open(self.database + ".jet4", "rb") as f:
            self.assertEqual(f.read(), self.jet_bytes, "the Jet file is kept as kelvma.dat.jet4")
        self.assertEqual(self.files(), ["kelvma.dat", "kelvma.dat.jet4"])
        self.assertIn("converted", harness.output_of(process))
        self.assertEqual(self.db("select count(*) from b1"), [(266,)])
        self.panel_art = harness.region_pixels(start, layout.PANEL_ART)

        # Pick the grade and the unit with the mouse wheel.
        self.wheel_down(C1, GRADE)
        self.wheel_down(C2, UNIT)
        chosen = self.keep(self.capture(), "2-grade-and-unit")
        selectors = harness.region_pixels(chosen, PTS_TALL)
        self.assertGreater(harness.differing_fraction(harness.region_pixels(start, PTS_TALL), selectors), 0.01,
                           "the selectors show another grade and unit")

        # Start the homework: the question ids land in b3, the cards show.
        self.click(layout.BT1)
        deadline = time.monotonic() + 30
        while self.db("select count(*) from b3 where zd3 <> 0") != [(20,)] and time.monotonic() < deadline:
            time.sleep(0.1)
        self.keep(self.wait_for(lambda s: not self.panel_shown(s), 30, "the question cards", process), "3-cards")
        self.assertEqual(self.db("select zd5, zd6 from b5 where zd1=1"), [(GRADE, UNIT)])
        grade_codes = self.db("select distinct zd9 from b1 where zd1 in (select zd3 from b3)")
        self.assertEqual(grade_codes, [(GRADE,)])

        # Grade with no answers until the grading is recorded (the sixth).
        for grading in range(1, GRADINGS_UNTIL_RECORDED + 1):
            self.click(layout.BJS)
            shot = self.wait_for(lambda s: self.panel_shown(s) and self.caption_on(layout.BT1_WIDE)(s), 30,
                                 f"the result of grading {grading}", process)
            if grading in (1, GRADINGS_UNTIL_RECORDED):
                self.keep(shot, f"4-graded-{grading}")
            if grading < GRADINGS_UNTIL_RECORDED:
                self.click(layout.BT1_WIDE)
                self.wait_for(lambda s: not self.panel_shown(s), 30, "the cards again", process)
        self.assertEqual(self.db("select zd4, count(*) from b3 group by zd4"), [("@", 20)])
        recorded = self.db("select zd4, zd6 from b2 where zd1=1")
        self.assertIsNotNone(recorded[0][0], "the sixth grading records its time")
        self.assertEqual(recorded[0][1], 0)
        self.leave(process)

        # The second start: nothing converted, the grade and unit restored.
        again, second = self.start("5-second-start")
        self.assertNotIn("convert", harness.output_of(again))
        self.assertEqual(self.files(), ["kelvma.dat", "kelvma.dat.jet4"])
        with open(self.database + ".jet4", "rb") as f:
            self.assertEqual(f.read(), self.jet_bytes)
        self.assertLessEqual(harness.differing_fraction(harness.region_pixels(second, PTS_TALL), selectors), SAME,
                             f"the selectors show the remembered grade and unit: {chosen} -> {second}")
        self.assertEqual(self.db("select zd5, zd6 from b5 where zd1=1"), [(GRADE, UNIT)])
        self.assertEqual(self.db("select zd4, zd6 from b2 where zd1=1"), recorded)
        self.leave(again)


if __name__ == "__main__":
    unittest.main(verbosity=2)
