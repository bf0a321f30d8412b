"""The learning record on the real program, seen from outside on a 1280 x
1024 X display: 30 days of practice written into the pupil's history, the
record opened with 学习记录, a page turned by button and back by the wheel,
every page printed on a real CUPS queue (cups-pdf), and saved with 保存PDF
into a documents folder that does not exist yet.

The documents folder is the one a user-dirs.dirs file names, in a private
XDG_CONFIG_HOME. The print queue is set up as in test_report.py; without
CUPS the test is skipped.

Environment: AOSHU_BIN_DIR and E2E_OUTPUT_DIR as for every end-to-end test.
"""

import datetime
import glob
import os
import re
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import page_session  # noqa: E402
import printer  # noqa: E402
from page_session import DAILY_POST, TIMEOUT  # noqa: E402

GRADE = 3
RECORD = (DAILY_POST[0] - 110, DAILY_POST[1])  # 学习记录, left of 每日一帖
SPB2 = (392, 173)       # 下一页
SPB3 = (891, 173)       # 打印
SAVE_PDF = (808, 173)   # 保存PDF: the bar's left + 490 + 40
START_PRINTING = (568, 661)


class Progress(page_session.PageTestCase):

    def setUp(self):
        super().setUp()
        self.queue = printer.PrintQueue()
        self.addCleanup(self.queue.close)
        config = tempfile.mkdtemp(prefix="aoshu-e2e-config-")
        self.documents = os.path.join(config, "no-such-folder", "Documents")
        with open(os.path.join(config, "user-dirs.dirs"), "w", encoding="utf-8") as dirs:
            dirs.write(f'XDG_DOCUMENTS_DIR="{self.documents}"\n')
        previous = os.environ.get("XDG_CONFIG_HOME")
        os.environ["XDG_CONFIG_HOME"] = config
        self.addCleanup(lambda: os.environ.__setitem__("XDG_CONFIG_HOME", previous) if previous
                        else os.environ.pop("XDG_CONFIG_HOME", None))

    def write_history(self, days):
        """One homework a day for the last `days` days, on the grade's first
        20 questions; the later questions more often wrong."""
        questions = [row[0] for row in self.db(f"select zd1 from b1 where zd9={GRADE} order by zd1 limit 20")]
        today = datetime.date.today().toordinal() + 1721425  # Julian day number
        for d in range(days):
            right = 8 + d % 12
            self.set_db("insert into history_homework (grade, unit, paper, day, start, finish, seconds, score, grading)"
                        " values (?, 0, null, ?, '2026-12-01 18:00:00', '2026-12-01 18:25:00', ?, ?, 1)",
                        (GRADE, today - d, 900 + d * 10, right * 5))
            homework = self.db("select max(id) from history_homework")[0][0]
            for slot, question in enumerate(questions, start=1):
                self.set_db("insert into history_answer values (?, ?, ?, 'A', ?)",
                            (homework, slot, question, 1 if slot <= right else 0))

    def wait_for_box(self, name):
        window, _ = harness.wait_for_window(self.server, "系统提示", timeout=TIMEOUT)
        self.assertIsNotNone(window, f"no message box for {name}")
        self.keep(self.capture(), name)
        self.keys("Return")

    def test_record_browsed_printed_and_saved(self):
        self.set_db("update b5 set zd5=?, zd6=0 where zd1=1", (GRADE,))
        self.start("1-start-screen")
        self.write_history(30)

        self.click(RECORD)
        page_one = self.wait_for_page("2-record-page-1")
        self.click(SPB2)
        self.wait_for_page("3-record-page-2", unlike=[page_one])
        # At the top of a page the fourth upward notch turns back a page.
        self.wheel_up(4)
        self.assertEqual(self.wait_for_page("4-wheel-back-to-page-1"), page_one)

        # Every page on the print queue.
        self.click(SPB3)
        time.sleep(1.0)
        self.click(START_PRINTING)
        self.wait_for_box("5-printing-finished")
        documents, pdfs = self.queue.wait_for_jobs(1)
        label = re.search(r"第(\d+)页,共(\d+)页", printer.pdf_text(documents[0]))
        self.assertIsNotNone(label, "no page label on the printed page")
        pages = int(label.group(2))
        self.assertGreaterEqual(pages, 2)
        documents, pdfs = self.queue.wait_for_jobs(pages)
        text = "".join(printer.pdf_text(d) for d in documents)
        self.assertIn("学习记录", text)
        self.assertIn("最近30天练习了 30 天", text)
        for pdf in pdfs:
            count, width, height = printer.pdf_info(pdf)
            self.assertEqual(count, 1)
            self.assertAlmostEqual(width, 595, delta=1)
            self.assertAlmostEqual(height, 842, delta=1)
        print("printed:", printer.render(pdfs[0], os.path.join(self.output, "printed-page-1")), flush=True)

        # 保存PDF: all pages in one file in the documents folder, made now.
        self.click(SAVE_PDF)
        self.wait_for_box("6-saved")
        saved = glob.glob(os.path.join(self.documents, "学习记录-*.pdf"))
        self.assertEqual(len(saved), 1, os.listdir(self.documents) if os.path.isdir(self.documents) else "no folder")
        count, width, height = printer.pdf_info(saved[0])
        self.assertEqual(count, pages)
        self.assertAlmostEqual(width, 595, delta=1)
        self.assertAlmostEqual(height, 842, delta=1)
        text = printer.pdf_text(saved[0])
        self.assertIn("学习记录", text)
        self.assertIn(f"第{pages}页,共{pages}页", text)
        print("saved:", printer.render(saved[0], os.path.join(self.output, "saved-page-1")), flush=True)
        self.assertIsNone(harness.wait_exit(self.process, timeout=0.5), "the program goes on")


if __name__ == "__main__":
    unittest.main()
