"""Two programs on one file, a few homeworks each (scripts/two-programs.sh
runs 30 each)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import twoprograms  # noqa: E402


class TwoPrograms(unittest.TestCase):

    def test_two_programs_share_one_file_without_a_lost_write(self):
        self.assertTrue(os.path.exists(os.path.join(harness.BIN_DIR, "aoshu")), "build the program first")
        results, problems = twoprograms.run(3, report=lambda t: print(t, flush=True))
        self.assertEqual(problems, [])
        self.assertEqual(results, {"first": 3, "second": 3})


if __name__ == "__main__":
    unittest.main(verbosity=2)
