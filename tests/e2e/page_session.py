"""What the end-to-end tests of pages share: a program on Xvfb, screenshots
that have settled, the start screen, page areas, and a homework graded until
its answers show.
"""

import sqlite3
import subprocess
import time
import unittest

import harness
import layout

TIMEOUT = 30

# The page box SBOX1 on a 1280 x 1024 screen, its bar PYL over its top edge.
PAGE = (229, 195, 1020, 1000)  # page rows below the bar
BACK = (961, 174)              # 返回 on the bar
TOOL_BUTTON = (1114, 140)      # SpeedButton69: 知识学习 / 打印预览 / 打印作业
DAILY_POST = (1004, 140)       # SpeedButton6: 每日一帖


def is_blue(r, g, b):
    return b >= 200 and r <= 90 and g <= 90


class PageTestCase(unittest.TestCase):
    """One program copy on its own X server; subclasses set
    self.process when they start it."""

    def setUp(self):
        self.session = harness.session_for(self)
        self.server = self.session.server
        self.output = self.session.output_dir
        self.database = self.session.program.database
        self.captures = 0
        self.process = None

    def start(self, name):
        self.process = self.session.start()
        self.start_screen(name)

    def set_db(self, sql, parameters=()):
        connection = sqlite3.connect(self.database)
        connection.execute(sql, parameters)
        connection.commit()
        connection.close()

    def wait_for_page(self, name, unlike=()):
        path, pixels = self.settled(PAGE, lambda p, px: self.page_shown(p, px) and px not in unlike,
                                    f"the page for {name}")
        self.keep(path, name)
        return pixels

    # --- screen -----------------------------------------------------------

    def capture(self):
        return harness.next_capture(self)

    def keep(self, path, name):
        return harness.keep(self.output, path, name)

    def settled(self, rect, condition, what, timeout=TIMEOUT):
        """(capture, pixels of rect) once two captures in a row meet the
        condition and agree on rect."""
        first, last = harness.wait_for_settled(
            lambda: (lambda path: (path, harness.region_pixels(path, rect)))(self.capture()),
            lambda shot: condition(*shot), lambda a, b: a[1] == b[1], timeout, pause=0.15)
        if first is None:
            self.fail(f"{what}: not seen within {timeout} s; last screen {last[0] if last else None}; output:\n"
                      + (harness.output_of(self.process) if self.process else "not started"))
        return last

    def page_shown(self, path, pixels):
        """A page on screen: nearly all of the page area is white or the
        page's pale watermark."""
        light = sum(1 for p in pixels if min(p) >= 200)
        return light / len(pixels) > 0.8

    def panel_shown(self, path):
        return harness.differing_fraction(harness.region_pixels(path, layout.PANEL_ART), self.panel_art) < 0.02

    def start_screen(self, name):
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(self.process))
        path, _ = self.settled(layout.BT2, lambda p, px: any(is_blue(*c) for c in px), "the start screen")
        self.keep(path, name)
        self.panel_art = harness.region_pixels(path, layout.PANEL_ART)

    def click(self, point, rest_at=layout.POINTER_REST):
        harness.click(self.server, point[0], point[1], rest_at=rest_at)

    def keys(self, *names):
        subprocess.run(["xdotool", "key", *names], env=self.server.env(), check=True)

    def wheel_up(self, notches, over=(600, 600)):
        for _ in range(notches):
            subprocess.run(["xdotool", "mousemove", "--sync", str(over[0]), str(over[1]), "click", "4"],
                                   env=self.server.env(), check=True)
            time.sleep(0.3)

    def db(self, sql):
        return harness.query(self.database, sql)

    def homework_with_answers_shown(self, grade, unit, name):
        """Starts the program on the grade and unit, draws a homework and
        grades it, unanswered, until its answers show."""
        self.set_db("update b5 set zd5=?, zd6=? where zd1=1", (grade, unit))
        self.start(name)
        self.click(layout.centre(layout.BT1))
        deadline = time.monotonic() + TIMEOUT
        while self.db("select zd3 from b3 where zd1=20")[0][0] == 0:
            self.assertLess(time.monotonic(), deadline, "no homework drawn")
            time.sleep(0.2)
        time.sleep(1.0)
        self.grade_until_the_answers_show()

    def grade_until_the_answers_show(self):
        """Six gradings of an unanswered homework; the sixth offers the
        answers, which count every question once more in b1.zd7."""
        for grading in range(1, 7):
            self.click(layout.centre(layout.BJS))
            deadline = time.monotonic() + TIMEOUT
            while not self.panel_shown(self.capture()):
                self.assertLess(time.monotonic(), deadline, f"grading {grading} not shown")
                time.sleep(0.2)
            time.sleep(2.0)  # the result follows a one-second pause
            counted = self.db("select sum(zd7) from b1")[0][0]
            self.click(layout.centre(layout.BT1_WIDE))
            deadline = time.monotonic() + TIMEOUT
            while self.panel_shown(self.capture()):
                self.assertLess(time.monotonic(), deadline, f"result {grading} stays on screen")
                time.sleep(0.2)
        deadline = time.monotonic() + TIMEOUT
        while self.db("select sum(zd7) from b1")[0][0] != counted + 20:
            self.assertLess(time.monotonic(), deadline, "the answers were not shown")
            time.sleep(0.2)

