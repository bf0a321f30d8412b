"""A whole homework on the real program, seen from outside on a 1280 x 1024
X display, as the end-to-end tests of the built and of the installed
program run it: start it from the start screen, answer by radio button and
by clicking on the cards, finish, continue, change answers, finish again,
and leave through the corner button; the database file is checked after
every step.

The answers come from the question bank itself: the test unscrambles the
answer keys, works out where every card, answer row and option marker
stands from the question texts and picture sizes, and checks those
positions against the screen before it clicks.
"""

import datetime
import math
import sqlite3
import subprocess
import time
import unittest

import harness
import layout
from cards import (
    ANSWER_PANEL_HEIGHT,
    BEXZ_LEFT,
    CARD_LEFT,
    EXIT_TIMEOUT,
    EXTRACTION_TIMEOUT,
    GRADING_TIMEOUT,
    INDICATOR_DX,
    INDICATOR_DY,
    LETTERS,
    LINE_STEP,
    POINTER_OFF_CARDS,
    RADIO_FIRST,
    RADIO_GROUP_LEFT,
    RADIO_STEP,
    SLOTS,
    START_SCREEN_TIMEOUT,
    Shot,
    VIEW_BOTTOM,
    VIEW_MARGIN,
    answer_bands,
    expected_bands,
    find_card_column,
    is_blue,
    is_red,
    load_questions,
    scroll_of,
    width_of,
)


# The grade and unit remembered in b5 before the program starts: 三年级上
# and its second unit.  Its homework pool has 20 questions, eight with a
# picture, two with the options on two lines.
GRADE, UNIT = 3, 1

# --- the test ----------------------------------------------------------------

