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
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402
import page_session  # noqa: E402
import printer  # noqa: E402
from page_session import BACK, PAGE, TIMEOUT, TOOL_BUTTON  # noqa: E402

GRADE, UNIT = 3, 0  # 三年级上, first unit: pictures on several pages

# The viewer bar's buttons.
SPB1 = (318, 173)   # 上一页
SPB2 = (392, 173)   # 下一页
CYL = (619, 173)    # page list
SPB3 = (891, 173)   # 打印
# The print dialog fills Panel_cy.
FIRST_PAGE_FIELD = (615, 555)
LAST_PAGE_FIELD = (703, 555)
START_PRINTING = (568, 661)


class Report(page_session.PageTestCase):

    def setUp(self):
        super().setUp()
        self.queue = printer.PrintQueue()
        self.addCleanup(self.queue.close)

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

    # --- the test ---------------------------------------------------------

    def test_report_printed_and_browsed(self):
        self.homework_with_answers_shown(GRADE, UNIT, "1-start-screen")

        # The print preview takes the place of the cards.
        self.click(TOOL_BUTTON)
        self.wait_for_page("2-print-preview")
        self.print_pages(2, 3)
        self.check_printed([2, 3])

        # "退出作业" ends the program.
        self.click(layout.centre(layout.BJS))
        self.assertEqual(harness.wait_exit(self.process, timeout=10), 0, harness.output_of(self.process))

        # Again: the last homework's report from the start screen.
        self.start("1b-start-screen-again")
        self.click(layout.centre(layout.BT2))
        self.turn_pages()
        self.click(BACK)
        self.start_screen("11-back-at-the-start-screen")
        self.assertIsNone(harness.wait_exit(self.process, timeout=0.5), "the program goes on")


if __name__ == "__main__":
    unittest.main()
