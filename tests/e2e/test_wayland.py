"""The program on a Wayland desktop without XWayland: a client of weston with
its desktop shell, with and without the shell's panel, at 1280 x 1024 and
1024 x 768.

- The whole window is on the screen: it asks for the whole screen, which
  weston grants above the panel, and lays its controls out to that size:
  the banner at the top, the bottom strip in the last rows, the centre
  panel where the layout puts it for that size.
- A message box (no database) shows inside the full-screen window, where
  weston cannot hide it behind the window.
- A second start ends at once, leaves the running window alone and says on
  stderr that weston cannot bring it forward (weston 10 has no
  xdg-activation); given a launcher's token, it hands the token to the
  running program, which finds no xdg-activation either and says so.
- With input (weston's X11 back end on Xvfb, driven by xdotool): a homework
  started with the pointer, answered with the keyboard, its last card
  scrolled into view and answered with the pointer, and graded.

Screenshots: weston-screenshooter (headless) and the Xvfb screen under
weston (with input), in E2E_OUTPUT_DIR.
"""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import homework_run  # noqa: E402
import layout  # noqa: E402
import weston  # noqa: E402
from cards import (  # noqa: E402
    GRADING_TIMEOUT,
    LETTERS,
    SLOTS,
    START_SCREEN_TIMEOUT,
    Shot,
    is_blue,
    load_questions,
)

SIZES = [(1280, 1024), (1024, 768)]
PANELS = ["top", "none"]
STRIP = 13  # the bottom strip's height; one border row lies below it
BANNER = 120


class Screen(Shot):
    """A capture of a screen of any width, with Shot's pixel access; region
    gives the pixels as (r, g, b) triples."""

    def __init__(self, path, width):
        super().__init__(path)
        self.width = width

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.raw[i:i + 3])

    def region(self, rect):
        left, top, right, bottom = rect
        return [self.pixel(x, y) for y in range(top, bottom + 1) for x in range(left, right + 1)]


def is_panel_dark(r, g, b):
    """weston's panel: dark grey."""
    return max(r, g, b) < 70


def centre_panel(width, height):
    """Panel_cy on the screen (left, top, right, bottom) for a window that
    fills a width x height screen: centred, 50 pixels below the middle,
    inside the window's one-pixel border."""
    left = 1 + (width - 469) // 2
    top = 1 + (height - 333) // 2 + 50
    return left, top, left + 468, top + 332


def start_button(width, height):
    """BT1 "开始作业": 112 x 29 at (37, 265) of Panel_END, 8 inside Panel_cy."""
    left, top, _, _ = centre_panel(width, height)
    return left + 45, top + 273, left + 45 + 111, top + 273 + 28


