"""The homework report on the real program, seen from outside on a 1280 x
1024 X display: a homework graded until the answers show, its print preview
printed on a real CUPS queue (pages 2 and 3), then, after a restart, the
report of the last homework turned by buttons, page list and wheel.

The queue is the cups-pdf virtual printer; the test starts CUPS and adds
the queue when it can (as root), and is skipped otherwise.

Environment: AOSHU_BIN_DIR and E2E_OUTPUT_DIR as for every end-to-end test.
"""

import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402
import printer  # noqa: E402

GRADE, UNIT = 3, 0  # 三年级上, first unit: pictures on several pages

# The page viewer: the scroll box SBOX1 (820 wide, as high as the question
# pages) centred in the work area, its bar PYL over its top edge.
PAGE = (229, 195, 1020, 1000)  # page image rows below the bar
SPB1 = (318, 173)   # 上一页
SPB2 = (392, 173)   # 下一页
CYL = (619, 173)    # page list
SPB3 = (891, 173)   # 打印
BACK = (961, 174)   # 返回
TOOL_BUTTON = (1114, 140)  # SpeedButton69: 知识学习 / 打印预览 / 打印作业
# The print dialog fills Panel_cy.
FIRST_PAGE_FIELD = (615, 555)
LAST_PAGE_FIELD = (703, 555)
START_PRINTING = (568, 661)

TIMEOUT = 30


def is_blue(r, g, b):
    return b >= 200 and r <= 90 and g <= 90


class Report(unittest.TestCase):

    def setUp(self):
        self.session = harness.session_for(self)
        self.server = self.session.server
        self.output = self.session.output_dir
        self.database = self.session.program.database
        self.queue = printer.PrintQueue()
        self.addCleanup(self.queue.close)
        self.captures = 0

    # --- screen -----------------------------------------------------------

    def capture(self):
        self.captures += 1
        return harness.capture(self.server, os.path.join(self.output, "captures", f"{self.captures:03d}.png"))

    def keep(self, path, name):
        target = os.path.join(self.output, name + ".png")
        shutil.copy2(path, target)
        print("screenshot:", target, flush=True)
        return target

    def settled(self, rect, condition, what, timeout=TIMEOUT):
        """(capture, pixels of rect) once two captures in a row meet the
        condition and agree on rect."""
        deadline = time.monotonic() + timeout
        previous = None
        path = None
        while time.monotonic() < deadline:
            path = self.capture()
            pixels = harness.region_pixels(path, rect)
            if condition(path, pixels):
                if previous is not None and previous == pixels:
                    return path, pixels
                previous = pixels
            else:
                previous = None
            time.sleep(0.15)
        self.fail(f"{what}: not seen within {timeout} s; last screen {path}; output:\n"
                  + harness.output_of(self.process))

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

    # --- the steps --------------------------------------------------------

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

    def print_pages(self, first, last):
        self.click(SPB3)
        time.sleep(1.0)
        self.keep(self.capture(), "3-print-dialog")
        for field, value in ((FIRST_PAGE_FIELD, first), (LAST_PAGE_FIELD, last)):
            self.click(field, rest_at=None)
            self.keys("ctrl+a", str(value))
        self.click(START_PRINTING)
        window, _ = harness.wait_for_window(self.server, "系统提示", timeout=TIMEOUT)
        self.assertIsNotNone(window, "no 打印结束! box")
        self.keep(self.capture(), "4-printing-finished")
        self.keys("Return")

    def check_printed(self, pages):
        documents, pdfs = self.queue.wait_for_jobs(len(pages))
        labels = []
        for page, document, pdf in zip(pages, documents, pdfs):
            # What the program sent: one page whose text holds its label.
            self.assertEqual(printer.pdf_info(document)[0], 1, document)
            label = re.search(r"第(\d+)页,共(\d+)页", printer.pdf_text(document))
            self.assertIsNotNone(label, f"no page label in {document}")
            self.assertEqual(int(label.group(1)), page)
            labels.append(label.group(0))
            # What the printer made of it: one A4 portrait sheet.
            count, width, height = printer.pdf_info(pdf)
            self.assertEqual(count, 1)
            self.assertAlmostEqual(width, 595, delta=1)
            self.assertAlmostEqual(height, 842, delta=1)
            rendered = printer.render(pdf, os.path.join(self.output, f"printed-page-{page}"))
            print("printed page:", rendered, flush=True)
        print("page labels printed:", labels, flush=True)
        self.assertEqual(len({label.split(",")[1] for label in labels}), 1, "one page count")

    def turn_pages(self):
        """Page moves on the report of the last homework: each page looks
        the same whenever it is shown again."""
        page_one = self.wait_for_page("5-last-homework-page-1")
        self.click(SPB2)
        page_two = self.wait_for_page("6-page-2", unlike=[page_one])
        self.click(SPB1)
        self.assertEqual(self.wait_for_page("7-page-1-again"), page_one)
        # The list: two items down from the first.
        self.click(CYL)
        time.sleep(0.5)
        self.keys("Down", "Down", "Return")
        page_three = self.wait_for_page("8-page-3-from-the-list", unlike=[page_one, page_two])
        # At the top of a page, the fourth upward notch turns back a page.
        self.wheel_up(3)
        self.assertEqual(self.wait_for_page("9-three-notches"), page_three)
        self.wheel_up(1)
        self.assertEqual(self.wait_for_page("10-fourth-notch"), page_two)

    def wait_for_page(self, name, unlike=()):
        path, pixels = self.settled(PAGE, lambda p, px: self.page_shown(p, px) and px not in unlike,
                                    f"the page for {name}")
        self.keep(path, name)
        return pixels

    # --- the test ---------------------------------------------------------

    def test_report_printed_and_browsed(self):
        connection = sqlite3.connect(self.database)
        connection.execute("update b5 set zd5=?, zd6=? where zd1=1", (GRADE, UNIT))
        connection.commit()
        connection.close()

        self.process = self.session.start()
        self.start_screen("1-start-screen")
        self.click(layout.centre(layout.BT1))
        deadline = time.monotonic() + TIMEOUT
        while self.db("select zd3 from b3 where zd1=20")[0][0] == 0:
            self.assertLess(time.monotonic(), deadline, "no homework drawn")
            time.sleep(0.2)
        time.sleep(1.0)
        self.grade_until_the_answers_show()

        # The print preview takes the place of the cards.
        self.click(TOOL_BUTTON)
        self.wait_for_page("2-print-preview")
        self.print_pages(2, 3)
        self.check_printed([2, 3])

        # "退出作业" ends the program.
        self.click(layout.centre(layout.BJS))
        self.assertEqual(harness.wait_exit(self.process, timeout=10), 0, harness.output_of(self.process))

        # Again: the last homework's report from the start screen.
        self.process = self.session.start()
        self.start_screen("1b-start-screen-again")
        self.click(layout.centre(layout.BT2))
        self.turn_pages()
        self.click(BACK)
        self.start_screen("11-back-at-the-start-screen")
        self.assertIsNone(harness.wait_exit(self.process, timeout=0.5), "the program goes on")


if __name__ == "__main__":
    unittest.main()
