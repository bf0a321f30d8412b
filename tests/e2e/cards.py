"""The homework's cards as the program lays them out, read from the
question bank, and screenshots to find them in: what the end-to-end tests
need to answer a homework from outside (the homework, learning, kill,
damage, bad-content and two-program tests)."""

import datetime
import sqlite3
import subprocess

import layout


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


# --- the card column on a screenshot -------------------------------------

def find_card_column(shot):
    """Screen position of the scroll box's unscrolled origin, from the
    top-left corner of the frame Bexz, which stands at (245, 1) in it."""
    for y in range(150, 400):
        for x in range(0, 400):
            if shot.pixel(x, y) == FRAME_GREY and all(
                    shot.pixel(x + dx, y) == FRAME_GREY for dx in range(0, BEXZ_WIDTH - 1, 50)) \
                    and shot.pixel(x, y + 20) == FRAME_GREY:
                return x - BEXZ_LEFT, y - BEXZ_TOP
    return None


def answer_bands(shot, origin):
    """Screen tops of the sky-blue answer bands (panel and gap) seen whole
    in the card column."""
    columns = [origin[0] + CARD_LEFT + c for c in BAND_COLUMNS]
    tops, run_start = [], None
    for y in range(origin[1], VIEW_BOTTOM + 1):
        sky = y < VIEW_BOTTOM and all(shot.pixel(x, y) == SKY for x in columns)
        if sky and run_start is None:
            run_start = y
        elif not sky and run_start is not None:
            if run_start > origin[1] and y - run_start >= ANSWER_PANEL_HEIGHT:
                tops.append(run_start)
            run_start = None
    return tops


def expected_bands(questions, origin, scroll):
    tops = [origin[1] + q.panel_top - scroll for q in questions]
    return [t for t in tops if t > origin[1] and t + ANSWER_PANEL_HEIGHT <= VIEW_BOTTOM]


def scroll_of(shot, questions, origin, near=None):
    """The scroll position at which the bands on screen are exactly the
    bands of the computed layout, or None when none fits.  Cards of one
    height repeat the same bands: of several positions that fit, the one
    nearest `near` (the position expected), else the first."""
    seen = answer_bands(shot, origin)
    fits = []
    if seen:
        for q in questions:
            scroll = origin[1] + q.panel_top - seen[0]
            if scroll >= 0 and expected_bands(questions, origin, scroll) == seen:
                fits.append(scroll)
    if not fits:
        return None
    return fits[0] if near is None else min(fits, key=lambda s: abs(s - near))
