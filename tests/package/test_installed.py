"""The installed package, started the way the desktop's menu starts it: the
Exec line of /usr/share/applications/aoshu.desktop, run as an ordinary user
with a home folder of its own on a private Xvfb display.

The first start copies the installed database into the user's data folder
and shows the start screen.  The second start works on that copy: the whole
homework of tests/e2e/homework_run.py, seen on the screen and checked in
the user's file.  The installed database stays as it was.

Run by install_test.sh after `apt-get install`.  Environment:
AOSHU_E2E_USER, the ordinary user; AOSHU_E2E_HOME, an empty folder that user
owns; E2E_OUTPUT_DIR, where the screenshots go.
"""

import os
import pwd
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402
import homework_run  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from installed import (  # noqa: E402
    HOME,
    INSTALLED_DATABASE,
    OUTPUT_DIR,
    USER,
    InstalledSession,
    content,
    sha256,
)

class InstalledHomework(homework_run.HomeworkRun):

    def setUp(self):
        self.assertTrue(HOME and os.path.isdir(HOME), "AOSHU_E2E_HOME must name an empty folder")
        self.assertFalse(os.listdir(HOME), f"{HOME} is not empty")
        output = os.path.join(OUTPUT_DIR, self._testMethodName)
        shutil.rmtree(output, ignore_errors=True)
        os.makedirs(output)
        self.session = InstalledSession(output)
        self.addCleanup(self.session.close)
        self.output = output
        self.server = self.session.server
        self.database = self.session.program.database
        self.captures = 0
        self.installed = sha256(INSTALLED_DATABASE)
        self.installed_content = content(INSTALLED_DATABASE)

    def first_start(self):
        """Starts the program once: the user's copy appears, holding what the
        installed database holds, and the start screen shows; then ends it."""
        process = self.process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; " + self.program_state())
        shot = self.wait_for_screen(lambda s: s.bbox(layout.BT1, cards.is_blue) is not None,
                                    cards.START_SCREEN_TIMEOUT, "the start screen")
        self.keep(shot, "0-first-start")
        self.assertTrue(os.path.isfile(self.database), "no copy in the user's data folder")
        self.assertEqual(os.stat(self.database).st_uid, pwd.getpwnam(USER).pw_uid)
        # The copy holds every table of the installed database as it is, and
        # beside them the pupil's history, still empty.
        copy = content(self.database)
        self.assertEqual({t: copy.get(t) for t in self.installed_content}, self.installed_content, "the user's copy")
        self.assertEqual(copy.get("history_homework"), [], "history in a fresh copy")
        self.assertEqual(copy.get("history_answer"), [], "answers in a fresh copy")
        # Besides the copy, only its write-ahead log and index while it is open.
        self.assertEqual(sorted(f for f in os.listdir(os.path.dirname(self.database))
                                if not f.endswith(("-wal", "-shm"))), ["kelvma.dat"])
        process.terminate()
        self.assertIsNotNone(harness.wait_exit(process, timeout=10))

    def test_homework_answered_graded_continued_and_graded_again(self):
        self.first_start()
        # The second start must keep the copy, which the homework test first
        # seeds with a remembered unit and an earlier homework.
        self.run_whole_homework()
        self.assertNotEqual(content(self.database), self.installed_content, "the user's copy after the homework")
        self.assertEqual(sha256(INSTALLED_DATABASE), self.installed, "the installed database")
        self.assertEqual(os.stat(INSTALLED_DATABASE).st_mode & 0o777, 0o444)


if __name__ == "__main__":
    unittest.main(verbosity=2)
