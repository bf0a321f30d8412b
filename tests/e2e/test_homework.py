"""A whole homework on the real program, seen from outside on a 1280 x 1024
X display: start it from the start screen, answer by radio button and by
clicking on the cards, finish, continue, change answers, finish again, and
leave through the corner button; the database file is checked after every
step.

The answers come from the question bank itself: the test unscrambles the
answer keys, works out where every card, answer row and option marker
stands from the question texts and picture sizes, and checks those
positions against the screen before it clicks.

Environment: AOSHU_BIN_DIR (default build/bin), the folder holding aoshu and
dat/kelvma.dat; E2E_OUTPUT_DIR (default build/e2e-output), where the
screenshots go, one folder per test.
"""

import datetime
import math
import os
import shutil
import sqlite3
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import layout  # noqa: E402


# The grade and unit remembered in b5 before the program starts: 三年级上
# and its second unit.  Its homework pool has 20 questions, eight with a
# picture, two with the options on two lines.
GRADE, UNIT = 3, 1

SLOTS = 20
LETTERS = "ABCD"

# --- the card column, in the scroll box's unscrolled coordinates -----------
BEXZ_WIDTH = 790
BEXZ_LEFT = (layout.SCREEN_WIDTH - BEXZ_WIDTH) // 2  # 245: the frame is centred
BEXZ_TOP = 1
CARD_LEFT = BEXZ_LEFT + 1
CARD_WIDTH = 786
CARD_FONT_HEIGHT = 20
LINE_STEP = CARD_FONT_HEIGHT + 10  # 30 pixels per text line
ANSWER_PANEL_HEIGHT = 36
CARD_GAP = 2
# In the answer panel: the radio group at x 137, its buttons 72 apart from
# x 8 of the group; a button's round indicator is centred 7 pixels further
# right and 22 pixels below the panel's top (the group starts at y -10).
RADIO_GROUP_LEFT = 137
RADIO_FIRST, RADIO_STEP = 8, 72
INDICATOR_DX, INDICATOR_DY = 7, 22

SKY = (0xA6, 0xCA, 0xF0)
FRAME_GREY = (128, 128, 128)  # the top and left edge of the sunken frame Bexz
# Columns on the card (card x) where only the answer panels and the gaps
# are sky blue: left of the card number and right of the radio group.
BAND_COLUMNS = (5, 700)
# The first screen row below the cards: above the window's border, the
# bottom strip (13 high), the bevel of Panel_ZY and the scroll box's border
# (2 each).
VIEW_BOTTOM = layout.SCREEN_HEIGHT - layout.BORDER - 13 - 2 - 2
VIEW_MARGIN = 6

POINTER_OFF_CARDS = (1150, 600)  # over the right margin panel

START_SCREEN_TIMEOUT = 20
EXTRACTION_TIMEOUT = 30
GRADING_TIMEOUT = 20
EXIT_TIMEOUT = 5


# --- the question bank as the program reads it -----------------------------

def unscramble(stored, key):
    """Clear bytes of a scrambled b1 field: every clear byte is three stored
    bytes, the decimal digits of its value shifted by 20, 17 and 17 plus
    the key (b1.zd9)."""
    data = stored.encode("latin-1") if isinstance(stored, str) else bytes(stored)
    clear = bytearray()
    for i in range(0, len(data) - 2, 3):
        digits = bytes(((data[i + j] - (20 if j == 0 else 17) - key) % 256) for j in range(3))
        clear.append(int(digits) % 256)
    return bytes(clear)


def trim_right(text):
    """Drops trailing bytes up to and including the space, as the program
    does before it lays a question out."""
    end = len(text)
    while end and text[end - 1] <= 0x20:
        end -= 1
    return text[:end]


def picture_size(jpeg_bytes):
    out = subprocess.run(["identify", "-format", "%w %h", "jpeg:-"], input=jpeg_bytes,
                         capture_output=True, check=True).stdout.split()
    return int(out[0]), int(out[1])


def marker_position(line, letter):
    """1-based byte position of the letter's option marker in a GBK line:
    "X) ", else "X）", else "X)"; 0 when there is none."""
    for marker in (letter + ") ", letter + "）", letter + ")"):
        at = line.find(marker.encode("gbk"))
        if at >= 0:
            return at + 1
    return 0


