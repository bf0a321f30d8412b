"""The installed package after an upgrade over the previous one, on the home
folder the previous package's test left (a homework done, a report to read).

The first start after the upgrade merges the pupil's record into the new
content: the copy then carries the installed content version, the last
homework's report reads as before (the same texts, keys and answers), the
counters and the history are kept, every drawable question has a schedule
row, and the next homework draws the new content's questions.

Run by install_test.sh after the upgrade; the environment is that of
test_installed.py.
"""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402
import homework_run  # noqa: E402
import installed  # noqa: E402

REPORT = harness.LAST_HOMEWORK_REPORT
VERSION = "select value from dbinfo where name = 'content-sequence'"


class Upgraded(homework_run.HomeworkRun):
    """The homework test's screen helpers on the installed program."""

    def setUp(self):
        self.output = os.path.join(installed.OUTPUT_DIR, "upgraded")
        os.makedirs(self.output, exist_ok=True)
        self.session = installed.InstalledSession(self.output)
        self.addCleanup(self.session.close)
        self.server = self.session.server
        self.captures = 0
        self.database = self.session.program.database
        self.assertTrue(os.path.isfile(self.database), "no copy left by the previous package's test")

    def test_the_record_is_kept_and_the_new_questions_are_drawn(self):
        new_database = installed.INSTALLED_DATABASE
        self.assertEqual(harness.query(self.database, VERSION), [], "the previous package's copy has no content version")
        report = harness.query(self.database, REPORT)
        self.assertEqual(len(report), 20)
        counters = dict(harness.query(self.database, "select zd1, zd7 from b1"))
        history = harness.query(self.database, "select * from history_homework order by id")
        answers = harness.query(self.database, "select * from history_answer order by homework, slot")
        self.assertTrue(history and answers, "the previous package's test recorded no homework")
        old_texts = dict(harness.query(self.database, "select zd1, zd2 from b1"))

        started = time.monotonic()
        process = self.process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(process))
        deadline = time.monotonic() + cards.START_SCREEN_TIMEOUT
        while harness.query(self.database, VERSION) != harness.query(new_database, VERSION) and time.monotonic() < deadline:
            time.sleep(0.1)
        print(f"merged {time.monotonic() - started:.1f} s after the start", flush=True)
        self.assertEqual(harness.query(self.database, VERSION), harness.query(new_database, VERSION), "the copy's content version")
        self.assertTrue(os.path.isfile(self.database + ".old"), "the copy before the merge is kept")

        self.assertEqual(harness.query(self.database, REPORT), report, "the last homework's report")
        merged = dict(harness.query(self.database, "select zd1, zd7 from b1 where zd10 <> 3"))
        self.assertEqual({i: merged[i] for i in merged if i in counters},
                         {i: counters[i] for i in merged if i in counters}, "the counters by id")
        self.assertEqual(harness.query(self.database, "select * from history_homework order by id"), history)
        self.assertEqual(harness.query(self.database, "select * from history_answer order by homework, slot"), answers)
        self.assertEqual(harness.query(self.database, "select count(*) from question_schedule"),
                         harness.query(new_database, "select count(*) from b1 where zd10 in (1, 2) and zd17 is null"))

        # The next homework draws the new content's questions.
        start = self.wait_for_screen(lambda shot: shot.bbox(layout.BT1, cards.is_blue) is not None,
                                     cards.START_SCREEN_TIMEOUT, "the start screen")
        self.keep(start, "1-start-screen-after-the-upgrade")
        before = harness.query(self.database, "select zd3 from b3 order by zd1")
        self.click_button(layout.BT1)
        deadline = time.monotonic() + cards.EXTRACTION_TIMEOUT
        while harness.query(self.database, "select zd3 from b3 order by zd1") == before and time.monotonic() < deadline:
            time.sleep(0.1)
        drawn = harness.query(self.database, "select b1.zd1, b1.zd2 from b3 join b1 on b1.zd1 = b3.zd3 order by b3.zd1")
        new_texts = dict(harness.query(new_database, "select zd1, zd2 from b1"))
        self.assertEqual(len(drawn), 20, "a homework of 20 questions")
        self.assertEqual({i: t for i, t in drawn}, {i: new_texts.get(i) for i, _ in drawn},
                         "the homework's questions are the new content's")
        # The previous content held only the 20 questions of grade 3 the
        # pupil has seen; the new ones are unseen and come first.
        self.assertEqual([i for i, _ in drawn if i in old_texts], [], "questions of the previous content drawn")
        process.kill()
        process.wait(timeout=10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
