"""A whole homework on the built program (see homework_run.py).

Environment: AOSHU_BIN_DIR (default build/bin), the folder holding aoshu and
dat/kelvma.dat; E2E_OUTPUT_DIR (default build/e2e-output), where the
screenshots go, one folder per test.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import homework_run  # noqa: E402


class Homework(homework_run.HomeworkRun):

    def test_homework_answered_graded_continued_and_graded_again(self):
        self.run_whole_homework()


if __name__ == "__main__":
    unittest.main(verbosity=2)
