"""The real program started beside a dat/kelvma.dat.new (newer content put
into a build tree or a portable copy): the start-up merges the pupil's record
into it before the window shows, removes kelvma.dat.new and keeps the copy
before as kelvma.dat.old; the last homework's report reads as before, even
for a question the new content reworded.  A damaged kelvma.dat.new leaves
everything as it was and says so in a message box.

Environment: AOSHU_BIN_DIR and E2E_OUTPUT_DIR as for the other end-to-end
tests.
"""

import os
import shutil
import sqlite3
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402

REPORT = harness.LAST_HOMEWORK_REPORT
VERSION = "select name, value from dbinfo where name like '%-%' and name not like 'password%' order by name"
MESSAGE_TITLE = "奥数天天练"


class Upgrade(unittest.TestCase):

    def setUp(self):
        self.session = harness.session_for(self)
        self.database = self.session.program.database
        self.new = self.database + ".new"
        shutil.copyfile(self.database, self.new)
        # The pupil's file: an older content (no versions; question 3002
        # worded otherwise) with a graded homework of grade 3.
        connection = sqlite3.connect(self.database)
        connection.executescript("""
            delete from dbinfo where name in ('schema-version', 'content-sequence', 'content-digest');
            update b1 set zd2 = zd2 || '12' where zd1 = 3002;
            update b1 set zd7 = 6 where zd1 = 3001;
            update b3 set zd3 = 3000 + zd1, zd4 = 'A', zd6 = 1;
            update b2 set zd3 = '2026-12-01 10:00:00', zd4 = '2026-12-01 10:20:00', zd5 = 1200, zd6 = 85;
        """)
        connection.commit()
        connection.close()
        self.report = harness.query(self.database, REPORT)

    def start(self):
        process = self.session.start()
        window, _ = harness.wait_for_window(self.session.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(process))
        return process

    def test_the_new_content_is_merged_and_the_report_kept(self):
        process = self.start()
        output = harness.output_of(process)
        self.assertFalse(os.path.exists(self.new), "kelvma.dat.new is removed once merged")
        self.assertTrue(os.path.exists(self.database + ".old"), "the copy before is kept")
        self.assertIn("merged the new content", output)
        self.assertEqual(harness.query(self.database, VERSION), harness.query(os.path.join(harness.BIN_DIR, "dat", "kelvma.dat"), VERSION),
                         "the versions of the new content")
        self.assertEqual(len(harness.query(self.database, VERSION)), 3)
        self.assertEqual(harness.query(self.database, REPORT), self.report, "the last homework's report")
        self.assertEqual(harness.query(self.database, "select zd7 from b1 where zd1 = 3001"), [(6,)])
        self.assertEqual(harness.query(self.database, "select zd1 from b1 where zd10 = 3"), [(1003002,)])
        self.assertEqual(harness.find_windows(self.session.server, MESSAGE_TITLE), [], "no message")
        self.session.shot("merged-start-screen")
        process.terminate()
        harness.wait_exit(process, timeout=10)

        # The next start needs no merge and drops the backup.
        process = self.start()
        self.assertNotIn("merged", harness.output_of(process))
        self.assertFalse(os.path.exists(self.database + ".old"))
        process.terminate()
        harness.wait_exit(process, timeout=10)

    def test_a_damaged_new_file_leaves_everything_and_says_so(self):
        with open(self.new, "r+b") as f:
            f.truncate(4096)
        before = harness.query(self.database, "select * from b1 order by zd1")
        process = self.start()
        box, _ = harness.wait_for_window(self.session.server, MESSAGE_TITLE, timeout=20)
        self.session.shot("damaged-new-file")
        self.assertIsNotNone(box, "no message box; output:\n" + harness.output_of(process))
        self.assertTrue(harness.query(self.database, "select * from b1 order by zd1") == before, "the pupil's questions")
        self.assertEqual(harness.query(self.database, REPORT), self.report)
        self.assertEqual(harness.query(self.database, VERSION), [])
        self.assertTrue(os.path.exists(self.new))
        process.kill()
        harness.wait_exit(process, timeout=10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
