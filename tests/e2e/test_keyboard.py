"""A whole homework with the keyboard alone, on the built program: Tab to
"开始作业" and Enter, answer every card with a key (digits and letters),
Tab from card to card, "我做完了" with Enter, go on and grade until the
answers are shown, open the print preview, turn its pages with Page Down
and Page Up, and leave it with Escape, which there ends the program as
"返回" does.  The focus ring says where the focus is before each Enter.

Environment: as test_homework.py.
"""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from Xlib import X  # noqa: E402

import harness  # noqa: E402
import homework_run  # noqa: E402
import layout  # noqa: E402
from cards import (  # noqa: E402
    EXIT_TIMEOUT,
    GRADING_TIMEOUT,
    LETTERS,
    SLOTS,
    START_SCREEN_TIMEOUT,
    is_blue,
    load_questions,
)

# SpeedButton69 ("打印预览" once the answers are shown), 110 pixels left of BJS.
TOOL_BUTTON = (layout.BJS[0] - 110, layout.BJS[1], layout.BJS[2] - 110, layout.BJS[3])
GRADINGS_TO_ANSWERS = 6  # the sixth grading offers "点击查看作业"


def is_ring(r, g, b):  # the focus ring, magenta
    return r >= 200 and g <= 40 and 100 <= b <= 160


class Keyboard(homework_run.HomeworkRun):

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "40", *keys], env=self.server.env(), check=True)

    def ring_on(self, shot, rect):
        """Whether the focus ring runs along the top edge of rect."""
        left, top, right, _ = rect
        return sum(is_ring(*shot.pixel(x, y)) for y in (top, top + 1) for x in range(left, right + 1)) > right - left

    def ring_now(self, rect):
        """ring_on, read straight from the screen (no screenshot file)."""
        left, top, right, _ = rect
        width = right - left + 1
        with harness.x_connection(self.server) as connection:
            image = connection.screen().root.get_image(left, top, width, 2, X.ZPixmap, 0xFFFFFFFF)
        data = image.data  # 32-bit BGRX pixels
        pixels = [(data[i + 2], data[i + 1], data[i]) for i in range(0, len(data), 4)]
        return sum(is_ring(*p) for p in pixels) > right - left

    def wait_for_ring(self, rect, shown, timeout, what):
        deadline = time.monotonic() + timeout
        while self.ring_now(rect) != shown:
            if time.monotonic() > deadline:
                self.fail(f"{what}: not seen within {timeout} s; screen {self.capture().path}")
            time.sleep(0.05)

    def tab_to(self, rect, what, limit=60):
        """Presses Tab until the ring stands on rect; returns the presses."""
        for presses in range(limit):
            for _ in range(3):  # the key's repaint may still be on its way
                if self.ring_now(rect):
                    return presses
                time.sleep(0.03)
            self.key("Tab")
        self.fail(f"Tab never reached {what}; last screen {self.capture().path}")

    def wait_for_grading(self, count):
        """The result on Panel_cy: the grading gives BT1 the focus at its end."""
        return self.wait_for_screen(lambda s: self.panel_shown(s) and self.ring_on(s, layout.BT1_WIDE),
                                    GRADING_TIMEOUT, f"the result of grading {count}")

    def test_a_whole_homework_with_the_keyboard(self):
        began = time.monotonic()
        self.seed_previous_homework()
        self.questions = load_questions(self.database, homework_run.GRADE, homework_run.UNIT)
        self.assertEqual(len(self.questions), SLOTS)
        process = self.process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(process))
        start = self.wait_for_screen(lambda s: s.bbox(layout.BT1, is_blue) is not None,
                                     START_SCREEN_TIMEOUT, "the start screen")
        self.panel_art = harness.region_pixels(start.path, layout.PANEL_ART)
        self.keep(start, "1-start-screen")

        # Tab to "开始作业" and press Enter.
        self.tab_to(layout.BT1, "开始作业")
        self.keep(self.capture(), "2-focus-on-start")
        self.key("Return")
        cards = self.wait_for_cards()
        self.keep(cards, "3-cards-first-question-focused")

        # The first question has the focus: a key per card, Tab to the next.
        # Odd slots by digit, even ones by letter; slot 20 is left open.
        keys = {q.slot: q.key for q in self.questions}
        for q in self.questions:
            if q.slot < SLOTS:
                option = keys[q.slot]
                self.key(str(option + 1) if q.slot % 2 else LETTERS[option].lower(), "Tab")
        self.keep(self.capture(), "4-answered")
        chosen = {slot: key for slot, key in keys.items() if slot < SLOTS}

        # "我做完了" (BJS) with Enter.
        self.tab_to(layout.BJS, "我做完了")
        self.key("Return")
        result = self.wait_for_grading(1)
        self.keep(result, "5-first-result")
        self.assertSlots(chosen, "b3 after the first grading")
        self.assertEqual(self.b2()["zd6"], 95, "19 of 20 right")

        # Enter goes on; Tab from the card in view reaches BJS again in the
        # same number of presses each round.  The ring alone says when a
        # step is done: it leaves BT1 with the panel and comes back to it
        # at the end of the grading.
        presses = None
        for grading in range(2, GRADINGS_TO_ANSWERS + 1):
            self.key("Return")
            self.wait_for_ring(layout.BT1_WIDE, False, 10, f"the cards before grading {grading}")
            if presses is None:
                presses = self.tab_to(layout.BJS, "BJS from the cards")
            else:
                self.key(*(["Tab"] * presses))
                self.wait_for_ring(layout.BJS, True, 2, f"BJS before grading {grading}")
            self.key("Return")
            self.wait_for_ring(layout.BT1_WIDE, True, GRADING_TIMEOUT, f"the result of grading {grading}")
        result = self.wait_for_grading(GRADINGS_TO_ANSWERS)
        self.keep(result, "6-sixth-result")

        # "点击查看作业": the answers; then "打印预览" and its pages.
        self.key("Return")
        self.wait_for_screen(lambda s: not self.panel_shown(s), 10, "the answers")
        self.tab_to(TOOL_BUTTON, "打印预览")
        answers = self.capture()
        self.keep(answers, "7-answers-focus-on-print-preview")
        self.key("Return")
        report = self.wait_for_screen(lambda s: not self.panel_shown(s) and self.find_card_column(s) is None,
                                      20, "the report's first page")
        self.keep(report, "8-report-page-1")
        # Page Down to the bottom, once more to page 2, Page Up back to the
        # top and once more to page 1: the page shows what it showed.
        self.key("Next", "Next")
        time.sleep(0.5)
        page2 = self.capture()
        self.keep(page2, "9-report-page-2")
        self.key("Prior", "Prior")
        time.sleep(0.5)
        again = self.capture()
        self.keep(again, "10-report-page-1-again")
        self.assertNotEqual(page2.region(layout.PANEL_CY), report.region(layout.PANEL_CY), "Page Down turned no page")
        self.assertEqual(again.region(layout.PANEL_CY), report.region(layout.PANEL_CY), "Page Up did not go back")

        # Escape does what "返回" does: with "退出作业" on BJS, it ends the program.
        self.key("Escape")
        self.assertEqual(harness.wait_exit(process, timeout=EXIT_TIMEOUT), 0, harness.output_of(process))
        print(f"keyboard homework took {time.monotonic() - began:.1f} s", flush=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