class WholeWindow(unittest.TestCase):
    """On the headless back end, as a pupil's desktop would show it."""

    def start_screen(self, session, process, width, height, name):
        """The start screen's screenshot, once BT1 shows its caption."""
        deadline = time.monotonic() + START_SCREEN_TIMEOUT
        while True:
            shot = Screen(session.shot(name), width)
            if shot.bbox(start_button(width, height), is_blue) is not None:
                return shot
            self.assertIsNone(process.poll(), "the program ended:\n" + harness.output_of(process))
            self.assertLess(time.monotonic(), deadline, f"no start screen; last screen {shot.path}; output:\n"
                            + harness.output_of(process))
            time.sleep(0.5)

    def assertWholeWindow(self, shot, width, height, what):
        # The panel is covered: the banner reaches the top row.
        top_rows = shot.region((0, 0, width - 1, weston.PANEL_HEIGHT - 1))
        dark = sum(1 for p in top_rows if is_panel_dark(*p)) / len(top_rows)
        self.assertLess(dark, 0.05, f"{what}: the panel shows above the window: {shot.path}")
        # The bottom strip fills the rows above the last one, as on X11
        # (the same artwork, stretched to the width).
        strip = shot.region((1, height - 1 - STRIP, width - 2, height - 2))
        background = shot.region((1, height - 1 - 2 * STRIP - 20, width - 2, height - 2 - STRIP - 20))
        self.assertGreater(harness.differing_fraction(strip, background), 0.5,
                           f"{what}: no bottom strip in the last rows: {shot.path}")
        greenish = sum(1 for r, g, b in strip if g > r and g > b) / len(strip)
        self.assertGreater(greenish, 0.5, f"{what}: the bottom strip is not the green one: {shot.path}")
        # Below the banner, the top bar starts where the layout puts it.
        banner_bottom = shot.region((1, BANNER - 4, width - 2, BANNER))
        work_area = shot.region((1, 200, width - 2, 204))
        self.assertGreater(harness.differing_fraction(banner_bottom, work_area), 0.3,
                           f"{what}: the banner is not at the top: {shot.path}")

    def test_the_whole_window_is_on_the_screen_at_each_size_with_and_without_panel(self):
        for width, height in SIZES:
            for panel in PANELS:
                name = f"{width}x{height}-panel-{panel}"
                with self.subTest(name):
                    session = weston.WestonSession(self.output(), width, height, panel)
                    try:
                        empty = Screen(session.shot(name + "-0-desktop"), width)
                        if panel == "top":
                            panel_rows = empty.region((0, 0, width - 1, weston.PANEL_HEIGHT - 1))
                            self.assertGreater(sum(1 for p in panel_rows if is_panel_dark(*p)) / len(panel_rows),
                                               0.5, f"weston's panel not seen: {empty.path}")
                        process = session.start()
                        shot = self.start_screen(session, process, width, height, name + "-1-start-screen")
                        self.assertWholeWindow(shot, width, height, name)
                        # The centre panel's artwork stands where the layout
                        # computes it from the window's size.
                        art = centre_panel(width, height)
                        self.assertGreater(harness.differing_fraction(
                            shot.region((art[0] + 10, art[1] + 10, art[2] - 10, art[1] + 170)),
                            empty.region((art[0] + 10, art[1] + 10, art[2] - 10, art[1] + 170))), 0.5, shot.path)
                    finally:
                        session.close()

    def test_a_second_start_ends_and_says_why_the_window_stays_behind(self):
        session = weston.session_for(self)
        first = session.start()
        shot = self.start_screen(session, first, 1280, 1024, "1-start-screen")
        began = time.monotonic()
        second = session.start()
        status = harness.wait_exit(second, timeout=5)
        took = time.monotonic() - began
        said = harness.output_of(second)
        self.assertEqual(status, 0, said)
        self.assertLess(took, 3.0, "the second start took long to end")
        self.assertIn("already running", said)
        self.assertIn("no xdg-activation", said)
        after = Screen(session.shot("2-after-second-start"), 1280)
        self.assertEqual(after.region(centre_panel(1280, 1024)), shot.region(centre_panel(1280, 1024)),
                         f"the running window changed: {after.path}")
        self.assertIsNone(first.poll(), harness.output_of(first))
        print(f"second start ended after {took:.2f} s saying: {said.strip()}", flush=True)

        # Started from a launcher that gives it a token: the second start
        # hands it over, and the running program finds weston without
        # xdg-activation and says so.
        third = session.start({"XDG_ACTIVATION_TOKEN": "launcher-token-42"})
        self.assertEqual(harness.wait_exit(third, timeout=5), 0, harness.output_of(third))
        self.assertIn("asked to come forward", harness.output_of(third))
        deadline = time.monotonic() + 5
        while "offers no xdg-activation" not in harness.output_of(first) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertIn("offers no xdg-activation", harness.output_of(first))
        self.assertIsNone(first.poll(), harness.output_of(first))

    def test_a_message_box_shows_over_the_full_screen_window(self):
        """Without its database the program says so in a box and ends when
        it is confirmed: weston keeps a full-screen window above the
        window's own dialogs, so the box must show inside the window."""
        session = weston.session_for(self)
        os.remove(session.program.database)
        process = session.start()
        box = (640 - 100, 512 - 30, 640 + 100, 512 + 30)  # the middle of the screen
        deadline = time.monotonic() + START_SCREEN_TIMEOUT
        while True:
            shot = Screen(session.shot("1-box"), 1280)
            grey = sum(1 for p in shot.region(box) if p == (0xF0, 0xF0, 0xF0)) / len(shot.region(box))
            if grey > 0.5:
                break
            self.assertIsNone(process.poll(), harness.output_of(process))
            self.assertLess(time.monotonic(), deadline, f"no message box in the middle of {shot.path}")
            time.sleep(0.5)
        self.assertIsNone(process.poll(), "the program did not wait for the box:\n" + harness.output_of(process))

    def output(self):
        why = weston.available()
        if why:
            self.skipTest(why)
        path = os.path.join(harness.OUTPUT_DIR, self._testMethodName)
        os.makedirs(path, exist_ok=True)
        return path


