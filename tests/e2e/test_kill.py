"""The short kill test (about 20 kills); scripts/kill-test.sh runs the long one."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import killtest  # noqa: E402


class KillTest(unittest.TestCase):

    def test_nothing_is_lost_or_mixed_by_twenty_kills(self):
        for path in (os.path.join(harness.BIN_DIR, "aoshu"), os.path.join(harness.BIN_DIR, "dat", "kelvma.dat")):
            self.assertTrue(os.path.exists(path), f"missing {path}: build the program first")
        kills, cycles, failures = killtest.run(kills=20, max_seconds=420,
                                               report=lambda t: print(t, flush=True))
        self.assertEqual(failures, [])
        self.assertGreaterEqual(kills, 15, f"only {kills} kills in {cycles} cycles")


if __name__ == "__main__":
    unittest.main(verbosity=2)
