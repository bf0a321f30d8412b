"""The learning pages on the real program, seen from outside on a 1280 x
1024 X display: a unit's learning page from the small button beside the unit
list and from "知识学习", two daily posts in turn, the fixed post for a unit
without a learning page, and the analysis of a question with a picture over
a graded homework.

Environment: AOSHU_BIN_DIR and E2E_OUTPUT_DIR as for every end-to-end test.
"""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402
import page_session  # noqa: E402
import cards  # noqa: E402
from page_session import BACK, DAILY_POST, PAGE, TOOL_BUTTON  # noqa: E402

GRADE = 3         # 三年级上
UNIT = 0          # 速算与巧算: a learning page with pictures
EMPTY_UNIT = 8    # 数字谜: status "空"
SP1 = (677, 636)  # the small unit-learning button beside the unit list
ANALYSIS_SLOT = 5  # question 3005: its analysis has a picture


class Learning(page_session.PageTestCase):

    def counts(self):
        return dict(self.db("select zd1, zd4 from b4 where zd3=12"))

    def back_to_start(self, name, how):
        how()
        self.start_screen(name)

    def test_learning_pages(self):
        self.set_db("update b5 set zd5=?, zd6=? where zd1=1", (GRADE, UNIT))
        self.start("1-start-screen")

        # The unit's page from the small button, then from "知识学习".
        self.click(SP1)
        unit = self.wait_for_page("2-unit-page-from-the-small-button")
        self.back_to_start("3-back", lambda: self.click(BACK))
        self.click(TOOL_BUTTON)
        self.assertEqual(self.wait_for_page("4-unit-page-from-the-tool-button"), unit)
        self.back_to_start("5-back", lambda: harness.subprocess.run(
            ["xdotool", "mousemove", "--sync", "600", "600", "click", "--repeat", "2", "--delay", "80", "1"],
            env=self.server.env(), check=True))

        # Two daily posts: the least shown first, so two different ones.
        before = self.counts()
        self.click(DAILY_POST)
        first = self.wait_for_page("6-daily-post", unlike=[unit])
        self.back_to_start("7-back", lambda: self.click(layout.centre(layout.BJS)))
        self.click(DAILY_POST)
        second = self.wait_for_page("8-another-daily-post", unlike=[unit, first])
        self.back_to_start("9-back", lambda: self.click(layout.centre(layout.BJS)))
        after = self.counts()
        raised = {post for post in after if after[post] != before[post]}
        self.assertEqual(len(raised), 2, f"counts before {before}, after {after}")
        self.assertTrue(all(after[p] == before[p] + 1 for p in raised))
        print("posts shown:", sorted(raised), flush=True)

        # "开始作业" on a unit without a learning page: the fixed post 201.
        self.click(layout.BEND)
        time.sleep(1.0)
        self.click(layout.centre(layout.BT1))
        self.assertEqual(harness.wait_exit(self.process, timeout=10), 0)
        self.set_db("update b5 set zd5=?, zd6=? where zd1=1", (GRADE, EMPTY_UNIT))
        slots = self.db("select zd3 from b3 order by zd1")
        fixed = self.counts()[201]
        self.start("10-start-screen-empty-unit")
        self.click(layout.centre(layout.BT1))
        # The rotation may have shown the fixed post already: then one of the
        # two pages above is the fixed post's.
        self.wait_for_page("11-fixed-post", unlike=[unit] if 201 in raised else [unit, first, second])
        self.assertEqual(self.counts()[201], fixed + 1)
        self.assertEqual(self.db("select zd3 from b3 order by zd1"), slots, "no homework drawn")
        self.assertEqual(self.db("select zd5, zd6 from b5"), [(GRADE, EMPTY_UNIT)])
        self.click(layout.BEND)  # over a page: ends the program at once
        self.assertEqual(harness.wait_exit(self.process, timeout=10), 0)

        # A graded homework, its answers, and an analysis with a picture.
        self.homework_with_answers_shown(GRADE, UNIT, "12-start-screen")
        answers = self.capture()
        self.keep(answers, "13-answers")
        # The wheel beside the cards brings the question's answer row into
        # view; where the cards stand is measured from the answer rows.
        questions = cards.load_questions(self.database, GRADE, UNIT)
        origin = cards.find_card_column(cards.Shot(answers))
        self.assertIsNotNone(origin, "the card column is not on screen")
        harness.subprocess.run(["xdotool", "mousemove", "--sync", "1150", "600", "click", "--repeat", "8",
                                "--delay", "150", "5"], env=self.server.env(), check=True)
        time.sleep(1.0)
        scrolled = self.capture()
        scroll = cards.scroll_of(cards.Shot(scrolled), questions, origin)
        self.assertIsNotNone(scroll, f"the answer rows fit no scroll position; screen {scrolled}")
        panel = questions[ANALYSIS_SLOT - 1].panel_top - scroll
        button = (origin[0] + cards.CARD_LEFT + 637, origin[1] + panel + 18)
        print("scrolled by", scroll, "; analysis button at", button, flush=True)
        self.assertLess(button[1], cards.VIEW_BOTTOM, "the analysis button is out of view")
        self.assertGreater(button[1], origin[1], "the analysis button is out of view")
        shown = harness.region_pixels(scrolled, PAGE)
        self.click(button)
        analysis = self.wait_for_page("14-analysis-with-picture", unlike=[shown])
        # Back to the homework as it was.
        self.click(layout.centre(layout.BJS))
        path, pixels = self.settled(PAGE, lambda p, px: px == shown, "the answers again")
        self.keep(path, "15-answers-again")
        self.assertNotEqual(analysis, pixels)


if __name__ == "__main__":
    unittest.main()