class HomeworkOnWeston(homework_run.HomeworkRun):
    """weston on Xvfb: xdotool's pointer and keys reach the program through
    the compositor; screenshots are of the Xvfb screen, which shows
    weston's output."""

    def setUp(self):
        self.session = weston.session_for(self, with_input=True)
        self.output = self.session.output_dir
        self.server = self.session.server
        self.database = self.session.program.database
        self.captures = 0

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "40", *keys], env=self.server.env(), check=True)

    def test_the_last_card_is_answered_and_graded(self):
        self.seed_previous_homework()
        self.questions = load_questions(self.database, homework_run.GRADE, homework_run.UNIT)
        self.assertEqual(len(self.questions), SLOTS)
        keys = {q.slot: q.key for q in self.questions}
        self.process = self.session.start()
        start = self.wait_for_screen(lambda s: s.bbox(layout.BT1, is_blue) is not None,
                                     START_SCREEN_TIMEOUT, "the start screen")
        self.keep(start, "1-start-screen")
        WholeWindow.assertWholeWindow(self, Screen(start.path, layout.SCREEN_WIDTH), layout.SCREEN_WIDTH,
                                      layout.SCREEN_HEIGHT, "with input")
        self.panel_art = harness.region_pixels(start.path, layout.PANEL_ART)

        # The pointer starts the homework.
        self.click_button(layout.BT1)
        cards = self.wait_for_cards()
        self.keep(cards, "2-cards")
        self.origin = self.find_card_column(cards)

        # The keyboard answers every card: a digit, then Tab to the next.
        for q in self.questions:
            self.key(str(keys[q.slot] + 1), "Tab")
        shot, self.scroll = self.settled_scroll()
        self.keep(shot, "3-answered-by-keyboard")

        # The last card's answer row comes into view inside the screen, and
        # the pointer changes its answer.
        last = self.questions[-1]
        other = (keys[SLOTS] + 1) % 4
        shots = self.answer({SLOTS: ("radio", other)}, "4-last-card-by-pointer")
        self.assertLessEqual(self.screen_y(last.panel_top) + 36, layout.SCREEN_HEIGHT - 1 - STRIP,
                             f"the last answer row ends below the card area: {shots[-1]}")

        self.click_button(layout.BJS)
        deadline = time.monotonic() + GRADING_TIMEOUT
        while self.b2()["zd6"] == 0 and time.monotonic() < deadline:
            time.sleep(0.1)
        result = self.wait_for_screen(self.panel_shown, GRADING_TIMEOUT, "the result")
        self.keep(result, "5-result")
        chosen = {**{slot: key for slot, key in keys.items()}, SLOTS: other}
        self.assertSlots(chosen, "b3 after grading")
        self.assertEqual(self.b2()["zd6"], 95, "19 of 20 right")
        print("answers graded:", "".join(LETTERS[chosen[s]] for s in sorted(chosen)), flush=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