class HomeworkRun(unittest.TestCase):
    """The helpers and the run; a test case derives from it and calls
    run_whole_homework."""

    def setUp(self):
        self.session = harness.session_for(self)
        self.output = self.session.output_dir
        self.server = self.session.server
        self.database = self.session.program.database
        self.captures = 0

    # --- database ---------------------------------------------------------

    def db(self, sql, parameters=()):
        return harness.query(self.database, sql, parameters)

    def b2(self):
        return dict(zip(("zd3", "zd4", "zd5", "zd6", "zd12"),
                        self.db("select zd3, zd4, zd5, zd6, zd12 from b2 where zd1=1")[0]))

    def b3(self):
        return self.db("select zd1, zd2, zd3, zd4, zd5, zd6 from b3 order by zd1")

    def seed_previous_homework(self):
        """The copy of the database gets the remembered grade and unit, and
        the record of an earlier homework, so that every value the new
        homework must write differs from what is there."""
        connection = sqlite3.connect(self.database)
        try:
            connection.execute("update b5 set zd5=?, zd6=? where zd1=1", (GRADE, UNIT))
            connection.execute("update b2 set zd3='2001-02-03 04:05:00', zd4='2001-02-03 04:50:00',"
                               " zd5=777, zd6=55, zd12=0 where zd1=1")
            connection.execute("update b3 set zd3=999, zd4='B', zd5=7, zd6=1")
            connection.commit()
        finally:
            connection.close()

    # --- screen -----------------------------------------------------------

    def capture(self):
        """A screenshot kept in the output's captures/ folder."""
        return Shot(harness.next_capture(self))

    def keep(self, shot, name):
        return harness.keep(self.output, shot.path, name)

    def wait_for_screen(self, condition, timeout, what):
        """The first of two captures in a row that meet condition and show
        the same pixels in the centre panel, i.e. a settled screen."""
        shot, last = harness.wait_for_settled(
            self.capture, condition, lambda a, b: a.region(layout.PANEL_CY) == b.region(layout.PANEL_CY), timeout)
        if shot is None:
            self.fail(f"{what}: not seen within {timeout} s; last screen {last.path if last else None}; "
                      f"program {self.program_state()}")
        return shot

    def program_state(self):
        process = getattr(self, "process", None)
        if process is None:
            return "not started"
        status = process.poll()
        return ("running" if status is None else f"ended with status {status}") + \
            ", output:\n" + harness.output_of(process)

    def panel_shown(self, shot):
        return harness.differing_fraction(harness.region_pixels(shot.path, layout.PANEL_ART),
                                          self.panel_art) < 0.02

    def click(self, x, y, rest_at=POINTER_OFF_CARDS):
        harness.click(self.server, x, y, rest_at=rest_at)

    def click_button(self, rect):
        x, y = layout.centre(rect)
        self.click(x, y, rest_at=layout.POINTER_REST)

    def wait_for_cards(self):
        """After the start of a homework: b3 holds the drawn questions and
        the cards show, the centre panel gone.  Returns that screenshot."""
        expected_ids = [q.id for q in self.questions]
        deadline = time.monotonic() + EXTRACTION_TIMEOUT
        while [row[2] for row in self.b3()] != expected_ids and time.monotonic() < deadline:
            time.sleep(0.1)
        return self.wait_for_screen(lambda s: not self.panel_shown(s) and self.find_card_column(s) is not None,
                                    EXTRACTION_TIMEOUT, "the question cards")

    # --- the card column on screen ----------------------------------------

    def find_card_column(self, shot):
        return find_card_column(shot)

    def bands(self, shot):
        return answer_bands(shot, self.origin)

    def expected_bands(self, scroll):
        return expected_bands(self.questions, self.origin, scroll)

    def measure_scroll(self, shot, near=None):
        """The scroll position at which the bands on screen are exactly the
        bands of the computed layout, the one nearest `near` (by default the
        last one measured) when several fit; fails when none fits."""
        if near is None:
            near = getattr(self, "scroll", None)
        scroll = scroll_of(shot, self.questions, self.origin, near)
        if scroll is None:
            self.fail(f"answer bands at screen rows {self.bands(shot)} fit no scroll position of the computed "
                      f"card layout (panel tops {[q.panel_top for q in self.questions]}); screen {shot.path}")
        return scroll

    def settled_scroll(self, near=None):
        """(shot, scroll) once two captures in a row agree."""
        shot = self.capture()
        scroll = self.measure_scroll(shot, near)
        for _ in range(20):
            again = self.capture()
            scroll_again = self.measure_scroll(again, near)
            if scroll_again == scroll:
                return again, scroll
            shot, scroll = again, scroll_again
        self.fail(f"the cards keep moving; last screen {shot.path}")

    def screen_y(self, content_y):
        return self.origin[1] + content_y - self.scroll

    def screen_x(self, card_x):
        return self.origin[0] + CARD_LEFT + card_x

    def visible(self, top, bottom):
        """Whether content rows top up to (not including) bottom are on
        screen."""
        return self.screen_y(top) > self.origin[1] + VIEW_MARGIN and self.screen_y(bottom) <= VIEW_BOTTOM

    def wheel(self, notches):
        """Turns the wheel beside the cards, over the right margin (down for
        notches > 0): the pointer there gives the cards' scroll box the
        focus, and the wheel scrolls the box with the focus."""
        button = "5" if notches > 0 else "4"
        x, y = POINTER_OFF_CARDS
        # The pointer often rests there already, and "mousemove --sync" to
        # where it is waits for a move that never comes: step beside the
        # point and back, so the margin always sees the pointer move.
        subprocess.run(["xdotool", "mousemove", str(x - 1), str(y), "mousemove", str(x), str(y),
                        "click", "--repeat", str(abs(notches)), "--delay", "40", button],
                       env=self.server.env(), check=True)

    def bring_into_view(self, top, bottom):
        """Scrolls with the mouse wheel until content rows top..bottom are on
        screen, going as far as it can so that the cards that follow (or
        come before, going up) are on screen too."""
        # A notch scrolls (visible height * 9 div 10) div 10 pixels (checked
        # by the test); measured again after each turn.
        step = (VIEW_BOTTOM - self.origin[1]) * 9 // 10 // 10
        for _ in range(30):
            if self.visible(top, bottom):
                return
            view_top = self.scroll + VIEW_MARGIN + 1
            view_bottom = self.scroll + VIEW_BOTTOM - self.origin[1]
            if bottom > view_bottom:
                notches = max(math.ceil((bottom - view_bottom) / step), (top - view_top) // step)
            else:
                notches = -max(math.ceil((view_top - top) / step), (view_bottom - bottom) // step)
            before = self.scroll
            self.wheel(notches)
            _, self.scroll = self.settled_scroll(near=max(0, before + notches * step))
            if self.scroll != before:
                step = max(1, abs(self.scroll - before) // abs(notches))
        self.fail(f"could not scroll rows {top}..{bottom} into view")

    # --- answers ------------------------------------------------------------

    def chosen_on_screen(self, shot, question):
        """The option whose radio indicator holds a dot: None, or 0..3."""
        panel_y = self.screen_y(question.panel_top)
        marked = []
        for option in range(4):
            cx = self.screen_x(RADIO_GROUP_LEFT + RADIO_FIRST + RADIO_STEP * option + INDICATOR_DX)
            cy = panel_y + INDICATOR_DY
            if any(max(shot.pixel(cx + dx, cy + dy)) < 128 for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                marked.append(option)
        self.assertLessEqual(len(marked), 1, f"slot {question.slot}: several options marked in {shot.path}")
        return marked[0] if marked else None

    def answer(self, plan, name):
        """Carries out plan: {slot: (how, option)} with how "radio", "card"
        or "miss" (a click on the card's first line, which selects nothing),
        scrolling to each card in slot order; after each screenful checks
        that the radio buttons show the choices. Returns the screenshots."""
        expected_marks = {}
        pending = []
        kept = []

        def check_screen():
            # The radios must show every choice made on this screen.
            deadline = time.monotonic() + 5
            while True:
                shot = self.capture()
                self.assertEqual(self.measure_scroll(shot), self.scroll,
                                 f"the cards moved while answering; screen {shot.path}")
                seen = {q.slot: self.chosen_on_screen(shot, q) for q in pending}
                wanted = {q.slot: expected_marks[q.slot] for q in pending}
                if seen == wanted or time.monotonic() > deadline:
                    break
                time.sleep(0.2)
            kept.append(self.keep(shot, f"{name}-{len(kept) + 1}"))
            self.assertEqual({s: LETTERS[o] if o is not None else None for s, o in seen.items()},
                             {s: LETTERS[o] if o is not None else None for s, o in wanted.items()},
                             f"radio buttons after the clicks on {shot.path}")
            pending.clear()

        for slot in sorted(plan):
            how, option = plan[slot]
            q = self.questions[slot - 1]
            top = q.top + (min(q.positions[1::2]) if how == "card" else 0)
            if not self.visible(top, q.panel_top + ANSWER_PANEL_HEIGHT):
                if pending:
                    check_screen()
                self.bring_into_view(top, q.panel_top + ANSWER_PANEL_HEIGHT)
            if how == "radio":
                x = self.screen_x(RADIO_GROUP_LEFT + RADIO_FIRST + RADIO_STEP * option + INDICATOR_DX)
                self.click(x, self.screen_y(q.panel_top) + INDICATOR_DY)
                expected_marks[slot] = option
            elif how == "card":
                cx, cy = q.click_point(option)
                self.click(self.screen_x(cx), self.screen_y(q.top + cy))
                expected_marks[slot] = option
            else:
                cx, cy = 300, 10 + LINE_STEP // 2
                self.assertIsNone(q.option_at(cx, cy), "the miss must land above every marker")
                self.click(self.screen_x(cx), self.screen_y(q.top + cy))
                expected_marks.setdefault(slot, None)
            pending.append(q)
        if pending:
            check_screen()
        return kept

    # --- checks -------------------------------------------------------------

    def assertSlots(self, choices, what):
        """b3 holds, slot by slot, the chosen letter ('@' for none) and 1 when
        it is the key."""
        expected = []
        for q in self.questions:
            option = choices.get(q.slot)
            letter = LETTERS[option] if option is not None else "@"
            expected.append((q.slot, 1, q.id, letter, 0, 1 if option == q.key else 0))
        self.assertEqual(self.b3(), expected, what)

    def assertResultPanel(self, shot, what):
        """Panel_cy with the red result text centred in the short Pts and the
        one wide BT1."""
        self.assertTrue(self.panel_shown(shot), f"{what}: Panel_cy not shown on {shot.path}")
        text = shot.bbox(layout.PTS_SHORT, is_red)
        self.assertIsNotNone(text, f"{what}: no text in Pts on {shot.path}")
        pts_centre = (layout.PTS_SHORT[0] + layout.PTS_SHORT[2]) / 2
        self.assertLess(abs((text[0] + text[2]) / 2 - pts_centre), 10, f"{what}: Pts text not centred")
        caption = shot.bbox(layout.BT1_WIDE, is_blue)
        self.assertIsNotNone(caption, f"{what}: no caption on BT1 on {shot.path}")
        # Centred in 228 pixels with its glyph on the left: well right of the
        # middle of a 112-wide BT1, which is 505.
        self.assertGreater((caption[0] + caption[2]) / 2, 540, f"{what}: BT1 is not the wide button")
        return text, caption

    # --- the run ------------------------------------------------------------

    def run_whole_homework(self):
        self.seed_previous_homework()
        self.questions = load_questions(self.database, GRADE, UNIT)
        self.assertEqual(len(self.questions), SLOTS, "the grade's pool must hold 20 questions")
        for q in self.questions:
            self.assertIn(q.key, range(4), f"slot {q.slot}: answer key")
            self.assertEqual(q.markers, set(LETTERS), f"slot {q.slot}: four option markers")
        keys = {q.slot: q.key for q in self.questions}
        other = {slot: (key + 1) % 4 for slot, key in keys.items()}  # a wrong answer

        # 17 right, 2 wrong, 1 unanswered: 85.  Cards clicked: pictures
        # (3, 4), options on two lines (11, 15), the first and the last.
        card_slots = {1, 3, 4, 11, 12, 15, 20}
        first = {slot: ("card" if slot in card_slots else "radio", keys[slot]) for slot in keys}
        first[5] = ("radio", other[5])
        first[12] = ("card", other[12])
        first[19] = ("miss", None)
        first_choices = {slot: o for slot, (_, o) in first.items() if o is not None}
        # Then: 5 and 12 put right, 19 answered right, 7 and 15 made wrong: 90.
        second = {5: ("card", keys[5]), 7: ("radio", other[7]), 12: ("radio", keys[12]),
                  15: ("card", other[15]), 19: ("card", keys[19])}
        second_choices = {**first_choices, **{slot: o for slot, (_, o) in second.items()}}
        self.assertEqual(sum(first_choices.get(s) == k for s, k in keys.items()), 17)
        self.assertEqual(sum(second_choices.get(s) == k for s, k in keys.items()), 18)
        print("keys:", "".join(q.key_letter for q in self.questions), flush=True)

        # Start screen: BT1 "开始作业" appears with the start-up completion.
        process = self.process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(process))
        start = self.wait_for_screen(lambda s: s.bbox(layout.BT1, is_blue) is not None,
                                     START_SCREEN_TIMEOUT, "the start screen")
        self.keep(start, "1-start-screen")
        self.panel_art = harness.region_pixels(start.path, layout.PANEL_ART)

        # Start the homework.
        before_start = datetime.datetime.now()
        started_at = time.monotonic()
        self.click_button(layout.BT1)
        expected_ids = [q.id for q in self.questions]
        cards = self.wait_for_cards()
        after_start = datetime.datetime.now()
        self.keep(cards, "2-cards")

        # zd6 keeps the earlier homework's verdicts until the first grading.
        self.assertEqual(self.b3(), [(q.slot, 1, q.id, "", 0, 1) for q in self.questions],
                         "b3 after the start: question ids, empty answers, zd5 0")
        record = self.b2()
        self.assertTrue(minute_of(before_start) <= record["zd3"] <= minute_of(after_start),
                        f"start time {record['zd3']} not between {before_start} and {after_start}")
        self.assertEqual((record["zd5"], record["zd6"]), (0, 0), "b2 after the start")
        self.assertEqual(self.db("select zd5, zd6 from b5 where zd1=1"), [(GRADE, UNIT)])

        # The card column where the layout puts it.
        self.origin = self.find_card_column(cards)
        print("scroll box origin on screen:", self.origin, flush=True)
        self.assertTrue(0 <= self.origin[0] <= 10, f"card frame at x {self.origin[0] + BEXZ_LEFT}")
        self.scroll = self.measure_scroll(cards)
        self.assertEqual(self.scroll, 0, "the cards start scrolled to the top")
        self.assertEqual(self.bands(cards), self.expected_bands(0))

        # Three notches beside the cards scroll them by three line steps of
        # (visible height * 9 div 10) div 10 pixels.
        line_step = (VIEW_BOTTOM - self.origin[1]) * 9 // 10 // 10
        self.wheel(3)
        shot, self.scroll = self.settled_scroll(near=3 * line_step)
        self.keep(shot, "2b-three-notches-beside-the-cards")
        self.assertEqual(self.scroll, 3 * line_step, f"line step {line_step}; screen {shot.path}")

        # First round.
        self.answer(first, "3-first-answers")
        done_at = time.monotonic()
        before_grading = datetime.datetime.now()
        self.click_button(layout.BJS)
        deadline = time.monotonic() + GRADING_TIMEOUT
        while self.b2()["zd6"] == 0 and time.monotonic() < deadline:
            time.sleep(0.1)
        result = self.wait_for_screen(self.panel_shown, GRADING_TIMEOUT, "the first result")
        graded_at = time.monotonic()
        after_grading = datetime.datetime.now()
        self.keep(result, "4-first-result")

        self.assertSlots(first_choices, "b3 after the first grading")
        record = self.b2()
        print("b2 after the first grading:", record, f"(answering took {done_at - started_at:.1f} s)",
              flush=True)
        self.assertEqual((record["zd6"], record["zd12"]), (85, 1), "score and first-record flag")
        self.assertTrue(minute_of(before_grading) <= record["zd4"] <= minute_of(after_grading),
                        f"finish time {record['zd4']}")
        self.assertGreater(record["zd5"], 0, "seconds used")
        self.assertLess(record["zd5"], graded_at - started_at + 2, "seconds used")
        first_text, first_caption = self.assertResultPanel(result, "first result")
        recorded = self.b2()

        # Continue: back to the cards as they were.
        self.click_button(layout.BT1_WIDE)
        back = self.wait_for_screen(lambda s: not self.panel_shown(s), 10, "the cards again")
        self.scroll = self.measure_scroll(back)
        self.keep(back, "5-continued")

        self.answer(second, "6-changed-answers")
        self.click_button(layout.BJS)
        # The second result says the score the same way; "正在批改......" is
        # a good deal narrower.
        result = self.wait_for_screen(
            lambda s: self.panel_shown(s) and abs(width_of(s.bbox(layout.PTS_SHORT, is_red))
                                                  - width_of(first_text)) <= 4,
            GRADING_TIMEOUT, "the second result")
        self.keep(result, "7-second-result")
        self.assertSlots(second_choices, "b3 after the second grading")
        self.assertEqual(self.b2(), recorded, "b2 is not written by the second grading below 100")
        _, second_caption = self.assertResultPanel(result, "second result")
        # "点击检查作业" has one character more than "继续做作业".
        self.assertGreater(width_of(second_caption), width_of(first_caption), "BT1 caption")

        # Leave through the corner button.
        counters = dict(self.db("select zd1, zd7 from b1"))
        self.click_button(layout.BEND)
        # BT2 "放弃退出" comes back; its caption ends right of every wide BT1 caption.
        asking = self.wait_for_screen(
            lambda s: self.panel_shown(s) and s.bbox((640,) + layout.BT2[1:], is_blue) is not None,
            10, "the exit confirmation")
        self.keep(asking, "8-exit-confirmation")
        self.click_button(layout.BT1)
        self.assertEqual(harness.wait_exit(process, timeout=EXIT_TIMEOUT), 0, harness.output_of(process))
        # The confirmed exit counts the homework's questions of level 3 or below.
        levels = dict(self.db("select zd1, zd5 from b1"))
        in_homework = set(expected_ids)
        self.assertEqual(dict(self.db("select zd1, zd7 from b1")),
                         {i: c + (1 if i in in_homework and levels[i] <= 3 else 0)
                          for i, c in counters.items()})
        print(f"whole homework took {time.monotonic() - started_at:.1f} s", flush=True)


def minute_of(moment):
    """The stored form of a date-time written with minute precision."""
    return moment.strftime("%Y-%m-%d %H:%M:00")