class Question:
    """One question of the homework with where its card stands."""

    def __init__(self, slot, question_id, text, key_text, picture_height):
        self.slot = slot
        self.id = question_id
        self.key = key_text[4] - ord("A") if len(key_text) >= 5 else -1
        self.lines = trim_right(text).split(b"\r\n") if trim_right(text) else []
        self.picture_height = picture_height
        self.top = self.height = self.panel_top = None
        self.positions = None

    @property
    def key_letter(self):
        return LETTERS[self.key]

    def lay_out(self, top):
        """Card height and option positions: 10 pixels above the first line,
        30 per line, a picture line also takes the picture's height; an
        option marker at byte p stands at x = p * 10 on its line's y."""
        self.top = top
        no_options = [0] * 16
        hint = list(no_options)
        self.markers = set()
        y = 10
        for line in self.lines:
            line_y = y
            if self.picture_height is not None and line.strip(bytes(range(0x21))) == b"<picture>":
                y += self.picture_height
            # The first line with an A marker starts the hint; every line
            # adds its B, C and D markers.
            for letter in LETTERS:
                p = marker_position(line, letter)
                if not p or (letter == "A" and hint != no_options):
                    continue
                pair = [p * CARD_FONT_HEIGHT // 2, line_y]
                hint = pair if letter == "A" else hint + pair
                self.markers.add(letter)
            y += LINE_STEP
        self.height = y + 10
        self.panel_top = top + self.height
        self.positions = hint[:8]  # what the hit test reads
        return self.panel_top + ANSWER_PANEL_HEIGHT + CARD_GAP

    def option_at(self, x, y):
        """The option a click at (x, y) on the card selects: D first, strict
        comparisons."""
        for option in (3, 2, 1, 0):
            ox, oy = self.positions[2 * option], self.positions[2 * option + 1]
            if y > oy and x > ox:
                return option
        return None

    def click_point(self, option):
        """A point on the card, on the marker's line and a little right of
        its threshold, that selects option."""
        ox, oy = self.positions[2 * option], self.positions[2 * option + 1]
        y = oy + LINE_STEP // 2
        for x in range(ox + 20, ox, -1):
            if self.option_at(x, y) == option:
                return x, y
        raise AssertionError(f"slot {self.slot}: no point selects {LETTERS[option]}")


MASK = (1 << 64) - 1


def tie_key(day, question):
    """The day's pseudo-random order of questions, as the program ranks ties."""
    z = ((day << 32) ^ question) & MASK
    z = (z + 0x9E3779B97F4A7C15) & MASK
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
    return z ^ (z >> 31)


def drawn_ids(connection, grade, unit, unit_name):
    """The ids the program draws today: those it chose earlier the same day,
    else the day's choice from the pupil's history: the due wrong ones, the
    unseen of the unit, of the other units in unit order, the untagged, then
    those seen longest ago, ties in the day's order; the mock room's first
    paper not finished.  At most 20, in zd1 order."""
    tables = {row[0] for row in connection.execute("select name from sqlite_schema")}
    columns = {row[1] for row in connection.execute("pragma table_info(b1)")}
    tagged = {"zd16", "zd17"} <= columns
    day = datetime.date.today().toordinal() + 1721425  # the Julian day number
    if "daily_choice" in tables:
        day = max(day, connection.execute("select ifnull(max(day), 0) from daily_choice").fetchone()[0])
        stored = [r[0] for r in connection.execute(
            "select question from daily_choice where day=? and grade=? and unit=? order by question",
            (day, grade, unit))]
        if stored:
            return stored[:20]
    if unit_name.startswith("模拟试卷"):
        papers = [r[0] for r in connection.execute(
            "select distinct zd17 from b1 where zd9=11 and zd17 is not null order by zd17")] if tagged else []
        if not papers:  # the marks stay as they are
            return [r[0] for r in connection.execute("select zd1 from b1 where zd9=11 and zd10=0 order by zd1 limit 20")]
        finished = dict(connection.execute(
            "select paper, max(id) from history_homework where grade=11 and paper is not null group by paper")
            if "history_homework" in tables else [])
        fresh = [p for p in papers if p not in finished]
        paper = fresh[0] if fresh else min(papers, key=lambda p: finished[p])
        return [r[0] for r in connection.execute(
            "select zd1 from b1 where zd9=11 and zd17=? and zd10 in (0, 1) order by zd1 limit 20", (paper,))]
    pool = dict(connection.execute(
        "select zd1, %s from b1 where zd9=? and zd10 in (1, 2)%s" % (
            ("zd16", " and zd17 is null") if tagged else ("null", "")), (grade,)))
    schedule = {q: (seen, step, due) for q, seen, step, due in connection.execute(
        "select question, seen, step, due from question_schedule where grade=? and seen is not null", (grade,))
        if q in pool} if "question_schedule" in tables else {}
    chosen = []

    def take(candidates):  # (key, id): by key, ties in the day's order
        for _, q in sorted(candidates, key=lambda c: (c[0], tie_key(day, c[1]), c[1])):
            if len(chosen) < 20 and q not in chosen:
                chosen.append(q)

    take([(due, q) for q, (_, step, due) in schedule.items() if step > 0 and due <= day])
    unseen = [q for q in pool if q not in schedule]
    units = [r[0] for r in connection.execute("select zd4 from b4 where zd3=? order by zd4", (grade,))]
    if tagged:
        for u in [unit] + [u for u in units if u != unit]:
            take([(0, q) for q in unseen if pool[q] == u])
    take([(0, q) for q in unseen if pool[q] not in units])
    take([(seen, q) for q, (seen, _, _) in schedule.items()])
    return sorted(chosen)


def load_questions(database, grade, unit):
    """The questions the homework must hold, in slot order, laid out."""
    connection = sqlite3.connect(f"file:{database}?mode=ro", uri=True)
    try:
        unit_name = connection.execute(
            "select zd2 from b4 where zd3=? and zd4=?", (grade, unit)).fetchone()[0]
        ids = drawn_ids(connection, grade, unit, unit_name)
        rows = connection.execute(
            "select zd1, zd2, zd6, zd9, zd11, zd12 from b1 where zd1 in (%s) order by zd1"
            % ",".join(map(str, ids)) if ids else "select 1 where 0").fetchall()
    finally:
        connection.close()
    questions = []
    top = BEXZ_TOP + 1
    for slot, (question_id, text, key, grade_key, has_picture, picture) in enumerate(rows, 1):
        height = picture_size(picture)[1] if has_picture == 1 else None
        question = Question(slot, question_id, unscramble(text, grade_key),
                            unscramble(key, grade_key), height)
        top = question.lay_out(top)
        questions.append(question)
    return questions


# --- screenshots -----------------------------------------------------------

class Shot:
    """A full-screen capture with its pixels."""

    def __init__(self, path):
        self.path = path
        self.raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"],
                                  capture_output=True, check=True).stdout

    def pixel(self, x, y):
        i = (y * layout.SCREEN_WIDTH + x) * 3
        return tuple(self.raw[i:i + 3])

    def region(self, rect):
        left, top, right, bottom = rect
        return b"".join(self.raw[(y * layout.SCREEN_WIDTH + left) * 3:(y * layout.SCREEN_WIDTH + right + 1) * 3]
                        for y in range(top, bottom + 1))

    def bbox(self, rect, wanted):
        """(left, top, right, bottom) of the pixels in rect for which
        wanted(r, g, b) holds, or None."""
        left, top, right, bottom = rect
        found = None
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                if wanted(*self.pixel(x, y)):
                    found = (x, y, x, y) if found is None else (
                        min(found[0], x), min(found[1], y), max(found[2], x), max(found[3], y))
        return found


