"""Start-up, single instance, refused close requests and the confirmed exit,
seen from outside the program on a 1280 x 1024 X display.

Environment: AOSHU_BIN_DIR (default build/bin), the folder holding aoshu and
dat/kelvma.dat; E2E_OUTPUT_DIR (default build/e2e-output), where the
screenshots go, one folder per test.
"""

import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402


# Share of a button's pixels that must change when the button appears over
# the panel artwork, when only its caption changes, and at most for "same".
APPEARS = 0.05
RECAPTIONED = 0.01
SAME = 0.005

# The start screen comes with the third one-second tick after the window is
# shown; we see the window a few tens of milliseconds after it is shown.
EARLIEST_START_SCREEN = 2.5
LATEST_START_SCREEN = 4.5
START_SCREEN_SETTLED = 5.0


class StartUp(unittest.TestCase):

    def setUp(self):
        self.session = harness.session_for(self)
        self.output = self.session.output_dir
        self.server = self.session.server

    # --- helpers ----------------------------------------------------------

    def start_program(self):
        process = self.session.start()
        window, shown_at = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        if window is None:
            self.fail("no window titled %r appeared; exit status %s; output:\n%s" % (
                layout.TITLE, process.poll(), harness.output_of(process)))
        return process, window, shown_at

    def wait_for_start_screen(self, shown_at):
        harness.sleep_until(shown_at + START_SCREEN_SETTLED)

    def click(self, rect):
        x, y = layout.centre(rect)
        harness.click(self.server, x, y, rest_at=layout.POINTER_REST)
        time.sleep(0.7)

    def region(self, shot, rect):
        return harness.region_pixels(shot, rect)

    def assertChanged(self, before, after, rect, least, what):
        fraction = harness.differing_fraction(self.region(before, rect), self.region(after, rect))
        self.assertGreater(fraction, least, f"{what}: {before} -> {after}")

    def assertUnchanged(self, before, after, rect, what):
        fraction = harness.differing_fraction(self.region(before, rect), self.region(after, rect))
        self.assertLessEqual(fraction, SAME, f"{what}: {before} -> {after}")

    def assertStillRunning(self, process, window):
        self.assertIsNone(process.poll(), "the program ended:\n" + harness.output_of(process))
        self.assertIn(window, harness.find_windows(self.server, layout.TITLE))

    # --- tests ------------------------------------------------------------

    def test_window_is_frameless_full_screen_of_class_tmainform(self):
        _, window, _ = self.start_program()
        facts = harness.window_facts(self.server, window)
        self.assertEqual(facts["class"][1] if facts["class"] else None, layout.WINDOW_CLASS)
        self.assertEqual((facts["x"], facts["y"], facts["width"], facts["height"]),
                         (0, 0, layout.SCREEN_WIDTH, layout.SCREEN_HEIGHT))
        self.assertTrue(harness.is_frameless(facts), f"decoration hints {facts['motif_hints']}")

    def test_start_screen_comes_with_the_third_tick(self):
        _, _, shown_at = self.start_program()
        samples = self.watch_screen(shown_at, first=1.0, last=START_SCREEN_SETTLED + 0.5)
        waiting = self.keep(samples, 1.5, "waiting-1.5s")
        started = self.keep(samples, START_SCREEN_SETTLED, "start-screen")

        for at, shot in samples:
            if at < EARLIEST_START_SCREEN:
                self.assertUnchanged(waiting, shot, layout.BT1, f"BT1 at {at:.1f} s")
                self.assertUnchanged(waiting, shot, layout.BEND, f"BEND at {at:.1f} s")
        changed_at = next((at for at, shot in samples
                           if harness.differing_fraction(self.region(waiting, layout.BT1),
                                                         self.region(shot, layout.BT1)) > APPEARS),
                          None)
        self.assertIsNotNone(changed_at, "BT1 never appeared")
        self.assertGreaterEqual(changed_at, EARLIEST_START_SCREEN)
        self.assertLessEqual(changed_at, LATEST_START_SCREEN)
        print(f"start screen seen {changed_at:.2f} s after the window", flush=True)
        for rect, name in ((layout.BT1, "BT1"), (layout.BT2, "BT2"), (layout.BEND, "BEND")):
            self.assertChanged(waiting, started, rect, APPEARS, f"{name} appears")

    def test_second_start_ends_at_once_without_a_window(self):
        first, window, shown_at = self.start_program()
        self.wait_for_start_screen(shown_at)
        second = self.session.start()
        most_windows = 0
        deadline = time.monotonic() + 2.0
        while second.poll() is None and time.monotonic() < deadline:
            most_windows = max(most_windows, len(
                harness.find_windows(self.server, layout.TITLE, only_visible=False)))
            time.sleep(0.05)
        self.assertEqual(harness.wait_exit(second, timeout=0.1), 0,
                         "second start: " + harness.output_of(second))
        self.assertLessEqual(most_windows, 1)
        self.assertEqual(harness.find_windows(self.server, layout.TITLE, only_visible=False),
                         [window])
        self.assertStillRunning(first, window)

    def test_close_requests_leave_the_window_open(self):
        process, window, shown_at = self.start_program()
        harness.sleep_until(shown_at + 1.0)
        harness.send_close_request(self.server, window)  # during the start-up wait
        self.wait_for_start_screen(shown_at)
        before = self.session.shot("start-screen")
        harness.send_close_request(self.server, window)  # on the start screen
        time.sleep(1.5)
        after = self.session.shot("after-close-request")
        self.assertStillRunning(process, window)
        self.assertUnchanged(before, after, layout.BT1, "BT1")
        self.assertUnchanged(before, after, layout.BT2, "BT2")

    def test_corner_button_asks_then_exits_without_counting_questions(self):
        counts = "select zd1, zd7 from b1 order by zd1"
        counts_before = harness.query(self.session.program.database, counts)
        self.assertTrue(counts_before, "b1 holds no questions")
        process, window, shown_at = self.start_program()
        self.wait_for_start_screen(shown_at)
        start = self.session.shot("1-start-screen")

        self.click(layout.BEND)
        asking = self.session.shot("2-exit-confirmation")
        self.assertChanged(start, asking, layout.BT1, RECAPTIONED, "BT1 becomes 确认退出")
        self.assertChanged(start, asking, layout.BT2, RECAPTIONED, "BT2 becomes 放弃退出")

        self.click(layout.BT2)
        back = self.session.shot("3-exit-cancelled")
        self.assertStillRunning(process, window)
        self.assertUnchanged(start, back, layout.BT1, "BT1 is 开始作业 again")
        self.assertUnchanged(start, back, layout.BT2, "BT2 is 上次作业 again")

        self.click(layout.BEND)
        asking_again = self.session.shot("4-exit-confirmation-again")
        self.assertUnchanged(asking, asking_again, layout.BT1, "BT1 is 确认退出 again")

        x, y = layout.centre(layout.BT1)
        harness.click(self.server, x, y)
        self.assertEqual(harness.wait_exit(process, timeout=5), 0, harness.output_of(process))
        self.assertEqual(harness.query(self.session.program.database, counts), counts_before)

    # --- screen watching --------------------------------------------------

    def watch_screen(self, shown_at, first, last, period=0.2):
        """Screenshots [(seconds after shown, path)] taken every period, kept
        in the output folder's samples/."""
        folder = os.path.join(self.output, "samples")
        samples = []
        moment = shown_at + first
        while moment <= shown_at + last:
            harness.sleep_until(moment)
            at = time.monotonic() - shown_at
            path = os.path.join(folder, f"{at:05.2f}.png")
            samples.append((at, harness.capture(self.server, path)))
            moment = max(moment + period, time.monotonic())
        return samples

    def keep(self, samples, at, name):
        """Copies the first sample taken at or after `at` seconds into the
        output folder."""
        source = next(path for when, path in samples if when >= at)
        target = os.path.join(self.output, name + ".png")
        os.makedirs(self.output, exist_ok=True)
        shutil.copy2(source, target)
        print("screenshot:", target, flush=True)
        return target


if __name__ == "__main__":
    unittest.main(verbosity=2)