def is_red(r, g, b):  # the notice text of Pts
    return r >= 200 and g <= 90 and b <= 90


def is_blue(r, g, b):  # the captions of BT1 and BT2
    return b >= 200 and r <= 90 and g <= 90


def width_of(box):
    return box[2] - box[0] + 1 if box else 0


# --- the test ----------------------------------------------------------------

class Homework(unittest.TestCase):

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
        self.captures += 1
        path = os.path.join(self.output, "captures", f"{self.captures:03d}.png")
        return Shot(harness.capture(self.server, path))

    def keep(self, shot, name):
        target = os.path.join(self.output, name + ".png")
        shutil.copy2(shot.path, target)
        print("screenshot:", target, flush=True)
        return target

    def wait_for_screen(self, condition, timeout, what):
        """The first of two captures in a row that meet condition and show
        the same pixels in the centre panel, i.e. a settled screen."""
        deadline = time.monotonic() + timeout
        previous = None
        shot = None
        while time.monotonic() < deadline:
            shot = self.capture()
            if condition(shot):
                if previous is not None and previous.region(layout.PANEL_CY) == shot.region(layout.PANEL_CY):
                    return previous
                previous = shot
            else:
                previous = None
            time.sleep(0.1)
        self.fail(f"{what}: not seen within {timeout} s; last screen {shot.path if shot else None}; "
                  f"program {self.program_state()}")

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

    # --- the card column on screen ----------------------------------------

    def find_card_column(self, shot):
        """Screen position of the scroll box's unscrolled origin, from the
        top-left corner of the frame Bexz, which stands at (245, 1) in it."""
        for y in range(150, 400):
            for x in range(0, 400):
                if shot.pixel(x, y) == FRAME_GREY and all(
                        shot.pixel(x + dx, y) == FRAME_GREY for dx in range(0, BEXZ_WIDTH - 1, 50)) \
                        and shot.pixel(x, y + 20) == FRAME_GREY:
                    return x - BEXZ_LEFT, y - BEXZ_TOP
        return None

    def bands(self, shot):
        """Screen tops of the sky-blue answer bands (panel and gap) seen whole
        in the card column."""
        columns = [self.origin[0] + CARD_LEFT + c for c in BAND_COLUMNS]
        tops, run_start = [], None
        for y in range(self.origin[1], VIEW_BOTTOM + 1):
            sky = y < VIEW_BOTTOM and all(shot.pixel(x, y) == SKY for x in columns)
            if sky and run_start is None:
                run_start = y
            elif not sky and run_start is not None:
                if run_start > self.origin[1] and y - run_start >= ANSWER_PANEL_HEIGHT:
                    tops.append(run_start)
                run_start = None
        return tops

    def expected_bands(self, scroll):
        tops = [self.origin[1] + q.panel_top - scroll for q in self.questions]
        return [t for t in tops if t > self.origin[1] and t + ANSWER_PANEL_HEIGHT <= VIEW_BOTTOM]

    def measure_scroll(self, shot):
        """The scroll position at which the bands on screen are exactly the
        bands of the computed layout; fails when none fits."""
        seen = self.bands(shot)
        if seen:
            for q in self.questions:
                scroll = self.origin[1] + q.panel_top - seen[0]
                if scroll >= 0 and self.expected_bands(scroll) == seen:
                    return scroll
        self.fail(f"answer bands at screen rows {seen} fit no scroll position of the computed card "
                  f"layout (panel tops {[q.panel_top for q in self.questions]}); screen {shot.path}")

    def settled_scroll(self):
        """(shot, scroll) once two captures in a row agree."""
        shot = self.capture()
        scroll = self.measure_scroll(shot)
        for _ in range(20):
            again = self.capture()
            scroll_again = self.measure_scroll(again)
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
        step = 60  # a first guess, measured after the first turn
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
            _, self.scroll = self.settled_scroll()
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

    # --- the test -----------------------------------------------------------

    def test_homework_answered_graded_continued_and_graded_again(self):
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
        deadline = time.monotonic() + EXTRACTION_TIMEOUT
        while [row[2] for row in self.b3()] != expected_ids and time.monotonic() < deadline:
            time.sleep(0.1)
        cards = self.wait_for_screen(
            lambda s: not self.panel_shown(s) and self.find_card_column(s) is not None,
            EXTRACTION_TIMEOUT, "the question cards")
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
        shot, self.scroll = self.settled_scroll()
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


if __name__ == "__main__":
    unittest.main(verbosity=2)
